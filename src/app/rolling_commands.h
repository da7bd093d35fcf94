// The rolling-code steps that the commands and the worker take in one line each: reloading the
// settings of the loaded image, and storing the value the Writer advanced.
#pragma once

#include "app/app_context.h"

namespace vx3::app {

// LoadRollingSettings for the loaded image (its romWords and device), with the summary lines
// when `report` is set.
void ReloadRollingSettings(AppContext& context, bool report);

// ReadBackRolling from the connected Writer into the rolling INI's Count. True when Count was
// written; false, reported, otherwise.
bool ReadBackRolling(AppContext& context);

}  // namespace vx3::app
