// A batch of Auto Program through vx3wt-cli against the simulated Writer without latency, the
// rolling code on, every chip recorded in the production record: what one chip costs.
//
// BM_CliAutoProgram runs "auto-program --count 50 --no-wait --json" in this process (the JSON
// events go to the null device); BM_WindowAutoProgram clicks Auto Program 50 times through the
// presenter on a scripted view, as the window does. Both send the same packets and make the same
// record rows, so the difference between the two is the command line's own time per chip (its
// console view, its JSON events, its batch loop); the target is at most 1 ms. The process CPU
// time is given beside the wall time: the wall time also holds the record's synced commits and
// the simulated Writer's state file, which wait on the disk.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/main_presenter.h"
#include "cli/cli_app.h"
#include "ledger/sqlite_ledger.h"
#include "platform/clock.h"
#include "platform/thread_locale.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace vx3;

const fs::path kShippedProgramDir = VX3WT_PROGRAM_DIR;
constexpr int kChipsPerRun = 50;
constexpr const char* kKitFolders[] = {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"};
constexpr std::string_view kSimSettings =
    "[Writer]\nLatencyMs=0\n[Firmware]\nDriverVersion=0x0105\nDriverDate=0x2603\n[Chip]\nInsertNewAfterProgram=1\n";
constexpr std::string_view kImage = "samples/VX3P1020.VX3";
#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

ledger::OpenedLedger OpenRecord(const fs::path& dataDir, platform::Clock& clock) {
  return ledger::OpenSqliteLedger(dataDir, clock);
}

// A program folder of its own with a loaded job, and its simulated Writer.
class Station {
 public:
  Station() : programDir_(dir_.path() / "station") {
    fs::create_directories(programDir_);
    for (const char* folder : kKitFolders) fs::copy(kShippedProgramDir / folder, programDir_ / folder, fs::copy_options::recursive);
    testing::WriteFileBytes(simDir_.path() / "VX3USBOV3Wt.ini", kSimSettings);
#ifdef _WIN32
    _putenv_s("VX3WT_SIM_DIR", simDir_.path().string().c_str());
#else
    setenv("VX3WT_SIM_DIR", simDir_.path().c_str(), 1);
#endif
    null_ = std::fopen(kNullDevice, "w");
    host_.out = std::getenv("VX3WT_BENCH_SHOW") != nullptr ? stdout : null_;
    host_.err = null_;
    host_.programPath = programDir_ / "vx3wt-cli";
    host_.ledgerOpener = OpenRecord;
    host_.recordInBuild = true;
  }
  ~Station() {
    if (null_ != nullptr) std::fclose(null_);
  }

  int Cli(std::vector<std::string> args) const {
    args.insert(args.begin(), "vx3wt-cli");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return cli::RunCli(static_cast<int>(argv.size()), argv.data(), host_);
  }
  const fs::path& programDir() const { return programDir_; }

 private:
  testing::TempDir dir_;
  testing::TempDir simDir_;
  fs::path programDir_;
  std::FILE* null_ = nullptr;
  cli::CliHost host_;
};

void BM_CliAutoProgram(benchmark::State& state) {
  Station station;
  if (station.Cli({"load", (station.programDir() / kImage).string()}) != 0) {
    state.SkipWithError("the load failed");
    return;
  }
  const std::vector<std::string> batch = {"auto-program", "--count", std::to_string(kChipsPerRun), "--no-wait", "--json"};
  for (auto _ : state) {
    if (station.Cli(batch) != 0) {
      state.SkipWithError("a chip failed");
      return;
    }
  }
  state.counters["per_chip"] = benchmark::Counter(static_cast<double>(state.iterations()) * kChipsPerRun,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CliAutoProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(4);

void BM_WindowAutoProgram(benchmark::State& state) {
  Station station;
  platform::StandInThreadLocale locale;
  platform::SystemClock clock;
  app::AppContext context(locale, clock);
  context.ledgerOpener = OpenRecord;
  locale.Set(platform::kLocaleEnglishUs);
  context.state.programPath = station.programDir() / "vx3wt";
  context.state.programDir = station.programDir();
  context.reporter.SetProgramDir(station.programDir());
  testing::FakeView view;
  view.rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
  app::MainPresenter presenter(context, view);
  presenter.OnInitWindow();
  view.fileAnswers.push_back(station.programDir() / kImage);
  presenter.OnOneKeyLoad();
  presenter.WaitForWriterJobs();
  if (context.state.lastResult.load() != app::CommandResult::Ok) {
    state.SkipWithError("the load failed");
    return;
  }
  for (auto _ : state) {
    for (int chip = 0; chip < kChipsPerRun; ++chip) {
      presenter.OnAutoProgram();
      presenter.WaitForWriterJobs();
      if (context.state.lastResult.load() != app::CommandResult::Ok) {
        state.SkipWithError("a chip failed");
        return;
      }
    }
  }
  state.counters["per_chip"] = benchmark::Counter(static_cast<double>(state.iterations()) * kChipsPerRun,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WindowAutoProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(4);

}  // namespace
