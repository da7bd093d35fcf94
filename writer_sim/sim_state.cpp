// The state file: a magic, a version, then the fields in a fixed order, numbers little-endian,
// byte strings with a 32-bit length. Anything that does not read back whole is ignored.
#include "sim_state.h"

#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

namespace vx3::sim {
namespace {

constexpr std::string_view kMagic = "VX3WTSIM";
constexpr std::uint32_t kVersion = 1;
// No field of a Writer comes near this; a larger length means a damaged file.
constexpr std::uint32_t kMaxField = 64U * 1024U * 1024U;

class Out {
 public:
  void U8(std::uint8_t value) { bytes_ += static_cast<char>(value); }
  void U16(std::uint16_t value) {
    U8(static_cast<std::uint8_t>(value & 0xFF));
    U8(static_cast<std::uint8_t>(value >> 8));
  }
  void U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value & 0xFFFF));
    U16(static_cast<std::uint16_t>(value >> 16));
  }
  void Bytes(const std::uint8_t* data, std::size_t size) {
    U32(static_cast<std::uint32_t>(size));
    bytes_.append(reinterpret_cast<const char*>(data), size);
  }
  void Bytes(const std::vector<std::uint8_t>& data) { Bytes(data.data(), data.size()); }
  void Text(const std::string& text) { Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

class In {
 public:
  explicit In(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }
  std::uint8_t U8() {
    if (pos_ >= bytes_.size()) {
      ok_ = false;
      return 0;
    }
    return static_cast<std::uint8_t>(bytes_[pos_++]);
  }
  std::uint16_t U16() {
    const std::uint16_t low = U8();
    return static_cast<std::uint16_t>(low | (U8() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t low = U16();
    return low | (static_cast<std::uint32_t>(U16()) << 16);
  }
  std::string_view Field() {
    const std::uint32_t size = U32();
    if (!ok_ || size > kMaxField || size > bytes_.size() - pos_) {
      ok_ = false;
      return {};
    }
    const std::string_view field = bytes_.substr(pos_, size);
    pos_ += size;
    return field;
  }
  std::vector<std::uint8_t> Bytes() {
    const std::string_view field = Field();
    return {field.begin(), field.end()};
  }
  std::string Text() { return std::string(Field()); }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

bool LoadState(const std::filesystem::path& file, WriterState& state) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream.is_open()) return false;
  const std::string content{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  if (content.size() < kMagic.size() || std::string_view(content).substr(0, kMagic.size()) != kMagic) return false;
  In in(std::string_view(content).substr(kMagic.size()));
  if (in.U32() != kVersion) return false;

  WriterState read;
  Firmware& firmware = read.firmware;
  firmware.iapVersion = in.U16();
  firmware.iapDate = in.U16();
  firmware.iapStatus = in.U8();
  firmware.driverVersion = in.U16();
  firmware.driverDate = in.U16();
  firmware.driverSignature = in.U16();
  firmware.hostLevel = in.U16();
  firmware.offlineMode = in.U8();
  firmware.iapImage = in.Bytes();
  firmware.driverImage = in.Bytes();

  read.job.complete = in.U8() != 0;
  const std::vector<std::uint8_t> header = in.Bytes();
  if (header.size() != read.job.header.size()) return false;
  std::copy(header.begin(), header.end(), read.job.header.begin());
  read.job.body = in.Bytes();

  Chip& chip = read.chip;
  chip.present = in.U8() != 0;
  chip.type = in.Text();
  chip.secured = in.U8() != 0;
  chip.swapPending = in.U8() != 0;
  chip.fill = in.U8();
  chip.copiesJob = in.U8() != 0;
  chip.rom = in.Bytes();
  const std::uint32_t rollingCount = in.U32();
  if (!in.ok() || rollingCount > kMaxField) return false;
  for (std::uint32_t i = 0; i < rollingCount && in.ok(); ++i) {
    const std::uint32_t offset = in.U32();
    chip.rollingBytes.emplace_back(offset, in.U8());
  }

  const std::uint32_t seenCount = in.U32();
  if (!in.ok() || seenCount > kMaxField) return false;
  for (std::uint32_t i = 0; i < seenCount && in.ok(); ++i) {
    std::string key = in.Text();
    read.seenSettings[std::move(key)] = in.Text();
  }
  if (!in.ok() || !in.AtEnd()) return false;
  state = std::move(read);
  return true;
}

bool SaveState(const std::filesystem::path& file, const WriterState& state) {
  Out out;
  const Firmware& firmware = state.firmware;
  out.U32(kVersion);
  out.U16(firmware.iapVersion);
  out.U16(firmware.iapDate);
  out.U8(firmware.iapStatus);
  out.U16(firmware.driverVersion);
  out.U16(firmware.driverDate);
  out.U16(firmware.driverSignature);
  out.U16(firmware.hostLevel);
  out.U8(firmware.offlineMode);
  out.Bytes(firmware.iapImage);
  out.Bytes(firmware.driverImage);
  out.U8(state.job.complete ? 1 : 0);
  out.Bytes(state.job.header.data(), state.job.header.size());
  out.Bytes(state.job.body);
  const Chip& chip = state.chip;
  out.U8(chip.present ? 1 : 0);
  out.Text(chip.type);
  out.U8(chip.secured ? 1 : 0);
  out.U8(chip.swapPending ? 1 : 0);
  out.U8(chip.fill);
  out.U8(chip.copiesJob ? 1 : 0);
  out.Bytes(chip.rom);
  out.U32(static_cast<std::uint32_t>(chip.rollingBytes.size()));
  for (const auto& [offset, value] : chip.rollingBytes) {
    out.U32(offset);
    out.U8(value);
  }
  out.U32(static_cast<std::uint32_t>(state.seenSettings.size()));
  for (const auto& [key, value] : state.seenSettings) {
    out.Text(key);
    out.Text(value);
  }

  std::error_code ec;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  {
    std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
    if (!stream.is_open()) return false;
    stream.write(kMagic.data(), static_cast<std::streamsize>(kMagic.size()));
    stream.write(out.bytes().data(), static_cast<std::streamsize>(out.bytes().size()));
    stream.flush();
    if (!stream) {
      stream.close();
      std::filesystem::remove(temporary, ec);
      return false;
    }
  }
  std::filesystem::rename(temporary, file, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

}  // namespace vx3::sim
