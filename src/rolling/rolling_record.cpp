#include "rolling/rolling_record.h"

namespace vx3::rolling {

std::vector<std::uint8_t> BuildRollingRecord(const RollingSettings& /*settings*/) {
  return std::vector<std::uint8_t>(kRollingRecordOffBytes, 0);
}

}  // namespace vx3::rolling
