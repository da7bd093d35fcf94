// Reading an image for the selected device: the checks with their messages, the format
// versions and capacities, both layouts, checksums through the file, and the side files.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "image/image_checksum.h"
#include "image/image_reader.h"
#include "rolling/rolling_settings.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"
#include "ui_text/message_box.h"
#include "ui_text/reporter.h"

namespace vx3::image {
namespace {

namespace fs = std::filesystem;
// The log's line end on this platform (the file is text: CR LF on Windows).
const std::string kEol(text::kLogLineEnd);
using testing::MakeBody;
using testing::MakeHeader;
using testing::MakeVx3;
using testing::MakeWrapped;
using testing::Vx3HeaderFields;

constexpr std::array<std::uint16_t, 4> kOptions = {0x3FFF, 0x3FFF, 0x3FF0, 0x37F7};

std::string Body(std::size_t words) { return MakeBody(words, kOptions); }

Vx3HeaderFields Header(std::string chip = "VXTEST", std::uint32_t version = 6, std::uint32_t romWords = 0x800,
                       std::uint32_t endAddress = 0x7FF) {
  Vx3HeaderFields h;
  h.chipName = std::move(chip);
  h.formatVersion = version;
  h.romWordsField = romWords;
  h.endAddress = endAddress;
  return h;
}

std::string Vx3(const Vx3HeaderFields& h, std::size_t words = 0x800) { return MakeVx3(h, Body(words)); }

class ImageReaderTest : public ::testing::Test {
 protected:
  ImageReaderTest() : language_(dir_.path() / "language" / "UIEng.ini"), reporter_(language_, clock_) {
    fs::create_directory(dir_.path() / "Writer_Log");
    reporter_.AttachView(&view_);
    reporter_.SetProgramDir(dir_.path());
    testing::WriteDescription(dir_.path(), "VXTEST", ".ASSEMBLY OTP_BODY_SIZE 800h\n.ASSEMBLY PGM_TYPE 2\n");
    SetDevice("VXTEST", 0x800, 2);
  }

  void SetDevice(std::string name, std::uint32_t romWords, std::int32_t otpType) {
    image_.deviceName = std::move(name);
    image_.romWords = romWords;
    image_.romBytes = 2 * romWords;
    image_.otpType = otpType;
  }

  bool Read(const std::string& fileName, const std::string& bytes, bool binOnly = false) {
    image_.imagePath = testing::WriteFileBytes(dir_.path() / "img" / fileName, bytes);
    return ReadImage(image_, binOnly, rolling_, dir_.path(), reporter_, language_);
  }

  std::string Log() const { return testing::ReadFileBytes(dir_.path() / "Writer_Log" / "WT12050803.LOG"); }
  std::string LogPath() const { return (dir_.path() / "Writer_Log" / "WT12050803.LOG").string(); }

  testing::TempDir dir_;
  testing::FakeClock clock_;
  text::Language language_;
  text::Reporter reporter_;
  testing::FakeView view_;
  LoadedImage image_;
  rolling::RollingSettings rolling_;
};

// --- Failures --------------------------------------------------------------------------------

constexpr int kErrorLine = -1;  // warning box, then an error line (no log entry)

struct FailureCase {
  const char* name;
  const char* fileName;
  std::string (*bytes)();
  std::string message;
  int kind;
  bool binOnly = false;
  bool wrapped = false;
  const char* device = "VXTEST";
  std::uint32_t romWords = 0x800;
};

std::string Mismatch(const char* device, const char* chip) {
  return std::string("Device doesn't match .VX3 file\r\n    ( Device = ") + device + " )\r\n    ( Device = " + chip +
         " )\r\n";
}

const std::string kUnknown(kMessageFormatUnknown);

class ReadImageFailureTest : public ImageReaderTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ReadImageFailureTest, ReportsAndFails) {
  const FailureCase& c = GetParam();
  SetDevice(c.device, c.romWords, 2);
  image_.wrappedLayout = c.wrapped;
  image_.loadOk = true;
  EXPECT_FALSE(Read(c.fileName, c.bytes(), c.binOnly));
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, c.message);
  EXPECT_EQ(view_.messages[0].caption, "VX3WT");
  EXPECT_EQ(view_.messages[0].type, text::box::kOk | text::box::kIconExclamation);
  if (c.kind == kErrorLine) {
    EXPECT_EQ(view_.status, "Err: " + c.message + "\r\n");
    EXPECT_EQ(Log(), "");
  } else {
    EXPECT_EQ(view_.status, std::string(text::LogHeadline(c.kind)) + "\r\n   (Check " + LogPath() +
                                " for detailed information)\r\n");
    EXPECT_EQ(Log(), "00001    Sat Dec  5 08:03:16 2026" + kEol + kEol + c.message + kEol + kEol);
  }
  // Only the calibration check clears the load flag itself; the caller clears it for the rest.
  EXPECT_EQ(image_.loadOk, c.message != kMessageRobinCalibration);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadImageFailureTest,
    ::testing::Values(
        FailureCase{"BinOneByteMore", "A.BIN", [] { return Body(0x800) + "\xFF"; }, kUnknown, 12},
        FailureCase{"BinOneByteLess", "A.BIN", [] { return Body(0x800).substr(1); }, kUnknown, 12},
        FailureCase{"BinTooSmallForTheSecurityBits", "A.BIN", [] { return Body(8); }, kUnknown, 12, false, false,
                    "VXTEST", 8},
        FailureCase{"Vx3ForBinOnlyDevice", "A.VX3", [] { return Vx3(Header()); },
                    "Device only supports \".BIN\" file !!", 15, true},
        FailureCase{"Vx3ShorterThanItsHeader", "A.VX3", [] { return std::string(100, '0'); }, kUnknown, 12},
        FailureCase{"Vx3HeaderAlone", "A.VX3", [] { return MakeHeader(Header("VXTEST", 6, 0x800, 0)); }, kUnknown, 12},
        // The body is 16-bit words: a file cut by one byte is damaged, however long it is.
        FailureCase{"Vx3BodyCutByOneByte", "A.VX3",
                    [] {
                      const std::string whole = Vx3(Header("VXTEST", 6, 0x800, 0));
                      return whole.substr(0, whole.size() - 1);
                    },
                    kUnknown, 12},
        FailureCase{"Vx3BodyBelow32Bytes", "A.VX3",
                    [] { return MakeHeader(Header("VXTEST", 6, 0x800, 0)) + std::string(30, '\0'); }, kUnknown, 12},
        FailureCase{"EndAddressAtTheBodysEnd", "A.VX3", [] { return Vx3(Header("VXTEST", 6, 0x800, 0x800)); },
                    kUnknown, 12},
        FailureCase{"ChipMismatch", "A.VX3", [] { return Vx3(Header("VXOTHER")); }, Mismatch("VXTEST", "VXOTHER"), 12},
        FailureCase{"PlainChipWithOtpSuffix", "A.VX3", [] { return Vx3(Header("VXTESTOTP")); },
                    Mismatch("VXTEST", "VXTESTOTP"), 12},
        FailureCase{"EquivalenceIsOneWay", "A.VX3", [] { return Vx3(Header("VXEGRET")); },
                    Mismatch("VXHERON", "VXEGRET"), 12, false, false, "VXHERON", 0x1000},
        FailureCase{"VersionNewer", "A.VX3", [] { return Vx3(Header("VXTEST", 7)); },
                    "The .VX3 file format is newer than IDE software", 13},
        FailureCase{"MaskRomImage", "A.VX3", [] { return Vx3(Header("VXTEST", 2, 0)); },
                    "'CHIP VX3A1XXXA' can not program OTP\r\n   Declare 'CHIP VX3P1XXX' then compile again",
                    kErrorLine},
        FailureCase{"CodeTooLarge", "A.VX3", [] { return Vx3(Header("VXTEST", 6, 0x400, 0x400)); },
                    "Code too large, can't fill to OTP !!!", 12},
        FailureCase{"OldFormatBoundaryBodySmallCapacity", "A.VX3",
                    [] { return Vx3(Header("VXTEST", 1, 0, 0x400), 0x600); }, "Code too large, can't fill to OTP !!!",
                    12},
        FailureCase{"OldFormatSmallBody", "A.VX3", [] { return Vx3(Header("VXTEST", 0, 0, 0x400), 0x5FF); },
                    "Code too large, can't fill to OTP !!!", 12},
        FailureCase{"RobinCalibration", "A.VX3",
                    [] {
                      Vx3HeaderFields h = Header("VXROBIN");
                      h.calMarker = "CAL01";
                      return Vx3(h);
                    },
                    std::string(kMessageRobinCalibration), 12, false, false, "VXROBIN"},
        FailureCase{"RobinCalibrationAnyDeviceCase", "A.VX3",
                    [] {
                      Vx3HeaderFields h = Header("VXROBIN");
                      h.calMarker = "CAL";
                      return Vx3(h);
                    },
                    std::string(kMessageRobinCalibration), 12, false, false, "VxRobin"},
        FailureCase{"WrappedShorterThanItsLayout", "A.VX3", [] { return std::string(303, '\0'); }, kUnknown, 12,
                    false, true},
        FailureCase{"WrappedBinWrongSize", "A.BIN", [] { return MakeWrapped("", Body(0x7FF)); }, kUnknown, 12, false,
                    true},
        FailureCase{"WrappedVx3BodyBelow32Bytes", "A.VX3",
                    [] { return MakeWrapped(MakeHeader(Header("VXTEST", 6, 0x800, 0)), std::string(30, '\0')); },
                    kUnknown, 12, false, true},
        FailureCase{"WrappedVx3BodyOddBytes", "A.VX3",
                    [] { return MakeWrapped(MakeHeader(Header("VXTEST", 6, 0x800, 0)), Body(0x800).substr(1)); },
                    kUnknown, 12, false, true},
        FailureCase{"WrappedVx3ForBinOnlyDevice", "A.VX3", [] { return MakeWrapped(MakeHeader(Header()), Body(0x800)); },
                    "Device only supports \".BIN\" file !!", 15, true, true},
        FailureCase{"WrappedHasNoEquivalenceTable", "A.VX3",
                    [] { return MakeWrapped(MakeHeader(Header("VXHERON", 6, 0x1000, 0x7FF)), Body(0x1000)); },
                    Mismatch("VXEGRET", "VXHERON"), 12, false, true, "VXEGRET", 0x1000},
        FailureCase{"WrappedEndAddress", "A.VX3",
                    [] { return MakeWrapped(MakeHeader(Header("VXTEST", 6, 0x800, 0x800)), Body(0x800)); }, kUnknown,
                    12, false, true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(ImageReaderTest, FileThatDoesNotOpenFailsWithoutAMessage) {
  for (const bool wrapped : {false, true}) {
    image_.wrappedLayout = wrapped;
    image_.imageBuffer.assign(10, 1);
    image_.imagePath = dir_.path() / "img" / "missing.VX3";
    EXPECT_FALSE(ReadImage(image_, false, rolling_, dir_.path(), reporter_, language_));
    image_.imagePath = dir_.path();  // a folder
    EXPECT_FALSE(ReadImage(image_, false, rolling_, dir_.path(), reporter_, language_));
  }
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(view_.status, "");
  EXPECT_TRUE(image_.imageBuffer.empty());
}

// --- Successful reads ------------------------------------------------------------------------

TEST_F(ImageReaderTest, BinOfExactlyTheRomSizeLoads) {
  ASSERT_TRUE(Read("A.BIN", Body(0x800)));
  EXPECT_FALSE(image_.hasHeader);
  EXPECT_EQ(image_.bodyBytes, 0x1000u);
  EXPECT_EQ(image_.checksum, 0xF718);
  EXPECT_EQ(image_.securedChecksum, 0xF955);  // type 2: the high bytes
  EXPECT_TRUE(image_.securityEnabled);        // bit 11 of 37F7 is 0
  EXPECT_EQ(view_.status, "The EPROM check sum is F718\r\n");
  EXPECT_EQ(Log(), "The EPROM check sum is F718" + kEol + kEol);
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(ImageReaderTest, ChecksumLineFollowsTheLanguageFile) {
  testing::WriteFileBytes(dir_.path() / "language" / "UIEng.ini",
                          "[STRING TABLE]\r\nIDS_EPROM_CheckSum=Sum %04x of the ROM\r\n");
  ASSERT_TRUE(Read("A.BIN", Body(0x800)));
  EXPECT_EQ(view_.status, "Sum f718 of the ROM\r\n");
  // A language text that does not fit the number falls back to the built-in one.
  testing::WriteFileBytes(dir_.path() / "language" / "UIEng.ini",
                          "[STRING TABLE]\r\nIDS_EPROM_CheckSum=Sum %s %n\r\n");
  view_.status.clear();
  ASSERT_TRUE(Read("A.BIN", Body(0x800)));
  EXPECT_EQ(view_.status, "The EPROM check sum is F718\r\n");
}

TEST_F(ImageReaderTest, ExtensionInAnyCaseIsAVx3File) {
  ASSERT_TRUE(Read("a.vx3", Vx3(Header())));
  EXPECT_TRUE(image_.hasHeader);
  EXPECT_EQ(image_.bodyBytes, 0x1000u);
  EXPECT_EQ(image_.checksum, 0xF718);
}

TEST_F(ImageReaderTest, EndAddressOneBelowTheBodysWordsPasses) {
  EXPECT_TRUE(Read("A.VX3", Vx3(Header("VXTEST", 6, 0x800, 0x7FF))));
}

TEST_F(ImageReaderTest, SmallestImageHasA32ByteBody) {
  Vx3HeaderFields h = Header("VXTEST", 6, 0x800, 0x0F);
  ASSERT_TRUE(Read("A.VX3", MakeVx3(h, MakeBody(16, kOptions))));
  EXPECT_EQ(image_.bodyBytes, 32u);
}

TEST_F(ImageReaderTest, FieldWithoutDigitsReadsAsZero) {
  Vx3HeaderFields h = Header();
  h.raw = {{0x20, "--------"}, {0x3C, "xyz!"}};  // end address and Auto-Inc word
  ASSERT_TRUE(Read("A.VX3", Vx3(h)));
  EXPECT_EQ(image_.autoIncWord, 0u);
}

struct VersionCase {
  std::uint32_t version;
  std::uint32_t optionOverride;
  std::int32_t otpType;
  std::uint32_t autoIncWord;
};

class ReadImageVersionTest : public ImageReaderTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(ReadImageVersionTest, ReadsTheFieldsOfItsVersion) {
  Vx3HeaderFields h = Header("VXTEST", GetParam().version);
  h.optionOverride = 0x1234;
  h.autoIncWord = 5;
  ASSERT_TRUE(Read("A.VX3", Vx3(h)));
  EXPECT_EQ(image_.optionOverride, GetParam().optionOverride);
  EXPECT_EQ(image_.otpType, GetParam().otpType);
  EXPECT_EQ(image_.autoIncWord, GetParam().autoIncWord);
  EXPECT_EQ(image_.optionToggle, 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, ReadImageVersionTest,
                         ::testing::Values(VersionCase{0, kNoOptionOverride, 1, 1}, VersionCase{1, 0x1234, 1, 1},
                                           VersionCase{2, 0x1234, 1, 1}, VersionCase{3, kNoOptionOverride, 1, 1},
                                           VersionCase{4, kNoOptionOverride, 2, 1},
                                           VersionCase{5, kNoOptionOverride, 2, 5},
                                           VersionCase{6, kNoOptionOverride, 2, 5}));

TEST_F(ImageReaderTest, Version0OrcaImagesToggleTheOptionBit) {
  SetDevice("VXORCA", 0x1000, 1);
  ASSERT_TRUE(Read("A.VX3", Vx3(Header("VXORCA", 0, 0, 0x7FF), 0x1000)));
  EXPECT_EQ(image_.optionToggle, 0x200u);
  ASSERT_TRUE(Read("A.VX3", Vx3(Header("VXORCA", 1, 0, 0x7FF), 0x1000)));
  EXPECT_EQ(image_.optionToggle, 0u);
  ASSERT_TRUE(Read("A.VX3", Vx3(Header("VXORCA", 0, 0, 0x7FF), 0x1000)));
  EXPECT_FALSE(Read("A.BIN", "short"));  // every read starts from the defaults
  EXPECT_EQ(image_.optionToggle, 0u);
  EXPECT_EQ(image_.optionOverride, kNoOptionOverride);
  EXPECT_EQ(image_.autoIncWord, 1u);
}

struct CapacityCase {
  const char* device;
  const char* chip;
  std::uint32_t version;
  std::size_t bodyWords;
  std::uint32_t endAddress;
  bool fits;
};

class OldFormatCapacityTest : public ImageReaderTest, public ::testing::WithParamInterface<CapacityCase> {};

TEST_P(OldFormatCapacityTest, FollowsTheBodySize) {
  SetDevice(GetParam().device, 0x1000, 2);
  EXPECT_EQ(Read("A.VX3", Vx3(Header(GetParam().chip, GetParam().version, 0x800, GetParam().endAddress), GetParam().bodyWords)),
            GetParam().fits);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OldFormatCapacityTest,
    ::testing::Values(CapacityCase{"VXTEST", "VXTEST", 1, 0x600, 0x3FF, true},  // 0xC00 bytes: 0x800
                      CapacityCase{"VXTEST", "VXTEST", 1, 0x600, 0x400, false},
                      CapacityCase{"VXHERON", "VXHERON", 1, 0x600, 0x5FF, true},  // 0x2000 for VXHERON
                      CapacityCase{"VXEGRET", "VXEGRET", 0, 0x600, 0x5FF, true},
                      CapacityCase{"VXEGRET", "VXHERON", 1, 0x600, 0x5FF, true},  // via the table
                      CapacityCase{"VXTEST", "VXTEST", 1, 0x601, 0x5FF, true},    // above: 0x2000
                      CapacityCase{"VXTEST", "VXTEST", 0, 0x1800, 0x1000, false},
                      CapacityCase{"VXTEST", "VXTEST", 0, 0x1800, 0xFFF, true},
                      CapacityCase{"VXTEST", "VXTEST", 1, 0x5FF, 0x3FF, true},  // below: 0x800
                      CapacityCase{"VXTEST", "VXTEST", 2, 0x1800, 0x7FF, true},  // version 2: from the header
                      CapacityCase{"VXTEST", "VXTEST", 2, 0x1800, 0x800, false}));

TEST_F(ImageReaderTest, LowerCaseCalMarkerIsNoCalibrationImage) {
  SetDevice("VXROBIN", 0x800, 2);
  Vx3HeaderFields h = Header("VXROBIN");
  h.calMarker = "cal01";
  EXPECT_TRUE(Read("A.VX3", Vx3(h)));
  h.calMarker = "XCAL";
  EXPECT_TRUE(Read("A.VX3", Vx3(h)));
  h.calMarker = "CAL";
  SetDevice("VXTEST", 0x800, 2);  // other devices take calibration images
  h.chipName = "VXTEST";
  EXPECT_TRUE(Read("A.VX3", Vx3(h)));
}

TEST_F(ImageReaderTest, EepromInfoWordComesFromPlainVx3Files) {
  Vx3HeaderFields h = Header();
  h.eepromInfoWord = 0xA5C3;
  ASSERT_TRUE(Read("A.VX3", Vx3(h)));
  EXPECT_EQ(image_.eepromInfoWord, 0xA5C3u);
  ASSERT_TRUE(Read("A.BIN", Body(0x800)));
  EXPECT_EQ(image_.eepromInfoWord, 0xA5C3u);  // a raw file has no header to take it from
  image_.wrappedLayout = true;
  h.eepromInfoWord = 0x1111;
  ASSERT_TRUE(Read("A.VX3", MakeWrapped(MakeHeader(h), Body(0x800))));
  EXPECT_EQ(image_.eepromInfoWord, 0xA5C3u);
}

TEST(ChipNameTest, EquivalenceTableOfTheKit) {
  const auto table = ChipNameEquivalences();
  ASSERT_EQ(table.size(), 13u);
  std::set<std::string> devices;
  for (const ChipNameRow& row : table) {
    EXPECT_TRUE(devices.insert(std::string(row.device)).second) << row.device;
    const auto names = std::count_if(row.accepted.begin(), row.accepted.end(), [](auto n) { return !n.empty(); });
    EXPECT_GE(names, 1) << row.device;
    for (std::size_t i = static_cast<std::size_t>(names); i < row.accepted.size(); ++i) EXPECT_TRUE(row.accepted[i].empty());
  }
}

struct ChipNameCase {
  const char* device;
  const char* chip;
  bool accepted;
};

class ChipNameAcceptedTest : public ::testing::TestWithParam<ChipNameCase> {};

TEST_P(ChipNameAcceptedTest, Decides) {
  EXPECT_EQ(ChipNameAccepted(GetParam().device, GetParam().chip), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Table, ChipNameAcceptedTest,
                         ::testing::Values(ChipNameCase{"VX3P1020", "VX3P1020", true},
                                           ChipNameCase{"vx3p1020", "VX3P1020", true},
                                           ChipNameCase{"VX3N2210", "VX3N2205", true},
                                           ChipNameCase{"VX3N2210", "vx3n2208", true},
                                           ChipNameCase{"vx3n2210", "VX3N2200", true},
                                           ChipNameCase{"VX3N2205", "VX3N2210", false},
                                           ChipNameCase{"VX3N2210", "VX3P1020", false},
                                           ChipNameCase{"VX3P1040", "VX3P1020", true},
                                           ChipNameCase{"VX3P1020", "VX3P1040", false},
                                           ChipNameCase{"VXTEST", "", false}, ChipNameCase{"", "", true}));

// --- Checksums through the file --------------------------------------------------------------

TEST_F(ImageReaderTest, NewCodeOptionDeviceLeavesOutTheReservedArea) {
  testing::WriteDescription(dir_.path(), "VXNEW",
                            ".ASSEMBLY COMMAND BLANK_CHECK,NEW_CODEOPTION\n.ASSEMBLY USER_ROM_SIZE 700h\n");
  SetDevice("VXNEW", 0x800, 3);
  ASSERT_TRUE(Read("A.BIN", Body(0x800)));
  EXPECT_TRUE(image_.newCodeOption);
  EXPECT_EQ(image_.userRomWords, 0x700);
  EXPECT_EQ(image_.reservedWords, 0x100);
  EXPECT_EQ(image_.checksum, 0xFC4B);
  EXPECT_EQ(image_.securedChecksum, 0x7943);
}

TEST_F(ImageReaderTest, NewCodeOptionCountsOnlyAfterTheCommandsFirstCharacter) {
  testing::WriteDescription(dir_.path(), "VXNEW", ".ASSEMBLY COMMAND NEW_CODEOPTION\n.ASSEMBLY USER_ROM_SIZE 700h\n");
  SetDevice("VXNEW", 0x800, 3);
  image_.newCodeOption = true;
  ASSERT_TRUE(Read("A.BIN", Body(0x800)));
  EXPECT_FALSE(image_.newCodeOption);
  EXPECT_EQ(image_.checksum, 0xF718);
  EXPECT_EQ(image_.securedChecksum, 0xF688);
}

TEST_F(ImageReaderTest, NoUserRomSizeReadsAllOnes) {
  SetDevice("VXTEST", 0x800, 3);
  ASSERT_TRUE(Read("A.BIN", Body(0x800)));
  EXPECT_FALSE(image_.newCodeOption);
  EXPECT_EQ(image_.userRomWords, -1);
  EXPECT_EQ(image_.securedChecksum, 0xF688);
}

// A body that ends early, in the middle of a streaming block, sums as the whole body in memory.
TEST_F(ImageReaderTest, ShortBodyStreamsThroughTheBlocks) {
  SetDevice("VXTEST", 0x800, 3);
  const std::string body = Body(0x800).substr(0, 1002);
  ASSERT_TRUE(Read("A.VX3", MakeHeader(Header("VXTEST", 6, 0x800, 0)) + body));
  EXPECT_EQ(image_.bodyBytes, 1002u);
  ChecksumRules rules;
  rules.otpType = 3;
  rules.userRomWords = image_.userRomWords;
  rules.reservedWords = image_.reservedWords;
  rules.bodyBytes = body.size();
  const Checksums whole = PlainChecksums(
      std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()), rules);
  EXPECT_EQ(image_.checksum, whole.checksum);
  EXPECT_EQ(image_.securedChecksum, whole.securedChecksum);
}

TEST_F(ImageReaderTest, Image128KStreams) {
  SetDevice("VXTEST", 0x10000, 1);
  ASSERT_TRUE(Read("BIG.BIN", MakeBody(0x10000, {0x3FFF, 0x3FFF, 0x3FF0, 0x3FF7})));
  EXPECT_EQ(image_.checksum, 0x004E);
  EXPECT_EQ(image_.securedChecksum, 0xFFD2);
  EXPECT_FALSE(image_.securityEnabled);  // bit 11 of 3FF7 is 1
}

TEST_F(ImageReaderTest, SecurityFromTheDescriptors) {
  SetDevice("VXTEST", 0x800, 3);
  image_.securityOption = 0x020306;  // bits 6-7 of the last word, value 2
  ASSERT_TRUE(Read("A.BIN", MakeBody(0x800, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FBF})));
  EXPECT_TRUE(image_.securityEnabled);
  ASSERT_TRUE(Read("A.BIN", MakeBody(0x800, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF})));
  EXPECT_FALSE(image_.securityEnabled);
}

// --- Wrapped layout --------------------------------------------------------------------------

TEST_F(ImageReaderTest, WrappedChipNameMayEndInOtp) {
  image_.wrappedLayout = true;
  image_.newCodeOption = true;  // the wrapped layout leaves the device's option handling alone
  const std::string file = MakeWrapped(MakeHeader(Header("vxtestOtp")), Body(0x800));
  ASSERT_TRUE(Read("A.VX3", file));
  EXPECT_TRUE(image_.hasHeader);
  EXPECT_EQ(std::string(image_.imageBuffer.begin(), image_.imageBuffer.end()), file.substr(32, file.size() - 48));
  EXPECT_EQ(image_.bodyBytes, 0x1000u);
  EXPECT_EQ(image_.checksum, 0xF718);
  EXPECT_EQ(image_.securedChecksum, 0xF688);  // odd words, whatever the type
  EXPECT_TRUE(image_.newCodeOption);
  EXPECT_EQ(view_.status, "");  // no checksum line
  EXPECT_EQ(Log(), "");
}

TEST_F(ImageReaderTest, WrappedBinSkipsTheHeaderArea) {
  image_.wrappedLayout = true;
  ASSERT_TRUE(Read("A.BIN", MakeWrapped("not a header at all", Body(0x800))));
  EXPECT_FALSE(image_.hasHeader);
  EXPECT_EQ(image_.imageBuffer.size(), 256u + 0x1000u);
  EXPECT_EQ(image_.checksum, 0xF718);
  EXPECT_TRUE(image_.securityEnabled);
}

TEST_F(ImageReaderTest, WrappedVersionRulesApply) {
  image_.wrappedLayout = true;
  SetDevice("VXORCA", 0x1000, 2);
  Vx3HeaderFields h = Header("VXORCAOTP", 0, 0, 0x7FF);
  ASSERT_TRUE(Read("A.VX3", MakeWrapped(MakeHeader(h), Body(0x1000))));
  EXPECT_EQ(image_.optionToggle, 0x200u);
  EXPECT_EQ(image_.otpType, 1);
}

// --- Side files ------------------------------------------------------------------------------

TEST_F(ImageReaderTest, SideFilesAreReadAfterTheImage) {
  testing::WriteFileBytes(dir_.path() / "img" / "IMG.INI", "[Rolling Code]\r\nWay=INI\r\n");
  testing::WriteCopyControl(dir_.path(), "VXTEST", "1");
  rolling_.method = rolling::RollingMethod::AutoInc;
  ASSERT_TRUE(Read("IMG.VX3", Vx3(Header())));
  EXPECT_EQ(rolling_.iniPath, dir_.path() / "img" / "IMG.INI");
  EXPECT_TRUE(rolling_.iniExists);
  EXPECT_EQ(rolling_.method, rolling::RollingMethod::NotUsed);
  EXPECT_TRUE(image_.copyFileExists);
  EXPECT_TRUE(image_.loadOtpEnabled);

  ASSERT_TRUE(Read("OTHER.BIN", Body(0x800)));
  EXPECT_EQ(rolling_.iniPath, dir_.path() / "img" / "OTHER.INI");
  EXPECT_FALSE(rolling_.iniExists);
}

TEST_F(ImageReaderTest, FailedReadLeavesTheSideFilesAlone) {
  rolling_.iniPath = "before";
  EXPECT_FALSE(Read("A.BIN", "short"));
  EXPECT_EQ(rolling_.iniPath, fs::path("before"));
}

struct IniPathCase {
  const char* image;
  const char* ini;
};

class RollingIniPathTest : public ::testing::TestWithParam<IniPathCase> {};

// The file name's extension is replaced, or ".INI" appended: the INI is never the image itself,
// and a dot in a folder name is no extension.
TEST_P(RollingIniPathTest, ReplacesTheFileNamesExtension) {
  EXPECT_EQ(RollingIniPath(GetParam().image), fs::path(GetParam().ini));
}

INSTANTIATE_TEST_SUITE_P(Table, RollingIniPathTest,
                         ::testing::Values(IniPathCase{"/img/Remote.VX3", "/img/Remote.INI"},
                                           IniPathCase{"/img/Remote.bin", "/img/Remote.INI"},
                                           IniPathCase{"/img/a.b.VX3", "/img/a.b.INI"},
                                           IniPathCase{"/img/Remote", "/img/Remote.INI"},
                                           IniPathCase{"/img.v2/Remote", "/img.v2/Remote.INI"},
                                           IniPathCase{"/img/Remote.", "/img/Remote.INI"}));

// An INI written by a Windows tool in another letter case is the image's INI.
TEST(RollingIniPath, FindsTheIniInAnyCase) {
  testing::TempDir dir;
  const fs::path ini = testing::WriteFileBytes(dir.path() / "remote.ini", "[Rolling Code]\n");
  // The same file (a Windows file system answers to either spelling).
  EXPECT_TRUE(fs::equivalent(RollingIniPath(dir.path() / "Remote.VX3"), ini));
  // The exact name, when it is there too, comes first.
  const fs::path exact = testing::WriteFileBytes(dir.path() / "Remote.INI", "[Rolling Code]\n");
  EXPECT_TRUE(fs::equivalent(RollingIniPath(dir.path() / "Remote.VX3"), exact));
}

}  // namespace
}  // namespace vx3::image
