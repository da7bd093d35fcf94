// The sample device kit and sample images of the program folder: every description answers
// the questions of a load, and every sample image loads for its device.
//
// Sample checksums were reckoned apart from this code by a few lines of Python over the bodies
// that tools/make_samples.cpp describes (see test_image_checksum.cpp for the rules).
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "image/device_file.h"
#include "image/image_reader.h"
#include "image/side_files.h"
#include "rolling/rolling_settings.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

namespace vx3::image {
namespace {

namespace fs = std::filesystem;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;

bool WithoutSymbolStep(std::string_view device) {
  return device.starts_with("VX3P1") || device.starts_with("VX3PCR") || device.starts_with("VXNP");
}

struct KitDevice {
  const char* device;
  std::int32_t romWords;
  std::int32_t otpType;
  const char* instrument;
  bool wrapped;
  std::uint32_t security;
  std::uint32_t security0;
  std::uint32_t security1;
};

class KitDescriptionTest : public ::testing::TestWithParam<KitDevice> {
 protected:
  KitDescriptionTest() : language_(kProgramDir / "language" / "UIEng.ini"), reporter_(language_, clock_) {
    reporter_.AttachView(&view_);
  }
  testing::TempDir logDir_;
  testing::FakeClock clock_;
  text::Language language_;
  text::Reporter reporter_;
  testing::FakeView view_;
};

TEST_P(KitDescriptionTest, AnswersTheQuestionsOfALoad) {
  const KitDevice& d = GetParam();
  bool incMissing = false;
  std::string instrument;
  EXPECT_TRUE(IncLookup(kProgramDir, d.device, kAssemblySection, kKeyInstrument, instrument, &incMissing));
  EXPECT_EQ(instrument, d.instrument);
  EXPECT_EQ(IncNumber(kProgramDir, d.device, kAssemblySection, kKeyBodySize, &incMissing), d.romWords);
  EXPECT_EQ(IncNumber(kProgramDir, d.device, kAssemblySection, kKeyProgramType, &incMissing), d.otpType);
  auto option = [&](std::string_view name) {
    return IncOption(kProgramDir, d.device, kAssemblySection, kKeyOption, name, kValueEnable, &incMissing);
  };
  EXPECT_EQ(option(kOptionSecurity), d.security);
  EXPECT_EQ(option(kOptionSecurity0), d.security0);
  EXPECT_EQ(option(kOptionSecurity1), d.security1);
  EXPECT_FALSE(incMissing);
  if (!WithoutSymbolStep(d.device)) {
    LoadedImage image;
    image.deviceName = d.device;
    EXPECT_TRUE(ReadSymbolFile(image, instrument, kProgramDir, reporter_));
    EXPECT_EQ(image.wrappedLayout, d.wrapped);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kit, KitDescriptionTest,
    ::testing::Values(KitDevice{"VX3P1020", 0x800, 1, "VX3P1", false, 0x103, 0, 0},
                      KitDevice{"VX3P1040", 0x1000, 1, "VX3P1", false, 0x103, 0, 0},
                      KitDevice{"VX3PCR16", 0x1000, 2, "VX3PCR", false, 0x108, 0, 0},
                      KitDevice{"VXNP08A", 0x400, 3, "VXNP", false, 0, 0x000101, 0x010111},
                      KitDevice{"VXTERN", 0x400, 4, "VXT", false, 0x02030C, 0, 0},
                      KitDevice{"VXORCA", 0x1000, 1, "VXO", false, 0, 0, 0},
                      KitDevice{"VXHERON", 0x1000, 2, "VXH", false, 0x103, 0, 0},
                      KitDevice{"VXEGRET", 0x1000, 2, "VXH", false, 0x103, 0, 0},
                      KitDevice{"VXROBIN", 0x800, 2, "VXR", false, 0x103, 0, 0},  // the 0xFF hides a PGM_TYPE 9
                      KitDevice{"VX3E1610", 0x2000, 4, "VX3E", false, 0, 0x103, 0x102},
                      KitDevice{"VX3E1620", 0x4000, 4, "VX3E", false, 0, 0x103, 0x102},
                      KitDevice{"VX3N2210", 0x2000, 3, "VX3N", false, 0x020306, 0, 0},
                      KitDevice{"VX3N2264", 0x10000, 3, "VX3N", false, 0x020306, 0, 0},  // via VX3N2210
                      KitDevice{"VX3C44", 0x800, 12, "VX3C", false, 0, 0, 0},
                      KitDevice{"VX3F2040", 0x1000, 3, "VX3F", true, 0, 0x101, 0x102},
                      KitDevice{"VX3M1A", 0x800, 1, "VX3M", true, 0x103, 0, 0}),
    [](const ::testing::TestParamInfo<KitDevice>& info) { return std::string(info.param.device); });

TEST(KitTest, EveryDeviceOfTheEquivalenceTableHasADescription) {
  for (const ChipNameRow& row : ChipNameEquivalences()) {
    EXPECT_TRUE(LocateDeviceFile(kProgramDir, std::string(row.device) + ".INC", kDescriptionFolder)) << row.device;
  }
}

TEST(KitTest, NewCodeOptionDevice) {
  std::string command;
  ASSERT_TRUE(IncLookup(kProgramDir, "VX3N2210", kAssemblySection, kKeyCommand, command));
  const std::size_t at = command.find("NEW_CODEOPTION");
  EXPECT_NE(at, std::string::npos);
  EXPECT_NE(at, 0u);  // the first character does not count
  EXPECT_EQ(IncNumber(kProgramDir, "VX3N2210", kAssemblySection, kKeyUserRomSize), 0x1F00);
}

struct KitCopy {
  const char* device;
  bool exists;
  bool enabled;
};

class KitCopyControlTest : public ::testing::TestWithParam<KitCopy> {};

TEST_P(KitCopyControlTest, ReadsTheKitsFile) {
  LoadedImage image;
  image.deviceName = GetParam().device;
  ReadCopyControl(image, kProgramDir);
  EXPECT_EQ(image.copyFileExists, GetParam().exists);
  EXPECT_EQ(image.loadOtpEnabled, GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(Kit, KitCopyControlTest,
                         ::testing::Values(KitCopy{"VX3P1020", true, true}, KitCopy{"VX3E1610", true, true},
                                           KitCopy{"VXORCA", true, false}, KitCopy{"VX3F2040", true, false},
                                           KitCopy{"VX3PCR16", false, false}));

// --- Sample images ---------------------------------------------------------------------------

struct Sample {
  const char* file;
  const char* device;
  bool hasHeader;
  bool wrapped;
  std::uint16_t checksum;
  std::uint16_t secured;
  bool security;
  bool rollingIni;
};

class SampleImageTest : public ::testing::TestWithParam<Sample> {
 protected:
  SampleImageTest() : language_(kProgramDir / "language" / "UIEng.ini"), reporter_(language_, clock_) {
    reporter_.AttachView(&view_);
    reporter_.SetProgramDir(logDir_.path());  // the log of the test stays out of the program folder
  }

  // The device steps of a load, as the load flow takes them.
  bool LoadDevice(LoadedImage& image, bool& binOnly) {
    const std::string& device = image.deviceName;
    binOnly = device == "VXLARK (BIN)" || device == "VXWREN (BIN)";
    if (binOnly) {
      image.romWords = device == "VXLARK (BIN)" ? 0x800 : 0x1000;
      image.romBytes = 2 * image.romWords;
      image.otpType = 1;
      image.securityOption = 0x103;
      return true;
    }
    if (!WithoutSymbolStep(device)) {
      std::string instrument;
      IncLookup(kProgramDir, device, kAssemblySection, kKeyInstrument, instrument);
      if (!ReadSymbolFile(image, instrument, kProgramDir, reporter_)) return false;
    }
    image.romWords = static_cast<std::uint32_t>(IncNumber(kProgramDir, device, kAssemblySection, kKeyBodySize));
    image.romBytes = 2 * image.romWords;
    image.otpType = IncNumber(kProgramDir, device, kAssemblySection, kKeyProgramType);
    image.securityOption = IncOption(kProgramDir, device, kAssemblySection, kKeyOption, kOptionSecurity, kValueEnable);
    image.security0Option = IncOption(kProgramDir, device, kAssemblySection, kKeyOption, kOptionSecurity0, kValueEnable);
    image.security1Option = IncOption(kProgramDir, device, kAssemblySection, kKeyOption, kOptionSecurity1, kValueEnable);
    return true;
  }

  testing::TempDir logDir_;
  testing::FakeClock clock_;
  text::Language language_;
  text::Reporter reporter_;
  testing::FakeView view_;
};

TEST_P(SampleImageTest, LoadsForItsDevice) {
  const Sample& s = GetParam();
  LoadedImage image;
  image.deviceName = s.device;
  bool binOnly = false;
  ASSERT_TRUE(LoadDevice(image, binOnly));
  image.imagePath = kProgramDir / "samples" / s.file;
  rolling::RollingSettings rolling;
  ASSERT_TRUE(ReadImage(image, binOnly, rolling, kProgramDir, reporter_, language_)) << view_.status;
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(image.hasHeader, s.hasHeader);
  EXPECT_EQ(image.wrappedLayout, s.wrapped);
  EXPECT_EQ(image.checksum, s.checksum);
  EXPECT_EQ(image.securedChecksum, s.secured);
  EXPECT_EQ(image.securityEnabled, s.security);
  EXPECT_EQ(rolling.iniExists, s.rollingIni);
  // A sample's rolling INI is one the operator can use at once.
  EXPECT_EQ(rolling.method, s.rollingIni ? rolling::RollingMethod::AutoInc : rolling::RollingMethod::NotUsed);
}

INSTANTIATE_TEST_SUITE_P(
    Kit, SampleImageTest,
    ::testing::Values(Sample{"VX3P1020.VX3", "VX3P1020", true, false, 0xF158, 0x725C, false, true},
                      Sample{"VX3P1020_SECURE.VX3", "VX3P1020", true, false, 0xF150, 0x7254, true, false},
                      Sample{"VXORCA_V0.VX3", "VXORCA", true, false, 0xE947, 0xE947, false, false},
                      Sample{"VXHERON.VX3", "VXHERON", true, false, 0xF8AB, 0x78AF, false, false},
                      Sample{"VXHERON.VX3", "VXEGRET", true, false, 0xF8AB, 0x78AF, false, false},
                      Sample{"VX3N2210.VX3", "VX3N2210", true, false, 0xDD76, 0xE7DE, true, false},
                      Sample{"VXTERN.VX3", "VXTERN", true, false, 0xF710, 0x7774, false, true},
                      Sample{"VX3E1610.VX3", "VX3E1610", true, false, 0xCB11, 0xE3E4, false, false},
                      Sample{"VX3F2040.VX3", "VX3F2040", true, true, 0xE37F, 0xEBAE, false, false},
                      Sample{"VX3M1A.BIN", "VX3M1A", false, true, 0xEFB3, 0xF293, false, false},
                      Sample{"VXLARK.BIN", "VXLARK (BIN)", false, false, 0xF25B, 0xB2DB, false, false},
                      Sample{"VXWREN.BIN", "VXWREN (BIN)", false, false, 0xE8E5, 0x696D, true, false},
                      Sample{"VX3PCR16.BIN", "VX3PCR16", false, false, 0xE4C0, 0x708B, false, false}),
    [](const ::testing::TestParamInfo<Sample>& info) {
      std::string name = std::string(info.param.device) + "_" + info.param.file;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

}  // namespace
}  // namespace vx3::image
