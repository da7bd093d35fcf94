// Finding a file by a name that came from a Windows tool chain, where names are found without
// regard to letter case: kit files, image headers and include lines name files in any case.
#pragma once

#include <filesystem>

namespace vx3::platform {

// `path` itself when a regular file of that exact name exists; otherwise the file in the same
// folder whose name matches `path`'s name without regard to ASCII case (of several, the first in
// sorted order); otherwise `path` unchanged, so that a caller's message names what it looked for.
std::filesystem::path FindFileIgnoringCase(const std::filesystem::path& path);

}  // namespace vx3::platform
