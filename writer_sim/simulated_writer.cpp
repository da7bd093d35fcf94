// The simulated Writer's answers to each command code, its EEPROM job, its firmware updates and
// the chip in its socket.
#include "simulated_writer.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <span>

#include "sim_trace.h"

namespace vx3::sim {
namespace {

namespace code = protocol::code;
namespace st = protocol::status;
namespace at = protocol::header;
using protocol::Le16;
using protocol::Packet;
using protocol::Reply;

constexpr std::size_t kBlockSize = protocol::kBlockSize;
constexpr std::uint8_t kDefaultOfflineMode = protocol::kOfflineModeFun6;
constexpr std::uint8_t kBlank = 0xFF;
// The rolling record must end before the header's verify-without-rolling flag.
constexpr std::size_t kRollingRecordLimit = at::kVerifyWithoutRolling;
// The one chip model whose rolling words carry one byte of the value each.
constexpr std::string_view kBytePerWordChip = "VXTERN";
// A chip content file larger than this is not a chip.
constexpr std::uintmax_t kMaxChipFile = 16U * 1024U * 1024U;

bool IsChipAction(std::uint8_t c) {
  return (c >= code::kProgramChip && c <= code::kCheckBeforeRead) || c == code::kSecurityCheck;
}

std::uint16_t Be16(const std::vector<std::uint8_t>& data, std::size_t offset, std::uint16_t fallback) {
  if (offset + 1 >= data.size()) return fallback;
  return static_cast<std::uint16_t>((data[offset] << 8) | data[offset + 1]);
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The chip name without an "OTP" ending, in upper case, for comparing.
std::string ComparableType(std::string_view type) {
  std::string upper = Upper(type);
  if (upper.size() > 3 && upper.ends_with("OTP")) upper.resize(upper.size() - 3);
  return upper;
}

Reply StatusReply(std::uint8_t status) {
  Reply reply{};
  reply[0] = status;
  return reply;
}

std::vector<std::uint8_t> ReadChipFile(const std::filesystem::path& file) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec || size > kMaxChipFile) return {};
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::string Named(std::uint8_t c) {
  const std::string_view name = protocol::CommandName(c);
  return Printf("%s (0x%02X)", name.empty() ? "unknown command" : name.data(), c);
}

std::string_view JobName(int job) {
  static constexpr std::string_view kNames[] = {"Program EEPROM", "Verify EEPROM", "Program IAP",
                                                "Verify IAP",     "Program Driver", "Verify Driver"};
  return kNames[job];
}

std::string StatusText(std::uint8_t status) {
  switch (status) {
    case st::kFailed:
      return "status 0 (failed)";
    case st::kOk:
      return "status 1 (ok)";
    default:
      return Printf("status %u", status);
  }
}

// A reply to a chip action as the trace shows it.
std::string ActionReplyText(const Reply& reply) {
  const std::span<const std::uint8_t> payload(reply.data() + 1, protocol::kTextPerReply);
  if (reply[0] == st::kText) {
    const auto end = std::find(payload.begin(), payload.end(), std::uint8_t{0});
    return Printf("status 2 (text \"%s\")", Printable(std::span<const std::uint8_t>(payload.begin(), end)).c_str());
  }
  if (reply[0] == st::kArguments) return Printf("status 3 (arguments %s)", Hex(payload).c_str());
  return StatusText(reply[0]);
}

}  // namespace

std::string_view protocol::CommandName(std::uint8_t c) {
  switch (c) {
    case code::kProgramJobOrDriver: return "Program EEPROM or Driver";
    case code::kVerifyJob: return "Verify EEPROM";
    case code::kStatusQuery: return "Status Query";
    case code::kVerifyDriver: return "Verify Driver";
    case code::kVersionQuery: return "Version Query";
    case code::kProgramIap: return "Program IAP";
    case code::kVerifyIap: return "Verify IAP";
    case code::kIapStatus: return "IAP Status";
    case code::kReset: return "Reset";
    case code::kCheckDriver: return "Check Driver";
    case code::kReadHeader: return "Read Header";
    case code::kReadChip: return "Read Chip";
    case code::kProgramChip: return "Program";
    case code::kVerifyChip: return "Verify";
    case code::kBlankCheck: return "Blank Check";
    case code::kAutoProgram: return "Auto Program";
    case code::kCheckBeforeRead: return "Check Before Read";
    case code::kReadChipForLoadOtp: return "Read Chip For Load OTP";
    case code::kSecurityCheck: return "Security Check";
    default: return {};
  }
}

// --- replies and their faults ---

void SimulatedWriter::Queue(QueuedReply reply) {
  const Faults& faults = settings_.faults;
  if (faults.statusCommand == command_[0] && static_cast<int>(replyIndex_) == faults.statusReply) {
    reply.bytes[0] = static_cast<std::uint8_t>(faults.statusValue);
    reply.what += Printf(", status changed to %d by the settings", faults.statusValue);
  }
  ++replyIndex_;
  replies_.push_back(std::move(reply));
}

void SimulatedWriter::QueueStatus(std::uint8_t status, std::string what) {
  Queue({StatusReply(status), 0, std::move(what)});
}

std::optional<QueuedReply> SimulatedWriter::NextReply() {
  if (replies_.empty()) return std::nullopt;
  QueuedReply reply = std::move(replies_.front());
  replies_.pop_front();
  return reply;
}

std::string SimulatedWriter::Abandon() {
  std::string abandoned;
  if (expect_ != Expect::Command) abandoned = ExpectedText();
  expect_ = Expect::Command;
  incoming_.clear();
  replies_.clear();
  script_.clear();
  scriptDelays_.clear();
  hanging_ = false;
  total_ = 0;
  next_ = 0;
  // The chip was programmed when the command came; only its answer is lost.
  if (pendingChip_) programmed_.push_back(*std::exchange(pendingChip_, std::nullopt));
  return abandoned;
}

std::string SimulatedWriter::ExpectedText() const {
  switch (expect_) {
    case Expect::Command:
      return "a command";
    case Expect::Blocks:
      return Printf("block %u of %u of %s", next_ + 1, total_, JobName(static_cast<int>(job_)).data());
    case Expect::ReadRequest:
      return Printf("request %u of %u of %s [%s]", next_ + 1, total_, Named(command_[0]).c_str(),
                    Hex(std::span<const std::uint8_t>(command_.data(), 3)).c_str());
    case Expect::ActionRepeat:
      return Printf("the %s packet again", Named(command_[0]).c_str());
  }
  return {};
}

// --- packets ---

TakenPacket SimulatedWriter::Receive(const Packet& packet) {
  // A reply the host did not read is gone once it sends again.
  replies_.clear();
  TakenPacket taken;
  switch (expect_) {
    case Expect::Blocks:
      // Whatever the bytes, this is the next block of the job.
      taken.what = ReceiveBlock(packet);
      return taken;
    case Expect::ReadRequest:
    case Expect::ActionRepeat:
      if (packet == command_) {
        taken.what = expect_ == Expect::ReadRequest ? NextChunk() : NextActionReply();
        return taken;
      }
      taken.what = BadPacket(packet, taken);
      return taken;
    case Expect::Command:
      break;
  }
  if (std::chrono::steady_clock::now() < restartUntil_) {
    // Still restarting after a reset: nothing is taken yet.
    command_ = packet;
    replyIndex_ = 0;
    QueueStatus(st::kFailed, "status 0 (restarting)");
    return {Named(packet[0]) + ", while the Writer restarts", {}};
  }
  taken.what = TakeCommand(packet);
  if (taken.what.empty()) taken.what = BadPacket(packet, taken);
  return taken;
}

std::string SimulatedWriter::BadPacket(const Packet& packet, TakenPacket& taken) {
  const std::string_view name = protocol::CommandName(packet[0]);
  // A known command out of order is named as it is; while a command is awaited, a known code
  // came in a layout its command does not have.
  const char* layout = expect_ == Expect::Command ? " in a layout it does not have" : "";
  const std::string got = name.empty() ? Printf("a packet that is no command (byte 0 = 0x%02X)", packet[0])
                                       : Printf("%s [%s]%s", Named(packet[0]).c_str(),
                                                Hex(std::span<const std::uint8_t>(packet.data(), 5)).c_str(), layout);
  taken.violation = Printf("! protocol: expected %s, got %s", ExpectedText().c_str(), got.c_str());
  Abandon();
  command_ = packet;
  replyIndex_ = 0;
  QueueStatus(st::kFailed, "status 0 (bad command)");
  return "not taken";
}

// A packet while waiting for a command: the command it opens, decided by its code and checked
// against that command's layout; a port batch where no command fits; or empty.
std::string SimulatedWriter::TakeCommand(const Packet& packet) {
  const std::uint8_t c = packet[0];
  const std::uint16_t count = Le16(&packet[protocol::kArgumentAt]);
  const bool noArgument = packet[1] == 0 && packet[2] == 0;
  const bool updateCount = count >= 1 && count <= protocol::kMaxUpdateBlocks;
  const bool jobCount = count >= protocol::kHeaderBlocks && count <= protocol::kMaxJobBlocks;
  const auto marks = std::span<const std::uint8_t>(packet.data() + protocol::kStatusQueryMarksAt, 4);

  std::string what;
  switch (c) {
    case code::kProgramJobOrDriver:
      // The update family carries its checksum from byte 3, where an EEPROM job has 0.
      if (packet[protocol::kUpdateChecksumAt] != 0) {
        if (updateCount) what = StartBlocks(Job::DriverProgram, packet);
      } else if (jobCount) {
        what = StartBlocks(Job::EepromProgram, packet);
      }
      break;
    case code::kVerifyJob:
      if (jobCount) what = StartBlocks(Job::EepromVerify, packet);
      break;
    case code::kProgramIap:
      if (updateCount) what = StartBlocks(Job::IapProgram, packet);
      break;
    case code::kVerifyIap:
      if (updateCount) what = StartBlocks(Job::IapVerify, packet);
      break;
    case code::kVerifyDriver:
      if (updateCount) what = StartBlocks(Job::DriverVerify, packet);
      break;
    case code::kStatusQuery:
      if (!std::equal(marks.begin(), marks.end(), protocol::kStatusQueryMarks.begin()) ||
          packet[protocol::kStatusQueryEndAt] != protocol::kStatusQueryEnd) {
        break;
      }
      [[fallthrough]];
    case code::kVersionQuery:
      if (c == code::kVersionQuery && packet[protocol::kOfflineModeAt] != protocol::kOfflineModeFun0 &&
          packet[protocol::kOfflineModeAt] != protocol::kOfflineModeFun6) {
        break;
      }
      [[fallthrough]];
    case code::kIapStatus: {
      command_ = packet;
      replyIndex_ = 0;
      std::string replyWhat;
      const Reply reply = QueryReply(c, packet, replyWhat);
      Queue({reply, 0, std::move(replyWhat)});
      what = Named(c);
      if (c == code::kStatusQuery) {
        what += Printf(", date 20%02u/%u", packet[protocol::kStatusQueryYearAt],
                            packet[protocol::kStatusQueryMonthAt]);
      } else if (c == code::kVersionQuery) {
        what += Printf(", off-line mode 0x%02X", packet[protocol::kOfflineModeAt]);
      }
      break;
    }
    case code::kReset:
      if (!noArgument) break;
      // The Writer restarts: no reply, and whatever was going on is gone.
      Abandon();
      command_ = packet;
      restartUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(settings_.timing.restartMs);
      what = Named(c) + ", no reply";
      break;
    case code::kCheckDriver: {
      if (!noArgument) break;
      command_ = packet;
      replyIndex_ = 0;
      const bool running = state_.firmware.driverSignature == protocol::kDriverSignature;
      QueueStatus(running ? st::kOk : st::kFailed, running ? "status 1 (driver running)" : "status 0 (no driver)");
      what = Named(c);
      break;
    }
    case code::kReadHeader:
      if (count >= 1 && count <= protocol::kHeaderReadRequests) what = StartRead(packet);
      break;
    case code::kReadChip:
    case code::kReadChipForLoadOtp:
      if (count >= 1) what = StartRead(packet);
      break;
    default:
      if (IsChipAction(c)) what = StartChipAction(packet);
      break;
  }
  if (what.empty() && IsPortBatch(packet)) what = RunPortBatch(packet);
  return what;
}

// --- block jobs: the EEPROM job and the firmware updates ---

std::string SimulatedWriter::StartBlocks(Job job, const Packet& packet) {
  command_ = packet;
  replyIndex_ = 0;
  expect_ = Expect::Blocks;
  job_ = job;
  total_ = Le16(&packet[protocol::kArgumentAt]);
  next_ = 0;
  updateChecksum_ = Le16(&packet[protocol::kUpdateChecksumAt]);
  incoming_.clear();
  std::string what = Printf("%s (0x%02X), %u blocks", JobName(static_cast<int>(job)).data(), packet[0], total_);
  switch (job) {
    case Job::EepromProgram:
      // The EEPROM is rewritten from its start: the old job is gone.
      state_.job = EepromJob{};
      state_.job.body.reserve(static_cast<std::size_t>(total_ - protocol::kHeaderBlocks) * kBlockSize);
      changed_ = true;
      break;
    case Job::IapProgram:
      // Firmware being rewritten is not usable until the last block has been taken over.
      state_.firmware.iapStatus = 0;
      changed_ = true;
      what += Printf(", checksum 0x%04X", updateChecksum_);
      break;
    case Job::DriverProgram:
      state_.firmware.driverSignature = 0;
      changed_ = true;
      what += Printf(", checksum 0x%04X", updateChecksum_);
      break;
    default:
      break;
  }
  return what;
}

std::string SimulatedWriter::ReceiveBlock(const Packet& packet) {
  const std::uint32_t index = next_++;
  const bool last = next_ == total_;
  const std::size_t offset = static_cast<std::size_t>(index) * kBlockSize;
  const auto sameAs = [&](const std::vector<std::uint8_t>& stored, std::size_t from) {
    return from + kBlockSize <= stored.size() &&
           std::equal(packet.begin(), packet.end(), stored.begin() + static_cast<std::ptrdiff_t>(from));
  };
  const bool headerBlock = index < protocol::kHeaderBlocks;
  const bool eeprom = job_ == Job::EepromProgram || job_ == Job::EepromVerify;
  const std::string what = Printf("%s block %u of %u%s", JobName(static_cast<int>(job_)).data(), index + 1, total_,
                                       eeprom ? (headerBlock ? " (header)" : " (body)") : "");

  std::uint8_t status = st::kOk;
  switch (job_) {
    case Job::EepromVerify:
      status = headerBlock ? std::equal(packet.begin(), packet.end(), state_.job.header.begin() + offset)
                           : sameAs(state_.job.body, offset - protocol::kHeaderSize);
      break;
    case Job::IapVerify:
      status = sameAs(state_.firmware.iapImage, offset);
      break;
    case Job::DriverVerify:
      status = sameAs(state_.firmware.driverImage, offset);
      break;
    case Job::IapProgram:
    case Job::DriverProgram:
      incoming_.insert(incoming_.end(), packet.begin(), packet.end());
      if (last) {
        std::uint16_t sum = 0;
        if (job_ == Job::IapProgram) {
          for (std::size_t i = 0; i < protocol::kIapVersionAt; ++i)
            sum = static_cast<std::uint16_t>(sum + (i < incoming_.size() ? incoming_[i] : protocol::kUpdateFill));
        } else {
          for (const std::uint8_t byte : incoming_) sum = static_cast<std::uint16_t>(sum + byte);
        }
        status = sum == updateChecksum_ ? st::kOk : st::kFailed;
      }
      break;
    case Job::EepromProgram:
      if (headerBlock) {
        std::copy(packet.begin(), packet.end(), state_.job.header.begin() + static_cast<std::ptrdiff_t>(offset));
      } else {
        state_.job.body.insert(state_.job.body.end(), packet.begin(), packet.end());
      }
      changed_ = true;
      break;
  }

  QueueStatus(status, Printf("%s for block %u of %u", StatusText(status).c_str(), index + 1, total_));
  if (replies_.back().bytes[0] != st::kOk) {
    // A refused block ends the job; what it was writing stays unusable.
    expect_ = Expect::Command;
    incoming_.clear();
  } else if (last) {
    FinishBlocks();
  }
  return what;
}

void SimulatedWriter::FinishBlocks() {
  Firmware& firmware = state_.firmware;
  if (job_ == Job::EepromProgram) {
    state_.job.complete = true;
  } else if (job_ == Job::IapProgram) {
    firmware.iapImage = incoming_;
    firmware.iapVersion = Be16(incoming_, protocol::kIapVersionAt, firmware.iapVersion);
    firmware.iapStatus = 1;
  } else if (job_ == Job::DriverProgram) {
    firmware.driverImage = incoming_;
    firmware.driverVersion = Be16(incoming_, protocol::kDriverVersionAt, firmware.driverVersion);
    firmware.driverDate = Be16(incoming_, protocol::kDriverDateAt, firmware.driverDate);
    firmware.driverSignature = Be16(incoming_, protocol::kDriverSignatureAt, 0);
  }
  if (job_ != Job::EepromVerify && job_ != Job::IapVerify && job_ != Job::DriverVerify) changed_ = true;
  expect_ = Expect::Command;
  incoming_.clear();
}

// --- queries and reads ---

Reply SimulatedWriter::QueryReply(std::uint8_t c, const Packet& packet, std::string& what) {
  Firmware& firmware = state_.firmware;
  Reply reply{};
  const auto putWord = [&reply](std::size_t at, std::uint16_t word) {
    reply[at] = static_cast<std::uint8_t>(word >> 8);
    reply[at + 1] = static_cast<std::uint8_t>(word & 0xFF);
  };
  if (c == code::kStatusQuery) {
    putWord(protocol::kReplyVersionAt, firmware.iapVersion);
    putWord(protocol::kReplyDateAt, firmware.iapDate);
    putWord(protocol::kReplyHostLevelAt, firmware.hostLevel);
    // The Writer's clock follows the PC's date that the query carries.
    reply[protocol::kReplyYearAt] = packet[protocol::kStatusQueryYearAt];
    reply[protocol::kReplyMonthAt] = packet[protocol::kStatusQueryMonthAt];
    what = Printf("IAP version 0x%04X, date 0x%04X, host level 0x%04X", firmware.iapVersion,
                       firmware.iapDate, firmware.hostLevel);
  } else if (c == code::kVersionQuery) {
    if (firmware.offlineMode != packet[protocol::kOfflineModeAt]) {
      firmware.offlineMode = packet[protocol::kOfflineModeAt];
      changed_ = true;
    }
    putWord(protocol::kReplyVersionAt, firmware.driverVersion);
    putWord(protocol::kReplyDateAt, firmware.driverDate);
    putWord(protocol::kReplyHostLevelAt, firmware.hostLevel);
    what = Printf("driver version 0x%04X, date 0x%04X, host level 0x%04X", firmware.driverVersion,
                       firmware.driverDate, firmware.hostLevel);
  } else {
    reply[0] = firmware.iapStatus;
    what = Printf("IAP status %u", firmware.iapStatus);
  }
  return reply;
}

std::string SimulatedWriter::StartRead(const Packet& packet) {
  command_ = packet;
  replyIndex_ = 0;
  expect_ = Expect::ReadRequest;
  total_ = Le16(&packet[protocol::kArgumentAt]);
  next_ = 0;
  return NextChunk();
}

// The next 16 bytes of a read; the read ends with its last request.
std::string SimulatedWriter::NextChunk() {
  const std::uint32_t index = next_++;
  Reply reply{};
  const std::uint64_t from = static_cast<std::uint64_t>(index) * protocol::kReplySize;
  if (command_[0] == code::kReadHeader) {
    for (std::size_t k = 0; k < reply.size(); ++k) {
      if (from + k < state_.job.header.size()) reply[k] = state_.job.header[from + k];
    }
  } else if (const Chip& chip = state_.chip; chip.present) {
    for (std::size_t k = 0; k < reply.size(); ++k) reply[k] = from + k < chip.rom.size() ? chip.rom[from + k] : chip.fill;
  }
  Queue({reply, 0, Printf("data %u of %u", index + 1, total_)});
  if (next_ == total_) expect_ = Expect::Command;
  return Printf("%s request %u of %u", Named(command_[0]).c_str(), index + 1, total_);
}

// --- port-access batches ---

bool SimulatedWriter::IsPortBatch(const Packet& packet) {
  // [used - 1, 0, records...]; what lies after the used bytes is left over from earlier
  // batches and means nothing.
  namespace port = protocol::port;
  if (packet[1] != 0 || packet[0] < port::kFirstRecordAt) return false;
  const std::size_t used = std::size_t{packet[0]} + 1;
  if (used > packet.size()) return false;
  std::size_t pos = port::kFirstRecordAt;
  while (pos < used) {
    const std::uint8_t op = packet[pos];
    std::size_t size = 0;
    if (op == port::kWriteData) {
      size = 2;
    } else if (op == port::kWriteDataRun || op == port::kWriteControlRun) {
      if (pos + 1 >= used) return false;
      const std::size_t count = packet[pos + 1];
      if (op == port::kWriteDataRun && count < 2) return false;
      if (op == port::kWriteControlRun && count < 4) return false;
      size = 2 + (op == port::kWriteDataRun ? count : (count + 1) / 2);
    } else if (op == port::kReadStatus || (op & port::kOperationMask) == port::kWriteControl) {
      size = 1;
    } else {
      return false;
    }
    pos += size;
  }
  return pos == used;
}

std::string SimulatedWriter::RunPortBatch(const Packet& packet) {
  namespace port = protocol::port;
  command_ = packet;
  replyIndex_ = 0;
  const std::size_t used = std::size_t{packet[0]} + 1;
  std::size_t pos = port::kFirstRecordAt;
  int reads = 0;
  while (pos < used) {
    const std::uint8_t op = packet[pos];
    if (op == port::kWriteData) {
      portData_ = packet[pos + 1];
      pos += 2;
    } else if (op == port::kWriteDataRun) {
      const std::size_t count = packet[pos + 1];
      portData_ = packet[pos + 1 + count];
      pos += 2 + count;
    } else if (op == port::kWriteControlRun) {
      pos += 2 + (std::size_t{packet[pos + 1]} + 1) / 2;
    } else if (op == port::kReadStatus) {
      // A loop-back on the port: the data lines' low nibble comes back on status bits 3 to 6,
      // and bit 7 (not busy) is set.
      const auto value = static_cast<std::uint8_t>(0x80 | ((portData_ & 0x0F) << 3));
      QueueStatus(value, Printf("status port 0x%02X", value));
      ++reads;
      pos += 1;
    } else {
      pos += 1;
    }
  }
  return Printf("port batch, %u bytes, %d status read(s)", static_cast<unsigned>(used), reads);
}

// --- the chip ---

std::string SimulatedWriter::JobChipType() const {
  // The image header's chip name field: text up to the first zero, its first word.
  std::string name;
  for (std::size_t i = 0; i < at::kChipNameSize; ++i) {
    const std::uint8_t byte = state_.job.header[at::kChipName + i];
    if (byte == 0 || byte == 0xFF) break;
    name += static_cast<char>(byte);
  }
  const std::size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t end = name.find_first_of(" \t", first);
  return name.substr(first, end == std::string::npos ? std::string::npos : end - first);
}

std::string SimulatedWriter::EffectiveChipType() const {
  return state_.chip.type.empty() ? JobChipType() : state_.chip.type;
}

bool SimulatedWriter::ChipTypeMatches() const {
  const std::string job = JobChipType();
  if (state_.chip.type.empty() || job.empty()) return true;
  return ComparableType(state_.chip.type) == ComparableType(job);
}

bool SimulatedWriter::ErasableChip() const {
  const std::string type = Upper(EffectiveChipType());
  return type.starts_with("VX3F") || type.starts_with("VX3E");
}

void SimulatedWriter::InsertNewChip() {
  const ChipSettings& wanted = settings_.chip;
  Chip chip;
  chip.present = wanted.inSocket;
  chip.type = wanted.type;
  chip.secured = wanted.secured;
  const std::size_t size = state_.job.body.size();
  switch (wanted.content) {
    case ChipContent::Blank:
      chip.rom.assign(size, kBlank);
      break;
    case ChipContent::Fill:
      chip.fill = wanted.fillByte;
      chip.rom.assign(size, wanted.fillByte);
      break;
    case ChipContent::Job:
      chip.rom = state_.job.body;
      chip.copiesJob = true;
      break;
    case ChipContent::File:
      chip.rom = ReadChipFile(wanted.file);
      break;
  }
  state_.chip = std::move(chip);
  changed_ = true;
}

void SimulatedWriter::FitChipToJob() {
  Chip& chip = state_.chip;
  const std::vector<std::uint8_t>& body = state_.job.body;
  if (chip.rom.size() >= body.size()) return;
  if (chip.copiesJob) {
    chip.rom.insert(chip.rom.end(), body.begin() + static_cast<std::ptrdiff_t>(chip.rom.size()), body.end());
  } else {
    chip.rom.resize(body.size(), chip.fill);
  }
  changed_ = true;
}

SimulatedWriter::Rolling SimulatedWriter::ParseRolling() const {
  const auto& header = state_.job.header;
  Rolling rolling;
  rolling.on = header[at::kRolling] != 0 || header[at::kRolling + 1] != 0;
  if (!rolling.on) return rolling;
  rolling.bytePerWord = EffectiveChipType() == kBytePerWordChip;
  rolling.address = Le16(&header[at::kRollingAddress]);
  rolling.length = Le16(&header[at::kRollingLength]);
  const std::size_t valueSize = rolling.bytePerWord ? (rolling.length + 1) / 2 * 2 : std::size_t{rolling.length} * 2;
  rolling.valueAt = at::kRollingValue;
  rolling.stepAt = rolling.valueAt + valueSize;
  const std::size_t orderAt = rolling.stepAt + valueSize;
  if (rolling.length == 0 || orderAt + 2 > kRollingRecordLimit) return rolling;
  rolling.lowWordFirst = header[orderAt] == 1;
  rolling.valid = (std::size_t{rolling.address} + rolling.length) * 2 <= state_.job.body.size();
  return rolling;
}

// The value as the status box shows it, most significant part first, without spaces.
std::string SimulatedWriter::RollingValueText(const Rolling& rolling) const {
  if (!rolling.on || !rolling.valid) return {};
  const auto& header = state_.job.header;
  std::string text;
  for (std::uint32_t j = rolling.length; j-- > 0;) {
    text += rolling.bytePerWord ? Printf("%02X", header[rolling.valueAt + j])
                                : Printf("%04X", Le16(&header[rolling.valueAt + 2 * j]));
  }
  return text;
}

// Word by word (byte by byte for the one-byte model) with carry, wrapping at the top.
void SimulatedWriter::AdvanceRolling(const Rolling& rolling) {
  auto& header = state_.job.header;
  std::uint32_t carry = 0;
  for (std::uint32_t j = 0; j < rolling.length; ++j) {
    if (rolling.bytePerWord) {
      const std::uint32_t sum = header[rolling.valueAt + j] + header[rolling.stepAt + j] + carry;
      header[rolling.valueAt + j] = static_cast<std::uint8_t>(sum & 0xFF);
      carry = sum >> 8;
    } else {
      const std::uint32_t sum =
          Le16(&header[rolling.valueAt + 2 * j]) + Le16(&header[rolling.stepAt + 2 * j]) + carry;
      header[rolling.valueAt + 2 * j] = static_cast<std::uint8_t>(sum & 0xFF);
      header[rolling.valueAt + 2 * j + 1] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
      carry = sum >> 16;
    }
  }
  changed_ = true;
}

void SimulatedWriter::RunStandalone(int count) {
  if (!state_.job.complete) return;
  const Rolling rolling = ParseRolling();
  for (int i = 0; i < count; ++i) {
    programmed_.push_back({code::kAutoProgram, RollingValueText(rolling), true});
    if (rolling.on && rolling.valid) AdvanceRolling(rolling);
  }
  changed_ = true;
}

namespace {

// Where the rolling value goes in the ROM: (byte offset, byte) for each byte it writes.
std::vector<std::pair<std::uint32_t, std::uint8_t>> RollingPlacement(const std::array<std::uint8_t, protocol::kHeaderSize>& header,
                                                                     std::uint32_t address, std::uint32_t length,
                                                                     bool bytePerWord, bool lowWordFirst,
                                                                     std::size_t valueAt) {
  std::vector<std::pair<std::uint32_t, std::uint8_t>> placement;
  for (std::uint32_t j = 0; j < length; ++j) {
    // Entry j is the j-th least significant part of the value.
    const std::uint32_t word = lowWordFirst ? address + j : address + length - 1 - j;
    if (bytePerWord) {
      placement.emplace_back(word * 2, header[valueAt + j]);
    } else {
      placement.emplace_back(word * 2, header[valueAt + 2 * j]);
      placement.emplace_back(word * 2 + 1, header[valueAt + 2 * j + 1]);
    }
  }
  return placement;
}

}  // namespace

bool SimulatedWriter::BlankCheck() {
  AddWork(settings_.timing.blankCheckMsPerKb);
  const std::vector<std::uint8_t>& rom = state_.chip.rom;
  const auto used = std::find_if(rom.begin(), rom.end(), [](std::uint8_t b) { return b != kBlank; });
  if (used == rom.end()) return true;
  const auto word = static_cast<std::uint32_t>((used - rom.begin()) / 2);
  AddMessage(message::kBlankCheckFail, {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)});
  return false;
}

bool SimulatedWriter::Erase() {
  AddWork(settings_.timing.blankCheckMsPerKb);
  Chip& chip = state_.chip;
  std::fill(chip.rom.begin(), chip.rom.end(), kBlank);
  chip.fill = kBlank;
  chip.copiesJob = false;
  chip.secured = false;
  chip.rollingBytes.clear();
  changed_ = true;
  return true;
}

bool SimulatedWriter::Program() {
  AddWork(settings_.timing.programMsPerKb);
  Chip& chip = state_.chip;
  auto& header = state_.job.header;
  const Rolling rolling = ParseRolling();
  if (rolling.on && !rolling.valid) {
    AddMessage(message::kRollingAddressError);
    return false;
  }
  std::vector<std::uint8_t> image = state_.job.body;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> placement;
  if (rolling.on) {
    placement = RollingPlacement(header, rolling.address, rolling.length, rolling.bytePerWord, rolling.lowWordFirst,
                                 rolling.valueAt);
    for (const auto& [offset, byte] : placement) image[offset] = byte;
  }

  // One-time programmable cells only go from 1 to 0.
  for (std::size_t i = 0; i < image.size(); ++i) {
    if ((image[i] & ~chip.rom[i] & 0xFF) != 0) {
      std::copy(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(i), chip.rom.begin());
      changed_ = true;
      const auto word = static_cast<std::uint32_t>(i / 2);
      AddMessage(message::kProgramFail, {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)});
      return false;
    }
  }
  std::copy(image.begin(), image.end(), chip.rom.begin());
  chip.copiesJob = false;
  chip.rollingBytes = placement;
  chip.swapPending = true;

  // The option word at the top of the ROM area switches code security on: bit 11 clear, or
  // bit 1 clear for program type 3.
  const std::size_t lastWord = (std::size_t{Le16(&header[at::kLastRomWord])}) * 2;
  if (lastWord + 1 < image.size()) {
    const std::uint16_t option = Le16(&image[lastWord]);
    const std::uint16_t securityBit = header[at::kProgramType] == 3 ? 0x0002 : 0x0800;
    if ((option & securityBit) == 0) chip.secured = true;
  }

  rollingMessage_.clear();
  rollingArguments_.clear();
  if (rolling.on) {
    // The value just programmed, most significant part first; then the next chip's value.
    rollingMessage_ = std::string(message::kRollingCode);
    for (std::uint32_t j = rolling.length; j-- > 0;) {
      if (rolling.bytePerWord) {
        rollingMessage_ += "%02X";
        rollingArguments_.push_back(header[rolling.valueAt + j]);
      } else {
        rollingMessage_ += "%02X%02X";
        rollingArguments_.push_back(header[rolling.valueAt + 2 * j + 1]);
        rollingArguments_.push_back(header[rolling.valueAt + 2 * j]);
      }
      if (j > 0) rollingMessage_ += ' ';
    }
    rollingMessage_ += "\r\n";
    AdvanceRolling(rolling);
  }
  changed_ = true;
  return true;
}

bool SimulatedWriter::Verify() {
  AddWork(settings_.timing.verifyMsPerKb);
  const Chip& chip = state_.chip;
  const std::vector<std::uint8_t>& body = state_.job.body;
  std::vector<std::uint8_t> expected = body;
  std::vector<bool> skip(body.size(), false);
  const Rolling rolling = ParseRolling();
  if (rolling.on && rolling.valid) {
    // The rolling words hold what this chip was given; with "verify without rolling code" in
    // the header they are not compared at all.
    const bool withoutRolling = state_.job.header[at::kVerifyWithoutRolling] != 0;
    const std::map<std::uint32_t, std::uint8_t> given(chip.rollingBytes.begin(), chip.rollingBytes.end());
    for (const auto& [offset, byte] : RollingPlacement(state_.job.header, rolling.address, rolling.length,
                                                       rolling.bytePerWord, rolling.lowWordFirst, rolling.valueAt)) {
      if (withoutRolling) {
        skip[offset] = true;
      } else if (const auto found = given.find(offset); found != given.end()) {
        expected[offset] = found->second;
      }
    }
  }
  // A cell that never holds what was programmed, when the settings name one.
  const std::size_t weakCell = settings_.chip.verifyFailAt >= 0
                                   ? static_cast<std::size_t>(settings_.chip.verifyFailAt) * 2
                                   : body.size();
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (i == weakCell || (!skip[i] && chip.rom[i] != expected[i])) {
      const auto word = static_cast<std::uint32_t>(i / 2);
      AddMessage(message::kVerifyFail, {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)});
      return false;
    }
  }
  return true;
}

// --- chip actions ---

std::string SimulatedWriter::StartChipAction(const Packet& packet) {
  command_ = packet;
  replyIndex_ = 0;
  script_.clear();
  scriptDelays_.clear();
  pendingWorkMs_ = 0;
  hanging_ = settings_.faults.hangAction == packet[0];
  // A hanging Writer is busy from the first round: it never gets as far as the chip, nor as far
  // as saying how the action went.
  if (!hanging_) BuildChipAction(packet[0], packet);
  expect_ = Expect::ActionRepeat;
  NextActionReply();
  return Printf("%s, ROM %u bytes, checksum 0x%04X", Named(packet[0]).c_str(),
                Le16(&packet[protocol::kActionRomBytesAt]), Le16(&packet[protocol::kActionChecksumAt]));
}

// The action's next reply. Text and arguments ask for the same packet again; any other status
// ends the action.
std::string SimulatedWriter::NextActionReply() {
  Reply reply{};
  int delayMs = 0;
  if (hanging_) {
    // Busy for ever: the final status never comes.
    reply[0] = st::kText;
    std::copy(message::kBusy.begin(), message::kBusy.end(), reply.begin() + 1);
  } else if (script_.empty()) {
    // The settings made a round of the final status: the action has nothing more to say.
    reply[0] = st::kFailed;
  } else {
    reply = script_.front();
    delayMs = scriptDelays_.front();
    script_.pop_front();
    scriptDelays_.pop_front();
  }
  Queue({reply, delayMs, ActionReplyText(reply)});
  const std::uint8_t sent = replies_.back().bytes[0];
  if (sent != st::kText && sent != st::kArguments) {
    // The action is answered: its chip goes on record.
    if (pendingChip_) programmed_.push_back(*std::exchange(pendingChip_, std::nullopt));
    expect_ = Expect::Command;
    script_.clear();
    scriptDelays_.clear();
  }
  return Printf("%s again", Named(command_[0]).c_str());
}

void SimulatedWriter::AddMessage(std::string_view text, const std::vector<std::uint8_t>& arguments) {
  for (std::size_t from = 0; from < text.size(); from += protocol::kTextPerReply) {
    Reply reply{};
    reply[0] = st::kText;
    const std::string_view chunk = text.substr(from, protocol::kTextPerReply);
    std::copy(chunk.begin(), chunk.end(), reply.begin() + 1);
    script_.push_back(reply);
    scriptDelays_.push_back(std::exchange(pendingWorkMs_, 0));
  }
  Reply reply{};
  reply[0] = st::kArguments;
  std::copy_n(arguments.begin(), std::min(arguments.size(), protocol::kTextPerReply), reply.begin() + 1);
  script_.push_back(reply);
  scriptDelays_.push_back(std::exchange(pendingWorkMs_, 0));
}

void SimulatedWriter::AddStatus(std::uint8_t status) {
  script_.push_back(StatusReply(status));
  scriptDelays_.push_back(std::exchange(pendingWorkMs_, 0));
}

// The time a chip operation takes over the job's ROM, told with its next message.
void SimulatedWriter::AddWork(int msPerKb) {
  const std::size_t kb = (state_.job.body.size() + 1023) / 1024;
  pendingWorkMs_ += static_cast<int>(std::min<std::size_t>(kb * static_cast<std::size_t>(msPerKb), 600000));
}

void SimulatedWriter::BuildChipAction(std::uint8_t action, const Packet& packet) {
  const Faults& faults = settings_.faults;
  if (!faults.messageText.empty()) {
    AddMessage(faults.messageText, {faults.messageArguments.begin(), faults.messageArguments.end()});
  }
  const bool programs = action == code::kProgramChip || action == code::kBlankCheck || action == code::kAutoProgram;
  if (programs && state_.chip.swapPending && settings_.insertNewChip) InsertNewChip();

  const auto fail = [this](std::string_view text) {
    AddMessage(text);
    AddStatus(st::kFailed);
  };
  if (!state_.chip.present) return fail(message::kNoChip);
  // Reading a chip needs no job; acting on it needs the job the program has loaded.
  const bool readCheck = action == code::kCheckBeforeRead || action == code::kSecurityCheck;
  if (!readCheck) {
    if (!state_.job.complete) return fail(message::kNoJob);
    const auto& header = state_.job.header;
    const auto jobRomBytes = static_cast<std::uint16_t>((Le16(&header[at::kLastRomWord]) + 1U) * 2U);
    const std::uint16_t romBytes = Le16(&packet[protocol::kActionRomBytesAt]);
    const std::uint16_t checksum = Le16(&packet[protocol::kActionChecksumAt]);
    if (romBytes != jobRomBytes || checksum != Le16(&header[at::kChecksum])) return fail(message::kJobDiffers);
  }
  if (!ChipTypeMatches()) return fail(message::kChipTypeError);
  FitChipToJob();

  bool ok = false;
  rollingMessage_.clear();
  // A chip to be programmed goes on record with the value it is given, when the action ends.
  if (action == code::kProgramChip || action == code::kAutoProgram) {
    pendingChip_ = ProgrammedChip{action, RollingValueText(ParseRolling()), false};
  }
  switch (action) {
    case code::kBlankCheck:
      // The button is "Erase" for flash chips, and the Writer erases them.
      if (ErasableChip()) {
        ok = Erase();
        if (ok) AddMessage(message::kEraseOk);
      } else {
        ok = BlankCheck();
        if (ok) AddMessage(message::kBlankCheckOk);
      }
      break;
    case code::kProgramChip:
      ok = Program();
      if (ok) AddMessage(message::kProgramOk);
      break;
    case code::kVerifyChip:
      ok = Verify();
      if (ok) AddMessage(message::kVerifyOk);
      break;
    case code::kAutoProgram:
      ok = (ErasableChip() ? Erase() : BlankCheck()) && Program() && Verify();
      if (ok) AddMessage(message::kAutoProgramOk);
      break;
    case code::kCheckBeforeRead:
      ok = true;
      break;
    case code::kSecurityCheck:
      ok = !state_.chip.secured;
      break;
    default:
      break;
  }
  if (!rollingMessage_.empty() && (ok || action == code::kAutoProgram)) AddMessage(rollingMessage_, rollingArguments_);
  AddStatus(ok ? st::kOk : st::kFailed);
  if (pendingChip_) pendingChip_->passed = ok;
}

// --- settings ---

void SimulatedWriter::ApplySettings(bool fresh) {
  auto& seen = state_.seenSettings;
  const auto take = [&](const std::string& key, int value, auto set) {
    const std::string text = std::to_string(value);
    const auto found = seen.find(key);
    if (fresh || found == seen.end() || found->second != text) {
      set(value);
      seen[key] = text;
      changed_ = true;
    }
  };
  Firmware& firmware = state_.firmware;
  const FirmwareSettings& wanted = settings_.firmware;
  if (fresh) {
    firmware.driverSignature = protocol::kDriverSignature;
    firmware.offlineMode = kDefaultOfflineMode;
  }
  take("IapVersion", wanted.iapVersion, [&](int v) { firmware.iapVersion = static_cast<std::uint16_t>(v); });
  take("IapDate", wanted.iapDate, [&](int v) { firmware.iapDate = static_cast<std::uint16_t>(v); });
  take("IapStatus", wanted.iapStatus, [&](int v) { firmware.iapStatus = static_cast<std::uint8_t>(v); });
  take("DriverVersion", wanted.driverVersion, [&](int v) { firmware.driverVersion = static_cast<std::uint16_t>(v); });
  take("DriverDate", wanted.driverDate, [&](int v) { firmware.driverDate = static_cast<std::uint16_t>(v); });
  take("HostLevel", wanted.hostLevel, [&](int v) { firmware.hostLevel = static_cast<std::uint16_t>(v); });

  const auto chip = seen.find("Chip");
  if (fresh || chip == seen.end() || chip->second != settings_.chip.text) {
    InsertNewChip();
    seen["Chip"] = settings_.chip.text;
  }
}

}  // namespace vx3::sim
