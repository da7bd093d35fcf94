// The EEPROM download: the job header byte for byte, the body from each source with its
// option-word rules, the Writer's answers and every fault, against a scripted bridge; and a
// sample image downloaded into the simulated Writer and programmed into a chip.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "device_select/chip_history.h"
#include "support/temp_dir.h"
#include "image/device_file.h"
#include "image/image_header.h"
#include "image/image_reader.h"
#include "image/side_files.h"
#include "link/bridge_library.h"
#include "link/command_codes.h"
#include "platform/utf8_path.h"
#include "support/fake_bridge.h"
#include "support/image_builder.h"
#include "ui_text/reporter.h"
#include "writer_ops/chip_actions.h"
#include "writer_ops/eeprom_download.h"

namespace vx3::writer_ops {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;


Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A download over a scripted bridge, in a program folder of its own with a log folder.
class EepromDownloadTest : public ::testing::Test {
 protected:
  EepromDownloadTest() {
    progress.AttachView(&fake.view);
    fs::create_directories(fake.dir.path() / "Writer_Log");
  }

  void SetUp() override { ASSERT_TRUE(fake.Connect()); }

  EepromDownload Job() { return {fake.services(), image, rolling, header, progress, fake.dir.path()}; }

  void Describe(std::string_view device, std::string_view text) {
    testing::WriteDescription(fake.dir.path(), device, text);
  }

  // A raw image (no header) of `bytes` for a device of `romBytes`.
  void UseRawImage(std::string_view device, std::uint32_t romBytes, std::string_view bytes,
                   std::string_view fileName = "JOB.BIN") {
    image.imagePath = testing::WriteFileBytes(fake.dir.path() / fileName, bytes);
    image.deviceName = device;
    image.hasHeader = false;
    image.wrappedLayout = false;
    image.romWords = romBytes / 2;
    image.romBytes = romBytes;
  }

  // A plain .VX3 image: the header, then `body`.
  void UseVx3Image(std::string_view device, std::uint32_t romBytes, const testing::Vx3HeaderFields& fields,
                   std::string_view body, std::string_view fileName = "JOB.VX3") {
    image.imagePath = testing::WriteFileBytes(fake.dir.path() / fileName, testing::MakeVx3(fields, body));
    image.deviceName = device;
    image.hasHeader = true;
    image.wrappedLayout = false;
    image.romWords = romBytes / 2;
    image.romBytes = romBytes;
    image.bodyBytes = static_cast<std::uint32_t>(body.size());
  }

  // Status 1 for `count` replies, except reply `at` (counted from 1), which carries `status`.
  void Answer(std::size_t count, std::size_t at = 0, std::uint8_t status = link::status::kOk) {
    for (std::size_t i = 1; i <= count; ++i) fake.bridge.QueueStatus(i == at ? status : link::status::kOk);
  }

  // The body blocks that went out (after the command and the two header blocks), joined.
  Bytes SentBody() const {
    Bytes body;
    const auto& written = fake.bridge.written;
    for (std::size_t i = 3; i < written.size(); ++i) body.insert(body.end(), written[i].begin(), written[i].end());
    return body;
  }

  Bytes SentHeader() const {
    Bytes sent = fake.bridge.written.at(1);
    const Bytes& second = fake.bridge.written.at(2);
    sent.insert(sent.end(), second.begin(), second.end());
    return sent;
  }

  std::string LogText() const { return testing::ReadFileBytes(fake.reporter.logPath()); }

  testing::FakeLink fake;
  ProgressWindow progress{fake.clock};
  image::LoadedImage image;
  rolling::RollingSettings rolling;
  EepromHeader header;
};

// --- the header -------------------------------------------------------------------------------

TEST_F(EepromDownloadTest, HeaderCarriesTheImageByteForByte) {
  // A header as the last read-back left it: what the download does not set stays.
  header.bytes.fill(0xEE);
  Describe("VX3P1020", ".ASSEMBLY OTP_BODY_SIZE 800h\n.ASSEMBLY PGM_TYPE 0x123\n");
  testing::Vx3HeaderFields fields;
  fields.chipName = "VX3P1020";
  fields.endAddress = 0x5FF;
  fields.romWordsField = 0x800;
  UseVx3Image("VX3P1020", 0x1000, fields, testing::MakeBody(0x800, {0x3FFF, 0x3FFF, 0x3FF0, 0x3FF7}, 0x600));
  image.checksum = 0xF158;
  image.securedChecksum = 0x725C;
  image.eepromInfoWord = 0x5AC3;
  Answer(2 + 64);

  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel)) << fake.view.status;

  std::array<std::uint8_t, kEepromHeaderSize> expected{};
  expected.fill(0xEE);
  std::fill_n(expected.begin(), 8, 0);  // rolling code off
  expected[80] = 0xC3;                  // eepromInfoWord
  expected[81] = 0x5A;
  const std::string_view name = "VX3P1020        ";  // the header's chip name field as the file has it
  std::copy(name.begin(), name.end(), expected.begin() + 96);
  expected[112] = 0;
  expected[121] = 0x5C;  // securedChecksum
  expected[122] = 0x72;
  expected[123] = 0x23;  // PGM_TYPE, low byte
  expected[124] = 0xFF;  // romWords - 1
  expected[125] = 0x07;
  expected[126] = 0x58;  // checksum
  expected[127] = 0xF1;
  EXPECT_EQ(header.bytes, expected);
  EXPECT_EQ(SentHeader(), Bytes(expected.begin(), expected.end()));
  EXPECT_EQ(header.bytes[26], 0xEE) << "the verify-without-rolling flag belongs to the rolling dialog";
}

TEST_F(EepromDownloadTest, UnsetEepromInfoWordGoesOutAsAllOnes) {
  Describe("VXLARK", "");
  UseRawImage("VXLARK", 0x40, std::string(0x40, '\x01'));
  Answer(3);
  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel));
  EXPECT_EQ(header.bytes[80], 0xFF);
  EXPECT_EQ(header.bytes[81], 0xFF);
}

struct ProgramTypeCase {
  const char* name;
  const char* description;  // nullptr: the device has no description file
  std::uint8_t expected;
};

class EepromProgramTypeTest : public EepromDownloadTest, public ::testing::WithParamInterface<ProgramTypeCase> {};

TEST_P(EepromProgramTypeTest, IsTheDescriptionsLowByte) {
  if (GetParam().description != nullptr) Describe("VXDEV", GetParam().description);
  UseRawImage("VXDEV", 0x40, std::string(0x40, '\x01'));
  Answer(3);
  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel)) << fake.view.status;
  EXPECT_EQ(header.bytes[header_offset::kProgramType], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EepromProgramTypeTest,
    ::testing::Values(ProgramTypeCase{"Plain", ".ASSEMBLY PGM_TYPE 3\n", 3},
                      // as described, not as the load normalised it (12 loads as type 3)
                      ProgramTypeCase{"NotNormalised", ".ASSEMBLY PGM_TYPE 12\n", 12},
                      ProgramTypeCase{"LowByteOnly", ".ASSEMBLY PGM_TYPE 0x123\n", 0x23},
                      ProgramTypeCase{"KeyMissing", ".ASSEMBLY OTP_BODY_SIZE 20h\n", 0xFF},
                      ProgramTypeCase{"NoDescription", nullptr, 0xFF}),
    [](const auto& info) { return std::string(info.param.name); });

struct ChipNameCase {
  const char* name;
  const char* fileName;
  bool wrapped;
  const char* expected;  // nullptr: the bytes keep what they held
};

class EepromChipNameTest : public EepromDownloadTest, public ::testing::WithParamInterface<ChipNameCase> {};

TEST_P(EepromChipNameTest, ComesFromVx3ImagesOnly) {
  const ChipNameCase& c = GetParam();
  header.bytes.fill(0xEE);
  Describe("VXDEV", "");
  const std::string body(0x40, '\x01');
  testing::Vx3HeaderFields fields;
  fields.chipName = "VXDEV";
  if (c.wrapped) {
    // The file starts with a 32-byte prefix; the chip name is the buffer's.
    const std::string file = testing::MakeWrapped(testing::MakeHeader(fields), body);
    UseRawImage("VXDEV", 0x40, file, c.fileName);
    image.wrappedLayout = true;
    image.imageBuffer = ToBytes(std::string_view(file).substr(32, file.size() - 48));
  } else {
    UseRawImage("VXDEV", 0x40, testing::MakeVx3(fields, body), c.fileName);
    image.bodyBytes = 0x40;
  }
  image.hasHeader = image::HasExtension(image.imagePath, {".VX3"});
  Answer(3);
  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel)) << fake.view.status;
  const Bytes name(header.bytes.begin() + 96, header.bytes.begin() + 112);
  if (c.expected == nullptr) {
    EXPECT_EQ(name, Bytes(16, 0xEE));
  } else {
    EXPECT_EQ(name, ToBytes(c.expected));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, EepromChipNameTest,
                         ::testing::Values(ChipNameCase{"Vx3", "JOB.VX3", false, "VXDEV           "},
                                           ChipNameCase{"LowerCaseExtension", "job.vx3", false, "VXDEV           "},
                                           ChipNameCase{"WrappedFromBuffer", "JOB.VX3", true, "VXDEV           "},
                                           ChipNameCase{"RawImageKeepsIt", "JOB.BIN", false, nullptr},
                                           ChipNameCase{"OnlyTheLastExtension", "JOB.VX3.BIN", false, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the wire ---------------------------------------------------------------------------------

struct ActionCase {
  const char* name;
  std::uint8_t action;
  const char* lastStep;
  bool addsHistory;
};

class EepromWireTest : public EepromDownloadTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(EepromWireTest, EightKilobyteImage) {
  const ActionCase& c = GetParam();
  Describe("VX3P1060", ".ASSEMBLY PGM_TYPE 1\n.ASSEMBLY COMMAND BLANK_CHECK,PROGRAM,VERIFY\n");
  std::string rom(8192, '\0');
  for (std::size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<char>(testing::PatternByte(i));
  UseRawImage("VX3P1060", 8192, rom);
  Answer(130);

  ASSERT_TRUE(EepromAction(Job(), c.action, kEepromJobLabel)) << fake.view.status;

  const auto& written = fake.bridge.written;
  ASSERT_EQ(written.size(), 131U);
  const link::Packet command = link::MakeCommandPacket(c.action, 130);
  EXPECT_EQ(written[0], Bytes(command.begin(), command.end()));
  EXPECT_EQ(fake.bridge.reads, 130) << "every header and body block is answered";
  // After the connect: the command, then each block followed by its reply.
  std::vector<std::string> expected = {"Load", "OpenDevice", "CloseDevice", "Write"};
  for (int i = 0; i < 130; ++i) {
    expected.emplace_back("Write");
    expected.emplace_back("Read");
  }
  EXPECT_EQ(fake.bridge.calls, expected);
  EXPECT_EQ(SentBody(), ToBytes(rom));
  EXPECT_EQ(fake.view.status, "");
  EXPECT_TRUE(fake.view.progressShown);
  EXPECT_EQ(fake.view.progressCaption, "Writer");
  EXPECT_EQ(fake.view.progressText, c.lastStep);
  EXPECT_EQ(fake.view.progressPercent, 127 * 100 / 128);
  const std::vector<std::string> history = device_select::ReadChipHistory(device_select::HistoryPath(fake.dir.path()));
  EXPECT_EQ(history, c.addsHistory ? std::vector<std::string>{"VX3P1060"} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Actions, EepromWireTest,
                         ::testing::Values(ActionCase{"Program", kEepromProgram, "Program : 002000", false},
                                           ActionCase{"Verify", kEepromVerify, "Verify : 002000", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the body sources -------------------------------------------------------------------------

struct OptionWordCase {
  const char* name;
  std::size_t bodyWords;
  std::uint32_t toggle;
  std::uint32_t override;
  std::uint16_t expectedWord;
};

class EepromOptionWordTest : public EepromDownloadTest, public ::testing::WithParamInterface<OptionWordCase> {};

TEST_P(EepromOptionWordTest, LastRomWordOfAPlainVx3) {
  const OptionWordCase& c = GetParam();
  constexpr std::uint32_t kRomBytes = 0x400;  // 16 blocks
  Describe("VXORCA", ".ASSEMBLY PGM_TYPE 1\n");
  const std::string body = testing::MakeBody(c.bodyWords, {0x3FFF, 0x3FFF, 0x3FF0, 0x3FF7}, c.bodyWords - 4);
  testing::Vx3HeaderFields fields;
  fields.chipName = "VXORCA";
  UseVx3Image("VXORCA", kRomBytes, fields, body);
  image.optionToggle = c.toggle;
  image.optionOverride = c.override;
  Answer(2 + 16);

  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel)) << fake.view.status;
  const Bytes stream = SentBody();
  ASSERT_EQ(stream.size(), kRomBytes);
  const std::size_t kept = std::min<std::size_t>(body.size(), kRomBytes) - 2;
  const Bytes file = ToBytes(body);
  EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(kept), file.begin()));
  // The body's own last word and everything past it up to the option word: zero.
  EXPECT_TRUE(std::all_of(stream.begin() + static_cast<std::ptrdiff_t>(kept), stream.end() - 2,
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(stream[kRomBytes - 2], c.expectedWord & 0xFF);
  EXPECT_EQ(stream[kRomBytes - 1], c.expectedWord >> 8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EepromOptionWordTest,
    ::testing::Values(OptionWordCase{"FilesOwnWord", 0x200, 0, image::kNoOptionOverride, 0x3FF7},
                      OptionWordCase{"Toggled", 0x200, 0x200, image::kNoOptionOverride, 0x3DF7},
                      OptionWordCase{"OverrideWinsOverToggle", 0x200, 0x200, 0x3F7F, 0x3F7F},
                      OptionWordCase{"OverrideLow16Bits", 0x200, 0, 0x12345, 0x2345},
                      // 600 body bytes in a ROM of 1,024: blocks 10 to 15 carry nothing but the
                      // option word at the very end.
                      OptionWordCase{"ShortBody", 300, 0, image::kNoOptionOverride, 0x3FF7},
                      OptionWordCase{"ShortBodyToggled", 300, 0x200, image::kNoOptionOverride, 0x3DF7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EepromDownloadTest, ShortBodyLeavesWholeBlocksZero) {
  Describe("VXORCA", "");
  const std::string body = testing::MakeBody(300, {0x3FFF, 0x3FFF, 0x3FF0, 0x3FF7});
  UseVx3Image("VXORCA", 0x400, {}, body);
  Answer(2 + 16);
  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel));
  const auto& written = fake.bridge.written;
  ASSERT_EQ(written.size(), 3U + 16U);
  for (std::size_t block = 10; block < 15; ++block) EXPECT_EQ(written[3 + block], Bytes(64, 0)) << block;
  Bytes last(64, 0);
  last[62] = 0xF7;
  last[63] = 0x3F;
  EXPECT_EQ(written[3 + 15], last);
}

TEST_F(EepromDownloadTest, RawSourceShorterThanTheStreamIsPaddedWithZero) {
  Describe("VXLARK", "");
  UseRawImage("VXLARK", 0x400, std::string(1000, '\x5A'));
  Answer(2 + 16);
  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel));
  Bytes expected(1000, 0x5A);
  expected.resize(0x400, 0);
  EXPECT_EQ(SentBody(), expected);
}

TEST_F(EepromDownloadTest, WrappedSourceIsTheBufferAfterItsHeaderArea) {
  Describe("VX3F2040", ".ASSEMBLY COMMAND BLANK_CHECK,PROGRAM,VERIFY,NEW_CODEOPTION\n");
  // The file on disk is only opened; the blocks come from the buffer, which here ends 24 bytes
  // into the option block.
  UseRawImage("VX3F2040", 0x100, std::string(0x200, '\x77'));
  image.wrappedLayout = true;
  Bytes buffer(256, 0xEE);
  for (std::size_t i = 0; i < 0x100 + 24; ++i) buffer.push_back(static_cast<std::uint8_t>(i));
  image.imageBuffer = buffer;
  Answer(2 + 5);

  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel)) << fake.view.status;
  EXPECT_EQ(fake.bridge.written[0][1], 2 + 5);
  Bytes expected(buffer.begin() + 256, buffer.end());
  expected.resize(5 * 64, 0);
  EXPECT_EQ(SentBody(), expected);
}

struct CommandCase {
  const char* name;
  const char* description;
  std::uint32_t extraBlocks;
};

class EepromOptionBlockTest : public EepromDownloadTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(EepromOptionBlockTest, AddsTheOptionBlock) {
  Describe("VX3N2210", GetParam().description);
  Describe("VX3N_FAMILY", ".ASSEMBLY COMMAND BLANK_CHECK,PROGRAM,NEW_CODEOPTION\n");
  UseRawImage("VX3N2210", 0x200, std::string(0x200, '\x11'));
  Answer(2 + 8 + GetParam().extraBlocks);
  ASSERT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel)) << fake.view.status;
  const std::uint32_t blocks = 8 + GetParam().extraBlocks;
  EXPECT_EQ(fake.bridge.written[0][1], 2 + blocks);
  EXPECT_EQ(fake.bridge.written.size(), 3 + blocks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EepromOptionBlockTest,
    ::testing::Values(CommandCase{"Later", ".ASSEMBLY COMMAND BLANK_CHECK,PROGRAM,VERIFY,NEW_CODEOPTION\n", 1},
                      CommandCase{"AtTheStart", ".ASSEMBLY COMMAND NEW_CODEOPTION,PROGRAM\n", 0},
                      // the first mention decides, as when the image was loaded
                      CommandCase{"FirstMentionAtTheStart", ".ASSEMBLY COMMAND NEW_CODEOPTION,X,NEW_CODEOPTION\n", 0},
                      CommandCase{"FromAnIncludedFile", "INCLUDE VX3N_FAMILY.INC\n", 1},
                      CommandCase{"NoCommand", ".ASSEMBLY PGM_TYPE 3\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NamesNewCodeOption, AnywhereButTheFirstCharacter) {
  EXPECT_TRUE(NamesNewCodeOption("PROGRAM,NEW_CODEOPTION"));
  EXPECT_TRUE(NamesNewCodeOption(" NEW_CODEOPTION"));
  EXPECT_FALSE(NamesNewCodeOption("NEW_CODEOPTION"));
  EXPECT_FALSE(NamesNewCodeOption(""));
  EXPECT_FALSE(NamesNewCodeOption("PROGRAM,NEW_CODE"));
}

// --- the Writer's answers and the faults ------------------------------------------------------

TEST_F(EepromDownloadTest, HeaderBlockMayBeAnsweredWithAnyNonzeroStatus) {
  Describe("VXLARK", "");
  UseRawImage("VXLARK", 0x80, std::string(0x80, '\x01'));
  fake.bridge.QueueStatus(2);
  fake.bridge.QueueStatus(0xFF);
  Answer(2);
  EXPECT_TRUE(EepromAction(Job(), kEepromProgram, kEepromJobLabel)) << fake.view.status;
  EXPECT_EQ(fake.view.status, "");
}

TEST_F(EepromDownloadTest, BodyBlockAnsweredWithStatusTwoEndsTheDownload) {
  Describe("VXLARK", "");
  UseRawImage("VXLARK", 0x80, std::string(0x80, '\x01'));
  Answer(4, 3, 2);
  EXPECT_FALSE(EepromAction(Job(), kEepromProgram, kEepromJobLabel));
  const std::string text = "Error return value in program or verify mode (2)!!";
  EXPECT_EQ(fake.view.status, text + "\r\n");
  EXPECT_EQ(LogText(), text::PlainLogEntry(text, text::kLogLineEnd));
  EXPECT_EQ(fake.bridge.written.size(), 4U) << "nothing after the refused block";
}

TEST_F(EepromDownloadTest, ImageFileThatCannotBeOpenedStopsBeforeAnythingIsSent) {
  Describe("VXLARK", "");
  UseRawImage("VXLARK", 0x80, "");
  image.imagePath = fake.dir.path() / "GONE.BIN";
  EXPECT_FALSE(EepromAction(Job(), kEepromProgram, kEepromJobLabel));
  EXPECT_EQ(fake.view.status, "Err: Can't open the .VX3/.BIN file !!!\r\n");
  EXPECT_TRUE(fake.bridge.written.empty());
}

TEST_F(EepromDownloadTest, RollingLabelNamesTheJob) {
  Describe("VXLARK", "");
  UseRawImage("VXLARK", 0x80, std::string(0x80, '\x01'));
  Answer(4, 4, 0);
  EXPECT_FALSE(EepromAction(Job(), kEepromVerify, kRollingJobLabel));
  EXPECT_EQ(fake.view.status, "The Rolling Code verify not ready at 40\r\n");
}

// Transfers are counted from 1 after the connect, over a job of 8 body blocks: write 1 is the
// command, 2 and 3 the header blocks, 4 to 11 the body; read n answers write n + 1. The command
// packet gets no reply of its own, so it can only fail to go out.
enum class Fault { Write, Read, Status };

struct FaultCase {
  const char* name;
  std::uint8_t action;
  Fault fault;
  int at;              // the failing write or read
  std::uint8_t status;  // Fault::Status: the reply's status
  const char* message;  // the logged text of a refusal
  int kind;             // its log kind
};

class EepromFaultTest : public EepromDownloadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(EepromFaultTest, StopsAtOnceWithItsMessage) {
  const FaultCase& c = GetParam();
  Describe("VXLARK", "");
  UseRawImage("VXLARK", 0x200, std::string(0x200, '\x01'));
  switch (c.fault) {
    case Fault::Write:
      fake.bridge.failWriteAt = c.at;
      Answer(10);
      break;
    case Fault::Read:
      fake.bridge.failReadAt = c.at;
      Answer(10);
      break;
    case Fault::Status:
      Answer(10, static_cast<std::size_t>(c.at), c.status);
      break;
  }
  const int filesBefore = testing::OpenFileCount();
  const std::uint32_t eventBefore = fake.reporter.eventNumber();

  EXPECT_FALSE(EepromAction(Job(), c.action, kEepromJobLabel));

  const int lastWrite = c.fault == Fault::Write ? c.at : c.at + 1;
  EXPECT_EQ(fake.bridge.writes, lastWrite) << "nothing is sent after the failure";
  EXPECT_EQ(fake.bridge.reads, c.fault == Fault::Write ? std::max(0, c.at - 2) : c.at);
  EXPECT_TRUE(fake.view.messages.empty());
  EXPECT_EQ(testing::OpenFileCount(), filesBefore);
  switch (c.fault) {
    case Fault::Write:
    case Fault::Read:
      EXPECT_EQ(fake.view.status, c.fault == Fault::Write ? testing::kWriteFailLines : testing::kReadFailLines);
      EXPECT_FALSE(fake.link.connected());
      EXPECT_EQ(fake.reporter.eventNumber(), eventBefore);
      EXPECT_TRUE(fake.reporter.logPath().empty()) << "nothing logged";
      break;
    case Fault::Status:
      if (c.kind == 1) {
        EXPECT_EQ(fake.view.status, std::string(c.message) + "\r\n");
        EXPECT_EQ(LogText(), text::PlainLogEntry(c.message, text::kLogLineEnd));
        EXPECT_EQ(fake.reporter.eventNumber(), eventBefore + 1);
      } else {
        EXPECT_EQ(fake.view.status, "EEPROM has some problems !!\r\n   (Check " +
                                        platform::PathToUtf8(fake.reporter.logPath()) +
                                        " for detailed information)\r\n");
        EXPECT_EQ(LogText(), text::NumberedLogEntry(eventBefore + 1, fake.clock.LocalNow(), c.message,
                                                    text::kLogLineEnd));
        EXPECT_EQ(fake.reporter.eventNumber(), eventBefore + 2);
      }
      break;
  }
}

constexpr std::uint8_t P = kEepromProgram;
constexpr std::uint8_t V = kEepromVerify;

INSTANTIATE_TEST_SUITE_P(
    Matrix, EepromFaultTest,
    ::testing::Values(
        FaultCase{"ProgramCommandWrite", P, Fault::Write, 1, 0, "", 0},
        FaultCase{"ProgramHeader0Write", P, Fault::Write, 2, 0, "", 0},
        FaultCase{"ProgramHeader1Write", P, Fault::Write, 3, 0, "", 0},
        FaultCase{"ProgramFirstBodyWrite", P, Fault::Write, 4, 0, "", 0},
        FaultCase{"ProgramMiddleBodyWrite", P, Fault::Write, 8, 0, "", 0},
        FaultCase{"ProgramLastBodyWrite", P, Fault::Write, 11, 0, "", 0},
        FaultCase{"ProgramHeader0Read", P, Fault::Read, 1, 0, "", 0},
        FaultCase{"ProgramHeader1Read", P, Fault::Read, 2, 0, "", 0},
        FaultCase{"ProgramFirstBodyRead", P, Fault::Read, 3, 0, "", 0},
        FaultCase{"ProgramMiddleBodyRead", P, Fault::Read, 7, 0, "", 0},
        FaultCase{"ProgramLastBodyRead", P, Fault::Read, 10, 0, "", 0},
        FaultCase{"ProgramHeader0Refused", P, Fault::Status, 1, 0, "Fill EEPROM Information fail at 0", 9},
        FaultCase{"ProgramHeader1Refused", P, Fault::Status, 2, 0, "Fill EEPROM Information fail at 40", 9},
        FaultCase{"ProgramFirstBodyNotReady", P, Fault::Status, 3, 0, "The EEPROM program not ready at 0", 1},
        FaultCase{"ProgramMiddleBodyNotReady", P, Fault::Status, 7, 0, "The EEPROM program not ready at 100", 1},
        FaultCase{"ProgramLastBodyNotReady", P, Fault::Status, 10, 0, "The EEPROM program not ready at 1C0", 1},
        FaultCase{"ProgramFirstBodyOtherStatus", P, Fault::Status, 3, 2,
                  "Error return value in program or verify mode (2)!!", 1},
        FaultCase{"ProgramMiddleBodyOtherStatus", P, Fault::Status, 7, 0x80,
                  "Error return value in program or verify mode (80)!!", 1},
        FaultCase{"ProgramLastBodyOtherStatus", P, Fault::Status, 10, 0xFF,
                  "Error return value in program or verify mode (FF)!!", 1},
        FaultCase{"VerifyCommandWrite", V, Fault::Write, 1, 0, "", 0},
        FaultCase{"VerifyHeader0Write", V, Fault::Write, 2, 0, "", 0},
        FaultCase{"VerifyHeader1Write", V, Fault::Write, 3, 0, "", 0},
        FaultCase{"VerifyFirstBodyWrite", V, Fault::Write, 4, 0, "", 0},
        FaultCase{"VerifyMiddleBodyWrite", V, Fault::Write, 8, 0, "", 0},
        FaultCase{"VerifyLastBodyWrite", V, Fault::Write, 11, 0, "", 0},
        FaultCase{"VerifyHeader0Read", V, Fault::Read, 1, 0, "", 0},
        FaultCase{"VerifyHeader1Read", V, Fault::Read, 2, 0, "", 0},
        FaultCase{"VerifyFirstBodyRead", V, Fault::Read, 3, 0, "", 0},
        FaultCase{"VerifyMiddleBodyRead", V, Fault::Read, 7, 0, "", 0},
        FaultCase{"VerifyLastBodyRead", V, Fault::Read, 10, 0, "", 0},
        FaultCase{"VerifyHeader0Refused", V, Fault::Status, 1, 0, "Fill EEPROM Information fail at 0", 9},
        FaultCase{"VerifyHeader1Refused", V, Fault::Status, 2, 0, "Fill EEPROM Information fail at 40", 9},
        FaultCase{"VerifyFirstBodyNotReady", V, Fault::Status, 3, 0, "The EEPROM verify not ready at 0", 1},
        FaultCase{"VerifyMiddleBodyNotReady", V, Fault::Status, 7, 0, "The EEPROM verify not ready at 100", 1},
        FaultCase{"VerifyLastBodyNotReady", V, Fault::Status, 10, 0, "The EEPROM verify not ready at 1C0", 1},
        FaultCase{"VerifyFirstBodyOtherStatus", V, Fault::Status, 3, 2,
                  "Error return value in program or verify mode (2)!!", 1},
        FaultCase{"VerifyMiddleBodyOtherStatus", V, Fault::Status, 7, 0x80,
                  "Error return value in program or verify mode (80)!!", 1},
        FaultCase{"VerifyLastBodyOtherStatus", V, Fault::Status, 10, 0xFF,
                  "Error return value in program or verify mode (FF)!!", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// --- against the simulated Writer -------------------------------------------------------------

TEST(EepromDownloadWithSimulatedWriter, SampleImageGoesThroughTheWriterOntoAChip) {
  if (!fs::exists(kProgramDir / "DLL" / "VX3USBOV3Wt.DLL")) GTEST_SKIP() << "no simulated Writer in the program folder";
  testing::TempDir simDir;
  testing::TempDir programDir;  // description files, the log and the chip history of this test
  testing::SetSimFolder(simDir.path());
  fs::copy(kProgramDir / "USE_INC2", programDir.path() / "USE_INC2", fs::copy_options::recursive);
  fs::copy(kProgramDir / "Symbol", programDir.path() / "Symbol", fs::copy_options::recursive);
  fs::create_directories(programDir.path() / "Writer_Log");

  // VXHERON, header version 1: a body of 0xC00 bytes in a ROM of 0x2000, and an option word
  // that replaces the last ROM word. The kit's sample, or the same image made here.
  const fs::path imagePath = programDir.path() / "VXHERON.VX3";
  if (fs::exists(kProgramDir / "samples" / "VXHERON.VX3")) {
    fs::copy_file(kProgramDir / "samples" / "VXHERON.VX3", imagePath);
  } else {
    testing::Vx3HeaderFields fields;
    fields.chipName = "VXHERON";
    fields.formatVersion = 1;
    fields.endAddress = 0x5FF;
    fields.optionOverride = 0x3F7F;
    const std::string body = testing::MakeBody(0x600, {0x3FFF, 0x3FFF, 0x3FF0, 0x3FF7});
    testing::WriteFileBytes(imagePath, testing::MakeVx3(fields, body));
  }

  testing::FakeClock clock;
  text::Language language(kProgramDir / "language" / "UIEng.ini");
  text::Reporter reporter(language, clock);
  testing::FakeView view;
  reporter.AttachView(&view);
  reporter.SetProgramDir(programDir.path());
  ProgressWindow progress(clock);
  progress.AttachView(&view);

  // The device steps of a load, then the image.
  const fs::path dir = programDir.path();
  image::LoadedImage image;
  image.deviceName = "VXHERON";
  std::string instrument;
  image::IncLookup(dir, "VXHERON", image::kAssemblySection, image::kKeyInstrument, instrument);
  ASSERT_TRUE(image::ReadSymbolFile(image, instrument, dir, reporter)) << view.status;
  image.romWords =
      static_cast<std::uint32_t>(image::IncNumber(dir, "VXHERON", image::kAssemblySection, image::kKeyBodySize));
  image.romBytes = 2 * image.romWords;
  image.otpType = image::IncNumber(dir, "VXHERON", image::kAssemblySection, image::kKeyProgramType);
  image.securityOption = image::IncOption(dir, "VXHERON", image::kAssemblySection, image::kKeyOption,
                                          image::kOptionSecurity, image::kValueEnable);
  image.imagePath = imagePath;
  rolling::RollingSettings rolling;
  ASSERT_TRUE(image::ReadImage(image, false, rolling, dir, reporter, language)) << view.status;
  ASSERT_EQ(image.romBytes, 0x2000U);
  ASSERT_EQ(image.bodyBytes, 0xC00U);

  link::WriterLink link(std::make_unique<link::DynamicBridgeLibrary>(), reporter, language);
  const WriterServices writer{link, reporter, language};
  EepromHeader header;
  const EepromDownload job{writer, image, rolling, header, progress, dir, dir};

  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  ASSERT_TRUE(EepromAction(job, kEepromProgram, kEepromJobLabel)) << view.status;
  ASSERT_TRUE(EepromAction(job, kEepromVerify, kEepromJobLabel)) << view.status;
  EXPECT_EQ(device_select::ReadChipHistory(device_select::HistoryPath(dir)), std::vector<std::string>{"VXHERON"});

  // The Writer holds the header as it was sent.
  link.ClearConnected();
  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  EepromHeader readBack;
  ASSERT_TRUE(ReadBackHeader(writer, link::command::kReadHeader, readBack));
  EXPECT_EQ(readBack.bytes, header.bytes);

  // An on-line Program puts the job onto the blank chip in the socket.
  link.ClearConnected();
  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  ASSERT_TRUE(ChipAction(writer, link::command::kProgramChip, {image.romBytes, image.checksum})) << view.status;

  // Read the chip back, 16 bytes per request: the body, its last word and the rest of the ROM
  // zero, and the header's option word as the last ROM word.
  link.ClearConnected();
  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  const auto requests = static_cast<std::uint16_t>(image.romBytes / link::kReplySize);
  Bytes chip;
  for (std::uint16_t i = 0; i < requests; ++i) {
    ASSERT_TRUE(link.SendWriterCommand(link::command::kReadChip, requests));
    link::Reply reply{};
    ASSERT_NE(link.UsbRead(reply), 0);
    chip.insert(chip.end(), reply.begin(), reply.end());
  }
  const std::string file = testing::ReadFileBytes(imagePath);
  Bytes expected(file.begin() + 256, file.end() - 2);
  expected.resize(image.romBytes - 2, 0);
  expected.push_back(0x7F);
  expected.push_back(0x3F);
  EXPECT_EQ(chip, expected);
  EXPECT_EQ(view.status.find("Err"), std::string::npos) << view.status;
}

}  // namespace
}  // namespace vx3::writer_ops
