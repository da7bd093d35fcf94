// The reading rules of the INI profile layer as one table of files, names and values, shared by
// the layer's own tests and by the comparison with the Windows profile functions.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vx3::testing {

// UTF-16 file bytes with BOM from a UTF-16 literal.
std::string Utf16File(std::u16string_view text, bool littleEndian);
std::string Repeat(std::string_view piece, std::size_t times);
std::u16string RepeatUtf16(std::u16string_view piece, std::size_t times);

struct ProfileReadCase {
  const char* name;
  std::string file;
  std::string section;
  std::string key;
  std::optional<std::string> expected;
};

inline void PrintTo(const ProfileReadCase& c, std::ostream* os) { *os << c.name; }

inline const std::string kChinese = "\xE4\xB8\xAD";        // U+4E2D, three bytes in UTF-8
inline const std::string kEuro = "\xE2\x82\xAC";           // U+20AC
inline const std::string kEmoji = "\xF0\x9F\x98\x80";      // U+1F600, four bytes
inline const std::string kReplacement = "\xEF\xBF\xBD";    // U+FFFD

// One case for each rule: file bytes, the names asked for, and the value the layer gives.
std::vector<ProfileReadCase> ProfileReadCases();

}  // namespace vx3::testing
