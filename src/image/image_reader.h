// Reading a firmware image for the selected device: the .VX3 and raw forms in the plain and the
// wrapped layout, the checks that the image fits the device, its checksums and security, and the
// side files read with it (rolling INI, copy control).
#pragma once

#include <array>
#include <filesystem>
#include <span>
#include <string_view>

#include "image/loaded_image.h"

namespace vx3::text {
class Language;
class Reporter;
}  // namespace vx3::text

namespace vx3::rolling {
struct RollingSettings;
}

namespace vx3::platform {
class CommandProcessor;
}

namespace vx3::image {

inline constexpr std::string_view kImageExtension = ".VX3";

// Fixed messages of the image checks.
// The wrapped layout puts this many bytes before the image's header, and its tool chain names
// the chip of an OTP build with this suffix.
inline constexpr std::size_t kWrapPrefixBytes = 32;
inline constexpr std::string_view kWrappedChipSuffix = "OTP";
inline constexpr std::string_view kMessageFormatUnknown = "The .VX3 file format is unknown !!!";
inline constexpr std::string_view kMessageBinOnly = "Device only supports \".BIN\" file !!";
inline constexpr std::string_view kMessageFormatNewer = "The .VX3 file format is newer than IDE software";
inline constexpr std::string_view kMessageMaskRom =
    "'CHIP VX3A1XXXA' can not program OTP\r\n   Declare 'CHIP VX3P1XXX' then compile again";
inline constexpr std::string_view kMessageCodeTooLarge = "Code too large, can't fill to OTP !!!";
inline constexpr std::string_view kMessageRobinCalibration =
    "Orvel Writer does not support VXROBIN calibration, please use the OV Writer calibration edition, ask to "
    "consult the KELVA agent in details !!!";

// Log kinds of the image checks.
inline constexpr int kKindImageProblem = 12;
inline constexpr int kKindUpgradeIde = 13;
inline constexpr int kKindBinOnly = 15;

// Highest header format version this program reads.
inline constexpr std::uint32_t kNewestFormatVersion = 6;
// Version-0 images of VXORCA have this bit of the last option word toggled at download.
inline constexpr std::uint32_t kOrcaOptionToggle = 0x200;

// One row of the device-name equivalence table: a selected device and the chip names (earlier or
// variant revisions of the same part) whose images it accepts.
struct ChipNameRow {
  std::string_view device;
  std::array<std::string_view, 5> accepted;  // unused places are empty
};
std::span<const ChipNameRow> ChipNameEquivalences();

// Whether an image assembled for `chipName` may be programmed into `deviceName`: the same name
// without regard to case, or a pair of the equivalence table.
bool ChipNameAccepted(std::string_view deviceName, std::string_view chipName);

// The rolling INI beside an image: the image's file name with its extension replaced by ".INI",
// or with ".INI" appended when the name has none; an INI of that name in another letter case is
// found too. Never the image itself.
inline constexpr std::string_view kRollingIniExtension = ".INI";
std::filesystem::path RollingIniPath(const std::filesystem::path& imagePath);

// Reads image.imagePath for the device set in `image` (deviceName, romWords, romBytes, otpType,
// the option descriptors, wrappedLayout) and fills the image fields; then reads the side files
// into `rolling` and `image`. On failure the reason has been reported (warning box and log, or
// error line), except when the file cannot be opened at all. `commands` runs the rolling INI's
// generator program; null means the system's command processor.
bool ReadImage(LoadedImage& image, bool binOnlyDevice, rolling::RollingSettings& rolling,
               const std::filesystem::path& programDir, text::Reporter& reporter, const text::Language& language,
               platform::CommandProcessor* commands = nullptr);

}  // namespace vx3::image
