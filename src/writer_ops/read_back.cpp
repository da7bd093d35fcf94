// The chip read-back: request and reply per 16-byte chunk, the file and the checksum as the
// chunks arrive, and the listing of what was read.
#include "writer_ops/read_back.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>

#include <fmt/format.h>

#include "image/device_file.h"
#include "image/image_checksum.h"
#include "image/side_files.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "ui_text/ui_texts.h"

namespace vx3::writer_ops {

namespace {

constexpr std::string_view kCreateFailedFormat = "Can't create the read-back file {} !!!";
constexpr std::string_view kWriteFailedFormat = "Can't write the read-back file {} !!!";
constexpr std::string_view kTooLargeFormat = "The ROM area of {} bytes is too large to read !!!";

// The Writer's blank byte: what the security decision sees of bytes a short read never got.
constexpr std::uint8_t kBlankByte = 0xFF;

// Hexadecimal digits by hand: the listing formats thousands of rows, and a fixed layout needs
// no parsing of a format text per row.
constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, std::uint8_t byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

// "%06X : %02X%02X %02X%02X %02X%02X %02X%02X - %02X%02X %02X%02X %02X%02X %02X%02X" with the
// word address and the eight words, high byte first, into `out` (replaced).
void BuildListingLine(std::string& out, std::uint32_t byteOffset, std::span<const std::uint8_t, kReadChunkBytes> row) {
  out.clear();
  fmt::format_to(std::back_inserter(out), "{:06X} : ", byteOffset / 2);
  for (std::size_t word = 0; word < kReadChunkBytes / 2; ++word) {
    if (word == 4) out += "- ";
    AppendHexByte(out, row[2 * word + 1]);
    AppendHexByte(out, row[2 * word]);
    if (word + 1 < kReadChunkBytes / 2) out += ' ';
  }
}

}  // namespace

void ReadProgressLine::Step(std::uint32_t index, std::uint32_t chunks) {
  if (!sink_) return;
  const auto now = clock_.SteadyNow();
  const bool first = index == 0;
  const bool last = index + 1 >= chunks;
  if (!first && !last && now - shownAt_ < kProgressRefreshInterval) return;
  shownAt_ = now;
  Show(index + 1);
}

void ReadProgressLine::BrokeOff(std::uint32_t chunksRead) {
  if (sink_ && chunksRead > 0) Show(chunksRead);
}

void ReadProgressLine::Show(std::uint32_t chunksRead) {
  text_.clear();
  const std::uint64_t bytesRead = std::uint64_t{chunksRead} * kReadChunkBytes;
  fmt::format_to(std::back_inserter(text_), kReadProgressFormat, bytesRead);
  sink_(text_);
}

bool ReadToFile(const ReadBackServices& services, image::LoadedImage& image, ReadBackState& state,
                std::uint8_t code) {
  const WriterServices& writer = services.writer;
  // The type as the description gives it: the read does not go through the load's checks.
  image.otpType = image::IncNumber(services.programDir, image.deviceName, image::kAssemblySection,
                                   image::kKeyProgramType);

  state.checksum = 0;
  state.fileMade = false;
  const std::uint32_t chunks = image.romBytes / kReadChunkBytes;
  if (chunks > kMaxReadChunks) {
    writer.reporter.ReportStatus(fmt::format(kTooLargeFormat, image.romBytes), text::Severity::ErrorLine);
    return false;
  }

  const std::filesystem::path path = image::ReadBackFileName(image, services.DataDir(), state.loadOtpRead);
  // The file is replaced only by a whole read: the chunks are gathered here and written beside
  // the file, then renamed over it, so a read that breaks off leaves an earlier read as it was
  // and never a partial file. A file that could not be replaced is refused before anything is sent.
  if (!platform::MayReplaceFile(path)) {
    writer.reporter.ReportStatus(fmt::format(kCreateFailedFormat, platform::PathToUtf8(path)),
                                 text::Severity::ErrorLine);
    return false;
  }
  std::string data;
  data.reserve(std::size_t{chunks} * kReadChunkBytes);

  // The last two replies, for the security decision at the end.
  std::array<std::uint8_t, image::kSecurityTailBytes> last32{};
  last32.fill(kBlankByte);

  // A read that breaks off leaves the progress line at what was read, not where it last stood,
  // and says how much arrived of how much and that the file was not touched.
  const auto brokeOff = [&](std::uint32_t chunksRead) {
    if (services.progress != nullptr) services.progress->BrokeOff(chunksRead);
    const std::int64_t arrived = std::int64_t{chunksRead} * static_cast<std::int64_t>(kReadChunkBytes);
    const std::int64_t wanted = std::int64_t{chunks} * static_cast<std::int64_t>(kReadChunkBytes);
    writer.reporter.ReportStatus(
        writer.language.Format(text::IDS_MESSAGE_ReadBrokeOff, {arrived, wanted, platform::PathToUtf8(path)}),
        text::Severity::ErrorLine);
    return false;
  };
  for (std::uint32_t i = 0; i < chunks; ++i) {
    // Every chunk is asked for with the same packet; the sender has reported a failure.
    if (!writer.link.SendWriterCommand(code, static_cast<std::uint16_t>(chunks))) return brokeOff(i);
    link::Reply reply{};
    if (writer.link.UsbRead(reply) == 0) {
      writer.reporter.ReportStatus(writer.language.Text(text::IDS_MESSAGE_USBReadFail), text::Severity::ErrorLine);
      return brokeOff(i);
    }
    data.append(reinterpret_cast<const char*>(reply.data()), reply.size());
    if (services.progress != nullptr) services.progress->Step(i, chunks);
    std::uint16_t sum = state.checksum;
    for (const std::uint8_t byte : reply) sum = static_cast<std::uint16_t>(sum + byte);
    state.checksum = sum;
    std::copy(last32.begin() + kReadChunkBytes, last32.end(), last32.begin());
    std::copy(reply.begin(), reply.end(), last32.end() - kReadChunkBytes);
  }

  if (!platform::ReplaceFileAtomically(path, data)) {
    writer.reporter.ReportStatus(fmt::format(kWriteFailedFormat, platform::PathToUtf8(path)),
                                 text::Severity::ErrorLine);
    return false;
  }
  state.fileMade = true;
  image::DecideSecurity(image, last32);
  return true;
}

bool LoadFromChip(const ReadBackServices& services, image::LoadedImage& image, ReadBackState& state) {
  state.loadOtpRead = true;
  const bool read = ReadToFile(services, image, state, link::command::kReadChipForLoadOtp);
  // A whole read is the new image, which the reload that follows judges. A broken one left the
  // .LOD file as it was, which may hold another chip's code: the image loaded before stays.
  if (read) {
    image.imagePath = image::ReadBackFileName(image, services.DataDir(), state.loadOtpRead);
    image.hasHeader = false;
  }
  state.loadOtpRead = false;
  return read;
}

std::string ListingLine(std::uint32_t byteOffset, std::span<const std::uint8_t, kReadChunkBytes> row) {
  std::string line;
  BuildListingLine(line, byteOffset, row);
  return line;
}

std::size_t ListReadBackFile(text::Reporter& reporter, const std::filesystem::path& file, std::uint32_t romBytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return 0;
  reporter.ReportStatus(fmt::format(kListingHeadFormat, platform::PathToUtf8(file)), text::Severity::NoteLine);

  const std::uint32_t rows = romBytes / kReadChunkBytes;
  std::array<std::uint8_t, kReadChunkBytes> row{};
  std::string line;
  line.reserve(64);
  std::size_t listed = 0;
  for (std::uint32_t i = 0; i < rows; ++i) {
    in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size()));
    if (in.gcount() != static_cast<std::streamsize>(row.size())) break;
    BuildListingLine(line, i * static_cast<std::uint32_t>(kReadChunkBytes), row);
    reporter.ReportStatus(line, text::Severity::NoteLine);
    ++listed;
  }
  return listed;
}

}  // namespace vx3::writer_ops
