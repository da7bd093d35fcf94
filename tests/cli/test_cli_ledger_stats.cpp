// ledger stats through the built executable: the counters of a job the record holds, and one
// error line with the usage exit code for a job id it does not hold, in text and in JSON.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"
#include "cli/exit_codes.h"

namespace vx3::cli {
namespace {

using testing::CliFolder;
using testing::CliRunResult;

constexpr std::string_view kLoad = "load --json samples/VX3P1020.VX3";

std::string Summary(ExitCode code) {
  return "{\"event\":\"summary\",\"command\":\"ledger stats\",\"exit_code\":" + std::to_string(ToInt(code)) +
         ",\"result\":\"" + std::string(ExitCodeName(code)) + "\"}";
}

// One folder for every case: a load (job 1) and two chips programmed in it.
class CliLedgerStatsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new CliFolder();
    folder_->SimSettings();
    const CliRunResult loaded = folder_->Run(std::string(kLoad));
    ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
    const CliRunResult chips = folder_->Run("auto-program --count 2 --no-wait --json");
    ASSERT_EQ(chips.exitCode, 0) << chips.out << chips.err;
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static CliFolder* folder_;
};

CliFolder* CliLedgerStatsTest::folder_ = nullptr;

TEST_F(CliLedgerStatsTest, AJobTheRecordHoldsShowsItsCounters) {
  const CliRunResult text = folder_->Run("ledger stats --job 1");
  ASSERT_EQ(text.exitCode, 0) << text.out << text.err;
  const std::vector<std::string> lines = text.Lines();
  ASSERT_EQ(lines.size(), 2U) << text.out;
  EXPECT_EQ(lines[0], "This job: 2 done: 2 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001001");
  EXPECT_EQ(lines[1].rfind("Today: 2 done: 2 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001001", 0), 0U)
      << lines[1];
  EXPECT_EQ(text.err, "");

  const CliRunResult json = folder_->Run("ledger stats --job 1 --json");
  ASSERT_EQ(json.exitCode, 0) << json.out << json.err;
  const std::vector<std::string> stats = json.Events("stats");
  ASSERT_EQ(stats.size(), 1U) << json.out;
  const nlohmann::json event = nlohmann::json::parse(stats[0]);
  EXPECT_EQ(event["job_id"], 1);
  EXPECT_EQ(event["job"]["done"], 2);
  EXPECT_EQ(event["job"]["last_serial"], "00001001");
  EXPECT_TRUE(json.Events("error").empty()) << json.out;
  EXPECT_EQ(json.Lines().back(), Summary(ExitCode::Success));
}

// Ids the record does not hold: the next one, a far one, 0 and negative ones.
struct MissingJobCase {
  const char* name;
  const char* job;      // as given to --job
  const char* english;  // the error line
  const char* chinese;
};

class CliLedgerStatsMissingTest : public CliLedgerStatsTest, public ::testing::WithParamInterface<MissingJobCase> {};

TEST_P(CliLedgerStatsMissingTest, SaysSoAndEndsWithTheUsageCode) {
  const MissingJobCase& c = GetParam();
  const std::string args = std::string("ledger stats --job ") + c.job;

  const CliRunResult text = folder_->Run(args);
  EXPECT_EQ(text.exitCode, ToInt(ExitCode::Usage)) << text.out << text.err;
  EXPECT_EQ(text.out, "");
  EXPECT_EQ(text.err, std::string(c.english) + "\n");

  const CliRunResult chinese = folder_->Run(args + " --lang zh");
  EXPECT_EQ(chinese.exitCode, ToInt(ExitCode::Usage));
  EXPECT_EQ(chinese.err, std::string(c.chinese) + "\n");

  const CliRunResult json = folder_->Run(args + " --json");
  EXPECT_EQ(json.exitCode, ToInt(ExitCode::Usage)) << json.out << json.err;
  EXPECT_EQ(json.Lines(), (std::vector<std::string>{nlohmann::json{{"event", "error"}, {"text", c.english}}.dump(),
                                                     Summary(ExitCode::Usage)}));
  EXPECT_TRUE(json.Events("stats").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ids, CliLedgerStatsMissingTest,
    ::testing::Values(MissingJobCase{"NextId", "2", "Job 2 is not in the production record.", "作业 2 不在生产记录中。"},
                      MissingJobCase{"FarId", "9000000000", "Job 9000000000 is not in the production record.",
                                     "作业 9000000000 不在生产记录中。"},
                      MissingJobCase{"Zero", "0", "Job 0 is not in the production record.", "作业 0 不在生产记录中。"},
                      MissingJobCase{"Negative", "-1", "Job -1 is not in the production record.",
                                     "作业 -1 不在生产记录中。"}),
    [](const auto& info) { return std::string(info.param.name); });

// A batch's counters line and summary agree with ledger stats, whatever its commands came to:
// chips passed and of unknown outcome count, an empty socket and a refused command do not, and a
// batch whose first command is refused still prints the job's counters, not zeros.
TEST(CliBatchCountersTest, TheBatchOutputAgreesWithLedgerStats) {
  CliFolder folder;
  folder.SimSettings();
  ASSERT_EQ(folder.Run(std::string(kLoad)).exitCode, 0);
  ASSERT_EQ(folder.Run("auto-program --count 2 --no-wait --json").exitCode, 0);
  struct Step {
    const char* sim;
    ExitCode code;
    const char* jobLine;  // the counters line the batch prints, and ledger stats too
  };
  const Step steps[] = {
      {"[Chip]\nInSocket=0\n", ExitCode::NoChip,
       "This job: 2 done: 2 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001001"},
      {"[Writer]\nPresent=0\n", ExitCode::NoWriter,
       "This job: 2 done: 2 passed, 0 failed, 0 unknown, yield 100.0 %, last serial 00001001"},
      {"[Faults]\nUnplugAtTransfer=20\n", ExitCode::ChipUnknown,
       "This job: 3 done: 2 passed, 0 failed, 1 unknown, yield 66.7 %, last serial 00001002"},
      {"", ExitCode::Success, "This job: 4 done: 3 passed, 0 failed, 1 unknown, yield 75.0 %, last serial 00001003"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.sim);
    folder.SimSettings(step.sim);
    const CliRunResult run = folder.Run("auto-program --no-wait");
    EXPECT_EQ(run.exitCode, ToInt(step.code)) << run.out << run.err;
    EXPECT_NE(run.out.find(std::string(step.jobLine) + "\n"), std::string::npos) << run.out;
    folder.SimSettings();
    const CliRunResult stats = folder.Run("ledger stats --job 1");
    ASSERT_EQ(stats.exitCode, 0) << stats.out << stats.err;
    EXPECT_EQ(stats.out.substr(0, stats.out.find('\n')), step.jobLine);
  }
  // The JSON of the last state: the counters event and ledger stats' figures.
  const CliRunResult json = folder.Run("ledger stats --job 1 --json");
  const nlohmann::json stats = nlohmann::json::parse(json.Events("stats").at(0));
  EXPECT_EQ(stats["job"]["done"], 4);
  EXPECT_EQ(stats["job"]["passed"], 3);
  EXPECT_EQ(stats["job"]["failed"], 0);
  EXPECT_EQ(stats["job"]["unknown"], 1);
  folder.SimSettings("[Chip]\nInSocket=0\n");
  const CliRunResult empty = folder.Run("auto-program --no-wait --json");
  const nlohmann::json counters = nlohmann::json::parse(empty.Events("counters").at(0));
  EXPECT_EQ(counters["job"], "This job: 4 done: 3 passed, 0 failed, 1 unknown, yield 75.0 %, last serial 00001003");
  const nlohmann::json summary = nlohmann::json::parse(empty.Events("summary").at(0));
  EXPECT_EQ(summary["chips"], 0);
  EXPECT_EQ(summary["no_chip"], 1);
}

// The batch's summary line puts each figure in its place, in either language.
TEST(CliBatchCountersTest, TheSummaryLineNamesEachFigureInBothLanguages) {
  CliFolder folder;
  folder.SimSettings();
  ASSERT_EQ(folder.Run(std::string(kLoad)).exitCode, 0);
  const CliRunResult english = folder.Run("auto-program --count 2 --no-wait");
  EXPECT_NE(english.out.find("\nauto-program: 2 chips: 2 passed, 0 failed, 0 unknown; 0 not run, 0 with no chip in "
                             "the socket.\n"),
            std::string::npos)
      << english.out;
  folder.SimSettings("[Chip]\nInSocket=0\n");
  const CliRunResult chinese = folder.Run("auto-program --no-wait --lang zh");
  EXPECT_EQ(chinese.exitCode, ToInt(ExitCode::NoChip)) << chinese.out << chinese.err;
  EXPECT_NE(chinese.out.find("\nauto-program：0 颗芯片：0 颗通过，0 颗失败，0 颗结果未知；0 次未执行，1 次烧录座中无芯片。\n"),
            std::string::npos)
      << chinese.out;
}

}  // namespace
}  // namespace vx3::cli
