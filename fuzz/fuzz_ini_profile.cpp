// Fuzzes the INI profile layer. The first three bytes choose a section, a key and a second key
// (from a small alphabet, so that they name each other often); the rest is the INI file. Reads
// must not fail on any file, a write that succeeds must read back, and it must leave the value of
// any other key as it was. The same bytes read as a language file in either code page give UTF-8
// (or the UTF-16 that the lookup reads itself).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/ini_profile.h"
#include "platform/legacy_text.h"
#include "ui_text/language.h"

using namespace vx3;

namespace {

std::string Name(std::uint8_t choice) {
  static constexpr std::string_view kNames[] = {"Rolling Code", "Copy OTP", "STRING TABLE", "Way", "Count",
                                                "count",        "Load_OTP", "a",            "A b", "IDS_OK",
                                                "Step",         "x1",       "Verify",       "Order", "k", "Z"};
  return std::string(kNames[choice & 15]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const auto file = fuzz::WorkDir() / "profile.ini";
  const std::string section = Name(data[0]);
  const std::string key = Name(data[1]);
  const std::string otherSection = Name(data[2] >> 4);
  const std::string otherKey = Name(data[2]);
  const std::string_view content(reinterpret_cast<const char*>(data + 3), size - 3);
  fuzz::WriteBytes(file, content);

  const bool utf16 = content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF");
  for (const auto page : {platform::LegacyCodePage::Gbk, platform::LegacyCodePage::Windows1252}) {
    const text::DecodedLanguageFile decoded = text::DecodeLanguageFile(content, page);
    fuzz::Require(utf16 || platform::IsValidUtf8(decoded.bytes), "a language file reads as UTF-8");
    if (auto value = platform::ReadProfileStringFromBytes(decoded.bytes, section, key); value && !utf16) {
      fuzz::Require(platform::IsValidUtf8(*value), "a language text is UTF-8");
    }
  }

  const auto before = platform::ReadProfileString(file, otherSection, otherKey);
  platform::ReadProfileInt(file, section, key, -7);
  if (before) fuzz::Require(before->size() <= 4 * platform::kProfileValueMaxChars, "a value is cut");

  // The value written: what the rolling code writes, a counter in hexadecimal digits.
  const std::string value = "00A5" + std::to_string(size);
  if (!platform::WriteProfileString(file, section, key, value)) return 0;
  fuzz::Require(platform::ReadProfileString(file, section, key) == value, "a written value reads back");
  const bool sameKey = [&] {
    auto fold = [](std::string s) {
      for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
      return s;
    };
    return fold(section) == fold(otherSection) && fold(key) == fold(otherKey);
  }();
  if (!sameKey) {
    fuzz::Require(platform::ReadProfileString(file, otherSection, otherKey) == before, "a write keeps other keys");
  }
  return 0;
}
