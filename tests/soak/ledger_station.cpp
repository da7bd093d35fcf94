// A station without its window for the kill test: it starts as the program does (the record
// opened from the program folder), loads the sample with a rolling code, and runs Auto Program
// chip after chip until it has done the number asked for, or is killed. The Writer's waits are
// skipped (its driver restart would otherwise hold each fresh Writer for 30 s); its own times
// and the record's stamps are real.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "app/main_presenter.h"
#include "platform/clock.h"
#include "platform/thread_locale.h"
#include "support/fake_view.h"
#include "support/test_ledger.h"

namespace {

namespace fs = std::filesystem;
using namespace vx3;  // NOLINT(google-build-using-namespace): a test program's main.

// Real time, but a wait only moves this clock on.
class SkippingClock final : public platform::Clock {
 public:
  std::tm LocalNow() override {
    const std::time_t now = std::chrono::system_clock::to_time_t(WallNow());
    std::tm local{};
    localtime_r(&now, &local);
    return local;
  }
  void SleepFor(std::chrono::milliseconds duration) override { skipped_ += duration.count(); }
  std::chrono::steady_clock::time_point SteadyNow() override {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(skipped_.load());
  }

 private:
  std::atomic<long long> skipped_{0};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s PROGRAM_FOLDER IMAGE CHIPS\n", argv[0]);
    return 64;
  }
  const fs::path programDir = argv[1];
  const fs::path image = argv[2];
  const long chips = std::strtol(argv[3], nullptr, 10);

  platform::StandInThreadLocale locale;
  locale.Set(platform::kLocaleEnglishUs);
  SkippingClock clock;
  app::AppContext context(locale, clock);
  context.ledgerOpener = testing::LedgerOpenerForTests();
  context.state.programPath = programDir / "vx3wt";
  context.state.programDir = programDir;
  context.reporter.SetProgramDir(programDir);
  // The Writer is the station's for its whole run, as the window's; each station has a simulated
  // Writer of its own (VX3WT_SIM_DIR), and so a lock of its own.
  if (!context.writerAccess.Take(programDir, *context.environment)) {
    std::fprintf(stderr, "the Writer is held by another program\n");
    return 4;
  }
  testing::FakeView view;
  view.rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
  app::MainPresenter presenter(context, view);
  presenter.OnInitWindow();

  view.fileAnswers.push_back(image);
  presenter.OnOneKeyLoad();
  presenter.WaitForWriterJobs();
  if (context.state.lastResult != app::CommandResult::Ok) {
    std::fprintf(stderr, "load failed:\n%s\n", view.status.c_str());
    return 2;
  }
  for (long chip = 0; chip < chips; ++chip) {
    view.status.clear();
    presenter.OnAutoProgram();
    presenter.WaitForWriterJobs();
    const app::CommandResult result = context.state.lastResult;
    if (result != app::CommandResult::Ok && result != app::CommandResult::ChipFailed) {
      std::fprintf(stderr, "chip %ld: result %d\n%s\n", chip, static_cast<int>(result), view.status.c_str());
      return 3;
    }
  }
  return 0;
}
