// The rolling code between the program and the Writer: the record in the job header of a
// sample image with its rolling INI, the read-back into Count with its faults on a scripted
// Writer, and the value advanced by the simulated Writer, read back and stored.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/app_context.h"
#include "app/rolling_commands.h"
#include "image/device_file.h"
#include "image/image_reader.h"
#include "image/side_files.h"
#include "link/command_codes.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_read_back.h"
#include "support/fake_bridge.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "writer_ops/chip_actions.h"
#include "writer_ops/eeprom_download.h"

namespace vx3::rolling {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;

std::string IniCount(const fs::path& ini) {
  return platform::ReadProfileString(ini, kRollingSection, key::kCount).value_or("<absent>");
}

// A program folder of the test's own with the kit's device files and one sample image with its
// rolling INI copied in, so that writing Count never touches the build's samples.
class RollingKitFolder {
 protected:
  RollingKitFolder() {
    fs::copy(kProgramDir / "USE_INC2", dir_.path() / "USE_INC2", fs::copy_options::recursive);
    fs::copy(kProgramDir / "Symbol", dir_.path() / "Symbol", fs::copy_options::recursive);
    fs::create_directories(dir_.path() / "Writer_Log");
  }

  // The device steps of a load and the image read, as the load flow takes them.
  bool LoadSample(image::LoadedImage& image, RollingSettings& rolling, std::string_view device, text::Reporter& reporter,
                  const text::Language& language) {
    const fs::path dir = dir_.path();
    const std::string name(device);
    fs::copy_file(kProgramDir / "samples" / (name + ".VX3"), dir / (name + ".VX3"));
    fs::copy_file(kProgramDir / "samples" / (name + ".INI"), dir / (name + ".INI"));
    image.deviceName = name;
    std::string instrument;
    image::IncLookup(dir, name, image::kAssemblySection, image::kKeyInstrument, instrument);
    // The VX3P1 series has no symbol file; the load flow skips that step for it.
    if (!name.starts_with("VX3P1") && !image::ReadSymbolFile(image, instrument, dir, reporter)) return false;
    image.romWords = static_cast<std::uint32_t>(image::IncNumber(dir, name, image::kAssemblySection, image::kKeyBodySize));
    image.romBytes = 2 * image.romWords;
    image.otpType = image::IncNumber(dir, name, image::kAssemblySection, image::kKeyProgramType);
    image.imagePath = dir / (name + ".VX3");
    return image::ReadImage(image, false, rolling, dir, reporter, language);
  }

  testing::TempDir dir_;
};

// --- the record in the job header of a sample --------------------------------------------------

struct SampleCase {
  const char* device;
  Bytes record;  // worked out by hand from the sample's INI
};

class RollingSampleDownloadTest : public RollingKitFolder, public ::testing::TestWithParam<SampleCase> {};

TEST_P(RollingSampleDownloadTest, HeaderStartsWithTheRecord) {
  const SampleCase& c = GetParam();
  testing::FakeLink fake;
  fs::create_directories(fake.dir.path() / "Writer_Log");
  image::LoadedImage image;
  RollingSettings rolling;
  ASSERT_TRUE(LoadSample(image, rolling, c.device, fake.reporter, fake.language)) << fake.view.status;
  ASSERT_EQ(rolling.method, RollingMethod::AutoInc) << fake.view.status;

  writer_ops::ProgressWindow progress(fake.clock);
  writer_ops::EepromHeader header;
  header.bytes.fill(0xEE);
  ASSERT_TRUE(fake.Connect());
  for (int i = 0; i < 2 + 64; ++i) fake.bridge.QueueStatus(link::status::kOk);
  const writer_ops::EepromDownload job{fake.services(), image, rolling, header, progress, dir_.path(), dir_.path()};
  ASSERT_TRUE(writer_ops::FillEepromHeader(job)) << fake.view.status;

  const Bytes sent = fake.bridge.written.at(0);  // the first header block
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(c.record.size())), c.record);
  // After the record, up to and with the dialog's verify byte, the header keeps what it held.
  for (std::size_t i = c.record.size(); i <= 26; ++i) EXPECT_EQ(sent[i], 0xEE) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Kit, RollingSampleDownloadTest,
    ::testing::Values(
        // Address 0x101, two words, Count 00001000, Step 00000001, lowest word first.
        SampleCase{"VX3P1020", {1, 0, 0x01, 0x01, 2, 0, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 1, 0}},
        // Address 0x301, four byte-words, Count 0000 0000 0010 0000 (bytes 00 00 10 00), Step 1.
        SampleCase{"VXTERN", {1, 0, 0x01, 0x03, 4, 0, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 1, 0}}),
    [](const auto& info) { return std::string(info.param.device); });

// --- the read-back on a scripted Writer --------------------------------------------------------

class RollingReadBackTest : public ::testing::Test {
 protected:
  RollingReadBackTest() {
    fs::create_directories(fake_.dir.path() / "Writer_Log");
    settings_.iniPath = fake_.dir.path() / "CODE.INI";
    testing::RollingIniFields f;
    f.way = "INI";
    f.order = "L2H";
    f.address = "0x101";
    f.wordLength = "2";
    f.count = "00001000";
    testing::WriteRollingIni(settings_.iniPath, f);
    settings_.method = RollingMethod::AutoInc;
    settings_.address = 0x101;
    settings_.wordLength = 2;
    settings_.lowWordFirst = true;
  }
  void SetUp() override { ASSERT_TRUE(fake_.Connect()); }

  // The Writer's header: `record` at the start, then `fill`.
  void QueueHeader(const Bytes& record, std::uint8_t fill = 0) {
    Bytes header(128, fill);
    std::copy(record.begin(), record.end(), header.begin());
    for (std::size_t row = 0; row < 8; ++row) {
      link::Reply reply{};
      std::copy_n(header.begin() + static_cast<std::ptrdiff_t>(row * 16), 16, reply.begin());
      fake_.bridge.QueueReply(reply);
    }
  }

  testing::FakeLink fake_;
  RollingSettings settings_;
  writer_ops::EepromHeader header_;
};

TEST_F(RollingReadBackTest, AdvancedValueGoesIntoCount) {
  QueueHeader({1, 0, 0x01, 0x01, 2, 0, 0x02, 0x10, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 1, 0});
  EXPECT_TRUE(ReadBackRolling(fake_.services(), header_, settings_, "VX3P1020")) << fake_.view.status;
  EXPECT_EQ(IniCount(settings_.iniPath), "00011002");
  EXPECT_EQ(settings_.value[0], 0x1002U);
  EXPECT_EQ(header_.bytes[6], 0x02);
  EXPECT_EQ(fake_.view.status, "");
  ASSERT_EQ(fake_.bridge.written.size(), 8U);
  EXPECT_EQ(fake_.bridge.written[0][0], link::command::kReadHeader);
}

struct ReadBackFault {
  const char* name;
  Bytes record;
  std::uint8_t fill;
  int failReadAt;  // 0: the read-back arrives whole
  const char* line;
};

class RollingReadBackFaultTest : public RollingReadBackTest, public ::testing::WithParamInterface<ReadBackFault> {};

TEST_P(RollingReadBackFaultTest, CountStays) {
  const ReadBackFault& c = GetParam();
  QueueHeader(c.record, c.fill);
  fake_.bridge.failReadAt = c.failReadAt;
  settings_.value[0] = 0x1000;
  EXPECT_FALSE(ReadBackRolling(fake_.services(), header_, settings_, "VX3P1020"));
  EXPECT_EQ(IniCount(settings_.iniPath), "00001000");
  EXPECT_EQ(settings_.value[0], 0x1000U);
  const std::string ini = platform::PathToUtf8(settings_.iniPath);
  EXPECT_NE(fake_.view.status.find(fmt::format(fmt::runtime(c.line), ini)), std::string::npos) << fake_.view.status;
}

const Bytes kGood = {1, 0, 0x01, 0x01, 2, 0, 0x02, 0x10, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 1, 0};

INSTANTIATE_TEST_SUITE_P(
    Cases, RollingReadBackFaultTest,
    ::testing::Values(
        // A read that breaks off: the header holds what was sent, an older value.
        ReadBackFault{"ReadBreaksOff", kGood, 0, 4, kMessageReadBackFailedFormat.data()},
        // A blank Writer EEPROM: every byte 0xFF, the length 0xFFFF.
        ReadBackFault{"BlankWriter", {}, 0xFF, 0, kMessageReadBackMismatchFormat.data()},
        ReadBackFault{"RollingOffInTheWriter", Bytes(8, 0), 0, 0, kMessageReadBackMismatchFormat.data()},
        ReadBackFault{"OtherAddress", {1, 0, 0x03, 0x01, 2, 0, 0x02, 0x10}, 0, 0, kMessageReadBackMismatchFormat.data()},
        ReadBackFault{"OtherLength", {1, 0, 0x01, 0x01, 3, 0, 0x02, 0x10}, 0, 0,
                      kMessageReadBackMismatchFormat.data()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RollingReadBackTest, UnwritableIniIsAnErrorAndTheValueStaysInMemory) {
  QueueHeader(kGood);
  settings_.iniPath = fake_.dir.path() / "gone" / "CODE.INI";
  EXPECT_FALSE(ReadBackRolling(fake_.services(), header_, settings_, "VX3P1020"));
  EXPECT_EQ(settings_.value[0], 0x1002U);
  EXPECT_EQ(fake_.view.status,
            "Err: Can't write Count of Rolling Code into " + platform::PathToUtf8(settings_.iniPath) + " !!!\r\n");
}

// --- against the simulated Writer ----------------------------------------------------------------

class RollingSimulatedWriterTest : public RollingKitFolder, public ::testing::Test {};

TEST_F(RollingSimulatedWriterTest, WriterAdvancesTheValueAndCountKeepsIt) {
  if (!fs::exists(kProgramDir / "DLL" / "VX3USBOV3Wt.DLL")) GTEST_SKIP() << "no simulated Writer in the program folder";
  testing::TempDir simDir;
  testing::SetSimFolder(simDir.path());
  testing::FakeClock clock;
  platform::StandInThreadLocale locale;
  app::AppContext context(locale, clock);
  testing::FakeView view;
  context.reporter.AttachView(&view);
  context.reporter.SetProgramDir(dir_.path());
  context.language.SetFile(kProgramDir / "language" / "UIEng.ini");
  context.state.programDir = dir_.path();
  ASSERT_TRUE(LoadSample(context.image, context.rolling, "VX3P1020", context.reporter, context.language)) << view.status;
  ASSERT_EQ(context.rolling.value[0], 0x1000U);

  const auto reconnect = [&context] {
    context.link.ClearConnected();
    return context.link.UsbConnect(kProgramDir);
  };
  const writer_ops::EepromDownload job{context.writer(), context.image, context.rolling, context.eepromHeader,
                                       context.progress, dir_.path(), dir_.path()};
  ASSERT_TRUE(reconnect());
  ASSERT_TRUE(writer_ops::EepromAction(job, writer_ops::kEepromProgram, writer_ops::kRollingJobLabel)) << view.status;
  ASSERT_TRUE(writer_ops::EepromAction(job, writer_ops::kEepromVerify, writer_ops::kRollingJobLabel)) << view.status;

  // Two chips (the simulated operator puts a new one in after each), each programmed on-line and
  // followed by the read-back, as Program does.
  const fs::path ini = context.rolling.iniPath;
  for (const char* expected : {"00001001", "00001002"}) {
    ASSERT_TRUE(reconnect());
    ASSERT_TRUE(writer_ops::ChipAction(context.writer(), link::command::kProgramChip,
                                       {context.image.romBytes, context.image.checksum}))
        << view.status;
    ASSERT_TRUE(reconnect());
    ASSERT_TRUE(app::ReadBackRolling(context)) << view.status;
    EXPECT_EQ(IniCount(ini), expected);
    app::ReloadRollingSettings(context, true);
    EXPECT_EQ(context.rolling.method, RollingMethod::AutoInc);
  }
  EXPECT_EQ(context.rolling.value[0], 0x1002U);
  EXPECT_NE(view.status.find("Rolling Value : 0000 1002 "), std::string::npos) << view.status;
}

}  // namespace
}  // namespace vx3::rolling
