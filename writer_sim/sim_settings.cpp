// Reading the simulated Writer's settings INI.
#include "sim_settings.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "sim_ini.h"

namespace vx3::sim {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "Blank", "Job", two hexadecimal digits, or "File:" and a path.
void ReadChipContent(std::string_view value, const std::filesystem::path& baseDir, ChipSettings& chip) {
  const std::string lower = Lower(value);
  if (lower.empty() || lower == "blank") {
    chip.content = ChipContent::Blank;
  } else if (lower == "job") {
    chip.content = ChipContent::Job;
  } else if (lower.rfind("file:", 0) == 0) {
    chip.content = ChipContent::File;
    const std::filesystem::path file = PathFromUtf8(value.substr(5));
    chip.file = file.is_absolute() ? file : baseDir / file;
  } else if (value.size() == 2 && HexDigit(value[0]) >= 0 && HexDigit(value[1]) >= 0) {
    chip.content = ChipContent::Fill;
    chip.fillByte = static_cast<std::uint8_t>(HexDigit(value[0]) * 16 + HexDigit(value[1]));
  }
}

// Up to fifteen bytes in hexadecimal, separated by spaces or commas.
std::array<std::uint8_t, 15> ReadBytes(std::string_view text) {
  std::array<std::uint8_t, 15> bytes{};
  std::size_t count = 0;
  int value = -1;
  for (std::size_t i = 0; i <= text.size() && count < bytes.size(); ++i) {
    const int digit = i < text.size() ? HexDigit(text[i]) : -1;
    if (digit >= 0) {
      value = value < 0 ? digit : (value * 16 + digit) & 0xFF;
    } else if (value >= 0) {
      bytes[count++] = static_cast<std::uint8_t>(value);
      value = -1;
    }
  }
  return bytes;
}

}  // namespace

std::string UnescapeText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    if (next == 'r') {
      out += '\r';
    } else if (next == 'n') {
      out += '\n';
    } else if (next == 't') {
      out += '\t';
    } else if (next == '\\') {
      out += '\\';
    } else if (next == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += '\\';
      out += next;
    }
  }
  return out;
}

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

Settings ReadSettings(const std::filesystem::path& iniFile, const std::filesystem::path& baseDir) {
  Settings settings;
  const IniFile ini = IniFile::Read(iniFile);
  const auto readInt = [&](std::string_view section, std::string_view key, int fallback) {
    return ini.Int(section, key, fallback);
  };
  const auto readText = [&](std::string_view section, std::string_view key) {
    return ini.Text(section, key).value_or(std::string());
  };
  // An empty value is no value: "not set" for the settings that name a code or an address.
  const auto readOptional = [&](std::string_view section, std::string_view key) {
    return readText(section, key).empty() ? -1 : readInt(section, key, -1);
  };

  settings.present = readInt("Writer", "Present", 1) != 0;
  settings.openDeviceResult = readInt("Writer", "OpenDeviceResult", 1);
  settings.latencyMs = std::clamp(readInt("Writer", "LatencyMs", 0), 0, kMaxLatencyMs);
  settings.trace = readInt("Writer", "Trace", 0) != 0;
  settings.strict = readInt("Writer", "Strict", 1) != 0;
  settings.standaloneChips = std::clamp(readInt("Writer", "StandaloneChips", 0), 0, kMaxStandaloneChips);

  Timing& timing = settings.timing;
  timing.blankCheckMsPerKb = std::clamp(readInt("Timing", "BlankCheckMsPerKB", 0), 0, kMaxMsPerKb);
  timing.programMsPerKb = std::clamp(readInt("Timing", "ProgramMsPerKB", 0), 0, kMaxMsPerKb);
  timing.verifyMsPerKb = std::clamp(readInt("Timing", "VerifyMsPerKB", 0), 0, kMaxMsPerKb);
  timing.restartMs = std::clamp(readInt("Timing", "RestartMs", 0), 0, kMaxRestartMs);

  FirmwareSettings& firmware = settings.firmware;
  firmware.iapVersion = readInt("Firmware", "IapVersion", firmware.iapVersion) & 0xFFFF;
  firmware.iapDate = readInt("Firmware", "IapDate", firmware.iapDate) & 0xFFFF;
  firmware.iapStatus = readInt("Firmware", "IapStatus", firmware.iapStatus) & 0xFF;
  firmware.driverVersion = readInt("Firmware", "DriverVersion", firmware.driverVersion) & 0xFFFF;
  firmware.driverDate = readInt("Firmware", "DriverDate", firmware.driverDate) & 0xFFFF;
  firmware.hostLevel = readInt("Firmware", "HostLevel", firmware.hostLevel) & 0xFFFF;

  ChipSettings& chip = settings.chip;
  chip.inSocket = readInt("Chip", "InSocket", 1) != 0;
  chip.type = readText("Chip", "Type");
  chip.secured = readInt("Chip", "Secured", 0) != 0;
  const std::string content = readText("Chip", "Content");
  ReadChipContent(content, baseDir, chip);
  chip.verifyFailAt = readOptional("Chip", "VerifyFailAt");
  chip.text = std::to_string(chip.inSocket) + "|" + chip.type + "|" + std::to_string(chip.secured) + "|" + content;
  settings.insertNewChip = readInt("Chip", "InsertNewAfterProgram", 1) != 0;

  Faults& faults = settings.faults;
  faults.failWriteAt = readInt("Faults", "FailWriteAt", 0);
  faults.failReadAt = readInt("Faults", "FailReadAt", 0);
  faults.readTimeoutAt = readInt("Faults", "ReadTimeoutAt", 0);
  faults.readTimeoutMs = std::clamp(readInt("Faults", "ReadTimeoutMs", faults.readTimeoutMs), 0, kMaxReadTimeoutMs);
  faults.unplugAtTransfer = std::max(readInt("Faults", "UnplugAtTransfer", 0), 0);
  faults.hangAction = readOptional("Faults", "HangAction");
  faults.statusCommand = readOptional("Faults", "StatusCommand");
  faults.statusReply = readInt("Faults", "StatusReply", 0);
  faults.statusValue = readInt("Faults", "Status", 0) & 0xFF;
  const std::string message = UnescapeText(readText("Faults", "MessageText"));
  const int repeat = std::clamp(readInt("Faults", "MessageRepeat", 1), 1, 1000);
  for (int i = 0; i < repeat; ++i) faults.messageText += message;
  faults.messageArguments = ReadBytes(readText("Faults", "MessageArgs"));
  return settings;
}

}  // namespace vx3::sim
