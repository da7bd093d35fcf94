// The advisory file lock that keeps a Writer to one program at a time: taken, tested and read
// (which process holds it) the same way on every platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace vx3::platform {

struct WriterLockAttempt;

// A lock held on one file until it is destroyed (or its process ends, however it ends: the
// system drops the lock with the process). The file stays: a file left behind holds nothing.
class WriterLock {
 public:
  ~WriterLock();
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  const std::filesystem::path& file() const { return file_; }

 private:
  friend WriterLockAttempt TakeWriterLock(const std::filesystem::path& file);
  struct Handle;
  WriterLock(std::filesystem::path file, std::unique_ptr<Handle> handle);

  std::filesystem::path file_;
  std::unique_ptr<Handle> handle_;
};

struct WriterLockAttempt {
  std::unique_ptr<WriterLock> lock;   // set when taken
  bool heldElsewhere = false;         // another program (or another handle of this one) holds it
  std::optional<std::int64_t> holder; // the holder's process id, when its file tells
  std::string error;                  // the file could not be made or opened (neither taken nor held)
};

// Takes the lock of `file` without waiting, making the file (not its folder) when missing, and
// writes this process's id into it for a refused program's message. A second handle on the same
// file, even in this process, finds the lock held.
WriterLockAttempt TakeWriterLock(const std::filesystem::path& file);

// Whether some handle holds the lock of `file` now. A missing file, or one that cannot be opened,
// is not held; neither is a file that a program that ended left behind.
bool WriterLockHeld(const std::filesystem::path& file);

// The process id written in `file` by the holder (or by the last one); nullopt when none can be read.
std::optional<std::int64_t> WriterLockHolder(const std::filesystem::path& file);

// This process's id, as a lock file names it.
std::int64_t CurrentProcessId();

}  // namespace vx3::platform
