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

// Sets (or with an empty value removes) an environment variable of this process, the same way
// on every platform.
void SetEnvironment(const char* name, const std::string& value);

// Points the simulated Writer at `folder` for its settings and state files (VX3WT_SIM_DIR), so
// that a test or benchmark never shares a Writer with another.
void SetSimFolder(const std::filesystem::path& folder);

// The files the process has open, where the system tells (-1 elsewhere): a job that returns
// must have closed what it opened.
int OpenFileCount();

// The status lines of a failed send and of a failed receive in a block job: the link's own line,
// then the job's.
inline constexpr std::string_view kWriteFailLines = "Err: USB write data fail !!!\r\nErr: USB write data fail !!!\r\n";
inline constexpr std::string_view kReadFailLines = "Err: USB read error on transfer !!!\r\nErr: USB read data fail !!!\r\n";

// Whether the system's 8-bit text (the Writer's messages, the log) is UTF-8, as on Linux; on
// Windows it is the ANSI code page, and tests of UTF-8 bytes from the Writer do not apply.
bool SystemTextIsUtf8();

// Whether `text` is all ASCII, which every system's 8-bit text reads the same way.
bool IsAscii(std::string_view text);

// The whole content of a file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& file);

}  // namespace vx3::testing
