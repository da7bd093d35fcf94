// The operation commands and the worker on a fake window and a scripted bridge: what each
// command does without a Writer, while the worker runs, with a chip that fails, and how the
// worker goes on after a failed firmware update; the close that waits for the worker.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "link/command_codes.h"
#include "support/fake_bridge.h"
#include "support/fake_clock.h"
#include "support/fake_environment.h"
#include "support/fake_view.h"
#include "support/test_ledger.h"
#include "support/temp_dir.h"
#include "ui_text/message_box.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;
namespace cmd = link::command;
using testing::FakeBridge;
using testing::FakeView;

constexpr std::string_view kNoWriterLine = "Err: USB not detected !!!\r\n";
constexpr std::string_view kEarlierLines = "earlier lines\r\n";

class CommandsTest : public ::testing::Test {
 protected:
  CommandsTest() : context_(locale_, clock_, MakeBridge()) {
    context_.ledgerOpener = testing::LedgerOpenerForTests();
    locale_.Set(platform::kLocaleEnglishUs);
    context_.state.programPath = dir_.path() / "vx3wt";
    context_.state.programDir = dir_.path();
    context_.reporter.SetProgramDir(dir_.path());
    presenter_ = std::make_unique<MainPresenter>(context_, view_);
    presenter_->OnInitWindow();
    image::LoadedImage& image = context_.image;
    image.deviceName = "VX3T0100";
    image.imagePath = dir_.path() / "code.VX3";
    image.romWords = 0x800;
    image.romBytes = 0x1000;
    image.checksum = 0xBEEF;
    image.checksumText = " BEEF ";
    image.loadOk = true;
    for (const int id : ctl::kOperationButtons) view_.EnableControl(id, true);
    view_.status = kEarlierLines;
  }

  std::unique_ptr<link::BridgeLibrary> MakeBridge() {
    auto bridge = std::make_unique<FakeBridge>();
    bridge_ = bridge.get();
    return bridge;
  }

  // The packets the bridge was given after the probe.
  std::vector<std::vector<std::uint8_t>> Packets() const { return bridge_->written; }

  // Any of the six operation buttons, or Load OTP, which follows them.
  bool AnyOperationButtonEnabled() {
    for (const int id : ctl::kChipButtons) {
      if (view_.controls[id].enabled) return true;
    }
    return false;
  }

  testing::TempDir dir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  FakeBridge* bridge_ = nullptr;
  AppContext context_;
  FakeView view_;
  std::unique_ptr<MainPresenter> presenter_;
};

using Handler = void (MainPresenter::*)();

struct CommandCase {
  const char* name;
  Handler handler;
};

const CommandCase kAllCommands[] = {
    {"DeviceLoad", &MainPresenter::OnDeviceLoad},   {"OneKeyLoad", &MainPresenter::OnOneKeyLoad},
    {"AutoProgram", &MainPresenter::OnAutoProgram}, {"BlankCheck", &MainPresenter::OnBlankCheck},
    {"Program", &MainPresenter::OnProgram},         {"Verify", &MainPresenter::OnVerify},
    {"Read", &MainPresenter::OnRead},               {"RollingCode", &MainPresenter::OnRollingCode},
    {"LoadOtp", &MainPresenter::OnLoadOtp},
};

class WhileWorkerBusyTest : public CommandsTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(WhileWorkerBusyTest, CommandDoesNothingAtAll) {
  context_.state.workerBusy = true;
  (presenter_.get()->*GetParam().handler)();
  EXPECT_EQ(view_.status, kEarlierLines);
  EXPECT_TRUE(bridge_->calls.empty());
  EXPECT_EQ(view_.waitCursor, 0);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(view_.controls[ctl::kDeviceName].text, "");
}

INSTANTIATE_TEST_SUITE_P(Commands, WhileWorkerBusyTest, ::testing::ValuesIn(kAllCommands),
                         [](const auto& info) { return std::string(info.param.name); });

// Another program holds the Writer's lock: every command that talks to the Writer is refused with
// one line, before even the probe; once the other program lets go, the next command goes ahead.
class WhileAnotherProgramHoldsTheWriterTest : public CommandsTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(WhileAnotherProgramHoldsTheWriterTest, CommandIsRefusedWithTheHoldersProcess) {
  const fs::path lockFile = dir_.path() / "Writer_Log" / "DLL-0.lock";
  fs::create_directories(lockFile.parent_path());
  auto other = platform::TakeWriterLock(lockFile).lock;
  ASSERT_NE(other, nullptr);
  testing::FakeEnvironment environment;
  ASSERT_FALSE(context_.writerAccess.Take(dir_.path(), environment));
  view_.fileAnswers.push_back(dir_.path() / "code.VX3");
  (presenter_.get()->*GetParam().handler)();
  presenter_->WaitForWriterJobs();
  const std::string line =
      "Err: The Writer is in use by another VX3WT (process " + std::to_string(platform::CurrentProcessId()) + ")\r\n";
  EXPECT_TRUE(view_.status.ends_with(line)) << view_.status;
  EXPECT_EQ(view_.status.find("USB not detected"), std::string::npos) << view_.status;
  EXPECT_TRUE(bridge_->calls.empty());

  other.reset();
  (presenter_.get()->*GetParam().handler)();
  presenter_->WaitForWriterJobs();
  EXPECT_FALSE(bridge_->calls.empty()) << "the Writer is free again";
}

INSTANTIATE_TEST_SUITE_P(Commands, WhileAnotherProgramHoldsTheWriterTest, ::testing::ValuesIn(kAllCommands),
                         [](const auto& info) { return std::string(info.param.name); });

// The window starts all the same, and its status box says who holds the Writer.
TEST_F(CommandsTest, AWindowThatCannotTakeTheWriterSaysSoAtStart) {
  testing::TempDir other;
  const fs::path lockFile = other.path() / "Writer_Log" / "DLL-0.lock";
  fs::create_directories(lockFile.parent_path());
  const auto holder = platform::TakeWriterLock(lockFile).lock;
  ASSERT_NE(holder, nullptr);
  AppContext context(locale_, clock_, std::make_unique<FakeBridge>());
  context.ledgerOpener = testing::LedgerOpenerForTests();
  context.state.programPath = other.path() / "vx3wt";
  context.state.programDir = other.path();
  testing::FakeEnvironment environment;
  ASSERT_FALSE(context.writerAccess.Take(other.path(), environment));
  FakeView view;
  MainPresenter presenter(context, view);
  presenter.OnInitWindow();
  // The last line of what the start found (a build without a record says that first).
  EXPECT_TRUE(view.status.ends_with("\r\nErr: The Writer is in use by another VX3WT (process " +
                                    std::to_string(platform::CurrentProcessId()) + ")\r\n"))
      << view.status;
}

TEST_F(CommandsTest, DeviceLoadWithoutWriterEmptiesTheBoxAndDisablesTheButtons) {
  bridge_->openDeviceResult = 0;
  presenter_->OnDeviceLoad();
  EXPECT_EQ(view_.status, kNoWriterLine);
  EXPECT_FALSE(AnyOperationButtonEnabled());
  EXPECT_EQ(view_.controls[ctl::kDriverVersionCaption].text, "DRV Ver : ");
  EXPECT_EQ(view_.waitCursor, 0);
  // One-click load ends the same way and leaves the plain button to the chooser again.
  presenter_->OnOneKeyLoad();
  EXPECT_FALSE(context_.state.directLoad);
  EXPECT_TRUE(context_.state.loadAttempted);
}

struct ChipCommandCase {
  const char* name;
  Handler handler;
  std::uint8_t code;
};

const ChipCommandCase kChipCommands[] = {
    {"AutoProgram", &MainPresenter::OnAutoProgram, cmd::kAutoProgramChip},
    {"BlankCheck", &MainPresenter::OnBlankCheck, cmd::kBlankCheckChip},
    {"Program", &MainPresenter::OnProgram, cmd::kProgramChip},
    {"Verify", &MainPresenter::OnVerify, cmd::kVerifyChip},
};

class ChipCommandTest : public CommandsTest, public ::testing::WithParamInterface<ChipCommandCase> {
 protected:
  void Run() {
    (presenter_.get()->*GetParam().handler)();
    presenter_->WaitForWriterJobs();
  }
};

TEST_P(ChipCommandTest, WithoutWriterShowsOnlyTheErrorLine) {
  bridge_->openDeviceResult = 0;
  Run();
  EXPECT_EQ(view_.status, kNoWriterLine);
  EXPECT_TRUE(bridge_->written.empty());
  EXPECT_EQ(view_.waitCursor, 0);
  // The buttons stay as they were: only Device / Load disables them.
  EXPECT_TRUE(view_.controls[ctl::kAutoProgram].enabled);
}

TEST_P(ChipCommandTest, SendsItsActionWithTheImageSizeAndChecksum) {
  context_.rolling.confirmZeroStep = true;
  bridge_->QueueStatus(link::status::kOk);
  Run();
  ASSERT_EQ(bridge_->written.size(), 1U);
  const std::vector<std::uint8_t>& packet = bridge_->written[0];
  ASSERT_EQ(packet.size(), link::kPacketSize);
  EXPECT_EQ(packet[0], GetParam().code);
  EXPECT_EQ(packet[1], 0x00);
  EXPECT_EQ(packet[2], 0x10);
  EXPECT_EQ(packet[3], 0xEF);
  EXPECT_EQ(packet[4], 0xBE);
  EXPECT_EQ(view_.status, "");
  EXPECT_FALSE(context_.rolling.confirmZeroStep);
  EXPECT_EQ(view_.waitCursor, 0);
  // Without a rolling code nothing is read back after a programmed chip.
  EXPECT_EQ(bridge_->Count("Write"), 1);
}

INSTANTIATE_TEST_SUITE_P(Commands, ChipCommandTest, ::testing::ValuesIn(kChipCommands),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandsTest, VerifyShowsTheChecksumLineEvenWhenTheChipFails) {
  view_.controls[ctl::kChecksum].text = "a read's checksum";
  bridge_->QueueStatus(link::status::kFailed);
  presenter_->OnVerify();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.controls[ctl::kChecksumCaption].text, "VX3 Check Sum : ");
  EXPECT_EQ(view_.controls[ctl::kChecksum].text, " BEEF ");
}

TEST_F(CommandsTest, LoadOtpRefusedBySecurityLeavesOnlyItsLine) {
  ASSERT_TRUE(context_.link.UsbConnect(dir_.path()));
  bridge_->QueueStatus(link::status::kOk);      // 0x85
  bridge_->QueueStatus(link::status::kFailed);  // 0xC1
  presenter_->OnLoadOtp();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.status, "Load OTP Fail (Security Enable) !!\r\n");
  ASSERT_EQ(bridge_->written.size(), 2U);
  EXPECT_EQ(bridge_->written[0][0], cmd::kCheckBeforeRead);
  EXPECT_EQ(bridge_->written[1][0], cmd::kSecurityCheck);
  EXPECT_EQ(view_.waitCursor, 0);
  // The read-back folder is made inside the program folder, not beside it.
  EXPECT_TRUE(fs::is_directory(dir_.path() / "Load_OTP"));
}

TEST_F(CommandsTest, LoadOtpStopsWhenTheChipCheckFails) {
  ASSERT_TRUE(context_.link.UsbConnect(dir_.path()));
  bridge_->QueueStatus(link::status::kFailed);
  presenter_->OnLoadOtp();
  presenter_->WaitForWriterJobs();
  ASSERT_EQ(bridge_->written.size(), 1U);
  EXPECT_EQ(view_.status, kEarlierLines);
}

// A bridge transfer that waits until the test lets it go on.
class Gate {
 public:
  void WaitHere() {
    std::unique_lock lock(mutex_);
    reached_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  void WaitUntilReached() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return reached_; });
  }
  void Open() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool reached_ = false;
  bool open_ = false;
};

TEST_F(CommandsTest, FailedFirmwareUpdateDisablesTheButtonsAndSkipsTheDownload) {
  ASSERT_TRUE(context_.link.UsbConnect(dir_.path()));
  context_.rolling.iniExists = true;
  context_.rolling.method = rolling::RollingMethod::AutoInc;
  bridge_->failWriteAt = 1;
  WorkerThread worker(context_, view_);
  EXPECT_EQ(worker.Run(), 1);
  EXPECT_FALSE(AnyOperationButtonEnabled());
  EXPECT_FALSE(context_.rolling.iniExists);
  EXPECT_FALSE(context_.state.workerBusy);
  EXPECT_FALSE(view_.progressShown);
  // No EEPROM job follows the failed update (the folder holds no firmware files either).
  for (const auto& packet : bridge_->written) EXPECT_NE(packet[0], cmd::kProgramEeprom);
}

TEST_F(CommandsTest, CloseWaitsForTheWorkerAndSaysSoOnce) {
  fs::copy(fs::path(VX3WT_PROGRAM_DIR) / "USE_IAP", dir_.path() / "USE_IAP");
  ASSERT_TRUE(context_.link.UsbConnect(dir_.path()));
  context_.image.romWords = 32;
  context_.image.romBytes = 64;
  // Load OTP answers every exchange with status 1, then starts the worker, whose first transfer
  // waits at the gate and then fails.
  bridge_->QueueStatus(link::status::kOk);
  bridge_->repeatLastReply = true;
  Gate gate;
  std::function<void()> hold;
  hold = [&] {
    // Load OTP's own exchanges go through; the worker's first query waits.
    if (bridge_->written.back()[0] != cmd::kStatusQuery) {
      bridge_->duringWrite = hold;
      return;
    }
    bridge_->failWriteAt = bridge_->writes;
    gate.WaitHere();
  };
  bridge_->duringWrite = hold;
  presenter_->OnLoadOtp();
  gate.WaitUntilReached();

  EXPECT_TRUE(presenter_->WriterJobActive());
  EXPECT_FALSE(presenter_->OnCloseRequested());
  EXPECT_FALSE(presenter_->OnCloseRequested());
  gate.Open();
  presenter_->WaitForWriterJobs();

  EXPECT_TRUE(presenter_->OnCloseRequested());
  // Load OTP's own job, then the worker's it started.
  EXPECT_EQ(view_.writerJobsStarted.load(), 2);
  EXPECT_EQ(view_.writerJobsEnded.load(), 2);
  const std::string waitLine = "Waiting for the Writer job to end, then the program closes ...\r\n";
  const std::size_t first = view_.status.find(waitLine);
  ASSERT_NE(first, std::string::npos) << view_.status;
  EXPECT_EQ(view_.status.find(waitLine, first + 1), std::string::npos);
  // The failed update disabled the buttons on its way out.
  EXPECT_FALSE(AnyOperationButtonEnabled());
}

// --- one Writer job at a time, off the caller's thread ---

struct BusyCase {
  const char* name;
  Handler handler;
  std::uint8_t firstPacket;
  const char* busyLine;
};

const BusyCase kBusyCommands[] = {
    {"AutoProgram", &MainPresenter::OnAutoProgram, cmd::kAutoProgramChip, "Auto Program ... 0 s"},
    {"BlankCheck", &MainPresenter::OnBlankCheck, cmd::kBlankCheckChip, "Blank Check ... 0 s"},
    {"Program", &MainPresenter::OnProgram, cmd::kProgramChip, "Program ... 0 s"},
    {"Verify", &MainPresenter::OnVerify, cmd::kVerifyChip, "Verify ... 0 s"},
    {"Read", &MainPresenter::OnRead, cmd::kCheckBeforeRead, "Read ... 0 s"},
    {"LoadOtp", &MainPresenter::OnLoadOtp, cmd::kCheckBeforeRead, "Load OTP ... 0 s"},
};

class WhileCommandRunsTest : public CommandsTest, public ::testing::WithParamInterface<BusyCase> {};

// The command's exchange waits at a gate on the command's own thread; meanwhile every button is
// clicked, twice: none of those clicks reaches the Writer, then or afterwards.
TEST_P(WhileCommandRunsTest, ClicksMeanwhileAreDroppedNotQueued) {
  bridge_->QueueStatus(link::status::kFailed);
  Gate gate;
  std::thread::id exchangeThread;
  bridge_->duringWrite = [&] {
    exchangeThread = std::this_thread::get_id();
    gate.WaitHere();
  };
  (presenter_.get()->*GetParam().handler)();
  gate.WaitUntilReached();
  EXPECT_TRUE(presenter_->WriterJobActive());
  for (int round = 0; round < 2; ++round) {
    for (const CommandCase& click : kAllCommands) (presenter_.get()->*click.handler)();
  }
  gate.Open();
  presenter_->WaitForWriterJobs();

  EXPECT_NE(exchangeThread, std::this_thread::get_id());
  ASSERT_EQ(bridge_->written.size(), 1U);
  EXPECT_EQ(bridge_->written[0][0], GetParam().firstPacket);
  EXPECT_TRUE(view_.choosers.empty());
  EXPECT_TRUE(view_.fileDialogFolders.empty());
  EXPECT_EQ(view_.rollingDialogRuns, 0);
  // One job, shown busy under the command's name from its start to its end.
  EXPECT_EQ(view_.busyLines, std::vector<std::string>{GetParam().busyLine});
  EXPECT_EQ(view_.writerJobsEnded.load(), 1);
  EXPECT_FALSE(presenter_->WriterJobActive());
}

INSTANTIATE_TEST_SUITE_P(Commands, WhileCommandRunsTest, ::testing::ValuesIn(kBusyCommands),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandsTest, EraseIsTheBusyNameOfAnErasableChip) {
  context_.state.erasableChip = true;
  bridge_->QueueStatus(link::status::kOk);
  presenter_->OnBlankCheck();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.busyLines, std::vector<std::string>{"Erase ... 0 s"});
}

struct ReconnectCase {
  const char* name;
  Handler handler;
};

class ConnectFirstTest : public CommandsTest, public ::testing::WithParamInterface<ReconnectCase> {};

// Rolling Code and Load OTP look for the Writer first, as the other chip commands do.
TEST_P(ConnectFirstTest, WithoutWriterOnlyTheErrorLine) {
  bridge_->openDeviceResult = 0;
  (presenter_.get()->*GetParam().handler)();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_.status, std::string(kEarlierLines) + std::string(kNoWriterLine));
  EXPECT_TRUE(bridge_->written.empty());
  EXPECT_EQ(view_.rollingDialogRuns, 0);
  EXPECT_EQ(view_.writerJobsStarted.load(), 1);
}

TEST_P(ConnectFirstTest, AWriterPluggedInAgainIsFoundWithoutAnotherCommand) {
  // The link lost its Writer (unplugged and plugged in again since the last command).
  context_.link.ClearConnected();
  bridge_->QueueStatus(link::status::kFailed);
  (presenter_.get()->*GetParam().handler)();
  presenter_->WaitForWriterJobs();
  EXPECT_GE(bridge_->Count("OpenDevice"), 1);
  EXPECT_EQ(view_.status.find("Err: "), std::string::npos) << view_.status;
}

INSTANTIATE_TEST_SUITE_P(Commands, ConnectFirstTest,
                         ::testing::Values(ReconnectCase{"RollingCode", &MainPresenter::OnRollingCode},
                                           ReconnectCase{"LoadOtp", &MainPresenter::OnLoadOtp}),
                         [](const auto& info) { return std::string(info.param.name); });

// Without a loaded image Load OTP has nothing to replace: it writes no file and starts nothing.
TEST_F(CommandsTest, LoadOtpWithoutALoadedImageDoesNothing) {
  context_.image.loadOk = false;
  presenter_->OnLoadOtp();
  presenter_->WaitForWriterJobs();
  EXPECT_TRUE(bridge_->calls.empty());
  EXPECT_EQ(view_.writerJobsStarted.load(), 0);
  EXPECT_FALSE(fs::exists(dir_.path() / "Load_OTP"));
}

struct CloseAnswerCase {
  const char* name;
  int answer;
  bool closes;
};

class CloseWhileWriterHangsTest : public CommandsTest, public ::testing::WithParamInterface<CloseAnswerCase> {};

// A command waits on a Writer that does not answer: the first close says it waits, the second
// asks whether to close anyway; Yes closes and the log keeps why.
TEST_P(CloseWhileWriterHangsTest, SecondCloseAsks) {
  fs::create_directory(dir_.path() / "Writer_Log");
  Gate gate;
  bridge_->duringWrite = [&] { gate.WaitHere(); };
  bridge_->QueueStatus(link::status::kOk);
  presenter_->OnAutoProgram();
  gate.WaitUntilReached();

  view_.answers.push_back(GetParam().answer);
  EXPECT_FALSE(presenter_->OnCloseRequested());
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(presenter_->OnCloseRequested(), GetParam().closes);
  ASSERT_EQ(view_.messages.size(), 1U);
  EXPECT_EQ(view_.messages[0].text,
            "The Writer is not answering. Close anyway? The Writer's EEPROM job may be incomplete.");
  EXPECT_EQ(view_.messages[0].type, text::box::kYesNo | text::box::kIconQuestion);
  EXPECT_EQ(presenter_->ClosedAnyway(), GetParam().closes);
  const std::string log = fs::exists(context_.reporter.logPath()) ? testing::ReadFileBytes(context_.reporter.logPath()) : "";
  EXPECT_EQ(log.find("Closed while the Writer was not answering (Auto Program); the Writer's EEPROM job may be "
                     "incomplete.") != std::string::npos,
            GetParam().closes)
      << log;
  gate.Open();
  presenter_->WaitForWriterJobs();
}

INSTANTIATE_TEST_SUITE_P(Answers, CloseWhileWriterHangsTest,
                         ::testing::Values(CloseAnswerCase{"No", text::answer::kNo, false},
                                           CloseAnswerCase{"Yes", text::answer::kYes, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx3::app
