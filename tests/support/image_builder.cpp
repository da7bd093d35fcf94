#include "support/image_builder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace vx3::testing {

namespace fs = std::filesystem;

namespace {

void PutText(std::string& header, std::size_t offset, std::size_t length, std::string_view text) {
  header.replace(offset, std::min(length, text.size()), text.substr(0, length));
}

void PutHex(std::string& header, std::size_t offset, std::size_t digits, std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", static_cast<int>(digits), value);
  std::string_view shown(text);
  PutText(header, offset, digits, shown.substr(shown.size() - digits));
}

void PutWord(std::string& bytes, std::size_t at, std::uint16_t word) {
  bytes[at] = static_cast<char>(word & 0xFF);
  bytes[at + 1] = static_cast<char>(word >> 8);
}

}  // namespace

std::string MakeHeader(const Vx3HeaderFields& fields) {
  std::string header(kVx3HeaderBytes, ' ');
  PutText(header, 0x00, 16, fields.chipName);
  PutText(header, 0x10, 16, fields.calMarker);
  PutHex(header, 0x20, 8, fields.endAddress);
  PutHex(header, 0x28, 4, fields.formatVersion);
  PutHex(header, 0x2C, 4, fields.optionOverride);
  PutHex(header, 0x30, 8, fields.romWordsField);
  PutHex(header, 0x3C, 4, fields.autoIncWord);
  PutHex(header, 0x44, 4, fields.eepromInfoWord);
  for (const auto& [offset, bytes] : fields.raw) {
    if (offset < header.size()) header.replace(offset, std::min(bytes.size(), header.size() - offset), bytes.substr(0, header.size() - offset));
  }
  return header;
}

std::uint8_t PatternByte(std::uint64_t i) { return static_cast<std::uint8_t>(((i * 2654435761u) >> 13) & 0xFF); }

std::string MakeBody(std::size_t words, std::array<std::uint16_t, 4> optionWords, std::size_t codeWords) {
  std::string body(2 * words, '\xFF');
  const std::size_t code = std::min(codeWords, words);
  for (std::size_t i = 0; i < 2 * code; ++i) body[i] = static_cast<char>(PatternByte(i));
  for (std::size_t n = 0; n < 4 && n < words; ++n) PutWord(body, 2 * (words - 4 + n), optionWords[n]);
  return body;
}

std::string MakeVx3(const Vx3HeaderFields& header, std::string_view body) {
  std::string file = MakeHeader(header);
  file += body;
  return file;
}

std::string MakeWrapped(std::string_view headerArea, std::string_view body) {
  std::string file;
  for (int i = 0; i < 32; ++i) file.push_back(static_cast<char>(0xA0 + i));  // the prefix is never read
  std::string area(headerArea.substr(0, kVx3HeaderBytes));
  area.resize(kVx3HeaderBytes, '\xFF');
  file += area;
  file += body;
  for (int i = 0; i < 16; ++i) file.push_back(static_cast<char>(0x5A ^ i));  // nor the suffix
  return file;
}

fs::path WriteSmallDeviceImage(const fs::path& programDir, const std::string& device, std::string_view programTypeLine) {
  WriteDescription(programDir, device,
                   ".ASSEMBLY INSTRUMENT VXT\n.ASSEMBLY OTP_BODY_SIZE 800h\n" + std::string(programTypeLine));
  WriteSymbolFile(programDir, "VXT", {"MOV", "NOP"});
  Vx3HeaderFields header;
  header.chipName = device;
  header.formatVersion = 6;
  header.romWordsField = 0x800;
  header.endAddress = 0x7FF;
  return WriteFileBytes(programDir / "images" / (device + ".VX3"),
                        MakeVx3(header, MakeBody(0x800, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF})));
}

fs::path WriteFileBytes(const fs::path& file, std::string_view bytes) {
  if (file.has_parent_path()) fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file;
}

fs::path WriteDescription(const fs::path& programDir, std::string_view device, std::string_view text) {
  return WriteFileBytes(programDir / "USE_INC2" / (std::string(device) + ".INC"), text);
}

fs::path WriteSymbolFile(const fs::path& programDir, std::string_view instrument,
                         std::initializer_list<std::string_view> mnemonics) {
  std::string bytes;
  std::uint8_t kind = 1;
  for (const std::string_view mnemonic : mnemonics) {
    std::string record(mnemonic.substr(0, 3));
    record.resize(3, ' ');
    record.push_back(static_cast<char>(kind++));
    bytes += record;
  }
  return WriteFileBytes(programDir / "Symbol" / (std::string(instrument) + ".BOL"), bytes);
}

fs::path WriteCopyControl(const fs::path& programDir, std::string_view device, std::string_view loadOtpValue) {
  std::string text = "[Copy OTP]\r\nLoad_OTP=";
  text += loadOtpValue;
  text += "\r\n";
  return WriteFileBytes(programDir / "CPY" / (std::string(device) + ".CPY"), text);
}

fs::path WriteRollingIni(const fs::path& iniPath, const RollingIniFields& fields) {
  std::string text = "[Rolling Code]\r\n";
  const std::pair<const char*, const std::string*> keys[] = {
      {"Way", &fields.way},     {"ExeFile", &fields.exeFile}, {"Order", &fields.order}, {"Address", &fields.address},
      {"Word_Length", &fields.wordLength}, {"Count", &fields.count},  {"Step", &fields.step}};
  for (const auto& [key, value] : keys) {
    if (value->empty()) continue;
    text += key;
    text += '=';
    text += *value;
    text += "\r\n";
  }
  return WriteFileBytes(iniPath, text);
}

}  // namespace vx3::testing
