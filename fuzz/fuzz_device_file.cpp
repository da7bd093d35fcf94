// Fuzzes the device description reader: the input is a description file DEV.INC; what follows
// a line "==" in it becomes a second file B.INC that DEV.INC may include.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "image/device_file.h"
#include "image/loaded_image.h"

using namespace vx3::image;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& dir = vx3::fuzz::WorkDir();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find("\n==\n");
  vx3::fuzz::WriteBytes(dir / "USE_INC2" / "DEV.INC", input.substr(0, split));
  vx3::fuzz::WriteBytes(dir / "USE_INC2" / "B.INC", split == std::string_view::npos ? "" : input.substr(split + 4));

  bool incMissing = false;
  std::string text;
  IncLookup(dir, "DEV", kAssemblySection, kKeyInstrument, text, &incMissing);
  vx3::fuzz::Require(text.size() <= kIncValueMaxChars, "a text value stays within 255 characters");
  for (const std::string_view key : {kKeyBodySize, kKeyProgramType, kKeyUserRomSize}) {
    IncNumber(dir, "DEV", kAssemblySection, key, &incMissing);
  }
  for (const std::string_view option : {kOptionSecurity, kOptionSecurity0, kOptionSecurity1}) {
    const std::uint32_t d = IncOption(dir, "DEV", kAssemblySection, kKeyOption, option, kValueEnable, &incMissing);
    const std::uint32_t mask = DescriptorMask(d);
    vx3::fuzz::Require(d <= 0xFFFFFF, "a descriptor has three fields");
    vx3::fuzz::Require(mask == 0 || mask == 1 || mask == 3 || mask == 7 || mask == 15, "an option mask is 0, 1, 3, 7 or 15");
  }
  text.clear();
  IncLookup(dir, "DEV", kAssemblySection, kKeyCommand, text);
  IncLookup(dir, "DEV", kIncludeSection, std::nullopt, text);
  return 0;
}
