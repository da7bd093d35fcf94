// Rolling values as text: parsing the INI's Count and Step (and the dialog's fields) into
// entries, writing them back into the INI, and showing them in status lines and the dialog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rolling/rolling_settings.h"

namespace vx3::text {
class Reporter;
}

namespace vx3::rolling {

// Errors of the INI writes: the operator must learn that the counter did not move.
inline constexpr std::string_view kMessageIniWriteFailedFormat = "Can't write {} of Rolling Code into {} !!!";

// The entries of `wordLength` words (at most kRollingMaxWords are kept) from a value text:
// spaces dropped, zero-padded on the left or cut to its last 4 x wordLength digits, then four
// hexadecimal digits per entry (a non-digit ends an entry's digits). With `lowWordFirst` the
// last four digits are entry 0. For a byte-per-word device each group of four digits gives two
// entries, the byte of its last two digits first. Entries beyond the text keep what they held.
// Returns the word length the entries now cover: the same, or for a byte-per-word device twice
// the number of groups read (an odd length loses one).
std::uint32_t ParseRollingValue(std::string_view text, std::uint32_t wordLength, bool lowWordFirst, bool byteWords,
                                RollingWords& entries);

// A byte-per-word device's INI text reduced to its bytes: `wordLength` groups of four
// characters from the end, the last two characters of each, in their left-to-right order.
std::string ReduceByteWordText(std::string_view text, std::uint32_t wordLength);

// The INI form: "%04X" per entry, the most significant entry first (entries wordLength-1 down
// to 0 with `lowWordFirst` or for a byte-per-word device, else 0 up), no separators.
std::string FormatRollingIniValue(const RollingWords& entries, std::uint32_t wordLength, bool lowWordFirst,
                                  bool byteWords);

// The shown form: "%04X " per entry, or "%02X " for a byte-per-word device unless
// settings.forceWordDisplay is set, most significant first. Clears forceWordDisplay whenever
// the four-digit form was used.
std::string FormatRollingDisplay(const RollingWords& entries, RollingSettings& settings, bool byteWords);

// Writes `value` under `key` of the rolling INI through the profile layer's atomic replace.
// A failed write is an error line naming the key and the INI; false then.
bool WriteRollingKey(const RollingSettings& settings, std::string_view key, std::string_view value,
                     text::Reporter& reporter);

// Writes FormatRollingIniValue of `entries` under `key` ("Count" or "Step").
bool WriteRollingValueKey(const RollingSettings& settings, const RollingWords& entries, std::string_view key,
                          bool byteWords, text::Reporter& reporter);

}  // namespace vx3::rolling
