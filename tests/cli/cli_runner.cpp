#include "cli/cli_runner.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include <sys/wait.h>

#include "support/image_builder.h"

namespace vx3::testing {

namespace fs = std::filesystem;

namespace {

const fs::path kShippedProgramDir = VX3WT_PROGRAM_DIR;
constexpr std::string_view kExecutable = "vx3wt-cli";
constexpr const char* kKitFolders[] = {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"};
constexpr std::string_view kBaseSettings = "[Writer]\nTrace=1\n[Chip]\nInsertNewAfterProgram=1\n";
// A driver of the shipped driver files' version and date: the load finds the Writer current and
// needs no restart wait.
constexpr std::string_view kFirmwareSection = "[Firmware]";
constexpr std::string_view kCurrentDriver = "[Firmware]\nDriverVersion=0x0105\nDriverDate=0x2603\n";

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

}  // namespace

std::vector<std::string> CliRunResult::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> CliRunResult::Events(std::string_view event) const {
  const std::string key = "{\"event\":\"" + std::string(event) + "\"";
  std::vector<std::string> found;
  for (const std::string& line : Lines()) {
    if (line.starts_with(key)) found.push_back(line);
  }
  return found;
}

CliFolder::CliFolder() : programDir_(dir_.path() / "Writer station") {
  fs::create_directories(programDir_);
  for (const char* folder : kKitFolders) {
    fs::copy(kShippedProgramDir / folder, programDir_ / folder, fs::copy_options::recursive);
  }
  // The executable finds its program folder from its own path: linked where the disk allows.
  std::error_code ec;
  fs::create_hard_link(kShippedProgramDir / kExecutable, programDir_ / kExecutable, ec);
  if (ec) fs::copy_file(kShippedProgramDir / kExecutable, programDir_ / kExecutable);
  SimSettings();
}

void CliFolder::SimSettings(std::string_view extra) const {
  // A [Firmware] section of `extra` is the Writer's firmware instead of the current one.
  const bool ownFirmware = extra.find(kFirmwareSection) != std::string_view::npos;
  WriteFileBytes(simDir_.path() / "VX3USBOV3Wt.ini",
                 std::string(kBaseSettings) + std::string(ownFirmware ? "" : kCurrentDriver) + std::string(extra));
}

CliRunResult CliFolder::Run(const std::string& args, std::string_view input) const {
  return RunIn(programDir_, args, input);
}

CliRunResult CliFolder::RunIn(const fs::path& programDir, const std::string& args, std::string_view input) const {
  const fs::path inFile = dir_.path() / "stdin.txt";
  const fs::path outFile = dir_.path() / "stdout.txt";
  const fs::path errFile = dir_.path() / "stderr.txt";
  WriteFileBytes(inFile, input);
  const std::string command = "cd " + Quoted(programDir) + " && VX3WT_SIM_DIR=" + Quoted(simDir_.path()) + " ./" +
                              std::string(kExecutable) + " " + args + " <" + Quoted(inFile) + " >" + Quoted(outFile) +
                              " 2>" + Quoted(errFile);
  const int status = std::system(command.c_str());
  CliRunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadAll(outFile);
  result.err = ReadAll(errFile);
  return result;
}

}  // namespace vx3::testing
