// Reading a chip back: the request per chunk, the file and its name, the checksum, the security
// decision, the progress line, Load OTP's read, the listing, and every failure at every chunk.
#include <algorithm>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "image/side_files.h"
#include "link/command_codes.h"
#include "platform/utf8_path.h"
#include "support/fake_bridge.h"
#include "support/image_builder.h"
#include "writer_ops/read_back.h"

namespace vx3::writer_ops {
namespace {

namespace fs = std::filesystem;
namespace cmd = link::command;
using testing::FakeLink;
using testing::ReadFileBytes;
using Bytes = std::vector<std::uint8_t>;

const std::string kWriteFailTwice = "Err: USB write data fail !!!\r\nErr: USB write data fail !!!\r\n";
const std::string kReadFailTwice = "Err: USB read error on transfer !!!\r\nErr: USB read data fail !!!\r\n";

// Byte i of what the chip in the tests holds.
std::uint8_t ChipByte(std::size_t i) { return static_cast<std::uint8_t>(i * 37 + 11); }

Bytes ChipBytes(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = ChipByte(i);
  return bytes;
}

std::string AsText(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

// What an earlier, complete read left in the read-back file.
const std::string kEarlierRead = "an earlier chip's complete read";

// The names in `folder`: a read that breaks off leaves no temporary file beside its file.
std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The line a read that broke off ends with.
std::string BrokeOffLine(std::size_t arrived, std::size_t wanted, const std::filesystem::path& file) {
  return fmt::format("Err: Read broke off: {} of {} bytes arrived; {} is left as it was.\r\n", arrived, wanted,
                     platform::PathToUtf8(file));
}

std::uint16_t Sum(const Bytes& bytes) {
  return static_cast<std::uint16_t>(std::accumulate(bytes.begin(), bytes.end(), 0U));
}

Bytes ReadPacket(std::uint8_t code, std::uint16_t chunks) {
  const link::Packet packet = link::MakeCommandPacket(code, chunks);
  return {packet.begin(), packet.end()};
}

class ReadBackTest : public ::testing::Test {
 protected:
  ReadBackTest() {
    // A device of type 1 whose description names no security option: the chip's own protect
    // bit (bit 11 of the last option word, active low) decides.
    testing::WriteDescription(dir(), "VX3T0100", ".ASSEMBLY OTP_BODY_SIZE 20h\r\n.ASSEMBLY PGM_TYPE 7\r\n");
    image_.deviceName = "VX3T0100";
    image_.imagePath = dir() / "job" / "code.VX3";
    fs::create_directories(dir() / "job");
    SetRomBytes(64);
    EXPECT_TRUE(link_.Connect());
  }

  const fs::path& dir() const { return link_.dir.path(); }
  fs::path BbbFile() const { return dir() / "job" / "code.BBB"; }

  void SetRomBytes(std::uint32_t romBytes) {
    image_.romBytes = romBytes;
    image_.romWords = romBytes / 2;
  }
  // The chip's replies, 16 bytes each, from ChipBytes.
  void QueueChip(std::size_t chunks) {
    const Bytes bytes = ChipBytes(chunks * 16);
    for (std::size_t c = 0; c < chunks; ++c) {
      link::Reply reply{};
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(c * 16), 16, reply.begin());
      link_.bridge.QueueReply(reply);
    }
  }
  bool Read(std::uint8_t code = cmd::kReadChip) {
    return ReadToFile({link_.services(), dir(), progress_, dir()}, image_, state_, code);
  }

  FakeLink link_;
  image::LoadedImage image_;
  ReadBackState state_;
  ReadProgressLine* progress_ = nullptr;
};

TEST_F(ReadBackTest, ReadsEveryChunkWithTheSameRequestIntoTheFile) {
  QueueChip(4);
  state_.checksum = 0x5555;  // a former read's sum does not carry over

  ASSERT_TRUE(Read());

  EXPECT_EQ(link_.bridge.written, std::vector<Bytes>(4, ReadPacket(cmd::kReadChip, 4)));
  EXPECT_EQ(link_.bridge.reads, 4);
  EXPECT_EQ(ReadFileBytes(BbbFile()), AsText(ChipBytes(64)));
  EXPECT_EQ(state_.checksum, Sum(ChipBytes(64)));
  EXPECT_TRUE(state_.fileMade);
  EXPECT_EQ(image_.otpType, 7);  // as the description has it, not normalised
  EXPECT_EQ(link_.view.status, "");
}

TEST_F(ReadBackTest, ChecksumWrapsAtSixteenBits) {
  SetRomBytes(0x2000);  // 512 chunks of 0xFF: 0x1FE000 bytes summed
  link::Reply blank{};
  blank.fill(0xFF);
  for (int i = 0; i < 512; ++i) link_.bridge.QueueReply(blank);
  ASSERT_TRUE(Read());
  EXPECT_EQ(state_.checksum, static_cast<std::uint16_t>(0x2000 * 0xFF));
  EXPECT_EQ(ReadPacket(cmd::kReadChip, 512), link_.bridge.written.front());
}

TEST_F(ReadBackTest, PartialLastChunkIsNotRead) {
  SetRomBytes(40);  // two whole chunks and 8 bytes
  QueueChip(3);

  ASSERT_TRUE(Read());

  EXPECT_EQ(link_.bridge.written, std::vector<Bytes>(2, ReadPacket(cmd::kReadChip, 2)));
  EXPECT_EQ(ReadFileBytes(BbbFile()), AsText(ChipBytes(32)));
  EXPECT_EQ(state_.checksum, Sum(ChipBytes(32)));
}

TEST_F(ReadBackTest, AreaBelowOneChunkMakesAnEmptyFileAndSendsNothing) {
  SetRomBytes(15);
  ASSERT_TRUE(Read());
  EXPECT_EQ(link_.bridge.writes, 0);
  ASSERT_TRUE(fs::exists(BbbFile()));
  EXPECT_EQ(fs::file_size(BbbFile()), 0U);
  EXPECT_FALSE(image_.securityEnabled);  // nothing read counts as blank
}

TEST_F(ReadBackTest, OverwritesAnEarlierFile) {
  testing::WriteFileBytes(BbbFile(), std::string(1000, 'x'));
  QueueChip(4);
  ASSERT_TRUE(Read());
  EXPECT_EQ(ReadFileBytes(BbbFile()), AsText(ChipBytes(64)));
}

// Security is judged on the last 32 bytes read: bit 11 of the last word, active low, for this
// device.
struct SecurityCase {
  const char* name;
  std::uint32_t romBytes;
  std::uint8_t lastByte;  // high byte of the last word read
  bool secured;
};

class ReadBackSecurityTest : public ReadBackTest, public ::testing::WithParamInterface<SecurityCase> {};

TEST_P(ReadBackSecurityTest, DecidesFromTheLastWord) {
  const SecurityCase& c = GetParam();
  SetRomBytes(c.romBytes);
  image_.securityEnabled = !c.secured;
  const std::size_t chunks = c.romBytes / 16;
  for (std::size_t i = 0; i < chunks; ++i) {
    link::Reply reply{};
    reply.fill(0xFF);
    if (i + 1 == chunks) reply[15] = c.lastByte;
    link_.bridge.QueueReply(reply);
  }
  ASSERT_TRUE(Read());
  EXPECT_EQ(image_.securityEnabled, c.secured);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadBackSecurityTest,
                         ::testing::Values(SecurityCase{"ProtectBitClear", 64, 0xF7, true},
                                           SecurityCase{"ProtectBitSet", 64, 0xFF, false},
                                           SecurityCase{"OneChunkProtectBitClear", 16, 0xF7, true},
                                           SecurityCase{"OneChunkProtectBitSet", 16, 0x08, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadBackTest, FileThatCannotBeMadeIsNamedAndNothingIsSent) {
  image_.imagePath = dir() / "no such folder" / "code.VX3";
  state_.checksum = 0x1234;

  EXPECT_FALSE(Read());

  const fs::path wanted = dir() / "no such folder" / "code.BBB";
  EXPECT_EQ(link_.view.status,
            fmt::format("Err: Can't create the read-back file {} !!!\r\n", platform::PathToUtf8(wanted)));
  EXPECT_EQ(link_.bridge.writes, 0);
  EXPECT_EQ(link_.bridge.reads, 0);
  EXPECT_EQ(state_.checksum, 0);
  EXPECT_FALSE(state_.fileMade);
}

TEST_F(ReadBackTest, AreaBeyondWhatTheRequestCanCountIsRefused) {
  SetRomBytes(0x10000 * 16);
  EXPECT_FALSE(Read());
  EXPECT_EQ(link_.view.status, "Err: The ROM area of 1048576 bytes is too large to read !!!\r\n");
  EXPECT_EQ(link_.bridge.writes, 0);
  EXPECT_FALSE(fs::exists(BbbFile()));
}

// Every transfer of a four-chunk read failing in turn, and replies whose first byte looks like
// a status: reads carry data only, so those are data like any other.
enum class Fault { FailedWrite, FailedRead, FirstByteZero, FirstByteOther };

struct ReadFaultCase {
  const char* name;
  Fault fault;
  int chunk;  // 1 to 4
};

class ReadBackFaultTest : public ReadBackTest, public ::testing::WithParamInterface<ReadFaultCase> {};

TEST_P(ReadBackFaultTest, EndsAtOnceWithItsMessageAndKeepsWhatWasRead) {
  const ReadFaultCase& c = GetParam();
  Bytes chip = ChipBytes(64);
  if (c.fault == Fault::FirstByteZero) chip[(c.chunk - 1) * 16] = 0x00;
  if (c.fault == Fault::FirstByteOther) chip[(c.chunk - 1) * 16] = 0x07;
  for (int i = 0; i < 4; ++i) {
    link::Reply reply{};
    std::copy_n(chip.begin() + i * 16, 16, reply.begin());
    link_.bridge.QueueReply(reply);
  }
  if (c.fault == Fault::FailedWrite) link_.bridge.failWriteAt = c.chunk;
  if (c.fault == Fault::FailedRead) link_.bridge.failReadAt = c.chunk;
  testing::WriteFileBytes(BbbFile(), kEarlierRead);

  const bool read = Read();

  const bool failing = c.fault == Fault::FailedWrite || c.fault == Fault::FailedRead;
  if (!failing) {
    EXPECT_TRUE(read);
    EXPECT_EQ(link_.view.status, "");
    EXPECT_EQ(ReadFileBytes(BbbFile()), AsText(chip));
    EXPECT_EQ(FolderNames(dir() / "job"), std::vector<std::string>{"code.BBB"});
    EXPECT_EQ(state_.checksum, Sum(chip));
    return;
  }
  EXPECT_FALSE(read);
  EXPECT_EQ(link_.view.status, (c.fault == Fault::FailedWrite ? kWriteFailTwice : kReadFailTwice) +
                                   BrokeOffLine((c.chunk - 1) * 16, 64, BbbFile()));
  // Nothing after the failed transfer: no further request, no further read.
  EXPECT_EQ(link_.bridge.writes, c.chunk);
  EXPECT_EQ(link_.bridge.reads, c.fault == Fault::FailedWrite ? c.chunk - 1 : c.chunk);
  const Bytes arrived(chip.begin(), chip.begin() + (c.chunk - 1) * 16);
  // The earlier read stays byte for byte, with nothing beside it.
  EXPECT_EQ(ReadFileBytes(BbbFile()), kEarlierRead);
  EXPECT_EQ(FolderNames(dir() / "job"), std::vector<std::string>{"code.BBB"});
  EXPECT_EQ(state_.checksum, Sum(arrived));
  EXPECT_FALSE(state_.fileMade);
  EXPECT_FALSE(link_.link.connected());
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, ReadBackFaultTest,
    ::testing::Values(ReadFaultCase{"WriteFailsAtChunk1", Fault::FailedWrite, 1},
                      ReadFaultCase{"WriteFailsAtChunk2", Fault::FailedWrite, 2},
                      ReadFaultCase{"WriteFailsAtChunk3", Fault::FailedWrite, 3},
                      ReadFaultCase{"WriteFailsAtChunk4", Fault::FailedWrite, 4},
                      ReadFaultCase{"ReadFailsAtChunk1", Fault::FailedRead, 1},
                      ReadFaultCase{"ReadFailsAtChunk2", Fault::FailedRead, 2},
                      ReadFaultCase{"ReadFailsAtChunk3", Fault::FailedRead, 3},
                      ReadFaultCase{"ReadFailsAtChunk4", Fault::FailedRead, 4},
                      ReadFaultCase{"ZeroFirstByteAtChunk1", Fault::FirstByteZero, 1},
                      ReadFaultCase{"ZeroFirstByteAtChunk3", Fault::FirstByteZero, 3},
                      ReadFaultCase{"ZeroFirstByteAtChunk4", Fault::FirstByteZero, 4},
                      ReadFaultCase{"OtherFirstByteAtChunk1", Fault::FirstByteOther, 1},
                      ReadFaultCase{"OtherFirstByteAtChunk3", Fault::FirstByteOther, 3},
                      ReadFaultCase{"OtherFirstByteAtChunk4", Fault::FirstByteOther, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadBackTest, ReadFailingInItsThirdChunkWithoutAnEarlierFileLeavesNothing) {
  QueueChip(4);
  link_.bridge.failReadAt = 3;
  EXPECT_FALSE(Read());
  EXPECT_FALSE(fs::exists(BbbFile()));
  EXPECT_EQ(FolderNames(dir() / "job"), std::vector<std::string>{});
  EXPECT_EQ(state_.checksum, Sum(ChipBytes(32)));
  EXPECT_EQ(link_.view.status, kReadFailTwice + BrokeOffLine(32, 64, BbbFile()));
}

TEST_F(ReadBackTest, NotConnectedSendsNothingAndSaysWhy) {
  link_.link.ClearConnected();
  EXPECT_FALSE(Read());
  EXPECT_EQ(link_.bridge.writes, 0);
  EXPECT_EQ(link_.view.status, "Err: USB write data fail !!!\r\n" + BrokeOffLine(0, 64, BbbFile()));
  EXPECT_FALSE(fs::exists(BbbFile()));
}

TEST_F(ReadBackTest, BrokeOffLineFollowsTheLanguageFile) {
  testing::WriteFileBytes(dir() / "language" / "UIChina.ini",
                          "[STRING TABLE]\r\nIDS_MESSAGE_ReadBrokeOff=read %d/%d, kept %s\r\n");
  link_.language.SetFile(dir() / "language" / "UIChina.ini");
  QueueChip(4);
  link_.bridge.failReadAt = 4;
  EXPECT_FALSE(Read());
  EXPECT_EQ(link_.view.status.substr(kReadFailTwice.size()),
            fmt::format("Err: read 48/64, kept {}\r\n", platform::PathToUtf8(BbbFile())));
}

// The file names a read goes to, with and without an image, for a read and for Load OTP.
struct NameCase {
  const char* name;
  bool imageLoaded;
  bool loadOtp;
  const char* expected;  // relative to the test folder (or to the current folder without an image)
};

class ReadBackNameTest : public ReadBackTest, public ::testing::WithParamInterface<NameCase> {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    fs::current_path(dir() / "job");
  }
  void TearDown() override { fs::current_path(saved_); }
  fs::path saved_;
};

TEST_P(ReadBackNameTest, WritesTheFileTheFlagAsksFor) {
  const NameCase& c = GetParam();
  if (!c.imageLoaded) image_.imagePath.clear();
  fs::create_directories(dir() / "Load_OTP");
  state_.loadOtpRead = c.loadOtp;
  QueueChip(4);

  ASSERT_TRUE(Read(c.loadOtp ? cmd::kReadChipForLoadOtp : cmd::kReadChip));

  const fs::path expected = c.imageLoaded ? dir() / c.expected : dir() / "job" / c.expected;
  EXPECT_EQ(ReadFileBytes(expected), AsText(ChipBytes(64))) << expected;
  EXPECT_EQ(link_.bridge.written.front()[0], c.loadOtp ? cmd::kReadChipForLoadOtp : cmd::kReadChip);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadBackNameTest,
                         ::testing::Values(NameCase{"ImageRead", true, false, "job/code.BBB"},
                                           NameCase{"ImageLoadOtp", true, true, "Load_OTP/VX3T0100.LOD"},
                                           NameCase{"NoImageRead", false, false, "KELVA.BBB"},
                                           NameCase{"NoImageLoadOtp", false, true, "KELVA.LOD"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadBackTest, LoadFromChipMakesTheLodFileTheImage) {
  fs::create_directories(dir() / "Load_OTP");
  image_.hasHeader = true;
  QueueChip(4);

  EXPECT_TRUE(LoadFromChip({link_.services(), dir(), nullptr, dir()}, image_, state_));

  const fs::path lod = dir() / "Load_OTP" / "VX3T0100.LOD";
  EXPECT_EQ(link_.bridge.written, std::vector<Bytes>(4, ReadPacket(cmd::kReadChipForLoadOtp, 4)));
  EXPECT_EQ(ReadFileBytes(lod), AsText(ChipBytes(64)));
  EXPECT_EQ(image_.imagePath, lod);
  EXPECT_FALSE(image_.hasHeader);
  EXPECT_FALSE(state_.loadOtpRead);
  EXPECT_EQ(state_.checksum, Sum(ChipBytes(64)));
}

// A Load OTP read that breaks off keeps the .LOD file (an earlier chip's, or none) and the image.
struct LoadOtpBreakCase {
  const char* name;
  bool earlierFile;
  int failReadAt;  // 1 to 4
};

class LoadFromChipBreakTest : public ReadBackTest, public ::testing::WithParamInterface<LoadOtpBreakCase> {};

TEST_P(LoadFromChipBreakTest, KeepsTheLodFileAndTheImage) {
  const LoadOtpBreakCase& c = GetParam();
  const fs::path lod = dir() / "Load_OTP" / "VX3T0100.LOD";
  fs::create_directories(lod.parent_path());
  if (c.earlierFile) testing::WriteFileBytes(lod, kEarlierRead);
  image_.hasHeader = true;
  QueueChip(4);
  link_.bridge.failReadAt = c.failReadAt;

  EXPECT_FALSE(LoadFromChip({link_.services(), dir(), nullptr, dir()}, image_, state_));

  EXPECT_EQ(image_.imagePath, dir() / "job" / "code.VX3");
  EXPECT_TRUE(image_.hasHeader);
  EXPECT_EQ(fs::exists(lod), c.earlierFile);
  if (c.earlierFile) {
    EXPECT_EQ(ReadFileBytes(lod), kEarlierRead);
  }
  EXPECT_EQ(FolderNames(lod.parent_path()),
            c.earlierFile ? std::vector<std::string>{"VX3T0100.LOD"} : std::vector<std::string>{});
  EXPECT_FALSE(state_.loadOtpRead);
  EXPECT_EQ(link_.view.status, kReadFailTwice + BrokeOffLine((c.failReadAt - 1) * 16, 64, lod));
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadFromChipBreakTest,
                         ::testing::Values(LoadOtpBreakCase{"FirstChunkOverEarlierFile", true, 1},
                                           LoadOtpBreakCase{"SecondChunkOverEarlierFile", true, 2},
                                           LoadOtpBreakCase{"LastChunkOverEarlierFile", true, 4},
                                           LoadOtpBreakCase{"SecondChunkWithoutFile", false, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadBackTest, ProgressLineOfAQuickReadShowsFirstAndLastChunk) {
  SetRomBytes(100 * 16);
  QueueChip(100);
  std::vector<std::string> shown;
  ReadProgressLine line(link_.clock, [&](std::string_view text) { shown.emplace_back(text); });
  progress_ = &line;
  ASSERT_TRUE(Read());
  EXPECT_EQ(shown, (std::vector<std::string>{"Read : 000010", "Read : 000640"}));
}

class ReadBreaksOffTest : public ReadBackTest, public ::testing::WithParamInterface<std::uint32_t> {};

// The Writer's reply to request N + 1 is lost after N good chunks of a quick read: the line shows
// the bytes actually read; the read-back file is not made.
TEST_P(ReadBreaksOffTest, ProgressLineShowsTheBytesRead) {
  const std::uint32_t good = GetParam();
  SetRomBytes(100 * 16);
  QueueChip(good);
  std::vector<std::string> shown;
  ReadProgressLine line(link_.clock, [&](std::string_view text) { shown.emplace_back(text); });
  progress_ = &line;
  EXPECT_FALSE(Read());
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), fmt::format("Read : {:06X}", good * 16));
  EXPECT_FALSE(fs::exists(BbbFile()));
}

INSTANTIATE_TEST_SUITE_P(GoodChunks, ReadBreaksOffTest, ::testing::Values(1U, 2U, 4U, 18U, 98U, 99U));

TEST(ReadProgressLine, ShowsAgainOnceTheIntervalHasPassed) {
  testing::FakeClock clock;
  std::vector<std::string> shown;
  ReadProgressLine line(clock, [&](std::string_view text) { shown.emplace_back(text); });
  line.Step(0, 8192);
  line.Step(1, 8192);
  clock.steady += std::chrono::milliseconds(29);
  line.Step(2, 8192);
  clock.steady += std::chrono::milliseconds(1);
  line.Step(3, 8192);
  line.Step(4, 8192);
  line.Step(8191, 8192);
  EXPECT_EQ(shown, (std::vector<std::string>{"Read : 000010", "Read : 000040", "Read : 020000"}));
}

TEST(ReadProgressLine, WithoutSinkShowsNothing) {
  testing::FakeClock clock;
  ReadProgressLine line(clock, nullptr);
  line.Step(0, 1);  // must not call an empty function
  SUCCEED();
}

// --- the listing ---

struct ListingCase {
  std::uint32_t byteOffset;
  std::array<std::uint8_t, 16> row;
  const char* line;
};

class ListingLineTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(ListingLineTest, WordAddressThenEightWordsHighByteFirst) {
  const ListingCase& c = GetParam();
  EXPECT_EQ(ListingLine(c.byteOffset, c.row), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListingLineTest,
    ::testing::Values(
        ListingCase{0x20,
                    {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xF0, 0xDE, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x80, 0x0A, 0xA0},
                    "000010 : 1234 5678 9ABC DEF0 - 0000 FFFF 8001 A00A"},
        ListingCase{0, {}, "000000 : 0000 0000 0000 0000 - 0000 0000 0000 0000"},
        ListingCase{0x1FFF0,
                    {0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xF7, 0x3F},
                    "00FFF8 : 3FFF 3FFF 3FFF 3FFF - 3FFF 3FFF 3FFF 3FF7"},
        // Word addresses beyond six digits are shown whole, as %06X does.
        ListingCase{0x2000000, {}, "1000000 : 0000 0000 0000 0000 - 0000 0000 0000 0000"}));

class ListingTest : public ::testing::Test {
 protected:
  std::size_t List(const fs::path& file, std::uint32_t romBytes) {
    return ListReadBackFile(link_.reporter, file, romBytes);
  }
  std::string Head(const fs::path& file) const {
    return fmt::format("Check {} for all datas\r\n", platform::PathToUtf8(file));
  }
  FakeLink link_;
};

TEST_F(ListingTest, ListsEveryRowAfterItsHead) {
  const fs::path file = link_.dir.WriteFile("code.BBB", AsText(ChipBytes(48)));
  EXPECT_EQ(List(file, 48), 3U);
  const Bytes bytes = ChipBytes(48);
  std::string expected = Head(file);
  for (std::uint32_t row = 0; row < 3; ++row) {
    expected += ListingLine(row * 16, std::span<const std::uint8_t, 16>(bytes.data() + row * 16, 16)) + "\r\n";
  }
  EXPECT_EQ(link_.view.status, expected);
  EXPECT_EQ(expected.substr(Head(file).size(), 52), "000000 : 300B 7A55 C49F 0EE9 - 5833 A27D ECC7 3611\r\n");
}

struct ListingRowsCase {
  const char* name;
  std::size_t fileBytes;
  std::uint32_t romBytes;
  std::size_t rows;
};

class ListingRowsTest : public ListingTest, public ::testing::WithParamInterface<ListingRowsCase> {};

TEST_P(ListingRowsTest, StopsAtTheAreaOrAtTheFirstShortRow) {
  const ListingRowsCase& c = GetParam();
  const fs::path file = link_.dir.WriteFile("code.BBB", AsText(ChipBytes(c.fileBytes)));
  EXPECT_EQ(List(file, c.romBytes), c.rows);
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = link_.view.status.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, c.rows + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, ListingRowsTest,
                         ::testing::Values(ListingRowsCase{"WholeFile", 64, 64, 4},
                                           ListingRowsCase{"AreaShorterThanFile", 64, 40, 2},
                                           ListingRowsCase{"ShortLastRow", 40, 64, 2},
                                           ListingRowsCase{"PartialReadOfThree", 32, 64, 2},
                                           ListingRowsCase{"EmptyFile", 0, 64, 0},
                                           ListingRowsCase{"NoArea", 64, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListingTest, FileThatCannotBeOpenedListsNothing) {
  EXPECT_EQ(List(link_.dir.path() / "missing.BBB", 64), 0U);
  EXPECT_EQ(link_.view.status, "");
}

}  // namespace
}  // namespace vx3::writer_ops
