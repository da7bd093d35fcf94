// The first and last code of a run: the thread locale, the program folder, the main window run
// to its end.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "app/app_context.h"

namespace vx3::app {

inline constexpr std::string_view kProgramName = "VX3WT";

// What start-up needs of the window toolkit.
class StartupHost {
 public:
  virtual ~StartupHost() = default;
  // A message box shown while no window exists (OK button, exclamation icon).
  virtual void ShowStartupMessage(std::string_view text, std::string_view caption) = 0;
  // Builds the main window, runs it until it closes, and destroys it.
  virtual void RunMainWindow(AppContext& context) = 0;
};

// Fills the program path and folder of the run state from `programPath`; without one, reports
// "Can't find VX3WT.EXE path" (seen only once a window exists) and leaves both empty, so that
// composed paths are relative to the current folder.
void FindProgramFolder(AppContext& context, const std::optional<std::filesystem::path>& programPath);

// Runs the program: sets the English locale (a refusal shows "No English Character Set" and
// ends the run before any window), finds the program folder, runs the main window. Returns the
// process exit code.
int RunApplication(StartupHost& host, AppContext& context, const std::optional<std::filesystem::path>& programPath);

}  // namespace vx3::app
