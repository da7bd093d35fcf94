// The Writer's side of the USB protocol, written down here from the protocol's description and
// from nothing the program compiles: packet sizes, command codes, reply status values, the job
// header fields the Writer reads, the update files' words and the port-access batch records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vx3::sim::protocol {

inline constexpr std::size_t kPacketSize = 64;  // every packet the host writes
inline constexpr std::size_t kReplySize = 16;   // every reply the Writer gives
inline constexpr std::size_t kBlockSize = kPacketSize;

using Packet = std::array<std::uint8_t, kPacketSize>;
using Reply = std::array<std::uint8_t, kReplySize>;

// The one Writer on the bus.
inline constexpr int kDevice = 0;

// Byte 0 of a command packet.
namespace code {
inline constexpr std::uint8_t kProgramJobOrDriver = 0x01;  // byte 3 = 0: EEPROM job; else driver update
inline constexpr std::uint8_t kVerifyJob = 0x02;
inline constexpr std::uint8_t kStatusQuery = 0x04;
inline constexpr std::uint8_t kVerifyDriver = 0x05;
inline constexpr std::uint8_t kVersionQuery = 0x06;
inline constexpr std::uint8_t kProgramIap = 0x07;
inline constexpr std::uint8_t kVerifyIap = 0x08;
inline constexpr std::uint8_t kIapStatus = 0x09;
inline constexpr std::uint8_t kReset = 0x0A;
inline constexpr std::uint8_t kCheckDriver = 0x0B;
inline constexpr std::uint8_t kReadHeader = 0x10;
inline constexpr std::uint8_t kReadChip = 0x80;
inline constexpr std::uint8_t kProgramChip = 0x81;
inline constexpr std::uint8_t kVerifyChip = 0x82;
inline constexpr std::uint8_t kBlankCheck = 0x83;
inline constexpr std::uint8_t kAutoProgram = 0x84;
inline constexpr std::uint8_t kCheckBeforeRead = 0x85;
inline constexpr std::uint8_t kReadChipForLoadOtp = 0xC0;
inline constexpr std::uint8_t kSecurityCheck = 0xC1;
}  // namespace code

// Byte 0 of a reply to a command or a data block.
namespace status {
inline constexpr std::uint8_t kFailed = 0;  // not ready, failed, or a packet the Writer cannot take
inline constexpr std::uint8_t kOk = 1;
inline constexpr std::uint8_t kText = 2;       // chip actions: bytes 1-15 continue a message text
inline constexpr std::uint8_t kArguments = 3;  // chip actions: bytes 1-15 are its arguments
}  // namespace status

// A message text travels 15 bytes per status-2 reply; its arguments are the 15 bytes of one
// status-3 reply.
inline constexpr std::size_t kTextPerReply = 15;

// Command packet fields: [code, argument low, argument high, byte 3, ...].
inline constexpr std::size_t kArgumentAt = 1;
inline constexpr std::size_t kUpdateChecksumAt = 3;  // update commands: bytes 3-4, low byte first
// Chip actions: ROM size in bytes at 1-2, image checksum at 3-4, both low byte first.
inline constexpr std::size_t kActionRomBytesAt = 1;
inline constexpr std::size_t kActionChecksumAt = 3;

// The 0x04 query carries these bytes around the PC's date (year - 2000 at 5, month at 6).
inline constexpr std::array<std::uint8_t, 4> kStatusQueryMarks = {0xF5, 0x5F, 0xA1, 0x45};
inline constexpr std::size_t kStatusQueryMarksAt = 1;
inline constexpr std::size_t kStatusQueryYearAt = 5;
inline constexpr std::size_t kStatusQueryMonthAt = 6;
inline constexpr std::size_t kStatusQueryEndAt = 7;
inline constexpr std::uint8_t kStatusQueryEnd = 0x46;
// The 0x06 query carries the off-line default mode in byte 1.
inline constexpr std::size_t kOfflineModeAt = 1;
inline constexpr std::uint8_t kOfflineModeFun0 = 0xA5;
inline constexpr std::uint8_t kOfflineModeFun6 = 0x5A;
// Query replies, big-endian words: version at 0, date at 2, host level at 4; the 0x04 reply
// has the Writer's clock (two-digit year, month) at 6 and 7.
inline constexpr std::size_t kReplyVersionAt = 0;
inline constexpr std::size_t kReplyDateAt = 2;
inline constexpr std::size_t kReplyHostLevelAt = 4;
inline constexpr std::size_t kReplyYearAt = 6;
inline constexpr std::size_t kReplyMonthAt = 7;

// The EEPROM job: a 128-byte header in two blocks, then the program body.
inline constexpr std::size_t kHeaderSize = 128;
inline constexpr std::size_t kHeaderBlocks = kHeaderSize / kBlockSize;
// The job header fields the Writer reads.
namespace header {
inline constexpr std::size_t kRolling = 0;  // rolling record: on, 0, address, length, value, step, order
inline constexpr std::size_t kRollingAddress = 2;
inline constexpr std::size_t kRollingLength = 4;
inline constexpr std::size_t kRollingValue = 6;
inline constexpr std::size_t kVerifyWithoutRolling = 26;  // the record must end before it
inline constexpr std::size_t kChipName = 96;
inline constexpr std::size_t kChipNameSize = 16;
inline constexpr std::size_t kProgramType = 123;
inline constexpr std::size_t kLastRomWord = 124;  // romWords - 1, low byte first
inline constexpr std::size_t kChecksum = 126;     // the image checksum, low byte first
}  // namespace header
// The EEPROM holds the header and up to 256 KB of body and option block.
inline constexpr std::uint32_t kMaxJobBlocks = kHeaderBlocks + 4096 + 1;
// A firmware update is at most 255 blocks (just under 16 KB, far more than any firmware file).
// A larger count is no update: this also keeps a port batch, whose byte 1 is 0 and so gives a
// count of 256 or more, from being taken for one.
inline constexpr std::uint32_t kMaxUpdateBlocks = 255;
// The header read-back is eight requests of 16 bytes.
inline constexpr std::uint32_t kHeaderReadRequests = kHeaderSize / kReplySize;

// Words of the update files, big-endian.
inline constexpr std::size_t kIapVersionAt = 0xDF0;  // also the end of what the IAP checksum covers
inline constexpr std::size_t kDriverVersionAt = 0x1000;
inline constexpr std::size_t kDriverDateAt = 0x1002;
inline constexpr std::size_t kDriverSignatureAt = 0x1004;
inline constexpr std::uint16_t kDriverSignature = 0xA145;
inline constexpr std::uint8_t kUpdateFill = 0xFF;  // past an update file's end

// Port-access batches: [used bytes - 1, 0, records...]; a record's first byte holds the
// operation in its low nibble, 0x08 added for a run with a count byte.
namespace port {
inline constexpr std::size_t kFirstRecordAt = 2;
inline constexpr std::uint8_t kWriteData = 0x01;
inline constexpr std::uint8_t kReadStatus = 0x02;
inline constexpr std::uint8_t kWriteControl = 0x04;
inline constexpr std::uint8_t kRun = 0x08;
inline constexpr std::uint8_t kWriteDataRun = kWriteData | kRun;
inline constexpr std::uint8_t kWriteControlRun = kWriteControl | kRun;
inline constexpr std::uint8_t kOperationMask = 0x0F;
}  // namespace port

inline std::uint16_t Le16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

// The command's name for the trace, or empty for a code the Writer does not know.
std::string_view CommandName(std::uint8_t code);

}  // namespace vx3::sim::protocol
