// The rolling-code settings of the run: the record read from the rolling INI beside the loaded
// image, the INI's names, and the load that reads, validates and reports them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "ui_text/ui_texts.h"

namespace vx3::text {
class Language;
class Reporter;
}  // namespace vx3::text

namespace vx3::platform {
class CommandProcessor;
}

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
using RollingWords = std::array<std::uint32_t, kRollingMaxWords>;

// The one chip model whose rolling words carry one byte of the value each (exact name, with case).
inline constexpr std::string_view kByteWordDevice = "VXTERN";
inline bool IsByteWordDevice(std::string_view deviceName) { return deviceName == kByteWordDevice; }

// Why the serial numbers that the rolling INI asks for cannot be made: a language text and its
// arguments, kept so that it can be said again in the other language. No text: the INI asks for
// none (no INI, Way=DISABLE, or no Way and no Address) or they can be made.
struct NoSerialReason {
  text::UiText text{};
  std::array<std::string, 2> args;
  std::size_t argCount = 0;
  bool Set() const { return !text.key.empty(); }
};

struct RollingSettings {
  RollingMethod method = RollingMethod::NotUsed;
  std::uint32_t address = 0;     // first rolling word in ROM; 0 = no rolling code
  std::uint32_t wordLength = 0;  // rolling words (for VXTERN: bytes, one per word)
  bool lowWordFirst = false;     // Order "L2H"
  RollingWords value{};          // entry i belongs to ROM word address + i
  RollingWords step{};
  std::filesystem::path iniPath;  // the rolling INI of the loaded image
  std::string exeCommand;         // the INI's ExeFile
  bool iniExists = false;         // the rolling INI opened when the image was loaded
  bool usable = true;             // false after the INI turned out to be an older edition
  bool confirmZeroStep = false;   // one-shot: the dialog was opened, one zero-step warning allowed
  bool forceWordDisplay = false;  // one-shot: next display uses 4-digit words even for VXTERN
  // The operator's "verify ROM without the rolling code" choice of the last OK in the dialog;
  // the dialog puts it into the EEPROM header's verify byte at the same time.
  bool verifyWithoutRolling = false;
  // Set by every load of the INI: why its serial numbers cannot be made (see NoSerialReason).
  NoSerialReason noSerial;
  // The operator answered Yes to programming chips without serial numbers; until the next image
  // load (ReadImage clears it, a load that ends before the image keeps what was in force).
  bool programWithoutSerials = false;
};

// The rolling INI: section, keys and keywords.
inline constexpr std::string_view kRollingSection = "Rolling Code";
namespace key {
inline constexpr std::string_view kWay = "Way";
inline constexpr std::string_view kExeFile = "ExeFile";
inline constexpr std::string_view kOrder = "Order";
inline constexpr std::string_view kAddress = "Address";
inline constexpr std::string_view kWordLength = "Word_Length";
inline constexpr std::string_view kCount = "Count";
inline constexpr std::string_view kStep = "Step";
inline constexpr std::string_view kVerify = "Verify";
}  // namespace key
namespace way {
inline constexpr std::string_view kIni = "INI";
inline constexpr std::string_view kExe = "EXE";
inline constexpr std::string_view kCustom = "CUSTOM";
inline constexpr std::string_view kDisable = "DISABLE";
}  // namespace way
inline constexpr std::string_view kOrderLowFirst = "L2H";
inline constexpr std::string_view kOrderHighFirst = "H2L";
// Value texts are read up to this many characters; after the generator ran, up to the shorter.
inline constexpr std::size_t kValueTextMaxChars = 159;
inline constexpr std::size_t kGeneratedValueMaxChars = 79;

// Messages of the load, and the log kind of its problems.
inline constexpr int kKindRollingProblem = 10;
inline constexpr std::string_view kMessageGeneratorMissing = "The EXEFILE of Rolling Code (.EXE) is not found !!!";
// A Count or Step that is not a number, named by its key and its INI.
inline constexpr std::string_view kMessageNotHexFormat =
    "{} of Rolling Code in {} holds other than hexadecimal digits: the rolling code is off until it is mended !!!";
// The rolling record carries the address in 16 bits.
inline constexpr std::uint32_t kMaxRollingAddress = 0xFFFF;
inline constexpr std::string_view kMessageFormatQuestion = "The format of Rolling Code (.INI) has some question !!!";
inline constexpr std::string_view kMessageOlderEdition =
    "The format of Rolling Code (.INI) is a older edition, Rolling Code function will be disabled !!";
inline constexpr std::string_view kMessageZeroStep = "Rolling Code Step Value = 0 !\nIs This Okay ? Please Confirm.";

// The reason in the language in force ("Count of X.INI is not a number").
std::string NoSerialText(const NoSerialReason& reason, const text::Language& language);

// What the load works with besides the settings.
struct RollingServices {
  text::Reporter& reporter;
  const text::Language& language;
  platform::CommandProcessor& commands;  // runs the generator program of the "EXE" way
};

// The INI's keyword of `method` ("INI", "EXE", "CUSTOM", "DISABLE").
std::string_view WayKeyword(RollingMethod method);

// Reads the rolling INI at settings.iniPath for an image of `romWords` words of `deviceName`
// and fills `settings`. Problems are reported (log kind 10, or the older-edition warning) and
// leave the method NotUsed with address 0, value and step zero; when the INI asked for serial
// numbers (its Way INI, EXE, CUSTOM or one it does not know, or no Way but an Address) the
// reason is left in settings.noSerial. With `report` a valid load adds the five summary lines.
void LoadRollingSettings(RollingSettings& settings, std::uint32_t romWords, bool report, std::string_view deviceName,
                         const RollingServices& services);

}  // namespace vx3::rolling
