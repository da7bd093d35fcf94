// Loading an image: a 128 KB plain .VX3 read with its checksums and security decision, and the
// description questions a load asks, against the sample device kit of the program folder.
#include <benchmark/benchmark.h>

#include <string>

#include "image/device_file.h"
#include "image/image_checksum.h"
#include "image/image_reader.h"
#include "image/side_files.h"
#include "platform/clock.h"
#include "rolling/rolling_settings.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

namespace {

namespace fs = std::filesystem;
using namespace vx3;
using namespace vx3::image;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;
// The kit's largest part: 64K words, found through two include lines (VX3N2264, VX3N2210,
// VX3_COMMON), with the newer option handling.
constexpr const char* kDevice = "VX3N2264";
constexpr std::uint32_t kRomWords = 0x10000;

// The ten questions of a load about the device's files: the description's eight answers, the
// symbol file and the copy-control file.
void AskTheLoadQuestions(LoadedImage& image, text::Reporter& reporter) {
  std::string instrument;
  IncLookup(kProgramDir, image.deviceName, kAssemblySection, kKeyInstrument, instrument, &image.incMissing);
  ReadSymbolFile(image, instrument, kProgramDir, reporter);
  image.romWords = static_cast<std::uint32_t>(IncNumber(kProgramDir, image.deviceName, kAssemblySection, kKeyBodySize));
  image.romBytes = 2 * image.romWords;
  image.otpType = IncNumber(kProgramDir, image.deviceName, kAssemblySection, kKeyProgramType);
  image.securityOption =
      IncOption(kProgramDir, image.deviceName, kAssemblySection, kKeyOption, kOptionSecurity, kValueEnable);
  image.security0Option =
      IncOption(kProgramDir, image.deviceName, kAssemblySection, kKeyOption, kOptionSecurity0, kValueEnable);
  image.security1Option =
      IncOption(kProgramDir, image.deviceName, kAssemblySection, kKeyOption, kOptionSecurity1, kValueEnable);
  std::string command;
  IncLookup(kProgramDir, image.deviceName, kAssemblySection, kKeyCommand, command);
  benchmark::DoNotOptimize(IncNumber(kProgramDir, image.deviceName, kAssemblySection, kKeyUserRomSize));
  ReadCopyControl(image, kProgramDir);
}

struct Bench {
  Bench() : reporter(language, clock) {
    // No view and no log folder: the status and log lines are formed but go nowhere.
    reporter.SetProgramDir(work.path());
    testing::Vx3HeaderFields header;
    header.chipName = kDevice;
    header.formatVersion = 6;
    header.romWordsField = kRomWords;
    header.endAddress = 0xBFFF;
    imagePath = testing::WriteFileBytes(work.path() / "IMAGE128K.VX3",
                                        testing::MakeVx3(header, testing::MakeBody(kRomWords, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FBF}, 0xC000)));
  }
  testing::TempDir work;
  platform::SystemClock clock;
  text::Language language{kProgramDir / "language" / "UIEng.ini"};
  text::Reporter reporter;
  fs::path imagePath;
};

Bench& Shared() {
  static Bench bench;
  return bench;
}

void BM_DescriptionQuestions(benchmark::State& state) {
  Bench& b = Shared();
  for (auto _ : state) {
    LoadedImage image;
    image.deviceName = kDevice;
    AskTheLoadQuestions(image, b.reporter);
    if (image.romWords != kRomWords) state.SkipWithError("the kit's VX3N2264 is not in the program folder");
    benchmark::DoNotOptimize(image);
  }
}
BENCHMARK(BM_DescriptionQuestions)->Unit(benchmark::kMicrosecond);

void BM_ReadImagePlain128K(benchmark::State& state) {
  Bench& b = Shared();
  LoadedImage image;
  image.deviceName = kDevice;
  AskTheLoadQuestions(image, b.reporter);
  image.imagePath = b.imagePath;
  rolling::RollingSettings rolling;
  for (auto _ : state) {
    if (!ReadImage(image, false, rolling, kProgramDir, b.reporter, b.language)) {
      state.SkipWithError("the image did not load");
      break;
    }
    benchmark::DoNotOptimize(image.checksum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * kRomWords);
}
BENCHMARK(BM_ReadImagePlain128K)->Unit(benchmark::kMicrosecond);

// The whole of a load's file work: the questions, then the image.
void BM_LoadDeviceAndImage128K(benchmark::State& state) {
  Bench& b = Shared();
  rolling::RollingSettings rolling;
  for (auto _ : state) {
    LoadedImage image;
    image.deviceName = kDevice;
    AskTheLoadQuestions(image, b.reporter);
    image.imagePath = b.imagePath;
    if (!ReadImage(image, false, rolling, kProgramDir, b.reporter, b.language)) {
      state.SkipWithError("the image did not load");
      break;
    }
    benchmark::DoNotOptimize(image.checksum);
  }
}
BENCHMARK(BM_LoadDeviceAndImage128K)->Unit(benchmark::kMicrosecond);

// The checksums alone over a body in memory, for comparison with the file read.
void BM_PlainChecksums128K(benchmark::State& state) {
  const std::string text = testing::MakeBody(kRomWords, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FBF});
  const std::vector<std::uint8_t> body(text.begin(), text.end());
  const ChecksumRules rules{3, true, 0xFF00, 0x100, body.size()};
  for (auto _ : state) benchmark::DoNotOptimize(PlainChecksums(body, rules));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(body.size()));
}
BENCHMARK(BM_PlainChecksums128K)->Unit(benchmark::kMicrosecond);

}  // namespace
