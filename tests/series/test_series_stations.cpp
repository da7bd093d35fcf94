// Eight benches on one series: eight command-line stations, each with its own program folder,
// record and simulated Writer, program their chips together while the serial server is stopped
// and started again in the middle; one bench's Writer programs chips on its own past its block
// between trays, and one bench is set up as a copy of the first one's folder and adopted. No value is on two passed chips unless the server reported it as a conflict of
// the stand-alone values, and the server holds every row of every station's record. VX3WT_SERIES_CHIPS sets the chips per station (the suite runs a
// short batch; scripts/soak_series.sh runs 2,000 each).
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "support/chips_file.h"
#include "support/image_builder.h"
#include "support/pg_test_server.h"

namespace vx3::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kStations = 8;
constexpr int kDefaultChips = 120;
constexpr int kBlockSize = 10;
// Chips per run of the batch command: a station's script programs a tray at a time.
constexpr int kTray = 10;
constexpr int kExitSerialRefused = 10;
constexpr auto kOutage = std::chrono::milliseconds(3000);
constexpr auto kRetryAfter = std::chrono::milliseconds(200);
// Runs of the batch command a station may need (each refusal while the server is away is one).
constexpr int kMaxRuns = 400;
constexpr const char* kTables[] = {"jobs", "actions", "serials", "blocks"};
// The bench whose Writer programs chips on its own between trays: more than a block each time,
// so that its values run past the block it holds.
constexpr int kStandAloneStation = kStations - 1;
constexpr int kStandAloneEvery = 3;
constexpr int kStandAloneChips = kBlockSize + 3;
// The bench set up as a copy of the first bench's folder, record and all, right after that one's
// load: it must be adopted as a new station before it gives a value.
constexpr int kCopiedStation = kStations - 2;
constexpr const char* kCopyLine = "the production record is a copy";

int ChipsPerStation() {
  const char* wanted = std::getenv("VX3WT_SERIES_CHIPS");
  const int chips = wanted != nullptr ? std::atoi(wanted) : 0;
  return chips > 0 ? chips : kDefaultChips;
}

std::int64_t RecordCount(const fs::path& db, const std::string& sql) {
  sqlite3* handle = nullptr;
  std::int64_t count = -1;
  if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      count = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(handle);
  return count;
}

std::int64_t ServerCount(const std::string& connection, const std::string& sql) {
  PGconn* conn = PQconnectdb(connection.c_str());
  PGresult* result = PQexec(conn, sql.c_str());
  const std::int64_t count =
      PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1 ? std::atoll(PQgetvalue(result, 0, 0)) : -1;
  PQclear(result);
  PQfinish(conn);
  return count;
}

// What one station did: chips passed, and what stopped it when it did not finish.
struct StationRun {
  int passed = 0;
  int refusals = 0;
  std::string failure;
};

int PassedOf(const CliRunResult& run) {
  static const std::regex kPassed(R"("passed":(\d+))");
  std::smatch match;
  for (const std::string& line : run.Events("summary")) {
    if (std::regex_search(line, match, kPassed)) return std::stoi(match[1]);
  }
  return 0;
}

TEST(SeriesStationsTest, EightBenchesOnOneSeriesNeverGiveAValueTwiceThroughAServerRestart) {
  PgTestServer& server = PgTestServer::Shared();
  if (!server.unavailable().empty()) GTEST_SKIP() << server.unavailable();
  ASSERT_TRUE(server.running() || server.Start());
  const std::string connection = server.NewDatabase("eight_stations");
  ASSERT_FALSE(connection.empty());
  const int chips = ChipsPerStation();

  std::vector<std::unique_ptr<CliFolder>> folders;
  for (int station = 0; station < kStations; ++station) {
    auto folder = std::make_unique<CliFolder>();
    fs::create_directories(folder->programDir() / "Writer_Log");
    WriteFileBytes(folder->programDir() / "Writer_Log" / "production.ini",
                   fmt::format("[Production]\nStation=bench-{}\n", station + 1));
    // The series named on the command line, for every command of the station.
    WriteFileBytes(folder->programDir() / "series.ini",
                   fmt::format("[Series]\nName=remote-433\nServer={}\nBlockSize={}\n", connection, kBlockSize));
    folders.push_back(std::move(folder));
  }

  std::atomic<int> passedSoFar{0};
  std::atomic<bool> firstLoaded{false};
  std::atomic<bool> copied{false};
  // The rows the copied bench's record held from the first bench: history, never sent as its own.
  std::map<std::string, std::int64_t> copiedRows;
  std::vector<StationRun> runs(kStations);
  std::vector<std::thread> threads;
  for (int station = 0; station < kStations; ++station) {
    threads.emplace_back([&, station] {
      const CliFolder& folder = *folders[station];
      StationRun& run = runs[station];
      if (station == kCopiedStation) {
        while (!firstLoaded.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // The PC is set up by copying the first bench's folder: its record, its station name,
        // its loaded job.
        const fs::path log = folder.programDir() / "Writer_Log";
        fs::remove_all(log);
        fs::copy(folders[0]->programDir() / "Writer_Log", log, fs::copy_options::recursive);
        for (const char* table : kTables) {
          copiedRows[table] = RecordCount(log / "production.db", fmt::format("SELECT COALESCE(MAX(id), 0) FROM {}", table));
        }
        copied = true;
        const CliRunResult refused = folder.Run("auto-program --count 1 --no-wait --json --series series.ini");
        if (refused.exitCode != kExitSerialRefused || refused.out.find(kCopyLine) == std::string::npos ||
            !ChipsFile(folder.simDir()).empty()) {
          run.failure = fmt::format("the copy was not refused: {}\n{}{}", refused.exitCode, refused.out, refused.err);
          return;
        }
        const CliRunResult adopted =
            folder.Run(fmt::format("ledger adopt --station bench-{} --json --series series.ini", station + 1));
        if (adopted.exitCode != 0) {
          run.failure = fmt::format("adopt: {}\n{}{}", adopted.exitCode, adopted.out, adopted.err);
          return;
        }
      }
      const CliRunResult load = folder.Run("load samples/VX3P1020.VX3 --json --series series.ini");
      if (load.exitCode != 0) {
        run.failure = fmt::format("load: {}\n{}{}", load.exitCode, load.out, load.err);
        if (station == 0) firstLoaded = true;
        return;
      }
      if (station == 0) {
        firstLoaded = true;
        while (!copied.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      for (int attempt = 0; run.passed < chips && attempt < kMaxRuns; ++attempt) {
        // The last bench's Writer also programs chips on its own now and then, past its block.
        if (station == kStandAloneStation && attempt % kStandAloneEvery == 1) {
          folder.SimSettings(fmt::format("[Writer]\nStandaloneChips={}\n", kStandAloneChips));
        }
        const CliRunResult batch =
            folder.Run(fmt::format("auto-program --count {} --no-wait --json --series series.ini",
                                    std::min(kTray, chips - run.passed)));
        const int passed = PassedOf(batch);
        run.passed += passed;
        passedSoFar += passed;
        if (batch.exitCode == 0) continue;
        // The server is away and the block used: the station stops with its line and goes on
        // by itself when the server is back.
        if (batch.exitCode == kExitSerialRefused &&
            batch.out.find("The serial server cannot be reached: no values left in this station's block") !=
                std::string::npos) {
          ++run.refusals;
          std::this_thread::sleep_for(kRetryAfter);
          continue;
        }
        run.failure = fmt::format("auto-program: {}\n{}{}", batch.exitCode, batch.out, batch.err);
        return;
      }
    });
  }

  // The server goes away once, a third of the way through, and comes back.
  while (passedSoFar.load() < kStations * chips / 3) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(server.Stop());
  std::this_thread::sleep_for(kOutage);
  ASSERT_TRUE(server.Start());
  for (std::thread& thread : threads) thread.join();
  // A station that ended while the server was away still holds rows for it: they go now.
  for (int station = 0; station < kStations; ++station) {
    const CliRunResult sync = folders[station]->Run("ledger sync --json --series series.ini");
    EXPECT_EQ(sync.exitCode, 0) << sync.out << sync.err;
  }

  std::vector<ChipLine> all;
  int refusals = 0;
  for (int station = 0; station < kStations; ++station) {
    SCOPED_TRACE(fmt::format("bench-{}", station + 1));
    EXPECT_EQ(runs[station].failure, "");
    EXPECT_EQ(runs[station].passed, chips);
    refusals += runs[station].refusals;
    const std::vector<ChipLine> chipsOfStation = ChipsFile(folders[station]->simDir());
    all.insert(all.end(), chipsOfStation.begin(), chipsOfStation.end());
  }
  // No value on two passed chips, whichever benches programmed them, unless the Writer that ran
  // on its own put it on one of them and the server reported it as a conflict: a duplicate the
  // program could not prevent, never one it made.
  const fs::path standAloneDb = folders[kStandAloneStation]->programDir() / "Writer_Log" / "production.db";
  const std::int64_t standAloneRuns = RecordCount(standAloneDb, "SELECT count(*) FROM serials WHERE state = 'standalone'");
  EXPECT_GT(standAloneRuns, 0);
  for (const std::string& twice : TwiceAmongPassed(all)) {
    const std::int64_t number = std::stoll(twice, nullptr, 16);
    EXPECT_EQ(RecordCount(standAloneDb, fmt::format("SELECT count(*) FROM serials WHERE state = 'standalone' AND "
                                                    "value <= '{0}' AND last_value >= '{0}'",
                                                    twice)),
              1)
        << twice << " is on two passed chips and was not used on its own";
    EXPECT_EQ(ServerCount(connection, fmt::format("SELECT count(*) FROM conflicts WHERE first_value <= {0} AND "
                                                  "last_value >= {0}",
                                                  number)),
              1)
        << twice << " is on two passed chips and no conflict says so";
  }
  std::size_t passedChips = 0;
  for (const ChipLine& chip : all) passedChips += chip.result == "PASS" ? 1 : 0;
  const std::int64_t standAloneChips =
      RecordCount(standAloneDb, "SELECT COALESCE(SUM(count), 0) FROM serials WHERE state = 'standalone'");
  EXPECT_EQ(passedChips, static_cast<std::size_t>(kStations * chips + standAloneChips));
  std::cout << "[ stations ] " << kStations << " x " << chips << " chips, " << refusals
            << " batches stopped while the server was away\n";

  // The factory's record holds every row of every station's own record.
  for (int station = 0; station < kStations; ++station) {
    const std::string name = fmt::format("bench-{}", station + 1);
    const fs::path db = folders[station]->programDir() / "Writer_Log" / "production.db";
    EXPECT_EQ(RecordCount(db, "SELECT count(*) FROM outbox"), 0) << name;
    for (const char* table : kTables) {
      const std::int64_t history = station == kCopiedStation ? copiedRows[table] : 0;
      EXPECT_EQ(ServerCount(connection, fmt::format("SELECT count(*) FROM {} WHERE station = '{}'", table, name)),
                RecordCount(db, fmt::format("SELECT count(*) FROM {} WHERE id > {}", table, history)))
          << name << ' ' << table;
    }
    EXPECT_EQ(ServerCount(connection, fmt::format("SELECT count(*) FROM serials WHERE station = '{}' AND state = "
                                                  "'passed'",
                                                  name)),
              chips)
        << name;
  }
}

}  // namespace
}  // namespace vx3::testing
