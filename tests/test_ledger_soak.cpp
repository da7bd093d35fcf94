// Killed at any moment of a run of Auto Programs against a slow simulated Writer, started again
// and killed again: the Writer's chips file never shows one value on two passed chips, every
// chip the record calls passed is one the Writer passed with that value, and every chip of the
// chips file is on record. Once with a Writer that keeps its state across the kills, once with
// one that forgets it each time, once with one that programs chips on its own between runs and
// is swapped for one holding an earlier state of the job.
//
// VX3WT_SOAK_KILLS sets the kills per variant (a few by default, so that the suite stays quick;
// scripts/soak_ledger.sh runs 200 of each).
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/chips_file.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): posix_spawn hands it on.

namespace vx3 {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedProgramDir = VX3WT_PROGRAM_DIR;
constexpr int kDefaultKills = 12;
// Long enough for a load and a few chips of the slow Writer below (about 40 ms and 100 ms).
constexpr int kLongestRunBeforeKillMs = 600;
constexpr std::string_view kSlowWriter = "[Timing]\nBlankCheckMsPerKB=2\nProgramMsPerKB=10\nVerifyMsPerKB=4\n";

int KillsPerVariant() {
  const char* text = std::getenv("VX3WT_SOAK_KILLS");
  const int kills = text != nullptr ? std::atoi(text) : 0;
  return kills > 0 ? kills : kDefaultKills;
}

// `simDir` empty: the Writer of the folder the environment names.
pid_t StartStation(const fs::path& programDir, const std::string& chips, const fs::path& simDir = {}) {
  const std::string station = VX3WT_LEDGER_STATION;
  const std::string folder = programDir.string();
  const std::string image = (programDir / "samples" / "VX3P1020.VX3").string();
  std::vector<char*> argv = {const_cast<char*>(station.c_str()), const_cast<char*>(folder.c_str()),
                             const_cast<char*>(image.c_str()), const_cast<char*>(chips.c_str()), nullptr};
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (simDir.empty() || std::string_view(*entry).rfind("VX3WT_SIM_DIR=", 0) != 0) environment.emplace_back(*entry);
  }
  if (!simDir.empty()) environment.push_back("VX3WT_SIM_DIR=" + simDir.string());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, station.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  return pid;
}

using testing::ChipsFile;
using testing::PassedValues;

std::vector<std::string> PassedInRecord(const fs::path& db) {
  sqlite3* handle = nullptr;
  std::vector<std::string> values;
  if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(handle, "SELECT value FROM serials WHERE state = 'passed'", -1, &statement, nullptr);
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      values.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(handle);
  return values;
}

struct SoakVariant {
  const char* name;
  bool writerForgets;  // the Writer's state file is deleted after each kill
  // Between kills the Writer now and then programs chips on its own, or is swapped for one
  // holding an earlier state of the same job (a state file saved before and put back).
  bool offLineAndSwapped;
};

// Every value on the Writer's chips file is on record in a state that agrees with the chip's:
// a passed chip's value passed, unknown or used on its own; a failed chip's failed or unknown.
std::vector<std::string> ChipsNotOnRecord(const fs::path& db, const std::vector<testing::ChipLine>& chips) {
  sqlite3* handle = nullptr;
  std::vector<std::string> missing;
  if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return {"no record"};
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(handle,
                     "SELECT 1 FROM serials WHERE (value = ?1 AND state IN (?2, ?3))"
                     " OR (?2 = 'passed' AND state = 'standalone' AND value <= ?1 AND last_value >= ?1) LIMIT 1",
                     -1, &statement, nullptr);
  for (const testing::ChipLine& chip : chips) {
    const bool passed = chip.result == "PASS";
    sqlite3_reset(statement);
    sqlite3_bind_text(statement, 1, chip.value.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, passed ? "passed" : "failed", -1, SQLITE_STATIC);
    sqlite3_bind_text(statement, 3, "unknown", -1, SQLITE_STATIC);
    if (sqlite3_step(statement) != SQLITE_ROW) missing.push_back(chip.value + " " + chip.result);
  }
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  return missing;
}

// Runs a station to its end: it loads and programs `chips` chips.
void RunStationToItsEnd(const fs::path& programDir, const std::string& chips) {
  const pid_t station = StartStation(programDir, chips);
  ASSERT_GT(station, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(station, &status, 0), station);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
}

void CopyProgramFolder(const fs::path& programDir) {
  fs::create_directories(programDir);
  for (const char* folder : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"}) {
    fs::copy(kShippedProgramDir / folder, programDir / folder, fs::copy_options::recursive);
  }
}

class LedgerSoakTest : public ::testing::TestWithParam<SoakVariant> {};

TEST_P(LedgerSoakTest, KilledAtRandomMomentsNoPassedValueIsGivenTwice) {
  testing::TempDir dir;
  testing::TempDir simDir;
  const fs::path programDir = dir.path() / "Writer";
  CopyProgramFolder(programDir);
  testing::SetSimFolder(simDir.path());
  testing::WriteFileBytes(simDir.path() / "VX3USBOV3Wt.ini", kSlowWriter);

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(0, kLongestRunBeforeKillMs);
  const int kills = KillsPerVariant();
  const fs::path state = simDir.path() / "VX3USBOV3Wt.state";
  const fs::path saved = dir.path() / "saved.state";
  std::uniform_int_distribution<int> offLine(0, 5);
  std::uniform_int_distribution<int> standaloneChips(1, 4);
  for (int kill = 0; kill < kills; ++kill) {
    if (GetParam().offLineAndSwapped) {
      std::error_code ec;
      switch (offLine(random)) {
        case 0:
          // Chips programmed on their own; a station then reads the Writer before anything else.
          testing::WriteFileBytes(simDir.path() / "VX3USBOV3Wt.ini",
                                  std::string(kSlowWriter) + "[Writer]\nStandaloneChips=" +
                                      std::to_string(standaloneChips(random)) + "\n");
          RunStationToItsEnd(programDir, "1");
          break;
        case 1:
          // Another Writer with the same job at an earlier value.
          if (!fs::exists(saved)) break;
          testing::WriteFileBytes(simDir.path() / "VX3USBOV3Wt.ini", kSlowWriter);
          fs::copy_file(saved, state, fs::copy_options::overwrite_existing, ec);
          RunStationToItsEnd(programDir, "1");
          break;
        case 2: fs::copy_file(state, saved, fs::copy_options::overwrite_existing, ec); break;
        default: break;
      }
    }
    const pid_t station = StartStation(programDir, "1000000");
    ASSERT_GT(station, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
    ::kill(station, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(station, &status, 0), station);
    // A station that stopped by itself met something it could not go on with.
    ASSERT_TRUE(WIFSIGNALED(status)) << "kill " << kill << ": the station ended with " << WEXITSTATUS(status);
    if (GetParam().writerForgets) fs::remove(simDir.path() / "VX3USBOV3Wt.state");
  }
  // Started once more, the station loads and programs chips as ever.
  const pid_t last = StartStation(programDir, "3");
  ASSERT_GT(last, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(last, &status, 0), last);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  testing::SetSimFolder("");

  const std::map<std::string, int> passed = PassedValues(ChipsFile(simDir.path()));
  ASSERT_GE(passed.size(), 3U);
  for (const auto& [value, times] : passed) EXPECT_EQ(times, 1) << value << " went to " << times << " passed chips";
  // What the record confirmed, the Writer did; what the Writer did, the record holds.
  const fs::path db = programDir / "Writer_Log" / "production.db";
  for (const std::string& value : PassedInRecord(db)) {
    EXPECT_EQ(passed.count(value), 1U) << value << " is passed on record but on no passed chip";
  }
  if (!GetParam().writerForgets) {
    EXPECT_EQ(ChipsNotOnRecord(db, ChipsFile(simDir.path())), std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, LedgerSoakTest,
                         ::testing::Values(SoakVariant{"WriterKeepsItsState", false, false},
                                           SoakVariant{"WriterForgetsItsState", true, false},
                                           SoakVariant{"WriterRunsOnItsOwnAndIsSwapped", false, true}),
                         [](const ::testing::TestParamInfo<SoakVariant>& info) { return std::string(info.param.name); });

// Two windows on one program folder, each with its own Writer, program chips of the same rolling
// INI at the same time: the record's own lock keeps each value to one of them.
TEST(LedgerStations, TwoStationsOnOneFolderNeverGiveTheSameValue) {
  testing::TempDir dir;
  const fs::path programDir = dir.path() / "Writer";
  CopyProgramFolder(programDir);
  const fs::path simDirs[] = {dir.path() / "writer-a", dir.path() / "writer-b"};
  // The record is made by a first start, as a bench's first window makes it.
  {
    testing::WriteFileBytes(simDirs[0] / "VX3USBOV3Wt.ini", kSlowWriter);
    const pid_t first = StartStation(programDir, "0", simDirs[0]);
    ASSERT_GT(first, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(first, &status, 0), first);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
  }
  pid_t stations[2] = {};
  for (int i = 0; i < 2; ++i) {
    testing::WriteFileBytes(simDirs[i] / "VX3USBOV3Wt.ini", kSlowWriter);
    stations[i] = StartStation(programDir, "12", simDirs[i]);
    ASSERT_GT(stations[i], 0);
  }
  for (const pid_t station : stations) {
    int status = 0;
    ASSERT_EQ(::waitpid(station, &status, 0), station);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  std::vector<testing::ChipLine> chips;
  for (const fs::path& simDir : simDirs) {
    const std::vector<testing::ChipLine> more = ChipsFile(simDir);
    chips.insert(chips.end(), more.begin(), more.end());
  }
  const std::map<std::string, int> passed = PassedValues(chips);
  EXPECT_EQ(passed.size(), 24U);
  for (const auto& [value, times] : passed) EXPECT_EQ(times, 1) << value << " went to " << times << " passed chips";
}

}  // namespace
}  // namespace vx3
