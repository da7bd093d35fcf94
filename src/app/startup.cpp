#include "app/startup.h"

#include <string>
#include <system_error>

#include "app/program_names.h"
#include "link/bridge_api.h"
#include "platform/utf8_path.h"
#include "ui_text/program_paths.h"

#ifndef VX3WT_INSTALL_KIT_FROM_BIN
#define VX3WT_INSTALL_KIT_FROM_BIN "../share/vx3wt"
#endif
#ifndef VX3WT_INSTALL_BRIDGE_FROM_BIN
#define VX3WT_INSTALL_BRIDGE_FROM_BIN "../lib/vx3wt"
#endif

namespace vx3::app {

namespace {

namespace fs = std::filesystem;

// The simulated Writer keeps its settings and state in the folder this variable names, else
// beside itself; a real bridge library does not read it.
constexpr std::string_view kSimFolderVariable = "VX3WT_SIM_DIR";
constexpr std::string_view kBridgeSettingsExtension = ".ini";
constexpr std::string_view kDataFolderIndent = "   ";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kParagraphBreak = "\r\n\r\n";

}  // namespace

text::InstallLayout BuiltInstallLayout() {
  return {platform::PathFromUtf8(VX3WT_INSTALL_KIT_FROM_BIN), platform::PathFromUtf8(VX3WT_INSTALL_BRIDGE_FROM_BIN)};
}

void FindProgramFolder(AppContext& context, const std::optional<std::filesystem::path>& programPath,
                       const text::InstallLayout& layout) {
  RunState& state = context.state;
  state.bridgeDirApart.clear();
  state.dataDirApart.clear();
  if (programPath && !programPath->empty() && programPath->has_filename()) {
    const text::ProgramFolders folders =
        text::ResolveProgramFolders(programPath->parent_path(), layout, *context.environment);
    state.programDir = folders.programDir;
    // The names derived from the program path (language files, caption) follow the kit.
    state.programPath = folders.programDir / programPath->filename();
    if (folders.installed) state.bridgeDirApart = folders.bridgeDir;
    if (folders.dataMoved) state.dataDirApart = folders.dataDir;
  } else {
    state.programPath.clear();
    state.programDir.clear();
    context.reporter.ReportStatus("Can't find " + std::string(kProgramName) + ".EXE path", text::Severity::ErrorLine);
  }
  context.reporter.SetProgramDir(state.DataDir());
}

void PrepareDataFolder(AppContext& context) {
  const RunState& state = context.state;
  if (!state.DataMoved()) return;
  platform::Environment& environment = *context.environment;
  const fs::path simFolder = state.DataDir() / platform::PathFromUtf8(link::kBridgeFolder);
  std::error_code ec;
  // A folder that cannot be made leaves every write failing as in a read-only program folder;
  // the status box still names the folder.
  fs::create_directories(simFolder, ec);
  // A folder the operator named for the simulated Writer is kept as it is.
  const std::optional<std::string> named = environment.Variable(kSimFolderVariable);
  if (named && !named->empty()) return;
  environment.SetVariable(kSimFolderVariable, platform::PathToUtf8(simFolder));
  // The first start copies the simulated Writer's shipped settings; later edits are the user's.
  const std::string settingsName = std::string(link::kBridgeBaseName) + std::string(kBridgeSettingsExtension);
  const fs::path shipped = state.BridgeDir() / platform::PathFromUtf8(link::kBridgeFolder) / platform::PathFromUtf8(settingsName);
  const fs::path copy = simFolder / platform::PathFromUtf8(settingsName);
  if (fs::exists(shipped, ec) && !fs::exists(copy, ec)) {
    fs::copy_file(shipped, copy, fs::copy_options::skip_existing, ec);
    // The shipped file is read-only in an install; the user's copy is for editing.
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
  }
}

std::string DataFolderNote(const AppContext& context) {
  const RunState& state = context.state;
  if (!state.DataMoved()) return {};
  return std::string(kParagraphBreak) + context.language.Text(text::IDS_MESSAGE_DataFolder) + std::string(kLineEnd) +
         std::string(kDataFolderIndent) + platform::PathToUtf8(state.DataDir());
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
  PrepareDataFolder(context);
  host.RunMainWindow(context);
  // The log is written one entry at a time and closed after each, so nothing is left open here.
  return 0;
}

}  // namespace vx3::app
