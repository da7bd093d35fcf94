#include "platform/file_lookup.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/utf8_path.h"

namespace vx3::platform {

namespace fs = std::filesystem;

std::filesystem::path FindFileIgnoringCase(const fs::path& path) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) return path;
  const std::string wanted = PathToUtf8(path.filename());
  if (wanted.empty()) return path;
  std::vector<fs::path> matches;
  for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (EqualsIgnoringCase(PathToUtf8(it->path().filename()), wanted) && it->is_regular_file(typeError)) {
      matches.push_back(it->path());
    }
  }
  if (matches.empty()) return path;
  // The folder's own order differs between file systems: the same kit finds the same file.
  return *std::min_element(matches.begin(), matches.end());
}

}  // namespace vx3::platform
