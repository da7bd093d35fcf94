// The device's side files beside its description: the symbol file (which layout the device's
// images use), the copy-control file (whether "Load OTP" may copy the device), and the names of
// the files that data read back from a chip are saved to.
#pragma once

#include <filesystem>
#include <string_view>

#include "image/loaded_image.h"

namespace vx3::text {
class Reporter;
}

namespace vx3::image {

inline constexpr std::string_view kSymbolExtension = ".BOL";
inline constexpr std::string_view kCopyControlExtension = ".CPY";
inline constexpr std::string_view kCopySection = "Copy OTP";
inline constexpr std::string_view kCopyKey = "Load_OTP";
inline constexpr std::string_view kLoadOtpFolder = "Load_OTP";
inline constexpr std::string_view kNoImageBaseName = "KELVA";
inline constexpr std::string_view kLoadOtpExtension = ".LOD";
inline constexpr std::string_view kReadBackExtension = ".BBB";

// Reads the symbol file `instrument`.BOL: its 4-byte records up to the first whose mnemonic is
// "NOP" (any case: plain layout) or "..." (wrapped layout). Sets image.wrappedLayout. When the
// file cannot be found or opened it sets image.deviceFilesMissing, reports
// "Can't find <device> symbol file !!!" as an error line and fails.
bool ReadSymbolFile(LoadedImage& image, std::string_view instrument, const std::filesystem::path& programDir,
                    text::Reporter& reporter);

// Reads the copy-control file image.deviceName.CPY: copyFileExists when it is there, and
// loadOtpEnabled when its "Load_OTP" in "Copy OTP" is 1.
void ReadCopyControl(LoadedImage& image, const std::filesystem::path& programDir);

// Where data read back from a chip are saved: with an image loaded, the image path with ".BBB"
// (or, for a "Load OTP" read, the device's .LOD file in the "Load_OTP" folder of the data folder
// `dataDir`); with none, "KELVA.BBB" or "KELVA.LOD" in the current folder.
std::filesystem::path ReadBackFileName(const LoadedImage& image, const std::filesystem::path& dataDir,
                                       bool loadOtpRead);

// `path` with the extension of its file name (from the name's last "." on) replaced by
// `extension` (which includes its dot); a name without "." gets it appended.
std::filesystem::path ReplaceExtension(const std::filesystem::path& path, std::string_view extension);

}  // namespace vx3::image
