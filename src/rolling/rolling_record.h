// The rolling record: the bytes in which the rolling-code settings travel to the Writer at the
// start of the EEPROM job header, and back from the Writer's copy with the advanced value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rolling/rolling_settings.h"

namespace vx3::rolling {

// The record ends before header byte 26, which holds the dialog's verify choice.
inline constexpr std::size_t kRollingRecordMaxBytes = 26;
// Rolling code off: the switch bytes and the fields after them, all zero.
inline constexpr std::size_t kRollingRecordOffBytes = 8;

namespace record_offset {
inline constexpr std::size_t kSwitch = 0;
inline constexpr std::size_t kAddress = 2;     // 2 bytes, low byte first
inline constexpr std::size_t kWordLength = 4;  // 2 bytes, low byte first
inline constexpr std::size_t kValue = 6;       // value, then step, then the order byte and a zero
}  // namespace record_offset

// The record for `settings`: switch, address, word length, value, step (16-bit words, or bytes
// for a byte-per-word device, least significant first) and the order byte. Eight zero bytes
// whenever the method is NotUsed, and also when the word length would carry the record past
// kRollingRecordMaxBytes, so that it never reaches the verify byte.
std::vector<std::uint8_t> BuildRollingRecord(const RollingSettings& settings, bool byteWords);

// Takes method, address, word length and value from the record at the start of `header` (the
// Writer's copy). The step is not taken. A word length beyond what `value` holds or what the
// bytes carry is cut to the entries that fit.
void ParseRollingRecord(std::span<const std::uint8_t> header, RollingSettings& settings, bool byteWords);

}  // namespace vx3::rolling
