// The simulated Writer's settings: the INI beside it that says which Writer and which chip it
// plays, how fast it answers and which faults it shows. Read again at every OpenDevice, so an
// edit takes effect at the program's next command.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vx3::sim {

inline constexpr std::string_view kSettingsFileName = "VX3USBOV3Wt.ini";
inline constexpr std::string_view kStateFileName = "VX3USBOV3Wt.state";
inline constexpr std::string_view kTraceFileName = "VX3USBOV3Wt.trace";
// Every chip the Writer programs, one line each, for tests and checks to see what it received.
inline constexpr std::string_view kChipsFileName = "VX3USBOV3Wt.chips";
// A per-transfer wait longer than this would only look like a hung program.
inline constexpr int kMaxLatencyMs = 10000;
// Limits of the other times, for the same reason.
inline constexpr int kMaxMsPerKb = 1000;
inline constexpr int kMaxRestartMs = 120000;
inline constexpr int kMaxReadTimeoutMs = 60000;
// Stand-alone chips taken at one open: a run as long as a shift's, not an endless loop.
inline constexpr int kMaxStandaloneChips = 100000;
// Names the folder of the settings and state files instead of the library's own folder.
inline constexpr const char* kSimDirVariable = "VX3WT_SIM_DIR";

enum class ChipContent { Blank, Job, Fill, File };

// The chip that goes into the socket whenever a new one is inserted.
struct ChipSettings {
  bool inSocket = true;
  std::string type;  // empty: whatever type the EEPROM job names
  bool secured = false;
  ChipContent content = ChipContent::Blank;
  std::uint8_t fillByte = 0xFF;
  std::filesystem::path file;  // ChipContent::File, made absolute
  int verifyFailAt = -1;       // a word address whose cell never holds what was programmed
  std::string text;            // the settings as written, to notice a change

  bool operator==(const ChipSettings&) const = default;
};

// The firmware a fresh Writer has; a changed value is taken over by the Writer at once.
struct FirmwareSettings {
  int iapVersion = 0x0100;
  int iapDate = 0x0000;
  int iapStatus = 1;
  int driverVersion = 0x0100;
  int driverDate = 0x0000;
  int hostLevel = 0xA145;
};

// How long the Writer takes: the chip operations per KB of ROM, and its restart after 0x0A.
struct Timing {
  int blankCheckMsPerKb = 0;
  int programMsPerKb = 0;
  int verifyMsPerKb = 0;
  int restartMs = 0;  // after a reset the Writer answers every command with status 0 this long
};

struct Faults {
  int failWriteAt = 0;       // this USB_WriteOut after OpenDevice fails (0: none)
  int failReadAt = 0;        // this USB_ReadIn after OpenDevice fails (0: none)
  int readTimeoutAt = 0;     // this USB_ReadIn after OpenDevice waits readTimeoutMs, then fails
  int readTimeoutMs = 1000;
  int unplugAtTransfer = 0;  // transfer N (writes and reads, counted from when the setting
                             // took effect) and every later one fail; the Writer is gone
  int hangAction = -1;       // this chip action never ends: text rounds without end
  int statusCommand = -1;  // the command whose reply number statusReply gets status byte statusValue
  int statusReply = 0;
  int statusValue = 0;
  std::string messageText;  // shown before every chip action's own messages
  std::array<std::uint8_t, 15> messageArguments{};
};

struct Settings {
  bool present = true;        // false: no Writer on the bus
  int openDeviceResult = 1;   // what OpenDevice gives while present
  int latencyMs = 0;          // wait before every transfer
  bool trace = false;         // every call, packet and reply into the trace file
  bool strict = true;         // a packet out of the protocol's order is written to the trace file
  int standaloneChips = 0;    // chips programmed off-line before this open; cleared once done
  bool insertNewChip = true;  // a new chip replaces a programmed one before the next programming
  FirmwareSettings firmware;
  Timing timing;
  ChipSettings chip;
  Faults faults;
};

// Reads the settings INI; missing keys keep their defaults. A relative chip file is taken
// relative to `baseDir`.
Settings ReadSettings(const std::filesystem::path& iniFile, const std::filesystem::path& baseDir);

// "\r", "\n", "\t", "\\" and "\xHH" in a settings text, which an INI line cannot hold as such.
std::string UnescapeText(std::string_view text);

// A path from UTF-8 text, the same on every platform.
std::filesystem::path PathFromUtf8(std::string_view text);

}  // namespace vx3::sim
