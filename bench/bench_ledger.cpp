// The production record: issuing one value durably (the commit synced to this machine's disk
// before the command that uses it may be sent; target: at most 5 ms at the 99th percentile),
// and the counters of the job and of today over a record of 1,000,000 chips (target: at most
// 20 ms). The big record is built once, in one transaction, in a temporary folder; its size
// gives the record's bytes per chip. The read-back of the Writer's value before each chip adds
// no synced commit in the usual case (BM_ObserveWriterValue).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "ledger/sqlite_ledger.h"
#include "platform/clock.h"
#include "support/ledger_job.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace vx3;

constexpr std::int64_t kBigRecordChips = 1000000;

using testing::RollingJob;

// The median, the 99th percentile and the longest of `ms` as the benchmark's counters.
void SetPercentiles(benchmark::State& state, std::vector<double>& ms) {
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) return;
  const auto at = [&ms](double share) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(share * ms.size()))]; };
  state.counters["p50_ms"] = at(0.50);
  state.counters["p99_ms"] = at(0.99);
  state.counters["max_ms"] = ms.back();
}

void BM_IssueOneValueDurably(benchmark::State& state) {
  testing::TempDir folder;
  platform::SystemClock clock;
  ledger::OpenedLedger opened = ledger::OpenSqliteLedger(folder.path(), clock);
  if (!opened.ledger) {
    state.SkipWithError(opened.status.error.c_str());
    return;
  }
  ledger::JobId job = 0;
  opened.ledger->StartJob(RollingJob(folder.path()), job);
  rolling::RollingWords wanted{};
  std::vector<double> ms;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const ledger::IssuedSerial issued = opened.ledger->IssueSerial(job, ledger::ActionKind::AutoProgram, wanted);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!issued.status) {
      state.SkipWithError(issued.status.error.c_str());
      break;
    }
    // The chip's result, as after each command: not part of the issue's time.
    state.PauseTiming();
    opened.ledger->FinishAction(issued.action, ledger::Outcome::Pass, "Auto Program OK", 1500);
    state.ResumeTiming();
    wanted = issued.entries;
    ++wanted[0];
  }
  SetPercentiles(state, ms);
}
BENCHMARK(BM_IssueOneValueDurably)->Iterations(1000)->Unit(benchmark::kMillisecond);

// The read-back of the Writer's value before each chip, as the record takes it: in the usual case
// (Arg 0) the Writer holds the value the record expects, nothing is written and no commit is
// synced, so a chip's durable cost stays the issue's and the result's two commits. With Arg 1
// every chip finds a run of three values the Writer used on its own, which is written and synced.
void BM_ObserveWriterValue(benchmark::State& state) {
  testing::TempDir folder;
  platform::SystemClock clock;
  ledger::OpenedLedger opened = ledger::OpenSqliteLedger(folder.path(), clock);
  if (!opened.ledger) {
    state.SkipWithError(opened.status.error.c_str());
    return;
  }
  const ledger::JobInfo info = RollingJob(folder.path());
  ledger::JobId job = 0;
  opened.ledger->StartJob(info, job);
  const bool runs = state.range(0) != 0;
  rolling::RollingWords wanted{};
  std::vector<double> ms;
  for (auto _ : state) {
    state.PauseTiming();
    const ledger::IssuedSerial issued = opened.ledger->IssueSerial(job, ledger::ActionKind::AutoProgram, wanted);
    opened.ledger->FinishAction(issued.action, ledger::Outcome::Pass, "Auto Program OK", 1500);
    rolling::RollingWords held = issued.entries;
    held[0] = static_cast<std::uint16_t>(held[0] + (runs ? 4 : 1));
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    ledger::WriterObservation seen;
    const ledger::LedgerStatus observed = opened.ledger->ObserveWriterValue(job, info.iniPath, info.shape, held, seen);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!observed || (seen.standaloneCount != (runs ? 3 : 0))) {
      state.SkipWithError(observed ? "the run found is not the one made" : observed.error.c_str());
      break;
    }
    wanted = held;
  }
  SetPercentiles(state, ms);
}
BENCHMARK(BM_ObserveWriterValue)->Arg(0)->Arg(1)->Iterations(500)->Unit(benchmark::kMillisecond);

// A record of a million chips, made once for the counters.
struct BigRecord {
  BigRecord() {
    opened = ledger::OpenSqliteLedger(folder.path(), clock);
    if (!opened.ledger) return;
    opened.ledger->StartJob(RollingJob(folder.path()), job);
    status = ledger::AppendMeasurementChips(*opened.ledger, job, rolling::RollingWords{}, kBigRecordChips);
    std::error_code ec;
    const fs::path file = folder.path() / ledger::kLedgerFolder / ledger::kLedgerFileName;
    bytes = fs::file_size(file, ec);
    fs::path wal = file;
    wal += "-wal";
    bytes += fs::exists(wal, ec) ? fs::file_size(wal, ec) : 0;
  }
  testing::TempDir folder;
  platform::SystemClock clock;
  ledger::OpenedLedger opened;
  ledger::JobId job = 0;
  ledger::LedgerStatus status;
  std::uintmax_t bytes = 0;
};

void BM_CountersOverAMillionChips(benchmark::State& state) {
  static BigRecord big;
  if (!big.opened.ledger || !big.status) {
    state.SkipWithError((big.opened.status.error + big.status.error).c_str());
    return;
  }
  ledger::CounterSet counters;
  for (auto _ : state) {
    const ledger::LedgerStatus read = big.opened.ledger->ReadCounters(big.job, counters);
    if (!read || counters.job.done != kBigRecordChips) {
      state.SkipWithError("the counters are wrong");
      break;
    }
    benchmark::DoNotOptimize(counters);
  }
  state.counters["chips"] = static_cast<double>(counters.job.done);
  state.counters["bytes_per_chip"] = static_cast<double>(big.bytes) / static_cast<double>(kBigRecordChips);
}
BENCHMARK(BM_CountersOverAMillionChips)->Unit(benchmark::kMillisecond);

}  // namespace
