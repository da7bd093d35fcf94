#include "rolling/rolling_record.h"

#include <algorithm>

namespace vx3::rolling {
namespace {

constexpr std::uint32_t kWordBytes = 2;

std::uint32_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at] | (bytes[at + 1] << 8));
}

void PutLe16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// Bytes of the value (or the step) in the record.
std::size_t ValueBytes(std::uint32_t wordLength, bool byteWords) {
  return byteWords ? (std::size_t{wordLength} + 1) / 2 * 2 : std::size_t{wordLength} * kWordBytes;
}

// The value or the step, least significant part first.
void PutEntries(std::vector<std::uint8_t>& out, const RollingWords& entries, std::uint32_t wordLength,
                bool lowWordFirst, bool byteWords) {
  if (byteWords) {
    // An odd length takes the next entry too, so that the field stays whole words.
    const std::size_t count = ValueBytes(wordLength, true);
    for (std::size_t n = 0; n < count; ++n) {
      const std::size_t i = lowWordFirst ? n : (n < wordLength ? wordLength - 1 - n : n);
      out.push_back(static_cast<std::uint8_t>(entries[i] & 0xFF));
    }
    return;
  }
  for (std::uint32_t n = 0; n < wordLength; ++n) PutLe16(out, entries[lowWordFirst ? n : wordLength - 1 - n]);
}

}  // namespace

std::vector<std::uint8_t> BuildRollingRecord(const RollingSettings& settings, bool byteWords) {
  std::vector<std::uint8_t> off(kRollingRecordOffBytes, 0);
  if (settings.method == RollingMethod::NotUsed) return off;
  const std::uint32_t length = settings.wordLength;
  if (length > kRollingMaxWords ||
      record_offset::kValue + 2 * ValueBytes(length, byteWords) + 2 > kRollingRecordMaxBytes) {
    return off;
  }
  std::vector<std::uint8_t> record;
  record.push_back(1);
  record.push_back(0);
  PutLe16(record, settings.address);
  PutLe16(record, length);
  PutEntries(record, settings.value, length, settings.lowWordFirst, byteWords);
  PutEntries(record, settings.step, length, settings.lowWordFirst, byteWords);
  record.push_back(settings.lowWordFirst ? 1 : 0);
  record.push_back(0);
  return record;
}

void ParseRollingRecord(std::span<const std::uint8_t> header, RollingSettings& settings, bool byteWords) {
  if (header.size() < record_offset::kValue) {
    settings.method = RollingMethod::NotUsed;
    return;
  }
  const bool on = header[record_offset::kSwitch] != 0 || header[record_offset::kSwitch + 1] != 0;
  settings.method = on ? RollingMethod::AutoInc : RollingMethod::NotUsed;
  settings.address = Le16(header, record_offset::kAddress);
  const std::uint32_t length = Le16(header, record_offset::kWordLength);
  const std::size_t entryBytes = byteWords ? 1 : kWordBytes;
  const std::size_t fitting = (header.size() - record_offset::kValue) / entryBytes;
  const auto kept = static_cast<std::uint32_t>(std::min<std::size_t>({length, kRollingMaxWords, fitting}));
  settings.wordLength = kept;
  for (std::uint32_t i = 0; i < kept; ++i) {
    const std::size_t at = record_offset::kValue + i * entryBytes;
    settings.value[i] = byteWords ? header[at] : Le16(header, at);
  }
}

}  // namespace vx3::rolling
