// The simulated Writer's chips file as the tests read it: what every chip it programmed got, one
// tab-separated line each (time, command, rolling value, PASS or FAIL).
#pragma once

#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vx3::testing {

struct ChipLine {
  std::string command;
  std::string value;
  std::string result;
  bool operator==(const ChipLine&) const = default;
  friend void PrintTo(const ChipLine& chip, std::ostream* out) {
    *out << chip.command << ' ' << chip.value << ' ' << chip.result;
  }
};

// The whole lines of the file in `simDir`: a Writer killed in the middle of one leaves it short.
inline std::vector<ChipLine> ChipsFile(const std::filesystem::path& simDir) {
  std::vector<ChipLine> chips;
  std::istringstream in(ReadFileBytes(simDir / "VX3USBOV3Wt.chips"));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    std::string field;
    while (std::getline(parts, field, '\t')) fields.push_back(field);
    if (fields.size() == 4 && (fields[3] == "PASS" || fields[3] == "FAIL")) chips.push_back({fields[1], fields[2], fields[3]});
  }
  return chips;
}

// How many passed chips got each value: a serial number used twice shows as a count above 1.
inline std::map<std::string, int> PassedValues(const std::vector<ChipLine>& chips) {
  std::map<std::string, int> passed;
  for (const ChipLine& chip : chips) {
    if (chip.result == "PASS") ++passed[chip.value];
  }
  return passed;
}

// The values that more than one passed chip got.
inline std::vector<std::string> TwiceAmongPassed(const std::vector<ChipLine>& chips) {
  std::vector<std::string> twice;
  for (const auto& [value, times] : PassedValues(chips)) {
    if (times > 1) twice.push_back(value);
  }
  return twice;
}

}  // namespace vx3::testing
