// Paths inside the program folder: every file the program reads or writes beside itself
// (language files, log, device and firmware files, read-back files) is named through these; and
// where those folders lie for a portable folder and for an installed program.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/environment.h"

namespace vx3::text {

// A folder that every complete program folder holds: it tells a portable folder (the kit beside
// the executable) from an installed program (the kit in a shared folder).
inline constexpr std::string_view kKitMarkerFolder = "language";
// The program's folder inside the user's data folder.
inline constexpr std::string_view kUserDataFolderName = "vx3wt";

// Where an installed program's files lie, relative to the executable's folder (fixed by the
// build: for example ../share/vx3wt and ../lib/vx3wt).
struct InstallLayout {
  std::filesystem::path kitFromBin;
  std::filesystem::path bridgeFromBin;
};

struct ProgramFolders {
  std::filesystem::path programDir;  // language files, device kit, firmware files, samples
  std::filesystem::path bridgeDir;   // holds DLL/ with the bridge library and its settings
  std::filesystem::path dataDir;     // Writer_Log/, Load_OTP/, the simulated Writer's state
  bool installed = false;
  bool dataMoved = false;            // dataDir is the user's data folder, not the program folder
};

// Decides the folders of a run from the executable's folder `binDir`:
// - a portable folder (the kit marker beside the executable, or no installed kit found) keeps
//   everything in `binDir`, and moves only the writable part to the user's data folder, and only
//   when `binDir` exists and cannot be written;
// - an installed program (no kit beside it, the kit at `layout.kitFromBin`) reads its kit and
//   bridge from the install and always writes into the user's data folder: nothing is ever
//   written under an install prefix, not even by an administrator's run.
// Without a known user data folder the data stays in the program folder.
ProgramFolders ResolveProgramFolders(const std::filesystem::path& binDir, const InstallLayout& layout,
                                     platform::Environment& environment);

// `programDir`/`folder`/`name``extension`; an empty folder is left out, and an empty
// `programDir` (program folder unknown) leaves the path relative to the current directory.
// The extension includes its dot, for example ".DLL".
std::filesystem::path ComposeProgramPath(const std::filesystem::path& programDir, std::string_view folder,
                                         std::string_view name, std::string_view extension = {});

// Moves `path` under `folder` of the program folder: its root (drive and leading separator) is
// dropped and the rest, folders included, is kept.
std::filesystem::path ComposeProgramSubdirPath(const std::filesystem::path& programDir,
                                               const std::filesystem::path& path, std::string_view folder);

// Creates `folder` beside the file that `base` names (or inside `base` when it ends in a
// separator), stores the new folder's path in `made` when given. True when the folder exists
// afterwards, whether made now or before.
bool MakeSubdirectory(const std::filesystem::path& base, std::string_view folder,
                      std::filesystem::path* made = nullptr);

// Creates `folder` inside the program folder `programDir` (stored without a trailing separator,
// so MakeSubdirectory would take its last part for a file name). True when the folder exists
// afterwards.
bool MakeProgramSubfolder(const std::filesystem::path& programDir, std::string_view folder,
                          std::filesystem::path* made = nullptr);

// True when `path` can be opened for binary reading.
bool FileExists(const std::filesystem::path& path);

}  // namespace vx3::text
