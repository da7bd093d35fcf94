// A station of a shared series through the program's own commands against the simulated Writer
// and the tests' own serial server: blocks before the chip that would pass their end, a server
// that goes away and comes back, values the Writer used on its own past the block, values given
// back, a station name taken, and a password that never shows.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/main_presenter.h"
#include "ledger/series_server.h"
#include "platform/ini_profile.h"
#include "support/chips_file.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/pg_test_server.h"
#include "support/record_query.h"
#include "support/temp_dir.h"
#include "support/test_ledger.h"
#include "ui_text/message_box.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedProgramDir = VX3WT_PROGRAM_DIR;
constexpr std::string_view kSeries = "remote-433";
constexpr std::string_view kPassword = "s3cret-pw";
constexpr std::string_view kUnreachableLine =
    "Err: The serial server cannot be reached: no values left in this station's block\r\n";

using testing::ChipLine;
using testing::ChipsFile;
using testing::PgTestServer;

// The first column of each row of a query on the server.
std::vector<std::string> ServerQuery(const std::string& connection, const std::string& sql) {
  PGconn* conn = PQconnectdb(connection.c_str());
  std::vector<std::string> rows;
  PGresult* result = PQexec(conn, sql.c_str());
  if (PQresultStatus(result) == PGRES_TUPLES_OK) {
    for (int row = 0; row < PQntuples(result); ++row) {
      std::string line;
      for (int column = 0; column < PQnfields(result); ++column) {
        if (column > 0) line += '|';
        line += PQgetvalue(result, row, column);
      }
      rows.push_back(line);
    }
  } else {
    rows.push_back(std::string("bad query: ") + PQerrorMessage(conn));
  }
  PQclear(result);
  PQfinish(conn);
  return rows;
}

std::vector<std::string> RecordQuery(const fs::path& db, const std::string& sql) {
  return testing::RecordRows(db, sql);
}

class SeriesStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PgTestServer& server = PgTestServer::Shared();
    if (!server.unavailable().empty()) GTEST_SKIP() << server.unavailable();
    ASSERT_TRUE(server.running() || server.Start());
    std::string name = fmt::format("s_{}", ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    connection_ = server.NewDatabase(name.substr(0, 60));
    ASSERT_FALSE(connection_.empty());
    programDir_ = dir_.path() / "Writer station";
    MakeProgramFolder(programDir_, "bench-1");
    testing::SetSimFolder(simDir_.path());
    locale_.Set(platform::kLocaleEnglishUs);
    Settings(5);
    Start();
  }
  void TearDown() override {
    if (!PgTestServer::Shared().running()) PgTestServer::Shared().Start();
    Stop();
    testing::SetSimFolder("");
  }

  static void MakeProgramFolder(const fs::path& folder, std::string_view station) {
    fs::create_directories(folder / "Writer_Log");
    for (const char* kit : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"}) {
      fs::copy(kShippedProgramDir / kit, folder / kit, fs::copy_options::recursive);
    }
    testing::WriteFileBytes(folder / "Writer_Log" / "production.ini", fmt::format("[Production]\nStation={}\n", station));
  }

  // The series' settings file beside the sample's rolling INI; the password is one the server
  // does not ask for (it trusts its socket), so that where it shows can be seen.
  void Settings(int blockSize) const {
    testing::WriteFileBytes(programDir_ / "samples" / "VX3P1020.SERIES.INI",
                            fmt::format("[Series]\nName={}\nServer={} password={}\nBlockSize={}\n", kSeries,
                                        connection_, kPassword, blockSize));
  }

  // `answers` are the operator's to the message boxes of the start.
  void Start(std::deque<int> answers = {}) {
    context_ = std::make_unique<AppContext>(locale_, clock_);
    context_->ledgerOpener = testing::LedgerOpenerForTests();
    context_->seriesOpener = [](const std::string& connection) { return ledger::OpenSeriesServer(connection); };
    context_->state.programPath = programDir_ / "vx3wt";
    context_->state.programDir = programDir_;
    context_->reporter.SetProgramDir(programDir_);
    view_ = std::make_unique<testing::FakeView>();
    view_->answers = std::move(answers);
    view_->rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
    presenter_ = std::make_unique<MainPresenter>(*context_, *view_);
    presenter_->OnInitWindow();
  }
  // The window closes, as the program does at its end: the block given back, the rows sent.
  void Stop() {
    if (context_) context_->series.Close(*context_, false);
    presenter_.reset();
    view_.reset();
    context_.reset();
  }

  void Load() {
    view_->status.clear();
    view_->fileAnswers.push_back(programDir_ / "samples" / "VX3P1020.VX3");
    presenter_->OnOneKeyLoad();
    presenter_->WaitForWriterJobs();
  }
  CommandResult AutoProgram() {
    view_->status.clear();
    presenter_->OnAutoProgram();
    presenter_->WaitForWriterJobs();
    return context_->state.lastResult.load();
  }
  void SimSettings(std::string_view text) const { testing::WriteFileBytes(simDir_.path() / "VX3USBOV3Wt.ini", text); }
  std::vector<ChipLine> Chips() const { return ChipsFile(simDir_.path()); }
  fs::path Db() const { return programDir_ / "Writer_Log" / "production.db"; }
  bool Says(std::string_view text) const { return view_->status.find(text) != std::string::npos; }
  std::vector<std::string> Server(const std::string& sql) const { return ServerQuery(connection_, sql); }

  testing::TempDir dir_;
  testing::TempDir simDir_;
  fs::path programDir_;
  std::string connection_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  std::unique_ptr<AppContext> context_;
  std::unique_ptr<testing::FakeView> view_;
  std::unique_ptr<MainPresenter> presenter_;
};

TEST_F(SeriesStationTest, EveryChipGetsAValueOfTheStationsBlockAndANewBlockComesBeforeItsEnd) {
  Load();
  // The series starts at the INI's Count; the job's value is its first block's first value.
  EXPECT_TRUE(Says("Series remote-433: block 00001000 to 00001004 reserved on the serial server (5 values).\r\n"))
      << view_->status;
  EXPECT_EQ(view_->SeriesLine(), "Series remote-433: block 00001000 to 00001004, 5 values left");
  // Another bench takes the next values between this station's blocks.
  auto other = ledger::OpenSeriesServer(connection_);
  ASSERT_TRUE(other->ClaimStation("bench-2", "token-2"));
  ledger::ReservedBlock taken;
  for (int chip = 0; chip < 12; ++chip) {
    ASSERT_EQ(AutoProgram(), CommandResult::Ok) << chip << '\n' << view_->status;
    if (chip == 2) {
      ASSERT_TRUE(other->ReserveBlock(std::string(kSeries), "bench-2", "r1", 5, 0, taken));
    }
  }
  ASSERT_EQ(taken.first, 0x1005);
  std::vector<std::string> values;
  for (const ChipLine& chip : Chips()) {
    EXPECT_EQ(chip.result, "PASS");
    values.push_back(chip.value);
  }
  // 1000..1004 (first block), 1005..1009 went to bench-2, then 100A..100E and 100F..1013.
  const std::vector<std::string> expected{"00001000", "00001001", "00001002", "00001003", "00001004", "0000100A",
                                          "0000100B", "0000100C", "0000100D", "0000100E", "0000100F", "00001010"};
  EXPECT_EQ(values, expected);
  EXPECT_EQ(view_->SeriesLine(), "Series remote-433: block 0000100F to 00001013, 3 values left");
  EXPECT_EQ(Server("SELECT station || ' ' || first_value || '+' || span FROM series_blocks ORDER BY first_value"),
            (std::vector<std::string>{"bench-1 4096+5", "bench-2 4101+5", "bench-1 4106+5", "bench-1 4111+5"}));
  EXPECT_EQ(RecordQuery(Db(), "SELECT first_value, state, used FROM blocks ORDER BY id"),
            (std::vector<std::string>{"4096|used|5", "4106|used|5", "4111|open|2"}));
}

TEST_F(SeriesStationTest, AServerThatIsGoneStopsTheStationOnlyWhenItsBlockIsUsedAndItResumesWhenItIsBack) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_TRUE(PgTestServer::Shared().Stop());
  // The block holds three more values: the station goes on without the server.
  for (int chip = 0; chip < 3; ++chip) ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_EQ(view_->SeriesLine(), "Series remote-433: block 00001000 to 00001004, 0 values left");
  EXPECT_EQ(AutoProgram(), CommandResult::SerialRefused);
  EXPECT_EQ(view_->status, kUnreachableLine);
  EXPECT_EQ(Chips().size(), 5U) << "no chip is touched without a value of the station's own";
  EXPECT_EQ(AutoProgram(), CommandResult::SerialRefused);
  EXPECT_EQ(view_->SeriesLine().rfind("Series remote-433: no block held (the serial server cannot be reached", 0), 0U)
      << view_->SeriesLine();

  ASSERT_TRUE(PgTestServer::Shared().Start());
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  const std::vector<ChipLine> chips = Chips();
  ASSERT_EQ(chips.size(), 6U);
  EXPECT_EQ(chips.back(), (ChipLine{"0x84", "00001005", "PASS"}));
  EXPECT_TRUE(testing::TwiceAmongPassed(chips).empty());
  // The rows written while the server was gone reach it when it is back.
  Stop();
  EXPECT_EQ(Server("SELECT count(*) FROM serials WHERE station = 'bench-1' AND state = 'passed'"),
            std::vector<std::string>{"6"});
}

// Block 1000-1004, chips 1000 and 1001, then the Writer programs eight chips on its own (1002 to
// 1009): three of the block, five past it. Whatever the next command, those values are used.
struct StandAloneCase {
  const char* name;
  bool loadNext;  // the next command is a load, not a chip
};

class SeriesStandAloneTest : public SeriesStationTest, public ::testing::WithParamInterface<StandAloneCase> {};

TEST_P(SeriesStandAloneTest, ValuesTheWriterUsedOnItsOwnAreUsedClaimedAndNeverGivenAgain) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  SimSettings("[Writer]\nStandaloneChips=8\n");
  if (GetParam().loadNext) {
    Load();
    EXPECT_FALSE(Says("returned unused")) << view_->status;
    EXPECT_TRUE(Says("Series remote-433: block 0000100A to 0000100E reserved")) << view_->status;
  }
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  if (!GetParam().loadNext) {
    EXPECT_TRUE(Says("Values 00001002 to 00001009 (8 chips) were programmed by the Writer on its own (stand-alone): "
                     "on record as used, never given again.\r\n"))
        << view_->status;
    EXPECT_TRUE(Says("Series remote-433: values 00001005 to 00001009, used by the Writer on its own past this "
                     "station's block, are now this station's.\r\n"))
        << view_->status;
  }
  // The chip gets the Writer's own next value, in a block that starts there.
  EXPECT_EQ(Chips().back(), (ChipLine{"0x84", "0000100A", "PASS"}));
  EXPECT_TRUE(testing::TwiceAmongPassed(Chips()).empty());
  EXPECT_EQ(RecordQuery(Db(), "SELECT first_value, span, state FROM blocks WHERE state = 'beyond'"),
            std::vector<std::string>{"4101|5|beyond"});
  EXPECT_EQ(RecordQuery(Db(), "SELECT first_value, used FROM blocks WHERE first_value = 4096"),
            std::vector<std::string>{"4096|5"});
  // On the server the values past the block are this station's: no other station can get them.
  EXPECT_EQ(Server("SELECT station || ' ' || first_value || '+' || span || ' ' || kind FROM series_blocks"
                   " ORDER BY first_value"),
            (std::vector<std::string>{"bench-1 4096+5 block", "bench-1 4101+5 beyond", "bench-1 4106+5 block"}));
  auto other = ledger::OpenSeriesServer(connection_);
  ASSERT_TRUE(other->ClaimStation("bench-2", "token-2"));
  ledger::ReservedBlock next;
  ASSERT_TRUE(other->ReserveBlock(std::string(kSeries), "bench-2", "r1", 5, 0, next));
  EXPECT_EQ(next.first, 0x100F);
}

INSTANTIATE_TEST_SUITE_P(NextCommands, SeriesStandAloneTest,
                         ::testing::Values(StandAloneCase{"AChip", false}, StandAloneCase{"ALoad", true}),
                         [](const ::testing::TestParamInfo<StandAloneCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(SeriesStationTest, StandAloneValuesAnotherStationHoldsAreAConflictNamedOnce) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  // Another bench holds the values right after this station's block.
  auto other = ledger::OpenSeriesServer(connection_);
  ASSERT_TRUE(other->ClaimStation("bench-2", "token-2"));
  ledger::ReservedBlock taken;
  ASSERT_TRUE(other->ReserveBlock(std::string(kSeries), "bench-2", "r1", 5, 0, taken));
  ASSERT_EQ(taken.first, 0x1005);
  // Off-line the Writer runs on into them: 1001 to 1006.
  SimSettings("[Writer]\nStandaloneChips=6\n");
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_TRUE(Says("Err: Values 00001005 to 00001006 used by the Writer of station bench-1 on its own are held by "
                   "station bench-2 too: duplicates on the line.\r\n"))
      << view_->status;
  // The chip gets a value past every block, and the conflict is counted where the operator looks.
  EXPECT_EQ(Chips().back(), (ChipLine{"0x84", "0000100A", "PASS"}));
  EXPECT_EQ(view_->SeriesLine(),
            "Series remote-433: block 0000100A to 0000100E, 4 values left, 1 conflicts with other stations");
  EXPECT_EQ(Server("SELECT station || ' ' || other_station || ' ' || first_value || '-' || last_value FROM conflicts"),
            std::vector<std::string>{"bench-1 bench-2 4101-4102"});
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  EXPECT_FALSE(Says("duplicates")) << view_->status;
}

TEST_F(SeriesStationTest, StandAloneValuesFoundWhileTheServerIsAwayAreClaimedWhenItIsBack) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  SimSettings("[Writer]\nStandaloneChips=6\n");  // 1001 to 1006: two past the block
  ASSERT_TRUE(PgTestServer::Shared().Stop());
  EXPECT_EQ(AutoProgram(), CommandResult::SerialRefused) << view_->status;
  EXPECT_TRUE(Says("Series remote-433: values 00001005 to 00001006 used by the Writer on its own are on record; the "
                   "serial server is told when it answers.\r\n"))
      << view_->status;
  EXPECT_EQ(Chips().size(), 7U) << "no chip is touched without a block";
  ASSERT_TRUE(PgTestServer::Shared().Start());
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_TRUE(Says("values 00001005 to 00001006, used by the Writer on its own past this station's block, are now "
                   "this station's"))
      << view_->status;
  EXPECT_EQ(Chips().back(), (ChipLine{"0x84", "00001007", "PASS"}));
  EXPECT_EQ(RecordQuery(Db(), "SELECT first_value, span, server_id > 0 FROM blocks WHERE state = 'beyond'"),
            std::vector<std::string>{"4101|2|1"});
}

TEST_F(SeriesStationTest, UnusedValuesAreGivenBackWhenTheJobEndsAndWhenTheStationCloses) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  Load();
  EXPECT_TRUE(Says("Series remote-433: values 00001002 to 00001004 returned unused.\r\n")) << view_->status;
  EXPECT_TRUE(Says("block 00001005 to 00001009 reserved")) << view_->status;
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  Stop();
  EXPECT_EQ(RecordQuery(Db(), "SELECT first_value, used, state, note FROM blocks ORDER BY id"),
            (std::vector<std::string>{"4096|2|returned|returned when the job ended",
                                      "4101|1|returned|returned when the station closed"}));
  // The server's record has both, as the station wrote them last; a new start takes a new block.
  EXPECT_EQ(Server("SELECT first_value || ' ' || used || ' ' || state FROM blocks ORDER BY first_value"),
            (std::vector<std::string>{"4096 2 returned", "4101 1 returned"}));
  Start();
  Load();
  EXPECT_TRUE(Says("block 0000100A to 0000100E reserved")) << view_->status;
}

TEST_F(SeriesStationTest, ABlockLeftOpenByARunThatEndedWithoutGivingItBackIsGivenBackAtTheNextLoad) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  // The program ends without closing its station (a command line run, or a stop).
  presenter_.reset();
  view_.reset();
  context_.reset();
  Start();
  Load();
  EXPECT_TRUE(Says("Series remote-433: values 00001002 to 00001004 returned unused.\r\n")) << view_->status;
  EXPECT_EQ(RecordQuery(Db(), "SELECT first_value, used, state FROM blocks ORDER BY id"),
            (std::vector<std::string>{"4096|2|returned", "4101|0|open"}));
}

TEST_F(SeriesStationTest, ASecondStationOfTheSameNameIsRefusedAndUsesNoValue) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  Stop();
  // Another program folder (another record) that calls itself bench-1 too.
  programDir_ = dir_.path() / "copied station";
  MakeProgramFolder(programDir_, "bench-1");
  Settings(5);
  Start();
  Load();
  EXPECT_TRUE(Says("Err: Series remote-433: no block held (the station name \"bench-1\" is taken by another station "
                   "on the serial server)\r\n"))
      << view_->status;
  const std::size_t chipsBefore = Chips().size();
  EXPECT_EQ(AutoProgram(), CommandResult::SerialRefused);
  EXPECT_EQ(view_->status,
            "Err: Serial numbers cannot be recorded: the station name \"bench-1\" is taken by another station on the "
            "serial server. Auto Program is stopped so that no value is used twice.\r\n");
  EXPECT_EQ(Chips().size(), chipsBefore);
}

// A program folder copied while its station held a block: the copy claims no station and sends
// no row until the operator makes it a new station; then it takes blocks of its own, never one
// of the original's values.
TEST_F(SeriesStationTest, ACopiedStationClaimsAndSendsNothingUntilItIsANewStation) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  const fs::path original = programDir_;
  const fs::path copy = dir_.path() / "Copied station";
  fs::copy(original, copy, fs::copy_options::recursive);
  Stop();
  const std::vector<std::string> stations = Server("SELECT name || ' ' || token FROM stations ORDER BY name");
  ASSERT_EQ(stations.size(), 1U);
  const std::vector<std::string> rowsSent = Server("SELECT count(*) FROM station_rows");

  programDir_ = copy;
  Start({text::answer::kNo});
  Load();
  EXPECT_TRUE(Says("Err: Series remote-433: no block held (the production record is a copy (")) << view_->status;
  const std::size_t chipsBefore = Chips().size();
  EXPECT_EQ(AutoProgram(), CommandResult::SerialRefused);
  EXPECT_TRUE(view_->status.starts_with("Err: Serial numbers cannot be recorded: the production record is a copy ("))
      << view_->status;
  EXPECT_EQ(Chips().size(), chipsBefore);
  Stop();
  EXPECT_EQ(Server("SELECT name || ' ' || token FROM stations ORDER BY name"), stations);
  EXPECT_EQ(Server("SELECT count(*) FROM station_rows"), rowsSent);

  // Made a new station under a name of its own.
  testing::WriteFileBytes(copy / "Writer_Log" / "production.ini", "[Production]\nStation=bench-2\n");
  Start({text::answer::kYes});
  Load();
  EXPECT_TRUE(Says("Series remote-433: block 00001005 to 00001009 reserved")) << view_->status;
  ASSERT_EQ(AutoProgram(), CommandResult::Ok) << view_->status;
  EXPECT_EQ(Chips().back(), (ChipLine{"0x84", "00001005", "PASS"}));
  Stop();
  EXPECT_EQ(RecordQuery(Db(), "SELECT first_value, used, state, note FROM blocks ORDER BY id"),
            (std::vector<std::string>{"4096|2|returned|held by the station this record was copied from",
                                      "4101|1|returned|returned when the station closed"}));
  const std::vector<std::string> both = Server("SELECT name FROM stations ORDER BY name");
  EXPECT_EQ(both, (std::vector<std::string>{"bench-1", "bench-2"}));
  EXPECT_EQ(Server("SELECT count(DISTINCT token) FROM stations"), (std::vector<std::string>{"2"}));
  // The copy sent its own rows only, under its own name.
  EXPECT_EQ(Server("SELECT count(*) FROM station_rows WHERE station = 'bench-2' AND table_name = 'blocks'"
                   " AND local_id = 1"),
            (std::vector<std::string>{"0"}));
  EXPECT_NE(Server("SELECT count(*) FROM station_rows WHERE station = 'bench-2'"), (std::vector<std::string>{"0"}));
}

TEST_F(SeriesStationTest, BadSettingsStopTheSerialsWithTheReason) {
  struct Case {
    const char* settings;
    const char* reason;
  };
  const std::string file = (programDir_ / "samples" / "VX3P1020.SERIES.INI").string();
  const Case cases[] = {
      {"[Series]\nServer=host=x\n", "has no Name in its [Series] section"},
      {"[Series]\nName=a\n", "has no Server in its [Series] section"},
      {"[Series]\nName=a\nServer=host=x\nBlockSize=0\n", "BlockSize in"},
      {"[Series]\nName=a\nServer=host=x\nBlockSize=ten\n", "must be a number from 1 to 1000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    testing::WriteFileBytes(file, c.settings);
    Load();
    EXPECT_TRUE(Says(c.reason)) << view_->status;
    EXPECT_EQ(AutoProgram(), CommandResult::SerialRefused);
    EXPECT_TRUE(Says("Err: Serial numbers cannot be recorded: ")) << view_->status;
    EXPECT_TRUE(Chips().empty());
  }
}

TEST_F(SeriesStationTest, ThePasswordOfTheConnectionNeverShows) {
  Load();
  ASSERT_EQ(AutoProgram(), CommandResult::Ok);
  ASSERT_TRUE(PgTestServer::Shared().Stop());
  for (int chip = 0; chip < 5; ++chip) AutoProgram();
  const std::string shown = view_->status + view_->SeriesLine();
  ASSERT_TRUE(PgTestServer::Shared().Start());
  Stop();
  EXPECT_EQ(shown.find(kPassword), std::string::npos) << shown;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(programDir_ / "Writer_Log")) {
    if (entry.path().filename() == "production.ini") continue;
    EXPECT_EQ(testing::ReadFileBytes(entry.path()).find(kPassword), std::string::npos) << entry.path();
  }
  EXPECT_EQ(Server("SELECT count(*) FROM station_rows WHERE row::text LIKE '%" + std::string(kPassword) + "%'"),
            std::vector<std::string>{"0"});
}

}  // namespace
}  // namespace vx3::app
