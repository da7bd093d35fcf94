// The rolling-code settings of the run: the record read from the rolling INI beside the loaded
// image, and the load that fills it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vx3::text {
class Language;
class Reporter;
}  // namespace vx3::text

namespace vx3::rolling {

// How the rolling value is obtained. The numbers are the ones the settings dialog and the INI's
// "Way" keyword map to.
enum class RollingMethod : int {
  AutoInc = 0,         // "INI": value kept in the INI, advanced by the Writer
  RunExe = 1,          // "EXE": value produced by the generator program named by ExeFile
  Custom = 2,          // "CUSTOM": custom value, taken from Count
  NotUsed = 3,         // "DISABLE", or no valid settings
  AutoIncDefault = 4,  // "Way" absent: only while loading
};

inline constexpr std::size_t kRollingMaxWords = 16;

struct RollingSettings {
  RollingMethod method = RollingMethod::NotUsed;
  std::uint32_t address = 0;     // first rolling word in ROM; 0 = no rolling code
  std::uint32_t wordLength = 0;  // rolling words (for VXTERN: bytes, one per word)
  bool lowWordFirst = false;     // Order "L2H"
  std::array<std::uint32_t, kRollingMaxWords> value{};
  std::array<std::uint32_t, kRollingMaxWords> step{};
  std::filesystem::path iniPath;  // the rolling INI of the loaded image
  std::string exeCommand;         // the INI's ExeFile
  bool iniExists = false;         // the rolling INI opened when the image was loaded
  bool usable = true;             // false after the INI turned out to be an older edition
  bool confirmZeroStep = false;   // one-shot: the dialog was opened, one zero-step warning allowed
  bool forceWordDisplay = false;  // one-shot: next display uses 4-digit words even for VXTERN
};

// Reads the rolling INI at settings.iniPath for an image of `romWords` words of `deviceName`
// and fills `settings`; with `report` the summary lines go to the status box and the log.
// For now it only puts the settings out of use; reading the INI comes with the rolling-code work.
void LoadRollingSettings(RollingSettings& settings, std::uint32_t romWords, bool report, std::string_view deviceName,
                         text::Reporter& reporter, const text::Language& language);

}  // namespace vx3::rolling
