// Reading the chip in the Writer's socket back into a file: the read itself with its checksum
// and progress line, Load OTP's read that makes the chip's code the loaded image, and the
// listing of a read-back file as hexadecimal words in the status box.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "image/loaded_image.h"
#include "link/command_codes.h"
#include "platform/clock.h"
#include "ui_text/reporter.h"
#include "writer_ops/progress_window.h"
#include "writer_ops/writer_services.h"

namespace vx3::writer_ops {

// The Writer answers every read request with this many data bytes, and one listing row shows
// as many.
inline constexpr std::size_t kReadChunkBytes = link::kReplySize;
// The read request carries the number of chunks in 16 bits.
inline constexpr std::uint32_t kMaxReadChunks = 0xFFFF;
inline constexpr std::string_view kReadProgressFormat = "Read : {:06X}";
inline constexpr std::string_view kListingHeadFormat = "Check {} for all datas";

// What a read leaves for the one who shows it: the 16-bit sum of every byte read (kept until
// the next read) and whether the read-back file was replaced by this read; and the Load-OTP flag, set only while
// Load OTP reads so that the data go to the device's .LOD file instead of the image's .BBB file.
struct ReadBackState {
  std::uint16_t checksum = 0;
  bool fileMade = false;
  bool loadOtpRead = false;
};

// The main window's progress line during a read: "Read : %06X" with the bytes read so far. The
// text reaches the window for the first and the last chunk and otherwise at most once per
// kProgressRefreshInterval, as the progress window's steps do, so that the read never waits on
// the window for each chunk.
class ReadProgressLine {
 public:
  using Sink = std::function<void(std::string_view text)>;
  ReadProgressLine(platform::Clock& clock, Sink sink) : clock_(clock), sink_(std::move(sink)) {}

  // Chunk `index` (from 0) of `chunks` has been read.
  void Step(std::uint32_t index, std::uint32_t chunks);
  // The read broke off after `chunksRead` good chunks: the line shows what was read, whenever
  // it was last refreshed.
  void BrokeOff(std::uint32_t chunksRead);

 private:
  void Show(std::uint32_t chunksRead);

  platform::Clock& clock_;
  Sink sink_;
  std::chrono::steady_clock::time_point shownAt_{};
  std::string text_;
};

// What a read works with besides the image: the Writer, the program folder (for the device
// description), the progress line (null while no window shows one) and the data folder (for the
// Load_OTP folder; empty: the program folder).
struct ReadBackServices {
  WriterServices writer;
  std::filesystem::path programDir;
  ReadProgressLine* progress = nullptr;
  std::filesystem::path dataDir;

  const std::filesystem::path& DataDir() const { return dataDir.empty() ? programDir : dataDir; }
};

// Reads the ROM area of the chip (romBytes / 16 chunks, a partial last chunk is not read) with
// command `code` (0x80, or 0xC0 for Load OTP) into the read-back file that ReadBackFileName
// names for state.loadOtpRead, summing every byte into state.checksum. Sets image.otpType to
// the description's PGM_TYPE as it stands; only a whole read replaces the file (written beside
// it and renamed over it) and then decides image.securityEnabled from the last 32 bytes read.
// False when the file could not be replaced (an error line naming it; nothing is sent), when a
// request cannot be sent or a reply is lost ("USB read data fail !!!", then the line of how many
// bytes arrived of how many), or when the file cannot be written at the end. A false read leaves
// the file (or its absence) exactly as it was and no temporary file behind.
bool ReadToFile(const ReadBackServices& services, image::LoadedImage& image, ReadBackState& state,
                std::uint8_t code);

// Load OTP's read: the chip is read with 0xC0 into the device's .LOD file, which becomes the
// loaded image as a raw binary (imagePath set, hasHeader cleared) when the read is whole; a
// broken read leaves the file and the image as they were. Returns the read's result.
bool LoadFromChip(const ReadBackServices& services, image::LoadedImage& image, ReadBackState& state);

// One listing row: the word address of `byteOffset`, then the row's eight little-endian words,
// each high byte first: "000010 : 1234 5678 ... - ...".
std::string ListingLine(std::uint32_t byteOffset, std::span<const std::uint8_t, kReadChunkBytes> row);

// Lists `file` in the status box: "Check <file> for all datas", then one plain line per
// 16-byte row, at most romBytes / 16 rows, ending at the first short row. Nothing at all when
// the file cannot be opened. Returns the number of rows listed.
std::size_t ListReadBackFile(text::Reporter& reporter, const std::filesystem::path& file, std::uint32_t romBytes);

}  // namespace vx3::writer_ops
