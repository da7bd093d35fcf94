#include "device_select/chip_history.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

#include "ui_text/program_paths.h"
#include "platform/ascii_case.h"
#include "platform/ini_profile.h"

namespace vx3::device_select {

namespace {

using platform::EqualsIgnoringCase;

}  // namespace

std::filesystem::path HistoryPath(const std::filesystem::path& dataDir) {
  return text::ComposeProgramPath(dataDir, "Writer_Log", kHistoryFileName);
}

std::vector<std::string> ReadChipHistory(const std::filesystem::path& historyFile) {
  std::vector<std::string> names;
  std::ifstream in(historyFile, std::ios::binary);
  if (!in) return names;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) names.push_back(line);
  }
  return names;
}

bool AddChipToHistory(const std::filesystem::path& historyFile, std::string_view deviceName) {
  // A name is one line; anything after a line break could not be read back as the same name.
  deviceName = deviceName.substr(0, deviceName.find_first_of("\r\n"));
  if (deviceName.empty()) return false;

  std::vector<std::string> names{std::string(deviceName)};
  for (std::string& kept : ReadChipHistory(historyFile)) {
    if (names.size() == kHistoryMaxNames) break;
    if (!EqualsIgnoringCase(kept, deviceName)) names.push_back(std::move(kept));
  }
  std::string content;
  for (const std::string& name : names) content += name + "\r\n";

  // Replaced whole and durably, as the INI files are: a crash leaves the old list or the new
  // one, and a file made read-only stays as it is.
  return platform::ReplaceFileAtomically(historyFile, content);
}

}  // namespace vx3::device_select
