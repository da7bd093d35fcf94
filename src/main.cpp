// VX3WT: the control program of the Orvel Writer.
#include "gui/gui_app.h"

int main(int argc, char** argv) { return vx3::gui::RunGui(argc, argv); }
