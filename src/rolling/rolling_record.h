// The rolling record: the bytes in which the rolling-code settings travel to the Writer at the
// start of the EEPROM job header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rolling/rolling_settings.h"

namespace vx3::rolling {

// The record ends before header byte 26, which belongs to the rolling-code dialog.
inline constexpr std::size_t kRollingRecordMaxBytes = 26;
// Rolling code off: the switch bytes and the fields after them, all zero.
inline constexpr std::size_t kRollingRecordOffBytes = 8;

// The record for `settings`, at most kRollingRecordMaxBytes long. Until the rolling code is
// sent to the Writer, it is the record of a job without rolling code: eight zero bytes.
std::vector<std::uint8_t> BuildRollingRecord(const RollingSettings& settings);

}  // namespace vx3::rolling
