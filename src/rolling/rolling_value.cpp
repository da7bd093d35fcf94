#include "rolling/rolling_value.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "ui_text/reporter.h"

namespace vx3::rolling {
namespace {

constexpr std::size_t kDigitsPerWord = 4;
constexpr std::uint32_t kWordMask = 0xFFFF;
constexpr std::uint32_t kByteMask = 0xFF;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The hexadecimal number at the start of `digits`, up to the first character that is no digit.
std::uint32_t LeadingHex(std::string_view digits) {
  std::uint32_t result = 0;
  for (const char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0) break;
    result = result * 16 + static_cast<std::uint32_t>(digit);
  }
  return result;
}

std::uint32_t KeptWords(std::uint32_t wordLength) {
  return std::min<std::uint32_t>(wordLength, kRollingMaxWords);
}

}  // namespace

std::uint32_t ParseRollingValue(std::string_view text, std::uint32_t wordLength, bool lowWordFirst, bool byteWords,
                                RollingWords& entries) {
  const std::uint32_t words = KeptWords(wordLength);
  // Zero-padded to the digits of every entry, of which the last ones count.
  std::string digits(kDigitsPerWord * kRollingMaxWords, '0');
  for (const char c : text) {
    if (c != ' ') digits += c;
  }
  digits.erase(0, digits.size() - kDigitsPerWord * words);
  const auto group = [&digits](std::size_t at) { return std::string_view(digits).substr(at, kDigitsPerWord); };

  if (!byteWords) {
    for (std::uint32_t i = 0; i < words; ++i) {
      const std::size_t at = kDigitsPerWord * (lowWordFirst ? words - 1 - i : i);
      entries[i] = LeadingHex(group(at)) & kWordMask;
    }
    return wordLength;
  }
  const std::uint32_t groups = words / 2;
  for (std::uint32_t g = 0; g < groups; ++g) {
    const std::size_t at = lowWordFirst ? digits.size() - kDigitsPerWord * (g + 1) : kDigitsPerWord * g;
    const std::string_view four = group(at);
    entries[2 * g] = LeadingHex(four.substr(2)) & kByteMask;
    entries[2 * g + 1] = LeadingHex(four.substr(0, 2)) & kByteMask;
  }
  return 2 * groups;
}

std::string ReduceByteWordText(std::string_view text, std::uint32_t wordLength) {
  std::string reduced;
  const std::uint32_t groups = KeptWords(wordLength);
  for (std::uint32_t g = groups; g > 0; --g) {
    // Group g from the end, when the text is that long; a shorter text gives what it has.
    const std::size_t end = kDigitsPerWord * (g - 1);
    if (text.size() <= end) continue;
    const std::size_t groupEnd = text.size() - end;
    const std::size_t groupStart = groupEnd >= kDigitsPerWord ? groupEnd - kDigitsPerWord : 0;
    const std::string_view four = text.substr(groupStart, groupEnd - groupStart);
    reduced += four.substr(four.size() >= 2 ? four.size() - 2 : 0);
  }
  return reduced;
}

std::string FormatRollingIniValue(const RollingWords& entries, std::uint32_t wordLength, bool lowWordFirst,
                                  bool byteWords) {
  const std::uint32_t words = KeptWords(wordLength);
  const std::uint32_t mask = byteWords ? kByteMask : kWordMask;
  const bool highFirst = lowWordFirst || byteWords;
  std::string text;
  for (std::uint32_t n = 0; n < words; ++n) {
    const std::uint32_t i = highFirst ? words - 1 - n : n;
    text += fmt::format("{:04X}", entries[i] & mask);
  }
  return text;
}

std::string FormatRollingDisplay(const RollingWords& entries, RollingSettings& settings, bool byteWords) {
  const bool bytes = byteWords && !settings.forceWordDisplay;
  if (!bytes) settings.forceWordDisplay = false;
  const std::uint32_t words = KeptWords(settings.wordLength);
  std::string text;
  for (std::uint32_t n = 0; n < words; ++n) {
    const std::uint32_t i = settings.lowWordFirst ? words - 1 - n : n;
    text += bytes ? fmt::format("{:02X} ", entries[i] & kByteMask) : fmt::format("{:04X} ", entries[i] & kWordMask);
  }
  return text;
}

bool WriteRollingKey(const RollingSettings& settings, std::string_view key, std::string_view value,
                     text::Reporter& reporter) {
  if (platform::WriteProfileString(settings.iniPath, kRollingSection, key, value)) return true;
  reporter.ReportStatus(fmt::format(kMessageIniWriteFailedFormat, key, platform::PathToUtf8(settings.iniPath)),
                        text::Severity::ErrorLine);
  return false;
}

bool WriteRollingValueKey(const RollingSettings& settings, const RollingWords& entries, std::string_view key,
                          bool byteWords, text::Reporter& reporter) {
  return WriteRollingKey(settings, key,
                         FormatRollingIniValue(entries, settings.wordLength, settings.lowWordFirst, byteWords),
                         reporter);
}

}  // namespace vx3::rolling
