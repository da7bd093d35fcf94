// Port-access emulation: the table of eight port operations through which printer-port routines
// do all their input and output, its direct-port defaults, and the emulation that packs port
// writes into 64-byte USB packets once the USB link is up.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "link/command_codes.h"

namespace vx3::link {

class WriterLink;

// The printer port: data, status and control registers from the base address up.
inline constexpr std::uint16_t kPortBase = 0x378;
inline constexpr std::uint16_t kDataPort = kPortBase;
inline constexpr std::uint16_t kStatusPort = kPortBase + 1;
inline constexpr std::uint16_t kControlPort = kPortBase + 2;

// Operation codes of the emulation packet's records (low nibble of a record's first byte).
namespace port_op {
inline constexpr std::uint8_t kWriteData = 0x01;
inline constexpr std::uint8_t kReadStatus = 0x02;
inline constexpr std::uint8_t kWriteControl = 0x04;
inline constexpr std::uint8_t kRun = 0x08;  // added to a code: the record carries a count byte
}  // namespace port_op

// The emulation packet: [used bytes - 1, 0, records...].
inline constexpr std::size_t kPortPacketHeaderSize = 2;

// The eight slots, in their order.
struct PortAccessTable {
  std::function<std::uint8_t(std::uint16_t port)> readByte;
  std::function<void(std::uint16_t port, std::uint8_t value)> writeByte;
  std::function<std::uint8_t(std::uint16_t port)> readByte2;
  std::function<void(std::uint16_t port, std::uint8_t value)> writeByte2;
  std::function<void()> flush;
  std::function<int(std::uint16_t port, std::uint16_t value)> writeWord;
  std::function<int(std::uint16_t port, std::uint32_t value)> writeDword;
  std::function<void()> close;
  std::uint16_t basePort = kPortBase;
};

// Points the table at direct port access with base 0x378. This program reaches no port
// directly on any platform it runs on, so reads give 0 and writes do nothing.
void InstallDirectPortAccess(PortAccessTable& table);

// One pending emulation packet for the link.
class UsbPortEmulation {
 public:
  explicit UsbPortEmulation(WriterLink& link) : link_(link) {}

  // Points the table's slots here, sets the base 0x378 and empties the packet.
  void Install(PortAccessTable& table);

  // Data-port writes become [0x01, value] or a run [0x09, n, values...]; control-port writes
  // (low four bits) [(value << 4) | 0x04], from the fourth in a row a run [0x0C, n, nibbles...].
  // Other ports are ignored. A full packet is sent at once.
  void WriteByte(std::uint16_t port, std::uint8_t value);
  // The status port: [0x02] is appended, the packet sent, one 16-byte reply read; its byte 0 is
  // the value (0 when the read fails). Other ports read 0.
  std::uint8_t ReadByte(std::uint16_t port);
  // Sends the pending packet when it holds any record, then empties it.
  void Flush();

  // The used bytes of the pending packet (header included), for inspection.
  std::span<const std::uint8_t> Pending() const { return {packet_.data(), used_}; }

 private:
  enum class Record { None, Data, Control };

  void Empty();
  void StartRecord(std::uint8_t firstByte, Record kind);
  void WriteData(std::uint8_t value);
  void WriteControl(std::uint8_t nibble);

  WriterLink& link_;
  Packet packet_{};
  std::size_t used_ = kPortPacketHeaderSize;
  Record record_ = Record::None;
  std::size_t recordStart_ = 0;  // offset of the open record's first byte
  std::size_t recordCount_ = 0;  // values in the open record
};

}  // namespace vx3::link
