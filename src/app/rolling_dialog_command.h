// Opening the Rolling Code dialog for the loaded image, as the Rolling Code command and the
// worker do: on OK the operator's choices are written into the rolling INI.
#pragma once

#include "app/app_context.h"
#include "app/main_view.h"

namespace vx3::app {

// True when the operator pressed OK and the settings were written; false when no image is
// loaded (a note line says so) or the operator cancelled.
bool OpenRollingCodeDialog(AppContext& context, MainView& view);

}  // namespace vx3::app
