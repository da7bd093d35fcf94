// Symbol files, copy-control files and the names of read-back files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/side_files.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

namespace vx3::image {
namespace {

namespace fs = std::filesystem;

class SideFilesTest : public ::testing::Test {
 protected:
  SideFilesTest() : language_(dir_.path() / "language" / "UIEng.ini"), reporter_(language_, clock_) {
    reporter_.AttachView(&view_);
    reporter_.SetProgramDir(dir_.path());
  }

  fs::path WriteSymbolBytes(std::string_view bytes) {
    return testing::WriteFileBytes(dir_.path() / "Symbol" / "VXS.BOL", bytes);
  }

  testing::TempDir dir_;
  testing::FakeClock clock_;
  text::Language language_;
  text::Reporter reporter_;
  testing::FakeView view_;
  LoadedImage image_;
};

// --- Symbol files ----------------------------------------------------------------------------

struct SymbolCase {
  const char* name;
  std::string bytes;  // the whole file
  bool wrapped;
};

std::string Records(std::initializer_list<const char*> mnemonics) {
  std::string bytes;
  for (const char* m : mnemonics) {
    bytes += m;
    bytes.push_back('\x07');
  }
  return bytes;
}

class SymbolFileTest : public SideFilesTest, public ::testing::WithParamInterface<SymbolCase> {};

TEST_P(SymbolFileTest, TellsTheLayout) {
  WriteSymbolBytes(GetParam().bytes);
  image_.deviceName = "VXS01";
  image_.wrappedLayout = !GetParam().wrapped;  // whatever the last device left
  image_.deviceFilesMissing = true;
  EXPECT_TRUE(ReadSymbolFile(image_, "VXS", dir_.path(), reporter_));
  EXPECT_EQ(image_.wrappedLayout, GetParam().wrapped);
  EXPECT_FALSE(image_.deviceFilesMissing);
  EXPECT_EQ(view_.status, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SymbolFileTest,
    ::testing::Values(SymbolCase{"LowerCaseNopFirst", Records({"nop", "..."}), false},
                      SymbolCase{"DotsThirdNopFifth", Records({"MOV", "ADD", "...", "SUB", "NOP"}), true},
                      SymbolCase{"NopBeforeDots", Records({"MOV", "NOP", "ADD", "..."}), false},
                      SymbolCase{"Neither", Records({"MOV", "ADD", "SUB"}), false},
                      SymbolCase{"MixedCaseNop", Records({"MOV", "nOp", "..."}), false},
                      SymbolCase{"OnlyExactDots", Records({". .", "..,", "...", "NOP"}), true},
                      SymbolCase{"FourthByteNotRead", std::string("MOV.NOP\x00...\x00", 12), false},
                      SymbolCase{"Empty", "", false},
                      // The mnemonic must stand at a record's start: "..." straddling two records is none.
                      SymbolCase{"Misaligned", std::string("MO...\x01\x02\x03", 8), false},
                      // Bytes left over after the last whole record are no record.
                      SymbolCase{"PartialLastRecord", std::string("MOV\x01...", 7), false}),
    [](const ::testing::TestParamInfo<SymbolCase>& info) { return std::string(info.param.name); });

TEST_F(SideFilesTest, SymbolFileLongerThanOneReadIsScannedToItsEnd) {
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += Records({"MOV"});
  bytes += Records({"..."});
  WriteSymbolBytes(bytes);
  EXPECT_TRUE(ReadSymbolFile(image_, "VXS", dir_.path(), reporter_));
  EXPECT_TRUE(image_.wrappedLayout);
}

TEST_F(SideFilesTest, MissingSymbolFileNamesTheDevice) {
  image_.deviceName = "VX3F2040";
  image_.wrappedLayout = true;
  EXPECT_FALSE(ReadSymbolFile(image_, "VX3F", dir_.path(), reporter_));
  EXPECT_TRUE(image_.deviceFilesMissing);
  EXPECT_FALSE(image_.wrappedLayout);
  EXPECT_EQ(view_.status, "Err: Can't find VX3F2040 symbol file !!!\r\n");
}

// --- Copy control ----------------------------------------------------------------------------

struct CopyCase {
  const char* name;
  const char* file;  // nullptr: no file
  bool exists;
  bool enabled;
};

class CopyControlTest : public SideFilesTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CopyControlTest, ReadsLoadOtp) {
  if (GetParam().file != nullptr) testing::WriteFileBytes(dir_.path() / "CPY" / "VXCOPY.CPY", GetParam().file);
  image_.deviceName = "VXCOPY";
  image_.copyFileExists = true;  // left over from an earlier device
  image_.loadOtpEnabled = true;
  ReadCopyControl(image_, dir_.path());
  EXPECT_EQ(image_.copyFileExists, GetParam().exists);
  EXPECT_EQ(image_.loadOtpEnabled, GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CopyControlTest,
    ::testing::Values(CopyCase{"One", "[Copy OTP]\r\nLoad_OTP=1\r\n", true, true},
                      CopyCase{"Two", "[Copy OTP]\r\nLoad_OTP=2\r\n", true, false},
                      CopyCase{"Zero", "[Copy OTP]\r\nLoad_OTP=0\r\n", true, false},
                      CopyCase{"CaseAndBlanks", "[copy otp]\nload_otp = 1 \n", true, true},
                      CopyCase{"Hexadecimal", "[Copy OTP]\nLoad_OTP=0x1\n", true, true},
                      CopyCase{"NotANumber", "[Copy OTP]\nLoad_OTP=yes\n", true, false},
                      CopyCase{"OtherSection", "[Rolling Code]\nLoad_OTP=1\n", true, false},
                      CopyCase{"EmptyFile", "", true, false}, CopyCase{"NoFile", nullptr, false, false}),
    [](const ::testing::TestParamInfo<CopyCase>& info) { return std::string(info.param.name); });

// --- Read-back file names --------------------------------------------------------------------

struct ReadBackCase {
  const char* imagePath;
  bool loadOtpRead;
  const char* expected;  // "@" stands for the program folder
};

class ReadBackFileNameTest : public ::testing::TestWithParam<ReadBackCase> {};

TEST_P(ReadBackFileNameTest, NamesTheFile) {
  LoadedImage image;
  image.deviceName = "VX3P1020";
  image.imagePath = GetParam().imagePath;
  std::string expected = GetParam().expected;
  if (expected.starts_with("@")) expected = "/opt/vx3wt" + expected.substr(1);
  EXPECT_EQ(ReadBackFileName(image, "/opt/vx3wt", GetParam().loadOtpRead), fs::path(expected));
}

INSTANTIATE_TEST_SUITE_P(Table, ReadBackFileNameTest,
                         ::testing::Values(ReadBackCase{"", false, "KELVA.BBB"}, ReadBackCase{"", true, "KELVA.LOD"},
                                           ReadBackCase{"/work/img/Remote.VX3", false, "/work/img/Remote.BBB"},
                                           ReadBackCase{"/work/img/Remote.VX3", true, "@/Load_OTP/VX3P1020.LOD"},
                                           ReadBackCase{"/work/img.v2/Remote", false, "/work/img.v2/Remote.BBB"},
                                           ReadBackCase{"/work/img/a.b.bin", false, "/work/img/a.b.BBB"}));

struct ExtensionCase {
  const char* path;
  const char* extension;
  const char* expected;
};

class ReplaceExtensionTest : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ReplaceExtensionTest, ReplacesTheFileNamesExtension) {
  EXPECT_EQ(ReplaceExtension(GetParam().path, GetParam().extension), fs::path(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Table, ReplaceExtensionTest,
                         ::testing::Values(ExtensionCase{"a/b.VX3", ".BBB", "a/b.BBB"},
                                           ExtensionCase{"b", ".BBB", "b.BBB"},
                                           ExtensionCase{"a.d/b", ".LOD", "a.d/b.LOD"},
                                           ExtensionCase{"a/b.", ".BBB", "a/b.BBB"},
                                           ExtensionCase{"a/.VX3", ".BBB", "a/.BBB"}));

}  // namespace
}  // namespace vx3::image
