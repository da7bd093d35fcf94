// The production record through the program's own commands against the simulated Writer: every
// chip on record with the value the Writer gave it (its chips file says what each chip really
// got), failed and unknown values, stand-alone chips and restarts, and the refusals that keep a
// value from being used twice.
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "rolling/rolling_dialog.h"
#include "platform/ini_profile.h"
#include "platform/machine_id.h"
#include "ui_text/message_box.h"
#include "support/chips_file.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/record_query.h"
#include "support/temp_dir.h"
#include "support/test_ledger.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedProgramDir = VX3WT_PROGRAM_DIR;

using testing::ChipLine;
using testing::ChipsFile;
using testing::TwiceAmongPassed;

// Rows of a query on the record, each row's columns joined by '|'.
std::vector<std::string> Query(const fs::path& db, const std::string& sql) { return testing::RecordRows(db, sql); }

class LedgerInProgramTest : public ::testing::Test {
 protected:
  LedgerInProgramTest() : programDir_(dir_.path() / "Writer v1.2") {
    fs::create_directories(programDir_);
    for (const char* folder : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"}) {
      fs::copy(kShippedProgramDir / folder, programDir_ / folder, fs::copy_options::recursive);
    }
    testing::SetSimFolder(simDir_.path());
    locale_.Set(platform::kLocaleEnglishUs);
    Start();
  }
  ~LedgerInProgramTest() override {
    Stop();
    testing::SetSimFolder("");
  }

  // The program starts (again): a new window, a new run, the record opened anew; `answers` are
  // the operator's to the message boxes of the start.
  void Start(std::deque<int> answers = {}) {
    context_ = std::make_unique<AppContext>(locale_, clock_);
    context_->ledgerOpener = testing::LedgerOpenerForTests();
    context_->state.programPath = programDir_ / "vx3wt";
    context_->state.programDir = programDir_;
    context_->reporter.SetProgramDir(programDir_);
    view_ = std::make_unique<testing::FakeView>();
    view_->answers = std::move(answers);
    // The Rolling Code dialog after each load takes what it shows.
    view_->rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
    presenter_ = std::make_unique<MainPresenter>(*context_, *view_);
    presenter_->OnInitWindow();
  }
  void Stop() {
    presenter_.reset();
    view_.reset();
    context_.reset();
  }

  void Load(std::string_view sample = "VX3P1020.VX3") {
    view_->fileAnswers.push_back(programDir_ / "samples" / sample);
    presenter_->OnOneKeyLoad();
    presenter_->WaitForWriterJobs();
  }
  CommandResult Run(void (MainPresenter::*command)()) {
    view_->status.clear();
    (presenter_.get()->*command)();
    presenter_->WaitForWriterJobs();
    return context_->state.lastResult.load();
  }
  CommandResult AutoProgram() { return Run(&MainPresenter::OnAutoProgram); }

  fs::path Ini() const { return programDir_ / "samples" / "VX3P1020.INI"; }
  std::string Count() const { return platform::ReadProfileString(Ini(), "Rolling Code", "Count").value_or(""); }
  void SetCount(std::string_view value) const {
    ASSERT_TRUE(platform::WriteProfileString(Ini(), "Rolling Code", "Count", value));
  }
  void SimSettings(std::string_view text) const { testing::WriteFileBytes(simDir_.path() / "VX3USBOV3Wt.ini", text); }
  std::vector<ChipLine> Chips() const { return ChipsFile(simDir_.path()); }
  fs::path Db() const { return programDir_ / "Writer_Log" / "production.db"; }
  std::vector<std::string> Serials() const { return Query(Db(), "SELECT value, state FROM serials ORDER BY id"); }
  bool Says(std::string_view text) const { return view_->status.find(text) != std::string::npos; }

  // The read-only INI's refusal, step by step; 0 when all went as it should, else why not.
  int ReadOnlyIniScenario(std::string& why) {
    Load();
    if (AutoProgram() != CommandResult::SerialRefused) {
      why = "Auto Program was not refused:\n" + view_->status;
      return 1;
    }
    const std::string expected = "Err: Serial numbers cannot be recorded: Count of " + Ini().string() +
                                 " cannot be written. Auto Program is stopped so that no value is used twice.\r\n";
    if (view_->status != expected) {
      why = "status box:\n" + view_->status + "\nexpected:\n" + expected;
      return 2;
    }
    if (!Chips().empty()) {
      why = "a chip was programmed";
      return 3;
    }
    // The value was never used: it stays free for a chip that can be recorded.
    if (Serials() != std::vector<std::string>{"00001000|unused"}) {
      why = "serials: " + (Serials().empty() ? std::string("none") : Serials()[0]);
      return 4;
    }
    if (Run(&MainPresenter::OnBlankCheck) != CommandResult::Ok) {
      why = "Blank Check did not run:\n" + view_->status;
      return 5;
    }
    return 0;
  }

  testing::TempDir dir_;
  testing::TempDir simDir_;
  fs::path programDir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  std::unique_ptr<AppContext> context_;
  std::unique_ptr<testing::FakeView> view_;
  std::unique_ptr<MainPresenter> presenter_;
};

TEST_F(LedgerInProgramTest, EveryChipIsOnRecordWithTheValueTheWriterGaveIt) {
  Load();
  ASSERT_TRUE(Says("Rolling Code verify O.K")) << view_->status;
  for (int chip = 0; chip < 3; ++chip) ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;

  const std::vector<ChipLine> expected = {
      {"0x84", "00001000", "PASS"}, {"0x84", "00001001", "PASS"}, {"0x84", "00001002", "PASS"}};
  EXPECT_EQ(Chips(), expected);
  EXPECT_EQ(Serials(), (std::vector<std::string>{"00001000|passed", "00001001|passed", "00001002|passed"}));
  EXPECT_EQ(Count(), "00001003");
  EXPECT_EQ(view_->verdict, MainView::Verdict::Pass);
  EXPECT_EQ(view_->verdictText, "PASS");
  EXPECT_EQ(view_->resultDetail, "Auto Program   Serial 00001002");
  EXPECT_EQ(view_->jobCounters, "This job: 3 done: 3 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001002");
  EXPECT_EQ(view_->todayCounters, "Today: 3 done: 3 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001002");

  // A command that writes no serial is recorded all the same, and counts no chip.
  Run(&MainPresenter::OnVerify);
  EXPECT_EQ(view_->resultDetail.rfind("Verify   Serial ", 0), 0U) << view_->resultDetail;
  EXPECT_EQ(view_->jobCounters, "This job: 3 done: 3 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001002");
  const std::vector<std::string> actions =
      Query(Db(), "SELECT action, result, COALESCE(rolling_value, '') FROM actions ORDER BY id");
  ASSERT_GE(actions.size(), 6U);
  EXPECT_EQ(std::vector<std::string>(actions.end() - 4, actions.end() - 1),
            (std::vector<std::string>{"Auto Program|pass|00001000", "Auto Program|pass|00001001",
                                      "Auto Program|pass|00001002"}));
  EXPECT_EQ(actions.back().rfind("Verify|", 0), 0U) << actions.back();
  // The load's own steps: the EEPROM job and the rolling record, each with the value it sent.
  EXPECT_NE(std::find(actions.begin(), actions.end(), "EEPROM download|pass|00001000"), actions.end());
  EXPECT_NE(std::find(actions.begin(), actions.end(), "Rolling Code download|pass|00001000"), actions.end());
}

TEST_F(LedgerInProgramTest, AFailedChipIsRecordedWithItsValueAndCounted) {
  Load();
  SimSettings("[Chip]\nVerifyFailAt=0x10\n");
  EXPECT_EQ(AutoProgram(), CommandResult::ChipFailed) << view_->status;
  EXPECT_EQ(view_->verdict, MainView::Verdict::Fail);
  EXPECT_EQ(view_->verdictText, "FAIL");
  SimSettings("");
  EXPECT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;

  // The Writer counts every chip it programmed, passed or not: the failed one keeps its value
  // on record, and the next chip gets the next.
  EXPECT_EQ(Chips(), (std::vector<ChipLine>{{"0x84", "00001000", "FAIL"}, {"0x84", "00001001", "PASS"}}));
  EXPECT_EQ(Serials(), (std::vector<std::string>{"00001000|failed", "00001001|passed"}));
  EXPECT_EQ(view_->jobCounters, "This job: 2 done: 1 passed, 1 failed, 0 unknown, yield 50.0 %, last serial 00001001");
}

// The Writer goes from the bus in the middle of an Auto Program (the transfers counted from the
// command's open: 1 probe, 16 of the header read-back, then the chip action's rounds), and is
// plugged in again for the next chip.
struct UnplugCase {
  const char* name;
  int transfer;
  CommandResult first;              // how the interrupted command ended
  std::vector<std::string> serials;  // the record after the next chip
  const char* said;                  // what the next chip's status box says (empty: nothing to check)
};

class LedgerUnplugTest : public LedgerInProgramTest, public ::testing::WithParamInterface<UnplugCase> {};

TEST_P(LedgerUnplugTest, NoValueOfUnknownOutcomeGoesToAPassedChip) {
  const UnplugCase& c = GetParam();
  Load();
  SimSettings("[Faults]\nUnplugAtTransfer=" + std::to_string(c.transfer) + "\n");
  EXPECT_EQ(AutoProgram(), c.first) << view_->status;
  SimSettings("");
  EXPECT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  if (*c.said != '\0') {
    EXPECT_TRUE(Says(c.said)) << view_->status;
  }

  EXPECT_EQ(Serials(), c.serials);
  const std::vector<ChipLine> chips = Chips();
  EXPECT_TRUE(TwiceAmongPassed(chips).empty());
  ASSERT_FALSE(chips.empty());
  EXPECT_EQ(chips.back(), (ChipLine{"0x84", c.serials.back().substr(0, 8), "PASS"}));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, LedgerUnplugTest,
    ::testing::Values(
        // The Writer's value cannot be read: no value is issued, the chip is not touched.
        UnplugCase{"DuringTheReadBack", 16, CommandResult::SerialRefused, {"00001000|passed"},
                   ""},
        // The command's first packet never left: the Writer never heard of it, and its value is
        // free for the next chip.
        UnplugCase{"BeforeTheCommandLeaves", 17, CommandResult::NoWriter, {"00001000|unused", "00001000|passed"}, ""},
        // The Writer programmed the chip and counted on: the next chip gets its next value.
        UnplugCase{"AfterTheChipIsProgrammed", 20, CommandResult::ChipUnknown,
                   {"00001000|unknown", "00001001|passed"}, ""}),
    [](const ::testing::TestParamInfo<UnplugCase>& info) { return std::string(info.param.name); });

TEST_F(LedgerInProgramTest, TheRecordNamesTheSkippedValueWithTheChipThatGotTheNext) {
  Load();
  // An action the Writer never ends leaves its value of unknown outcome, and the Writer where it
  // was: the next chip is given the value after it.
  SimSettings("[Faults]\nHangAction=0x84\n");
  clock_.tick = std::chrono::seconds(1);
  ASSERT_EQ(AutoProgram(), CommandResult::TimedOut) << view_->status;
  clock_.tick = std::chrono::milliseconds(0);
  SimSettings("");
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_EQ(view_->verdict, MainView::Verdict::Pass);
  EXPECT_EQ(view_->resultDetail, "Auto Program   Serial 00001001");
  const std::vector<std::string> message =
      Query(Db(), "SELECT message FROM actions WHERE rolling_value = '00001001' AND action = 'Auto Program'");
  ASSERT_EQ(message.size(), 1U);
  EXPECT_EQ(message[0].rfind("The Writer holds 00001000, below values already used up to 00001000", 0), 0U)
      << message[0];
  EXPECT_EQ(Query(Db(), "SELECT result FROM actions WHERE rolling_value = '00001000' AND action = 'Auto Program'"),
            std::vector<std::string>{"unknown"});
}

// The band after a chip passed and the next command came to something else: it shows the
// command running first, then what became of this command, never the chip before's PASS.
struct BandCase {
  const char* name;
  const char* sim;             // the simulated Writer's settings for the second command
  CommandResult result;
  MainView::Verdict verdict;
  const char* band;            // "text|detail" at the end
  const char* jobCounters;     // after the second command
  const char* serials;         // the record's values after the second command and one more chip
  const char* chips;           // the values of the chips the Writer programmed, in turn
};

class LedgerBandTest : public LedgerInProgramTest, public ::testing::WithParamInterface<BandCase> {};

std::string Joined(const std::vector<std::string>& rows) {
  std::string out;
  for (const std::string& row : rows) out += (out.empty() ? "" : " ") + row;
  return out;
}

TEST_P(LedgerBandTest, TheBandIsThisCommandsAndTheCountersCountOnlyChips) {
  const BandCase& c = GetParam();
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  ASSERT_EQ(view_->verdict, MainView::Verdict::Pass);
  view_->bands.clear();
  SimSettings(c.sim);
  EXPECT_EQ(AutoProgram(), c.result) << view_->status;
  ASSERT_FALSE(view_->bands.empty());
  EXPECT_EQ(view_->bands.front(), "AUTO PROGRAM ...|") << "the command shows itself running first";
  EXPECT_EQ(view_->verdict, c.verdict);
  EXPECT_EQ(view_->bands.back(), c.band);
  for (const std::string& band : view_->bands) EXPECT_EQ(band.find("PASS"), std::string::npos) << band;
  EXPECT_EQ(view_->jobCounters, c.jobCounters);

  SimSettings("");
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_EQ(Joined(Serials()), c.serials);
  std::vector<std::string> values;
  for (const testing::ChipLine& chip : Chips()) values.push_back(chip.value + ":" + chip.result);
  EXPECT_EQ(Joined(values), c.chips);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LedgerBandTest,
    ::testing::Values(
        BandCase{"NoWriter", "[Writer]\nPresent=0\n", CommandResult::NoWriter, MainView::Verdict::NotRun,
                 "NOT RUN|Auto Program: USB not detected !!!",
                 "This job: 1 done: 1 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001000",
                 "00001000|passed 00001001|passed", "00001000:PASS 00001001:PASS"},
        // The Writer's value cannot be read back: the record refuses before the chip.
        BandCase{"RefusedByTheRecord", "[Faults]\nUnplugAtTransfer=6\n", CommandResult::SerialRefused,
                 MainView::Verdict::NotRun,
                 "NOT RUN|Auto Program: Serial numbers cannot be recorded: the Writer's rolling value cannot be read. "
                 "Auto Program is stopped so that no value is used twice.",
                 "This job: 1 done: 1 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001000",
                 "00001000|passed 00001001|passed", "00001000:PASS 00001001:PASS"},
        // The command's first packet never left: its value is free for the next chip.
        BandCase{"FirstPacketNotSent", "[Faults]\nUnplugAtTransfer=17\n", CommandResult::NoWriter,
                 MainView::Verdict::NotRun, "NOT RUN|Auto Program: USB write data fail !!!",
                 "This job: 1 done: 1 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001000",
                 "00001000|passed 00001001|unused 00001001|passed", "00001000:PASS 00001001:PASS"},
        BandCase{"EmptySocket", "[Chip]\nInSocket=0\n", CommandResult::NoChip, MainView::Verdict::NoChip,
                 "NO CHIP|Auto Program: no chip in the socket, serial 00001001 stays free",
                 "This job: 1 done: 1 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001000",
                 "00001000|passed 00001001|unused 00001001|passed", "00001000:PASS 00001001:PASS"},
        // The Writer went from the bus after it programmed the chip: done, of unknown outcome.
        BandCase{"BrokeOffAfterTheChip", "[Faults]\nUnplugAtTransfer=20\n", CommandResult::ChipUnknown,
                 MainView::Verdict::Unknown, "UNKNOWN|Auto Program   Serial 00001001",
                 "This job: 2 done: 1 passed, 0 failed, 1 unknown, yield 50.0 %, last serial 00001001",
                 "00001000|passed 00001001|unknown 00001002|passed",
                 "00001000:PASS 00001001:PASS 00001002:PASS"}),
    [](const ::testing::TestParamInfo<BandCase>& info) { return std::string(info.param.name); });

TEST_F(LedgerInProgramTest, AFailedOrCancelledLoadClearsTheBand) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  ASSERT_EQ(view_->verdict, MainView::Verdict::Pass);
  // No Writer: the load fails at its start.
  SimSettings("[Writer]\nPresent=0\n");
  Load();
  EXPECT_EQ(view_->verdict, MainView::Verdict::None);
  EXPECT_EQ(view_->verdictText, "");
  SimSettings("");
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  ASSERT_EQ(view_->verdict, MainView::Verdict::Pass);
  // The operator cancels the file dialog of a load.
  presenter_->OnDeviceLoad();
  presenter_->WaitForWriterJobs();
  EXPECT_EQ(view_->verdict, MainView::Verdict::None);
}

TEST_F(LedgerInProgramTest, ALanguageSwitchWhileAChipCommandRunsShowsItRunningInTheNewLanguage) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  BeginChipCommand(*context_, *view_, ledger::ActionKind::AutoProgram);
  EXPECT_EQ(view_->bands.back(), "AUTO PROGRAM ...|");
  const std::string before = view_->jobCounters;
  presenter_->SwitchToChinese();
  EXPECT_EQ(view_->verdict, MainView::Verdict::Running);
  EXPECT_EQ(view_->bands.back(), "正在自动烧录 ...|");
  EXPECT_NE(view_->jobCounters.find("最后序列号 00001000"), std::string::npos) << view_->jobCounters;
  presenter_->SwitchToEnglish();
  EXPECT_EQ(view_->jobCounters, before);
  // The command ends without reaching a chip: NOT RUN, with the plain fact when it said nothing.
  context_->reporter.StartTranscript();
  EndChipCommand(*context_, *view_);
  EXPECT_EQ(view_->bands.back(), "NOT RUN|Auto Program: the command did not reach the chip");
}

TEST_F(LedgerInProgramTest, AHungChipsRecordHoldsTheWritersTextAndTheTimeLimitNotTheWindowsLines) {
  Load();
  // Each round of the hung action takes a second of the program's clock and a little real time.
  SimSettings("[Writer]\nLatencyMs=5\n[Faults]\nHangAction=0x84\n");
  clock_.tick = std::chrono::seconds(1);
  presenter_->OnAutoProgram();
  // The operator closes the window while the Writer hangs: the window says it waits.
  while (!presenter_->WriterJobActive()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(presenter_->OnCloseRequested());
  presenter_->WaitForWriterJobs();
  clock_.tick = std::chrono::milliseconds(0);
  EXPECT_EQ(context_->state.lastResult.load(), CommandResult::TimedOut) << view_->status;
  EXPECT_TRUE(Says("Waiting for the Writer job to end")) << view_->status;
  const std::vector<std::string> message =
      Query(Db(), "SELECT message FROM actions WHERE action = 'Auto Program' ORDER BY id DESC LIMIT 1");
  ASSERT_EQ(message.size(), 1U);
  // What the Writer kept saying, its repeats counted, then the time limit's line.
  EXPECT_TRUE(message[0].ends_with("\r\nErr: The Writer did not finish Auto Program in 120 s\r\n")) << message[0];
  EXPECT_EQ(message[0].rfind("Working ... (", 0), 0U) << message[0];
  EXPECT_EQ(message[0].find("Waiting for the Writer job"), std::string::npos) << message[0];
}

TEST_F(LedgerInProgramTest, StandAloneChipsBetweenTwoLoadsRaiseTheNextJob) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_EQ(Count(), "00001001");
  // Off-line, the Writer programs five chips with its job (1001 to 1005) before the next load.
  SimSettings("[Writer]\nStandaloneChips=5\n");
  Load();
  EXPECT_TRUE(Says("Rolling value raised from 00001001 to 00001006: the Writer programmed chips on its own "
                   "(off-line)."))
      << view_->status;
  EXPECT_EQ(Count(), "00001006");
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  const std::vector<ChipLine> chips = Chips();
  EXPECT_EQ(chips.size(), 7U);
  EXPECT_EQ(chips.back(), (ChipLine{"0x84", "00001006", "PASS"}));
  EXPECT_TRUE(TwiceAmongPassed(chips).empty());
  // The job row says why it started where it did.
  const std::vector<std::string> notes = Query(Db(), "SELECT rolling_first, rolling_note FROM jobs ORDER BY id");
  ASSERT_EQ(notes.size(), 2U);
  EXPECT_EQ(notes[1].rfind("00001006|Rolling value raised from 00001001 to 00001006", 0), 0U) << notes[1];
}

// The Writer's value goes back to an earlier one after values were used past it: the next
// chips get values above every value used, and the status box says why.
struct WriterBackCase {
  const char* name;
  // Puts the Writer's value back to 00001000 (the state saved right after the load).
  void (*putBack)(class LedgerWriterBackTest& test);
};

class LedgerWriterBackTest : public LedgerInProgramTest, public ::testing::WithParamInterface<WriterBackCase> {
 public:
  fs::path State() const { return simDir_.path() / "VX3USBOV3Wt.state"; }
  fs::path Saved() const { return dir_.path() / "saved.state"; }
  void RestoreState() { fs::copy_file(Saved(), State(), fs::copy_options::overwrite_existing); }
  void TypeOlderValue() {
    view_->rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls& controls) {
      controls.SetText(rolling::dlg::kValue, "0000 1000");
      return true;
    };
    Run(&MainPresenter::OnRollingCode);
    view_->rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
  }
};

TEST_P(LedgerWriterBackTest, StandAloneValuesAreOnRecordAndNoValueGoesToTwoChips) {
  Load();
  ASSERT_TRUE(fs::copy_file(State(), Saved()));
  for (int chip = 0; chip < 3; ++chip) ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  // Off-line the Writer programs three chips with its job: 1003 to 1005.
  SimSettings("[Writer]\nStandaloneChips=3\n");
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_TRUE(Says("Values 00001003 to 00001005 (3 chips) were programmed by the Writer on its own (stand-alone): on "
                   "record as used, never given again.\r\n"))
      << view_->status;
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_EQ(view_->jobCounters, "This job: 5 done: 5 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001007, "
                                "3 stand-alone (outcome unknown)");

  GetParam().putBack(*this);
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_TRUE(Says("The Writer holds 00001000, below values already used up to 00001007: this chip gets "
                   "00001008.\r\n"))
      << view_->status;
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;

  const std::vector<ChipLine> chips = Chips();
  EXPECT_TRUE(TwiceAmongPassed(chips).empty());
  ASSERT_GE(chips.size(), 2U);
  EXPECT_EQ(chips[chips.size() - 2], (ChipLine{"0x84", "00001008", "PASS"}));
  EXPECT_EQ(chips.back(), (ChipLine{"0x84", "00001009", "PASS"}));
  // One row for the run, with when it was seen; the export shows it as an action of the job.
  EXPECT_EQ(Query(Db(), "SELECT value, last_value, count, state, seen_utc IS NOT NULL FROM serials"
                        " WHERE state = 'standalone'"),
            std::vector<std::string>{"00001003|00001005|3|standalone|1"});
  EXPECT_EQ(Query(Db(), "SELECT action, result, rolling_value FROM actions WHERE action = 'Stand-alone'"),
            std::vector<std::string>{"Stand-alone|unknown|00001003-00001005"});
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LedgerWriterBackTest,
    ::testing::Values(WriterBackCase{"StateFilePutBack", [](LedgerWriterBackTest& t) { t.RestoreState(); }},
                      WriterBackCase{"OlderValueTyped", [](LedgerWriterBackTest& t) { t.TypeOlderValue(); }}),
    [](const ::testing::TestParamInfo<WriterBackCase>& info) { return std::string(info.param.name); });

TEST_F(LedgerInProgramTest, AWriterBehindTheRecordAtALoadStartsPastEveryValueUsed) {
  Load();
  const fs::path state = simDir_.path() / "VX3USBOV3Wt.state";
  const fs::path saved = dir_.path() / "saved.state";
  ASSERT_TRUE(fs::copy_file(state, saved));
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  SimSettings("[Writer]\nStandaloneChips=4\n");
  // The load finds the stand-alone run first, then starts the job past it.
  Load();
  EXPECT_TRUE(Says("Values 00001001 to 00001004 (4 chips) were programmed by the Writer on its own")) << view_->status;
  EXPECT_EQ(Count(), "00001005");
  // A swapped Writer holding the job at 1000, and the INI's Count put back as well.
  fs::copy_file(saved, state, fs::copy_options::overwrite_existing);
  SetCount("00001000");
  Load();
  EXPECT_TRUE(Says("Rolling value raised from 00001000 to 00001005: the production record has issued values up to "
                   "00001004."))
      << view_->status;
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_EQ(Chips().back(), (ChipLine{"0x84", "00001005", "PASS"}));
  EXPECT_TRUE(TwiceAmongPassed(Chips()).empty());
  EXPECT_EQ(Query(Db(), "SELECT value, last_value FROM serials WHERE state = 'standalone'"),
            std::vector<std::string>{"00001001|00001004"});
}

TEST_F(LedgerInProgramTest, StandAloneValuesAreOnRecordBeforeTheRollingCodeDialogDownloadsAnother) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  // Off-line 1001 to 1003; then the operator downloads the INI's Count again, 00001001.
  SimSettings("[Writer]\nStandaloneChips=3\n");
  view_->rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls& controls) {
    controls.SetText(rolling::dlg::kValue, "0000 1001");
    return true;
  };
  Run(&MainPresenter::OnRollingCode);
  EXPECT_TRUE(Says("Values 00001001 to 00001003 (3 chips) were programmed by the Writer on its own")) << view_->status;
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_TRUE(Says("The Writer holds 00001001, below values already used up to 00001003: this chip gets 00001004."))
      << view_->status;
  EXPECT_EQ(Chips().back(), (ChipLine{"0x84", "00001004", "PASS"}));
  EXPECT_TRUE(TwiceAmongPassed(Chips()).empty());
}

TEST_F(LedgerInProgramTest, AValueDownloadedAboveTheWriterIsNoStandAloneRun) {
  // The INI's Count typed far above the Writer's value: the values between were never used.
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  SetCount("00002000");
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_FALSE(Says("on its own")) << view_->status;
  EXPECT_EQ(Query(Db(), "SELECT COUNT(*) FROM serials WHERE state = 'standalone'"), std::vector<std::string>{"0"});
  EXPECT_EQ(Chips().back(), (ChipLine{"0x84", "00002000", "PASS"}));
}

// After a stop that lost the INI's last Count (the program was killed before it wrote it), the
// next load starts past every value issued, whether or not the Writer kept its own.
struct RestartCase {
  const char* name;
  bool writerForgets;
  const char* reason;
};

class LedgerRestartTest : public LedgerInProgramTest, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(LedgerRestartTest, ARestartNeverGivesAPassedValueAgain) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  Stop();
  SetCount("00001001");
  if (GetParam().writerForgets) fs::remove(simDir_.path() / "VX3USBOV3Wt.state");
  Start();
  Load();
  EXPECT_TRUE(Says(GetParam().reason)) << view_->status;
  EXPECT_EQ(Count(), "00001002");
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  const std::vector<ChipLine> chips = Chips();
  EXPECT_EQ(chips.back(), (ChipLine{"0x84", "00001002", "PASS"}));
  EXPECT_TRUE(TwiceAmongPassed(chips).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Writers, LedgerRestartTest,
    ::testing::Values(RestartCase{"WriterKeepsItsValue", false,
                                  "Rolling value raised from 00001001 to 00001002: the Writer programmed chips"},
                      RestartCase{"WriterForgotItsValue", true,
                                  "Rolling value raised from 00001001 to 00001002: the production record has "
                                  "issued values up to 00001001."}),
    [](const ::testing::TestParamInfo<RestartCase>& info) { return std::string(info.param.name); });

TEST_F(LedgerInProgramTest, AnActionTheWriterNeverEndsIsGivenUpAndItsValueNeverGivenAgain) {
  Load();
  SimSettings("[Faults]\nHangAction=0x84\n");
  clock_.tick = std::chrono::seconds(1);  // each round of the hung action takes a second
  EXPECT_EQ(AutoProgram(), CommandResult::TimedOut) << view_->status;
  clock_.tick = std::chrono::milliseconds(0);
  EXPECT_TRUE(Says("Err: The Writer did not finish Auto Program in 120 s")) << view_->status;
  EXPECT_EQ(view_->verdict, MainView::Verdict::Unknown);
  SimSettings("");
  EXPECT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  // The hung action never touched its chip: its value is passed over all the same.
  EXPECT_EQ(Serials(), (std::vector<std::string>{"00001000|unknown", "00001001|passed"}));
  EXPECT_EQ(Chips(), (std::vector<ChipLine>{{"0x84", "00001001", "PASS"}}));
}

TEST_F(LedgerInProgramTest, ValuesLeftWithoutAResultByAStopAreNamedAtTheNextStart) {
  Load();
  // A hung action is given up after the time limit: its value has no result until the record
  // takes it. Here the program stops in the middle instead: the value is open at the next start.
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  Stop();
  {
    sqlite3* handle = nullptr;
    ASSERT_EQ(sqlite3_open(Db().c_str(), &handle), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(handle, "UPDATE serials SET state = 'issued'; UPDATE actions SET open = 1 WHERE action = 'Auto Program'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(handle);
  }
  Start();
  EXPECT_TRUE(Says("Rolling value 00001000 had no result when the program stopped: it is recorded as unknown and "
                   "not used again."))
      << view_->status;
  EXPECT_EQ(Serials(), (std::vector<std::string>{"00001000|unknown"}));
}

// A program folder copied to set up another PC: its record asks at start whether it is a new
// station; until the operator says Yes it issues nothing, and after that never a value of the
// original's.
TEST_F(LedgerInProgramTest, ACopiedProgramFolderIsANewStationOnlyOnTheOperatorsWord) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  Stop();
  const fs::path original = programDir_;
  const std::string originalDb = fs::weakly_canonical(Db()).string();
  programDir_ = dir_.path() / "Copied station";
  fs::copy(original, programDir_, fs::copy_options::recursive);
  const std::string machine = platform::MachineId();
  const std::string where =
      (machine.empty() ? std::string("made at ")
                       : "made on machine " + machine.substr(0, 8) + (machine.size() > 8 ? "..." : "") + " at ") +
      originalDb;

  Start({text::answer::kNo});
  ASSERT_EQ(view_->messages.size(), 1U);
  EXPECT_EQ(view_->messages[0].text, "This production record was made on another PC or in another folder (" + where +
                                         "). Use it as a new station here? Its rows stay as history; its serial "
                                         "values are never given again.");
  EXPECT_EQ(view_->messages[0].caption, context_->state.windowCaption);
  EXPECT_EQ(view_->messages[0].type, text::box::kYesNo | text::box::kIconQuestion | text::box::kDefaultSecond);
  EXPECT_TRUE(Says("\r\n\r\nThis production record was made on another PC or in another folder (" + where +
                   "): it gives no serial numbers until it is adopted as a new station.\r\n"))
      << view_->status;
  // Its history is there: the counters of today.
  EXPECT_EQ(view_->todayCounters, "Today: 2 done: 2 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001001");
  Load();
  EXPECT_EQ(AutoProgram(), CommandResult::SerialRefused);
  EXPECT_EQ(view_->status,
            "Err: Serial numbers cannot be recorded: the production record is a copy (" + where +
                ") and gives no serial numbers until it is adopted as a new station (answer Yes at the start of the "
                "program, or run \"vx3wt-cli ledger adopt\"). Auto Program is stopped so that no value is used "
                "twice.\r\n");
  EXPECT_EQ(Chips().size(), 2U);  // the chip was not touched
  Stop();

  Start({text::answer::kYes});
  ASSERT_EQ(view_->messages.size(), 1U);
  EXPECT_TRUE(Says("\r\n\r\nThe production record is now a new station here: its rows before stay as history, and "
                   "its serial values are never given again.\r\n"))
      << view_->status;
  EXPECT_FALSE(Says("another PC")) << view_->status;
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  ASSERT_EQ(Chips().size(), 3U);
  EXPECT_EQ(Chips()[2], (ChipLine{"0x84", "00001002", "PASS"}));
  Stop();

  // Adopted once: at home from now on, no question.
  Start();
  EXPECT_TRUE(view_->messages.empty());
  EXPECT_FALSE(Says("another PC")) << view_->status;
}

TEST_F(LedgerInProgramTest, ARecordThatCannotBeUsedStopsSerialsButNotTheOtherCommands) {
  Stop();
  // A folder stands where the record's file should be: no record can be opened or made.
  fs::remove_all(programDir_ / "Writer_Log");
  fs::create_directories(Db());
  Start();
  EXPECT_TRUE(Says("Err: The production record cannot be used: ")) << view_->status;
  Load();
  EXPECT_EQ(AutoProgram(), CommandResult::SerialRefused);
  EXPECT_EQ(view_->status.find("Err: Serial numbers cannot be recorded: "), 0U) << view_->status;
  EXPECT_TRUE(Says(". Auto Program is stopped so that no value is used twice.\r\n")) << view_->status;
  EXPECT_TRUE(Chips().empty());  // the chip was not touched
  EXPECT_EQ(Count(), "00001000");
  // Commands that write no serial still work.
  EXPECT_EQ(Run(&MainPresenter::OnBlankCheck), CommandResult::Ok) << view_->status;
  EXPECT_EQ(view_->verdict, MainView::Verdict::Pass);
}

TEST_F(LedgerInProgramTest, TheCountersFollowALanguageSwitchMadeWhileTheWriterWorks) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  // The switch comes while the next load's worker waits in the Rolling Code dialog.
  std::string counters;
  view_->rollingScript = [this, &counters](rolling::RollingDialog&, testing::FakeView::RollingControls&) {
    presenter_->SwitchToChinese();
    counters = view_->jobCounters;
    return false;
  };
  Load();
  EXPECT_EQ(counters.rfind("本任务: 已烧 0: 合格 0, 不合格 0", 0), 0U) << counters;
  EXPECT_EQ(view_->todayCounters.rfind("今天: 已烧 1: 合格 1, 不合格 0, 结果未知 0, 良率 100.0 %, 最后序列号 00001000", 0), 0U)
      << view_->todayCounters;
}

TEST_F(LedgerInProgramTest, ResetCountersStartsThemAgainAndDeletesNothing) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  view_->status.clear();
  view_->messages.clear();
  view_->answers = {text::answer::kYes};
  presenter_->OnResetCounters();
  ASSERT_EQ(view_->messages.size(), 1U);
  EXPECT_EQ(view_->messages[0].text, "Reset the counters of this job and of today? The record keeps every chip.");
  EXPECT_EQ(view_->messages[0].caption, context_->state.windowCaption);
  EXPECT_EQ(view_->messages[0].type, text::box::kYesNo | text::box::kIconQuestion | text::box::kDefaultSecond);
  EXPECT_EQ(view_->status, "Counters reset: the production record keeps every chip.\r\n");
  EXPECT_EQ(view_->jobCounters, "This job: 0 done: 0 passed, 0 failed, 0 unknown, yield 0.0 %, last serial -");
  EXPECT_EQ(view_->todayCounters, "Today: 0 done: 0 passed, 0 failed, 0 unknown, yield 0.0 %, last serial -");
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  EXPECT_EQ(view_->jobCounters, "This job: 1 done: 1 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001002");
  EXPECT_EQ(Serials().size(), 3U);
  EXPECT_EQ(Query(Db(), "SELECT COUNT(*) FROM counter_resets"), std::vector<std::string>{"1"});
}

// No, or a box closed without an answer (the default button), keeps the counters, the status
// box and the record as they were.
TEST_F(LedgerInProgramTest, ResetCountersAnsweredNoChangesNothing) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  const std::string job = view_->jobCounters;
  const std::string today = view_->todayCounters;
  ASSERT_EQ(job.rfind("This job: 2 done: 2 passed, 0 failed, 0 unknown", 0), 0U) << job;
  for (const int reply : {text::answer::kNo, text::answer::kCancel}) {
    view_->status = "earlier lines\r\n";
    view_->messages.clear();
    view_->answers = {reply};
    presenter_->OnResetCounters();
    ASSERT_EQ(view_->messages.size(), 1U) << reply;
    EXPECT_EQ(view_->messages[0].text, "Reset the counters of this job and of today? The record keeps every chip.");
    EXPECT_EQ(view_->status, "earlier lines\r\n") << reply;
    EXPECT_EQ(view_->jobCounters, job) << reply;
    EXPECT_EQ(view_->todayCounters, today) << reply;
    EXPECT_EQ(Query(Db(), "SELECT COUNT(*) FROM counter_resets"), std::vector<std::string>{"0"}) << reply;
  }
}

TEST_F(LedgerInProgramTest, TheExportWritesTheChosenScopeOrSaysWhyNot) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  const fs::path file = dir_.path() / "export" / "job.csv";
  fs::create_directories(file.parent_path());
  view_->exportAnswer = MainView::ExportChoice{MainView::ExportScope::Job, file};
  view_->status.clear();
  presenter_->OnExportRecord();
  EXPECT_EQ(view_->status, "Production record exported to " + file.string() + "\r\n");
  EXPECT_TRUE(view_->exportJobLoaded);
  EXPECT_EQ(view_->exportFolder, programDir_ / "Writer_Log");
  EXPECT_EQ(view_->exportSuggestedName.rfind("production-", 0), 0U) << view_->exportSuggestedName;
  const std::string csv = testing::ReadFileBytes(file);
  EXPECT_NE(csv.find(",Auto Program,pass,00001000,"), std::string::npos) << csv;
  // Nothing was left beside it on the way.
  for (const fs::directory_entry& entry : fs::directory_iterator(file.parent_path())) {
    EXPECT_EQ(entry.path().filename().string().rfind(file.filename().string() + ".", 0), std::string::npos)
        << entry.path();
  }

  // A file that cannot be made: the earlier export stays as it was.
  const std::string before = csv;
  fs::permissions(file.parent_path(), fs::perms::owner_write, fs::perm_options::remove);
  view_->exportAnswer = MainView::ExportChoice{MainView::ExportScope::All, dir_.path() / "missing" / "all.csv"};
  view_->status.clear();
  presenter_->OnExportRecord();
  EXPECT_EQ(view_->status.rfind("Err: Production record not exported: the export file cannot be made (", 0), 0U)
      << view_->status;
  EXPECT_EQ(testing::ReadFileBytes(file), before);
  fs::permissions(file.parent_path(), fs::perms::owner_write, fs::perm_options::add);

  // Cancelled: nothing is written and nothing said.
  view_->exportAnswer.reset();
  view_->status.clear();
  presenter_->OnExportRecord();
  EXPECT_EQ(view_->status, "");
}

// The rolling INI lies in a folder the operator may not write: Count cannot be kept, so no chip
// gets a value. Run as a user who cannot write there (root can write anywhere: the check then
// runs in a child process under the unprivileged user).
TEST_F(LedgerInProgramTest, ACountThatCannotBeWrittenStopsTheChipUntouched) {
  Stop();
  const fs::path samples = programDir_ / "samples";
  if (::geteuid() != 0) {
    fs::permissions(samples, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    Start();
    std::string why;
    EXPECT_EQ(ReadOnlyIniScenario(why), 0) << why;
    fs::permissions(samples, fs::perms::owner_write, fs::perm_options::add);
    return;
  }
  constexpr uid_t kNobody = 65534;
  // Everything the unprivileged run writes is open to it; the samples folder is not.
  for (const fs::path& folder : {dir_.path(), simDir_.path()}) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
    }
    fs::permissions(folder, fs::perms::all, fs::perm_options::add);
  }
  fs::permissions(samples, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(90);
    Start();
    std::string why;
    const int result = ReadOnlyIniScenario(why);
    if (result != 0) std::fprintf(stderr, "%s\n", why.c_str());
    Stop();
    std::fflush(nullptr);
    ::_exit(result);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the unprivileged run failed (see its output)";
}

}  // namespace
}  // namespace vx3::app
