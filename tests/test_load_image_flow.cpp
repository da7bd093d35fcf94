// The image load flow on a fake window with both dialogs answered in advance: chooser first and
// file first, the BIN-only series, the symbol step, the device parameters, the image step and
// what the window shows; every sample of the program folder, from a folder whose path holds
// spaces, a dot and Chinese characters.
#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/load_image_flow.h"
#include "device_select/device_chooser.h"
#include "image/image_header.h"
#include "platform/utf8_path.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "ui_text/reporter.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;
using testing::ChooserAnswer;
using testing::MakeBody;
using testing::MakeHeader;
using testing::MakeVx3;
using testing::MakeWrapped;
using testing::ReadFileBytes;
using testing::Vx3HeaderFields;
using testing::WriteFileBytes;

// A program folder name with spaces, a dot and Chinese characters.
const fs::path kProgramFolderName = platform::PathFromUtf8("Writer 程序 v1.2");

constexpr std::array<std::uint16_t, 4> kSecurityOff = {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF};
constexpr std::array<std::uint16_t, 4> kSecurityOn = {0x3FFF, 0x3FFF, 0x3FFF, 0x37FF};

const char* const kPlainDescription =
    ".ASSEMBLY INSTRUMENT VXT\n.ASSEMBLY OTP_BODY_SIZE 800h\n.ASSEMBLY PGM_TYPE 2\n";
const char* const kNoSymbolDescription =
    ".ASSEMBLY INSTRUMENT NOSYM\n.ASSEMBLY OTP_BODY_SIZE 800h\n.ASSEMBLY PGM_TYPE 1\n";

std::string Vx3Image(const std::string& chip, std::uint32_t version = 6, std::size_t words = 0x800) {
  Vx3HeaderFields h;
  h.chipName = chip;
  h.formatVersion = version;
  h.romWordsField = static_cast<std::uint32_t>(words);
  h.endAddress = static_cast<std::uint32_t>(words - 1);
  return MakeVx3(h, MakeBody(words, kSecurityOff));
}

class LoadImageFlowTest : public ::testing::Test {
 protected:
  LoadImageFlowTest() : programDir_(dir_.path() / kProgramFolderName), context_(locale_, clock_) {
    fs::create_directories(programDir_);
    context_.state.programDir = programDir_;
    context_.reporter.SetProgramDir(programDir_);
    context_.reporter.AttachView(&view_);
    context_.language.SetFile(programDir_ / "language" / "UIEng.ini");
    Driver("VXTEST");
    testing::WriteDescription(programDir_, "VXTEST", kPlainDescription);
    testing::WriteSymbolFile(programDir_, "VXT", {"MOV", "NOP"});
  }

  void Driver(const std::string& type) { WriteFileBytes(programDir_ / "USE_DRV" / (type + ".DRV"), "driver"); }
  fs::path Image(const std::string& name, std::string_view bytes) {
    return WriteFileBytes(programDir_ / "images" / platform::PathFromUtf8(name), bytes);
  }

  void Run(bool chooserFirst) {
    context_.state.useChooser = chooserFirst;
    context_.state.directLoad = !chooserFirst;
    context_.image.loadOk = true;
    LoadImageFlow(context_, view_);
  }
  // Chooser first: the type `device` of its own series, then `file` (empty: cancel).
  void LoadByChooser(const std::string& device, const fs::path& file) {
    view_.chooserAnswers.push_back({true, SeriesOf(device), device});
    if (!file.empty()) view_.fileAnswers.push_back(file);
    Run(true);
    EXPECT_TRUE(view_.chooserMisses.empty()) << device;
  }
  void LoadByFile(const fs::path& file) {
    view_.fileAnswers.push_back(file);
    Run(false);
  }
  // The series entry that lists `device`.
  std::string SeriesOf(const std::string& device) const {
    const auto files = device_select::ListDriverFiles(programDir_ / "USE_DRV");
    for (const std::string& series : device_select::SeriesList(files, false)) {
      const auto types = device_select::TypesOfSeries(files, series);
      if (std::find(types.begin(), types.end(), device) != types.end()) return series;
    }
    return "(" + device + " is in no series)";
  }

  std::string Text(int id) const { return view_.ControlText(id); }
  bool Enabled(int id) const { return view_.controls.count(id) != 0 && view_.controls.at(id).enabled; }
  bool Touched(int id) const { return view_.controls.count(id) != 0; }
  std::string Log() const { return ReadFileBytes(context_.reporter.logPath()); }

  // A loaded image: the file name, the checksum caption and value, every button that fits.
  void ExpectLoaded(const fs::path& file) {
    const image::LoadedImage& image = context_.image;
    EXPECT_TRUE(image.loadOk);
    EXPECT_EQ(image.imagePath, file);
    EXPECT_EQ(Text(ctl::kFileName), platform::PathToUtf8(file));
    EXPECT_EQ(Text(ctl::kChecksumCaption), "VX3 Check Sum : ");
    const std::string security = image.securityEnabled ? "(Security option enable)" : "";
    EXPECT_EQ(image.checksumText, fmt::format(" {:04X} {}", image.checksum, security));
    EXPECT_EQ(Text(ctl::kChecksum), image.checksumText);
    for (const int id : ctl::kOperationButtons) EXPECT_TRUE(Enabled(id)) << id;
  }
  // No image: the name label emptied, only Blank Check and Read enabled.
  void ExpectNoImage() {
    EXPECT_TRUE(context_.image.imagePath.empty());
    EXPECT_EQ(Text(ctl::kFileName), "");
    for (const int id : {ctl::kAutoProgram, ctl::kProgram, ctl::kVerify, ctl::kRollingCode}) {
      EXPECT_FALSE(Enabled(id)) << id;
    }
    EXPECT_TRUE(Enabled(ctl::kBlankCheck));
    EXPECT_TRUE(Enabled(ctl::kRead));
    EXPECT_FALSE(Touched(ctl::kChecksum));
  }

  testing::TempDir dir_;
  fs::path programDir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  AppContext context_;
  testing::FakeView view_;
};

TEST_F(LoadImageFlowTest, ChooserFirstLoadsTheImageAndEverythingLandsInTheProgramFolder) {
  view_.status = "left from before\r\n";
  const fs::path file = Image("code.VX3", Vx3Image("VXTEST"));
  LoadByChooser("VXTEST", file);

  ExpectLoaded(file);
  EXPECT_EQ(context_.image.deviceName, "VXTEST");
  ASSERT_EQ(view_.choosers.size(), 1U);
  EXPECT_EQ(view_.choosers[0].caption, "CHIP LIST");
  EXPECT_EQ(view_.fileDialogFolders, std::vector<fs::path>{programDir_ / "samples"});
  EXPECT_EQ(view_.status.find("left from before"), std::string::npos);
  // The log folder and the log are made inside the program folder, not beside it.
  EXPECT_TRUE(fs::is_directory(programDir_ / "Writer_Log"));
  EXPECT_FALSE(fs::exists(dir_.path() / "Writer_Log"));
  EXPECT_EQ(context_.reporter.logPath().parent_path(), programDir_ / "Writer_Log");
  EXPECT_NE(Log().find(fmt::format("The EPROM check sum is {:04X}{}", context_.image.checksum, text::kLogLineEnd)),
            std::string::npos);
}

TEST_F(LoadImageFlowTest, HistoryIsReadFromTheProgramFolder) {
  WriteFileBytes(programDir_ / "Writer_Log" / "History Chip.log", "VXTEST\r\n");
  view_.chooserAnswers.push_back({true, "History Chip", "VXTEST"});
  view_.fileAnswers.push_back(Image("code.VX3", Vx3Image("VXTEST")));
  Run(true);
  ASSERT_EQ(view_.choosers.size(), 1U);
  EXPECT_EQ(view_.choosers[0].series, (std::vector<std::string>{"History Chip", "VXTEST Series"}));
  EXPECT_EQ(view_.choosers[0].selectedSeries, 0);
  EXPECT_EQ(view_.choosers[0].types, std::vector<std::string>{"VXTEST"});
  EXPECT_TRUE(context_.image.loadOk);
}

TEST_F(LoadImageFlowTest, TheFileDialogOpensWhereTheLastImageWas) {
  const fs::path first = Image("code.VX3", Vx3Image("VXTEST"));
  LoadByFile(first);
  LoadByChooser("VXTEST", {});
  EXPECT_EQ(view_.fileDialogFolders, (std::vector<fs::path>{programDir_ / "samples", first.parent_path()}));
}

TEST_F(LoadImageFlowTest, FileFirstTakesTheDeviceFromTheHeader) {
  const fs::path file = Image("code.VX3", Vx3Image("VXTEST"));
  LoadByFile(file);
  ExpectLoaded(file);
  EXPECT_EQ(context_.image.deviceName, "VXTEST");
  EXPECT_TRUE(view_.choosers.empty());
}

TEST_F(LoadImageFlowTest, ChooserCancelledChangesNothingButTheDeviceName) {
  view_.chooserAnswers.push_back({false, "VXTEST Series", "VXTEST"});
  Run(true);
  EXPECT_EQ(context_.image.deviceName, "");
  EXPECT_TRUE(context_.image.loadOk);
  EXPECT_TRUE(view_.fileDialogFolders.empty());
  EXPECT_TRUE(view_.controls.empty());
  EXPECT_FALSE(fs::exists(programDir_ / "Writer_Log" / "History Chip.log"));
}

TEST_F(LoadImageFlowTest, FileDialogCancelledInTheChooserWayKeepsTheDeviceWithoutImage) {
  LoadByChooser("VXTEST", {});
  EXPECT_EQ(context_.image.deviceName, "VXTEST");
  EXPECT_FALSE(context_.image.loadOk);
  ExpectNoImage();
}

TEST_F(LoadImageFlowTest, FileFirstCancelledEndsWithoutDevice) {
  Run(false);
  EXPECT_EQ(context_.image.deviceName, "");
  EXPECT_TRUE(context_.image.loadOk);
  EXPECT_TRUE(view_.controls.empty());
}

struct BinOnlyCase {
  const char* device;
  std::size_t words;
  std::array<std::uint16_t, 4> options;
  bool secured;
};

class BinOnlyLoadTest : public LoadImageFlowTest, public ::testing::WithParamInterface<BinOnlyCase> {};

TEST_P(BinOnlyLoadTest, FixedParametersInAnyLetterCase) {
  const BinOnlyCase& c = GetParam();
  Driver(c.device);
  const fs::path file = Image("series.BIN", MakeBody(c.words, c.options));
  LoadByChooser(c.device, file);

  const image::LoadedImage& image = context_.image;
  ExpectLoaded(file);
  EXPECT_EQ(image.deviceName, c.device);
  EXPECT_EQ(image.romWords, c.words);
  EXPECT_EQ(image.romBytes, 2 * c.words);
  EXPECT_EQ(image.otpType, 1);
  EXPECT_EQ(image.securityOption, 0x103U);
  EXPECT_EQ(image.security0Option, 0U);
  EXPECT_EQ(image.security1Option, 0U);
  EXPECT_EQ(image.securityEnabled, c.secured);
  EXPECT_FALSE(image.hasHeader);
}

INSTANTIATE_TEST_SUITE_P(Series, BinOnlyLoadTest,
                         ::testing::Values(BinOnlyCase{"VXLARK (BIN)", 0x800, kSecurityOff, false},
                                           BinOnlyCase{"vxlark (bin)", 0x800, kSecurityOn, true},
                                           BinOnlyCase{"VXWREN (BIN)", 0x1000, kSecurityOn, true},
                                           BinOnlyCase{"VxWren (Bin)", 0x1000, kSecurityOff, false}));

TEST_F(LoadImageFlowTest, BinOnlySeriesRefusesAVx3File) {
  Driver("VXWREN (BIN)");
  view_.answers.push_back(text::answer::kOk);
  LoadByChooser("VXWREN (BIN)", Image("code.VX3", Vx3Image("VXWREN", 6, 0x1000)));
  ASSERT_EQ(view_.messages.size(), 1U);
  EXPECT_EQ(view_.messages[0].text, "Device only supports \".BIN\" file !!");
  EXPECT_EQ(view_.messages[0].caption, "VX3WT");
  EXPECT_FALSE(context_.image.loadOk);
  ExpectNoImage();
}

struct SymbolStepCase {
  const char* device;
  bool symbolStep;  // the name goes through the symbol step (whose file is missing)
};

class SymbolStepTest : public LoadImageFlowTest, public ::testing::WithParamInterface<SymbolStepCase> {};

TEST_P(SymbolStepTest, OnlyTheExactCaseSkipsTheSymbolStep) {
  const SymbolStepCase& c = GetParam();
  testing::WriteDescription(programDir_, c.device, kNoSymbolDescription);
  const fs::path file = Image("code.VX3", Vx3Image(c.device));
  LoadByFile(file);
  if (c.symbolStep) {
    EXPECT_TRUE(context_.image.deviceFilesMissing);
    EXPECT_EQ(view_.status, fmt::format("Err: Can't find {} symbol file !!!\r\n", c.device));
    EXPECT_FALSE(Touched(ctl::kFileName));
  } else {
    EXPECT_FALSE(context_.image.deviceFilesMissing);
    ExpectLoaded(file);
  }
}

INSTANTIATE_TEST_SUITE_P(Names, SymbolStepTest,
                         ::testing::Values(SymbolStepCase{"VX3P1T20", false}, SymbolStepCase{"vx3p1t20", true},
                                           SymbolStepCase{"VX3PCRT1", false}, SymbolStepCase{"VX3pcrT1", true},
                                           SymbolStepCase{"VXNPT1", false}, SymbolStepCase{"VxNPT1", true},
                                           SymbolStepCase{"VX3PCT1", true}));

TEST_F(LoadImageFlowTest, MissingBodySizeEndsTheLoadEvenWhenTheFileExists) {
  testing::WriteDescription(programDir_, "VXTEST", ".ASSEMBLY INSTRUMENT VXT\n.ASSEMBLY PGM_TYPE 2\n");
  LoadByChooser("VXTEST", Image("code.VX3", Vx3Image("VXTEST")));
  const std::string message = "The file VXTEST.inc is not exist or has some problems !!";
  EXPECT_FALSE(context_.image.loadOk);
  EXPECT_EQ(view_.status, message + "\r\n");
  EXPECT_EQ(Log(), fmt::format("{}{}{}", message, text::kLogLineEnd, text::kLogLineEnd));
  EXPECT_TRUE(view_.fileDialogFolders.empty());
  EXPECT_FALSE(Touched(ctl::kBlankCheck));
}

TEST_F(LoadImageFlowTest, MissingDescriptionOfADeviceWithoutSymbolStepIsTheBodySizeMessage) {
  LoadByFile(Image("code.VX3", Vx3Image("VX3P1GONE")));
  EXPECT_FALSE(context_.image.loadOk);
  EXPECT_FALSE(context_.image.deviceFilesMissing);
  EXPECT_EQ(view_.status, "The file VX3P1GONE.inc is not exist or has some problems !!\r\n");
}

TEST_F(LoadImageFlowTest, FileFirstHeaderNamingADeviceWithoutDescription) {
  LoadByFile(Image("code.VX3", Vx3Image("VXGONE")));
  EXPECT_TRUE(context_.image.deviceFilesMissing);
  EXPECT_FALSE(context_.image.incMissing);
  EXPECT_EQ(view_.status, "Err: Can't find VXGONE INC file !!!\r\n");
  EXPECT_FALSE(Touched(ctl::kFileName));
}

struct OtpTypeCase {
  const char* name;
  const char* typeLine;  // the PGM_TYPE line of the description, or ""
  bool raw;              // a .BIN image instead of a .VX3
  std::uint32_t version;
  std::int32_t otpType;  // after the load
  bool shown;            // the window shows the image; otherwise "The type of OTP is unknown !!"
};

class OtpTypeTest : public LoadImageFlowTest, public ::testing::WithParamInterface<OtpTypeCase> {};

TEST_P(OtpTypeTest, NormalisedOrUnknown) {
  const OtpTypeCase& c = GetParam();
  testing::WriteDescription(programDir_, "VX3P1T20",
                            std::string(".ASSEMBLY OTP_BODY_SIZE 800h\n") + c.typeLine);
  Driver("VX3P1T20");
  const fs::path file = c.raw ? Image("code.BIN", MakeBody(0x800, kSecurityOff))
                              : Image("code.VX3", Vx3Image("VX3P1T20", c.version));
  LoadByChooser("VX3P1T20", file);
  EXPECT_EQ(context_.image.otpType, c.otpType) << c.name;
  if (c.shown) {
    ExpectLoaded(file);
  } else {
    EXPECT_NE(Log().find("The type of OTP is unknown !!"), std::string::npos) << c.name;
    EXPECT_FALSE(Touched(ctl::kFileName)) << c.name;
    EXPECT_FALSE(Touched(ctl::kAutoProgram)) << c.name;
    EXPECT_NE(view_.status.find("   (Check item 1 of "), std::string::npos) << view_.status;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, OtpTypeTest,
    ::testing::Values(OtpTypeCase{"missing, version 3", "", false, 3, 1, true},
                      OtpTypeCase{"missing, version 0", "", false, 0, 1, true},
                      OtpTypeCase{"missing, version 4", "", false, 4, -1, false},
                      OtpTypeCase{"missing, raw image", "", true, 0, -1, false},
                      OtpTypeCase{"7 becomes 3", ".ASSEMBLY PGM_TYPE 7\n", false, 6, 3, true},
                      OtpTypeCase{"15 becomes 3", ".ASSEMBLY PGM_TYPE 15\n", true, 0, 3, true},
                      OtpTypeCase{"5 becomes 4", ".ASSEMBLY PGM_TYPE 5\n", false, 6, 4, true},
                      OtpTypeCase{"16 is unknown", ".ASSEMBLY PGM_TYPE 16\n", false, 6, 16, false}));

TEST_F(LoadImageFlowTest, AWrappedLoadFollowedByAPlainOne) {
  Driver("VXWRAP");
  testing::WriteDescription(programDir_, "VXWRAP", ".ASSEMBLY INSTRUMENT VXW\n.ASSEMBLY OTP_BODY_SIZE 800h\n"
                                                   ".ASSEMBLY PGM_TYPE 2\n");
  testing::WriteSymbolFile(programDir_, "VXW", {"MOV", "..."});
  Vx3HeaderFields h;
  h.chipName = "VXWRAPOTP";
  h.romWordsField = 0x800;
  h.endAddress = 0x7FF;
  const fs::path wrapped = Image("wrapped.VX3", MakeWrapped(MakeHeader(h), MakeBody(0x800, kSecurityOff)));
  LoadByChooser("VXWRAP", wrapped);
  ExpectLoaded(wrapped);
  EXPECT_TRUE(context_.image.wrappedLayout);

  testing::WriteDescription(programDir_, "VX3P1T20", kNoSymbolDescription);
  const fs::path plain = Image("plain.VX3", Vx3Image("VX3P1T20"));
  LoadByFile(plain);
  EXPECT_FALSE(context_.image.wrappedLayout);
  ExpectLoaded(plain);
  EXPECT_EQ(context_.image.bodyBytes, 0x1000U);
}

TEST_F(LoadImageFlowTest, AMissingFileIsClearedByTheNextGoodLoad) {
  LoadByChooser("VXTEST", programDir_ / "images" / "gone.VX3");
  EXPECT_TRUE(context_.image.fileMissing);
  EXPECT_TRUE(context_.image.imagePath.empty());
  EXPECT_EQ(view_.status, "Err: The file not exist !!!\r\n");
  EXPECT_FALSE(Touched(ctl::kFileName));

  const fs::path file = Image("code.VX3", Vx3Image("VXTEST"));
  LoadByFile(file);
  EXPECT_FALSE(context_.image.fileMissing);
  ExpectLoaded(file);
}

TEST_F(LoadImageFlowTest, FileFirstMissingFileAndFolder) {
  for (const fs::path& missing : {programDir_ / "gone.VX3", programDir_}) {
    LoadByFile(missing);
    EXPECT_TRUE(context_.image.fileMissing);
    EXPECT_TRUE(context_.image.imagePath.empty());
    EXPECT_EQ(view_.status, "Err: The file not exist !!!\r\n");
  }
}

struct BadHeaderCase {
  const char* name;
  std::size_t words;        // body words after the 256 header bytes
  std::uint32_t endAddress;
  std::size_t cutTo;        // the file is cut to this many bytes (0: whole)
};

class FileFirstHeaderTest : public LoadImageFlowTest, public ::testing::WithParamInterface<BadHeaderCase> {};

TEST_P(FileFirstHeaderTest, EndAddressBeyondTheFileIsAnUnknownFormat) {
  const BadHeaderCase& c = GetParam();
  Vx3HeaderFields h;
  h.chipName = "VXTEST";
  h.romWordsField = 0x800;
  h.endAddress = c.endAddress;
  std::string bytes = MakeVx3(h, MakeBody(c.words, kSecurityOff));
  if (c.cutTo != 0) bytes.resize(c.cutTo);
  const fs::path file = Image("bad.VX3", bytes);
  LoadByFile(file);

  ASSERT_EQ(view_.messages.size(), 1U) << c.name;
  EXPECT_EQ(view_.messages[0].text, "The .VX3 file format is unknown !!!");
  EXPECT_EQ(view_.messages[0].caption, "VX3WT");
  EXPECT_NE(Log().find("The .VX3 file format is unknown !!!"), std::string::npos);
  EXPECT_EQ(context_.image.deviceName, "");
  EXPECT_EQ(context_.image.imagePath, file);
  EXPECT_TRUE(context_.image.loadOk);
  EXPECT_FALSE(Touched(ctl::kFileName));
}

INSTANTIATE_TEST_SUITE_P(Headers, FileFirstHeaderTest,
                         ::testing::Values(BadHeaderCase{"end address at the body's end", 0x800, 0x800, 0},
                                           BadHeaderCase{"end address far beyond", 0x10, 0x7FF, 0},
                                           BadHeaderCase{"shorter than a header", 0x10, 0, 100},
                                           BadHeaderCase{"header only", 0x10, 0, 256}));

// A raw image names no device: the one-click way refuses it, even right after Choose Device, so
// that no job for a device the operator did not mean replaces the Writer's.
TEST_F(LoadImageFlowTest, FileFirstRawImageIsRefused) {
  Driver("VXLARK (BIN)");
  const fs::path file = Image("lark.BIN", MakeBody(0x800, kSecurityOff));
  const std::string refused =
      "Err: A .BIN file does not name its device: choose the device with \"Device / Load VX3\" first !!!\r\n";
  LoadByFile(file);
  EXPECT_FALSE(context_.image.loadOk);
  EXPECT_EQ(context_.image.deviceName, "");
  EXPECT_EQ(view_.status, refused);

  LoadByChooser("VXLARK (BIN)", file);
  ExpectLoaded(file);
  LoadByFile(file);
  EXPECT_FALSE(context_.image.loadOk);
  EXPECT_TRUE(context_.image.imagePath.empty());
  EXPECT_EQ(view_.status, refused);
}

struct ChipNameCase {
  const char* name;
  std::string chipName;
};

class UnsafeChipNameTest : public LoadImageFlowTest, public ::testing::WithParamInterface<ChipNameCase> {};

// A header whose chip name is not a plain name is a damaged header: nothing of it is used as a
// device or in a path.
TEST_P(UnsafeChipNameTest, IsAnUnknownFormat) {
  Vx3HeaderFields h;
  h.chipName = GetParam().chipName;
  h.romWordsField = 0x800;
  h.endAddress = 0x10;
  const fs::path file = Image("bad.VX3", MakeVx3(h, MakeBody(0x800, kSecurityOff)));
  LoadByFile(file);
  ASSERT_EQ(view_.messages.size(), 1U);
  EXPECT_EQ(view_.messages[0].text, "The .VX3 file format is unknown !!!");
  EXPECT_NE(Log().find("The .VX3 file format is unknown !!!"), std::string::npos);
  EXPECT_EQ(context_.image.deviceName, "");
  EXPECT_EQ(view_.status.find("INC file"), std::string::npos) << view_.status;
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeChipNameTest,
                         ::testing::Values(ChipNameCase{"RandomBytes", "\x91""e<\xB7\x03z\xEE"},
                                           ChipNameCase{"ControlByte", "VX3\x01P"},
                                           ChipNameCase{"HighByte", "VX3\xD0\x9F"},
                                           ChipNameCase{"ParentFolders", "../../o/EVIL"},
                                           ChipNameCase{"Slash", "o/EVIL"},
                                           ChipNameCase{"Backslash", "o\\EVIL"},
                                           ChipNameCase{"TwoDots", "VX3..P"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Every sample of the program folder loads by Choose Device, and the .VX3 samples of the plain
// layout by the one-click way too, from a copy of the program folder's kit. The one-click way
// refuses a raw image, and tells that a wrapped-layout image goes through Device / Load.
class SampleLoadTest : public LoadImageFlowTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    fs::remove_all(programDir_);
    fs::create_directories(programDir_);
    for (const char* folder : {"USE_DRV", "USE_INC2", "Symbol", "CPY", "samples", "language"}) {
      fs::copy(fs::path(VX3WT_PROGRAM_DIR) / folder, programDir_ / folder, fs::copy_options::recursive);
    }
  }
};

TEST_P(SampleLoadTest, LoadsBothWays) {
  const std::string device = GetParam();
  std::vector<fs::path> samples;
  for (const auto& entry : fs::directory_iterator(programDir_ / "samples")) {
    const std::string name = platform::PathToUtf8(entry.path().filename());
    const std::string stem = name.substr(0, name.find_first_of("._"));
    if (!image::HasExtension(entry.path(), {".INI"}) && device.starts_with(stem)) samples.push_back(entry.path());
  }
  ASSERT_FALSE(samples.empty()) << device;
  for (const fs::path& sample : samples) {
    SCOPED_TRACE(platform::PathToUtf8(sample));
    LoadByChooser(device, sample);
    ExpectLoaded(sample);
    EXPECT_EQ(context_.image.deviceName, device);
    const bool wrapped = context_.image.wrappedLayout;
    view_.messages.clear();
    LoadByFile(sample);
    if (!image::HasExtension(sample, {".VX3"})) {
      EXPECT_FALSE(context_.image.loadOk);
      EXPECT_NE(view_.status.find("A .BIN file does not name its device"), std::string::npos) << view_.status;
    } else if (wrapped) {
      ASSERT_EQ(view_.messages.size(), 1U);
      EXPECT_EQ(view_.messages[0].text,
                "This image is for " + device + " and must be loaded through \"Device / Load VX3\" !!!");
      EXPECT_NE(Log().find(view_.messages[0].text), std::string::npos);
    } else {
      ExpectLoaded(sample);
      EXPECT_TRUE(view_.messages.empty()) << view_.messages.front().text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kit, SampleLoadTest,
                         ::testing::Values("VX3E1610", "VX3F2040", "VX3M1A", "VX3N2210", "VX3P1020", "VX3PCR16",
                                           "VXHERON", "VXLARK (BIN)", "VXORCA", "VXTERN", "VXWREN (BIN)"));

}  // namespace
}  // namespace vx3::app
