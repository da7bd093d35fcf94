// Makes the ready sample images of the program folder's "samples" folder with the image
// builder: one or more images for several devices of the sample kit, in both layouts.
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/image_builder.h"

namespace {

namespace fs = std::filesystem;
using vx3::testing::MakeBody;
using vx3::testing::MakeVx3;
using vx3::testing::MakeHeader;
using vx3::testing::MakeWrapped;
using vx3::testing::Vx3HeaderFields;
using vx3::testing::WriteFileBytes;
using vx3::testing::WriteRollingIni;

// Option words as the tool chain leaves them: unused bits 1, the protect bit of the kit's
// type-1 parts (bit 11 of the last word) 1 = not protected.
constexpr std::array<std::uint16_t, 4> kOpenOptions = {0x3FFF, 0x3FFF, 0x3FF0, 0x3FF7};
constexpr std::array<std::uint16_t, 4> kProtectedOptions = {0x3FFF, 0x3FFF, 0x3FF0, 0x37F7};

Vx3HeaderFields Header(const char* chip, std::uint32_t version, std::uint32_t romWords, std::uint32_t endAddress) {
  Vx3HeaderFields h;
  h.chipName = chip;
  h.formatVersion = version;
  h.romWordsField = romWords;
  h.endAddress = endAddress;
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <samples folder>\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  std::error_code ec;
  fs::create_directories(out, ec);
  if (!fs::is_directory(out)) {
    std::fprintf(stderr, "cannot make %s\n", out.string().c_str());
    return 1;
  }

  // VX3P1020, version 6, with a rolling code of two words at 0x101 that the Writer advances.
  {
    Vx3HeaderFields h = Header("VX3P1020", 6, 0x800, 0x5FF);
    h.autoIncWord = 2;
    WriteFileBytes(out / "VX3P1020.VX3", MakeVx3(h, MakeBody(0x800, kOpenOptions, 0x600)));
    vx3::testing::RollingIniFields ini;
    ini.way = "INI";
    ini.order = "L2H";
    ini.address = "0x101";
    ini.wordLength = "2";
    ini.count = "00001000";
    ini.step = "00000001";
    WriteRollingIni(out / "VX3P1020.INI", ini);
    WriteFileBytes(out / "VX3P1020_SECURE.VX3", MakeVx3(h, MakeBody(0x800, kProtectedOptions, 0x600)));
  }
  // VXORCA, version 0: capacity from the body size, and the option bit toggled at download.
  WriteFileBytes(out / "VXORCA_V0.VX3", MakeVx3(Header("VXORCA", 0, 0, 0xBFF), MakeBody(0x1000, kOpenOptions, 0xC00)));
  // VXHERON, version 1, a body of 0xC00 bytes, with an option word that replaces the last one.
  {
    Vx3HeaderFields h = Header("VXHERON", 1, 0, 0x5FF);
    h.optionOverride = 0x3F7F;
    WriteFileBytes(out / "VXHERON.VX3", MakeVx3(h, MakeBody(0x600, kOpenOptions)));
  }
  // VX3N2210, version 4: the newer option handling with 256 reserved words.
  WriteFileBytes(out / "VX3N2210.VX3",
                 MakeVx3(Header("VX3N2210", 4, 0x2000, 0x17FF), MakeBody(0x2000, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FBF}, 0x1800)));
  // VXTERN, version 5, with a rolling code of four ROM words that carry one byte each: the INI
  // writes each byte as four digits, of which the last two count.
  {
    Vx3HeaderFields h = Header("VXTERN", 5, 0x400, 0x2FF);
    h.autoIncWord = 3;
    WriteFileBytes(out / "VXTERN.VX3", MakeVx3(h, MakeBody(0x400, kOpenOptions, 0x300)));
    vx3::testing::RollingIniFields ini;
    ini.way = "INI";
    ini.order = "L2H";
    ini.address = "0x301";
    ini.wordLength = "4";
    ini.count = "0000000000100000";
    ini.step = "0000000000000001";
    WriteRollingIni(out / "VXTERN.INI", ini);
  }
  // VX3E1610, an erasable part, version 6, assembled for the earlier VX3E1605.
  WriteFileBytes(out / "VX3E1610.VX3",
                 MakeVx3(Header("VX3E1605", 6, 0x2000, 0x0FFF), MakeBody(0x2000, kOpenOptions, 0x1000)));
  // The wrapped layout: VX3F2040 (.VX3, its tool chain names the chip "...OTP") and VX3M1A (.BIN).
  WriteFileBytes(out / "VX3F2040.VX3",
                 MakeWrapped(MakeHeader(Header("VX3F2040OTP", 6, 0x1000, 0x7FF)), MakeBody(0x1000, kOpenOptions, 0x800)));
  WriteFileBytes(out / "VX3M1A.BIN", MakeWrapped("", MakeBody(0x800, kOpenOptions, 0x400)));
  // Raw images: the BIN-only series and a part without symbol file.
  WriteFileBytes(out / "VXLARK.BIN", MakeBody(0x800, kOpenOptions, 0x700));
  WriteFileBytes(out / "VXWREN.BIN", MakeBody(0x1000, kProtectedOptions, 0xE00));
  WriteFileBytes(out / "VX3PCR16.BIN", MakeBody(0x1000, kOpenOptions, 0x900));
  return 0;
}
