// Builds firmware images and device files for tests, benchmarks and the sample kit: .VX3 headers
// with any field values, bodies with chosen option words, raw and wrapped files, and the
// description, symbol, copy-control and rolling INI files of a program folder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx3::testing {

inline constexpr std::size_t kVx3HeaderBytes = 256;

// The fields of a .VX3 header as the tool chain writes them: texts padded with blanks, numbers
// in upper-case hexadecimal digits filling their field.
struct Vx3HeaderFields {
  std::string chipName = "VX3P1020";
  std::string calMarker;
  std::uint32_t endAddress = 0;
  std::uint32_t formatVersion = 6;
  std::uint32_t optionOverride = 0;
  std::uint32_t romWordsField = 0;
  std::uint32_t autoIncWord = 0;
  std::uint32_t eepromInfoWord = 0;
  // Bytes laid over the fields above at an offset, for headers no tool chain writes
  // (blanks before digits, no digits at all, a NUL inside the chip name).
  std::vector<std::pair<std::size_t, std::string>> raw;
};

// Exactly 256 bytes.
std::string MakeHeader(const Vx3HeaderFields& fields);

// Byte i of the fixed pseudo-random code pattern: ((i * 2654435761) >> 13) & 0xFF.
std::uint8_t PatternByte(std::uint64_t i);

// A body of `words` 16-bit words (little-endian): the pattern for the first `codeWords` words,
// blank words 0xFFFF after them, and the four option words as its last four words.
std::string MakeBody(std::size_t words, std::array<std::uint16_t, 4> optionWords,
                     std::size_t codeWords = std::numeric_limits<std::size_t>::max());

// Header then body.
std::string MakeVx3(const Vx3HeaderFields& header, std::string_view body);

// The wrapped layout: a 32-byte prefix, the 256-byte header area (`headerArea`, padded with
// 0xFF or cut to 256 bytes), the body, and a 16-byte suffix.
std::string MakeWrapped(std::string_view headerArea, std::string_view body);

// Writes `bytes` to `file`, making its folders; returns the path.
std::filesystem::path WriteFileBytes(const std::filesystem::path& file, std::string_view bytes);

// Files of a program folder.
std::filesystem::path WriteDescription(const std::filesystem::path& programDir, std::string_view device,
                                       std::string_view text);  // USE_INC2/<device>.INC
// Symbol/<instrument>.BOL: one 4-byte record per mnemonic (three characters and a class byte).
std::filesystem::path WriteSymbolFile(const std::filesystem::path& programDir, std::string_view instrument,
                                      std::initializer_list<std::string_view> mnemonics);
// A small device of its own in the kit of `programDir` (description with `programTypeLine`, which
// may be empty, and the "VXT" symbol file) and a 2K-word .VX3 image for it in images/; returns the
// image's path.
std::filesystem::path WriteSmallDeviceImage(const std::filesystem::path& programDir, const std::string& device,
                                            std::string_view programTypeLine);
std::filesystem::path WriteCopyControl(const std::filesystem::path& programDir, std::string_view device,
                                       std::string_view loadOtpValue);  // CPY/<device>.CPY

// The rolling INI beside an image; an empty field leaves its key out.
struct RollingIniFields {
  std::string way;
  std::string exeFile;
  std::string order;
  std::string address;
  std::string wordLength;
  std::string count;
  std::string step;
};
std::filesystem::path WriteRollingIni(const std::filesystem::path& iniPath, const RollingIniFields& fields);

}  // namespace vx3::testing
