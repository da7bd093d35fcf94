// What the simulated Writer keeps between program runs: its firmware, the job in its EEPROM,
// the chip in its socket, and which settings it has taken over. Stored in a file beside the
// library, written whole and renamed into place once per finished command and on close.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "protocol.h"

namespace vx3::sim {

struct Firmware {
  std::uint16_t iapVersion = 0;
  std::uint16_t iapDate = 0;
  std::uint8_t iapStatus = 0;
  std::uint16_t driverVersion = 0;
  std::uint16_t driverDate = 0;
  std::uint16_t driverSignature = 0;
  std::uint16_t hostLevel = 0;
  std::uint8_t offlineMode = 0;  // the off-line default mode the last version query carried
  std::vector<std::uint8_t> iapImage;
  std::vector<std::uint8_t> driverImage;
};

struct EepromJob {
  bool complete = false;
  std::array<std::uint8_t, protocol::kHeaderSize> header{};
  std::vector<std::uint8_t> body;
};

struct Chip {
  bool present = true;
  std::string type;  // empty: of the job's type
  bool secured = false;
  bool swapPending = false;  // programmed; a new chip goes in before the next programming
  std::uint8_t fill = 0xFF;  // what the ROM beyond `rom` holds
  bool copiesJob = false;    // programmed with the job before it came: beyond `rom` it holds the job
  std::vector<std::uint8_t> rom;
  // The rolling-code bytes programmed into this chip (byte offset, value), which verify expects.
  std::vector<std::pair<std::uint32_t, std::uint8_t>> rollingBytes;
};

struct WriterState {
  Firmware firmware;
  EepromJob job;
  Chip chip;
  std::map<std::string, std::string> seenSettings;
};

// False, with `state` untouched, when the file is missing or not a state file of this kind.
bool LoadState(const std::filesystem::path& file, WriterState& state);
// Writes a temporary file beside `file` and renames it over `file`.
bool SaveState(const std::filesystem::path& file, const WriterState& state);

}  // namespace vx3::sim
