#include "ui_text/program_paths.h"

#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "platform/utf8_path.h"

namespace vx3::text {

using platform::PathFromUtf8;

std::filesystem::path ComposeProgramPath(const std::filesystem::path& programDir, std::string_view folder,
                                         std::string_view name, std::string_view extension) {
  std::filesystem::path result = programDir;
  if (!folder.empty()) result /= PathFromUtf8(folder);
  std::string file(name);
  file += extension;
  result /= PathFromUtf8(file);
  return result;
}

std::filesystem::path ComposeProgramSubdirPath(const std::filesystem::path& programDir,
                                               const std::filesystem::path& path, std::string_view folder) {
  return programDir / PathFromUtf8(folder) / path.relative_path();
}

bool MakeSubdirectory(const std::filesystem::path& base, std::string_view folder, std::filesystem::path* made) {
  const std::filesystem::path target = std::filesystem::path(base).remove_filename() / PathFromUtf8(folder);
  if (made != nullptr) *made = target;
  std::error_code ec;
  std::filesystem::create_directory(target, ec);
  return std::filesystem::is_directory(target, ec);
}

bool MakeProgramSubfolder(const std::filesystem::path& programDir, std::string_view folder,
                          std::filesystem::path* made) {
  // With a trailing separator the program folder is the base folder itself.
  return MakeSubdirectory(programDir / "", folder, made);
}

ProgramFolders ResolveProgramFolders(const std::filesystem::path& binDir, const InstallLayout& layout,
                                     platform::Environment& environment) {
  ProgramFolders folders{binDir, binDir, binDir, false, false};
  if (binDir.empty()) return folders;
  std::error_code ec;
  const std::filesystem::path marker = PathFromUtf8(kKitMarkerFolder);
  const std::filesystem::path kit = (binDir / layout.kitFromBin).lexically_normal();
  if (!layout.kitFromBin.empty() && !std::filesystem::is_directory(binDir / marker, ec) &&
      std::filesystem::is_directory(kit / marker, ec)) {
    folders.installed = true;
    folders.programDir = kit;
    folders.bridgeDir = (binDir / layout.bridgeFromBin).lexically_normal();
    folders.dataDir = kit;
  }
  const bool move = folders.installed ||
                    (std::filesystem::is_directory(binDir, ec) && !environment.CanWriteIn(binDir));
  if (!move) return folders;
  const std::optional<std::filesystem::path> dataHome = platform::UserDataHome(environment);
  if (!dataHome) return folders;
  folders.dataDir = *dataHome / PathFromUtf8(kUserDataFolderName);
  folders.dataMoved = true;
  return folders;
}

bool FileExists(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return false;
  std::ifstream file(path, std::ios::binary);
  return file.is_open();
}

}  // namespace vx3::text
