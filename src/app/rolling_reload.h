// The rolling-code steps the commands and the worker take after the Writer or the operator
// changed the settings.
#pragma once

#include "app/app_context.h"

namespace vx3::app {

// LoadRollingSettings for the loaded image; with `report` the summary lines.
void ReloadRollingSettings(AppContext& context, bool report);
// Reads the Writer's advanced rolling value back and stores it in the rolling INI.
void ReadBackRollingValue(AppContext& context);

}  // namespace vx3::app
