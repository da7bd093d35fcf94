// Comparing names without regard to letter case, as the device kit, the INI keywords and the
// chip names need it: ASCII letters only, so that no locale changes what matches.
#pragma once

#include <algorithm>
#include <string_view>

namespace vx3::platform {

constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

constexpr bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsIgnoringCase(s.substr(0, prefix.size()), prefix);
}

constexpr bool EndsWithIgnoringCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && EqualsIgnoringCase(s.substr(s.size() - suffix.size()), suffix);
}

}  // namespace vx3::platform
