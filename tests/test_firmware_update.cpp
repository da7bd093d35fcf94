// The Writer firmware update: the query packets and what their replies decide, the update
// files' blocks and checksums, the update and reset steps with every fault, against a scripted
// bridge; the shipped firmware files; and a first and a later load against the simulated Writer.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "image/device_file.h"
#include "support/temp_dir.h"
#include "link/bridge_library.h"
#include "link/command_codes.h"
#include "platform/utf8_path.h"
#include "support/fake_bridge.h"
#include "support/image_builder.h"
#include "ui_text/reporter.h"
#include "writer_ops/firmware_update.h"

namespace vx3::writer_ops {
namespace {

namespace fs = std::filesystem;
namespace cmd = link::command;
using Bytes = std::vector<std::uint8_t>;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;
const fs::path kSourceDir = VX3WT_SOURCE_DIR;


std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

void PutBe16(Bytes& bytes, std::size_t offset, std::uint16_t word) {
  bytes[offset] = static_cast<std::uint8_t>(word >> 8);
  bytes[offset + 1] = static_cast<std::uint8_t>(word & 0xFF);
}

// An IAP file: 0x01 below the version, the version word, 0x80 after it.
Bytes IapBytes(std::size_t size, std::uint16_t version = 0x0100) {
  Bytes bytes(size, 0x01);
  for (std::size_t i = kIapVersionOffset; i < size; ++i) bytes[i] = 0x80;
  if (size >= kIapVersionOffset + 2) PutBe16(bytes, kIapVersionOffset, version);
  return bytes;
}

struct DriverWords {
  std::uint16_t version = 0x0105;
  std::uint16_t date = 0x2603;
  std::uint16_t signature = kDriverSignature;
};

// A driver file of 65 blocks: 0x01 everywhere but its three words.
Bytes DriverBytes(const DriverWords& words = {}, std::size_t size = 0x1040) {
  Bytes bytes(size, 0x01);
  PutBe16(bytes, kDriverVersionOffset, words.version);
  PutBe16(bytes, kDriverDateOffset, words.date);
  PutBe16(bytes, kDriverSignatureOffset, words.signature);
  return bytes;
}

class FirmwareUpdateTest : public ::testing::Test {
 protected:
  FirmwareUpdateTest() {
    progress.AttachView(&fake.view);
    fs::create_directories(fake.dir.path() / "Writer_Log");
  }

  void SetUp() override { ASSERT_TRUE(fake.Connect()); }

  FirmwareUpdate Update() {
    return {fake.services(), progress, fake.clock, state, fake.dir.path(), deviceName, offline};
  }

  fs::path IapPath() const { return fake.dir.path() / "USE_IAP" / "FLASH_OV.IAP"; }
  fs::path DriverPath() const { return fake.dir.path() / "USE_DRV" / (deviceName + ".DRV"); }
  void WriteIap(const Bytes& bytes) const { testing::WriteFileBytes(IapPath(), AsText(bytes)); }
  void WriteDriver(const Bytes& bytes) const { testing::WriteFileBytes(DriverPath(), AsText(bytes)); }

  // A query reply: version, date word and host level, high byte first, then bytes 6 and 7.
  void QueueQuery(std::uint16_t version, std::uint16_t date, std::uint16_t level, std::uint8_t b6 = 0,
                  std::uint8_t b7 = 0) {
    fake.bridge.QueueReply({static_cast<std::uint8_t>(version >> 8), static_cast<std::uint8_t>(version & 0xFF),
                            static_cast<std::uint8_t>(date >> 8), static_cast<std::uint8_t>(date & 0xFF),
                            static_cast<std::uint8_t>(level >> 8), static_cast<std::uint8_t>(level & 0xFF), b6, b7});
  }

  // Status 1 for `count` replies, except reply `at` (counted from 1), which carries `status`.
  void Answer(std::size_t count, std::size_t at = 0, std::uint8_t status = link::status::kOk) {
    for (std::size_t i = 1; i <= count; ++i) fake.bridge.QueueStatus(i == at ? status : link::status::kOk);
  }

  static Bytes Packet(std::initializer_list<std::uint8_t> first) {
    Bytes packet(link::kPacketSize, 0);
    std::copy(first.begin(), first.end(), packet.begin());
    return packet;
  }

  const Bytes& Written(std::size_t i) const { return fake.bridge.written.at(i); }

  testing::FakeLink fake;
  ProgressWindow progress{fake.clock};
  FirmwareState state;
  std::string deviceName = "VX3P1020";
  std::uint8_t offline = 0x5A;
};

// --- queries ----------------------------------------------------------------------------------

struct DateCase {
  int year;
  int month;
  std::uint8_t yearByte;
  std::uint8_t monthByte;
};

class StatusQueryDateTest : public FirmwareUpdateTest, public ::testing::WithParamInterface<DateCase> {};

TEST_P(StatusQueryDateTest, CarriesThePcsDate) {
  fake.clock.Set(GetParam().year, GetParam().month, 15, 10, 0, 0);
  QueueQuery(0x0100, 0, 0xA145);
  std::uint16_t version = 0;
  ASSERT_TRUE(QueryWriter(Update(), cmd::kStatusQuery, version));
  EXPECT_EQ(Written(0), Packet({0x04, 0xF5, 0x5F, 0xA1, 0x45, GetParam().yearByte, GetParam().monthByte, 0x46}));
}

INSTANTIATE_TEST_SUITE_P(Dates, StatusQueryDateTest,
                         ::testing::Values(DateCase{2031, 1, 31, 1}, DateCase{2026, 12, 26, 12},
                                           DateCase{2000, 6, 0, 6}, DateCase{2099, 7, 99, 7}));

TEST_F(FirmwareUpdateTest, VersionQueryCarriesTheOfflineModeAndReadsBigEndianWords) {
  offline = 0xA5;
  QueueQuery(0x0105, 0x2603, 0xA145);
  std::uint16_t version = 0;
  std::uint16_t date = 0;
  ASSERT_TRUE(QueryWriter(Update(), cmd::kVersionQuery, version, &date));
  EXPECT_EQ(Written(0), Packet({0x06, 0xA5}));
  EXPECT_EQ(version, 0x0105);
  EXPECT_EQ(date, 0x2603);
  EXPECT_EQ(state.writerHostLevel, 0xA145);
}

TEST_F(FirmwareUpdateTest, HostLevelIsStoredOnlyWhenTheDateIsAskedFor) {
  state.writerHostLevel = 0x1234;
  QueueQuery(0x0100, 0, 0xA145);
  std::uint16_t version = 0;
  ASSERT_TRUE(QueryWriter(Update(), cmd::kStatusQuery, version));
  EXPECT_EQ(version, 0x0100);
  EXPECT_EQ(state.writerHostLevel, 0x1234);
}

struct StatusReplyCase {
  const char* name;
  std::uint8_t b2, b3, b5, b6, b7;
  bool ok;
  const char* status;
};

class StatusQueryReplyTest : public FirmwareUpdateTest, public ::testing::WithParamInterface<StatusReplyCase> {};

TEST_P(StatusQueryReplyTest, Decides) {
  const StatusReplyCase& c = GetParam();
  fake.bridge.QueueReply({0x01, 0x00, c.b2, c.b3, 0xA1, c.b5, c.b6, c.b7});
  std::uint16_t version = 0;
  EXPECT_EQ(QueryWriter(Update(), cmd::kStatusQuery, version), c.ok);
  EXPECT_EQ(fake.view.status, c.status);
  EXPECT_EQ(fake.bridge.writes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusQueryReplyTest,
    ::testing::Values(
        StatusReplyCase{"AsksForANewerProgram", 0x10, 0x36, 0x45, 0, 0, false,
                        "Please download the latest Writer version\r\nfrom KELVA MCU Development Tools Site !!!\r\n"},
        StatusReplyCase{"CannotReadItsEeprom", 0x00, 0x27, 0x45, 0, 0, false, "Read EEPROM data fail !!!\r\n"},
        StatusReplyCase{"EepromMarkBelowLevel45GoesOn", 0x00, 0x27, 0x40, 0, 0, true, ""},
        StatusReplyCase{"AsksForANewerProgramWithItsTime", 0x05, 0x25, 0x46, 26, 5, false,
                        "Please download the latest Writer version\r\nfrom KELVA MCU Development Tools Site "
                        "!!!\r\n\r\nsystime: 2026/5\r\n\r\n"},
        StatusReplyCase{"MarksIgnoredBelowLevel30", 0x10, 0x36, 0x25, 0, 0, true, ""},
        StatusReplyCase{"NoMark", 0x26, 0x03, 0x45, 0, 0, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareUpdateTest, VersionQueryLooksForNoMark) {
  fake.bridge.QueueReply({0x01, 0x00, 0x10, 0x36, 0xA1, 0x45});
  std::uint16_t version = 0;
  EXPECT_TRUE(QueryWriter(Update(), cmd::kVersionQuery, version));
}

// --- update files -----------------------------------------------------------------------------

TEST(ScanUpdateFile, IapOf3600BytesIs56BlocksSummedBelow0xDF0) {
  const UpdateFile file = ScanUpdateFile(UpdatePart::Iap, IapBytes(3600, 0x0123));
  EXPECT_EQ(file.blocks, 56U);
  EXPECT_EQ(file.checksum, 0x0DF0) << "3,568 bytes of 1; the version and the bytes after it do not count";
  EXPECT_TRUE(file.holdsVersion);
  EXPECT_EQ(file.version, 0x0123);
  const link::Packet last = UpdateBlock(file, 55);
  EXPECT_TRUE(std::equal(last.begin(), last.end(), file.bytes.begin() + 3520));
}

TEST(ScanUpdateFile, DriverOf4101BytesIs65BlocksFilledWithFF) {
  const UpdateFile file = ScanUpdateFile(UpdatePart::Driver, Bytes(4101, 0x01));
  EXPECT_EQ(file.blocks, 65U);
  EXPECT_EQ(file.checksum, (4101 + 59 * 0xFF) & 0xFFFF);
  Bytes expected(5, 0x01);
  expected.resize(64, 0xFF);
  const link::Packet last = UpdateBlock(file, 64);
  EXPECT_EQ(Bytes(last.begin(), last.end()), expected);
  EXPECT_FALSE(file.holdsVersion) << "the signature's low byte is missing";
}

TEST(ScanUpdateFile, ReadsTheDriversWordsHighByteFirst) {
  const UpdateFile file = ScanUpdateFile(UpdatePart::Driver, DriverBytes({0x0107, 0x2512, 0xA145}, 0x1006));
  EXPECT_TRUE(file.holdsVersion);
  EXPECT_EQ(file.version, 0x0107);
  EXPECT_EQ(file.date, 0x2512);
  EXPECT_EQ(file.signature, 0xA145);
  EXPECT_EQ(file.blocks, 65U);
}

TEST(ScanUpdateFile, IapOneByteShortOfItsVersionHoldsNone) {
  EXPECT_FALSE(ScanUpdateFile(UpdatePart::Iap, IapBytes(0xDF1)).holdsVersion);
  EXPECT_TRUE(ScanUpdateFile(UpdatePart::Iap, IapBytes(0xDF2)).holdsVersion);
}

// --- update steps on the wire -----------------------------------------------------------------

TEST_F(FirmwareUpdateTest, OlderIapIsProgrammedAndVerified) {
  WriteIap(IapBytes(3600));
  QueueQuery(0x00FF, 0, 0xA145);
  Answer(56 + 56);
  ASSERT_TRUE(UpdateIap(Update())) << fake.view.status;
  EXPECT_TRUE(state.updatePerformed);
  ASSERT_EQ(fake.bridge.written.size(), 1U + 57U + 57U);
  EXPECT_EQ(Written(1), Packet({0x07, 56, 0, 0xF0, 0x0D}));
  EXPECT_EQ(Written(58), Packet({0x08, 56, 0, 0xF0, 0x0D}));
  const Bytes file = IapBytes(3600);
  EXPECT_EQ(Written(57), Bytes(file.begin() + 3520, file.begin() + 3584));
  EXPECT_EQ(fake.view.progressCaption, "Writer");
  EXPECT_EQ(fake.view.progressText, "Verify IAP : 000E00");
}

TEST_F(FirmwareUpdateTest, DriverOf4101BytesIsVerifiedAs65Blocks) {
  WriteDriver(Bytes(4101, 0x01));
  Answer(65);
  ASSERT_TRUE(UpdateStep(Update(), cmd::kVerifyDriver)) << fake.view.status;
  ASSERT_EQ(fake.bridge.written.size(), 66U);
  EXPECT_EQ(Written(0), Packet({0x05, 65, 0, 0xCA, 0x4A}));
  Bytes last(5, 0x01);
  last.resize(64, 0xFF);
  EXPECT_EQ(Written(65), last);
  EXPECT_EQ(fake.view.progressText, "Verify Driver : 001040");
}

struct ShortFileCase {
  const char* name;
  std::uint8_t code;
  bool driver;
  std::size_t size;
};

class ShortUpdateFileTest : public FirmwareUpdateTest, public ::testing::WithParamInterface<ShortFileCase> {};

TEST_P(ShortUpdateFileTest, IsRefusedBeforeAnythingIsSent) {
  const ShortFileCase& c = GetParam();
  c.driver ? WriteDriver(Bytes(c.size, 0x01)) : WriteIap(Bytes(c.size, 0x01));
  QueueQuery(0, 0, 0xA145);
  EXPECT_FALSE(UpdateStep(Update(), c.code));
  EXPECT_EQ(fake.view.status, "Err: Update file too short to hold its version:\n" +
                                  platform::PathToUtf8(c.driver ? DriverPath() : IapPath()) + "\r\n");
  EXPECT_TRUE(fake.bridge.written.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ShortUpdateFileTest,
                         ::testing::Values(ShortFileCase{"Driver4101", cmd::kProgramDriver, true, 4101},
                                           ShortFileCase{"EmptyDriver", cmd::kProgramDriver, true, 0},
                                           ShortFileCase{"IapBeforeItsVersion", cmd::kProgramIap, false, 0xDF0},
                                           ShortFileCase{"EmptyIap", cmd::kProgramIap, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

enum class Outcome { Sent, Current, Refused };

struct DriverCase {
  const char* name;
  DriverWords file;
  std::uint16_t writerVersion;
  std::uint16_t writerDate;
  std::uint16_t level;
  Outcome outcome;
  const char* status;
};

class DriverDecisionTest : public FirmwareUpdateTest, public ::testing::WithParamInterface<DriverCase> {};

TEST_P(DriverDecisionTest, Decides) {
  const DriverCase& c = GetParam();
  WriteDriver(DriverBytes(c.file));
  QueueQuery(c.writerVersion, c.writerDate, c.level);
  Answer(65);
  const bool result = UpdateStep(Update(), cmd::kProgramDriver);
  EXPECT_EQ(result, c.outcome != Outcome::Refused);
  EXPECT_EQ(state.updatePerformed, c.outcome == Outcome::Sent);
  EXPECT_EQ(Written(0), Packet({0x06, 0x5A}));
  EXPECT_EQ(fake.bridge.written.size(), c.outcome == Outcome::Sent ? 67U : 1U);
  EXPECT_EQ(fake.view.status, c.status);
  if (c.outcome == Outcome::Sent) {
    const UpdateFile file = ScanUpdateFile(UpdatePart::Driver, DriverBytes(c.file));
    EXPECT_EQ(Written(1), Packet({0x01, 65, 0, static_cast<std::uint8_t>(file.checksum & 0xFF),
                                  static_cast<std::uint8_t>(file.checksum >> 8)}));
  }
}

constexpr const char* kNewerWriterLine =
    "Please download the latest Writer version\r\nfrom KELVA MCU Development Tools Site !!!\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverDecisionTest,
    ::testing::Values(
        DriverCase{"SignatureNotA145", {0x0105, 0x2603, 0xA144}, 0x0100, 0x0000, 0xA145, Outcome::Refused,
                   "Please download the latest Writer version!!!\r\n\r\n"},
        DriverCase{"OtherDate", {}, 0x0105, 0x2509, 0xA145, Outcome::Sent, ""},
        DriverCase{"OtherDateOfANewerWriter", {}, 0x0200, 0x2509, 0xA145, Outcome::Sent, ""},
        DriverCase{"SameDateAndVersion", {}, 0x0105, 0x2603, 0xA145, Outcome::Current, ""},
        DriverCase{"SameDateOlderWriter", {}, 0x0104, 0x2603, 0xA145, Outcome::Sent, ""},
        DriverCase{"SameDateNewerWriter", {}, 0x0106, 0x2603, 0xA145, Outcome::Current, ""},
        DriverCase{"WriterOfALaterLevel", {}, 0x0105, 0x2603, 0xA146, Outcome::Refused, kNewerWriterLine},
        DriverCase{"WriterOfAnotherLevelBelow", {}, 0x0105, 0x2603, 0xA140, Outcome::Sent, ""},
        DriverCase{"WriterOfAnEarlierLevel", {}, 0x0105, 0x2603, 0xA125, Outcome::Sent, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct IapCase {
  const char* name;
  std::uint16_t writerVersion;
  std::optional<std::uint8_t> iapStatus;  // asked only when the Writer's version is not older
  Outcome outcome;
};

class IapDecisionTest : public FirmwareUpdateTest, public ::testing::WithParamInterface<IapCase> {};

TEST_P(IapDecisionTest, Decides) {
  const IapCase& c = GetParam();
  WriteIap(IapBytes(3584, 0x0100));
  QueueQuery(c.writerVersion, 0, 0xA145);
  if (c.iapStatus) fake.bridge.QueueStatus(*c.iapStatus);
  Answer(56);
  EXPECT_TRUE(UpdateStep(Update(), cmd::kProgramIap)) << fake.view.status;
  EXPECT_EQ(state.updatePerformed, c.outcome == Outcome::Sent);
  const std::size_t queries = c.iapStatus ? 2 : 1;
  EXPECT_EQ(fake.bridge.written.size(), queries + (c.outcome == Outcome::Sent ? 57U : 0U));
  if (c.iapStatus) {
    EXPECT_EQ(Written(1), Packet({0x09}));
  }
  if (c.outcome == Outcome::Sent) {
    EXPECT_EQ(Written(queries)[0], 0x07);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, IapDecisionTest,
                         ::testing::Values(IapCase{"SameVersionAndCurrent", 0x0100, 1, Outcome::Current},
                                           IapCase{"NewerWriterAndCurrent", 0x0101, 1, Outcome::Current},
                                           IapCase{"SameVersionButNotCurrent", 0x0100, 0, Outcome::Sent},
                                           IapCase{"OlderWriter", 0x00FF, std::nullopt, Outcome::Sent}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareUpdateTest, EepromMarkBelowLevel45LeavesTheDecisionToTheIapVersion) {
  WriteIap(IapBytes(3584, 0x0100));
  // x = 0x27 and byte 5 = 0x40: the query goes on, and the older version asks for the IAP.
  fake.bridge.QueueReply({0x00, 0xFF, 0x00, 0x27, 0xA1, 0x40});
  Answer(56);
  EXPECT_TRUE(UpdateStep(Update(), cmd::kProgramIap)) << fake.view.status;
  EXPECT_TRUE(state.updatePerformed);
  EXPECT_EQ(Written(1), Packet({0x07, 56, 0, 0xF0, 0x0D}));
  EXPECT_EQ(fake.view.status, "");
}

TEST_F(FirmwareUpdateTest, CurrentDriverIsNeitherSentNorReset) {
  WriteDriver(DriverBytes());
  QueueQuery(0x0105, 0x2603, 0xA145);
  EXPECT_TRUE(UpdateDriver(Update())) << fake.view.status;
  EXPECT_FALSE(state.updatePerformed);
  EXPECT_EQ(fake.bridge.writes, 1);
  EXPECT_EQ(fake.clock.slept, std::chrono::milliseconds(0));
}

TEST_F(FirmwareUpdateTest, NewDriverIsProgrammedVerifiedResetAndChecked) {
  WriteDriver(DriverBytes());
  const std::uint16_t checksum = ScanUpdateFile(UpdatePart::Driver, DriverBytes()).checksum;
  const auto lo = static_cast<std::uint8_t>(checksum & 0xFF);
  const auto hi = static_cast<std::uint8_t>(checksum >> 8);
  QueueQuery(0x0100, 0x0000, 0xA145);
  Answer(65 + 65 + 1);

  ASSERT_TRUE(UpdateDriver(Update())) << fake.view.status;
  ASSERT_EQ(fake.bridge.written.size(), 1U + 66U + 66U + 2U);
  EXPECT_EQ(Written(1), Packet({0x01, 65, 0, lo, hi}));
  EXPECT_EQ(Written(67), Packet({0x05, 65, 0, lo, hi}));
  EXPECT_EQ(Written(133), Packet({0x0A, 0, 0, lo, hi}));
  EXPECT_EQ(Written(134), Packet({0x0B, 0, 0, lo, hi}));
  EXPECT_EQ(fake.bridge.reads, 1 + 65 + 65 + 1) << "the reset is not answered";
  EXPECT_EQ(fake.clock.slept, std::chrono::seconds(30));
  EXPECT_EQ(fake.view.progressText, "Update Driver : 100%");
  EXPECT_EQ(fake.view.progressPercent, 100);
  EXPECT_EQ(fake.view.status, "");
}

TEST_F(FirmwareUpdateTest, RefusedDriverVerifyEndsTheUpdateBeforeTheReset) {
  WriteDriver(DriverBytes());
  QueueQuery(0x0100, 0x0000, 0xA145);
  Answer(65 + 65, 65 + 10, 0);
  EXPECT_FALSE(UpdateDriver(Update()));
  EXPECT_EQ(fake.view.status, "Verify Driver not ready at 240\r\n");
  EXPECT_EQ(fake.bridge.written.size(), 67U + 1U + 10U) << "nothing after verify block 9";
  EXPECT_EQ(fake.clock.slept, std::chrono::milliseconds(0));
}

TEST_F(FirmwareUpdateTest, RestartWaitStepsEvery100Milliseconds) {
  WaitDriverRestart(Update(), 2);
  EXPECT_EQ(fake.clock.slept, std::chrono::seconds(2));
  EXPECT_EQ(fake.view.progressCaption, "Writer");
  EXPECT_EQ(fake.view.progressText, "Update Driver : 100%");
  EXPECT_TRUE(fake.bridge.written.empty());
}

struct MissingCase {
  const char* name;
  const char* device;
  std::uint8_t code;
  const char* status;  // nullptr: the IAP path
};

class MissingUpdateFileTest : public FirmwareUpdateTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingUpdateFileTest, IsAnErrorLine) {
  deviceName = GetParam().device;
  const std::string expected =
      GetParam().status != nullptr
          ? std::string(GetParam().status)
          : "Err: Failed opening update file:\n" + platform::PathToUtf8(IapPath()) + "\r\n";
  EXPECT_FALSE(UpdateStep(Update(), GetParam().code));
  EXPECT_EQ(fake.view.status, expected);
  EXPECT_TRUE(fake.bridge.written.empty());
  EXPECT_FALSE(state.updatePerformed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingUpdateFileTest,
    ::testing::Values(
        MissingCase{"Driver", "VXNONE", cmd::kProgramDriver, "Err: Writer does not support VXNONE!!!\r\n\r\n"},
        MissingCase{"DriverVerify", "VXNONE", cmd::kVerifyDriver, "Err: Writer does not support VXNONE!!!\r\n\r\n"},
        MissingCase{"NoDevice", "", cmd::kProgramDriver, "Err: Error:  No update file selected.\r\n"},
        MissingCase{"Iap", "VXNONE", cmd::kProgramIap, nullptr},
        MissingCase{"UnknownStep", "VXNONE", 0x33, "Err: Error:  No update file selected.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- faults -----------------------------------------------------------------------------------

// Transfers are counted from 1. Program IAP and Program Driver begin with their query (write 1,
// read 1), then the command and the blocks; the verify steps begin with the command; the block
// with index i is answered by read i + 1 (verify) or i + 2 (program). The IAP has 56 blocks,
// the driver 65; the reset check is one command and one reply.
enum class Fault { Write, Read, Status };

struct FaultCase {
  const char* name;
  std::uint8_t code;
  Fault fault;
  int at;
  std::uint8_t status;
  const char* message;  // the text logged with kind 1; empty for transfer failures
  bool iapCurrentVersion = false;  // the Writer's IAP version asks for the 0x09 query
};

class UpdateFaultTest : public FirmwareUpdateTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UpdateFaultTest, StopsAtOnceWithItsMessage) {
  const FaultCase& c = GetParam();
  WriteIap(IapBytes(3584));
  WriteDriver(DriverBytes());
  const bool reset = c.code == cmd::kResetWriter || c.code == cmd::kCheckDriver;
  std::size_t replies = 200;
  std::size_t firstBlockReply = 1;
  if (c.code == cmd::kProgramIap) {
    QueueQuery(c.iapCurrentVersion ? 0x0100 : 0x00FF, 0, 0xA145);
    if (c.iapCurrentVersion) fake.bridge.QueueStatus(0);
    firstBlockReply = c.iapCurrentVersion ? 3 : 2;
  } else if (c.code == cmd::kProgramDriver) {
    QueueQuery(0x0100, 0x0000, 0xA145);
    firstBlockReply = 2;
  }
  if (c.fault == Fault::Status) {
    Answer(replies, static_cast<std::size_t>(c.at) - (firstBlockReply - 1), c.status);
  } else {
    Answer(replies);
    (c.fault == Fault::Write ? fake.bridge.failWriteAt : fake.bridge.failReadAt) = c.at;
  }
  const int filesBefore = testing::OpenFileCount();
  const std::uint32_t eventBefore = fake.reporter.eventNumber();

  EXPECT_FALSE(reset ? ResetStep(Update(), c.code) : UpdateStep(Update(), c.code));

  // The failing transfer is the last one: nothing is sent or read after it.
  EXPECT_EQ(fake.bridge.calls.back(), c.fault == Fault::Write ? "Write" : "Read");
  EXPECT_EQ(c.fault == Fault::Write ? fake.bridge.writes : fake.bridge.reads, c.at);
  EXPECT_TRUE(fake.view.messages.empty());
  EXPECT_EQ(testing::OpenFileCount(), filesBefore);
  EXPECT_EQ(fake.clock.slept, std::chrono::milliseconds(0));
  switch (c.fault) {
    case Fault::Write:
      EXPECT_EQ(fake.view.status, testing::kWriteFailLines);
      EXPECT_TRUE(fake.reporter.logPath().empty());
      break;
    case Fault::Read:
      EXPECT_EQ(fake.view.status, testing::kReadFailLines);
      EXPECT_TRUE(fake.reporter.logPath().empty());
      break;
    case Fault::Status:
      EXPECT_EQ(fake.view.status, std::string(c.message) + "\r\n");
      EXPECT_EQ(testing::ReadFileBytes(fake.reporter.logPath()), text::PlainLogEntry(c.message, text::kLogLineEnd));
      EXPECT_EQ(fake.reporter.eventNumber(), eventBefore + 1) << "a new event is opened";
      break;
  }
}

constexpr std::uint8_t PI = cmd::kProgramIap;
constexpr std::uint8_t VI = cmd::kVerifyIap;
constexpr std::uint8_t PD = cmd::kProgramDriver;
constexpr std::uint8_t VD = cmd::kVerifyDriver;
constexpr const char* kOther = "Error return value in update action (2)!!";

INSTANTIATE_TEST_SUITE_P(
    Matrix, UpdateFaultTest,
    ::testing::Values(
        // Program IAP: the query, the IAP status query, the command, blocks 0, 28 and 55.
        FaultCase{"ProgramIapQueryWrite", PI, Fault::Write, 1, 0, ""},
        FaultCase{"ProgramIapQueryRead", PI, Fault::Read, 1, 0, ""},
        FaultCase{"ProgramIapStatusQueryWrite", PI, Fault::Write, 2, 0, "", true},
        FaultCase{"ProgramIapStatusQueryRead", PI, Fault::Read, 2, 0, "", true},
        FaultCase{"ProgramIapCommandWrite", PI, Fault::Write, 2, 0, ""},
        FaultCase{"ProgramIapFirstWrite", PI, Fault::Write, 3, 0, ""},
        FaultCase{"ProgramIapMiddleWrite", PI, Fault::Write, 31, 0, ""},
        FaultCase{"ProgramIapLastWrite", PI, Fault::Write, 58, 0, ""},
        FaultCase{"ProgramIapFirstRead", PI, Fault::Read, 2, 0, ""},
        FaultCase{"ProgramIapMiddleRead", PI, Fault::Read, 30, 0, ""},
        FaultCase{"ProgramIapLastRead", PI, Fault::Read, 57, 0, ""},
        FaultCase{"ProgramIapFirstNotReady", PI, Fault::Status, 2, 0, "Program IAP not ready at 0"},
        FaultCase{"ProgramIapMiddleNotReady", PI, Fault::Status, 30, 0, "Program IAP not ready at 700"},
        FaultCase{"ProgramIapLastNotReady", PI, Fault::Status, 57, 0, "Program IAP not ready at DC0"},
        FaultCase{"ProgramIapFirstOtherStatus", PI, Fault::Status, 2, 2, kOther},
        FaultCase{"ProgramIapLastOtherStatus", PI, Fault::Status, 57, 2, kOther},
        FaultCase{"ProgramIapAfterStatusQueryNotReady", PI, Fault::Status, 3, 0, "Program IAP not ready at 0", true},
        // Verify IAP: the command, blocks 0, 28 and 55.
        FaultCase{"VerifyIapCommandWrite", VI, Fault::Write, 1, 0, ""},
        FaultCase{"VerifyIapFirstWrite", VI, Fault::Write, 2, 0, ""},
        FaultCase{"VerifyIapMiddleWrite", VI, Fault::Write, 30, 0, ""},
        FaultCase{"VerifyIapLastWrite", VI, Fault::Write, 57, 0, ""},
        FaultCase{"VerifyIapFirstRead", VI, Fault::Read, 1, 0, ""},
        FaultCase{"VerifyIapMiddleRead", VI, Fault::Read, 29, 0, ""},
        FaultCase{"VerifyIapLastRead", VI, Fault::Read, 56, 0, ""},
        FaultCase{"VerifyIapFirstNotReady", VI, Fault::Status, 1, 0, "Verify IAP not ready at 0"},
        FaultCase{"VerifyIapMiddleNotReady", VI, Fault::Status, 29, 0, "Verify IAP not ready at 700"},
        FaultCase{"VerifyIapLastNotReady", VI, Fault::Status, 56, 0, "Verify IAP not ready at DC0"},
        FaultCase{"VerifyIapMiddleOtherStatus", VI, Fault::Status, 29, 2, kOther},
        // Program Driver: the query, the command, blocks 0, 32 and 64.
        FaultCase{"ProgramDriverQueryWrite", PD, Fault::Write, 1, 0, ""},
        FaultCase{"ProgramDriverQueryRead", PD, Fault::Read, 1, 0, ""},
        FaultCase{"ProgramDriverCommandWrite", PD, Fault::Write, 2, 0, ""},
        FaultCase{"ProgramDriverFirstWrite", PD, Fault::Write, 3, 0, ""},
        FaultCase{"ProgramDriverMiddleWrite", PD, Fault::Write, 35, 0, ""},
        FaultCase{"ProgramDriverLastWrite", PD, Fault::Write, 67, 0, ""},
        FaultCase{"ProgramDriverFirstRead", PD, Fault::Read, 2, 0, ""},
        FaultCase{"ProgramDriverMiddleRead", PD, Fault::Read, 34, 0, ""},
        FaultCase{"ProgramDriverLastRead", PD, Fault::Read, 66, 0, ""},
        FaultCase{"ProgramDriverFirstNotReady", PD, Fault::Status, 2, 0, "Program Driver not ready at 0"},
        FaultCase{"ProgramDriverMiddleNotReady", PD, Fault::Status, 34, 0, "Program Driver not ready at 800"},
        FaultCase{"ProgramDriverLastNotReady", PD, Fault::Status, 66, 0, "Program Driver not ready at 1000"},
        FaultCase{"ProgramDriverLastOtherStatus", PD, Fault::Status, 66, 2, kOther},
        // Verify Driver: the command, blocks 0, 32 and 64.
        FaultCase{"VerifyDriverCommandWrite", VD, Fault::Write, 1, 0, ""},
        FaultCase{"VerifyDriverFirstWrite", VD, Fault::Write, 2, 0, ""},
        FaultCase{"VerifyDriverMiddleWrite", VD, Fault::Write, 34, 0, ""},
        FaultCase{"VerifyDriverLastWrite", VD, Fault::Write, 66, 0, ""},
        FaultCase{"VerifyDriverFirstRead", VD, Fault::Read, 1, 0, ""},
        FaultCase{"VerifyDriverMiddleRead", VD, Fault::Read, 33, 0, ""},
        FaultCase{"VerifyDriverLastRead", VD, Fault::Read, 65, 0, ""},
        FaultCase{"VerifyDriverFirstNotReady", VD, Fault::Status, 1, 0, "Verify Driver not ready at 0"},
        FaultCase{"VerifyDriverMiddleNotReady", VD, Fault::Status, 33, 0, "Verify Driver not ready at 800"},
        FaultCase{"VerifyDriverLastNotReady", VD, Fault::Status, 65, 0, "Verify Driver not ready at 1000"},
        FaultCase{"VerifyDriverFirstOtherStatus", VD, Fault::Status, 1, 2, kOther},
        // The reset and the check after it.
        FaultCase{"ResetWrite", cmd::kResetWriter, Fault::Write, 1, 0, ""},
        FaultCase{"CheckWrite", cmd::kCheckDriver, Fault::Write, 1, 0, ""},
        FaultCase{"CheckRead", cmd::kCheckDriver, Fault::Read, 1, 0, ""},
        FaultCase{"CheckNotReady", cmd::kCheckDriver, Fault::Status, 1, 0, "Driver not ready after reset !!"},
        FaultCase{"CheckOtherStatus", cmd::kCheckDriver, Fault::Status, 1, 2,
                  "Error return value in update action !!"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the shipped files and the simulated Writer -----------------------------------------------

// The devices of the kit: the descriptions that give a ROM size (not the family files they
// include), and the two BIN-only series.
std::vector<std::string> KitDevices() {
  std::vector<std::string> devices;
  const fs::path data = kSourceDir / "data";
  for (const auto& entry : fs::directory_iterator(data / "USE_INC2")) {
    const std::string stem = platform::PathToUtf8(entry.path().stem());
    if (image::IncNumber(data, stem, image::kAssemblySection, image::kKeyBodySize) != -1) devices.push_back(stem);
  }
  devices.emplace_back("VXLARK (BIN)");
  devices.emplace_back("VXWREN (BIN)");
  std::sort(devices.begin(), devices.end());
  return devices;
}

Bytes ReadBytes(const fs::path& file) {
  const std::string text = testing::ReadFileBytes(file);
  return Bytes(text.begin(), text.end());
}

TEST(ShippedFirmware, EveryKitDeviceHasADriverOfOneRelease) {
  const std::vector<std::string> devices = KitDevices();
  ASSERT_GE(devices.size(), 10U);
  std::set<std::pair<std::uint16_t, std::uint16_t>> releases;
  for (const std::string& device : devices) {
    const fs::path file = kProgramDir / "USE_DRV" / platform::PathFromUtf8(device + ".DRV");
    const UpdateFile driver = ScanUpdateFile(UpdatePart::Driver, ReadBytes(file));
    EXPECT_TRUE(driver.holdsVersion) << device;
    EXPECT_EQ(driver.signature, kDriverSignature) << device;
    EXPECT_NE(driver.checksum & 0xFF, 0) << device << ": a checksum whose low byte is 0 would look like an EEPROM job";
    releases.insert({driver.version, driver.date});
  }
  EXPECT_EQ(releases.size(), 1U) << "a Writer updated for one device finds the others current";
  const UpdateFile iap = ScanUpdateFile(UpdatePart::Iap, ReadBytes(kProgramDir / "USE_IAP" / "FLASH_OV.IAP"));
  EXPECT_TRUE(iap.holdsVersion);
  EXPECT_GT(iap.blocks, 0U);
}

TEST(FirmwareUpdateWithSimulatedWriter, FirstLoadUpdatesTheDriverAndLaterLoadsFindItCurrent) {
  if (!fs::exists(kProgramDir / "DLL" / "VX3USBOV3Wt.DLL")) GTEST_SKIP() << "no simulated Writer in the program folder";
  testing::TempDir simDir;
  testing::TempDir logDir;
  testing::SetSimFolder(simDir.path());
  testing::FakeClock clock;
  text::Language language(kProgramDir / "language" / "UIEng.ini");
  text::Reporter reporter(language, clock);
  testing::FakeView view;
  reporter.AttachView(&view);
  reporter.SetProgramDir(logDir.path());
  ProgressWindow progress(clock);
  progress.AttachView(&view);
  link::WriterLink link(std::make_unique<link::DynamicBridgeLibrary>(), reporter, language);
  FirmwareState state;
  const FirmwareUpdate update{{link, reporter, language}, progress, clock, state, kProgramDir, "VXHERON", 0x5A};
  const UpdateFile shipped =
      ScanUpdateFile(UpdatePart::Driver, ReadBytes(kProgramDir / "USE_DRV" / "VXHERON.DRV"));

  // The first load.
  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  ASSERT_TRUE(UpdateIap(update)) << view.status;
  EXPECT_FALSE(state.updatePerformed) << "the Writer's IAP is current";
  ASSERT_TRUE(UpdateDriver(update)) << view.status;
  EXPECT_TRUE(state.updatePerformed) << "the Writer's driver is of another date";
  EXPECT_EQ(clock.slept, std::chrono::seconds(30));
  std::uint16_t version = 0;
  std::uint16_t date = 0;
  ASSERT_TRUE(QueryWriter(update, cmd::kVersionQuery, version, &date));
  EXPECT_EQ(version, shipped.version);
  EXPECT_EQ(date, shipped.date);

  // A later load: nothing to send.
  link.ClearConnected();
  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  ASSERT_TRUE(UpdateIap(update)) << view.status;
  EXPECT_FALSE(state.updatePerformed);
  ASSERT_TRUE(UpdateDriver(update)) << view.status;
  EXPECT_FALSE(state.updatePerformed);
  EXPECT_EQ(clock.slept, std::chrono::seconds(30));
  EXPECT_EQ(view.status, "");
}

}  // namespace
}  // namespace vx3::writer_ops
