// The simulated Writer's four entry points: the bridge a program loads in place of the USB
// transport. Each OpenDevice reads the settings again; the state is read from its file when
// the file changed behind the Writer's back and written after every change.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "link/bridge_api.h"
#include "platform/utf8_path.h"
#include "sim_settings.h"
#include "sim_state.h"
#include "simulated_writer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vx3::sim {
namespace {

// The folder of this library, where its settings and state live unless VX3WT_SIM_DIR says
// otherwise.
std::filesystem::path LibraryFolder() {
#ifdef _WIN32
  HMODULE module = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&LibraryFolder), &module) == 0) {
    return {};
  }
  std::wstring name(32768, L'\0');
  const DWORD size = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
  name.resize(size);
  return std::filesystem::path(name).parent_path();
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) == 0 || info.dli_fname == nullptr) return {};
  return std::filesystem::absolute(std::filesystem::path(info.dli_fname)).parent_path();
#endif
}

std::filesystem::path SimFolder() {
#ifdef _WIN32
  // The wide environment: the narrow one holds only what the ANSI code page can spell.
  const std::string_view name(kSimDirVariable);
  const wchar_t* named = _wgetenv(std::wstring(name.begin(), name.end()).c_str());
  if (named != nullptr && *named != L'\0') return std::filesystem::path(named);
#else
  const char* named = std::getenv(kSimDirVariable);
  if (named != nullptr && *named != '\0') return platform::PathFromUtf8(named);
#endif
  return LibraryFolder();
}

std::filesystem::file_time_type WriteTime(const std::filesystem::path& file) {
  std::error_code ec;
  const auto time = std::filesystem::last_write_time(file, ec);
  return ec ? std::filesystem::file_time_type::min() : time;
}

class Bridge {
 public:
  int Open(int device) {
    std::lock_guard lock(mutex_);
    Refresh();
    if (device != link::kDeviceNumber || !settings_.present) return 0;
    return settings_.openDeviceResult;
  }

  int Close(int device) {
    std::lock_guard lock(mutex_);
    return device == link::kDeviceNumber ? 1 : 0;
  }

  int Write(int device, const unsigned char* data, int length) {
    std::lock_guard lock(mutex_);
    if (!loaded_) Refresh();
    if (device != link::kDeviceNumber || data == nullptr || length != static_cast<int>(link::kPacketSize) ||
        !settings_.present) {
      return 0;
    }
    Wait();
    if (++writes_ == settings_.faults.failWriteAt) return 0;
    link::Packet packet{};
    std::copy(data, data + link::kPacketSize, packet.begin());
    writer_.Receive(packet);
    Save();
    return length;
  }

  int Read(int device, unsigned char* data, int length) {
    std::lock_guard lock(mutex_);
    if (!loaded_) Refresh();
    if (device != link::kDeviceNumber || data == nullptr || length != static_cast<int>(link::kReplySize) ||
        !settings_.present) {
      return 0;
    }
    Wait();
    const std::optional<link::Reply> reply = writer_.NextReply();
    if (++reads_ == settings_.faults.failReadAt) return 0;  // the reply is lost on the way
    if (!reply) return 0;                                   // nothing to send: the read times out
    std::copy(reply->begin(), reply->end(), data);
    return length;
  }

 private:
  // Settings again at every open; the state when its folder or its file changed.
  void Refresh() {
    const std::filesystem::path folder = SimFolder();
    settings_ = ReadSettings(folder / kSettingsFileName, folder);
    const std::filesystem::path stateFile = folder / kStateFileName;
    if (!loaded_ || folder != folder_ || WriteTime(stateFile) != stateTime_) {
      folder_ = folder;
      state_ = WriterState{};
      const bool fresh = !LoadState(stateFile, state_);
      if (fresh) state_ = WriterState{};
      stateTime_ = WriteTime(stateFile);
      writer_.ApplySettings(fresh);
    } else {
      writer_.ApplySettings(false);
    }
    loaded_ = true;
    writer_.Abandon();
    writes_ = 0;
    reads_ = 0;
    Save();
  }

  void Save() {
    if (!writer_.TakeChanged()) return;
    const std::filesystem::path stateFile = folder_ / kStateFileName;
    if (SaveState(stateFile, state_)) stateTime_ = WriteTime(stateFile);
  }

  void Wait() const {
    if (settings_.latencyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settings_.latencyMs));
  }

  std::mutex mutex_;
  bool loaded_ = false;
  std::filesystem::path folder_;
  std::filesystem::file_time_type stateTime_ = std::filesystem::file_time_type::min();
  Settings settings_;
  WriterState state_;
  SimulatedWriter writer_{state_, settings_};
  int writes_ = 0;
  int reads_ = 0;
};

Bridge& TheBridge() {
  static Bridge bridge;
  return bridge;
}

}  // namespace
}  // namespace vx3::sim

extern "C" {

VX3WT_BRIDGE_API int VX3WT_BRIDGE_CALL OpenDevice(int device) { return vx3::sim::TheBridge().Open(device); }

VX3WT_BRIDGE_API int VX3WT_BRIDGE_CALL CloseDevice(int device) { return vx3::sim::TheBridge().Close(device); }

VX3WT_BRIDGE_API int VX3WT_BRIDGE_CALL USB_WriteOut(int device, unsigned char* data, int length) {
  return vx3::sim::TheBridge().Write(device, data, length);
}

VX3WT_BRIDGE_API int VX3WT_BRIDGE_CALL USB_ReadIn(int device, unsigned char* data, int length) {
  return vx3::sim::TheBridge().Read(device, data, length);
}

}  // extern "C"
