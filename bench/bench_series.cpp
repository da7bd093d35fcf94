// The shared series on a PostgreSQL server of this machine (commits synced to its disk):
// reserving one block of values (target: at most 5 ms at the 99th percentile), one round trip
// on a kept connection.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "ledger/series_server.h"
#include "support/pg_test_server.h"

namespace {

using namespace vx3;

constexpr std::int64_t kBlockSize = 100;

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
        store->ReserveBlock("remote-433", "bench-1", fmt::format("r{}", ++request), kBlockSize, block);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!reserved) {
      state.SkipWithError(reserved.status.error.c_str());
      break;
    }
  }
  ReportPercentiles(state, ms);
}
BENCHMARK(BM_ReserveBlock)->Iterations(2000)->Unit(benchmark::kMillisecond);

}  // namespace
