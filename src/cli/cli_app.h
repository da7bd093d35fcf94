// vx3wt-cli: the program's commands without the window, for scripts, test stations and factory
// systems. The same start-up, presenter, program folder, language files, log, production record
// and bridge library as the window; the console view in the window's place.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/series_station.h"
#include "ledger/production_ledger.h"

namespace vx3::cli {

inline constexpr std::string_view kCliProgramName = "vx3wt-cli";

// What a run is given by its process (a test gives its own).
struct CliHost {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  std::FILE* in = stdin;
  std::optional<std::filesystem::path> programPath;
  ledger::LedgerOpener ledgerOpener;  // none: this build keeps no production record
  bool recordInBuild = false;
  app::SeriesOpener seriesOpener;  // none: this build cannot join a shared series
};

// Runs the command line; returns the process exit code (cli/exit_codes.h).
int RunCli(int argc, const char* const* argv, const CliHost& host);

// Ctrl-C: the exchange under way is finished and recorded, then the run stops (exit code 12).
void InstallInterruptHandler();
bool InterruptRequested();

}  // namespace vx3::cli
