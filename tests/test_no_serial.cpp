// Serial numbers that the rolling INI beside an image asks for but that cannot be made, through
// the program's own commands against the simulated Writer: the line at the end of the load, the
// amber band, the question before Program and Auto Program (once per load, No by default), the
// answer in the job row, and the INIs that ask for no serial numbers, which change nothing.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "platform/utf8_path.h"
#include "support/chips_file.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "support/test_ledger.h"
#include "ui_text/message_box.h"
#if defined(VX3WT_HAS_LEDGER)
#include "support/record_query.h"
#endif

namespace vx3::app {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedProgramDir = VX3WT_PROGRAM_DIR;
constexpr std::string_view kQuestion = "Program chips without serial numbers?";
constexpr std::string_view kVerdictText = "No serial numbers";
// What a chip of the sample gets from a Writer that gives no value: nothing in the value column.
const testing::ChipLine kChipWithoutSerial{"0x84", "", "PASS"};

class NoSerialTest : public ::testing::Test {
 protected:
  NoSerialTest() : programDir_(dir_.path() / "Writer v1.2") {
    fs::create_directories(programDir_);
    for (const char* folder : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"}) {
      fs::copy(kShippedProgramDir / folder, programDir_ / folder, fs::copy_options::recursive);
    }
    testing::SetSimFolder(simDir_.path());
    locale_.Set(platform::kLocaleEnglishUs);
    context_ = std::make_unique<AppContext>(locale_, clock_);
    context_->ledgerOpener = testing::LedgerOpenerForTests();
    context_->state.programPath = programDir_ / "vx3wt";
    context_->state.programDir = programDir_;
    context_->reporter.SetProgramDir(programDir_);
    // The Rolling Code dialog after a load of a usable INI takes what it shows.
    view_.rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
    presenter_ = std::make_unique<MainPresenter>(*context_, view_);
    presenter_->OnInitWindow();
  }
  ~NoSerialTest() override {
    presenter_.reset();
    context_.reset();
    testing::SetSimFolder("");
  }

  void Load() {
    view_.fileAnswers.push_back(programDir_ / "samples" / "VX3P1020.VX3");
    presenter_->OnOneKeyLoad();
    presenter_->WaitForWriterJobs();
  }
  // The command after the operator's `answers` to its message boxes.
  CommandResult Run(void (MainPresenter::*command)(), std::vector<int> answers = {}) {
    view_.answers.assign(answers.begin(), answers.end());
    view_.messages.clear();
    (presenter_.get()->*command)();
    presenter_->WaitForWriterJobs();
    return context_->state.lastResult.load();
  }
  int Questions() const {
    return static_cast<int>(std::count_if(view_.messages.begin(), view_.messages.end(),
                                          [](const testing::ShownMessage& m) { return m.text == kQuestion; }));
  }

  fs::path Ini() const { return programDir_ / "samples" / "VX3P1020.INI"; }
  std::string IniName() const { return platform::PathToUtf8(Ini()); }
  // The sample's INI (two words at 0x101, Count 00001000) with some of its keys changed.
  void WriteIni(const std::function<void(testing::RollingIniFields&)>& change) const {
    testing::RollingIniFields ini;
    ini.way = "INI";
    ini.order = "L2H";
    ini.address = "0x101";
    ini.wordLength = "2";
    ini.count = "00001000";
    ini.step = "00000001";
    change(ini);
    testing::WriteRollingIni(Ini(), ini);
  }
  std::vector<testing::ChipLine> Chips() const { return testing::ChipsFile(simDir_.path()); }
  // The job row's no_serial of the last job; "-" when it holds none, "" in a build without a record.
  std::string JobNoSerial() const {
#if defined(VX3WT_HAS_LEDGER)
    const std::vector<std::string> rows =
        testing::RecordRows(programDir_ / "Writer_Log" / "production.db",
                            "SELECT COALESCE(no_serial, '-') FROM jobs ORDER BY id DESC LIMIT 1");
    return rows.empty() ? std::string("no job") : rows.front();
#else
    return {};
#endif
  }
  static std::string Row(std::string_view answer, const std::string& reason) {
    return testing::kBuildKeepsRecord ? std::string(answer) + ": " + reason : std::string();
  }

  testing::TempDir dir_;
  testing::TempDir simDir_;
  fs::path programDir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  std::unique_ptr<AppContext> context_;
  testing::FakeView view_;
  std::unique_ptr<MainPresenter> presenter_;
};

struct BrokenIni {
  const char* name;
  std::function<void(testing::RollingIniFields&, const fs::path& dir)> change;
  // The reason, with {ini} for the INI's path and {exe} for the generator program it names.
  std::string reason;
};

std::string Fill(std::string text, std::string_view name, const std::string& value) {
  for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
    text.replace(at, name.size(), value);
  }
  return text;
}

class BrokenIniTest : public NoSerialTest, public ::testing::WithParamInterface<BrokenIni> {
 protected:
  std::string Reason() const {
    const std::string reason = Fill(GetParam().reason, "{exe}", platform::PathToUtf8(dir_.path() / "gone.sh"));
    return Fill(reason, "{ini}", IniName());
  }
  std::string Line() const { return "Err: No serial numbers: " + Reason() + "\r\n"; }
};

TEST_P(BrokenIniTest, LoadSaysSoAndTheChipsWaitForTheOperator) {
  WriteIni([this](testing::RollingIniFields& ini) { GetParam().change(ini, dir_.path()); });
  Load();
  ASSERT_EQ(context_->state.lastResult.load(), CommandResult::Ok) << view_.status;
  // The load went on: the job is in the Writer, and the last line says what is missing.
  EXPECT_NE(view_.status.find("EEPROM verify O.K"), std::string::npos) << view_.status;
  ASSERT_TRUE(view_.status.ends_with(Line())) << view_.status;
  EXPECT_EQ(view_.verdict, MainView::Verdict::NoSerial);
  EXPECT_EQ(view_.verdictText, kVerdictText);
  EXPECT_EQ(view_.resultDetail, Reason());
  EXPECT_TRUE(view_.controls[ctl::kAutoProgram].enabled);
  EXPECT_EQ(JobNoSerial(), Row("not programmed without serial numbers", Reason()));

  // No (and the default of a box nobody answers): nothing is sent, the band stays amber: the
  // command did not run, for the reason the load gave.
  for (const std::vector<int>& answers : {std::vector<int>{text::answer::kNo}, std::vector<int>{}}) {
    EXPECT_EQ(Run(&MainPresenter::OnAutoProgram, answers), CommandResult::SerialRefused);
    ASSERT_EQ(view_.messages.size(), 1U);
    EXPECT_EQ(view_.messages[0].text, kQuestion);
    EXPECT_EQ(view_.messages[0].type, text::box::kYesNo | text::box::kIconQuestion | text::box::kDefaultSecond);
    EXPECT_EQ(view_.status, Line());
    EXPECT_EQ(view_.verdict, MainView::Verdict::NotRun);
    EXPECT_EQ(view_.verdictText, "NOT RUN");
    EXPECT_EQ(view_.resultDetail, "Auto Program: No serial numbers: " + Reason());
    EXPECT_TRUE(Chips().empty());
  }
  EXPECT_EQ(Run(&MainPresenter::OnProgram, {text::answer::kNo}), CommandResult::SerialRefused);
  EXPECT_EQ(Questions(), 1);
  EXPECT_TRUE(Chips().empty());

  // Yes: the chips go without serial numbers until the next load, asked no more.
  EXPECT_EQ(Run(&MainPresenter::OnAutoProgram, {text::answer::kYes}), CommandResult::Ok) << view_.status;
  EXPECT_EQ(Questions(), 1);
  EXPECT_NE(view_.status.find("Chips are programmed without serial numbers until the next load.\r\n"),
            std::string::npos)
      << view_.status;
  EXPECT_EQ(view_.verdict, MainView::Verdict::Pass);
  EXPECT_EQ(JobNoSerial(), Row("programmed without serial numbers", Reason()));
  EXPECT_EQ(Run(&MainPresenter::OnAutoProgram), CommandResult::Ok) << view_.status;
  EXPECT_EQ(Run(&MainPresenter::OnProgram), CommandResult::Ok) << view_.status;
  EXPECT_EQ(Questions(), 0);
  EXPECT_EQ(Chips(), (std::vector<testing::ChipLine>{kChipWithoutSerial, kChipWithoutSerial,
                                                     {"0x81", "", "PASS"}}));

  // The next load asks again.
  Load();
  EXPECT_TRUE(view_.status.ends_with(Line())) << view_.status;
  EXPECT_EQ(Run(&MainPresenter::OnAutoProgram, {text::answer::kNo}), CommandResult::SerialRefused);
  EXPECT_EQ(Questions(), 1);
  EXPECT_EQ(Chips().size(), 3U);
}

INSTANTIATE_TEST_SUITE_P(
    Inis, BrokenIniTest,
    ::testing::Values(
        BrokenIni{"GarbageCount", [](auto& ini, auto&) { ini.count = "zz"; }, "Count of {ini} is not a number"},
        BrokenIni{"GarbageStep", [](auto& ini, auto&) { ini.step = "1G"; }, "Step of {ini} is not a number"},
        BrokenIni{"ZeroLength", [](auto& ini, auto&) { ini.wordLength = "0"; },
                  "Address and Word_Length of {ini} do not fit in the chip's ROM"},
        BrokenIni{"PastRomEnd", [](auto& ini, auto&) { ini.address = "0x7FF"; },
                  "Address and Word_Length of {ini} do not fit in the chip's ROM"},
        BrokenIni{"UnknownWay", [](auto& ini, auto&) { ini.way = "SOMETIMES"; },
                  "Way SOMETIMES of {ini} is none of INI, EXE, CUSTOM and DISABLE"},
        BrokenIni{"OlderEdition", [](auto& ini, auto&) { ini.order = "H2L"; },
                  "{ini} is of an older edition: its Address, Word_Length or Order cannot be used"},
        // No Way, but an Address: the INI way, as the load takes it.
        BrokenIni{"OlderEditionWithoutWay",
                  [](auto& ini, auto&) {
                    ini.way = "";
                    ini.address = "0x100";
                  },
                  "{ini} is of an older edition: its Address, Word_Length or Order cannot be used"},
        BrokenIni{"MissingExe",
                  [](auto& ini, const fs::path& dir) {
                    ini.way = "EXE";
                    ini.exeFile = platform::PathToUtf8(dir / "gone.sh");
                    ini.count = "";
                  },
                  "Generator program {exe} of {ini} is not found"},
        BrokenIni{"NoExeNamed", [](auto& ini, auto&) { ini.way = "EXE"; },
                  "{ini} names no generator program (ExeFile)"},
        BrokenIni{"CustomWithGarbageCount",
                  [](auto& ini, auto&) {
                    ini.way = "CUSTOM";
                    ini.count = "12-34";
                  },
                  "Count of {ini} is not a number"}),
    [](const ::testing::TestParamInfo<BrokenIni>& info) { return std::string(info.param.name); });

// INIs that ask for no serial numbers: the chips go as they always did, without a word.
struct QuietIni {
  const char* name;
  bool iniThere;
  std::function<void(testing::RollingIniFields&)> change;
};

class QuietIniTest : public NoSerialTest, public ::testing::WithParamInterface<QuietIni> {};

TEST_P(QuietIniTest, NoLineNoQuestionNoBand) {
  if (GetParam().iniThere) {
    WriteIni(GetParam().change);
  } else {
    fs::remove(Ini());
  }
  Load();
  ASSERT_EQ(context_->state.lastResult.load(), CommandResult::Ok) << view_.status;
  EXPECT_EQ(view_.status.find("No serial numbers"), std::string::npos) << view_.status;
  EXPECT_EQ(view_.verdict, MainView::Verdict::None);
  EXPECT_EQ(JobNoSerial(), testing::kBuildKeepsRecord ? "-" : "");
  EXPECT_EQ(Run(&MainPresenter::OnAutoProgram), CommandResult::Ok) << view_.status;
  EXPECT_EQ(Run(&MainPresenter::OnProgram), CommandResult::Ok) << view_.status;
  EXPECT_EQ(Questions(), 0);
  EXPECT_EQ(view_.verdict, MainView::Verdict::Pass);
  EXPECT_EQ(Chips(), (std::vector<testing::ChipLine>{kChipWithoutSerial, {"0x81", "", "PASS"}}));
  EXPECT_EQ(JobNoSerial(), testing::kBuildKeepsRecord ? "-" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Inis, QuietIniTest,
    ::testing::Values(QuietIni{"NoIni", false, {}},
                      QuietIni{"Disabled", true, [](auto& ini) { ini.way = "DISABLE"; }},
                      // Even with a Count that is no number: the INI asks for none.
                      QuietIni{"DisabledWithGarbageCount", true,
                               [](auto& ini) {
                                 ini.way = "DISABLE";
                                 ini.count = "zz";
                               }},
                      QuietIni{"NoWayNoAddress", true,
                               [](auto& ini) {
                                 ini.way = "";
                                 ini.address = "";
                               }}),
    [](const ::testing::TestParamInfo<QuietIni>& info) { return std::string(info.param.name); });

// The INI is spoilt while the job runs: the Writer still holds the job's rolling record, and a
// chip sent on a Yes would get a value that no record holds. The record of no rolling code
// replaces it first.
TEST_F(NoSerialTest, AnIniSpoiltAfterTheLoadStopsTheWriterCountingBeforeAYes) {
  Load();
  if (!testing::kBuildKeepsRecord) GTEST_SKIP() << "a chip with a serial number needs the production record";
  ASSERT_EQ(Run(&MainPresenter::OnAutoProgram), CommandResult::Ok) << view_.status;
  WriteIni([](testing::RollingIniFields& ini) { ini.step = "zz"; });
  ASSERT_EQ(Run(&MainPresenter::OnAutoProgram), CommandResult::Ok) << view_.status;
  const std::string line = "Err: No serial numbers: Step of " + IniName() + " is not a number\r\n";
  EXPECT_TRUE(view_.status.ends_with(line)) << view_.status;

  EXPECT_EQ(Run(&MainPresenter::OnAutoProgram, {text::answer::kNo}), CommandResult::SerialRefused);
  EXPECT_EQ(Run(&MainPresenter::OnAutoProgram, {text::answer::kYes}), CommandResult::Ok) << view_.status;
  EXPECT_NE(view_.status.find("Rolling Code verify O.K"), std::string::npos) << view_.status;
  EXPECT_EQ(Chips(), (std::vector<testing::ChipLine>{
                         {"0x84", "00001000", "PASS"}, {"0x84", "00001001", "PASS"}, kChipWithoutSerial}));
}

}  // namespace
}  // namespace vx3::app
