// The packet framing every Writer exchange shares and the table of command codes: 64-byte
// packets from the program, 16-byte replies from the Writer, byte 0 the code or the status.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vx3::link {

inline constexpr std::size_t kPacketSize = 64;  // program to Writer, every USB_WriteOut
inline constexpr std::size_t kReplySize = 16;   // Writer to program, every USB_ReadIn

using Packet = std::array<std::uint8_t, kPacketSize>;
using Reply = std::array<std::uint8_t, kReplySize>;

// Byte 0 of a command packet: the whole set the program uses.
namespace command {
inline constexpr std::uint8_t kProgramEeprom = 0x01;  // followed by the job's header and body blocks
inline constexpr std::uint8_t kProgramDriver = 0x01;  // update family: checksum in bytes 3 and 4
inline constexpr std::uint8_t kVerifyEeprom = 0x02;
inline constexpr std::uint8_t kStatusQuery = 0x04;  // carries the PC's date
inline constexpr std::uint8_t kVerifyDriver = 0x05;
inline constexpr std::uint8_t kVersionQuery = 0x06;  // carries the off-line default mode
inline constexpr std::uint8_t kProgramIap = 0x07;
inline constexpr std::uint8_t kVerifyIap = 0x08;
inline constexpr std::uint8_t kIapStatusQuery = 0x09;
inline constexpr std::uint8_t kResetWriter = 0x0A;
inline constexpr std::uint8_t kCheckDriver = 0x0B;  // after the reset
inline constexpr std::uint8_t kReadHeader = 0x10;   // the EEPROM header, 16 bytes per request
inline constexpr std::uint8_t kReadChip = 0x80;     // 16 bytes per request
inline constexpr std::uint8_t kProgramChip = 0x81;
inline constexpr std::uint8_t kVerifyChip = 0x82;
inline constexpr std::uint8_t kBlankCheckChip = 0x83;
inline constexpr std::uint8_t kAutoProgramChip = 0x84;
inline constexpr std::uint8_t kCheckBeforeRead = 0x85;
inline constexpr std::uint8_t kReadChipForLoadOtp = 0xC0;  // 16 bytes per request
inline constexpr std::uint8_t kSecurityCheck = 0xC1;       // refused when the chip's code is protected
}  // namespace command

// Byte 0 of a reply after a command or a data block.
namespace status {
inline constexpr std::uint8_t kFailed = 0;  // not ready, or the action failed
inline constexpr std::uint8_t kOk = 1;
inline constexpr std::uint8_t kMessageText = 2;       // chip actions: bytes 1-15 continue a message text
inline constexpr std::uint8_t kMessageArguments = 3;  // chip actions: bytes 1-15 are its arguments
}  // namespace status

// The level of the program's protocol, as the queries carry it.
inline constexpr std::uint16_t kHostLevel = 0xA145;

// A command packet [code, argument low byte, argument high byte, 0], the rest zero.
inline Packet MakeCommandPacket(std::uint8_t code, std::uint16_t argument) {
  Packet packet{};
  packet[0] = code;
  packet[1] = static_cast<std::uint8_t>(argument & 0xFF);
  packet[2] = static_cast<std::uint8_t>(argument >> 8);
  return packet;
}

}  // namespace vx3::link
