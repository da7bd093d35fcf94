// Which program talks to the Writer: the lock of each Writer in the data folder (taken for the
// window's whole run, and for each Writer command of the command line), the line that refuses a
// second program, and the test the production record makes of a value left open by another.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "link/bridge_api.h"
#include "platform/environment.h"
#include "platform/writer_lock.h"
#include "ui_text/language.h"

namespace vx3::app {

inline constexpr std::string_view kWriterLockExtension = ".lock";

// The lock file's name for Writer `device`: the bridge library's folder and the device number
// ("DLL-0.lock"). A simulated Writer pointed at a folder of its own (VX3WT_SIM_DIR) is a Writer
// of its own: that folder keys the name as well ("DLL-0-<16 hex digits>.lock").
std::string WriterLockName(platform::Environment& environment, int device = link::kDeviceNumber);

// The lock file `name` in the data folder: <dataDir>/Writer_Log/<name>.
std::filesystem::path WriterLockFile(const std::filesystem::path& dataDir, std::string_view name);

// For the production record's recovery at open: whether the lock named `owner` (a value's
// issuer) is held now by a program other than this one. An empty owner, as in rows from before
// owners were kept, is not held.
std::function<bool(std::string_view owner)> OwnerHeldElsewhere(const std::filesystem::path& dataDir);

// The run's hold on its Writer. Until Take is called the run holds no lock and refuses nothing
// (the program's own tests of the commands); after it, a Writer command goes ahead only while
// this program holds the lock, and tries to take it again first.
class WriterAccess {
 public:
  // Takes the lock of Writer `device` in `dataDir`; true when this program holds it (now or
  // already). A lock file that cannot be made (a folder that cannot be written) holds nothing
  // back: the Writer is used as without a lock.
  bool Take(const std::filesystem::path& dataDir, platform::Environment& environment,
            int device = link::kDeviceNumber);
  // Whether a Writer command may go ahead: no lock was ever asked for, or this program holds it,
  // or takes it now (the other program has ended).
  bool Usable();
  // Whether Take was called and another program held the lock at its last try.
  bool Refused() const;
  // The line that refuses a Writer command: "The Writer is in use by another VX3WT (process N)".
  std::string RefusalText(const text::Language& language) const;

 private:
  bool TryFile();  // with mutex_ held

  mutable std::mutex mutex_;
  std::filesystem::path file_;
  std::unique_ptr<platform::WriterLock> lock_;
  bool refused_ = false;
  std::optional<std::int64_t> holder_;
};

}  // namespace vx3::app
