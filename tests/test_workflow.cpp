// The operator's whole job through the presenter, on a fake window with its dialogs answered in
// advance, against the simulated Writer of a copied program folder: a load that updates the
// Writer's driver, downloads and verifies the EEPROM job and the rolling code, chips that advance
// the rolling value, Load OTP and Read; and how Device / Load sets the buttons for what it loaded.
#include <cstdlib>
#include <functional>
#include <sstream>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/test_ledger.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;
using testing::ChooserAnswer;

const fs::path kShippedProgramDir = VX3WT_PROGRAM_DIR;

// The fake window, keeping every label the progress window was shown with.
class RecordingView : public testing::FakeView {
 public:
  void ShowProgressWindow(std::string_view caption, std::string_view label) override {
    FakeView::ShowProgressWindow(caption, label);
    progressLabels.emplace_back(label);
    if (onProgressShown) std::exchange(onProgressShown, nullptr)();
  }
  std::vector<std::string> progressLabels;
  // What the operator does while the worker shows its first progress window.
  std::function<void()> onProgressShown;
};

std::uint64_t HexValue(const std::string& text) { return std::strtoull(text.c_str(), nullptr, 16); }

class WorkflowTest : public ::testing::Test {
 protected:
  WorkflowTest() : programDir_(dir_.path() / "Writer v1.2"), context_(locale_, clock_) {
    context_.ledgerOpener = testing::LedgerOpenerForTests();
    fs::create_directories(programDir_);
    for (const char* folder : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"}) {
      fs::copy(kShippedProgramDir / folder, programDir_ / folder, fs::copy_options::recursive);
    }
    testing::SetSimFolder(simDir_.path());
    locale_.Set(platform::kLocaleEnglishUs);
    context_.state.programPath = programDir_ / "vx3wt";
    context_.state.programDir = programDir_;
    context_.reporter.SetProgramDir(programDir_);
    presenter_ = std::make_unique<MainPresenter>(context_, view_);
    presenter_->OnInitWindow();
  }
  ~WorkflowTest() override {
    presenter_.reset();
    testing::SetSimFolder("");
  }

  fs::path Sample(std::string_view name) const { return programDir_ / "samples" / name; }

  // The one-click load of `file`, and the worker's whole run after it.
  void LoadFileFirst(const fs::path& file) {
    view_.fileAnswers.push_back(file);
    presenter_->OnOneKeyLoad();
    presenter_->WaitForWriterJobs();
  }

  static std::string Count(const fs::path& ini) {
    return platform::ReadProfileString(ini, "Rolling Code", "Count").value_or("");
  }

  bool Enabled(int id) { return view_.controls[id].enabled; }
  void SimSettings(std::string_view text) const { testing::WriteFileBytes(simDir_.path() / "VX3USBOV3Wt.ini", text); }
  // The status box says so; a build without a production record says that too, at each load.
  bool Contains(std::string_view text) const {
    return testing::WithoutNoRecordLines(view_.status).find(text) != std::string::npos;
  }

  testing::TempDir dir_;
  testing::TempDir simDir_;
  fs::path programDir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  AppContext context_;
  RecordingView view_;
  std::unique_ptr<MainPresenter> presenter_;
};

TEST_F(WorkflowTest, LoadUpdatesTheWriterDownloadsTheJobAndChipsAdvanceTheRollingCode) {
  const fs::path ini = Sample("VX3P1020.INI");
  std::thread::id dialogThread;
  std::string statusDuringDialog;
  view_.rollingScript = [&](rolling::RollingDialog&, testing::FakeView::RollingControls&) {
    dialogThread = std::this_thread::get_id();
    // The worker's rolling download follows the dialog: a command now must not reach the Writer.
    statusDuringDialog = view_.status;
    presenter_->OnAutoProgram();
    EXPECT_EQ(view_.status, statusDuringDialog);
    return true;
  };
  LoadFileFirst(Sample("VX3P1020.VX3"));

  EXPECT_TRUE(view_.choosers.empty());  // one-click never opens the chooser
  EXPECT_EQ(view_.controls[ctl::kDeviceName].text, "VX3P1020");
  EXPECT_NE(dialogThread, std::this_thread::get_id());
  EXPECT_EQ(view_.rollingDialogRuns, 1);
  // The driver of a fresh Writer was brought up to date, then the job went down and was checked.
  EXPECT_NE(std::find(view_.progressLabels.begin(), view_.progressLabels.end(), "Update Driver"),
            view_.progressLabels.end());
  EXPECT_NE(statusDuringDialog.find("EEPROM program O.K"), std::string::npos) << statusDuringDialog;
  EXPECT_NE(statusDuringDialog.find("EEPROM verify O.K"), std::string::npos) << statusDuringDialog;
  EXPECT_TRUE(Contains("Rolling Code Program O.K")) << view_.status;
  EXPECT_TRUE(Contains("Rolling Code verify O.K")) << view_.status;
  EXPECT_TRUE(Contains("Rolling Value : 0000 1000")) << view_.status;
  EXPECT_EQ(view_.controls[ctl::kDriverVersion].text.substr(0, 1), " ");
  EXPECT_FALSE(view_.progressShown);
  EXPECT_FALSE(context_.state.workerBusy);
  for (const int id : ctl::kOperationButtons) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(ctl::kLoadOtp));  // the device's copy control allows Load OTP
  EXPECT_TRUE(view_.controls[ctl::kLoadOtp].shown);
  EXPECT_EQ(view_.controls[ctl::kBlankCheck].text, "Blank Check");

  if (!testing::kBuildKeepsRecord) GTEST_SKIP() << "chips with serial numbers need the production record";
  const std::uint64_t first = HexValue(Count(ini));
  for (int chip = 1; chip <= 3; ++chip) {
    presenter_->OnAutoProgram();
    presenter_->WaitForWriterJobs();
    EXPECT_FALSE(Contains("Err: ")) << view_.status;
    EXPECT_EQ(HexValue(Count(ini)), first + static_cast<std::uint64_t>(chip)) << chip;
  }
  EXPECT_EQ(Count(ini), "00001003");
  EXPECT_TRUE(Contains("Rolling Value : 0000 1003")) << view_.status;
  EXPECT_EQ(view_.waitCursor, 0);
}

// Where the build keeps no record, the chip commands that would write a serial number are
// refused, and the others still run.
TEST_F(WorkflowTest, WithoutARecordSerialNumbersAreRefused) {
  if (testing::kBuildKeepsRecord) GTEST_SKIP() << "this build keeps a production record";
  view_.rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
  LoadFileFirst(Sample("VX3P1020.VX3"));
  view_.status.clear();
  presenter_->OnAutoProgram();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.status, "Err: Serial numbers cannot be recorded: this build of the program keeps no production "
                          "record. Auto Program is stopped so that no value is used twice.\r\n");
  EXPECT_EQ(context_.state.lastResult, CommandResult::SerialRefused);
  EXPECT_EQ(Count(Sample("VX3P1020.INI")), "00001000");
  presenter_->OnBlankCheck();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(context_.state.lastResult, CommandResult::Ok) << view_.status;
}

TEST_F(WorkflowTest, CancelledRollingDialogSendsNoSecondJob) {
  view_.rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return false; };
  LoadFileFirst(Sample("VX3P1020.VX3"));
  EXPECT_EQ(view_.rollingDialogRuns, 1);
  EXPECT_TRUE(Contains("EEPROM verify O.K")) << view_.status;
  EXPECT_FALSE(Contains("Rolling Code")) << view_.status;
  EXPECT_FALSE(view_.progressShown);
  EXPECT_EQ(view_.progressLabels.back(), "Verify");
}

TEST_F(WorkflowTest, SecondLoadFindsTheFirmwareCurrentAndSendsNoUpdate) {
  LoadFileFirst(Sample("VXHERON.VX3"));
  ASSERT_TRUE(Contains("EEPROM verify O.K")) << view_.status;
  view_.progressLabels.clear();
  LoadFileFirst(Sample("VXHERON.VX3"));
  EXPECT_EQ(view_.progressLabels, (std::vector<std::string>{"Program", "Verify"}));
  EXPECT_TRUE(Contains("EEPROM program O.K")) << view_.status;
  EXPECT_TRUE(Contains("EEPROM verify O.K")) << view_.status;
  // No rolling INI: no dialog, and the Rolling Code button stays off.
  EXPECT_EQ(view_.rollingDialogRuns, 0);
  EXPECT_FALSE(Enabled(ctl::kRollingCode));
  EXPECT_FALSE(view_.controls[ctl::kLoadOtp].shown);
}

TEST_F(WorkflowTest, ChooserAfterOneClickAndCancelledChooserDisablesEverything) {
  LoadFileFirst(Sample("VXHERON.VX3"));
  ASSERT_TRUE(Enabled(ctl::kAutoProgram));
  view_.chooserAnswers.push_back(ChooserAnswer{false, "", ""});
  presenter_->OnDeviceLoad();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.choosers.size(), 1U);
  EXPECT_EQ(view_.controls[ctl::kDeviceName].text, "");
  for (const int id : ctl::kOperationButtons) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(view_.fileDialogFolders.size() == 1U);  // only the one-click load's
}

TEST_F(WorkflowTest, DeviceWithoutImageLeavesTheButtonsOff) {
  view_.chooserAnswers.push_back(ChooserAnswer{true, "", ""});
  presenter_->OnDeviceLoad();  // the file dialog is cancelled
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.fileDialogFolders.size(), 1U);
  for (const int id : ctl::kOperationButtons) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(context_.image.deviceName.empty());
  EXPECT_FALSE(Contains("USB Connect O.K"));
}

TEST_F(WorkflowTest, LoadOtpReadsTheChipAndTheWorkerDownloadsIt) {
  LoadFileFirst(Sample("VX3P1020.VX3"));
  if (!testing::kBuildKeepsRecord) GTEST_SKIP() << "a chip with a serial number needs the production record";
  presenter_->OnAutoProgram();
  presenter_->WaitForWriterJobs();
  ASSERT_FALSE(Contains("Err: ")) << view_.status;
  presenter_->OnLoadOtp();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.controls[ctl::kChecksumCaption].text, "VX3 Check Sum : ");
  EXPECT_EQ(view_.controls[ctl::kChecksum].text, context_.image.checksumText);
  EXPECT_EQ(context_.image.imagePath.extension(), ".LOD");
  EXPECT_TRUE(fs::is_regular_file(context_.image.imagePath));
  EXPECT_EQ(context_.image.imagePath.parent_path(), programDir_ / "Load_OTP");
  EXPECT_TRUE(Contains("EEPROM verify O.K")) << view_.status;
  // The chip's code is the image now, and the label names its file.
  EXPECT_EQ(view_.controls[ctl::kFileName].text, platform::PathToUtf8(context_.image.imagePath));
}

// Load OTP's read breaks off: the .LOD file of an earlier chip stays byte for byte with nothing
// beside it, and the image loaded before stays the image.
TEST_F(WorkflowTest, ABrokenLoadOtpKeepsTheEarlierLodFileAndTheImage) {
  LoadFileFirst(Sample("VX3P1020.VX3"));
  if (!testing::kBuildKeepsRecord) GTEST_SKIP() << "a chip with a serial number needs the production record";
  presenter_->OnAutoProgram();
  presenter_->WaitForWriterJobs();
  ASSERT_FALSE(Contains("Err: ")) << view_.status;
  const fs::path lod = programDir_ / "Load_OTP" / "VX3P1020.LOD";
  const std::string earlier(0x1000, '\x3C');
  testing::WriteFileBytes(lod, earlier);
  SimSettings("[Writer]\nTrace=1\n[Faults]\nFailReadAt=20\n");

  presenter_->OnLoadOtp();
  presenter_->WaitForWriterJobs();

  EXPECT_EQ(testing::ReadFileBytes(lod), earlier);
  // The reply to the 18th chunk of the chip's read was lost.
  const std::string trace = testing::ReadFileBytes(simDir_.path() / "VX3USBOV3Wt.trace");
  const std::size_t lastRequest = trace.find("Read Chip For Load OTP (0xC0) request 18 of 256");
  ASSERT_NE(lastRequest, std::string::npos);
  EXPECT_NE(trace.find("R -> 0 (failed by the settings)", lastRequest), std::string::npos);
  EXPECT_EQ(trace.find("request 19 of 256"), std::string::npos);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(lod.parent_path())) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"VX3P1020.LOD"});
  EXPECT_EQ(context_.image.imagePath, Sample("VX3P1020.VX3"));
  EXPECT_EQ(view_.controls[ctl::kFileName].text, platform::PathToUtf8(Sample("VX3P1020.VX3")));
}

// The EEPROM job breaks off in the Writer: its failure lines stay, no Rolling Code dialog opens
// over them, and no chip command can use the broken job until the image is loaded again.
TEST_F(WorkflowTest, AFailedEepromJobLeavesNoChipCommandAndNoRollingDialog) {
  LoadFileFirst(Sample("VX3P1020.VX3"));  // brings the driver up to date; the dialog is cancelled
  ASSERT_EQ(view_.rollingDialogRuns, 1);
  SimSettings("[Faults]\nStatusCommand=0x01\nStatusReply=3\nStatus=0\n");
  LoadFileFirst(Sample("VX3P1020.VX3"));

  EXPECT_EQ(view_.rollingDialogRuns, 1);
  EXPECT_FALSE(Contains("EEPROM program O.K")) << view_.status;
  EXPECT_TRUE(Contains("Err: The Writer holds no valid job: load the image again !!\r\n")) << view_.status;
  const std::size_t noJob = view_.status.find("no valid job");
  EXPECT_NE(view_.status.rfind("Err: ", noJob - 1), std::string::npos) << "the download's own failure line stays";
  for (const int id : ctl::kChipButtons) EXPECT_FALSE(Enabled(id)) << id;
}

// Files from a Windows kit: the header names the device in lower case, the rolling INI beside
// the image is in another case than the image's name. The driver, the description, the symbol
// file and the INI are all found, the job goes to the Writer, and the history keeps the device
// so that Choose Device offers it again and loads it.
TEST_F(WorkflowTest, KitAndImageNamesInAnyLetterCase) {
  std::string bytes = testing::ReadFileBytes(Sample("VXHERON.VX3"));
  const std::size_t at = bytes.find("VXHERON");
  ASSERT_LT(at, 256U);
  bytes.replace(at, 7, "vxheron");
  const fs::path image = testing::WriteFileBytes(programDir_ / "images" / "Remote.VX3", bytes);
  fs::copy_file(Sample("VX3P1020.INI"), programDir_ / "images" / "remote.ini");
  LoadFileFirst(image);

  EXPECT_EQ(context_.image.deviceName, "vxheron") << view_.status;
  EXPECT_FALSE(Contains("Err: ")) << view_.status;
  EXPECT_TRUE(context_.rolling.iniExists);
  EXPECT_TRUE(fs::equivalent(context_.rolling.iniPath, programDir_ / "images" / "remote.ini"));
  EXPECT_EQ(view_.rollingDialogRuns, 1);  // the INI's rolling code was found (and the dialog cancelled)
  EXPECT_TRUE(Enabled(ctl::kAutoProgram));

  view_.chooserAnswers.push_back({true, "History Chip", "vxheron"});
  view_.fileAnswers.push_back(Sample("VXHERON.VX3"));
  presenter_->OnDeviceLoad();
  presenter_->WaitForWriterJobs();
  EXPECT_TRUE(view_.chooserMisses.empty());
  EXPECT_TRUE(context_.image.loadOk) << view_.status;
  EXPECT_FALSE(Contains("Err: ")) << view_.status;
}

// A load that stops at the device step (no description file for the device its header names)
// keeps the image of before in force, as the buttons and the Writer's job still are; no part of
// the broken device reaches the run state or the chip history.
TEST_F(WorkflowTest, ALoadThatFindsNoDeviceFilesKeepsTheImageOfBefore) {
  LoadFileFirst(Sample("VXHERON.VX3"));
  ASSERT_TRUE(context_.image.loadOk) << view_.status;
  const std::uint16_t checksum = context_.image.checksum;
  std::string bytes = testing::ReadFileBytes(Sample("VXHERON.VX3"));
  bytes.replace(bytes.find("VXHERON"), 7, "VXNOPEX");
  LoadFileFirst(testing::WriteFileBytes(programDir_ / "images" / "nope.VX3", bytes));

  EXPECT_TRUE(Contains("Err: Can't find VXNOPEX INC file !!!")) << view_.status;
  EXPECT_EQ(context_.image.deviceName, "VXHERON");
  EXPECT_EQ(context_.image.imagePath, Sample("VXHERON.VX3"));
  EXPECT_EQ(context_.image.checksum, checksum);
  EXPECT_EQ(view_.controls[ctl::kDeviceName].text, "VXHERON");
  EXPECT_TRUE(Enabled(ctl::kAutoProgram));
  const std::string history = testing::ReadFileBytes(programDir_ / "Writer_Log" / "History Chip.log");
  EXPECT_EQ(history.find("VXNOPEX"), std::string::npos) << history;
  // The next chip is programmed from the job of the image in force.
  presenter_->OnAutoProgram();
  presenter_->WaitForWriterJobs();
  EXPECT_FALSE(Contains("Err: ")) << view_.status;
}

// The operator switches the off-line mode while the worker updates the Writer: the version query
// after it carries the mode shown then.
TEST_F(WorkflowTest, TheOfflineModeQueriedIsTheOneShownAtThatMoment) {
  SimSettings("[Writer]\nTrace=1\n");
  view_.onProgressShown = [this] { presenter_->OnFunction0Clicked(); };
  LoadFileFirst(Sample("VXHERON.VX3"));
  ASSERT_TRUE(view_.progressLabels.size() >= 1U);

  std::istringstream trace(testing::ReadFileBytes(simDir_.path() / "VX3USBOV3Wt.trace"));
  std::string line;
  std::vector<std::string> versionQueries;
  while (std::getline(trace, line)) {
    if (line.starts_with("W 06 ")) versionQueries.push_back(line.substr(0, 8));
  }
  ASSERT_FALSE(versionQueries.empty());
  EXPECT_EQ(versionQueries.front(), "W 06 5A ");  // before the click
  EXPECT_EQ(versionQueries.back(), "W 06 A5 ");   // the worker's query that shows the version
}

TEST_F(WorkflowTest, ReadListsTheProgrammedChip) {
  LoadFileFirst(Sample("VXHERON.VX3"));
  presenter_->OnAutoProgram();
  presenter_->WaitForWriterJobs();
  presenter_->OnRead();
  presenter_->WaitForWriterJobs();
  EXPECT_TRUE(Contains("for all datas")) << view_.status.substr(0, 400);
  EXPECT_TRUE(Contains("000000 : ")) << view_.status.substr(0, 400);
  EXPECT_FALSE(Contains("Err: "));
}

struct EraseCase {
  const char* device;
  const char* caption;
};

class EraseCaptionTest : public WorkflowTest, public ::testing::WithParamInterface<EraseCase> {};

// A device of the erasable families, in any letter case, gets Erase; the others Blank Check.
TEST_P(EraseCaptionTest, BlankCheckCaptionFollowsTheDevice) {
  const std::string device = GetParam().device;
  view_.fileAnswers.push_back(testing::WriteSmallDeviceImage(programDir_, device, ".ASSEMBLY PGM_TYPE 1\n"));
  presenter_->OnOneKeyLoad();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.controls[ctl::kDeviceName].text, device) << view_.status;
  EXPECT_EQ(view_.controls[ctl::kBlankCheck].text, GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(Devices, EraseCaptionTest,
                         ::testing::Values(EraseCase{"vx3e0001", "Erase"}, EraseCase{"VX3F0002", "Erase"},
                                           EraseCase{"Vx3f0003", "Erase"}, EraseCase{"VX3P0004", "Blank Check"},
                                           EraseCase{"VX3", "Blank Check"}),
                         [](const auto& info) { return std::string(info.param.device); });

}  // namespace
}  // namespace vx3::app
