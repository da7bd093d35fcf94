// Fuzzes the rolling code's handling of what files and the Writer send: a rolling INI loaded
// for an ordinary chip or the byte-per-word model, the record built from what it gave, and a
// header read back from the Writer. Byte 0 of the input chooses the device, the ROM size and
// whether the zero-step box may show; bytes 1 to 128 are the Writer's header; the rest is the
// INI. The record must never reach the header's verify byte, and an unused code must always
// send the record of no INI.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz_support.h"
#include "platform/clock.h"
#include "platform/command_processor.h"
#include "rolling/rolling_record.h"
#include "rolling/rolling_settings.h"
#include "rolling/rolling_value.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

using namespace vx3;

namespace {

constexpr std::array<std::uint32_t, 4> kRomWords = {0x10, 0x400, 0x800, 0x10000};
constexpr std::size_t kHeaderBytes = 128;

// The generator never runs while fuzzing: an INI that names one gets no new Count.
class NoCommands final : public platform::CommandProcessor {
 public:
  int Run(std::string_view) override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::SystemClock clock;
  static text::Language language;  // no language file: the built-in texts
  static text::Reporter reporter(language, clock);
  static NoCommands commands;
  if (size < 1 + kHeaderBytes) return 0;
  const std::uint8_t mode = data[0];
  const bool byteWords = (mode & 1) != 0;
  const std::string_view device = byteWords ? rolling::kByteWordDevice : "VX3P1020";
  const std::span<const std::uint8_t> header(data + 1, kHeaderBytes);
  const std::string_view ini(reinterpret_cast<const char*>(data + 1 + kHeaderBytes), size - 1 - kHeaderBytes);

  rolling::RollingSettings settings;
  settings.iniPath = fuzz::WorkDir() / "CODE.INI";
  settings.confirmZeroStep = (mode & 2) != 0;
  fuzz::WriteBytes(settings.iniPath, ini);
  rolling::LoadRollingSettings(settings, kRomWords[(mode >> 2) & 3], (mode & 16) != 0, device,
                               {reporter, language, commands});

  const auto record = rolling::BuildRollingRecord(settings, byteWords);
  fuzz::Require(record.size() <= rolling::kRollingRecordMaxBytes, "the record ends before the verify byte");
  if (settings.method == rolling::RollingMethod::NotUsed) {
    fuzz::Require(record.size() == rolling::kRollingRecordOffBytes &&
                      std::all_of(record.begin(), record.end(), [](std::uint8_t b) { return b == 0; }),
                  "an unused code sends the record of no INI");
  }

  rolling::ParseRollingRecord(header, settings, byteWords);
  fuzz::Require(settings.wordLength <= rolling::kRollingMaxWords, "the read-back length fits the entries");
  const std::string text = rolling::FormatRollingIniValue(settings.value, settings.wordLength, true, byteWords);
  fuzz::Require(text.size() == 4 * settings.wordLength, "four digits per entry");
  rolling::RollingWords again{};
  rolling::ParseRollingValue(byteWords ? rolling::ReduceByteWordText(text, settings.wordLength) : text,
                             settings.wordLength, true, byteWords, again);
  return 0;
}
