// Text in the 8-bit Windows code pages that editors save as "ANSI" (GBK, Windows-1252) turned into
// the core's UTF-8, refusing bytes the code page does not define instead of guessing at them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx3::platform {

enum class LegacyCodePage {
  Gbk,          // Simplified Chinese, Windows code page 936
  Windows1252,  // Western European, Windows code page 1252
};

// The code page's name as the operator knows it: "GBK", "Windows-1252".
std::string_view LegacyCodePageName(LegacyCodePage page);

// Whether `bytes` is UTF-8 throughout: no overlong forms, no surrogates, nothing beyond U+10FFFF,
// no sequence cut short.
bool IsValidUtf8(std::string_view bytes);

// `bytes` in `page` as UTF-8, or nullopt when any byte or byte pair is not a character of the
// page (a GBK lead byte without its trail byte, one of the five bytes Windows-1252 leaves
// undefined: 0x81, 0x8D, 0x8F, 0x90, 0x9D) or the conversion is not at hand.
std::optional<std::string> LegacyToUtf8(std::string_view bytes, LegacyCodePage page);

}  // namespace vx3::platform
