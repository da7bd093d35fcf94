#include "platform/writer_lock.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

#include <fmt/format.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif


namespace vx3::platform {

namespace {

// The process id is written as one fixed-width line at the start of the file, in one write, so
// that a reader never meets a shortened file between two holders.
constexpr int kHolderWidth = 20;
constexpr std::size_t kHolderReadBytes = 64;
// A program that only tests the lock (opening the record) holds it for a moment: taking it is
// tried again a few times before the Writer is called busy.
constexpr int kTakeTries = 10;
constexpr std::chrono::milliseconds kTakeRetryWait{20};

std::string HolderLine() { return fmt::format("{:<{}}\n", CurrentProcessId(), kHolderWidth); }

std::optional<std::int64_t> ParseHolder(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  std::int64_t id = 0;
  std::size_t digits = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 18; ++at, ++digits) {
    id = id * 10 + (text[at] - '0');
  }
  if (digits == 0 || id <= 0) return std::nullopt;
  return id;
}

#ifdef _WIN32
// The locked byte lies far past the text, so that the lock never keeps a reader from the id
// (Windows locks keep other handles from reading the locked range).
constexpr DWORD kLockOffsetHigh = 1;

OVERLAPPED LockRange() {
  OVERLAPPED range{};
  range.OffsetHigh = kLockOffsetHigh;
  return range;
}

std::string SystemError(DWORD code) { return fmt::format("system error {}", code); }
#endif

}  // namespace

#ifdef _WIN32
struct WriterLock::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (file == INVALID_HANDLE_VALUE) return;
    OVERLAPPED range = LockRange();
    UnlockFileEx(file, 0, 1, 0, &range);
    CloseHandle(file);
  }
};
#else
struct WriterLock::Handle {
  int fd = -1;
  // Closing the only descriptor of the open file releases its lock.
  ~Handle() {
    if (fd >= 0) ::close(fd);
  }
};
#endif

WriterLock::WriterLock(std::filesystem::path file, std::unique_ptr<Handle> handle)
    : file_(std::move(file)), handle_(std::move(handle)) {}

WriterLock::~WriterLock() = default;

std::int64_t CurrentProcessId() {
#ifdef _WIN32
  return static_cast<std::int64_t>(GetCurrentProcessId());
#else
  return static_cast<std::int64_t>(::getpid());
#endif
}

WriterLockAttempt TakeWriterLock(const std::filesystem::path& file) {
  WriterLockAttempt attempt;
  auto handle = std::make_unique<WriterLock::Handle>();
  const std::string line = HolderLine();
#ifdef _WIN32
  // Not inherited by child programs (the rolling INI's generator): the lock ends with this one.
  handle->file = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle->file == INVALID_HANDLE_VALUE) {
    attempt.error = SystemError(GetLastError());
    return attempt;
  }
  for (int tries = 1;; ++tries) {
    OVERLAPPED range = LockRange();
    if (LockFileEx(handle->file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) break;
    const DWORD code = GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
      attempt.error = SystemError(code);
      return attempt;
    }
    if (tries >= kTakeTries) {
      attempt.heldElsewhere = true;
      attempt.holder = WriterLockHolder(file);
      return attempt;
    }
    std::this_thread::sleep_for(kTakeRetryWait);
  }
  DWORD written = 0;
  OVERLAPPED start{};
  // The id is for the message of a refused program only: a failed write keeps the lock.
  if (WriteFile(handle->file, line.data(), static_cast<DWORD>(line.size()), &written, &start)) {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(line.size());
    if (SetFilePointerEx(handle->file, end, nullptr, FILE_BEGIN)) SetEndOfFile(handle->file);
  }
#else
  // Not handed to child programs (the rolling INI's generator): the lock ends with this one.
  handle->fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (handle->fd < 0) {
    attempt.error = std::strerror(errno);
    return attempt;
  }
  for (int tries = 1;; ++tries) {
    if (::flock(handle->fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      attempt.error = std::strerror(errno);
      return attempt;
    }
    if (tries >= kTakeTries) {
      attempt.heldElsewhere = true;
      attempt.holder = WriterLockHolder(file);
      return attempt;
    }
    std::this_thread::sleep_for(kTakeRetryWait);
  }
  // The id is for the message of a refused program only: a failed write keeps the lock.
  if (::pwrite(handle->fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size())) {
    (void)::ftruncate(handle->fd, static_cast<off_t>(line.size()));
  }
#endif
  attempt.lock.reset(new WriterLock(file, std::move(handle)));
  return attempt;
}

bool WriterLockHeld(const std::filesystem::path& file) {
#ifdef _WIN32
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED range = LockRange();
  // A shared lock: two programs testing at once do not see each other as the holder.
  const bool free = LockFileEx(handle, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range) != 0;
  const bool held = !free && GetLastError() == ERROR_LOCK_VIOLATION;
  if (free) {
    OVERLAPPED again = LockRange();
    UnlockFileEx(handle, 0, 1, 0, &again);
  }
  CloseHandle(handle);
  return held;
#else
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int result = 0;
  do {
    // A shared lock: two programs testing at once do not see each other as the holder.
    result = ::flock(fd, LOCK_SH | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  const bool held = result != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
#endif
}

std::optional<std::int64_t> WriterLockHolder(const std::filesystem::path& file) {
  std::array<char, kHolderReadBytes> bytes{};
  std::size_t length = 0;
#ifdef _WIN32
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  DWORD read = 0;
  if (ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) length = read;
  CloseHandle(handle);
#else
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const ssize_t read = ::pread(fd, bytes.data(), bytes.size(), 0);
  if (read > 0) length = static_cast<std::size_t>(read);
  ::close(fd);
#endif
  return ParseHolder(std::string_view(bytes.data(), length));
}

}  // namespace vx3::platform
