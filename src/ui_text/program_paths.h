// Paths inside the program folder: every file the program reads or writes beside itself
// (language files, log, device and firmware files, read-back files) is named through these.
#pragma once

#include <filesystem>
#include <string_view>

namespace vx3::text {

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
