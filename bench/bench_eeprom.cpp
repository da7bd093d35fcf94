// The EEPROM job of a load: Program then Verify of an 8 KB image (VX3P1040, 4K words) and of a
// 128 KB one (VX3N2264, 64K words, with its option block), each block answered by the Writer.
//
// Two Writers answer: the simulated Writer of the program folder without latency (the whole
// exchange, the simulated Writer's own work included), and an instant bridge in this file
// that answers every packet at once with status 1 and does nothing else. With the instant
// bridge the time measured is the program's own: building and sending each 64-byte block,
// checking its reply, and the progress step with its window update. Its per_block figure is
// that time per block; the target is at most 20 us, 1% of the 2 ms of a block's USB round trip.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "image/device_file.h"
#include "image/image_reader.h"
#include "link/bridge_library.h"
#include "link/command_codes.h"
#include "link/writer_link.h"
#include "platform/clock.h"
#include "rolling/rolling_settings.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"
#include "writer_ops/eeprom_download.h"
#include "writer_ops/eeprom_header.h"
#include "writer_ops/progress_window.h"

namespace {

namespace fs = std::filesystem;
using namespace vx3;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;

// A Writer that takes every packet and answers every read with status 1 at once.
class InstantBridge final : public link::BridgeLibrary {
 public:
  bool Load(const fs::path&) override { return loaded_ = true; }
  void Unload() override { loaded_ = false; }
  bool IsLoaded() const override { return loaded_; }
  int OpenDevice(int) override { return 1; }
  int CloseDevice(int) override { return 1; }
  int WriteOut(int, unsigned char*, int length) override { return length; }
  int ReadIn(int, unsigned char* data, int length) override {
    std::fill(data, data + length, 0);
    data[0] = link::status::kOk;
    return length;
  }

 private:
  bool loaded_ = false;
};

struct JobSize {
  const char* device;
  std::uint32_t romWords;
  const char* file;
};
constexpr JobSize k8K{"VX3P1040", 0x1000, "IMAGE8K.VX3"};
constexpr JobSize k128K{"VX3N2264", 0x10000, "IMAGE128K.VX3"};

// A program folder of its own (the device files of the kit; the chip history that Verify
// writes goes there), the two images, and the simulated Writer's settings and state.
struct Bench {
  Bench() : reporter(language, clock) {
    testing::SetSimFolder(sim.path());
    sim.WriteFile("VX3USBOV3Wt.ini", "[Writer]\nPresent=1\nLatencyMs=0\n");
    for (const char* folder : {"USE_INC2", "Symbol", "CPY", "language"}) {
      fs::copy(kProgramDir / folder, program.path() / folder, fs::copy_options::recursive);
    }
    fs::create_directories(program.path() / "Writer_Log");
    language.SetFile(program.path() / "language" / "UIEng.ini");
    reporter.SetProgramDir(program.path());
    reporter.AttachView(&view);
    progress.AttachView(&view);
  }

  // The image as the load flow leaves it: the device's sizes, type and options, then ReadImage.
  bool LoadImage(const JobSize& size, image::LoadedImage& image, rolling::RollingSettings& rolling) {
    testing::Vx3HeaderFields header;
    header.chipName = size.device;
    header.formatVersion = 6;
    header.romWordsField = size.romWords;
    header.endAddress = size.romWords * 3 / 4 - 1;
    const std::string body = testing::MakeBody(size.romWords, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FBF}, size.romWords * 3 / 4);
    image.imagePath = testing::WriteFileBytes(program.path() / "images" / size.file, testing::MakeVx3(header, body));
    image.deviceName = size.device;
    const fs::path& dir = program.path();
    image.romWords = static_cast<std::uint32_t>(
        image::IncNumber(dir, image.deviceName, image::kAssemblySection, image::kKeyBodySize));
    image.romBytes = 2 * image.romWords;
    image.otpType = image::IncNumber(dir, image.deviceName, image::kAssemblySection, image::kKeyProgramType);
    if (image.otpType == 5) image.otpType = 4;
    if (image.otpType >= 6 && image.otpType <= 15) image.otpType = 3;
    image.securityOption = image::IncOption(dir, image.deviceName, image::kAssemblySection, image::kKeyOption,
                                            image::kOptionSecurity, image::kValueEnable);
    return image.romWords == size.romWords &&
           image::ReadImage(image, false, rolling, dir, reporter, language);
  }

  testing::TempDir program;
  testing::TempDir sim;
  platform::SystemClock clock;
  text::Language language;
  text::Reporter reporter;
  testing::FakeView view;
  writer_ops::ProgressWindow progress{clock};
};

Bench& Shared() {
  static Bench bench;
  return bench;
}

void RunJob(benchmark::State& state, const JobSize& size, std::unique_ptr<link::BridgeLibrary> bridge) {
  Bench& b = Shared();
  image::LoadedImage image;
  rolling::RollingSettings rolling;
  if (!b.LoadImage(size, image, rolling)) {
    state.SkipWithError(("the image does not load: " + b.view.status).c_str());
    return;
  }
  link::WriterLink link(std::move(bridge), b.reporter, b.language);
  if (!link.UsbConnect(kProgramDir)) {
    state.SkipWithError("no Writer");
    return;
  }
  writer_ops::EepromHeader header;
  const writer_ops::EepromDownload job{{link, b.reporter, b.language}, image, rolling, header, b.progress,
                                       b.program.path(), b.program.path()};
  std::string command;
  image::IncLookup(b.program.path(), image.deviceName, image::kAssemblySection, image::kKeyCommand, command);
  // Every packet after the command is a block with its reply: two header blocks and the body.
  const auto blocks = 2 * (2 + writer_ops::EepromBodyBlocks(image.romBytes, writer_ops::NamesNewCodeOption(command)));

  for (auto _ : state) {
    const bool done = writer_ops::EepromAction(job, writer_ops::kEepromProgram, writer_ops::kEepromJobLabel) &&
                      writer_ops::EepromAction(job, writer_ops::kEepromVerify, writer_ops::kEepromJobLabel);
    b.progress.HideProgress();
    if (!done) {
      state.SkipWithError(("the job failed: " + b.view.status).c_str());
      break;
    }
  }
  state.counters["blocks"] = static_cast<double>(blocks);
  state.counters["per_block"] = benchmark::Counter(
      static_cast<double>(blocks), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

std::unique_ptr<link::BridgeLibrary> SimulatedWriter() {
  // Loaded here from the program folder, so that the job's own program folder needs no DLL.
  auto library = std::make_unique<link::DynamicBridgeLibrary>();
  library->Load(kProgramDir / "DLL" / "VX3USBOV3Wt.DLL");
  return library;
}

void BM_ProgramVerify8K_SimulatedWriter(benchmark::State& state) { RunJob(state, k8K, SimulatedWriter()); }
void BM_ProgramVerify128K_SimulatedWriter(benchmark::State& state) { RunJob(state, k128K, SimulatedWriter()); }
void BM_ProgramVerify8K_ProgramOwnTime(benchmark::State& state) {
  RunJob(state, k8K, std::make_unique<InstantBridge>());
}
void BM_ProgramVerify128K_ProgramOwnTime(benchmark::State& state) {
  RunJob(state, k128K, std::make_unique<InstantBridge>());
}

BENCHMARK(BM_ProgramVerify8K_SimulatedWriter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramVerify128K_SimulatedWriter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramVerify8K_ProgramOwnTime)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProgramVerify128K_ProgramOwnTime)->Unit(benchmark::kMicrosecond);

}  // namespace
