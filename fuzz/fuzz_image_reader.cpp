// Fuzzes the image reader in both layouts. The first four bytes of the input choose the read
// (layout, extension, BIN-only device, programming type, option descriptors, device and ROM
// size); the rest is the image file. A successful read must agree with the checksums and the
// security decision taken again over the body in memory.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "image/image_checksum.h"
#include "image/image_reader.h"
#include "platform/clock.h"
#include "rolling/rolling_settings.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

using namespace vx3;
using namespace vx3::image;

namespace {

constexpr std::array<const char*, 8> kDevices = {"VXTEST", "VXORCA", "VXROBIN", "VXHERON",
                                                 "VXEGRET", "VXNEW", "VXNEW0", "vxtest"};
constexpr std::array<std::uint32_t, 4> kRomWords = {0x10, 0x40, 0x200, 0x800};
constexpr std::array<std::uint32_t, 4> kSecurity = {0, 0x103, 0x020306, 0x0001FF};
constexpr std::array<std::uint32_t, 4> kSecurity0 = {0, 0x101, 0x10B, 0x3F};
constexpr std::array<std::uint32_t, 4> kSecurity1 = {0, 0x010111, 0x102, 0x0F0F40};

void PrepareProgramFolder(const std::filesystem::path& dir) {
  fuzz::WriteBytes(dir / "USE_INC2" / "VXNEW.INC",
                   ".ASSEMBLY COMMAND BLANK_CHECK,NEW_CODEOPTION\n.ASSEMBLY USER_ROM_SIZE 30h\n");
  fuzz::WriteBytes(dir / "USE_INC2" / "VXNEW0.INC", ".ASSEMBLY COMMAND X NEW_CODEOPTION\n.ASSEMBLY USER_ROM_SIZE 0\n");
  fuzz::WriteBytes(dir / "CPY" / "VXTEST.CPY", "[Copy OTP]\nLoad_OTP=1\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::SystemClock clock;
  static text::Language language;  // no language file: the built-in texts
  static text::Reporter reporter(language, clock);
  static const std::filesystem::path& dir = [] () -> const std::filesystem::path& {
    PrepareProgramFolder(fuzz::WorkDir());
    reporter.SetProgramDir(fuzz::WorkDir());  // no log folder there: entries are formed, not kept
    return fuzz::WorkDir();
  }();
  if (size < 4) return 0;
  const std::uint8_t mode = data[0];
  const bool wrapped = (mode & 1) != 0;
  const bool vx3 = (mode & 2) != 0;
  const bool binOnly = (mode & 4) != 0;
  const char* name = vx3 ? ((mode & 8) != 0 ? "image.vx3" : "image.VX3") : "image.BIN";
  const std::string_view file(reinterpret_cast<const char*>(data + 4), size - 4);

  LoadedImage image;
  image.deviceName = kDevices[data[3] & 7];
  image.romWords = kRomWords[(data[3] >> 3) & 3];
  image.romBytes = 2 * image.romWords;
  image.otpType = static_cast<std::int32_t>(data[1] % 18) - 1;
  image.securityOption = kSecurity[data[2] & 3];
  image.security0Option = kSecurity0[(data[2] >> 2) & 3];
  image.security1Option = kSecurity1[(data[2] >> 4) & 3];
  image.wrappedLayout = wrapped;
  image.imagePath = dir / name;
  fuzz::WriteBytes(image.imagePath, file);
  rolling::RollingSettings rolling;
  if (!ReadImage(image, binOnly, rolling, dir, reporter, language)) return 0;

  fuzz::Require(image.hasHeader == vx3, "the header follows the extension");
  std::span<const std::uint8_t> body;
  if (wrapped) {
    fuzz::Require(image.imageBuffer.size() + 48 == file.size(), "the buffer is the file less prefix and suffix");
    body = std::span<const std::uint8_t>(image.imageBuffer).subspan(256);
  } else {
    body = std::span<const std::uint8_t>(data + 4, size - 4).subspan(vx3 ? 256 : 0);
  }
  fuzz::Require(body.size() >= kSecurityTailBytes, "a loaded body holds the option words");
  fuzz::Require(image.bodyBytes == body.size(), "the body size is the file's");
  const Checksums again = wrapped ? WrappedChecksums(body)
                                  : PlainChecksums(body, ChecksumRules{image.otpType, image.newCodeOption,
                                                                       image.userRomWords, image.reservedWords,
                                                                       body.size()});
  fuzz::Require(again.checksum == image.checksum, "the streamed checksum is the body's");
  fuzz::Require(again.securedChecksum == image.securedChecksum, "the streamed secured checksum is the body's");
  LoadedImage copy = image;
  fuzz::Require(DecideSecurity(copy, body.last<kSecurityTailBytes>()) == image.securityEnabled,
                "security is decided on the body's last 32 bytes");
  return 0;
}
