#include "app/rolling_commands.h"

#include "rolling/rolling_read_back.h"

namespace vx3::app {

void ReloadRollingSettings(AppContext& context, bool report) {
  rolling::LoadRollingSettings(context.rolling, context.image.romWords, report, context.image.deviceName,
                               {context.reporter, context.language, *context.commands});
}

bool ReadBackRolling(AppContext& context) {
  return rolling::ReadBackRolling(context.writer(), context.eepromHeader, context.rolling, context.image.deviceName);
}

}  // namespace vx3::app
