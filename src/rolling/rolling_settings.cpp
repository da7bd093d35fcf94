#include "rolling/rolling_settings.h"

namespace vx3::rolling {

void LoadRollingSettings(RollingSettings& settings, std::uint32_t /*romWords*/, bool /*report*/,
                         std::string_view /*deviceName*/, text::Reporter& /*reporter*/,
                         const text::Language& /*language*/) {
  settings.method = RollingMethod::NotUsed;
}

}  // namespace vx3::rolling
