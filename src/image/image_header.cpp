#include "image/image_header.h"

#include "platform/utf8_path.h"

namespace vx3::image {

namespace {

bool IsWhite(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

int HexDigit(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::uint32_t HeaderNumber(HeaderBytes header, HeaderField field) {
  const auto bytes = header.subspan(field.offset, field.length);
  std::size_t i = 0;
  while (i < bytes.size() && IsWhite(bytes[i])) ++i;
  std::uint32_t value = 0;
  for (; i < bytes.size(); ++i) {
    const int digit = HexDigit(bytes[i]);
    if (digit < 0) break;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::string HeaderText(HeaderBytes header, HeaderField field) {
  const auto bytes = header.subspan(field.offset, field.length);
  std::size_t i = 0;
  while (i < bytes.size() && IsWhite(bytes[i])) ++i;
  std::string text;
  for (; i < bytes.size() && bytes[i] != 0 && !IsWhite(bytes[i]); ++i) text.push_back(static_cast<char>(bytes[i]));
  return text;
}

ImageHeader ParseImageHeader(HeaderBytes header) {
  ImageHeader h;
  h.chipName = HeaderText(header, kFieldChipName);
  h.calMarker = HeaderText(header, kFieldCalMarker);
  h.endAddress = HeaderNumber(header, kFieldEndAddress);
  h.formatVersion = HeaderNumber(header, kFieldFormatVersion);
  h.optionOverride = HeaderNumber(header, kFieldOptionOverride);
  h.romWordsField = HeaderNumber(header, kFieldRomWords);
  h.autoIncWord = HeaderNumber(header, kFieldAutoIncWord);
  h.eepromInfoWord = HeaderNumber(header, kFieldEepromInfoWord);
  return h;
}

bool HasExtension(const std::filesystem::path& path, std::initializer_list<std::string_view> extensions) {
  const std::string name = platform::PathToUtf8(path.filename());
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  for (const std::string_view candidate : extensions) {
    if (candidate.size() != extension.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < candidate.size() && same; ++i) same = FoldAscii(candidate[i]) == FoldAscii(extension[i]);
    if (same) return true;
  }
  return false;
}

}  // namespace vx3::image
