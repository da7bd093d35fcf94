// The program's side of the reference exchanges: it sends exactly the packets of each exchange
// and understands the replies, over a scripted bridge.
#include <gtest/gtest.h>

#include "link/command_codes.h"
#include "support/fake_bridge.h"
#include "support/reference_exchanges.h"
#include "writer_ops/chip_actions.h"
#include "writer_ops/firmware_update.h"
#include "writer_ops/progress_window.h"

namespace vx3::link {
namespace {

using testing::FakeLink;
using testing::ReferenceExchange;

const ReferenceExchange& Exchange(const std::string& name) {
  static const auto exchanges = testing::ReadReferenceExchanges(testing::ReferenceExchangesFile());
  static const ReferenceExchange none;
  const auto found = exchanges.find(name);
  if (found == exchanges.end()) {
    ADD_FAILURE() << "no exchange " << name;
    return none;
  }
  return found->second;
}

// A rig whose bridge answers with the exchange's replies.
struct ScriptedRig {
  explicit ScriptedRig(const ReferenceExchange& exchange) {
    for (const auto& reply : exchange.Replies()) {
      Reply bytes{};
      std::copy(reply.begin(), reply.end(), bytes.begin());
      rig.bridge.QueueReply(bytes);
    }
    EXPECT_TRUE(rig.Connect());
  }
  FakeLink rig;
};

TEST(LinkReferenceExchanges, EepromProgramCommandPacket) {
  const ReferenceExchange& exchange = Exchange("eeprom_program_command");
  ScriptedRig scripted(exchange);
  ASSERT_TRUE(scripted.rig.link.SendWriterCommand(command::kProgramEeprom, 130));
  EXPECT_EQ(scripted.rig.bridge.written, exchange.HostPackets());
}

struct ChipActionCase {
  const char* exchange;
  std::uint8_t action;
  bool ok;
  const char* shown;
};

class LinkChipActionExchanges : public ::testing::TestWithParam<ChipActionCase> {};

TEST_P(LinkChipActionExchanges, SendsEveryRoundAndShowsTheMessage) {
  const ReferenceExchange& exchange = Exchange(GetParam().exchange);
  ScriptedRig scripted(exchange);
  FakeLink& rig = scripted.rig;
  EXPECT_EQ(writer_ops::ChipAction(rig.services(), GetParam().action, {256, 0x1234}), GetParam().ok);
  EXPECT_EQ(rig.bridge.written, exchange.HostPackets());
  EXPECT_EQ(rig.view.status, GetParam().shown);
  EXPECT_EQ(rig.bridge.pendingReplies(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, LinkChipActionExchanges,
    ::testing::Values(ChipActionCase{"auto_program_with_message", command::kAutoProgramChip, false,
                                     "Blank check fail at 0000\r\n"},
                      ChipActionCase{"blank_check_ok", command::kBlankCheckChip, true, "Blank check OK\r\n"}),
    [](const auto& info) { return std::string(info.param.exchange); });

TEST(LinkReferenceExchanges, HeaderReadBack) {
  const ReferenceExchange& exchange = Exchange("header_read_back");
  ScriptedRig scripted(exchange);
  writer_ops::EepromHeader header;
  ASSERT_TRUE(writer_ops::ReadBackHeader(scripted.rig.services(), command::kReadHeader, header));
  EXPECT_EQ(scripted.rig.bridge.written, exchange.HostPackets());
  std::vector<std::uint8_t> expected;
  for (const auto& reply : exchange.Replies()) expected.insert(expected.end(), reply.begin(), reply.end());
  EXPECT_EQ(std::vector<std::uint8_t>(header.bytes.begin(), header.bytes.end()), expected);
}

struct QueryCase {
  const char* exchange;
  std::uint8_t code;
  std::uint8_t offlineFunction;
  std::uint16_t version;
};

class LinkQueryExchanges : public ::testing::TestWithParam<QueryCase> {};

TEST_P(LinkQueryExchanges, SendsTheQueryAndReadsItsWords) {
  const ReferenceExchange& exchange = Exchange(GetParam().exchange);
  ScriptedRig scripted(exchange);
  FakeLink& rig = scripted.rig;
  rig.clock.Set(2031, 1, 15, 10, 0, 0);
  writer_ops::ProgressWindow progress(rig.clock);
  writer_ops::FirmwareState state;
  const writer_ops::FirmwareUpdate update{rig.services(), progress, rig.clock, state, rig.dir.path(), "VX3A1234",
                                          GetParam().offlineFunction};
  std::uint16_t version = 0;
  std::uint16_t date = 0xFFFF;
  ASSERT_TRUE(writer_ops::QueryWriter(update, GetParam().code, version, &date)) << rig.view.status;
  EXPECT_EQ(rig.bridge.written, exchange.HostPackets());
  EXPECT_EQ(version, GetParam().version);
  EXPECT_EQ(date, 0);
  EXPECT_EQ(state.writerHostLevel, kHostLevel);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, LinkQueryExchanges,
                         ::testing::Values(QueryCase{"status_query_january_2031", command::kStatusQuery, 0x5A, 0x0100},
                                           QueryCase{"version_query_fun6", command::kVersionQuery, 0x5A, 0x0100}),
                         [](const auto& info) { return std::string(info.param.exchange); });

}  // namespace
}  // namespace vx3::link
