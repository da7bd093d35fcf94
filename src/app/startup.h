// The first and last code of a run: the thread locale, the program folder and the folder the
// program writes into, the main window run to its end.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_context.h"
#include "ui_text/program_paths.h"

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

// Where an installed program's kit and bridge lie relative to its executable, as the build
// installs them.
text::InstallLayout BuiltInstallLayout();

// Fills the program path and folders of the run state from `programPath` (ResolveProgramFolders
// decides between a portable folder and an install, and where the data goes) and points the log
// at the data folder; without a path, reports "Can't find VX3WT.EXE path" (seen only once a
// window exists) and leaves them empty, so that composed paths are relative to the current folder.
void FindProgramFolder(AppContext& context, const std::optional<std::filesystem::path>& programPath,
                       const text::InstallLayout& layout = BuiltInstallLayout());

// When the data moved to the user's data folder: makes it, and points the simulated Writer at
// its DLL/ folder there (unless VX3WT_SIM_DIR is set already), copying the shipped settings on
// the first start.
void PrepareDataFolder(AppContext& context);

// Where the data went, when it moved, as the end of the welcome text (so that it is said once,
// and again in the language chosen before the first load); empty otherwise.
std::string DataFolderNote(const AppContext& context);

// Runs the program: sets the English locale (a refusal shows "No English Character Set" and
// ends the run before any window), finds the program folder, runs the main window. Returns the
// process exit code.
int RunApplication(StartupHost& host, AppContext& context, const std::optional<std::filesystem::path>& programPath);

}  // namespace vx3::app
