// The loaded image: the device it is for, its sizes and option fields, its two checksums and
// the security decision, kept for the whole run and read by the Writer operations.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vx3::image {

// Option descriptor (as produced by IncOption): bits 0-7 bit position, bits 8-15 mask,
// bits 16-23 value index; 0 = the option is not described.
inline constexpr std::uint32_t DescriptorBitPosition(std::uint32_t d) { return d & 0xFFu; }
inline constexpr std::uint32_t DescriptorMask(std::uint32_t d) { return (d >> 8) & 0xFFu; }
inline constexpr std::uint32_t DescriptorValueIndex(std::uint32_t d) { return (d >> 16) & 0xFFu; }
inline constexpr std::uint32_t MakeDescriptor(std::uint32_t bitPosition, std::uint32_t mask, std::uint32_t index) {
  return ((index & 0xFFu) << 16) | ((mask & 0xFFu) << 8) | (bitPosition & 0xFFu);
}

inline constexpr std::uint32_t kNoOptionOverride = 0xFFFFFFFFu;
inline constexpr std::uint32_t kNoEepromInfo = 0xFFFFFFFFu;
inline constexpr std::int32_t kUnknownOtpType = -1;
inline constexpr std::int32_t kNoUserRomSize = -1;

struct LoadedImage {
  std::filesystem::path imagePath;  // non-empty while an image is loaded
  std::string deviceName;           // selected device (chip model)
  bool hasHeader = false;           // the image is a .VX3 file
  bool wrappedLayout = false;       // the device's files use the wrapped layout (symbol file)
  // Wrapped layout only: the file less its 32-byte prefix and 16-byte suffix (header area, body).
  std::vector<std::uint8_t> imageBuffer;

  std::uint32_t romWords = 0;  // device ROM size in words
  std::uint32_t romBytes = 0;  // 2 x romWords
  std::int32_t otpType = kUnknownOtpType;
  std::uint32_t bodyBytes = 0;  // bytes of the body (the image less its header)

  std::uint32_t optionOverride = kNoOptionOverride;  // replaces the last ROM word at download
  std::uint32_t optionToggle = 0;                    // bits toggled in the last ROM word at download
  std::uint32_t autoIncWord = 1;                     // above 1: the tool chain allows Auto-Inc rolling
  std::uint32_t eepromInfoWord = kNoEepromInfo;      // header word 0x44 of the last plain .VX3 read

  std::uint16_t checksum = 0;         // byte sum of the body
  std::uint16_t securedChecksum = 0;  // what a protected chip reports
  bool securityEnabled = false;

  std::uint32_t securityOption = 0;  // descriptors of the options "Security", "Security0", "Security1"
  std::uint32_t security0Option = 0;
  std::uint32_t security1Option = 0;
  bool newCodeOption = false;                    // COMMAND names NEW_CODEOPTION
  std::int32_t userRomWords = kNoUserRomSize;    // USER_ROM_SIZE; -1 when absent
  std::int32_t reservedWords = 0;                // romWords - userRomWords

  std::string checksumText;  // the checksum line of the main window

  // Outcome of the last load.
  bool loadOk = false;
  bool fileMissing = false;
  bool deviceFilesMissing = false;
  bool incMissing = false;  // a description file was asked for and not found

  // Copy-control file of the device.
  bool copyFileExists = false;
  bool loadOtpEnabled = false;
};

}  // namespace vx3::image
