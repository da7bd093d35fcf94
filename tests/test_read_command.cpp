// The main window's Read command on a fake window: what it shows for a good read, for a read
// that breaks off anywhere, without a Writer, while the worker runs, and against the simulated
// Writer from the program folder.
#include <algorithm>
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

// What an earlier, complete read left in the read-back file, and the labels shown for it.
const std::string kEarlierRead(64, '\x5A');
constexpr std::string_view kEarlierCaption = "OTP Check Sum : ";
constexpr std::string_view kEarlierChecksum = "  1680 (Security option enable)";

// The names in `folder`: a read that breaks off leaves no temporary file beside its file.
std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
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

TEST_F(ReadCommandTest, FileThatCannotBeMadeKeepsTheLabelsAndListsNothing) {
  testing::WriteFileBytes(dir_.path() / "elsewhere" / "code.BBB", "an older read");
  context_.image.imagePath = dir_.path() / "missing" / "code.VX3";
  view_.SetControlText(ctl::kChecksumCaption, kEarlierCaption);
  view_.SetControlText(ctl::kChecksum, kEarlierChecksum);
  QueueRead(Chip(false));
  Run();
  EXPECT_EQ(view_.status, fmt::format("Err: Can't create the read-back file {} !!!\r\n",
                                      platform::PathToUtf8(dir_.path() / "missing" / "code.BBB")));
  EXPECT_EQ(bridge_->writes, 1);  // the chip check only
  EXPECT_EQ(Control(ctl::kChecksumCaption), kEarlierCaption);
  EXPECT_EQ(Control(ctl::kChecksum), kEarlierChecksum);
  EXPECT_FALSE(fs::exists(dir_.path() / "missing"));
}

TEST_F(ReadCommandTest, WholeReadReplacesAnEarlierFile) {
  testing::WriteFileBytes(BbbFile(), kEarlierRead + "and more than a chip holds");
  view_.SetControlText(ctl::kChecksum, kEarlierChecksum);
  const Bytes chip = Chip(false);
  QueueRead(chip);

  const std::optional<writer_ops::ChipActionResult> result = ReadCommand(context_, view_);

  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(result->Passed());
  EXPECT_EQ(ReadFileBytes(BbbFile()), std::string(chip.begin(), chip.end()));
  EXPECT_EQ(FolderNames(dir_.path()), (std::vector<std::string>{"USE_INC2", "code.BBB"}));
  EXPECT_EQ(view_.status, Listing(BbbFile(), chip, 4));
  EXPECT_EQ(Control(ctl::kChecksum), fmt::format("  {:04X} ", Sum(chip, 64)));
}

// A read that breaks off at any chunk keeps the earlier read-back file byte for byte (or its
// absence), leaves no temporary file, lists nothing, keeps the checksum and security shown, and
// says how many bytes arrived of how many.
struct BreakCase {
  const char* name;
  bool failWrite;
  int chunk;  // 1 to 4
  bool earlierFile;
};

class ReadCommandBreakTest : public ReadCommandTest, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(ReadCommandBreakTest, KeepsTheEarlierFileAndLabels) {
  const BreakCase& c = GetParam();
  if (c.earlierFile) testing::WriteFileBytes(BbbFile(), kEarlierRead);
  view_.SetControlText(ctl::kChecksumCaption, kEarlierCaption);
  view_.SetControlText(ctl::kChecksum, kEarlierChecksum);
  context_.image.securityEnabled = true;
  QueueRead(Chip(false));
  // Transfer 1 is the chip check; chunk k is transfer k + 1.
  if (c.failWrite) {
    bridge_->failWriteAt = c.chunk + 1;
  } else {
    bridge_->failReadAt = c.chunk + 1;
  }

  const std::optional<writer_ops::ChipActionResult> result = ReadCommand(context_, view_);

  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->outcome, writer_ops::ChipOutcome::Unknown);
  const std::size_t arrived = static_cast<std::size_t>(c.chunk - 1) * 16;
  EXPECT_EQ(view_.status, (c.failWrite ? kWriteFailTwice : kReadFailTwice) +
                              fmt::format("Err: Read broke off: {} of 64 bytes arrived; {} is left as it was.\r\n",
                                          arrived, platform::PathToUtf8(BbbFile())));
  if (c.earlierFile) {
    EXPECT_EQ(ReadFileBytes(BbbFile()), kEarlierRead);
    EXPECT_EQ(FolderNames(dir_.path()), (std::vector<std::string>{"USE_INC2", "code.BBB"}));
  } else {
    EXPECT_EQ(FolderNames(dir_.path()), std::vector<std::string>{"USE_INC2"});
  }
  EXPECT_EQ(Control(ctl::kChecksumCaption), kEarlierCaption);
  EXPECT_EQ(Control(ctl::kChecksum), kEarlierChecksum);
  EXPECT_TRUE(context_.image.securityEnabled);
  EXPECT_EQ(Control(ctl::kStatusValue), arrived == 0 ? "" : fmt::format("Read : {:06X}", arrived));
  EXPECT_EQ(bridge_->writes, c.chunk + 1);
  EXPECT_EQ(view_.cursor, (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(Matrix, ReadCommandBreakTest,
                         ::testing::Values(BreakCase{"WriteFailsAtChunk1", true, 1, true},
                                           BreakCase{"WriteFailsAtChunk3", true, 3, true},
                                           BreakCase{"WriteFailsAtChunk4", true, 4, true},
                                           BreakCase{"ReadFailsAtChunk1", false, 1, true},
                                           BreakCase{"ReadFailsAtChunk3", false, 3, true},
                                           BreakCase{"ReadFailsAtChunk4", false, 4, true},
                                           BreakCase{"ReadFailsAtChunk1WithoutFile", false, 1, false},
                                           BreakCase{"ReadFailsAtChunk3WithoutFile", false, 3, false}),
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

  const fs::path bbb = work_.path() / "sample.BBB";
  testing::WriteFileBytes(bbb, std::string(0x1000, '\x3C'));  // an earlier chip's read

  ReadCommand(context_, view_);

  EXPECT_EQ(ReadFileBytes(bbb), std::string(chip.begin(), chip.end()));
  EXPECT_EQ(FolderNames(work_.path()), std::vector<std::string>{"sample.BBB"});
  EXPECT_EQ(view_.status, Listing(bbb, chip, 256));
  EXPECT_EQ(view_.ControlText(ctl::kChecksum), fmt::format("  {:04X} ", Sum(chip, chip.size())));
  EXPECT_EQ(view_.ControlText(ctl::kStatusValue), "Read : 001000");
  EXPECT_EQ(image.otpType, 1);
  EXPECT_FALSE(image.securityEnabled);
}

// The simulated Writer breaks off a read of a VX3P1020 (4096 bytes, 256 chunks) at the first,
// a middle and the last chunk, by a lost reply or by being unplugged: the chip's earlier
// complete read stays as it was, and so do the labels shown for it.
struct SimBreakCase {
  const char* name;
  const char* fault;    // the [Faults] line
  std::size_t arrived;  // bytes read before the break
};

class ReadCommandSimBreakTest : public ReadCommandSimTest, public ::testing::WithParamInterface<SimBreakCase> {};

TEST_P(ReadCommandSimBreakTest, KeepsTheEarlierReadAndItsLabels) {
  const SimBreakCase& c = GetParam();
  sim_.WriteFile("VX3USBOV3Wt.ini", fmt::format("[Chip]\nInSocket=1\nContent=A5\n[Faults]\n{}\n", c.fault));
  image::LoadedImage& image = context_.image;
  image.deviceName = "VX3P1020";
  image.imagePath = work_.path() / "sample.VX3";
  image.romWords = 0x800;
  image.romBytes = 0x1000;
  const fs::path bbb = work_.path() / "sample.BBB";
  const std::string earlier(0x1000, '\x3C');
  testing::WriteFileBytes(bbb, earlier);
  view_.SetControlText(ctl::kChecksumCaption, kEarlierCaption);
  view_.SetControlText(ctl::kChecksum, kEarlierChecksum);

  ReadCommand(context_, view_);

  EXPECT_EQ(ReadFileBytes(bbb), earlier);
  EXPECT_EQ(FolderNames(work_.path()), std::vector<std::string>{"sample.BBB"});
  EXPECT_EQ(view_.status,
            kReadFailTwice +
                fmt::format("Err: Read broke off: {} of 4096 bytes arrived; {} is left as it was.\r\n", c.arrived,
                            platform::PathToUtf8(bbb)));
  EXPECT_EQ(view_.status.find("for all datas"), std::string::npos);
  EXPECT_EQ(view_.ControlText(ctl::kChecksumCaption), kEarlierCaption);
  EXPECT_EQ(view_.ControlText(ctl::kChecksum), kEarlierChecksum);
}

// Read 1 answers the chip check, read k + 1 is chunk k; a transfer is a request or a reply.
INSTANTIATE_TEST_SUITE_P(
    Faults, ReadCommandSimBreakTest,
    ::testing::Values(SimBreakCase{"LostFirstChunk", "FailReadAt=2", 0},
                      SimBreakCase{"LostThirdChunk", "FailReadAt=4", 32},
                      SimBreakCase{"LostMiddleChunk", "FailReadAt=129", 127 * 16},
                      SimBreakCase{"LostLastChunk", "FailReadAt=257", 255 * 16},
                      SimBreakCase{"UnpluggedAtTransfer40", "UnplugAtTransfer=40", 288}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadCommandSimTest, BrokenReadWithoutAnEarlierFileLeavesNothing) {
  sim_.WriteFile("VX3USBOV3Wt.ini", "[Chip]\nInSocket=1\nContent=A5\n[Faults]\nFailReadAt=100\n");
  image::LoadedImage& image = context_.image;
  image.deviceName = "VX3P1020";
  image.imagePath = work_.path() / "sample.VX3";
  image.romWords = 0x800;
  image.romBytes = 0x1000;

  ReadCommand(context_, view_);

  EXPECT_EQ(FolderNames(work_.path()), std::vector<std::string>{});
  EXPECT_EQ(view_.ControlText(ctl::kChecksum), "");
}

}  // namespace
}  // namespace vx3::app
