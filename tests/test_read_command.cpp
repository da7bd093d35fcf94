// The main window's Read command on a fake window: what it shows for a good read, for a read
// that breaks off anywhere, without a Writer, while the worker runs, and against the simulated
// Writer from the program folder.
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/read_command.h"
#include "link/command_codes.h"
#include "platform/utf8_path.h"
#include "support/fake_bridge.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "writer_ops/read_back.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;
namespace cmd = link::command;
using testing::FakeBridge;
using testing::ReadFileBytes;
using Bytes = std::vector<std::uint8_t>;

const std::string kWriteFailTwice = "Err: USB write data fail !!!\r\nErr: USB write data fail !!!\r\n";
const std::string kReadFailTwice = "Err: USB read error on transfer !!!\r\nErr: USB read data fail !!!\r\n";

Bytes ChipBytes(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 29 + 3);
  return bytes;
}

std::uint16_t Sum(const Bytes& bytes, std::size_t count) {
  const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(count);
  return static_cast<std::uint16_t>(std::accumulate(bytes.begin(), end, 0U));
}

// The listing the command should show for the first `rows` rows of `bytes` in `file`.
std::string Listing(const fs::path& file, const Bytes& bytes, std::size_t rows) {
  std::string text = fmt::format("Check {} for all datas\r\n", platform::PathToUtf8(file));
  for (std::size_t row = 0; row < rows; ++row) {
    text += writer_ops::ListingLine(static_cast<std::uint32_t>(row * 16),
                                    std::span<const std::uint8_t, 16>(bytes.data() + row * 16, 16));
    text += "\r\n";
  }
  return text;
}

// The fake window, and when the wait cursor came and went.
class CursorView : public testing::FakeView {
 public:
  void SetWaitCursor(bool waiting) override {
    FakeView::SetWaitCursor(waiting);
    cursor.push_back(waiting);
  }
  std::vector<bool> cursor;
};

class ReadCommandTest : public ::testing::Test {
 protected:
  ReadCommandTest() : context_(locale_, clock_, MakeBridge()) {
    context_.state.programDir = dir_.path();
    context_.reporter.SetProgramDir(dir_.path());
    context_.reporter.AttachView(&view_);
    context_.language.SetFile(dir_.path() / "language" / "UIEng.ini");
    testing::WriteDescription(dir_.path(), "VX3T0100", ".ASSEMBLY OTP_BODY_SIZE 20h\r\n.ASSEMBLY PGM_TYPE 1\r\n");
    image::LoadedImage& image = context_.image;
    image.deviceName = "VX3T0100";
    image.imagePath = dir_.path() / "code.VX3";
    image.romWords = 32;
    image.romBytes = 64;
    image.checksum = 0xBEEF;
    view_.status = "earlier lines\r\n";
  }

  std::unique_ptr<link::BridgeLibrary> MakeBridge() {
    auto bridge = std::make_unique<FakeBridge>();
    bridge_ = bridge.get();
    return bridge;
  }

  fs::path BbbFile() const { return dir_.path() / "code.BBB"; }

  // 0x85 answered with `checkStatus`, then the four chunks of `chip` with its protect bit set
  // or clear (bit 11 of the last word).
  void QueueRead(const Bytes& chip, std::uint8_t checkStatus = 1) {
    bridge_->QueueStatus(checkStatus);
    for (std::size_t c = 0; c < chip.size() / 16; ++c) {
      link::Reply reply{};
      std::copy_n(chip.begin() + static_cast<std::ptrdiff_t>(c * 16), 16, reply.begin());
      bridge_->QueueReply(reply);
    }
  }

  void Run() { ReadCommand(context_, view_); }
  std::string Control(int id) { return view_.ControlText(id); }

  testing::TempDir dir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  FakeBridge* bridge_ = nullptr;
  AppContext context_;
  CursorView view_;
};

Bytes Chip(bool secured) {
  Bytes chip = ChipBytes(64);
  chip[63] = secured ? 0x37 : 0x3F;  // high byte of the last word: bit 11 is bit 3 here
  return chip;
}

TEST_F(ReadCommandTest, ShowsChecksumAndListsTheChip) {
  const Bytes chip = Chip(false);
  QueueRead(chip);

  Run();

  ASSERT_EQ(bridge_->written.size(), 5U);
  EXPECT_EQ(bridge_->written[0][0], cmd::kCheckBeforeRead);
  EXPECT_EQ(bridge_->written[0][1], 64);  // romBytes and checksum, as every chip action carries
  EXPECT_EQ(bridge_->written[0][3], 0xEF);
  for (std::size_t i = 1; i < 5; ++i) {
    const link::Packet packet = link::MakeCommandPacket(cmd::kReadChip, 4);
    EXPECT_EQ(bridge_->written[i], Bytes(packet.begin(), packet.end())) << i;
  }
  EXPECT_EQ(ReadFileBytes(BbbFile()), std::string(chip.begin(), chip.end()));
  EXPECT_EQ(view_.status, Listing(BbbFile(), chip, 4));
  EXPECT_EQ(Control(ctl::kChecksumCaption), "OTP Check Sum : ");
  EXPECT_EQ(Control(ctl::kChecksum), fmt::format("  {:04X} ", Sum(chip, 64)));
  EXPECT_EQ(Control(ctl::kStatusValue), "Read : 000040");
  EXPECT_EQ(view_.cursor, (std::vector<bool>{true, false}));
}

TEST_F(ReadCommandTest, SecuredChipIsSaidSo) {
  const Bytes chip = Chip(true);
  QueueRead(chip);
  Run();
  EXPECT_TRUE(context_.image.securityEnabled);
  EXPECT_EQ(Control(ctl::kChecksum), fmt::format("  {:04X} (Security option enable)", Sum(chip, 64)));
}

TEST_F(ReadCommandTest, CaptionsFollowTheLanguageFile) {
  dir_.WriteFile("language/UIEng.ini",
                 "[STRING TABLE]\r\nIDS_CheckSum_Format=%s sum:\r\nIDS_SecurityEnable=(locked)\r\n");
  const Bytes chip = Chip(true);
  QueueRead(chip);
  Run();
  EXPECT_EQ(Control(ctl::kChecksumCaption), "OTP sum:");
  EXPECT_EQ(Control(ctl::kChecksum), fmt::format("  {:04X} (locked)", Sum(chip, 64)));
}

TEST_F(ReadCommandTest, CaptionThatDoesNotFitItsArgumentFallsBackToTheBuiltInText) {
  dir_.WriteFile("language/UIEng.ini", "[STRING TABLE]\r\nIDS_CheckSum_Format=%d %n sum\r\n");
  QueueRead(Chip(false));
  Run();
  EXPECT_EQ(Control(ctl::kChecksumCaption), "OTP Check Sum : ");
}

TEST_F(ReadCommandTest, DoesNothingWhileTheWorkerRuns) {
  context_.state.workerBusy = true;
  Run();
  EXPECT_EQ(view_.status, "earlier lines\r\n");
  EXPECT_TRUE(bridge_->calls.empty());
  EXPECT_TRUE(view_.cursor.empty());
}

TEST_F(ReadCommandTest, NoWriterIsReportedAndNothingIsRead) {
  bridge_->openDeviceResult = 0;
  Run();
  EXPECT_EQ(view_.status, "Err: USB not detected !!!\r\n");
  EXPECT_EQ(bridge_->writes, 0);
  EXPECT_EQ(Control(ctl::kChecksum), "");
  EXPECT_EQ(view_.cursor, (std::vector<bool>{true, false}));
}

TEST_F(ReadCommandTest, ReconnectsEvenWhenConnectedBefore) {
  ASSERT_TRUE(context_.link.UsbConnect(dir_.path()));
  bridge_->openDeviceResult = 0;
  Run();
  EXPECT_EQ(view_.status, "Err: USB not detected !!!\r\n");
}

TEST_F(ReadCommandTest, RefusedChipCheckEndsBeforeTheRead) {
  bridge_->QueueText("No IC in socket !!\r\n");
  bridge_->QueueArguments({});
  QueueRead(Chip(false), 0);
  Run();
  EXPECT_EQ(view_.status, "No IC in socket !!\r\n");
  EXPECT_EQ(bridge_->writes, 4);  // the check, answered with two pieces of text, the arguments and 0
  EXPECT_FALSE(fs::exists(BbbFile()));
  EXPECT_EQ(Control(ctl::kChecksumCaption), "");
  EXPECT_EQ(view_.cursor, (std::vector<bool>{true, false}));
}

TEST_F(ReadCommandTest, FileThatCannotBeMadeShowsAnEmptyChecksumAndNoListing) {
  testing::WriteFileBytes(dir_.path() / "elsewhere" / "code.BBB", "an older read");
  context_.image.imagePath = dir_.path() / "missing" / "code.VX3";
  QueueRead(Chip(false));
  Run();
  EXPECT_EQ(view_.status, fmt::format("Err: Can't create the read-back file {} !!!\r\n",
                                      platform::PathToUtf8(dir_.path() / "missing" / "code.BBB")));
  EXPECT_EQ(bridge_->writes, 1);  // the chip check only
  EXPECT_EQ(Control(ctl::kChecksum), "  0000 ");
}

// A read that breaks off at a chunk still shows the checksum and the listing of what it got.
struct BreakCase {
  const char* name;
  bool failWrite;
  int chunk;  // 1 to 4
};

class ReadCommandBreakTest : public ReadCommandTest, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(ReadCommandBreakTest, ShowsWhatWasReadBeforeTheFailure) {
  const BreakCase& c = GetParam();
  const Bytes chip = Chip(false);
  QueueRead(chip);
  // Transfer 1 is the chip check; chunk k is transfer k + 1.
  if (c.failWrite) {
    bridge_->failWriteAt = c.chunk + 1;
  } else {
    bridge_->failReadAt = c.chunk + 1;
  }

  Run();

  const std::size_t rows = static_cast<std::size_t>(c.chunk - 1);
  EXPECT_EQ(view_.status, (c.failWrite ? kWriteFailTwice : kReadFailTwice) + Listing(BbbFile(), chip, rows));
  EXPECT_EQ(fs::file_size(BbbFile()), rows * 16);
  EXPECT_EQ(Control(ctl::kChecksum), fmt::format("  {:04X} ", Sum(chip, rows * 16)));
  EXPECT_EQ(Control(ctl::kChecksumCaption), "OTP Check Sum : ");
  EXPECT_EQ(bridge_->writes, c.chunk + 1);
  EXPECT_EQ(view_.cursor, (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(Matrix, ReadCommandBreakTest,
                         ::testing::Values(BreakCase{"WriteFailsAtChunk1", true, 1},
                                           BreakCase{"WriteFailsAtChunk3", true, 3},
                                           BreakCase{"WriteFailsAtChunk4", true, 4},
                                           BreakCase{"ReadFailsAtChunk1", false, 1},
                                           BreakCase{"ReadFailsAtChunk3", false, 3},
                                           BreakCase{"ReadFailsAtChunk4", false, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- against the simulated Writer ---

class ReadCommandSimTest : public ::testing::Test {
 protected:
  ReadCommandSimTest() : context_(locale_, clock_) {
    testing::SetSimFolder(sim_.path());
    context_.state.programDir = VX3WT_PROGRAM_DIR;
    context_.reporter.AttachView(&view_);
  }
  ~ReadCommandSimTest() override { testing::SetSimFolder(""); }

  testing::TempDir sim_;
  testing::TempDir work_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  AppContext context_;
  testing::FakeView view_;
};

TEST_F(ReadCommandSimTest, ReadsAProgrammedChipBack) {
  // A VX3P1020 (2K words) programmed with the pattern, its protect bit left set.
  Bytes chip(0x1000);
  for (std::size_t i = 0; i < chip.size(); ++i) chip[i] = testing::PatternByte(i);
  chip[chip.size() - 1] = 0x3F;
  chip[chip.size() - 2] = 0xFF;
  testing::WriteFileBytes(sim_.path() / "chip.bin", std::string(chip.begin(), chip.end()));
  sim_.WriteFile("VX3USBOV3Wt.ini", "[Writer]\nPresent=1\nLatencyMs=0\n[Chip]\nInSocket=1\nContent=file:chip.bin\n");
  image::LoadedImage& image = context_.image;
  image.deviceName = "VX3P1020";
  image.imagePath = work_.path() / "sample.VX3";
  image.romWords = 0x800;
  image.romBytes = 0x1000;

  ReadCommand(context_, view_);

  const fs::path bbb = work_.path() / "sample.BBB";
  EXPECT_EQ(ReadFileBytes(bbb), std::string(chip.begin(), chip.end()));
  EXPECT_EQ(view_.status, Listing(bbb, chip, 256));
  EXPECT_EQ(view_.ControlText(ctl::kChecksum), fmt::format("  {:04X} ", Sum(chip, chip.size())));
  EXPECT_EQ(view_.ControlText(ctl::kStatusValue), "Read : 001000");
  EXPECT_EQ(image.otpType, 1);
  EXPECT_FALSE(image.securityEnabled);
}

TEST_F(ReadCommandSimTest, ReadLostInTheThirdChunkListsTwoRows) {
  sim_.WriteFile("VX3USBOV3Wt.ini", "[Chip]\nInSocket=1\nContent=A5\n[Faults]\nFailReadAt=4\n");
  image::LoadedImage& image = context_.image;
  image.deviceName = "VX3P1020";
  image.imagePath = work_.path() / "sample.VX3";
  image.romWords = 0x800;
  image.romBytes = 0x1000;

  ReadCommand(context_, view_);  // read 1 answers the chip check, read 4 is chunk 3

  const fs::path bbb = work_.path() / "sample.BBB";
  const Bytes kept(32, 0xA5);
  EXPECT_EQ(ReadFileBytes(bbb), std::string(kept.begin(), kept.end()));
  EXPECT_EQ(view_.status, kReadFailTwice + Listing(bbb, kept, 2));
  EXPECT_EQ(view_.ControlText(ctl::kChecksum), "  14A0 ");
}

}  // namespace
}  // namespace vx3::app
