// The command line as a script sees it: every exit code, the JSON summary and chip events, each
// failure made by a fault of the simulated Writer, through the built executable.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "cli/exit_codes.h"

namespace vx3::cli {
namespace {

using testing::CliFolder;
using testing::CliRunResult;

constexpr std::string_view kLoadRolling = "load --json samples/VX3P1020.VX3";

struct ExitCase {
  const char* name;
  // The load that comes first (empty: none), under the base settings.
  std::string_view load;
  // The simulated Writer's settings added for the command.
  std::string_view faults;
  std::string args;
  ExitCode code;
  // The exact summary event; empty when the command line was refused before any command ran.
  std::string summary;
  // The exact first chip event, when the command reaches chips.
  std::string chip = {};
  // A shell command run in the program folder before the command (after the load).
  std::string_view prepare = {};
};

std::string Summary(std::string_view command, ExitCode code) {
  return "{\"event\":\"summary\",\"command\":\"" + std::string(command) + "\",\"exit_code\":" +
         std::to_string(ToInt(code)) + ",\"result\":\"" + std::string(ExitCodeName(code)) + "\"}";
}

// What a batch's commands came to: the chips reached (passed, failed, unknown) and the commands
// that reached none.
struct Tally {
  int passed = 0;
  int failed = 0;
  int unknown = 0;
  int notRun = 0;
  int noChip = 0;
};

std::string BatchSummary(std::string_view command, ExitCode code, Tally t) {
  std::string line = Summary(command, code);
  line.pop_back();
  return line + ",\"chips\":" + std::to_string(t.passed + t.failed + t.unknown) +
         ",\"passed\":" + std::to_string(t.passed) + ",\"failed\":" + std::to_string(t.failed) +
         ",\"unknown\":" + std::to_string(t.unknown) + ",\"not_run\":" + std::to_string(t.notRun) +
         ",\"no_chip\":" + std::to_string(t.noChip) + "}";
}

std::string Chip(std::string_view command, int index, int count, std::string_view result, ExitCode code,
                 std::string_view serial) {
  return "{\"event\":\"chip\",\"command\":\"" + std::string(command) + "\",\"index\":" + std::to_string(index) +
         ",\"count\":" + std::to_string(count) + ",\"result\":\"" + std::string(result) +
         "\",\"exit_code\":" + std::to_string(ToInt(code)) + ",\"code_name\":\"" + std::string(ExitCodeName(code)) +
         "\",\"serial\":" + (serial.empty() ? std::string("null") : "\"" + std::string(serial) + "\"") + "}";
}

class CliExitCodeTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(CliExitCodeTest, EndsWithItsCodeAndSummary) {
  const ExitCase& c = GetParam();
  CliFolder folder;
  if (!c.load.empty()) {
    const CliRunResult loaded = folder.Run(std::string(c.load));
    ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
  }
  folder.SimSettings(c.faults);
  if (!c.prepare.empty()) {
    ASSERT_EQ(std::system(("cd '" + folder.programDir().string() + "' && " + std::string(c.prepare)).c_str()), 0);
  }
  const CliRunResult run = folder.Run(c.args);
  EXPECT_EQ(run.exitCode, ToInt(c.code)) << run.out << run.err;
  const std::vector<std::string> summaries = run.Events("summary");
  if (c.summary.empty()) {
    EXPECT_TRUE(summaries.empty()) << run.out;
    EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
  } else {
    ASSERT_EQ(summaries.size(), 1U) << run.out;
    EXPECT_EQ(summaries[0], c.summary);
    // The summary is the last line: a script may read the output's tail only.
    EXPECT_EQ(run.Lines().back(), c.summary);
  }
  if (!c.chip.empty()) {
    const std::vector<std::string> chips = run.Events("chip");
    ASSERT_FALSE(chips.empty()) << run.out;
    EXPECT_EQ(chips[0], c.chip);
  }
}

const ExitCase kExitCases[] = {
    {"UnknownCommand", {}, {}, "frobnicate --json", ExitCode::Usage, {}},
    {"CountOfZero", {}, {}, "auto-program --count 0 --json", ExitCode::Usage, {}},
    {"BadFunction", {}, {}, "load samples/VX3P1020.VX3 --function 3", ExitCode::Usage, {}},
    {"InfoOfAnImage", {}, {}, "info --json samples/VX3P1020.VX3", ExitCode::Success, Summary("info", ExitCode::Success)},
    {"ImageMissing", {}, {}, "info --json samples/NOTHERE.VX3", ExitCode::ImageError,
     Summary("info", ExitCode::ImageError)},
    {"RawImageWithoutDevice", {}, {}, "load --json samples/VX3M1A.BIN", ExitCode::ImageError,
     Summary("load", ExitCode::ImageError)},
    {"DeviceNotOffered", {}, {}, "info --json samples/VX3M1A.BIN --device VX3NOSUCH", ExitCode::ImageError,
     Summary("info", ExitCode::ImageError)},
    {"NoWriter", {}, "[Writer]\nPresent=0\n", std::string(kLoadRolling), ExitCode::NoWriter,
     Summary("load", ExitCode::NoWriter)},
    // A Writer with an older driver, which refuses the new one.
    {"DriverUpdateRefused", {}, "[Firmware]\nDriverDate=0x0000\n[Faults]\nStatusCommand=0x01\nStatus=0\n",
     std::string(kLoadRolling), ExitCode::FirmwareFailed, Summary("load", ExitCode::FirmwareFailed)},
    {"EepromJobRefused", {}, "[Faults]\nStatusCommand=0x01\nStatus=0\n", std::string(kLoadRolling),
     ExitCode::JobFailed, Summary("load", ExitCode::JobFailed)},
    {"LoadOfAnImage", {}, {}, std::string(kLoadRolling), ExitCode::Success, Summary("load", ExitCode::Success)},
    {"ChipCommandBeforeAnyLoad", {}, {}, "auto-program --json --no-wait", ExitCode::NotLoaded,
     Summary("auto-program", ExitCode::NotLoaded)},
    {"AutoProgramOfThreeChips", kLoadRolling, {}, "auto-program --count 3 --no-wait --json", ExitCode::Success,
     BatchSummary("auto-program", ExitCode::Success, {.passed = 3}),
     Chip("auto-program", 1, 3, "pass", ExitCode::Success, "00001000")},
    {"ChipNotBlank", kLoadRolling, "[Chip]\nContent=00\n", "blank-check --json", ExitCode::BlankCheckFailed,
     BatchSummary("blank-check", ExitCode::BlankCheckFailed, {.failed = 1}),
     Chip("blank-check", 1, 1, "fail", ExitCode::BlankCheckFailed, "")},
    {"ProgramRefusedByTheWriter", kLoadRolling, "[Faults]\nStatusCommand=0x81\nStatus=0\n", "program --json",
     ExitCode::ProgramFailed, BatchSummary("program", ExitCode::ProgramFailed, {.failed = 1}),
     Chip("program", 1, 1, "fail", ExitCode::ProgramFailed, "00001000")},
    {"VerifyFailsEveryChip", kLoadRolling, "[Chip]\nContent=job\nVerifyFailAt=0x0010\n",
     "verify --count 2 --no-wait --json", ExitCode::VerifyFailed, BatchSummary("verify", ExitCode::VerifyFailed, {.failed = 2}),
     Chip("verify", 1, 2, "fail", ExitCode::VerifyFailed, "")},
    {"UntilFailStopsAtTheFirst", kLoadRolling, "[Chip]\nContent=job\nVerifyFailAt=0x0010\n",
     "verify --count 3 --until-fail --no-wait --json", ExitCode::VerifyFailed,
     BatchSummary("verify", ExitCode::VerifyFailed, {.failed = 1})},
    {"TransferBreaksOff", kLoadRolling, "[Faults]\nFailReadAt=2\n", "blank-check --json", ExitCode::ChipUnknown,
     BatchSummary("blank-check", ExitCode::ChipUnknown, {.unknown = 1})},
    {"RecordCannotIssueTheSerial", kLoadRolling, "[Faults]\nFailReadAt=2\n", "auto-program --json",
     ExitCode::SerialRefused, BatchSummary("auto-program", ExitCode::SerialRefused, {.notRun = 1})},
    // A record written by a newer program is left alone, and no serial is issued from it.
    {"RecordOfANewerProgram", kLoadRolling, {}, "auto-program --json", ExitCode::SerialRefused,
     BatchSummary("auto-program", ExitCode::SerialRefused, {.notRun = 1}), {},
     "sqlite3 Writer_Log/production.db 'PRAGMA user_version=99' >/dev/null"},
    // A record whose home is another folder is a copy: it issues nothing until adopted.
    {"AutoProgramOfACopiedRecord", kLoadRolling, {}, "auto-program --json", ExitCode::SerialRefused,
     BatchSummary("auto-program", ExitCode::SerialRefused, {.notRun = 1}),
     Chip("auto-program", 1, 1, "not_run", ExitCode::SerialRefused, ""),
     "sqlite3 Writer_Log/production.db \"UPDATE outbox_state SET record_path = '/elsewhere/production.db'\""},
    // The Writer finds its socket empty: no chip was reached, and the value stays free.
    {"EmptySocket", kLoadRolling, "[Chip]\nInSocket=0\n", "auto-program --json", ExitCode::NoChip,
     BatchSummary("auto-program", ExitCode::NoChip, {.noChip = 1}),
     Chip("auto-program", 1, 1, "no_chip", ExitCode::NoChip, "")},
    {"LedgerAdoptOfARecordMadeHere", kLoadRolling, {}, "ledger adopt --json", ExitCode::Success,
     Summary("ledger adopt", ExitCode::Success)},
    {"ReadBack", kLoadRolling, "[Chip]\nContent=job\n", "read --out listing.txt --json", ExitCode::Success,
     Summary("read", ExitCode::Success)},
    // A series settings file named but not there: nothing reaches the Writer.
    {"SeriesFileMissing", kLoadRolling, {}, "auto-program --series missing.SERIES.INI --json", ExitCode::ImageError,
     Summary("auto-program", ExitCode::ImageError)},
    {"LedgerStats", kLoadRolling, {}, "ledger stats --json", ExitCode::Success, Summary("ledger stats", ExitCode::Success)},
    {"LedgerExportOfNoJob", {}, {}, "ledger export --csv out.csv --json", ExitCode::Usage,
     Summary("ledger export", ExitCode::Usage)},
    {"LedgerExportAll", kLoadRolling, {}, "ledger export --csv out.csv --all --json", ExitCode::Success,
     Summary("ledger export", ExitCode::Success)},
};

INSTANTIATE_TEST_SUITE_P(Cases, CliExitCodeTest, ::testing::ValuesIn(kExitCases),
                         [](const ::testing::TestParamInfo<ExitCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vx3::cli
