// The simulated Writer's own reader of its settings INI, with the profile rules people expect
// of such a file: sections and keys without regard to case, values trimmed and one pair of
// quotes dropped, ';' starting a comment line, the first of two equal keys counting.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vx3::sim {

class IniFile {
 public:
  // An unreadable or missing file reads as empty: every key absent.
  static IniFile Read(const std::filesystem::path& file);
  static IniFile Parse(std::string_view text);

  std::optional<std::string> Text(std::string_view section, std::string_view key) const;
  // Decimal, or hexadecimal with 0x; a leading sign; digits end at the first other character.
  // Absent or without digits: `fallback`.
  int Int(std::string_view section, std::string_view key, int fallback) const;

 private:
  std::map<std::string, std::map<std::string, std::string>> sections_;
};

// Sets `key` in `section` of `file` to `value`, where the key is already present: only its line
// changes (its spelling of the key and its line end stay), and the file is replaced through a
// temporary file. False when the file, the section or the key is missing or cannot be written.
bool SetIniValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                 std::string_view value);

}  // namespace vx3::sim
