// The 8,192-line listing of a 64K-word chip through the Qt main window's status box, and the
// whole Read command into that window against the simulated Writer of the program folder (no
// latency). Offscreen: the main below sets QT_QPA_PLATFORM=offscreen unless it is set.
// Target: under 100 ms each, where appending and painting line by line would cost seconds.
#include <QApplication>
#include <QCoreApplication>
#include <QtGlobal>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app_context.h"
#include "app/read_command.h"
#include "gui/main_window.h"
#include "platform/clock.h"
#include "platform/thread_locale.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "writer_ops/read_back.h"
#include "qt_bench_main.h"

namespace {

namespace fs = std::filesystem;
using namespace vx3;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;
constexpr const char* kDevice = "VX3N2264";  // 64K words
constexpr std::uint32_t kRomBytes = 0x20000;
constexpr std::int64_t kRows = kRomBytes / 16;

std::string ChipBytes() {
  std::string chip(kRomBytes, '\0');
  for (std::size_t i = 0; i < chip.size(); ++i) chip[i] = static_cast<char>(testing::PatternByte(i));
  return chip;
}

// The window shown as the operator sees it, reporting into its status box; the simulated
// Writer's settings in a folder of their own with a programmed chip in the socket.
struct Bench {
  Bench() : context(locale, clock) {
    testing::SetSimFolder(sim.path());
    testing::WriteFileBytes(sim.path() / "chip.bin", ChipBytes());
    sim.WriteFile("VX3USBOV3Wt.ini", "[Writer]\nPresent=1\nLatencyMs=0\n[Chip]\nInSocket=1\nContent=file:chip.bin\n");
    listingFile = testing::WriteFileBytes(work.path() / "LISTING.BBB", ChipBytes());

    locale.Set(platform::kLocaleEnglishUs);
    context.state.programDir = kProgramDir;
    context.language.SetFile(kProgramDir / "language" / "UIEng.ini");
    context.reporter.SetProgramDir(work.path());
    context.reporter.AttachView(&window);
    image::LoadedImage& image = context.image;
    image.deviceName = kDevice;
    image.imagePath = work.path() / "IMAGE128K.VX3";
    image.romWords = kRomBytes / 2;
    image.romBytes = kRomBytes;
    window.show();
    QCoreApplication::processEvents();
  }

  testing::TempDir sim;
  testing::TempDir work;
  fs::path listingFile;
  platform::StandInThreadLocale locale;
  platform::SystemClock clock;
  app::AppContext context;
  gui::MainWindow window;
};

// Made at the first benchmark and gone before the application object: no widget may outlive it.
std::unique_ptr<Bench>& Holder() {
  static std::unique_ptr<Bench> bench;
  return bench;
}

Bench& Shared() {
  if (!Holder()) Holder() = std::make_unique<Bench>();
  return *Holder();
}

// The status box holds the listing's head and every row, and no error line.
void CheckStatusBox(benchmark::State& state, Bench& b) {
  const std::string text = b.window.StatusText();
  const auto lines = std::count(text.begin(), text.end(), '\n');
  if (lines < kRows || text.find("Err: ") != std::string::npos) state.SkipWithError("the listing is not all there");
  state.counters["rows"] = static_cast<double>(kRows);
  state.counters["per_row"] = benchmark::Counter(
      static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The listing into the status box, until the last line has been inserted and painted.
void BM_ListingIntoQtStatusBox(benchmark::State& state) {
  Bench& b = Shared();
  for (auto _ : state) {
    b.window.SetStatusText("");
    writer_ops::ListReadBackFile(b.context.reporter, b.listingFile, kRomBytes);
    QCoreApplication::processEvents();
  }
  CheckStatusBox(state, b);
}
BENCHMARK(BM_ListingIntoQtStatusBox)->Unit(benchmark::kMillisecond);

// The Read button into the window: connect, chip check, 8,192 chunks with the progress line,
// the checksum fields and the listing, until the last line has been painted.
void BM_ReadCommandIntoQtWindow(benchmark::State& state) {
  Bench& b = Shared();
  for (auto _ : state) {
    app::ReadCommand(b.context, b.window);
    QCoreApplication::processEvents();
  }
  CheckStatusBox(state, b);
}
BENCHMARK(BM_ReadCommandIntoQtWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return vx3::bench::RunQtBenchmarks(argc, argv, [] { Holder().reset(); });
}
