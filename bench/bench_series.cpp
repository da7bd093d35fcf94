// The shared series on a PostgreSQL server of this machine (commits synced to its disk):
// reserving one block of values (target: at most 5 ms at the 99th percentile), one round trip
// on a kept connection; and draining a station's outbox to the server (target: at least 5,000
// rows per second), rows read from the station's record, sent in batches and dropped there.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "ledger/outbox.h"
#include "ledger/series_server.h"
#include "ledger/sqlite_ledger.h"
#include "platform/clock.h"
#include "support/pg_test_server.h"
#include "support/temp_dir.h"

namespace {

using namespace vx3;

constexpr std::int64_t kBlockSize = 100;
// Chips per measured drain: an action and a serial row each.
constexpr std::int64_t kDrainChips = 10000;

testing::PgTestServer& Server() {
  static testing::PgTestServer server(/*durable=*/true);
  return server;
}

void ReportPercentiles(benchmark::State& state, std::vector<double>& ms) {
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) return;
  const auto at = [&ms](double share) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(share * ms.size()))]; };
  state.counters["p50_ms"] = at(0.50);
  state.counters["p99_ms"] = at(0.99);
  state.counters["max_ms"] = ms.back();
}

void BM_ReserveBlock(benchmark::State& state) {
  testing::PgTestServer& server = Server();
  if (!server.unavailable().empty()) {
    state.SkipWithError(server.unavailable().c_str());
    return;
  }
  const std::string connection = server.NewDatabase("bench_reserve");
  auto store = ledger::OpenSeriesServer(connection);
  if (const ledger::SeriesStatus joined = store->JoinSeries("remote-433", 1, INT64_MAX / 2); !joined) {
    state.SkipWithError(joined.status.error.c_str());
    return;
  }
  std::vector<double> ms;
  std::int64_t request = 0;
  for (auto _ : state) {
    ledger::ReservedBlock block;
    const auto start = std::chrono::steady_clock::now();
    const ledger::SeriesStatus reserved =
        store->ReserveBlock("remote-433", "bench-1", fmt::format("r{}", ++request), kBlockSize, 0, block);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!reserved) {
      state.SkipWithError(reserved.status.error.c_str());
      break;
    }
  }
  ReportPercentiles(state, ms);
}
BENCHMARK(BM_ReserveBlock)->Iterations(2000)->Unit(benchmark::kMillisecond);

void BM_DrainOutbox(benchmark::State& state) {
  testing::PgTestServer& server = Server();
  if (!server.unavailable().empty()) {
    state.SkipWithError(server.unavailable().c_str());
    return;
  }
  auto store = ledger::OpenSeriesServer(server.NewDatabase("bench_drain"));
  testing::TempDir folder;
  platform::SystemClock clock;
  ledger::OpenedLedger opened = ledger::OpenSqliteLedger(folder.path(), clock, ledger::LedgerOptions{.station = "bench-1", .busyTimeoutMs = 2000, .vfsName = {}, .machineId = {}, .owner = {}, .ownerHeld = {}});
  if (!opened.ledger) {
    state.SkipWithError(opened.status.error.c_str());
    return;
  }
  ledger::LedgerOutbox& outbox = *ledger::OutboxOf(*opened.ledger);
  outbox.StartQueueing();
  ledger::JobInfo job;
  job.device = "VX3P1040";
  job.imagePath = folder.path() / "PART.VX3";
  job.rollingOn = true;
  job.iniPath = folder.path() / "PART.INI";
  job.shape = {4, true, false};
  job.step[0] = 1;
  ledger::JobId jobId = 0;
  opened.ledger->StartJob(job, jobId);
  std::string token;
  outbox.Token(token);
  if (const ledger::SeriesStatus claimed = store->ClaimStation(outbox.Station(), token); !claimed) {
    state.SkipWithError(claimed.status.error.c_str());
    return;
  }
  ledger::OutboxDrainer drainer(outbox, *store);
  std::int64_t rows = 0;
  rolling::RollingWords first{};
  for (auto _ : state) {
    state.PauseTiming();
    ledger::AppendMeasurementChips(*opened.ledger, jobId, first, kDrainChips);
    first[2] = static_cast<std::uint16_t>(first[2] + 1);  // the next run's values follow on
    std::int64_t queued = 0;
    outbox.QueuedCount(queued);
    state.ResumeTiming();
    ledger::LedgerStatus status;
    bool unreachable = false;
    if (!drainer.DrainNow(status, unreachable)) {
      state.SkipWithError(status.error.c_str());
      break;
    }
    rows += queued;
  }
  state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrainOutbox)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
