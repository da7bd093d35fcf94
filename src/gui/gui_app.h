// The program's start in Qt: the application object, the start-up message box, the main window
// run to its end.
#pragma once

namespace vx3::gui {

// Runs the whole program; returns the process exit code.
int RunGui(int argc, char** argv);

}  // namespace vx3::gui
