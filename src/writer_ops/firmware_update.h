// The Writer's firmware update: the version queries (which also hand the Writer the PC's date and
// the off-line mode), and the IAP and driver updates from the firmware files beside the program.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "link/command_codes.h"
#include "platform/clock.h"
#include "writer_ops/progress_window.h"
#include "writer_ops/writer_services.h"

namespace vx3::writer_ops {

// The update files: the IAP, common to all devices, and one driver per device.
inline constexpr std::string_view kIapFolder = "USE_IAP";
inline constexpr std::string_view kIapFileName = "FLASH_OV.IAP";
inline constexpr std::string_view kDriverFolder = "USE_DRV";
inline constexpr std::string_view kDriverExtension = ".DRV";

// Where the files keep their words (big-endian, high byte first).
inline constexpr std::size_t kIapVersionOffset = 0xDF0;
inline constexpr std::size_t kIapChecksumEnd = 0xDF0;  // the IAP checksum covers the bytes below
inline constexpr std::size_t kDriverVersionOffset = 0x1000;
inline constexpr std::size_t kDriverDateOffset = 0x1002;
inline constexpr std::size_t kDriverSignatureOffset = 0x1004;
inline constexpr std::uint16_t kDriverSignature = 0xA145;
// The 16-bit block count of an update command limits an update file to this size.
inline constexpr std::uint64_t kUpdateFileMaxBytes = 0xFFFFULL * link::kPacketSize;
// A driver's last block is filled up with this byte, and the checksum counts it.
inline constexpr std::uint8_t kUpdateFill = 0xFF;

inline constexpr int kDriverRestartSeconds = 30;
inline constexpr std::uint32_t kRestartStepsPerSecond = 10;  // a step every 100 ms

// Messages of the update (all logged with kind 1 or shown as error lines).
inline constexpr std::string_view kDriverFileMissingFormat = "Writer does not support {}!!!\r\n";
inline constexpr std::string_view kIapFileMissingFormat = "Failed opening update file:\n{}";
inline constexpr std::string_view kUpdateFileShortFormat = "Update file too short to hold its version:\n{}";
inline constexpr std::string_view kUpdateFileLargeFormat = "Update file too large for the Writer:\n{}";
inline constexpr std::string_view kWrongSignatureText = "Please download the latest Writer version!!!\r\n";
inline constexpr std::string_view kNewerWriterText =
    "Please download the latest Writer version\r\nfrom KELVA MCU Development Tools Site !!!";
inline constexpr std::string_view kWriterEepromFailText = "Read EEPROM data fail !!!";
inline constexpr std::string_view kSystemTimeFormat = "systime: 20{}/{}\r\n";
inline constexpr std::string_view kUpdateStatusFormat = "Error return value in update action ({:X})!!";
inline constexpr std::string_view kDriverNotReadyText = "Driver not ready after reset !!";
inline constexpr std::string_view kResetStatusText = "Error return value in update action !!";
inline constexpr std::string_view kRestartLabel = "Update Driver";
inline constexpr std::string_view kRestartStepFormat = "Update Driver : {}%";

// What the update keeps between its steps; owned by the caller for the whole run.
struct FirmwareState {
  // The Writer's host level, from the last query that asked for the date word.
  std::uint16_t writerHostLevel = 0;
  // Set when an update step is about to send blocks; cleared at the start of each step.
  bool updatePerformed = false;
  // The checksum of the most recently scanned update file, carried by every update command.
  std::uint16_t updateChecksum = 0;
  // The versions the Writer last said it runs (its IAP, its driver), for the production record.
  std::uint16_t iapVersion = 0;
  std::uint16_t driverVersion = 0;
};

// The off-line mode carried by every 0x06 query, taken at the moment of the query: the operator
// may switch it in the window while an update runs, and the Writer must get the one shown.
class OfflineMode {
 public:
  // NOLINTNEXTLINE(google-explicit-constructor): a fixed mode reads best as a plain value.
  OfflineMode(std::uint8_t fixed) : fixed_(fixed) {}
  // NOLINTNEXTLINE(google-explicit-constructor): the window's run state, read at each query.
  OfflineMode(const std::atomic<std::uint8_t>& shown) : shown_(&shown) {}
  std::uint8_t Now() const { return shown_ != nullptr ? shown_->load() : fixed_; }

 private:
  std::uint8_t fixed_ = 0;
  const std::atomic<std::uint8_t>* shown_ = nullptr;
};

struct FirmwareUpdate {
  WriterServices writer;
  ProgressWindow& progress;
  platform::Clock& clock;  // the 0x04 query's date, and the restart wait
  FirmwareState& state;
  std::filesystem::path programDir;
  std::string deviceName;               // names the driver file
  OfflineMode offlineFunction{0x5A};  // carried by the 0x06 query
};

// An update file as the update sends it.
enum class UpdatePart { Iap, Driver };
struct UpdateFile {
  std::vector<std::uint8_t> bytes;  // the whole file
  std::uint32_t blocks = 0;         // IAP: rounded down; driver: rounded up
  std::uint16_t checksum = 0;       // IAP: bytes below 0xDF0; driver: all blocks with their fill
  bool holdsVersion = false;        // the file is long enough for the words below
  std::uint16_t version = 0;
  std::uint16_t date = 0;       // driver only
  std::uint16_t signature = 0;  // driver only
};
UpdateFile ScanUpdateFile(UpdatePart part, std::vector<std::uint8_t> bytes);
// Block `index` of the update: the file's bytes, the driver's last block filled up with 0xFF.
link::Packet UpdateBlock(const UpdateFile& file, std::uint32_t index);

// The status query 0x04 (with the PC's date) or the version query 0x06 (with the off-line
// mode): `version` receives the version word; with `date`, the date word is stored there and
// the Writer's host level in the state. A 0x04 reply of a Writer that wants a newer program
// (or cannot read its EEPROM) is logged and gives false, as does a failed transfer.
bool QueryWriter(const FirmwareUpdate& update, std::uint8_t code, std::uint16_t& version,
                 std::uint16_t* date = nullptr);
// The IAP status query 0x09: `status` receives reply byte 0.
bool QueryIapStatus(const FirmwareUpdate& update, std::uint8_t& status);
// [code, count low, count high, checksum low, checksum high] with the last scan's checksum.
bool SendUpdateCommand(const FirmwareUpdate& update, std::uint8_t code, std::uint16_t count);

// One update step: Program IAP 0x07, Verify IAP 0x08, Program Driver 0x01, Verify Driver 0x05.
// True when the part is current or was sent completely (state.updatePerformed tells which).
// An update file too short for its version words is refused by the Program steps before
// anything is sent, since there is nothing to decide with.
bool UpdateStep(const FirmwareUpdate& update, std::uint8_t code);
// 0x0A resets the Writer (no reply); 0x0B checks that the driver came back (status 1).
bool ResetStep(const FirmwareUpdate& update, std::uint8_t code);
// Waits `seconds` in steps of 100 ms through the clock, showing the progress.
void WaitDriverRestart(const FirmwareUpdate& update, int seconds);

// The IAP: program, and verify when it was programmed.
bool UpdateIap(const FirmwareUpdate& update);
// The driver: program, and when it was programmed verify, reset, wait and check.
bool UpdateDriver(const FirmwareUpdate& update);

}  // namespace vx3::writer_ops
