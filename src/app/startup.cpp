#include "app/startup.h"

#include <string>

#include "app/program_names.h"
#include "platform/utf8_path.h"

namespace vx3::app {

void FindProgramFolder(AppContext& context, const std::optional<std::filesystem::path>& programPath) {
  RunState& state = context.state;
  if (programPath && !programPath->empty() && programPath->has_filename()) {
    state.programPath = *programPath;
    state.programDir = programPath->parent_path();
  } else {
    state.programPath.clear();
    state.programDir.clear();
    context.reporter.ReportStatus("Can't find " + std::string(kProgramName) + ".EXE path", text::Severity::ErrorLine);
  }
  context.reporter.SetProgramDir(state.programDir);
}

int RunApplication(StartupHost& host, AppContext& context, const std::optional<std::filesystem::path>& programPath) {
  if (!context.locale.Set(platform::kLocaleEnglishUs)) {
    const std::string caption =
        programPath ? ProgramBaseName(platform::PathToUtf8(*programPath)) : std::string(kProgramName);
    host.ShowStartupMessage("No English Character Set", caption);
    return 1;
  }
  context.state.isEnglish = true;
  FindProgramFolder(context, programPath);
  host.RunMainWindow(context);
  // The log is written one entry at a time and closed after each, so nothing is left open here.
  return 0;
}

}  // namespace vx3::app
