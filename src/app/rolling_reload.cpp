#include "app/rolling_reload.h"

namespace vx3::app {

void ReloadRollingSettings(AppContext& context, bool report) {
  rolling::LoadRollingSettings(context.rolling, context.image.romWords, report, context.image.deviceName,
                               context.reporter, context.language);
}

void ReadBackRollingValue(AppContext& /*context*/) {}

}  // namespace vx3::app
