// UTF-8 text saved in an 8-bit Windows code page, as an editor saves a file as "ANSI": the bytes
// of the language files that the tests feed to the program.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/legacy_text.h"

namespace vx3::testing {

// `utf8` in `page`, or nullopt when a character has no place in it.
std::optional<std::string> Utf8ToCodePage(std::string_view utf8, platform::LegacyCodePage page);

// `bytes` with `inserted` put in right after the first occurrence of `after` (which must be
// there): a damaged value in an otherwise good file.
std::string InsertAfter(std::string bytes, std::string_view after, std::string_view inserted);

}  // namespace vx3::testing
