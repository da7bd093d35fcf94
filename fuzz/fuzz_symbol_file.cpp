// Fuzzes the symbol file reader: the input is the symbol file; the layout it tells must be the
// one the records say (the first "NOP" in any case or "..." at a record's start decides).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "image/side_files.h"
#include "platform/clock.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

using namespace vx3;

namespace {

bool ExpectedWrapped(std::string_view bytes) {
  for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
    const std::string_view m = bytes.substr(at, 3);
    if (m == "...") return true;
    if ((m[0] | 0x20) == 'n' && (m[1] | 0x20) == 'o' && (m[2] | 0x20) == 'p') return false;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::SystemClock clock;
  static text::Language language;
  static text::Reporter reporter(language, clock);
  const auto& dir = fuzz::WorkDir();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzz::WriteBytes(dir / "Symbol" / "SYM.BOL", bytes);
  image::LoadedImage image;
  image.deviceName = "VXFUZZ";
  fuzz::Require(image::ReadSymbolFile(image, "SYM", dir, reporter), "a symbol file that is there is read");
  fuzz::Require(image.wrappedLayout == ExpectedWrapped(bytes), "the layout follows the first deciding record");
  fuzz::Require(!image.deviceFilesMissing, "no device file is missing");
  return 0;
}
