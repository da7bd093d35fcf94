// The port-access table's two fillings: direct ports (nothing here reaches one) and the USB
// emulation with its pending packet.
#include "link/port_access.h"

#include <algorithm>

#include "link/writer_link.h"

namespace vx3::link {

void InstallDirectPortAccess(PortAccessTable& table) {
  table.readByte = [](std::uint16_t) -> std::uint8_t { return 0; };
  table.writeByte = [](std::uint16_t, std::uint8_t) {};
  table.readByte2 = table.readByte;
  table.writeByte2 = table.writeByte;
  table.flush = [] {};
  table.writeWord = [](std::uint16_t, std::uint16_t) { return 0; };
  table.writeDword = [](std::uint16_t, std::uint32_t) { return 0; };
  table.close = [] {};
  table.basePort = kPortBase;
}

void UsbPortEmulation::Install(PortAccessTable& table) {
  table.readByte = [this](std::uint16_t port) { return ReadByte(port); };
  table.writeByte = [this](std::uint16_t port, std::uint8_t value) { WriteByte(port, value); };
  table.readByte2 = table.readByte;
  table.writeByte2 = table.writeByte;
  table.flush = [this] { Flush(); };
  // Word and double-word writes have no emulated form.
  table.writeWord = [](std::uint16_t, std::uint16_t) { return 0; };
  table.writeDword = [](std::uint16_t, std::uint32_t) { return 0; };
  table.close = [] {};
  table.basePort = kPortBase;
  Empty();
}

void UsbPortEmulation::Empty() {
  packet_.fill(0);
  used_ = kPortPacketHeaderSize;
  record_ = Record::None;
  recordStart_ = 0;
  recordCount_ = 0;
}

void UsbPortEmulation::Flush() {
  if (used_ > kPortPacketHeaderSize) {
    packet_[0] = static_cast<std::uint8_t>(used_ - 1);
    packet_[1] = 0;
    link_.UsbWrite(packet_);
  }
  Empty();
}

void UsbPortEmulation::StartRecord(std::uint8_t firstByte, Record kind) {
  // A record of its own needs room for at least two bytes.
  if (used_ >= kPacketSize - 1) Flush();
  recordStart_ = used_;
  packet_[used_++] = firstByte;
  record_ = kind;
  recordCount_ = 1;
}

void UsbPortEmulation::WriteData(std::uint8_t value) {
  if (record_ == Record::Data && recordCount_ == 1 && used_ + 2 <= kPacketSize) {
    // The second write in a row: [0x01, first] becomes [0x09, 2, first, second].
    packet_[recordStart_] = port_op::kWriteData | port_op::kRun;
    packet_[recordStart_ + 2] = packet_[recordStart_ + 1];
    packet_[recordStart_ + 1] = 2;
    packet_[recordStart_ + 3] = value;
    used_ += 2;
    recordCount_ = 2;
    return;
  }
  if (record_ == Record::Data && recordCount_ >= 2 && used_ < kPacketSize) {
    packet_[recordStart_ + 1] = static_cast<std::uint8_t>(++recordCount_);
    packet_[used_++] = value;
    return;
  }
  // A new record; also where a run could not grow inside this packet, so the values still go
  // out in their order, in the next packet.
  if (record_ == Record::Data) Flush();
  StartRecord(port_op::kWriteData, Record::Data);
  packet_[used_++] = value;
}

void UsbPortEmulation::WriteControl(std::uint8_t nibble) {
  if (record_ == Record::Control && recordCount_ < 3 && used_ < kPacketSize) {
    packet_[used_++] = static_cast<std::uint8_t>((nibble << 4) | port_op::kWriteControl);
    ++recordCount_;
    return;
  }
  if (record_ == Record::Control && recordCount_ == 3 && used_ < kPacketSize) {
    // The fourth write in a row turns the three single bytes into a run of four nibbles.
    const std::uint8_t first = packet_[recordStart_] >> 4;
    const std::uint8_t second = packet_[recordStart_ + 1] >> 4;
    const std::uint8_t third = packet_[recordStart_ + 2] >> 4;
    packet_[recordStart_] = port_op::kWriteControl | port_op::kRun;
    packet_[recordStart_ + 1] = 4;
    packet_[recordStart_ + 2] = static_cast<std::uint8_t>((second << 4) | first);
    packet_[recordStart_ + 3] = static_cast<std::uint8_t>((nibble << 4) | third);
    used_ = recordStart_ + 4;
    recordCount_ = 4;
    return;
  }
  if (record_ == Record::Control && recordCount_ >= 4) {
    // Odd counts open a new byte (low nibble first); even counts fill its high nibble.
    if (recordCount_ % 2 == 0) {
      if (used_ < kPacketSize) {
        packet_[used_++] = nibble;
        packet_[recordStart_ + 1] = static_cast<std::uint8_t>(++recordCount_);
        return;
      }
    } else {
      packet_[used_ - 1] = static_cast<std::uint8_t>(packet_[used_ - 1] | (nibble << 4));
      packet_[recordStart_ + 1] = static_cast<std::uint8_t>(++recordCount_);
      return;
    }
  }
  if (record_ == Record::Control) Flush();
  StartRecord(static_cast<std::uint8_t>((nibble << 4) | port_op::kWriteControl), Record::Control);
}

void UsbPortEmulation::WriteByte(std::uint16_t port, std::uint8_t value) {
  if (port == kDataPort) {
    WriteData(value);
  } else if (port == kControlPort) {
    WriteControl(static_cast<std::uint8_t>(value & 0x0F));
  } else {
    return;
  }
  if (used_ >= kPacketSize) Flush();
}

std::uint8_t UsbPortEmulation::ReadByte(std::uint16_t port) {
  if (port != kStatusPort) return 0;
  StartRecord(port_op::kReadStatus, Record::None);
  Flush();
  Reply reply{};
  if (link_.UsbRead(reply) == 0) return 0;
  return reply[0];
}

}  // namespace vx3::link
