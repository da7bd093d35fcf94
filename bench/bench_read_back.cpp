// Reading a 64K-word chip back and listing it: the whole Read command against the simulated
// Writer of the program folder (no latency) into a scripted window, and its two halves apart,
// the read into the file and the 8,192-line listing into the status box. Target: under 100 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "app/read_command.h"
#include "link/command_codes.h"
#include "platform/clock.h"
#include "platform/thread_locale.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "writer_ops/read_back.h"

namespace {

namespace fs = std::filesystem;
using namespace vx3;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;
// The kit's largest part: 64K words, 128 KB, 8,192 chunks and listing rows.
constexpr const char* kDevice = "VX3N2264";
constexpr std::uint32_t kRomBytes = 0x20000;
constexpr std::int64_t kRows = kRomBytes / 16;

// The simulated Writer's settings and state in a folder of their own, with a programmed chip
// of the pattern in its socket; the image (and so the read-back file) in another.
struct Bench {
  Bench() : context(locale, clock) {
    testing::SetSimFolder(sim.path());
    std::string chip(kRomBytes, '\0');
    for (std::size_t i = 0; i < chip.size(); ++i) chip[i] = static_cast<char>(testing::PatternByte(i));
    testing::WriteFileBytes(sim.path() / "chip.bin", chip);
    sim.WriteFile("VX3USBOV3Wt.ini", "[Writer]\nPresent=1\nLatencyMs=0\n[Chip]\nInSocket=1\nContent=file:chip.bin\n");

    locale.Set(platform::kLocaleEnglishUs);
    context.state.programDir = kProgramDir;
    context.language.SetFile(kProgramDir / "language" / "UIEng.ini");
    context.reporter.SetProgramDir(work.path());
    context.reporter.AttachView(&view);
    image::LoadedImage& image = context.image;
    image.deviceName = kDevice;
    image.imagePath = work.path() / "IMAGE128K.VX3";
    image.romWords = kRomBytes / 2;
    image.romBytes = kRomBytes;
  }

  testing::TempDir sim;
  testing::TempDir work;
  platform::StandInThreadLocale locale;
  platform::SystemClock clock;
  app::AppContext context;
  testing::FakeView view;
};

Bench& Shared() {
  static Bench bench;
  return bench;
}

void CountRows(benchmark::State& state) {
  state.counters["rows"] = static_cast<double>(kRows);
  state.counters["per_row"] = benchmark::Counter(
      static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The Read button: connect, chip check, 8,192 requests and replies, the file, the checksum and
// the listing of 8,192 lines.
void BM_ReadCommand64KWords(benchmark::State& state) {
  Bench& b = Shared();
  for (auto _ : state) {
    app::ReadCommand(b.context, b.view);
    benchmark::DoNotOptimize(b.view.status.data());
  }
  // The listing's head and one line per row, and no error line.
  const auto lines = std::count(b.view.status.begin(), b.view.status.end(), '\n');
  if (lines != kRows + 1 || b.view.status.find("Err: ") != std::string::npos) state.SkipWithError("the read failed");
  CountRows(state);
}
BENCHMARK(BM_ReadCommand64KWords)->Unit(benchmark::kMillisecond);

// The read alone: 8,192 chunks from the simulated Writer into the read-back file.
void BM_ReadToFile64KWords(benchmark::State& state) {
  Bench& b = Shared();
  writer_ops::ReadBackState readBack;
  writer_ops::ReadProgressLine progress(
      b.clock, [&b](std::string_view text) { b.view.SetControlText(app::ctl::kStatusValue, text); });
  b.context.link.ClearConnected();
  if (!b.context.link.UsbConnect(kProgramDir)) state.SkipWithError("no simulated Writer in the program folder");
  for (auto _ : state) {
    if (!writer_ops::ReadToFile({b.context.writer(), kProgramDir, &progress, kProgramDir}, b.context.image, readBack,
                                link::command::kReadChip)) {
      state.SkipWithError("the read failed");
      break;
    }
  }
  CountRows(state);
}
BENCHMARK(BM_ReadToFile64KWords)->Unit(benchmark::kMillisecond);

// The listing alone: 8,192 lines of the read-back file into the status box.
void BM_Listing8192Lines(benchmark::State& state) {
  Bench& b = Shared();
  const fs::path file = b.work.path() / "LISTING.BBB";
  std::string bytes(kRomBytes, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(testing::PatternByte(i));
  testing::WriteFileBytes(file, bytes);
  for (auto _ : state) {
    b.view.SetStatusText("");
    if (writer_ops::ListReadBackFile(b.context.reporter, file, kRomBytes) != static_cast<std::size_t>(kRows)) {
      state.SkipWithError("short listing");
      break;
    }
  }
  CountRows(state);
}
BENCHMARK(BM_Listing8192Lines)->Unit(benchmark::kMillisecond);

}  // namespace
