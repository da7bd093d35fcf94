// The chip history: the last devices an EEPROM download was made for, newest first, offered by
// the device chooser as the pseudo-series "History Chip".
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vx3::device_select {

inline constexpr std::string_view kHistoryFileName = "History Chip.log";
inline constexpr std::size_t kHistoryMaxNames = 5;

// "Writer_Log/History Chip.log" in the data folder (the program folder unless it moved).
std::filesystem::path HistoryPath(const std::filesystem::path& dataDir);

// The names in the history file, in file order (empty lines left out); empty when the file is
// missing.
std::vector<std::string> ReadChipHistory(const std::filesystem::path& historyFile);

// Puts `deviceName` first in the history file, drops its other spellings (compared without
// regard to case) and keeps at most five names, each line ended by CR LF. The file is replaced
// whole (written beside it, then renamed), so a crash never leaves half a history. A missing
// Writer_Log folder or an unwritable file leaves the history as it was, silently; an empty name
// changes nothing. Returns true when the file was written.
bool AddChipToHistory(const std::filesystem::path& historyFile, std::string_view deviceName);

}  // namespace vx3::device_select
