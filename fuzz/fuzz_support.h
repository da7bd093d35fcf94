// What the fuzz targets share: a scratch program folder per process, on a memory file system
// when there is one, and a check that stops the run when a result breaks a rule.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace vx3::fuzz {

// A folder of its own for this process (fuzzing jobs run side by side), removed at exit.
inline const std::filesystem::path& WorkDir() {
  static const std::filesystem::path dir = [] {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec) || access(base.c_str(), W_OK) != 0) {
      base = std::filesystem::temp_directory_path();
    }
    auto path = base / ("vx3wt-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(path, ec);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(WorkDir(), ignored);
    });
    return path;
  }();
  return dir;
}

inline void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A broken rule is a finding: report it and end the run as a crash would.
inline void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "rule broken: %s\n", rule);
  std::abort();
}

}  // namespace vx3::fuzz
