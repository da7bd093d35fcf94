// The firmware update's exchanges: queries, update commands, the blocks of the update files and
// the decisions whether the Writer needs them.
#include "writer_ops/firmware_update.h"

#include "platform/file_lookup.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>

#include <fmt/format.h>

#include "platform/utf8_path.h"
#include "ui_text/program_paths.h"
#include "ui_text/ui_texts.h"
#include "writer_ops/eeprom_download.h"

namespace vx3::writer_ops {
namespace {

namespace fs = std::filesystem;
namespace cmd = link::command;
namespace st = link::status;

constexpr std::size_t kBlockBytes = link::kPacketSize;
constexpr int kUpdateKind = 1;
constexpr std::chrono::milliseconds kRestartStep{100};

// The 0x04 query carries these bytes besides the date.
constexpr std::uint8_t kStatusQueryMark1 = 0xF5;
constexpr std::uint8_t kStatusQueryMark2 = 0x5F;
constexpr std::uint8_t kStatusQueryEnd = 0x46;
constexpr std::uint8_t kYearBias = 0x30;
// The 0x04 reply: byte 2 XOR byte 3, looked at when byte 5's high nibble is 3 or more.
constexpr std::uint8_t kAskNewerWriter = 0x26;
constexpr std::uint8_t kWriterEepromFail = 0x27;
constexpr std::uint8_t kAskNewerWriterTime = 0x20;
constexpr std::uint8_t kLowestCheckedLevel = 0x30;
constexpr std::uint8_t kOwnLevelLow = link::kHostLevel & 0xFF;

struct StepKind {
  std::uint8_t code;
  UpdatePart part;
  std::string_view label;
  std::string_view stepFormat;      // with the bytes sent so far
  std::string_view notReadyFormat;  // with the refused block's byte offset
};

constexpr std::array<StepKind, 4> kSteps = {{
    {cmd::kProgramIap, UpdatePart::Iap, "Program IAP", "Program IAP : {:06X}", "Program IAP not ready at {:X}"},
    {cmd::kVerifyIap, UpdatePart::Iap, "Verify IAP", "Verify IAP : {:06X}", "Verify IAP not ready at {:X}"},
    {cmd::kProgramDriver, UpdatePart::Driver, "Program Driver", "Program Driver : {:06X}",
     "Program Driver not ready at {:X}"},
    {cmd::kVerifyDriver, UpdatePart::Driver, "Verify Driver", "Verify Driver : {:06X}",
     "Verify Driver not ready at {:X}"},
}};

const StepKind* FindStep(std::uint8_t code) {
  const auto found = std::find_if(kSteps.begin(), kSteps.end(), [code](const StepKind& s) { return s.code == code; });
  return found == kSteps.end() ? nullptr : &*found;
}

void ReportRefusal(const WriterServices& writer, std::string_view message) {
  writer.reporter.OpenNewEvent();
  writer.reporter.LogEvent(kUpdateKind, message);
}

std::uint16_t Be16(std::uint8_t high, std::uint8_t low) { return static_cast<std::uint16_t>((high << 8) | low); }

std::uint16_t FileWord(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return offset + 1 < bytes.size() ? Be16(bytes[offset], bytes[offset + 1]) : 0;
}

// The byte at `offset` as the update counts it: past the end of the file, the fill.
std::uint8_t FileByte(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : kUpdateFill;
}

enum class ReadResult { Ok, Missing, TooLarge };

ReadResult ReadUpdateFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream.is_open()) return ReadResult::Missing;
  stream.seekg(0, std::ios::end);
  const std::streamoff size = stream.tellg();
  // A folder opens on some systems but has no size.
  if (size < 0) return ReadResult::Missing;
  if (static_cast<std::uint64_t>(size) > kUpdateFileMaxBytes) return ReadResult::TooLarge;
  stream.seekg(0);
  bytes.assign(static_cast<std::size_t>(size), 0);
  stream.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  // A file that shrank while it was read is taken as far as it went.
  const std::streamsize got = stream.gcount();
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return ReadResult::Ok;
}

std::optional<fs::path> UpdateFilePath(const FirmwareUpdate& update, UpdatePart part) {
  if (part == UpdatePart::Iap) {
    return text::ComposeProgramSubdirPath(update.programDir, platform::PathFromUtf8(kIapFileName), kIapFolder);
  }
  if (update.deviceName.empty()) return std::nullopt;
  // A device named in any case finds its driver, as the kit's Windows tools do.
  return platform::FindFileIgnoringCase(text::ComposeProgramSubdirPath(
      update.programDir, platform::PathFromUtf8(update.deviceName + std::string(kDriverExtension)), kDriverFolder));
}

// Program Driver: whether the Writer needs the file. Returns nullopt to send, or the step's
// result when nothing is sent.
std::optional<bool> DriverIsCurrent(const FirmwareUpdate& update, const UpdateFile& file) {
  std::uint16_t version = 0;
  std::uint16_t date = 0;
  if (!QueryWriter(update, cmd::kVersionQuery, version, &date)) return false;
  update.state.driverVersion = version;
  if (file.signature != kDriverSignature) {
    update.writer.reporter.LogEvent(kUpdateKind, kWrongSignatureText);
    return false;
  }
  if (file.date != date) return std::nullopt;
  const std::uint16_t level = update.state.writerHostLevel;
  if (level == link::kHostLevel) {
    if (version < file.version) return std::nullopt;
    return true;
  }
  // A Writer of a later protocol level than this program wants a newer program.
  const auto low = static_cast<std::uint8_t>(level & 0xFF);
  if (low >= kLowestCheckedLevel && low > kOwnLevelLow) {
    update.writer.reporter.LogEvent(kUpdateKind, kNewerWriterText);
    return false;
  }
  return std::nullopt;
}

// Program IAP: the same question for the IAP.
std::optional<bool> IapIsCurrent(const FirmwareUpdate& update, const UpdateFile& file) {
  std::uint16_t version = 0;
  if (!QueryWriter(update, cmd::kStatusQuery, version)) return false;
  update.state.iapVersion = version;
  if (version < file.version) return std::nullopt;
  std::uint8_t status = 0;
  if (!QueryIapStatus(update, status)) return false;
  if (status == st::kOk) return true;
  return std::nullopt;
}

}  // namespace

UpdateFile ScanUpdateFile(UpdatePart part, std::vector<std::uint8_t> bytes) {
  UpdateFile file;
  file.bytes = std::move(bytes);
  const std::vector<std::uint8_t>& data = file.bytes;
  const std::uint64_t size = data.size();
  std::uint32_t sum = 0;
  if (part == UpdatePart::Iap) {
    // A partial tail is not sent; the checksum stops where the version begins.
    file.blocks = static_cast<std::uint32_t>(size / kBlockBytes);
    for (std::size_t i = 0; i < kIapChecksumEnd; ++i) sum += FileByte(data, i);
    file.holdsVersion = size >= kIapVersionOffset + 2;
    file.version = FileWord(data, kIapVersionOffset);
  } else {
    file.blocks = static_cast<std::uint32_t>((size + kBlockBytes - 1) / kBlockBytes);
    const std::uint64_t sent = std::uint64_t{file.blocks} * kBlockBytes;
    for (std::size_t i = 0; i < sent; ++i) sum += FileByte(data, i);
    file.holdsVersion = size >= kDriverSignatureOffset + 2;
    file.version = FileWord(data, kDriverVersionOffset);
    file.date = FileWord(data, kDriverDateOffset);
    file.signature = FileWord(data, kDriverSignatureOffset);
  }
  file.checksum = static_cast<std::uint16_t>(sum & 0xFFFF);
  return file;
}

link::Packet UpdateBlock(const UpdateFile& file, std::uint32_t index) {
  link::Packet block{};
  const std::uint64_t start = std::uint64_t{index} * kBlockBytes;
  for (std::size_t k = 0; k < kBlockBytes; ++k) block[k] = FileByte(file.bytes, static_cast<std::size_t>(start + k));
  return block;
}

bool QueryWriter(const FirmwareUpdate& update, std::uint8_t code, std::uint16_t& version, std::uint16_t* date) {
  const WriterServices& writer = update.writer;
  link::Packet packet{};
  packet[0] = code;
  if (code == cmd::kStatusQuery) {
    const std::tm now = update.clock.LocalNow();
    const int year = now.tm_year + 1900;
    packet[1] = kStatusQueryMark1;
    packet[2] = kStatusQueryMark2;
    packet[3] = static_cast<std::uint8_t>(link::kHostLevel >> 8);
    packet[4] = static_cast<std::uint8_t>(link::kHostLevel & 0xFF);
    // The low byte of the year plus 0x30 is the year less 2000 for this century.
    packet[5] = static_cast<std::uint8_t>(((year & 0xFF) + kYearBias) & 0xFF);
    packet[6] = static_cast<std::uint8_t>(now.tm_mon + 1);
    packet[7] = kStatusQueryEnd;
  } else if (code == cmd::kVersionQuery) {
    packet[1] = update.offlineFunction.Now();
  }
  link::Reply reply{};
  if (!SendAndReceive(writer, packet, reply)) return false;
  version = Be16(reply[0], reply[1]);
  if (code == cmd::kStatusQuery && (reply[5] >> 4) >= 3) {
    const auto x = static_cast<std::uint8_t>(reply[3] ^ reply[2]);
    if (x == kAskNewerWriter) {
      writer.reporter.LogEvent(kUpdateKind, kNewerWriterText);
      return false;
    }
    if (x == kWriterEepromFail && reply[5] >= kOwnLevelLow) {
      writer.reporter.LogEvent(kUpdateKind, kWriterEepromFailText);
      return false;
    }
    if (x == kAskNewerWriterTime) {
      writer.reporter.LogEvent(kUpdateKind, std::string(kNewerWriterText) + "\r\n");
      writer.reporter.LogEvent(kUpdateKind, fmt::format(kSystemTimeFormat, unsigned{reply[6]}, unsigned{reply[7]}));
      return false;
    }
  }
  if (date != nullptr) {
    *date = Be16(reply[2], reply[3]);
    update.state.writerHostLevel = Be16(reply[4], reply[5]);
  }
  return true;
}

bool QueryIapStatus(const FirmwareUpdate& update, std::uint8_t& status) {
  const WriterServices& writer = update.writer;
  link::Packet packet{};
  packet[0] = cmd::kIapStatusQuery;
  link::Reply reply{};
  if (!SendAndReceive(writer, packet, reply)) return false;
  status = reply[0];
  return true;
}

bool SendUpdateCommand(const FirmwareUpdate& update, std::uint8_t code, std::uint16_t count) {
  link::Packet packet = link::MakeCommandPacket(code, count);
  packet[3] = static_cast<std::uint8_t>(update.state.updateChecksum & 0xFF);
  packet[4] = static_cast<std::uint8_t>(update.state.updateChecksum >> 8);
  if (update.writer.link.UsbWrite(packet) != 0) return true;
  ReportError(update.writer, text::IDS_MESSAGE_USBWriteDataFail);
  return false;
}

bool UpdateStep(const FirmwareUpdate& update, std::uint8_t code) {
  const WriterServices& writer = update.writer;
  update.state.updatePerformed = false;
  const StepKind* step = FindStep(code);
  const std::optional<fs::path> path = step != nullptr ? UpdateFilePath(update, step->part) : std::nullopt;
  if (!path) {
    ReportError(writer, text::IDS_MESSAGE_NoUpdateFile);
    return false;
  }

  std::vector<std::uint8_t> bytes;
  const std::string shownPath = platform::PathToUtf8(*path);
  switch (ReadUpdateFile(*path, bytes)) {
    case ReadResult::Ok:
      break;
    case ReadResult::Missing:
      writer.reporter.ReportStatus(step->part == UpdatePart::Driver
                                       ? fmt::format(kDriverFileMissingFormat, update.deviceName)
                                       : fmt::format(kIapFileMissingFormat, shownPath),
                                   text::Severity::ErrorLine);
      return false;
    case ReadResult::TooLarge:
      writer.reporter.ReportStatus(fmt::format(kUpdateFileLargeFormat, shownPath), text::Severity::ErrorLine);
      return false;
  }
  const UpdateFile file = ScanUpdateFile(step->part, std::move(bytes));
  update.state.updateChecksum = file.checksum;

  if (code == cmd::kProgramDriver || code == cmd::kProgramIap) {
    if (!file.holdsVersion) {
      writer.reporter.ReportStatus(fmt::format(kUpdateFileShortFormat, shownPath), text::Severity::ErrorLine);
      return false;
    }
    const std::optional<bool> current =
        code == cmd::kProgramDriver ? DriverIsCurrent(update, file) : IapIsCurrent(update, file);
    if (current) return *current;
  }

  update.state.updatePerformed = true;
  if (!SendUpdateCommand(update, code, static_cast<std::uint16_t>(file.blocks))) return false;
  update.progress.ShowProgress(file.blocks, step->label, kWriterProgressCaption);
  link::Reply reply{};
  for (std::uint32_t i = 0; i < file.blocks; ++i) {
    const std::uint64_t offset = std::uint64_t{i} * kBlockBytes;
    update.progress.StepProgress(i, fmt::format(fmt::runtime(step->stepFormat), offset + kBlockBytes));
    const link::Packet block = UpdateBlock(file, i);
    if (!SendAndReceive(writer, block, reply)) return false;
    if (reply[0] == st::kOk) continue;
    ReportRefusal(writer, reply[0] == st::kFailed ? fmt::format(fmt::runtime(step->notReadyFormat), offset)
                                                  : fmt::format(kUpdateStatusFormat, unsigned{reply[0]}));
    return false;
  }
  return true;
}

bool ResetStep(const FirmwareUpdate& update, std::uint8_t code) {
  if (code == cmd::kResetWriter) return SendUpdateCommand(update, code, 0);
  if (code != cmd::kCheckDriver) return false;
  const WriterServices& writer = update.writer;
  if (!SendUpdateCommand(update, code, 0)) return false;
  link::Reply reply{};
  if (writer.link.UsbRead(reply) == 0) {
    ReportError(writer, text::IDS_MESSAGE_USBReadFail);
    return false;
  }
  if (reply[0] == st::kOk) return true;
  ReportRefusal(writer, reply[0] == st::kFailed ? kDriverNotReadyText : kResetStatusText);
  return false;
}

void WaitDriverRestart(const FirmwareUpdate& update, int seconds) {
  const std::uint32_t steps = seconds > 0 ? static_cast<std::uint32_t>(seconds) * kRestartStepsPerSecond : 0;
  update.progress.ShowProgress(steps, kRestartLabel, kWriterProgressCaption);
  for (std::uint32_t i = 1; i <= steps; ++i) {
    update.clock.SleepFor(kRestartStep);
    update.progress.StepProgress(i, fmt::format(kRestartStepFormat, std::uint64_t{i} * 100 / steps));
  }
}

bool UpdateIap(const FirmwareUpdate& update) {
  if (!UpdateStep(update, cmd::kProgramIap)) return false;
  if (!update.state.updatePerformed) return true;
  return UpdateStep(update, cmd::kVerifyIap);
}

bool UpdateDriver(const FirmwareUpdate& update) {
  if (!UpdateStep(update, cmd::kProgramDriver)) return false;
  if (!update.state.updatePerformed) return true;
  if (!UpdateStep(update, cmd::kVerifyDriver)) return false;
  if (!ResetStep(update, cmd::kResetWriter)) return false;
  WaitDriverRestart(update, kDriverRestartSeconds);
  return ResetStep(update, cmd::kCheckDriver);
}

}  // namespace vx3::writer_ops
