#include "app/writer_access.h"

#include <system_error>

#include <fmt/format.h>

#include "platform/utf8_path.h"
#include "ui_text/reporter.h"
#include "ui_text/ui_texts.h"

namespace vx3::app {

namespace {

namespace fs = std::filesystem;

// The simulated Writer keeps its state in the folder this variable names (see startup.cpp).
constexpr std::string_view kSimFolderVariable = "VX3WT_SIM_DIR";
// A holder whose file tells no process id.
constexpr std::string_view kUnknownHolder = "?";

// FNV-1a, 64 bits: a short, stable name part for a folder's path on every platform.
std::uint64_t NameHash(std::string_view text) {
  constexpr std::uint64_t kOffset = 14695981039346656037ULL;
  constexpr std::uint64_t kPrime = 1099511628211ULL;
  std::uint64_t hash = kOffset;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kPrime;
  }
  return hash;
}

}  // namespace

std::string WriterLockName(platform::Environment& environment, int device) {
  std::string name = fmt::format("{}-{}", link::kBridgeFolder, device);
  const std::optional<std::string> simFolder = environment.Variable(kSimFolderVariable);
  if (simFolder && !simFolder->empty()) {
    // One folder however it is spelled (relative, with "..", through a link).
    std::error_code ec;
    fs::path folder = fs::weakly_canonical(platform::PathFromUtf8(*simFolder), ec);
    if (ec) folder = platform::PathFromUtf8(*simFolder).lexically_normal();
    name += fmt::format("-{:016x}", NameHash(platform::PathToUtf8(folder)));
  }
  return name + std::string(kWriterLockExtension);
}

fs::path WriterLockFile(const fs::path& dataDir, std::string_view name) {
  return dataDir / platform::PathFromUtf8(text::kLogFolder) / platform::PathFromUtf8(name);
}

std::function<bool(std::string_view owner)> OwnerHeldElsewhere(const fs::path& dataDir) {
  return [dataDir](std::string_view owner) {
    // Only a lock file's own name: an owner that names another folder is no lock of this record.
    if (owner.empty() || owner.find_first_of("/\\") != std::string_view::npos) return false;
    const fs::path file = WriterLockFile(dataDir, owner);
    if (!platform::WriterLockHeld(file)) return false;
    // This program holds it itself: what it left open was left by a run before this one.
    return platform::WriterLockHolder(file) != platform::CurrentProcessId();
  };
}

bool WriterAccess::Take(const fs::path& dataDir, platform::Environment& environment, int device) {
  const std::lock_guard lock(mutex_);
  if (lock_) return true;
  file_ = WriterLockFile(dataDir, WriterLockName(environment, device));
  return TryFile();
}

bool WriterAccess::Usable() {
  const std::lock_guard lock(mutex_);
  if (file_.empty() || lock_) return true;
  return TryFile();
}

bool WriterAccess::TryFile() {
  std::error_code ec;
  fs::create_directories(file_.parent_path(), ec);
  platform::WriterLockAttempt attempt = platform::TakeWriterLock(file_);
  refused_ = attempt.heldElsewhere;
  holder_ = attempt.holder;
  lock_ = std::move(attempt.lock);
  return !refused_;
}

bool WriterAccess::Refused() const {
  const std::lock_guard lock(mutex_);
  return refused_;
}

std::string WriterAccess::RefusalText(const text::Language& language) const {
  const std::lock_guard lock(mutex_);
  const std::string holder = holder_ ? std::to_string(*holder_) : std::string(kUnknownHolder);
  return language.Format(text::IDS_MESSAGE_WriterInUse, {holder});
}

}  // namespace vx3::app
