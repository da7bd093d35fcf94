// The window's event loop while the worker prepares the Writer after a load: firmware check,
// version, and Program + Verify of a 128 KB EEPROM job (VX3N2264, 64K words) into the simulated
// Writer of the program folder, once without latency and once with 2 ms before every transfer.
// Also Auto Program of a chip that takes the Writer 10 seconds, started as the button does.
// Measured: the longest time the window's thread was kept from its event loop (every status
// line, progress step and button change of the worker is carried to that thread and waited
// for). Target: no stall over 16 ms, one frame at 60 Hz. Offscreen unless QT_QPA_PLATFORM says
// otherwise.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtGlobal>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app_context.h"
#include "app/main_presenter.h"
#include "app/worker_thread.h"
#include "gui/main_window.h"
#include "image/device_file.h"
#include "image/image_reader.h"
#include "platform/thread_locale.h"
#include "support/fake_clock.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "qt_bench_main.h"

namespace {

namespace fs = std::filesystem;
using namespace vx3;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;
constexpr const char* kDevice = "VX3N2264";
constexpr std::uint32_t kRomWords = 0x10000;

// The window with a 128 KB image loaded as the load flow leaves it, in a program folder of its
// own (the chip history that Verify writes goes there) with the Writer's firmware files.
struct Bench {
  Bench() : context(locale, clock) {
    testing::SetSimFolder(sim.path());
    for (const char* folder : {"USE_INC2", "Symbol", "CPY", "language", "USE_IAP", "USE_DRV", "DLL"}) {
      fs::copy(kProgramDir / folder, program.path() / folder, fs::copy_options::recursive);
    }
    fs::create_directories(program.path() / "Writer_Log");
    locale.Set(platform::kLocaleEnglishUs);
    context.state.programDir = program.path();
    context.language.SetFile(program.path() / "language" / "UIEng.ini");
    context.reporter.SetProgramDir(program.path());
    context.reporter.AttachView(&window);
    context.progress.AttachView(&window);
    window.show();
    QCoreApplication::processEvents();
  }

  bool LoadImage() {
    testing::Vx3HeaderFields header;
    header.chipName = kDevice;
    header.formatVersion = 6;
    header.romWordsField = kRomWords;
    header.endAddress = kRomWords * 3 / 4 - 1;
    const std::string body = testing::MakeBody(kRomWords, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FBF}, kRomWords * 3 / 4);
    image::LoadedImage& image = context.image;
    const fs::path& dir = program.path();
    image.imagePath = testing::WriteFileBytes(dir / "images" / "IMAGE128K.VX3", testing::MakeVx3(header, body));
    image.deviceName = kDevice;
    image.romWords = static_cast<std::uint32_t>(
        image::IncNumber(dir, kDevice, image::kAssemblySection, image::kKeyBodySize));
    image.romBytes = 2 * image.romWords;
    image.otpType = image::IncNumber(dir, kDevice, image::kAssemblySection, image::kKeyProgramType);
    if (image.otpType >= 6 && image.otpType <= 15) image.otpType = 3;
    return image.romWords == kRomWords &&
           image::ReadImage(image, false, context.rolling, dir, context.reporter, context.language);
  }

  testing::TempDir sim;
  testing::TempDir program;
  platform::StandInThreadLocale locale;
  // The driver's 30-second restart wait after an update is skipped; transfers take real time.
  testing::FakeClock clock;
  app::AppContext context;
  gui::MainWindow window;
};

std::unique_ptr<Bench>& Holder() {
  static std::unique_ptr<Bench> bench;
  return bench;
}

void RunWorker(benchmark::State& state, int latencyMs) {
  if (!Holder()) Holder() = std::make_unique<Bench>();
  Bench& b = *Holder();
  b.sim.WriteFile("VX3USBOV3Wt.ini", "[Writer]\nPresent=1\nLatencyMs=" + std::to_string(latencyMs) + "\n");
  if (!b.LoadImage()) {
    state.SkipWithError("the image does not load");
    return;
  }
  b.context.link.ClearConnected();
  if (!b.context.link.UsbConnect(b.program.path())) {
    state.SkipWithError("no Writer");
    return;
  }
  app::WorkerThread worker(b.context, b.window);
  qint64 longest = 0;
  for (auto _ : state) {
    b.window.SetStatusText("");
    worker.Start();
    QElapsedTimer sinceLoop;
    sinceLoop.start();
    while (worker.Running()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      longest = std::max(longest, sinceLoop.nsecsElapsed());
      sinceLoop.restart();
    }
    worker.Join();
    QCoreApplication::processEvents();
  }
  const std::string status = b.window.StatusText();
  if (status.find("EEPROM verify O.K") == std::string::npos) state.SkipWithError(("the job failed: " + status).c_str());
  state.counters["longest_stall_ms"] = static_cast<double>(longest) / 1e6;
}

// Auto Program of a chip that takes the Writer 10 seconds (blank check, program and verify of the
// 128 KB job at the simulated Writer's pace), started as the window's button starts it: the
// command runs on its own thread while the window's thread only paints, shows the job's time
// and takes (and drops) clicks.
void BM_AutoProgram10s(benchmark::State& state) {
  if (!Holder()) Holder() = std::make_unique<Bench>();
  Bench& b = *Holder();
  b.sim.WriteFile("VX3USBOV3Wt.ini", "[Writer]\nPresent=1\n");
  if (!b.LoadImage()) {
    state.SkipWithError("the image does not load");
    return;
  }
  app::MainPresenter presenter(b.context, b.window);
  b.window.ConnectPresenter(presenter);
  b.context.link.ClearConnected();
  if (!b.context.link.UsbConnect(b.program.path())) {
    state.SkipWithError("no Writer");
    return;
  }
  // The job goes into the Writer first, as after a load.
  app::WorkerThread worker(b.context, b.window);
  worker.Run();
  // 128 KB: 10 s over blank check, program and verify.
  b.sim.WriteFile("VX3USBOV3Wt.ini",
                  "[Writer]\nPresent=1\n[Timing]\nBlankCheckMsPerKB=8\nProgramMsPerKB=50\nVerifyMsPerKB=20\n");
  qint64 longest = 0;
  for (auto _ : state) {
    presenter.OnAutoProgram();
    QElapsedTimer sinceLoop;
    sinceLoop.start();
    while (presenter.WriterJobActive() || b.window.ShowsWriterJob()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      longest = std::max(longest, sinceLoop.nsecsElapsed());
      sinceLoop.restart();
    }
  }
  const std::string status = b.window.StatusText();
  if (status.find("Err: ") != std::string::npos) state.SkipWithError(("the chip failed: " + status).c_str());
  state.counters["longest_stall_ms"] = static_cast<double>(longest) / 1e6;
}

void BM_WorkerJob128K_NoLatency(benchmark::State& state) { RunWorker(state, 0); }
void BM_WorkerJob128K_Latency2ms(benchmark::State& state) { RunWorker(state, 2); }

BENCHMARK(BM_WorkerJob128K_NoLatency)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WorkerJob128K_Latency2ms)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AutoProgram10s)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  return vx3::bench::RunQtBenchmarks(argc, argv, [] { Holder().reset(); });
}
