// On-line chip actions: the command packets, the message rounds and how the Writer's messages
// are formatted and shown, the header read-back, and every failure at every exchange.
#include <filesystem>
#include <fstream>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "link/command_codes.h"
#include "support/fake_bridge.h"
#include "support/temp_dir.h"
#include "writer_ops/chip_actions.h"

namespace vx3::writer_ops {
namespace {

namespace cmd = link::command;
using testing::FakeLink;
using Bytes = std::vector<std::uint8_t>;

constexpr ChipActionImage kImage{0x2000, 0xBEEF};
const std::string kWriteFailTwice = "Err: USB write data fail !!!\r\nErr: USB write data fail !!!\r\n";
const std::string kReadFailTwice = "Err: USB read error on transfer !!!\r\nErr: USB read data fail !!!\r\n";
const std::string kOtpError = "Error return value in OTP action!!\r\n";

Bytes ChipPacket(std::uint8_t action, const ChipActionImage& image) {
  Bytes packet(64, 0);
  packet[0] = action;
  packet[1] = static_cast<std::uint8_t>(image.romBytes & 0xFF);
  packet[2] = static_cast<std::uint8_t>((image.romBytes >> 8) & 0xFF);
  packet[3] = static_cast<std::uint8_t>(image.checksum & 0xFF);
  packet[4] = static_cast<std::uint8_t>(image.checksum >> 8);
  return packet;
}

std::array<std::uint8_t, 15> Args(std::initializer_list<std::uint8_t> bytes) {
  std::array<std::uint8_t, 15> args{};
  std::copy(bytes.begin(), bytes.end(), args.begin());
  return args;
}

class ChipActionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig_.Connect()); }
  bool Run(std::uint8_t action, const ChipActionImage& image = kImage) {
    return ChipAction(rig_.services(), action, image);
  }

  FakeLink rig_;
};

// --- the command packet ---

class ChipCommandLayoutTest : public ChipActionTest, public ::testing::WithParamInterface<std::uint8_t> {};

TEST_P(ChipCommandLayoutTest, CarriesRomBytesAndChecksumLowByteFirst) {
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(GetParam()));
  Bytes expected(64, 0);
  expected[0] = GetParam();
  expected[1] = 0x00;  // romBytes 0x2000
  expected[2] = 0x20;
  expected[3] = 0xEF;  // checksum 0xBEEF
  expected[4] = 0xBE;
  ASSERT_EQ(rig_.bridge.written.size(), 1U);
  EXPECT_EQ(rig_.bridge.written[0], expected);
  EXPECT_EQ(rig_.view.status, "");
}

INSTANTIATE_TEST_SUITE_P(Actions, ChipCommandLayoutTest,
                         ::testing::Values(cmd::kProgramChip, cmd::kVerifyChip, cmd::kBlankCheckChip,
                                           cmd::kAutoProgramChip, cmd::kCheckBeforeRead, cmd::kSecurityCheck));

TEST_F(ChipActionTest, RomBytesTravelAsSixteenBits) {
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(SendChipCommand(rig_.services(), cmd::kVerifyChip, {0x12345, 0x0102}));
  EXPECT_EQ(rig_.bridge.written[0], ChipPacket(cmd::kVerifyChip, {0x2345, 0x0102}));
}

// --- the rounds ---

TEST_F(ChipActionTest, StatusZeroFailsWithoutAWordOfItsOwn) {
  rig_.bridge.QueueStatus(0);
  EXPECT_FALSE(Run(cmd::kBlankCheckChip));
  EXPECT_EQ(rig_.view.status, "");
  EXPECT_TRUE(rig_.link.connected());
}

TEST_F(ChipActionTest, AutoProgramExchangeWithOneMessage) {
  // The Writer's text in two parts, its arguments, then the failure.
  rig_.bridge.QueueText("Blank check fail at %02X%02X\r\n");
  rig_.bridge.QueueArguments({0x01, 0x2A});
  rig_.bridge.QueueStatus(0);
  EXPECT_FALSE(Run(cmd::kAutoProgramChip));
  EXPECT_EQ(rig_.view.status, "Blank check fail at 012A\r\n");
  // The same command packet, once per reply.
  ASSERT_EQ(rig_.bridge.written.size(), 4U);
  for (const Bytes& packet : rig_.bridge.written) EXPECT_EQ(packet, ChipPacket(cmd::kAutoProgramChip, kImage));
  EXPECT_EQ(rig_.bridge.calls, (std::vector<std::string>{"Load", "OpenDevice", "CloseDevice", "Write", "Read", "Write",
                                                         "Read", "Write", "Read", "Write", "Read"}));
}

TEST_F(ChipActionTest, TextWithoutAZeroByteGivesExactlyFifteenCharacters) {
  rig_.bridge.QueueReply({2, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', '\r', '\n'});
  rig_.bridge.QueueArguments({});
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kProgramChip));
  EXPECT_EQ(rig_.view.status, "ABCDEFGHIJKLM\r\n");
}

TEST_F(ChipActionTest, TextStopsAtTheFirstZeroByte) {
  rig_.bridge.QueueReply({2, 'O', 'K', '\r', '\n', 0, 'x', 'y'});
  rig_.bridge.QueueArguments({});
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kProgramChip));
  EXPECT_EQ(rig_.view.status, "OK\r\n");
}

TEST_F(ChipActionTest, TwoTextRepliesAndTheirArgumentsMakeOneMessage) {
  rig_.bridge.QueueText("Rolling Code : %02X%02X %02X%02X\r\n");
  rig_.bridge.QueueArguments({0x00, 0x01, 0xFF, 0xFE});
  rig_.bridge.QueueText("Program OK\r\n");
  rig_.bridge.QueueArguments({});
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kProgramChip));
  EXPECT_EQ(rig_.view.status, "Rolling Code : 0001 FFFE\r\nProgram OK\r\n");
}

TEST_F(ChipActionTest, ArgumentsWithNothingPendingShowAnEmptyText) {
  rig_.bridge.QueueArguments({0x41});
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kVerifyChip));
  EXPECT_EQ(rig_.view.status, "");
}

TEST_F(ChipActionTest, SuccessAfterTextWithoutArgumentsDropsTheText) {
  rig_.bridge.QueueText("Never shown\r\n");
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kVerifyChip));
  EXPECT_EQ(rig_.view.status, "");
  // The pending text belongs to one action only.
  rig_.bridge.QueueArguments({});
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kVerifyChip));
  EXPECT_EQ(rig_.view.status, "");
}

TEST_F(ChipActionTest, ACharacterSplitBetweenTwoRepliesIsJoined) {
  if (!testing::SystemTextIsUtf8()) GTEST_SKIP() << "the Writer's text is in the ANSI code page here";
  // "程序OK\r\n" in UTF-8, the second character's bytes split over the two replies.
  const std::string text = "ABCDEFGHIJKLM\xE7\xA8\x8B\xE5\xBA\x8F\r\n";
  rig_.bridge.QueueText(text);
  rig_.bridge.QueueArguments({});
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kProgramChip));
  EXPECT_EQ(rig_.view.status, text);
}

TEST_F(ChipActionTest, UnknownStatusIsLoggedAsAnOtpActionError) {
  std::filesystem::create_directory(rig_.dir.path() / "Writer_Log");
  rig_.bridge.QueueText("Half a message");
  rig_.bridge.QueueStatus(4);
  const std::uint32_t event = rig_.reporter.eventNumber();
  EXPECT_FALSE(Run(cmd::kAutoProgramChip));
  EXPECT_EQ(rig_.view.status, kOtpError);
  EXPECT_EQ(rig_.reporter.eventNumber(), event + 1);
  EXPECT_EQ(testing::ReadFileBytes(rig_.reporter.logPath()), std::string("Error return value in OTP action!!") +
                                                                 std::string(text::kLogLineEnd) +
                                                                 std::string(text::kLogLineEnd));
  EXPECT_TRUE(rig_.link.connected());
}

struct TimeLimitCase {
  std::uint8_t action;
  const char* line;
};

class ChipActionTimeLimitTest : public ChipActionTest, public ::testing::WithParamInterface<TimeLimitCase> {};

// The Writer keeps saying it is busy, a second per round: the action ends at its time limit with
// what the Writer said and one error line that names the action, and the log keeps the line
// under a new event.
TEST_P(ChipActionTimeLimitTest, AWriterThatNeverEndsTheActionIsStoppedInTime) {
  std::filesystem::create_directory(rig_.dir.path() / "Writer_Log");
  rig_.clock.tick = std::chrono::seconds(1);
  rig_.bridge.QueueText("busy");
  rig_.bridge.repeatLastReply = true;
  const std::uint32_t event = rig_.reporter.eventNumber();
  EXPECT_FALSE(Run(GetParam().action));
  // What the Writer said and never ended with its arguments comes first, as one line.
  std::string said;
  for (std::size_t round = 0; round < rig_.bridge.written.size(); ++round) said += "busy";
  EXPECT_EQ(rig_.view.status, said + "\r\nErr: " + GetParam().line + "\r\n");
  // Two looks at the clock per round at most: the limit is time, not a count of rounds.
  EXPECT_GE(rig_.bridge.written.size(), kChipActionTimeLimit.count() / 2);
  EXPECT_LE(rig_.bridge.written.size(), kChipActionTimeLimit.count());
  EXPECT_EQ(rig_.reporter.eventNumber(), event + 2);
  EXPECT_NE(testing::ReadFileBytes(rig_.reporter.logPath()).find(GetParam().line), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ChipActionTimeLimitTest,
    ::testing::Values(TimeLimitCase{cmd::kAutoProgramChip, "The Writer did not finish Auto Program in 120 s"},
                      TimeLimitCase{cmd::kProgramChip, "The Writer did not finish Program in 120 s"},
                      TimeLimitCase{cmd::kVerifyChip, "The Writer did not finish Verify in 120 s"},
                      TimeLimitCase{cmd::kBlankCheckChip, "The Writer did not finish Blank Check in 120 s"},
                      TimeLimitCase{cmd::kCheckBeforeRead, "The Writer did not finish Read in 120 s"},
                      TimeLimitCase{cmd::kSecurityCheck, "The Writer did not finish Load OTP in 120 s"}));

// A Writer that talks for a long time but ends within the limit is followed to its end.
TEST_F(ChipActionTest, ALongActionWithinTheLimitEndsNormally) {
  rig_.clock.tick = std::chrono::milliseconds(500);
  for (int i = 0; i < 100; ++i) rig_.bridge.QueueText("Working ...");
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kAutoProgramChip));
  EXPECT_EQ(rig_.view.status, "");
}

TEST_F(ChipActionTest, AVeryLongMessageIsCut) {
  for (int i = 0; i < 400; ++i) rig_.bridge.QueueText("0123456789ABCDE");  // 6,000 characters
  rig_.bridge.QueueArguments({});
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(cmd::kProgramChip));
  std::string shown;
  for (int i = 0; i < 67; ++i) shown += "0123456789ABCDE";
  shown.resize(kWriterMessageMaxChars);
  ASSERT_GE(rig_.view.status.size(), shown.size());
  EXPECT_EQ(rig_.view.status.substr(0, shown.size()), shown);
  // At most the status box's own line end follows.
  EXPECT_LE(rig_.view.status.size() - shown.size(), 2U);
}

// --- the chip-type sentence in the language of the window ---

struct IcErrorCase {
  const char* name;
  const char* languageFile;  // in the source tree's data folder; empty: none (built-in text)
  std::string shown;
};

class IcErrorTest : public ChipActionTest, public ::testing::WithParamInterface<IcErrorCase> {};

TEST_P(IcErrorTest, TheWritersSentenceIsShownInTheLanguageInForce) {
  if (*GetParam().languageFile != '\0') {
    std::filesystem::create_directories(rig_.dir.path() / "language");
    std::filesystem::copy_file(std::filesystem::path(VX3WT_SOURCE_DIR) / "data" / "language" / GetParam().languageFile,
                               rig_.dir.path() / "language" / "UIEng.ini");
  }
  rig_.bridge.QueueText(kIcErrorSentence);
  rig_.bridge.QueueArguments({});
  rig_.bridge.QueueStatus(0);
  EXPECT_FALSE(Run(cmd::kAutoProgramChip));
  EXPECT_EQ(rig_.view.status, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, IcErrorTest,
    ::testing::Values(IcErrorCase{"English", "UIEng.ini",
                                  "IC Error!IC Typis different wih VX3! Please check it again\r\n"},
                      IcErrorCase{"Chinese", "UIChina.ini", "IC 错误！IC 型号与 VX3 文件不符！请检查后重试\r\n"},
                      IcErrorCase{"BuiltIn", "", "IC Error!IC Typis different wih VX3!\r\nPlease check it again\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChipActionTest, OnlyTheExactSentenceIsReplaced) {
  rig_.bridge.QueueText("IC Error!IC Typis different wih VX3!\r\nPlease check it again!\r\n");
  rig_.bridge.QueueArguments({});
  rig_.bridge.QueueStatus(0);
  EXPECT_FALSE(Run(cmd::kAutoProgramChip));
  EXPECT_EQ(rig_.view.status, "IC Error!IC Typis different wih VX3!\r\nPlease check it again!\r\n");
}

// --- formatting the Writer's messages ---

struct MessageCase {
  const char* name;
  std::string pending;
  std::array<std::uint8_t, 15> args;
  std::string shown;
};

class WriterMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(WriterMessageTest, FormatsOnlyIntegerConversions) {
  if (!testing::IsAscii(GetParam().pending) && !testing::SystemTextIsUtf8()) {
    GTEST_SKIP() << "the Writer's text is in the ANSI code page here";
  }
  EXPECT_EQ(FormatWriterMessage(GetParam().pending, GetParam().args), GetParam().shown);
}

const std::string k15 = "%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d";

INSTANTIATE_TEST_SUITE_P(
    Cases, WriterMessageTest,
    ::testing::Values(
        MessageCase{"PlainText", "Program OK\r\n", Args({}), "Program OK\r\n"},
        MessageCase{"BytesAreUnsigned", "%d %u %x %X %o", Args({0xFF, 0x80, 0xAB, 0xAB, 8}), "255 128 ab AB 10"},
        MessageCase{"WidthAndPrecision", "[%04X] [%-3d] [%.3u]", Args({0x1F, 7, 5}), "[001F] [7  ] [005]"},
        MessageCase{"Character", "%c%c", Args({'O', 'K'}), "OK"},
        MessageCase{"Percent", "100%% at %d", Args({3}), "100% at 3"},
        MessageCase{"FifteenConversions", k15, Args({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5}), "123456789012345"},
        MessageCase{"SixteenConversionsAreShownAsTheyStand", k15 + "%d", Args({1}), k15 + "%d"},
        MessageCase{"TextConversion", "Chip %s failed", Args({1}), "Chip %s failed"},
        MessageCase{"WriteCount", "Count %n", Args({1}), "Count %n"},
        MessageCase{"Pointer", "At %p", Args({1}), "At %p"}, MessageCase{"Float", "Volt %f", Args({1}), "Volt %f"},
        MessageCase{"ThreeDigitWidth", "%100d", Args({1}), "%100d"},
        MessageCase{"ThreeDigitPrecision", "%.100d", Args({1}), "%.100d"},
        MessageCase{"TwoDigitWidth", "%99d|", Args({1}), std::string(98, ' ') + "1|"},
        MessageCase{"LonePercentAtTheEnd", "50%", Args({}), "50%"},
        MessageCase{"InvalidBytes",
                    "A\xFF"
                    "B\xC3",
                    Args({}),
                    "A\xEF\xBF\xBD"
                    "B\xEF\xBF\xBD"},
        MessageCase{"TruncatedSequenceIsOneReplacement",
                    "\xE4\xB8"
                    "x",
                    Args({}),
                    "\xEF\xBF\xBD"
                    "x"},
        MessageCase{"OverlongForm", "\xC0\xAF", Args({}), "\xEF\xBF\xBD\xEF\xBF\xBD"},
        MessageCase{"SurrogateIsNoText", "\xED\xA0\x80", Args({}), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        MessageCase{"ZeroByteFromACharacterConversion", "[%c]", Args({0}), "[\xEF\xBF\xBD]"},
        MessageCase{"ValidText", "\xE7\xA8\x8B\xE5\xBA\x8F OK", Args({}), "\xE7\xA8\x8B\xE5\xBA\x8F OK"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriterMessageLengthTest, CutAtAThousandCharacters) {
  const std::array<std::uint8_t, 15> none{};
  EXPECT_EQ(FormatWriterMessage(std::string(1200, 'A'), none), std::string(1000, 'A'));
  if (testing::SystemTextIsUtf8()) {
    std::string wide;
    for (int i = 0; i < 1001; ++i) wide += "\xE7\xA8\x8B";
    EXPECT_EQ(FormatWriterMessage(wide, none), wide.substr(0, 3000));
  }
  // A width that the formatting turns into many characters is cut as well.
  EXPECT_EQ(FormatWriterMessage(std::string(20, '%') + "%99d%99d%99d%99d%99d%99d%99d%99d%99d%99d%99d", none).size(),
            1000U);
}

// --- header read-back ---

class HeaderReadBackTest : public ChipActionTest {
 protected:
  void SetUp() override {
    ChipActionTest::SetUp();
    header_.bytes.fill(0x5A);  // what the download left
  }
  void QueueHeader() {
    for (std::uint8_t row = 0; row < 8; ++row) {
      link::Reply reply{};
      for (std::uint8_t k = 0; k < 16; ++k) reply[k] = static_cast<std::uint8_t>(row * 16 + k);
      rig_.bridge.QueueReply(reply);
    }
  }
  EepromHeader header_;
};

TEST_F(HeaderReadBackTest, EightRequestsOfSixteenDataBytes) {
  QueueHeader();
  EXPECT_TRUE(ReadBackHeader(rig_.services(), cmd::kReadHeader, header_));
  ASSERT_EQ(rig_.bridge.written.size(), 8U);
  Bytes request(64, 0);
  request[0] = 0x10;
  request[1] = 8;
  for (const Bytes& packet : rig_.bridge.written) EXPECT_EQ(packet, request);
  for (std::size_t i = 0; i < header_.bytes.size(); ++i) EXPECT_EQ(header_.bytes[i], i) << i;
  EXPECT_EQ(rig_.view.status, "");
}

TEST_F(HeaderReadBackTest, StatusLikeBytesAreData) {
  // Byte 0 of each reply is data, even a 2 or a 3.
  for (int row = 0; row < 8; ++row) rig_.bridge.QueueReply({2, 3, 0xFF});
  EXPECT_TRUE(ReadBackHeader(rig_.services(), cmd::kReadHeader, header_));
  EXPECT_EQ(header_.bytes[112], 2);
  EXPECT_EQ(header_.bytes[113], 3);
  EXPECT_EQ(header_.bytes[114], 0xFF);
}

// --- the fault matrix ---

enum class Fault { Write, Read, Status };

struct FaultCase {
  std::uint8_t action;
  int exchange;  // 0, 1 or 2 of the script below
  Fault fault;
};

std::string Name(const FaultCase& c) {
  static const char* const kFaults[] = {"Write", "Read", "Status"};
  return fmt::format("Action{:02X}Exchange{}{}", c.action, c.exchange, kFaults[static_cast<int>(c.fault)]);
}

std::vector<FaultCase> ChipFaultCases() {
  std::vector<FaultCase> cases;
  for (const std::uint8_t action : {cmd::kProgramChip, cmd::kVerifyChip, cmd::kBlankCheckChip, cmd::kAutoProgramChip,
                                    cmd::kCheckBeforeRead, cmd::kSecurityCheck}) {
    for (int exchange = 0; exchange < 3; ++exchange) {
      for (const Fault fault : {Fault::Write, Fault::Read, Fault::Status}) cases.push_back({action, exchange, fault});
    }
  }
  return cases;
}

class ChipActionFaultTest : public ChipActionTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ChipActionFaultTest, EndsTheActionWithItsMessagesAndNothingMore) {
  const FaultCase& c = GetParam();
  // The Writer's script: a message (text, arguments), then success.
  std::vector<link::Reply> script(3);
  script[0] = {2, 'P', 'r', 'o', 'g', 'r', 'a', 'm', ' ', 'O', 'K', '\r', '\n'};
  script[1] = {3};
  script[2] = {1};
  if (c.fault == Fault::Status) script[static_cast<std::size_t>(c.exchange)][0] = 7;
  for (const link::Reply& reply : script) rig_.bridge.QueueReply(reply);
  if (c.fault == Fault::Write) rig_.bridge.failWriteAt = c.exchange + 1;
  if (c.fault == Fault::Read) rig_.bridge.failReadAt = c.exchange + 1;

  EXPECT_FALSE(Run(c.action));
  const std::string before = c.exchange == 2 ? "Program OK\r\n" : "";
  const std::string lines = c.fault == Fault::Write  ? kWriteFailTwice
                            : c.fault == Fault::Read ? kReadFailTwice
                                                     : kOtpError;
  EXPECT_EQ(rig_.view.status, before + lines);
  EXPECT_EQ(rig_.bridge.writes, c.exchange + 1);
  EXPECT_EQ(rig_.bridge.reads, c.exchange + (c.fault == Fault::Write ? 0 : 1));

  // A failed transfer disconnects, so whatever the command would still send is silent; a
  // wrong status is the Writer's, and the link stays up.
  EXPECT_EQ(rig_.link.connected(), c.fault == Fault::Status);
  if (c.fault != Fault::Status) {
    link::Reply reply{};
    EXPECT_EQ(rig_.link.UsbRead(reply), 0);
    EXPECT_EQ(rig_.link.UsbWrite(link::Packet{}), 0);
    EXPECT_EQ(rig_.view.status, before + lines);
  }
  // The next command connects and works again.
  rig_.link.ClearConnected();
  ASSERT_TRUE(rig_.Connect());
  rig_.bridge.failWriteAt = rig_.bridge.failReadAt = 0;
  rig_.bridge.ClearReplies();
  rig_.bridge.QueueStatus(1);
  EXPECT_TRUE(Run(c.action));
}

INSTANTIATE_TEST_SUITE_P(Matrix, ChipActionFaultTest, ::testing::ValuesIn(ChipFaultCases()),
                         [](const auto& info) { return Name(info.param); });

struct HeaderFaultCase {
  int exchange;  // 0 to 7
  Fault fault;
};

class HeaderReadBackFaultTest : public HeaderReadBackTest, public ::testing::WithParamInterface<HeaderFaultCase> {};

TEST_P(HeaderReadBackFaultTest, LeavesTheHeaderAsItWasAndStops) {
  const HeaderFaultCase& c = GetParam();
  QueueHeader();
  if (c.fault == Fault::Write) rig_.bridge.failWriteAt = c.exchange + 1;
  if (c.fault == Fault::Read) rig_.bridge.failReadAt = c.exchange + 1;
  const EepromHeader before = header_;
  EXPECT_FALSE(ReadBackHeader(rig_.services(), cmd::kReadHeader, header_));
  EXPECT_EQ(header_.bytes, before.bytes);
  EXPECT_EQ(rig_.view.status, c.fault == Fault::Write ? kWriteFailTwice : kReadFailTwice);
  EXPECT_EQ(rig_.bridge.writes, c.exchange + 1);
  EXPECT_FALSE(rig_.link.connected());
  link::Reply reply{};
  EXPECT_EQ(rig_.link.UsbRead(reply), 0);
  EXPECT_EQ(rig_.view.status, c.fault == Fault::Write ? kWriteFailTwice : kReadFailTwice);
  EXPECT_TRUE(rig_.Connect());
}

std::vector<HeaderFaultCase> HeaderFaultCases() {
  std::vector<HeaderFaultCase> cases;
  for (int exchange = 0; exchange < 8; ++exchange) {
    cases.push_back({exchange, Fault::Write});
    cases.push_back({exchange, Fault::Read});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Matrix, HeaderReadBackFaultTest, ::testing::ValuesIn(HeaderFaultCases()),
                         [](const auto& info) {
                           return fmt::format("Exchange{}{}", info.param.exchange,
                                              info.param.fault == Fault::Write ? "Write" : "Read");
                         });

TEST(RepeatedLinesTest, EachRunOfTheSameLineIsOneLineWithItsCount) {
  testing::TempDir dir;
  const text::Language language(dir.path() / "none.ini");
  struct Case {
    std::string_view text;
    std::string_view collapsed;
  };
  const Case cases[] = {
      {"", ""},
      {"Program OK\r\n", "Program OK\r\n"},
      {"Working ...\r\nWorking ...\r\nWorking ...\r\n", "Working ... (3 times)\r\n"},
      {"Blank check OK\r\nWorking ...\r\nWorking ...\r\nVerify", "Blank check OK\r\nWorking ... (2 times)\r\nVerify"},
      {"a\nb\nb\na\n", "a\nb (2 times)\na\n"},
      // A last line without its end is not the same line as one that has it.
      {"Working ...\r\nWorking ...", "Working ...\r\nWorking ..."},
  };
  for (const Case& c : cases) EXPECT_EQ(CollapseRepeatedLines(c.text, language), c.collapsed) << c.text;
}

// --- how an action ended, as the record and the band take it ---

TEST(NoChipMessageTest, OnlyTheWritersEmptySocketMessagesSayNoChip) {
  struct Case {
    std::string_view message;
    bool noChip;
  };
  const Case cases[] = {
      {"No IC in socket !!\r\n", true},
      {"no ic in socket", true},
      {"\r\nNo IC in socket !!\r\n", true},
      {"  NO IC IN SOCKET", true},
      {"No IC", false},
      {"Blank check fail at 012A\r\n", false},
      {"Error: No IC in socket", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(SaysNoChip(c.message), c.noChip) << c.message;
}

struct EndingCase {
  const char* name;
  std::vector<link::Reply> script;  // the Writer's replies
  int failWriteAt;                  // 0: every packet leaves
  ChipOutcome outcome;
};

class ChipActionEndingTest : public ChipActionTest, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(ChipActionEndingTest, TellsAChipFromAnEmptySocketAndAnActionThatNeverLeft) {
  const EndingCase& c = GetParam();
  for (const link::Reply& reply : c.script) rig_.bridge.QueueReply(reply);
  rig_.bridge.failWriteAt = c.failWriteAt;
  const ChipActionResult result = RunChipAction(rig_.services(), cmd::kAutoProgramChip, kImage);
  EXPECT_EQ(result.outcome, c.outcome);
  EXPECT_EQ(result.ReachedChip(), c.outcome != ChipOutcome::NoChip && c.outcome != ChipOutcome::NotRun);
}

const link::Reply kNoIcText1{2, 'N', 'o', ' ', 'I', 'C', ' ', 'i', 'n', ' ', 's', 'o', 'c', 'k', 'e', 't'};
const link::Reply kNoIcText2{2, ' ', '!', '!', '\r', '\n'};
const link::Reply kArguments{3};

INSTANTIATE_TEST_SUITE_P(
    Endings, ChipActionEndingTest,
    ::testing::Values(EndingCase{"Passed", {{1}}, 0, ChipOutcome::Pass},
                      EndingCase{"Failed", {{0}}, 0, ChipOutcome::Fail},
                      // The Writer says its socket is empty, then ends the action as failed.
                      EndingCase{"EmptySocket", {kNoIcText1, kNoIcText2, kArguments, {0}}, 0, ChipOutcome::NoChip},
                      // A success after that is no chip anyone can trust.
                      EndingCase{"SuccessAfterEmptySocket", {kNoIcText1, kNoIcText2, kArguments, {1}}, 0,
                                 ChipOutcome::Unknown},
                      // The first packet never left: the Writer never heard of the action.
                      EndingCase{"FirstPacketNotSent", {{1}}, 1, ChipOutcome::NotRun},
                      // A later packet: the Writer had begun.
                      EndingCase{"LaterPacketNotSent", {kNoIcText1, {1}}, 2, ChipOutcome::Unknown}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx3::writer_ops
