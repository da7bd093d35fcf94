// The EEPROM download: the job's command, its header and its body from whichever source the
// image was loaded in, with the Writer's answer checked after every block.
#include "writer_ops/eeprom_download.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "device_select/chip_history.h"
#include "image/device_file.h"
#include "image/image_header.h"
#include "link/command_codes.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_record.h"
#include "ui_text/ui_texts.h"

namespace vx3::writer_ops {
namespace {

namespace fs = std::filesystem;
namespace at = header_offset;

constexpr std::size_t kBlockBytes = link::kPacketSize;
constexpr std::uint32_t kHeaderBlocks = kEepromHeaderSize / kBlockBytes;
// The command packet counts the header and body blocks in 16 bits.
constexpr std::uint32_t kMaxJobBlocks = std::numeric_limits<std::uint16_t>::max();
constexpr std::string_view kVx3Extension = ".VX3";
constexpr std::string_view kJobTooLargeText = "The image is too large for the Writer's EEPROM !!!";

void PutLe16(EepromHeader& header, std::size_t offset, std::uint32_t value) {
  header.bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
  header.bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

// The chip name is taken from the file only for a path that is more than the extension alone
// and ends in ".VX3" in any letter case.
bool NamesVx3File(const fs::path& path) {
  const std::string text = platform::PathToUtf8(path);
  if (text.size() <= kVx3Extension.size()) return false;
  const std::string_view tail = std::string_view(text).substr(text.size() - kVx3Extension.size());
  return std::equal(tail.begin(), tail.end(), kVx3Extension.begin(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == static_cast<unsigned char>(b);
  });
}

// The image file, open for one download and closed with it. The body is read block after
// block, so reads go on from where the last one ended without seeking.
class ImageFile {
 public:
  bool Open(const fs::path& path) {
    stream_.open(path, std::ios::binary);
    return stream_.is_open();
  }

  std::uint64_t Size() {
    stream_.clear();
    stream_.seekg(0, std::ios::end);
    const std::streamoff end = stream_.tellg();
    position_ = kUnknown;
    return end > 0 ? static_cast<std::uint64_t>(end) : 0;
  }

  // The bytes at `offset`; those past the end of the file (which may have changed since the
  // image was loaded) are zero.
  void ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::fill(out.begin(), out.end(), 0);
    if (out.empty()) return;
    if (offset != position_) {
      stream_.clear();
      stream_.seekg(static_cast<std::streamoff>(offset));
    }
    stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    const std::streamsize got = stream_.gcount();
    if (got == static_cast<std::streamsize>(out.size()) && stream_.good()) {
      position_ = offset + out.size();
    } else {
      std::fill(out.begin() + std::max<std::streamsize>(got, 0), out.end(), 0);
      stream_.clear();
      position_ = kUnknown;
    }
  }

 private:
  static constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();
  std::ifstream stream_;
  std::uint64_t position_ = kUnknown;
};

// The program body as a stream of 64-byte blocks, from the source the image was loaded in.
class BodySource {
 public:
  BodySource(const image::LoadedImage& image, ImageFile& file) : image_(image), file_(file) {
    if (image.wrappedLayout) {
      kind_ = Kind::Wrapped;
    } else if (image.hasHeader) {
      kind_ = Kind::WithHeader;
      // The last option word: the file's last two bytes, toggled, or the header's override.
      const std::uint64_t size = file_.Size();
      std::array<std::uint8_t, 2> last{};
      file_.ReadAt(size >= 2 ? size - 2 : 0, last);
      std::uint32_t word = (last[0] | (last[1] << 8)) ^ image.optionToggle;
      if (image.optionOverride != image::kNoOptionOverride) word = image.optionOverride;
      optionWord_ = static_cast<std::uint16_t>(word & 0xFFFF);
    } else {
      kind_ = Kind::Raw;
    }
  }

  void Block(std::uint32_t index, link::Packet& block) {
    const std::uint64_t start = std::uint64_t{index} * kBlockBytes;
    const std::uint64_t end = start + kBlockBytes;
    block.fill(0);
    switch (kind_) {
      case Kind::Wrapped: {
        const std::vector<std::uint8_t>& buffer = image_.imageBuffer;
        const std::uint64_t from = image::kHeaderBytes + start;
        if (from < buffer.size()) {
          const std::size_t count =
              static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, buffer.size() - from));
          std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(from), count, block.begin());
        }
        break;
      }
      case Kind::Raw:
        file_.ReadAt(start, block);
        break;
      case Kind::WithHeader: {
        const std::uint64_t body = image_.bodyBytes;
        if (start < body) {
          const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, body - start));
          file_.ReadAt(image::kHeaderBytes + start, std::span(block.data(), count));
        }
        // The body's own last word gives way to the option word, which goes to the last ROM
        // word wherever the body ends.
        const std::uint64_t cut = body >= 2 ? body - 2 : 0;
        for (std::uint64_t p = std::max(start, cut); p < std::min(end, body); ++p) block[p - start] = 0;
        const std::uint64_t romBytes = image_.romBytes;
        if (romBytes >= 2) {
          const std::uint64_t optionAt = romBytes - 2;
          if (optionAt >= start && optionAt < end)
            block[optionAt - start] = static_cast<std::uint8_t>(optionWord_ & 0xFF);
          if (optionAt + 1 >= start && optionAt + 1 < end)
            block[optionAt + 1 - start] = static_cast<std::uint8_t>(optionWord_ >> 8);
        }
        break;
      }
    }
  }

 private:
  enum class Kind { Wrapped, WithHeader, Raw };
  const image::LoadedImage& image_;
  ImageFile& file_;
  Kind kind_ = Kind::Raw;
  std::uint16_t optionWord_ = 0;
};

// The chip name of the image header: the first 16 bytes of the file, or of the image buffer in
// the wrapped layout (the file is still opened, to find that it is there).
bool ReadChipName(const image::LoadedImage& image, std::array<std::uint8_t, at::kChipNameSize>& name) {
  ImageFile file;
  if (!file.Open(image.imagePath)) return false;
  name.fill(0);
  if (image.wrappedLayout) {
    std::copy_n(image.imageBuffer.begin(), std::min(name.size(), image.imageBuffer.size()), name.begin());
  } else {
    file.ReadAt(0, name);
  }
  return true;
}

}  // namespace

bool NamesNewCodeOption(std::string_view command) {
  const std::size_t found = command.find(kNewCodeOptionWord);
  return found != std::string_view::npos && found != 0;
}

std::uint32_t EepromBodyBlocks(std::uint32_t romBytes, bool optionBlock) {
  return romBytes / kBlockBytes + (optionBlock ? 1U : 0U);
}

bool FillEepromHeader(const EepromDownload& job) {
  const image::LoadedImage& image = job.image;
  EepromHeader& header = job.header;

  const std::vector<std::uint8_t> record =
      rolling::BuildRollingRecord(job.rolling, rolling::IsByteWordDevice(image.deviceName));
  std::copy_n(record.begin(), std::min(record.size(), rolling::kRollingRecordMaxBytes),
              header.bytes.begin() + at::kRollingRecord);
  PutLe16(header, at::kEepromInfoWord, image.eepromInfoWord);
  PutLe16(header, at::kSecuredChecksum, image.securedChecksum);
  // The type as the description gives it, not as the load normalised it; none gives 0xFF.
  const std::int32_t type =
      image::IncNumber(job.programDir, image.deviceName, image::kAssemblySection, image::kKeyProgramType);
  header.bytes[at::kProgramType] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(type) & 0xFF);
  PutLe16(header, at::kLastRomWord, image.romWords - 1);
  PutLe16(header, at::kChecksum, image.checksum);

  if (NamesVx3File(image.imagePath)) {
    std::array<std::uint8_t, at::kChipNameSize> name{};
    if (!ReadChipName(image, name)) {
      ReportError(job.writer, text::IDS_MESSAGE_CantOpenFile);
      return false;
    }
    std::copy(name.begin(), name.end(), header.bytes.begin() + at::kChipName);
  }
  header.bytes[at::kReservedZero] = 0;

  const WriterServices& writer = job.writer;
  for (std::uint32_t block = 0; block < kHeaderBlocks; ++block) {
    const std::size_t offset = std::size_t{block} * kBlockBytes;
    link::Reply reply{};
    if (!SendAndReceive(writer, std::span<const std::uint8_t>(header.bytes).subspan(offset, kBlockBytes), reply)) return false;
    // The Writer may answer a header block with any status but 0.
    if (reply[0] == link::status::kFailed) {
      writer.reporter.OpenNewEvent();
      writer.reporter.LogEvent(kKindHeaderRefused, fmt::format(kHeaderRefusedFormat, offset));
      return false;
    }
  }
  return true;
}

bool EepromAction(const EepromDownload& job, std::uint8_t action, std::string_view label) {
  const WriterServices& writer = job.writer;
  const image::LoadedImage& image = job.image;
  const bool verify = action == kEepromVerify;

  ImageFile file;
  if (!file.Open(image.imagePath)) {
    ReportError(writer, text::IDS_MESSAGE_CantOpenFile);
    return false;
  }
  BodySource source(image, file);

  // Asked afresh: the description may have changed since the image was loaded.
  std::string command;
  image::IncLookup(job.programDir, image.deviceName, image::kAssemblySection, image::kKeyCommand, command);
  const std::uint32_t blocks = EepromBodyBlocks(image.romBytes, NamesNewCodeOption(command));
  if (blocks > kMaxJobBlocks - kHeaderBlocks) {
    writer.reporter.ReportStatus(kJobTooLargeText, text::Severity::ErrorLine);
    return false;
  }

  if (!writer.link.SendWriterCommand(action, static_cast<std::uint16_t>(kHeaderBlocks + blocks))) return false;
  if (!FillEepromHeader(job)) return false;

  if (verify) device_select::AddChipToHistory(device_select::HistoryPath(job.DataDir()), image.deviceName);
  job.progress.ShowProgress(blocks, verify ? kVerifyProgressLabel : kProgramProgressLabel, kWriterProgressCaption);

  link::Packet block{};
  link::Reply reply{};
  for (std::uint32_t i = 0; i < blocks; ++i) {
    const std::uint64_t offset = std::uint64_t{i} * kBlockBytes;
    job.progress.StepProgress(i, verify ? fmt::format(kVerifyStepFormat, offset + kBlockBytes)
                                        : fmt::format(kProgramStepFormat, offset + kBlockBytes));
    source.Block(i, block);
    if (!SendAndReceive(writer, block, reply)) return false;
    if (reply[0] == link::status::kOk) continue;

    std::string message;
    if (reply[0] != link::status::kFailed) {
      message = fmt::format(kBodyStatusFormat, unsigned{reply[0]});
    } else if (verify) {
      message = fmt::format(kVerifyNotReadyFormat, label, offset);
    } else {
      message = fmt::format(kProgramNotReadyFormat, label, offset);
    }
    writer.reporter.OpenNewEvent();
    writer.reporter.LogEvent(kKindBodyRefused, message);
    return false;
  }
  return true;
}

}  // namespace vx3::writer_ops
