// The EEPROM download: the job the Writer keeps for stand-alone production (the 128-byte header
// and the program body), sent block by block (Program) or compared by the Writer (Verify).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "image/loaded_image.h"
#include "rolling/rolling_settings.h"
#include "writer_ops/eeprom_header.h"
#include "writer_ops/progress_window.h"
#include "writer_ops/writer_services.h"

namespace vx3::writer_ops {

// Byte 0 of the job's command packet.
inline constexpr std::uint8_t kEepromProgram = 0x01;
inline constexpr std::uint8_t kEepromVerify = 0x02;

// The labels the callers name their jobs with in the not-ready messages.
inline constexpr std::string_view kEepromJobLabel = "EEPROM";
inline constexpr std::string_view kRollingJobLabel = "Rolling Code";

// A device whose COMMAND value names this word after its first character gets one more block
// after the ROM area: the newer option words.
inline constexpr std::string_view kNewCodeOptionWord = "NEW_CODEOPTION";

// The progress window of every Writer transfer.
inline constexpr std::string_view kWriterProgressCaption = "Writer";
inline constexpr std::string_view kProgramProgressLabel = "Program";
inline constexpr std::string_view kVerifyProgressLabel = "Verify";

// Messages of the download, with the log kinds they go under. The figures are byte offsets:
// of the header block (0 or 64), or of the body block in the program body.
inline constexpr std::string_view kHeaderRefusedFormat = "Fill EEPROM Information fail at {:X}";
inline constexpr std::string_view kProgramNotReadyFormat = "The {} program not ready at {:X}";
inline constexpr std::string_view kVerifyNotReadyFormat = "The {} verify not ready at {:X}";
inline constexpr std::string_view kBodyStatusFormat = "Error return value in program or verify mode ({:X})!!";
// The progress text shows the bytes sent so far.
inline constexpr std::string_view kProgramStepFormat = "Program : {:06X}";
inline constexpr std::string_view kVerifyStepFormat = "Verify : {:06X}";
inline constexpr int kKindHeaderRefused = 9;  // "EEPROM has some problems !!"
inline constexpr int kKindBodyRefused = 1;

// What one download works with. The header buffer is the run's: bytes the download does not
// set keep what the last download or header read-back left in them.
struct EepromDownload {
  WriterServices writer;
  const image::LoadedImage& image;
  const rolling::RollingSettings& rolling;
  EepromHeader& header;
  ProgressWindow& progress;
  std::filesystem::path programDir;  // device descriptions
  std::filesystem::path dataDir = {};  // the chip history; empty: the program folder

  const std::filesystem::path& DataDir() const { return dataDir.empty() ? programDir : dataDir; }
};

// True when `command` (a device's COMMAND value) names NEW_CODEOPTION, the first time it does
// so at a position other than its very first character.
bool NamesNewCodeOption(std::string_view command);

// The body blocks of the job: romBytes / 64, and one more for the newer option words.
std::uint32_t EepromBodyBlocks(std::uint32_t romBytes, bool optionBlock);

// Builds the header from the loaded image and sends it as two blocks, each answered by the
// Writer. Any nonzero status accepts a header block; status 0 gives "Fill EEPROM Information
// fail at <offset>" (a new event, log kind 9). A failed transfer or an image file that cannot
// be opened for the chip name is an error line. False on any failure.
bool FillEepromHeader(const EepromDownload& job);

// Program (0x01) or Verify (0x02) of the whole job: the command [action, 2 + blocks], the
// header, then the body blocks, each answered with status 1. `label` names the job in the
// not-ready messages. Verify also puts the device into the chip history. The progress window
// is left shown for the caller to hide. False, reported, at the first failure; the image file
// is closed on every path.
bool EepromAction(const EepromDownload& job, std::uint8_t action, std::string_view label);

}  // namespace vx3::writer_ops
