// The port-access table: direct-port defaults before a connect, and the USB emulation's packet
// with its data, control and status records, runs and flushes.
#include <gtest/gtest.h>

#include "link/port_access.h"
#include "support/fake_bridge.h"

namespace vx3::link {
namespace {

using testing::FakeLink;
using Bytes = std::vector<std::uint8_t>;

// A whole 64-byte packet: the given bytes, zero after them.
Bytes PacketOf(Bytes bytes) {
  bytes.resize(kPacketSize, 0);
  return bytes;
}

class PortEmulationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig_.Connect()); }
  PortAccessTable& table() { return rig_.link.portAccess(); }
  const std::vector<Bytes>& sent() const { return rig_.bridge.written; }

  FakeLink rig_;
};

TEST(PortAccessDefaultsTest, BeforeAConnectNothingReachesTheWriter) {
  FakeLink rig;
  PortAccessTable& table = rig.link.portAccess();
  EXPECT_EQ(table.basePort, 0x378);
  table.writeByte(kDataPort, 0x55);
  table.writeByte2(kControlPort, 0x01);
  table.flush();
  EXPECT_EQ(table.readByte(kStatusPort), 0);
  EXPECT_EQ(table.readByte2(kStatusPort), 0);
  EXPECT_EQ(table.writeWord(kDataPort, 0x1234), 0);
  EXPECT_EQ(table.writeDword(kDataPort, 0x12345678), 0);
  table.close();
  EXPECT_TRUE(rig.bridge.calls.empty());
}

TEST_F(PortEmulationTest, TwoDataWritesMakeARun) {
  table().writeByte(kDataPort, 0x55);
  table().writeByte(kDataPort, 0xAA);
  table().flush();
  ASSERT_EQ(sent().size(), 1U);
  EXPECT_EQ(sent()[0], PacketOf({0x05, 0x00, 0x09, 0x02, 0x55, 0xAA}));
}

TEST_F(PortEmulationTest, StatusReadWithNothingPendingSendsThreeBytesAndReturnsReplyByteZero) {
  rig_.bridge.QueueReply({0x87, 0x11});
  EXPECT_EQ(table().readByte(kStatusPort), 0x87);
  ASSERT_EQ(sent().size(), 1U);
  EXPECT_EQ(sent()[0], PacketOf({0x02, 0x00, 0x02}));
  // The second slot is the same operation.
  rig_.bridge.QueueReply({0x42});
  EXPECT_EQ(table().readByte2(kStatusPort), 0x42);
}

TEST_F(PortEmulationTest, StatusReadSendsWhatIsPendingWithIt) {
  rig_.bridge.QueueReply({0x90});
  table().writeByte(kDataPort, 0x12);
  table().writeByte(kControlPort, 0x05);
  EXPECT_EQ(table().readByte(kStatusPort), 0x90);
  ASSERT_EQ(sent().size(), 1U);
  EXPECT_EQ(sent()[0], PacketOf({0x05, 0x00, 0x01, 0x12, 0x54, 0x02}));
}

struct ControlCase {
  const char* name;
  Bytes values;
  Bytes records;
};

class ControlRunTest : public PortEmulationTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(ControlRunTest, ControlWritesPackTheirLowNibbles) {
  for (const std::uint8_t value : GetParam().values) table().writeByte(kControlPort, value);
  table().flush();
  Bytes expected = {static_cast<std::uint8_t>(GetParam().records.size() + 1), 0x00};
  expected.insert(expected.end(), GetParam().records.begin(), GetParam().records.end());
  ASSERT_EQ(sent().size(), 1U);
  EXPECT_EQ(sent()[0], PacketOf(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ControlRunTest,
    ::testing::Values(
        ControlCase{"One", {0x01}, {0x14}}, ControlCase{"Three", {0x01, 0x02, 0x03}, {0x14, 0x24, 0x34}},
        ControlCase{"FourBecomeARun", {0x01, 0x02, 0x03, 0x04}, {0x0C, 0x04, 0x21, 0x43}},
        ControlCase{"FifthOpensALowNibble", {0x01, 0x02, 0x03, 0x04, 0x05}, {0x0C, 0x05, 0x21, 0x43, 0x05}},
        ControlCase{"SixthFillsTheHighNibble", {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, {0x0C, 0x06, 0x21, 0x43, 0x65}},
        ControlCase{"OnlyTheLowFourBitsCount", {0xF7, 0xA8}, {0x74, 0x84}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortEmulationTest, AnotherPortOrAFlushEndsARecord) {
  table().writeByte(kDataPort, 0x01);
  table().writeByte(kControlPort, 0x03);
  table().writeByte(kDataPort, 0x02);
  table().writeByte(0x3BC, 0x99);  // no port of this table: ignored
  table().writeByte(kDataPort, 0x03);
  table().flush();
  table().writeByte(kDataPort, 0x04);
  table().flush();
  ASSERT_EQ(sent().size(), 2U);
  EXPECT_EQ(sent()[0], PacketOf({0x08, 0x00, 0x01, 0x01, 0x34, 0x09, 0x02, 0x02, 0x03}));
  EXPECT_EQ(sent()[1], PacketOf({0x03, 0x00, 0x01, 0x04}));
}

TEST_F(PortEmulationTest, OtherOperationsSendNothing) {
  EXPECT_EQ(table().readByte(kDataPort), 0);
  EXPECT_EQ(table().readByte(kControlPort), 0);
  EXPECT_EQ(table().writeWord(kDataPort, 0x1234), 0);
  EXPECT_EQ(table().writeDword(kDataPort, 0x12345678), 0);
  table().flush();  // nothing pending: nothing sent
  table().close();
  EXPECT_TRUE(sent().empty());
}

TEST_F(PortEmulationTest, AFullPacketGoesOutAtOnce) {
  // One run of 60 values fills the packet: 2 header bytes, code, count, 60 values.
  for (int i = 0; i < 60; ++i) table().writeByte(kDataPort, static_cast<std::uint8_t>(i));
  ASSERT_EQ(sent().size(), 1U);
  Bytes expected = {63, 0x00, 0x09, 60};
  for (int i = 0; i < 60; ++i) expected.push_back(static_cast<std::uint8_t>(i));
  EXPECT_EQ(sent()[0], expected);
  EXPECT_EQ(rig_.link.portEmulation().Pending().size(), kPortPacketHeaderSize);
}

TEST_F(PortEmulationTest, ADataRecordAtTheLastBytesMovesItsRunToTheNextPacket) {
  // Eleven groups of three control singles and a data record (5 bytes each), then a control
  // run of four: 2 + 55 + 4 = 61 bytes used.
  for (int group = 0; group < 11; ++group) {
    for (std::uint8_t value = 1; value <= 3; ++value) table().writeByte(kControlPort, value);
    table().writeByte(kDataPort, 0x00);
  }
  for (std::uint8_t value = 1; value <= 4; ++value) table().writeByte(kControlPort, value);
  ASSERT_EQ(rig_.link.portEmulation().Pending().size(), 61U);
  table().writeByte(kDataPort, 0xA1);  // [0x01, 0xA1]: 63 bytes used
  ASSERT_TRUE(sent().empty());
  // Becoming a run would need two bytes more than the packet has: the packet goes out as it
  // is and the value starts the next one, so both arrive in their order.
  table().writeByte(kDataPort, 0xA2);
  ASSERT_EQ(sent().size(), 1U);
  EXPECT_EQ(sent()[0][0], 62);
  EXPECT_EQ(sent()[0][57], 0x0C);
  EXPECT_EQ(sent()[0][58], 0x04);
  EXPECT_EQ(sent()[0][61], 0x01);
  EXPECT_EQ(sent()[0][62], 0xA1);
  EXPECT_EQ(sent()[0][63], 0x00);
  table().flush();
  ASSERT_EQ(sent().size(), 2U);
  EXPECT_EQ(sent()[1], PacketOf({0x03, 0x00, 0x01, 0xA2}));
}

TEST_F(PortEmulationTest, ANewRecordAtSixtyThreeBytesStartsTheNextPacket) {
  for (int group = 0; group < 11; ++group) {
    for (std::uint8_t value = 1; value <= 3; ++value) table().writeByte(kControlPort, value);
    table().writeByte(kDataPort, 0x00);
  }
  for (std::uint8_t value = 1; value <= 4; ++value) table().writeByte(kControlPort, value);
  table().writeByte(kDataPort, 0xA1);  // 63 bytes used
  rig_.bridge.QueueReply({0x5A});
  EXPECT_EQ(table().readByte(kStatusPort), 0x5A);
  ASSERT_EQ(sent().size(), 2U);
  EXPECT_EQ(sent()[0][0], 62);
  EXPECT_EQ(sent()[1], PacketOf({0x02, 0x00, 0x02}));
}

TEST_F(PortEmulationTest, AFailedStatusReadGivesZero) {
  EXPECT_EQ(table().readByte(kStatusPort), 0);  // no reply scripted
  EXPECT_EQ(rig_.view.status, "Err: USB read error on transfer !!!\r\n");
}

TEST_F(PortEmulationTest, AConnectEmptiesThePendingPacket) {
  table().writeByte(kDataPort, 0x01);
  rig_.link.ClearConnected();
  ASSERT_TRUE(rig_.Connect());
  table().writeByte(kDataPort, 0x02);
  table().flush();
  ASSERT_EQ(sent().size(), 1U);
  EXPECT_EQ(sent()[0], PacketOf({0x03, 0x00, 0x01, 0x02}));
}

}  // namespace
}  // namespace vx3::link
