// An installed program (kit in share/vx3wt, bridge in lib/vx3wt, nothing beside the executable):
// start-up finds its folders and prepares the user's data folder, and a whole job through the
// presenter against the simulated Writer writes the log, the chip history, Load_OTP and the
// Writer's state there and nothing into the install.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "app/startup.h"
#include "device_select/device_chooser.h"
#include "platform/utf8_path.h"
#include "support/test_ledger.h"
#include "support/fake_clock.h"
#include "support/fake_environment.h"
#include "support/fake_view.h"
#include "support/temp_dir.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedProgramDir = VX3WT_PROGRAM_DIR;
const text::InstallLayout kLayout{"../share/vx3wt", "../lib/vx3wt"};
constexpr std::string_view kSimFolderVariable = "VX3WT_SIM_DIR";
constexpr std::string_view kSettingsName = "VX3USBOV3Wt.ini";

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every file under `folder`, relative to it.
std::vector<std::string> FilesUnder(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(folder).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class DataFolderTest : public ::testing::Test {
 protected:
  DataFolderTest()
      : bin_(dir_.path() / "usr" / "bin"),
        kit_(dir_.path() / "usr" / "share" / "vx3wt"),
        lib_(dir_.path() / "usr" / "lib" / "vx3wt"),
        data_(dir_.path() / "home" / "op" / ".local" / "share" / "vx3wt"),
        context_(locale_, clock_) {
    context_.ledgerOpener = testing::LedgerOpenerForTests();
    fs::create_directories(bin_);
    fs::create_directories(kit_);
    for (const char* folder : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "samples"}) {
      fs::copy(kShippedProgramDir / folder, kit_ / folder, fs::copy_options::recursive);
    }
    fs::create_directories(lib_ / "DLL");
    fs::copy(kShippedProgramDir / "DLL" / "VX3USBOV3Wt.DLL", lib_ / "DLL");
    fs::copy(kShippedProgramDir / "DLL" / kSettingsName, lib_ / "DLL");
    auto environment = std::make_unique<testing::FakeEnvironment>();
    environment_ = environment.get();
    environment_->home = dir_.path() / "home" / "op";
    environment_->readOnly = {bin_, kit_, lib_};
    // The simulated Writer reads its folder from the process's own environment.
    environment_->onSet = [](std::string_view name, std::string_view value) {
      if (name == kSimFolderVariable) testing::SetSimFolder(fs::path(std::string(value)));
    };
    context_.environment = std::move(environment);
    locale_.Set(platform::kLocaleEnglishUs);
  }
  ~DataFolderTest() override {
    presenter_.reset();
    testing::SetSimFolder("");
  }

  void StartUp() {
    FindProgramFolder(context_, bin_ / "vx3wt", kLayout);
    PrepareDataFolder(context_);
  }
  void OpenWindow() {
    presenter_ = std::make_unique<MainPresenter>(context_, view_);
    presenter_->OnInitWindow();
  }
  void LoadFileFirst(const fs::path& file) {
    view_.fileAnswers.push_back(file);
    presenter_->OnOneKeyLoad();
    presenter_->WaitForWriterJobs();
  }
  bool Contains(std::string_view text) const {
    return testing::WithoutNoRecordLines(view_.status).find(text) != std::string::npos;
  }

  testing::TempDir dir_;
  fs::path bin_, kit_, lib_, data_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  AppContext context_;
  testing::FakeEnvironment* environment_ = nullptr;
  testing::FakeView view_;
  std::unique_ptr<MainPresenter> presenter_;
};

TEST_F(DataFolderTest, StartUpReadsTheInstallAndWritesTheUsersDataFolder) {
  StartUp();
  const RunState& state = context_.state;
  EXPECT_EQ(state.programDir, kit_);
  EXPECT_EQ(state.programPath, kit_ / "vx3wt");  // the language files are found in the kit
  EXPECT_EQ(state.BridgeDir(), lib_);
  EXPECT_EQ(state.DataDir(), data_);
  EXPECT_TRUE(state.DataMoved());
  EXPECT_EQ(environment_->variables[std::string(kSimFolderVariable)], (data_ / "DLL").string());
  // The first start copies the shipped settings, writable for the user.
  EXPECT_EQ(ReadAll(data_ / "DLL" / kSettingsName), ReadAll(lib_ / "DLL" / kSettingsName));
  const fs::perms perms = fs::status(data_ / "DLL" / kSettingsName).permissions();
  EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
}

TEST_F(DataFolderTest, LaterStartsKeepTheUsersSettings) {
  StartUp();
  const fs::path copy = data_ / "DLL" / kSettingsName;
  { std::ofstream(copy, std::ios::binary | std::ios::trunc) << "[Writer]\r\nPresent=0\r\n"; }
  StartUp();
  EXPECT_EQ(ReadAll(copy), "[Writer]\r\nPresent=0\r\n");
}

TEST_F(DataFolderTest, AFolderTheOperatorNamedForTheSimulatedWriterIsKept) {
  environment_->variables[std::string(kSimFolderVariable)] = (dir_.path() / "mine").string();
  StartUp();
  EXPECT_EQ(environment_->variables[std::string(kSimFolderVariable)], (dir_.path() / "mine").string());
  EXPECT_FALSE(fs::exists(data_ / "DLL" / kSettingsName));
  EXPECT_TRUE(fs::is_directory(data_));
}

TEST_F(DataFolderTest, WelcomeTextNamesTheDataFolderInEachLanguage) {
  StartUp();
  OpenWindow();
  const std::string note = "\r\n\r\nThe log, chip history, Load_OTP and Writer state are kept in:\r\n   " +
                           platform::PathToUtf8(data_);
  EXPECT_EQ(DataFolderNote(context_), note);
  // A build without a record says so after it.
  const std::string shown = testing::WithoutNoRecordLines(view_.status);
  const std::string ending = note + (testing::kBuildKeepsRecord ? "" : "\r\n\r\n");
  ASSERT_GE(shown.size(), ending.size());
  EXPECT_EQ(shown.substr(shown.size() - ending.size()), ending);
  presenter_->SwitchToChinese();
  EXPECT_NE(view_.status.find("日志、芯片记录、Load_OTP 和烧录器状态保存在：\r\n   " + platform::PathToUtf8(data_)),
            std::string::npos)
      << view_.status;
}

TEST_F(DataFolderTest, PortableFolderSaysNothingAboutData) {
  const fs::path portable = dir_.path() / "portable";
  fs::create_directories(portable / "language");
  FindProgramFolder(context_, portable / "vx3wt", kLayout);
  PrepareDataFolder(context_);
  EXPECT_EQ(context_.state.DataDir(), portable);
  EXPECT_FALSE(context_.state.DataMoved());
  EXPECT_EQ(DataFolderNote(context_), "");
  EXPECT_TRUE(environment_->variables.empty());
  EXPECT_FALSE(fs::exists(data_));
}

TEST_F(DataFolderTest, AWholeJobWritesOnlyIntoTheDataFolder) {
  StartUp();
  OpenWindow();
  const std::vector<std::string> kitBefore = FilesUnder(kit_);
  const std::vector<std::string> libBefore = FilesUnder(lib_);

  LoadFileFirst(kit_ / "samples" / "VXHERON.VX3");
  ASSERT_TRUE(Contains("EEPROM verify O.K")) << view_.status;
  presenter_->OnAutoProgram();
  presenter_->WaitForWriterJobs();
  ASSERT_FALSE(Contains("Err: ")) << view_.status;
  presenter_->OnLoadOtp();
  presenter_->WaitForWriterJobs();
  EXPECT_TRUE(fs::is_directory(data_ / "Load_OTP"));

  const fs::path log = context_.reporter.logPath();
  EXPECT_EQ(log.parent_path(), data_ / "Writer_Log");
  EXPECT_NE(ReadAll(log).find("EEPROM verify O.K"), std::string::npos);
  EXPECT_NE(ReadAll(data_ / "Writer_Log" / "History Chip.log").find("VXHERON"), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(data_ / "DLL" / "VX3USBOV3Wt.state"));

  // Choose Device offers the history kept in the data folder.
  view_.chooserAnswers.push_back(testing::ChooserAnswer{false, "", ""});
  presenter_->OnDeviceLoad();
  presenter_->WaitForWriterJobs();
  ASSERT_EQ(view_.choosers.size(), 1U);
  const auto& series = view_.choosers[0].series;
  EXPECT_NE(std::find(series.begin(), series.end(), device_select::kHistorySeries), series.end());

  EXPECT_EQ(FilesUnder(kit_), kitBefore);
  EXPECT_EQ(FilesUnder(lib_), libBefore);
  EXPECT_FALSE(fs::exists(kit_ / "Writer_Log"));
  EXPECT_FALSE(fs::exists(bin_ / "Writer_Log"));
}

TEST_F(DataFolderTest, LoadOtpKeepsTheChipInTheDataFolder) {
  StartUp();
  OpenWindow();
  view_.rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
  LoadFileFirst(kit_ / "samples" / "VX3P1020.VX3");
  if (!testing::kBuildKeepsRecord) GTEST_SKIP() << "a chip with a serial number needs the production record";
  presenter_->OnAutoProgram();
  presenter_->WaitForWriterJobs();
  ASSERT_FALSE(Contains("Err: ")) << view_.status;
  presenter_->OnLoadOtp();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(context_.image.imagePath.parent_path(), data_ / "Load_OTP");
  EXPECT_TRUE(fs::is_regular_file(context_.image.imagePath));
  EXPECT_FALSE(fs::exists(kit_ / "Load_OTP"));
}

}  // namespace
}  // namespace vx3::app
