// Text for people and programs outside the program: the system's 8-bit encoding (the user's
// ANSI code page on Windows, UTF-8 elsewhere) converted to and from the core's UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vx3::platform {

// `utf8` in the system's 8-bit encoding. A character the encoding lacks becomes its default
// character ('?'); broken UTF-8 is converted as U+FFFD would be. Where the system's encoding is
// UTF-8 the text stays as it is.
std::string Utf8ToSystemText(std::string_view utf8);

// 8-bit text in the system's encoding as UTF-8. Bytes the encoding does not define come out as
// the system's replacement character (Windows) or stay as they are (elsewhere, where callers
// clean the UTF-8 themselves).
std::string SystemTextToUtf8(std::string_view bytes);

}  // namespace vx3::platform
