// The built-in string table: the English texts compiled into the program, by string number.
// A text that a language file lacks falls back to one of these.
#pragma once

#include <span>
#include <string_view>

namespace vx3::text {

struct BuiltInEntry {
  int id;
  std::string_view text;
};

// The text of string number id, or an empty view when the table has no such number.
std::string_view BuiltInString(int id);

// The whole table, sorted by number (for the language-file checks and tests).
std::span<const BuiltInEntry> BuiltInTable();

}  // namespace vx3::text
