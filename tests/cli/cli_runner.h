// Runs the built vx3wt-cli in a program folder of its own (the shipped one copied, the
// executable linked in), against a simulated Writer in a folder of its own, as a script would.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"

namespace vx3::testing {

struct CliRunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  // Standard output as lines.
  std::vector<std::string> Lines() const;
  // The lines whose JSON "event" member is `event`.
  std::vector<std::string> Events(std::string_view event) const;
};

class CliFolder {
 public:
  CliFolder();
  const std::filesystem::path& programDir() const { return programDir_; }
  const std::filesystem::path& simDir() const { return simDir_.path(); }
  std::filesystem::path Sample(std::string_view name) const { return programDir_ / "samples" / name; }
  // The simulated Writer's settings: a driver already current (no restart wait), a new chip
  // after each programmed one, the trace on; `extra` is appended (sections and keys; a [Firmware]
  // section of its own replaces the current driver).
  void SimSettings(std::string_view extra = {}) const;
  // Runs vx3wt-cli with `args` (shell words, already quoted where needed) and `input` on
  // standard input.
  CliRunResult Run(const std::string& args, std::string_view input = {}) const;
  // The same in another program folder (a copy of this one), against the same simulated Writer.
  CliRunResult RunIn(const std::filesystem::path& programDir, const std::string& args,
                     std::string_view input = {}) const;

 private:
  TempDir dir_;
  TempDir simDir_;
  std::filesystem::path programDir_;
};

}  // namespace vx3::testing
