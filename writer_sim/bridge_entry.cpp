// The simulated Writer's four entry points: the bridge a program loads in place of the USB
// transport. Each OpenDevice reads the settings again; the state is read from its file when
// the file changed behind the Writer's back, and written once per finished command and on close.
// Transfer faults (no Writer, unplug, failures, time-outs, latency) and the trace live here.
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <system_error>
#include <thread>

#include "link/bridge_api.h"
#include "protocol.h"
#include "sim_ini.h"
#include "sim_settings.h"
#include "sim_state.h"
#include "sim_trace.h"
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
  if (named != nullptr && *named != '\0') return PathFromUtf8(named);
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
  ~Bridge() {
    // Unloaded, or the process ends: what changed since the last command is kept.
    std::lock_guard lock(mutex_);
    Save();
  }

  int Open(int device) {
    std::lock_guard lock(mutex_);
    Refresh();
    int result = 0;
    if (device == protocol::kDevice && settings_.present && !unplugged_) result = settings_.openDeviceResult;
    const std::string abandoned = writer_.Abandon();
    trace_.Call(Printf("open %d -> %d%s%s", device, result, unplugged_ ? " (unplugged)" : "",
                       abandoned.empty() ? "" : (" (abandons the wait for " + abandoned + ")").c_str()));
    writes_ = 0;
    reads_ = 0;
    Save();
    RecordChips();
    return result;
  }

  int Close(int device) {
    std::lock_guard lock(mutex_);
    const int result = device == protocol::kDevice ? 1 : 0;
    trace_.Call(Printf("close %d -> %d", device, result));
    Save();
    return result;
  }

  int Write(int device, const unsigned char* data, int length) {
    std::lock_guard lock(mutex_);
    if (!loaded_) Refresh();
    if (device != protocol::kDevice || data == nullptr || length != static_cast<int>(protocol::kPacketSize)) {
      trace_.Call(Printf("W device %d, %d bytes -> 0 (not a packet)", device, length));
      return 0;
    }
    const std::span<const std::uint8_t> bytes(data, protocol::kPacketSize);
    if (const char* fault = TransferFault(++writes_ == settings_.faults.failWriteAt)) {
      trace_.Call(Printf("W %s -> 0 (%s)", Hex(bytes).c_str(), fault));
      return 0;
    }
    Wait(settings_.latencyMs);
    protocol::Packet packet{};
    std::copy(bytes.begin(), bytes.end(), packet.begin());
    const TakenPacket taken = writer_.Receive(packet);
    trace_.Call(Printf("W %s | %s", Hex(bytes).c_str(), taken.what.c_str()));
    if (!taken.violation.empty()) trace_.Violation(taken.violation);
    // The state is kept once per finished command, not per block; the chips it programmed are
    // put on record after it, so that a line never names a value the kept state has not passed.
    if (writer_.Idle()) Save();
    RecordChips();
    return length;
  }

  int Read(int device, unsigned char* data, int length) {
    std::lock_guard lock(mutex_);
    if (!loaded_) Refresh();
    if (device != protocol::kDevice || data == nullptr || length != static_cast<int>(protocol::kReplySize)) {
      trace_.Call(Printf("R device %d, %d bytes -> 0 (not a reply buffer)", device, length));
      return 0;
    }
    const int read = ++reads_;
    if (const char* fault = TransferFault(read == settings_.faults.failReadAt)) {
      writer_.NextReply();  // the reply is lost on the way
      trace_.Call(Printf("R -> 0 (%s)", fault));
      return 0;
    }
    Wait(settings_.latencyMs);
    if (read == settings_.faults.readTimeoutAt) {
      Wait(settings_.faults.readTimeoutMs);
      writer_.NextReply();
      trace_.Call(Printf("R -> 0 (timed out after %d ms, by the settings)", settings_.faults.readTimeoutMs));
      return 0;
    }
    const std::optional<QueuedReply> reply = writer_.NextReply();
    if (!reply) {
      trace_.Call("R -> 0 (nothing to answer: the read times out)");
      return 0;
    }
    // The Writer answers when its work is done.
    Wait(reply->delayMs);
    std::copy(reply->bytes.begin(), reply->bytes.end(), data);
    trace_.Call(Printf("R %s | %s", Hex(reply->bytes).c_str(), reply->what.c_str()));
    return length;
  }

 private:
  // Settings again at every open; the state when its folder or its file changed.
  void Refresh() {
    const std::filesystem::path folder = SimFolder();
    settings_ = ReadSettings(folder / kSettingsFileName, folder);
    trace_.Configure(folder / kTraceFileName, settings_.trace, settings_.strict);
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
    // Transfers are counted towards an unplug from when its setting took effect; an unplugged
    // Writer stays away, across program runs, until the setting changes.
    const std::string unplugAt = std::to_string(settings_.faults.unplugAtTransfer);
    if (unplugFolder_ != folder_ || unplugValue_ != settings_.faults.unplugAtTransfer) {
      unplugFolder_ = folder_;
      unplugValue_ = settings_.faults.unplugAtTransfer;
      transfers_ = 0;
    }
    const auto seen = state_.seenSettings.find(std::string(kUnpluggedKey));
    unplugged_ = settings_.faults.unplugAtTransfer > 0 && seen != state_.seenSettings.end() && seen->second == unplugAt;
    if (!unplugged_ && seen != state_.seenSettings.end()) {
      state_.seenSettings.erase(seen);
      forceSave_ = true;
    }
    // Chips programmed off-line since the last run: the counter moves on, the chips go on
    // record, and the key is cleared so that they are counted once.
    if (settings_.standaloneChips > 0) {
      writer_.RunStandalone(settings_.standaloneChips);
      Save();
      RecordChips();
      const bool cleared = SetIniValue(folder_ / kSettingsFileName, "Writer", "StandaloneChips", "0");
      trace_.Call(Printf("%d chips programmed stand-alone%s", settings_.standaloneChips,
                         cleared ? "" : " (StandaloneChips could not be cleared)"));
    }
  }

  // Appends the chips whose commands have been answered to the chips file, one line each:
  // time (ISO 8601, UTC), command code, rolling value (empty with the rolling code off), PASS or FAIL.
  void RecordChips() {
    const std::vector<ProgrammedChip> chips = writer_.TakeProgrammedChips();
    if (chips.empty() || !loaded_) return;
    std::ofstream out(folder_ / kChipsFileName, std::ios::binary | std::ios::app);
    const std::string time = UtcNow();
    for (const ProgrammedChip& chip : chips) {
      out << time << '\t' << Printf("0x%02X", chip.command) << '\t' << chip.rollingValue << '\t'
          << (chip.passed ? "PASS" : "FAIL") << '\n';
    }
  }

  static std::string UtcNow() {
    const auto now = std::chrono::system_clock::now();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - seconds).count();
    const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    return Printf("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                  utc.tm_min, utc.tm_sec, static_cast<int>(ms));
  }

  // Why this transfer fails, or null: no Writer, an unplug, or a failure the settings ask for.
  const char* TransferFault(bool asked) {
    if (!settings_.present) return "no Writer";
    if (!unplugged_ && settings_.faults.unplugAtTransfer > 0 && ++transfers_ >= settings_.faults.unplugAtTransfer) {
      unplugged_ = true;
      state_.seenSettings[std::string(kUnpluggedKey)] = std::to_string(settings_.faults.unplugAtTransfer);
      forceSave_ = true;
      Save();
    }
    if (unplugged_) return "unplugged";
    return asked ? "failed by the settings" : nullptr;
  }

  void Save() {
    const bool changed = writer_.TakeChanged();
    if (!loaded_ || !(changed || std::exchange(forceSave_, false))) return;
    const std::filesystem::path stateFile = folder_ / kStateFileName;
    if (SaveState(stateFile, state_)) stateTime_ = WriteTime(stateFile);
  }

  static void Wait(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  // Where the state file remembers an unplug, with the setting's value that caused it.
  static constexpr std::string_view kUnpluggedKey = "Unplugged";

  std::mutex mutex_;
  bool loaded_ = false;
  bool forceSave_ = false;
  std::filesystem::path folder_;
  std::filesystem::file_time_type stateTime_ = std::filesystem::file_time_type::min();
  Settings settings_;
  WriterState state_;
  SimulatedWriter writer_{state_, settings_};
  Trace trace_;
  int writes_ = 0;
  int reads_ = 0;
  int transfers_ = 0;
  // The folder and the setting that transfers_ counts for.
  std::filesystem::path unplugFolder_;
  int unplugValue_ = -1;
  bool unplugged_ = false;
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
