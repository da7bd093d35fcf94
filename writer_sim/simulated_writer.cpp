// The simulated Writer's answers to each command code, its EEPROM job, its firmware updates and
// the chip in its socket.
#include "simulated_writer.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>

namespace vx3::sim {
namespace {

namespace cmd = link::command;
namespace st = link::status;
namespace at = writer_ops::header_offset;

constexpr std::size_t kBlockSize = link::kPacketSize;
constexpr std::size_t kHeaderBlocks = writer_ops::kEepromHeaderSize / kBlockSize;
// Where the update files keep the words the Writer takes over (big-endian).
constexpr std::size_t kIapVersionOffset = 0xDF0;  // also the end of what the IAP checksum covers
constexpr std::size_t kDriverVersionOffset = 0x1000;
constexpr std::size_t kDriverDateOffset = 0x1002;
constexpr std::size_t kDriverSignatureOffset = 0x1004;
constexpr std::uint16_t kDriverSignature = 0xA145;
constexpr std::uint8_t kDefaultOfflineMode = 0x5A;
constexpr std::uint8_t kBlank = 0xFF;
// The rolling record must end before the header's verify-without-rolling flag.
constexpr std::size_t kRollingRecordLimit = at::kVerifyWithoutRolling;
constexpr std::size_t kRollingValueOffset = 6;
// The one chip model whose rolling words carry one byte of the value each.
constexpr std::string_view kBytePerWordChip = "VXTERN";
// A chip content file larger than this is not a chip.
constexpr std::uintmax_t kMaxChipFile = 16U * 1024U * 1024U;

bool IsChipAction(std::uint8_t code) {
  return (code >= cmd::kProgramChip && code <= cmd::kCheckBeforeRead) || code == cmd::kSecurityCheck;
}

bool IsRead(std::uint8_t code) {
  return code == cmd::kReadHeader || code == cmd::kReadChip || code == cmd::kReadChipForLoadOtp;
}

std::uint16_t Le16(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)); }

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

link::Reply StatusReply(std::uint8_t status) {
  link::Reply reply{};
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

}  // namespace

// --- replies and their faults ---

void SimulatedWriter::BeginCommand(std::uint8_t code) {
  command_ = code;
  replyIndex_ = 0;
  script_.clear();
  readTotal_ = 0;
  readCursor_ = 0;
}

std::uint8_t SimulatedWriter::Queue(link::Reply reply) {
  const Faults& faults = settings_.faults;
  if (command_ >= 0 && faults.statusCommand == command_ && static_cast<int>(replyIndex_) == faults.statusReply) {
    reply[0] = static_cast<std::uint8_t>(faults.statusValue);
  }
  ++replyIndex_;
  replies_.push_back(reply);
  return reply[0];
}

std::uint8_t SimulatedWriter::QueueStatus(std::uint8_t status) { return Queue(StatusReply(status)); }

std::optional<link::Reply> SimulatedWriter::NextReply() {
  if (replies_.empty()) return std::nullopt;
  const link::Reply reply = replies_.front();
  replies_.pop_front();
  return reply;
}

void SimulatedWriter::Abandon() {
  mode_ = Mode::Idle;
  incoming_.clear();
  replies_.clear();
  command_ = -1;
  replyIndex_ = 0;
  script_.clear();
  readTotal_ = 0;
  readCursor_ = 0;
}

// --- packets ---

void SimulatedWriter::Receive(const link::Packet& packet) {
  // A reply the program did not read is gone once it sends again.
  replies_.clear();
  if (mode_ != Mode::Idle) {
    ReceiveBlock(packet);
    return;
  }
  if (IsPortBatch(packet)) {
    command_ = -1;
    RunPortBatch(packet);
    return;
  }
  const std::uint8_t code = packet[0];
  const auto count = static_cast<std::uint16_t>(packet[1] | (packet[2] << 8));
  const auto checksum = static_cast<std::uint16_t>(packet[3] | (packet[4] << 8));

  if (IsChipAction(code)) {
    // The program answers every message round with the same packet; a new action begins when
    // the last one has ended or another command came between.
    if (command_ != code || script_.empty()) {
      BeginCommand(code);
      BuildChipAction(code, packet);
    }
    const link::Reply next = script_.front();
    script_.pop_front();
    Queue(next);
    return;
  }
  if (IsRead(code)) {
    if (command_ != code || readCursor_ >= readTotal_) {
      BeginCommand(code);
      readTotal_ = count;
    }
    Queue(ReadChunk(code, readCursor_++));
    return;
  }

  BeginCommand(code);
  switch (code) {
    case cmd::kProgramEeprom:
      // The same code programs the driver; only the driver update carries a checksum.
      if (checksum != 0) {
        StartBlocks(Mode::DriverProgram, count, checksum);
      } else if (count >= kHeaderBlocks) {
        state_.job = EepromJob{};
        changed_ = true;
        StartBlocks(Mode::EepromProgram, count, 0);
      }
      break;
    case cmd::kVerifyEeprom:
      if (count >= kHeaderBlocks) StartBlocks(Mode::EepromVerify, count, 0);
      break;
    case cmd::kProgramIap:
      StartBlocks(Mode::IapProgram, count, checksum);
      break;
    case cmd::kVerifyIap:
      StartBlocks(Mode::IapVerify, count, checksum);
      break;
    case cmd::kVerifyDriver:
      StartBlocks(Mode::DriverVerify, count, checksum);
      break;
    case cmd::kStatusQuery:
    case cmd::kVersionQuery:
    case cmd::kIapStatusQuery:
      Queue(QueryReply(code, packet));
      break;
    case cmd::kResetWriter:
      // The Writer restarts: no reply, and whatever was going on is gone.
      Abandon();
      break;
    case cmd::kCheckDriver:
      QueueStatus(state_.firmware.driverSignature == kDriverSignature ? st::kOk : st::kFailed);
      break;
    default:
      // An unknown command gets no answer; the program's read times out.
      break;
  }
}

// --- block jobs: the EEPROM job and the firmware updates ---

void SimulatedWriter::StartBlocks(Mode mode, std::uint32_t blocks, std::uint16_t checksum) {
  if (blocks == 0) return;
  mode_ = mode;
  blocksExpected_ = blocks;
  blockIndex_ = 0;
  updateChecksum_ = checksum;
  incoming_.clear();
  // Firmware being rewritten is not usable until the last block has been taken over.
  if (mode == Mode::IapProgram) {
    state_.firmware.iapStatus = 0;
    changed_ = true;
  } else if (mode == Mode::DriverProgram) {
    state_.firmware.driverSignature = 0;
    changed_ = true;
  }
}

void SimulatedWriter::ReceiveBlock(const link::Packet& packet) {
  const std::uint32_t index = blockIndex_++;
  const bool last = blockIndex_ == blocksExpected_;
  const std::size_t offset = static_cast<std::size_t>(index) * kBlockSize;
  const auto sameAs = [&](const std::uint8_t* stored, std::size_t storedSize, std::size_t from) {
    return from + kBlockSize <= storedSize && std::equal(packet.begin(), packet.end(), stored + from);
  };

  std::uint8_t status = st::kOk;
  switch (mode_) {
    case Mode::EepromVerify:
      status = index < kHeaderBlocks
                   ? sameAs(state_.job.header.data(), state_.job.header.size(), offset)
                   : sameAs(state_.job.body.data(), state_.job.body.size(), offset - writer_ops::kEepromHeaderSize);
      break;
    case Mode::IapVerify:
      status = sameAs(state_.firmware.iapImage.data(), state_.firmware.iapImage.size(), offset);
      break;
    case Mode::DriverVerify:
      status = sameAs(state_.firmware.driverImage.data(), state_.firmware.driverImage.size(), offset);
      break;
    case Mode::IapProgram:
    case Mode::DriverProgram:
      incoming_.insert(incoming_.end(), packet.begin(), packet.end());
      if (last) {
        std::uint16_t sum = 0;
        if (mode_ == Mode::IapProgram) {
          for (std::size_t i = 0; i < kIapVersionOffset; ++i)
            sum = static_cast<std::uint16_t>(sum + (i < incoming_.size() ? incoming_[i] : kBlank));
        } else {
          for (const std::uint8_t byte : incoming_) sum = static_cast<std::uint16_t>(sum + byte);
        }
        status = sum == updateChecksum_ ? st::kOk : st::kFailed;
      }
      break;
    default:
      break;
  }

  if (QueueStatus(status) == st::kFailed) {
    // A refused block ends the job; what it was writing stays unusable.
    mode_ = Mode::Idle;
    incoming_.clear();
    return;
  }
  if (mode_ == Mode::EepromProgram) {
    if (index < kHeaderBlocks) {
      std::copy(packet.begin(), packet.end(), state_.job.header.begin() + static_cast<std::ptrdiff_t>(offset));
    } else {
      state_.job.body.insert(state_.job.body.end(), packet.begin(), packet.end());
    }
    changed_ = true;
  }
  if (!last) return;

  Firmware& firmware = state_.firmware;
  if (mode_ == Mode::EepromProgram) {
    state_.job.complete = true;
  } else if (mode_ == Mode::IapProgram) {
    firmware.iapImage = incoming_;
    firmware.iapVersion = Be16(incoming_, kIapVersionOffset, firmware.iapVersion);
    firmware.iapStatus = 1;
  } else if (mode_ == Mode::DriverProgram) {
    firmware.driverImage = incoming_;
    firmware.driverVersion = Be16(incoming_, kDriverVersionOffset, firmware.driverVersion);
    firmware.driverDate = Be16(incoming_, kDriverDateOffset, firmware.driverDate);
    firmware.driverSignature = Be16(incoming_, kDriverSignatureOffset, 0);
  }
  changed_ = true;
  mode_ = Mode::Idle;
  incoming_.clear();
}

// --- queries and reads ---

link::Reply SimulatedWriter::QueryReply(std::uint8_t code, const link::Packet& packet) {
  Firmware& firmware = state_.firmware;
  link::Reply reply{};
  const auto putWord = [&reply](std::size_t at, std::uint16_t word) {
    reply[at] = static_cast<std::uint8_t>(word >> 8);
    reply[at + 1] = static_cast<std::uint8_t>(word & 0xFF);
  };
  if (code == cmd::kStatusQuery) {
    putWord(0, firmware.iapVersion);
    putWord(2, firmware.iapDate);
    putWord(4, firmware.hostLevel);
    // The Writer's clock follows the PC's date that the query carries.
    reply[6] = packet[5];
    reply[7] = packet[6];
  } else if (code == cmd::kVersionQuery) {
    if (firmware.offlineMode != packet[1]) {
      firmware.offlineMode = packet[1];
      changed_ = true;
    }
    putWord(0, firmware.driverVersion);
    putWord(2, firmware.driverDate);
    putWord(4, firmware.hostLevel);
  } else {
    reply[0] = firmware.iapStatus;
  }
  return reply;
}

link::Reply SimulatedWriter::ReadChunk(std::uint8_t code, std::uint32_t index) const {
  link::Reply reply{};
  const std::uint64_t from = static_cast<std::uint64_t>(index) * link::kReplySize;
  if (code == cmd::kReadHeader) {
    for (std::size_t k = 0; k < reply.size(); ++k) {
      if (from + k < state_.job.header.size()) reply[k] = state_.job.header[from + k];
    }
    return reply;
  }
  const Chip& chip = state_.chip;
  if (!chip.present) return reply;
  for (std::size_t k = 0; k < reply.size(); ++k) reply[k] = from + k < chip.rom.size() ? chip.rom[from + k] : chip.fill;
  return reply;
}

// --- port-access batches ---

bool SimulatedWriter::IsPortBatch(const link::Packet& packet) {
  // [used - 1, 0, records...], zero after the used bytes; command packets that could look
  // alike carry a zero or an impossible record where the first record would stand.
  if (packet[1] != 0 || packet[0] < 2) return false;
  const std::size_t used = std::size_t{packet[0]} + 1;
  if (used > packet.size()) return false;
  std::size_t pos = 2;
  while (pos < used) {
    const std::uint8_t op = packet[pos];
    std::size_t size = 0;
    if (op == 0x01) {
      size = 2;
    } else if (op == 0x09 || op == 0x0C) {
      if (pos + 1 >= used) return false;
      const std::size_t count = packet[pos + 1];
      if (op == 0x09 && count < 2) return false;
      if (op == 0x0C && count < 4) return false;
      size = 2 + (op == 0x09 ? count : (count + 1) / 2);
    } else if (op == 0x02 || (op & 0x0F) == 0x04) {
      size = 1;
    } else {
      return false;
    }
    pos += size;
  }
  if (pos != used) return false;
  return std::all_of(packet.begin() + static_cast<std::ptrdiff_t>(used), packet.end(),
                     [](std::uint8_t b) { return b == 0; });
}

void SimulatedWriter::RunPortBatch(const link::Packet& packet) {
  const std::size_t used = std::size_t{packet[0]} + 1;
  std::size_t pos = 2;
  while (pos < used) {
    const std::uint8_t op = packet[pos];
    if (op == 0x01) {
      portData_ = packet[pos + 1];
      pos += 2;
    } else if (op == 0x09) {
      const std::size_t count = packet[pos + 1];
      portData_ = packet[pos + 1 + count];
      pos += 2 + count;
    } else if (op == 0x0C) {
      pos += 2 + (std::size_t{packet[pos + 1]} + 1) / 2;
    } else if (op == 0x02) {
      // A loop-back on the port: the data lines' low nibble comes back on status bits 3 to 6,
      // and bit 7 (not busy) is set.
      QueueStatus(static_cast<std::uint8_t>(0x80 | ((portData_ & 0x0F) << 3)));
      pos += 1;
    } else {
      pos += 1;
    }
  }
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
  rolling.on = header[at::kRollingRecord] != 0 || header[at::kRollingRecord + 1] != 0;
  if (!rolling.on) return rolling;
  rolling.bytePerWord = EffectiveChipType() == kBytePerWordChip;
  rolling.address = Le16(&header[at::kRollingRecord + 2]);
  rolling.length = Le16(&header[at::kRollingRecord + 4]);
  const std::size_t valueSize = rolling.bytePerWord ? (rolling.length + 1) / 2 * 2 : std::size_t{rolling.length} * 2;
  rolling.valueAt = at::kRollingRecord + kRollingValueOffset;
  rolling.stepAt = rolling.valueAt + valueSize;
  const std::size_t orderAt = rolling.stepAt + valueSize;
  if (rolling.length == 0 || orderAt + 2 > kRollingRecordLimit) return rolling;
  rolling.lowWordFirst = header[orderAt] == 1;
  rolling.valid = (std::size_t{rolling.address} + rolling.length) * 2 <= state_.job.body.size();
  return rolling;
}

namespace {

// Where the rolling value goes in the ROM: (byte offset, byte) for each byte it writes.
std::vector<std::pair<std::uint32_t, std::uint8_t>> RollingPlacement(const std::array<std::uint8_t, 128>& header,
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
  const std::vector<std::uint8_t>& rom = state_.chip.rom;
  const auto used = std::find_if(rom.begin(), rom.end(), [](std::uint8_t b) { return b != kBlank; });
  if (used == rom.end()) return true;
  const auto word = static_cast<std::uint32_t>((used - rom.begin()) / 2);
  AddMessage(message::kBlankCheckFail, {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)});
  return false;
}

bool SimulatedWriter::Erase() {
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
    // Word by word (byte by byte for the one-byte model) with carry, wrapping at the top.
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
  }
  changed_ = true;
  return true;
}

bool SimulatedWriter::Verify() {
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
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (!skip[i] && chip.rom[i] != expected[i]) {
      const auto word = static_cast<std::uint32_t>(i / 2);
      AddMessage(message::kVerifyFail, {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)});
      return false;
    }
  }
  return true;
}

// --- chip actions ---

void SimulatedWriter::AddMessage(std::string_view text, const std::vector<std::uint8_t>& arguments) {
  for (std::size_t from = 0; from < text.size(); from += 15) {
    link::Reply reply{};
    reply[0] = st::kMessageText;
    const std::string_view chunk = text.substr(from, 15);
    std::copy(chunk.begin(), chunk.end(), reply.begin() + 1);
    script_.push_back(reply);
  }
  link::Reply reply{};
  reply[0] = st::kMessageArguments;
  std::copy_n(arguments.begin(), std::min<std::size_t>(arguments.size(), 15), reply.begin() + 1);
  script_.push_back(reply);
}

void SimulatedWriter::AddStatus(std::uint8_t status) { script_.push_back(StatusReply(status)); }

void SimulatedWriter::BuildChipAction(std::uint8_t code, const link::Packet& packet) {
  const Faults& faults = settings_.faults;
  if (!faults.messageText.empty()) {
    AddMessage(faults.messageText, {faults.messageArguments.begin(), faults.messageArguments.end()});
  }
  const bool programs = code == cmd::kProgramChip || code == cmd::kBlankCheckChip || code == cmd::kAutoProgramChip;
  if (programs && state_.chip.swapPending && settings_.insertNewChip) InsertNewChip();

  const auto fail = [this](std::string_view text) {
    AddMessage(text);
    AddStatus(st::kFailed);
  };
  if (!state_.chip.present) return fail(message::kNoChip);
  // Reading a chip needs no job; acting on it needs the job the program has loaded.
  const bool readCheck = code == cmd::kCheckBeforeRead || code == cmd::kSecurityCheck;
  if (!readCheck) {
    if (!state_.job.complete) return fail(message::kNoJob);
    const auto& header = state_.job.header;
    const auto jobRomBytes = static_cast<std::uint16_t>((Le16(&header[at::kLastRomWord]) + 1U) * 2U);
    const std::uint16_t romBytes = Le16(&packet[1]);
    const std::uint16_t checksum = Le16(&packet[3]);
    if (romBytes != jobRomBytes || checksum != Le16(&header[at::kChecksum])) return fail(message::kJobDiffers);
  }
  if (!ChipTypeMatches()) return fail(message::kChipTypeError);
  FitChipToJob();

  bool ok = false;
  rollingMessage_.clear();
  switch (code) {
    case cmd::kBlankCheckChip:
      // The button is "Erase" for flash chips, and the Writer erases them.
      if (ErasableChip()) {
        ok = Erase();
        if (ok) AddMessage(message::kEraseOk);
      } else {
        ok = BlankCheck();
        if (ok) AddMessage(message::kBlankCheckOk);
      }
      break;
    case cmd::kProgramChip:
      ok = Program();
      if (ok) AddMessage(message::kProgramOk);
      break;
    case cmd::kVerifyChip:
      ok = Verify();
      if (ok) AddMessage(message::kVerifyOk);
      break;
    case cmd::kAutoProgramChip:
      ok = (ErasableChip() ? Erase() : BlankCheck()) && Program() && Verify();
      if (ok) AddMessage(message::kAutoProgramOk);
      break;
    case cmd::kCheckBeforeRead:
      ok = true;
      break;
    case cmd::kSecurityCheck:
      ok = !state_.chip.secured;
      break;
    default:
      break;
  }
  if (!rollingMessage_.empty() && (ok || code == cmd::kAutoProgramChip)) AddMessage(rollingMessage_, rollingArguments_);
  AddStatus(ok ? st::kOk : st::kFailed);
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
    firmware.driverSignature = kDriverSignature;
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
