// The 256-byte text header of a .VX3 image: where its fields lie and how each is read, and the
// extension test that tells a .VX3 file from a raw one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace vx3::image {

inline constexpr std::size_t kHeaderBytes = 256;

// Field offsets and lengths in the header.
struct HeaderField {
  std::size_t offset;
  std::size_t length;
};
inline constexpr HeaderField kFieldChipName{0x00, 16};
inline constexpr HeaderField kFieldCalMarker{0x10, 16};
inline constexpr HeaderField kFieldEndAddress{0x20, 8};
inline constexpr HeaderField kFieldFormatVersion{0x28, 4};
inline constexpr HeaderField kFieldOptionOverride{0x2C, 4};
inline constexpr HeaderField kFieldRomWords{0x30, 8};
inline constexpr HeaderField kFieldAutoIncWord{0x3C, 4};
inline constexpr HeaderField kFieldEepromInfoWord{0x44, 4};

using HeaderBytes = std::span<const std::uint8_t, kHeaderBytes>;

// A numeric field: leading blanks skipped, then hexadecimal digits up to the first other
// character, all within the field's own bytes. A field without any hexadecimal digit reads as 0.
std::uint32_t HeaderNumber(HeaderBytes header, HeaderField field);

// A text field: its first token, ending at white space or NUL (or at the field's end).
std::string HeaderText(HeaderBytes header, HeaderField field);

struct ImageHeader {
  std::string chipName;
  std::string calMarker;
  std::uint32_t endAddress = 0;
  std::uint32_t formatVersion = 0;
  std::uint32_t optionOverride = 0;
  std::uint32_t romWordsField = 0;
  std::uint32_t autoIncWord = 0;
  std::uint32_t eepromInfoWord = 0;
};

// Every field of the header, read by the rules above (whichever the format version uses).
ImageHeader ParseImageHeader(HeaderBytes header);

// True when the extension of the file name in `path` (from its last "." on, the dot included)
// equals one of `extensions` without regard to case.
bool HasExtension(const std::filesystem::path& path, std::initializer_list<std::string_view> extensions);

}  // namespace vx3::image
