// Fuzzes the program against a hostile Writer: a bridge whose every reply (status bytes,
// message texts and their arguments, query words, read data, the header read-back) comes from
// the input. Byte 0 chooses the operation, byte 1 the transfer that fails (0: none), byte 2 a
// parameter; the rest is the stream of 16-byte replies, and the Writer falls silent (a failed
// read) when it runs out. The program must end every operation without crash, hang or leak,
// and never send a chip action's packet more often than its round limit allows.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "image/loaded_image.h"
#include "image/side_files.h"
#include "link/bridge_library.h"
#include "link/command_codes.h"
#include "link/writer_link.h"
#include "platform/clock.h"
#include "rolling/rolling_settings.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"
#include "writer_ops/chip_actions.h"
#include "writer_ops/eeprom_download.h"
#include "writer_ops/eeprom_header.h"
#include "writer_ops/firmware_update.h"
#include "writer_ops/progress_window.h"
#include "writer_ops/read_back.h"

using namespace vx3;

namespace {

constexpr std::uint32_t kRomBytes = 256;  // a small ROM, so that whole jobs and reads fit an input
constexpr std::array<std::uint8_t, 6> kChipActions = {0x81, 0x82, 0x83, 0x84, 0x85, 0xC1};

// The Writer of this input.
class HostileBridge final : public link::BridgeLibrary {
 public:
  void Script(std::span<const std::uint8_t> replies, int failAt) {
    replies_ = replies;
    failAt_ = failAt;
    transfers_ = 0;
    writes = 0;
  }

  bool Load(const std::filesystem::path&) override { return loaded_ = true; }
  void Unload() override { loaded_ = false; }
  bool IsLoaded() const override { return loaded_; }
  int OpenDevice(int) override { return 1; }
  int CloseDevice(int) override { return 1; }
  int WriteOut(int, unsigned char*, int length) override {
    ++writes;
    return ++transfers_ == failAt_ ? 0 : length;
  }
  int ReadIn(int, unsigned char* data, int length) override {
    if (++transfers_ == failAt_ || length < 0 || replies_.size() < static_cast<std::size_t>(length)) return 0;
    std::copy_n(replies_.begin(), length, data);
    replies_ = replies_.subspan(static_cast<std::size_t>(length));
    return length;
  }

  std::size_t writes = 0;

 private:
  bool loaded_ = false;
  std::span<const std::uint8_t> replies_;
  int failAt_ = 0;
  int transfers_ = 0;
};

// Waits take no time: a 30-second restart wait must not slow the run down. Every look at the
// monotonic time finds a second gone, so a Writer that never ends an action meets the time limit
// within a few rounds.
class InstantClock final : public platform::Clock {
 public:
  std::chrono::steady_clock::time_point SteadyNow() override { return steady_ += std::chrono::seconds(1); }
  std::tm LocalNow() override {
    std::tm now{};
    now.tm_year = 2031 - 1900;
    now.tm_mday = 1;
    return now;
  }
  void SleepFor(std::chrono::milliseconds) override {}

 private:
  std::chrono::steady_clock::time_point steady_{};
};

// The program folder: a raw image of the small ROM and the two update files.
void PrepareProgramFolder(const std::filesystem::path& dir) {
  std::string image(kRomBytes, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
  fuzz::WriteBytes(dir / "image.BIN", image);
  std::string iap(0xE00, '\x11');
  iap[0xDF0] = '\x01';
  iap[0xDF1] = '\x02';
  fuzz::WriteBytes(dir / "USE_IAP" / "FLASH_OV.IAP", iap);
  std::string driver(0x1010, '\x22');
  driver[0x1000] = '\x01';
  driver[0x1001] = '\x05';
  driver[0x1002] = '\x26';
  driver[0x1003] = '\x03';
  driver[0x1004] = '\xA1';
  driver[0x1005] = '\x45';
  fuzz::WriteBytes(dir / "USE_DRV" / "VXFUZZ.DRV", driver);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static InstantClock clock;
  static text::Language language;  // no language file: the built-in texts
  static text::Reporter reporter(language, clock);
  static const std::filesystem::path& dir = []() -> const std::filesystem::path& {
    PrepareProgramFolder(fuzz::WorkDir());
    reporter.SetProgramDir(fuzz::WorkDir());  // no log folder there: entries are formed, not kept
    return fuzz::WorkDir();
  }();
  if (size < 3) return 0;
  const std::uint8_t operation = data[0];
  const int failAt = data[1];
  const std::uint8_t parameter = data[2];

  auto owned = std::make_unique<HostileBridge>();
  HostileBridge& bridge = *owned;
  link::WriterLink link(std::move(owned), reporter, language);
  bridge.Script(std::span<const std::uint8_t>(data + 3, size - 3), failAt);
  if (!link.UsbConnect(dir)) return 0;
  const writer_ops::WriterServices writer{link, reporter, language, &clock};
  writer_ops::ProgressWindow progress(clock);

  image::LoadedImage image;
  image.imagePath = dir / "image.BIN";
  image.deviceName = "VXFUZZ";
  image.romWords = kRomBytes / 2;
  image.romBytes = kRomBytes;
  image.bodyBytes = kRomBytes;
  image.checksum = 0x1234;

  switch (operation % 6) {
    case 0: {
      const std::uint8_t action = kChipActions[parameter % kChipActions.size()];
      writer_ops::ChipAction(writer, action, {image.romBytes, image.checksum});
      fuzz::Require(bridge.writes <= writer_ops::kChipActionTimeLimit.count(), "a chip action ends at its time limit");
      break;
    }
    case 1: {
      writer_ops::EepromHeader header;
      writer_ops::ReadBackHeader(writer, link::command::kReadHeader, header);
      break;
    }
    case 2: {
      const rolling::RollingSettings rolling;
      writer_ops::EepromHeader header;
      const writer_ops::EepromDownload job{writer, image, rolling, header, progress, dir, dir};
      const std::uint8_t action = (parameter & 1) != 0 ? writer_ops::kEepromVerify : writer_ops::kEepromProgram;
      writer_ops::EepromAction(job, action, writer_ops::kEepromJobLabel);
      fuzz::Require(bridge.writes <= 1 + 2 + kRomBytes / 64 + 1, "a job sends no block more than it has");
      break;
    }
    case 3: {
      writer_ops::FirmwareState state;
      const writer_ops::FirmwareUpdate update{writer, progress, clock, state, dir, image.deviceName, 0x5A};
      std::uint16_t version = 0;
      std::uint16_t date = 0;
      std::uint8_t status = 0;
      if ((parameter & 1) != 0) {
        writer_ops::QueryWriter(update, link::command::kStatusQuery, version, &date) &&
            writer_ops::QueryWriter(update, link::command::kVersionQuery, version, &date) &&
            writer_ops::QueryIapStatus(update, status);
      } else {
        writer_ops::UpdateIap(update) && writer_ops::UpdateDriver(update);
      }
      break;
    }
    case 4:
    case 5: {
      writer_ops::ReadBackState state;
      const writer_ops::ReadBackServices services{writer, dir, nullptr, dir};
      const std::uint8_t code = operation % 6 == 4 ? link::command::kReadChip : link::command::kReadChipForLoadOtp;
      writer_ops::ReadToFile(services, image, state, code);
      writer_ops::ListReadBackFile(reporter, image::ReadBackFileName(image, dir, state.loadOtpRead), kRomBytes);
      break;
    }
  }
  return 0;
}
