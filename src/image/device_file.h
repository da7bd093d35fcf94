// The device description reader: where the device files lie, and single questions answered from
// a device's .INC file (a text value, a number, an option descriptor), scanning it each time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vx3::image {

// Folders of the program folder that hold the device files.
inline constexpr std::string_view kDescriptionFolder = "USE_INC2";
inline constexpr std::string_view kSymbolFolder = "Symbol";
inline constexpr std::string_view kCopyControlFolder = "CPY";

inline constexpr std::string_view kDescriptionExtension = ".INC";
inline constexpr std::string_view kAssemblySection = ".ASSEMBLY";
inline constexpr std::string_view kIncludeSection = "INCLUDE";

// Keys the program asks for, all in section ".ASSEMBLY".
inline constexpr std::string_view kKeyInstrument = "INSTRUMENT";
inline constexpr std::string_view kKeyBodySize = "OTP_BODY_SIZE";
inline constexpr std::string_view kKeyProgramType = "PGM_TYPE";
inline constexpr std::string_view kKeyOption = "OPTION";
inline constexpr std::string_view kKeyCommand = "COMMAND";
inline constexpr std::string_view kKeyUserRomSize = "USER_ROM_SIZE";
inline constexpr std::string_view kOptionSecurity = "Security";
inline constexpr std::string_view kOptionSecurity0 = "Security0";
inline constexpr std::string_view kOptionSecurity1 = "Security1";
inline constexpr std::string_view kValueEnable = "Enable";

// A text value is cut to this many characters; the rest of its line is skipped.
inline constexpr std::size_t kIncValueMaxChars = 255;

// The path of `name` (a file name, possibly with folders before it) in `subFolder` of the
// program folder, when that file can be opened for reading. Otherwise nullopt, and when `name`
// holds ".INC" anywhere but at its very start, *incMissing is set (the load flow tests it).
// As on the tool chain's own systems, the name's root is dropped, '\' separates folders as '/'
// does, and a file name that differs only in letter case is the same file.
std::optional<std::filesystem::path> LocateDeviceFile(const std::filesystem::path& programDir, std::string_view name,
                                                      std::string_view subFolder, bool* incMissing = nullptr);

// Text mode: the value of the first line of `device`.INC whose first token is `section` and
// whose second is `key` (or, with no key, the rest of the first line that starts with `section`).
// A key found neither in the file nor in the files its first INCLUDE line leads to leaves
// `result` untouched and gives false.
bool IncLookup(const std::filesystem::path& programDir, std::string_view device, std::string_view section,
               std::optional<std::string_view> key, std::string& result, bool* incMissing = nullptr);

// Option mode: looks for an option line `section` `key` <bit position> `optionName` <value names>
// on which `valueName` stands; `descriptor` receives its option descriptor.
struct OptionQuery {
  std::string_view optionName;
  std::string_view valueName;
  std::uint32_t descriptor = 0;
};
bool IncLookup(const std::filesystem::path& programDir, std::string_view device, std::string_view section,
               std::string_view key, OptionQuery& option, bool* incMissing = nullptr);

// The value of `key` as a number; -1 when the key is absent or its value empty.
std::int32_t IncNumber(const std::filesystem::path& programDir, std::string_view device, std::string_view section,
                       std::string_view key, bool* incMissing = nullptr);

// The option descriptor of `optionName` with the value `valueName`; 0 when not found.
std::uint32_t IncOption(const std::filesystem::path& programDir, std::string_view device, std::string_view section,
                        std::string_view key, std::string_view optionName, std::string_view valueName,
                        bool* incMissing = nullptr);

// The number rules of a value text: "0x" and hexadecimal digits; hexadecimal digits ending in
// "H" or "h"; otherwise decimal. Leading blanks are skipped and reading stops at the first
// character that is not part of the number (none: 0); digits beyond 32 bits wrap around.
// An empty text gives -1.
std::int32_t ParseIncNumber(std::string_view text);

// The mask of an option with `valueCount` value names: 15 above 8, 7 above 4, 3 above 2,
// 1 for 2, and the count itself for 0 or 1.
std::uint32_t OptionMask(std::uint32_t valueCount);

// A file token and a name match when they have the same length and every pair of characters
// agrees in all bits but bit 5 (so letters compare without regard to case).
bool TokenMatches(std::string_view token, std::string_view name);

}  // namespace vx3::image
