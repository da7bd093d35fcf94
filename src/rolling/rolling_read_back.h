// Reading the advanced rolling value back from the Writer's copy of the job header and storing
// it in the rolling INI, after the Writer has programmed a chip on-line.
#pragma once

#include <string_view>

#include "rolling/rolling_settings.h"
#include "writer_ops/eeprom_header.h"
#include "writer_ops/writer_services.h"

namespace vx3::rolling {

inline constexpr std::string_view kMessageReadBackFailedFormat =
    "Rolling Code not read back from the Writer, Count of {} not changed !!!";
inline constexpr std::string_view kMessageReadBackMismatchFormat =
    "The Writer's Rolling Code does not match {}, Count not changed !!!";

// Fetches the Writer's header (0x10) into `header`, takes the rolling record from it and
// writes its value under "Count". The counter only moves on a whole read-back whose record is
// the one of these settings (on, same address and word length): a failed read leaves `header`
// as it was, and writing its stale value would hand out serial numbers a second time. True
// when Count was written; otherwise an error line tells why.
bool ReadBackRolling(const writer_ops::WriterServices& writer, writer_ops::EepromHeader& header,
                     RollingSettings& settings, std::string_view deviceName);

}  // namespace vx3::rolling
