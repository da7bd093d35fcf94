// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vx3::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `bytes` to `relative` inside the folder (folders made as needed); returns the path.
  std::filesystem::path WriteFile(const std::filesystem::path& relative, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

// Points the simulated Writer at `folder` for its settings and state files (VX3WT_SIM_DIR), so
// that a test or benchmark never shares a Writer with another.
void SetSimFolder(const std::filesystem::path& folder);

// The whole content of a file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& file);

}  // namespace vx3::testing
