#include "image/image_reader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "image/device_file.h"
#include "platform/ascii_case.h"
#include "image/image_checksum.h"
#include "image/image_header.h"
#include "image/side_files.h"
#include "platform/command_processor.h"
#include "platform/file_lookup.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_settings.h"
#include "ui_text/language.h"
#include "ui_text/program_paths.h"
#include "ui_text/reporter.h"
#include "ui_text/ui_texts.h"

namespace vx3::image {

namespace fs = std::filesystem;

namespace {

// The wrapped layout's bytes around the header area and body.
constexpr std::size_t kWrapSuffixBytes = 16;
// Versions 0 and 1 tell the chip's capacity from the body size alone.
constexpr std::uint64_t kOldFormatBoundary = 0xC00;
constexpr std::uint64_t kOldFormatSmallCapacity = 0x800;
constexpr std::uint64_t kOldFormatLargeCapacity = 0x2000;
// Bodies beyond 32 bits cannot be described by the header or sent to the Writer.
constexpr std::uint64_t kMaxBodyBytes = std::numeric_limits<std::uint32_t>::max();

constexpr std::string_view kStatusLineEnd = "\r\n";
constexpr std::string_view kNewCodeOption = "NEW_CODEOPTION";
constexpr std::string_view kCalibrationMarker = "CAL";
constexpr std::string_view kOrca = "VXORCA";
constexpr std::string_view kHeron = "VXHERON";
constexpr std::string_view kEgret = "VXEGRET";
constexpr std::string_view kRobin = "VXROBIN";

// The sample device kit's earlier and variant chips.
constexpr std::array<ChipNameRow, 13> kEquivalences = {{
    {"VX3P1020", {"VX3P1010", "VX3P1011"}},
    {"VX3P1040", {"VX3P1030", "VX3P1020"}},
    {"VX3PCR16", {"VX3PCR08"}},
    {"VXNP08A", {"VXNP08"}},
    {"VXTERN", {"VXTERNA", "VXTERN0"}},
    {"VXORCA", {"VXORC", "VXORCA0"}},
    {"VXHERON", {"VXHERN", "VXHERON0", "VXHERON1"}},
    {"VXEGRET", {"VXEGRT", "VXHERON"}},
    {"VXROBIN", {"VXROBN"}},
    {"VX3E1610", {"VX3E1600", "VX3E1605"}},
    {"VX3E1620", {"VX3E1610", "VX3E1600"}},
    {"VX3N2210", {"VX3N2200", "VX3N2201", "VX3N2202", "VX3N2205", "VX3N2208"}},
    {"VX3C44", {"VX3C40", "VX3C42", "VX3C43"}},
}};

using platform::EqualsIgnoringCase;

// Everything one read needs, so the steps below stay short.
struct ReadContext {
  LoadedImage& image;
  bool binOnlyDevice;
  rolling::RollingSettings& rolling;
  const fs::path& programDir;
  text::Reporter& reporter;
  const text::Language& language;
  platform::CommandProcessor& commands;

  bool Fail(int kind, std::string_view message) const {
    reporter.WarnAndLog(kind, message);
    return false;
  }
};

std::string MismatchMessage(const ReadContext& ctx, std::string_view chipName) {
  std::string text = ctx.language.Text(text::IDS_MESSAGE_FileDismatch);
  text += kStatusLineEnd;
  text += ctx.language.Format(text::IDS_TypeDismatch_Format, {ctx.image.deviceName});
  text += kStatusLineEnd;
  text += ctx.language.Format(text::IDS_TypeDismatch_Format1, {chipName});
  text += kStatusLineEnd;
  return text;
}

// The header checks of a .VX3 image whose body holds `bodyBytes` bytes (steps shared by both
// layouts). False after reporting the first that fails.
bool CheckHeader(const ReadContext& ctx, HeaderBytes bytes, std::uint64_t bodyBytes, bool wrapped) {
  LoadedImage& image = ctx.image;
  const ImageHeader header = ParseImageHeader(bytes);
  if (header.endAddress >= bodyBytes / 2) return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);

  std::string chipName = header.chipName;
  if (wrapped) {
    // The wrapped tool chain names its OTP builds "<chip>OTP".
    const std::size_t n = kWrappedChipSuffix.size();
    if (chipName.size() >= n && EqualsIgnoringCase(std::string_view(chipName).substr(chipName.size() - n), kWrappedChipSuffix)) {
      chipName.resize(chipName.size() - n);
    }
    if (!EqualsIgnoringCase(chipName, image.deviceName)) return ctx.Fail(kKindImageProblem, MismatchMessage(ctx, chipName));
  } else {
    if (!ChipNameAccepted(image.deviceName, chipName)) {
      return ctx.Fail(kKindImageProblem, MismatchMessage(ctx, chipName));
    }
    image.eepromInfoWord = header.eepromInfoWord;
  }

  const std::uint32_t version = header.formatVersion;
  if (version > kNewestFormatVersion) return ctx.Fail(kKindUpgradeIde, kMessageFormatNewer);
  // Chip names come from Windows tools in any letter case, here as everywhere else.
  if (version == 0 && EqualsIgnoringCase(chipName, kOrca)) image.optionToggle = kOrcaOptionToggle;
  if (version == 1 || version == 2) image.optionOverride = header.optionOverride;

  std::uint64_t capacity = 0;
  if (version <= 1) {
    if (bodyBytes > kOldFormatBoundary) {
      capacity = kOldFormatLargeCapacity;
    } else if (bodyBytes == kOldFormatBoundary) {
      capacity = (EqualsIgnoringCase(chipName, kHeron) || EqualsIgnoringCase(chipName, kEgret))
                     ? kOldFormatLargeCapacity
                     : kOldFormatSmallCapacity;
    } else {
      capacity = kOldFormatSmallCapacity;
    }
  } else {
    capacity = 2 * static_cast<std::uint64_t>(header.romWordsField);
    if (capacity == 0) {
      ctx.reporter.WarnAndReport(kMessageMaskRom);
      return false;
    }
  }
  if (header.endAddress >= capacity / 2) return ctx.Fail(kKindImageProblem, kMessageCodeTooLarge);

  if (version <= 3) image.otpType = 1;
  if (version >= 5) image.autoIncWord = header.autoIncWord;
  image.bodyBytes = static_cast<std::uint32_t>(bodyBytes);

  if (EqualsIgnoringCase(image.deviceName, kRobin) && header.calMarker.starts_with(kCalibrationMarker)) {
    image.loadOk = false;
    return ctx.Fail(kKindImageProblem, kMessageRobinCalibration);
  }
  return true;
}

// The device's part of the checksum rules: the COMMAND line and the user-ROM size.
void ReadChecksumParameters(const ReadContext& ctx) {
  LoadedImage& image = ctx.image;
  std::string command;
  IncLookup(ctx.programDir, image.deviceName, kAssemblySection, kKeyCommand, command);
  const std::size_t at = command.find(kNewCodeOption);
  image.newCodeOption = at != std::string::npos && at != 0;
  image.userRomWords = IncNumber(ctx.programDir, image.deviceName, kAssemblySection, kKeyUserRomSize);
  image.reservedWords = static_cast<std::int32_t>(image.romWords - static_cast<std::uint32_t>(image.userRomWords));
}

// The last step of every successful read: the rolling INI beside the image and the copy control.
void ReadSideFiles(const ReadContext& ctx) {
  ctx.rolling.iniPath = RollingIniPath(ctx.image.imagePath);
  ctx.rolling.iniExists = text::FileExists(ctx.rolling.iniPath);
  // A new image: the operator's Yes to chips without serial numbers was for the one before.
  ctx.rolling.programWithoutSerials = false;
  rolling::LoadRollingSettings(ctx.rolling, ctx.image.romWords, false, ctx.image.deviceName,
                               {ctx.reporter, ctx.language, ctx.commands});
  ReadCopyControl(ctx.image, ctx.programDir);
}

void LogChecksum(const ReadContext& ctx) {
  ctx.reporter.LogEvent(0, ctx.language.Format(text::IDS_EPROM_CheckSum, {static_cast<int>(ctx.image.checksum)}));
}

// Opens `path` for binary reading and tells its length; a folder is no image.
bool OpenImage(const fs::path& path, std::filebuf& file, std::uint64_t& length) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
  if (file.open(path, std::ios::in | std::ios::binary) == nullptr) return false;
  const auto end = file.pubseekoff(0, std::ios::end, std::ios::in);
  if (end == std::streampos(-1) || file.pubseekpos(0, std::ios::in) == std::streampos(-1)) return false;
  length = static_cast<std::uint64_t>(static_cast<std::streamoff>(end));
  return true;
}

bool ReadExactly(std::filebuf& file, std::uint8_t* data, std::size_t size) {
  return file.sgetn(reinterpret_cast<char*>(data), static_cast<std::streamsize>(size)) ==
         static_cast<std::streamsize>(size);
}

bool ReadPlain(const ReadContext& ctx) {
  LoadedImage& image = ctx.image;
  std::filebuf file;
  std::uint64_t length = 0;
  if (!OpenImage(image.imagePath, file, length)) return false;

  std::uint64_t bodyBytes = length;
  if (!HasExtension(image.imagePath, {kImageExtension})) {
    image.hasHeader = false;
    // The security decision reads the last 32 bytes, so a smaller body is no image either.
    if (length != image.romBytes || length < kSecurityTailBytes) {
      return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);
    }
    image.bodyBytes = static_cast<std::uint32_t>(length);
  } else {
    if (ctx.binOnlyDevice) return ctx.Fail(kKindBinOnly, kMessageBinOnly);
    image.hasHeader = true;
    std::array<std::uint8_t, kHeaderBytes> header{};
    if (length < kHeaderBytes + kSecurityTailBytes || length - kHeaderBytes > kMaxBodyBytes ||
        !ReadExactly(file, header.data(), header.size())) {
      return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);
    }
    bodyBytes = length - kHeaderBytes;
    // The body is 16-bit words: an odd byte count is a damaged file, whose security decision and
    // checksum would both read the words one byte off.
    if (bodyBytes % 2 != 0) return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);
    if (!CheckHeader(ctx, header, bodyBytes, false)) return false;
  }

  ReadChecksumParameters(ctx);
  PlainChecksum sum(ChecksumRules{image.otpType, image.newCodeOption, image.userRomWords, image.reservedWords,
                                  bodyBytes});
  // The body streams through one block buffer; only its last 32 bytes are kept for the
  // security decision.
  std::array<std::uint8_t, kChecksumBlockBytes> block{};
  std::array<std::uint8_t, kSecurityTailBytes> tail{};
  std::uint64_t left = bodyBytes;
  while (left > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
    // A file that shrinks while it is read is no longer the image that was checked.
    if (!ReadExactly(file, block.data(), n)) return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);
    sum.AddBlock(std::span<const std::uint8_t>(block.data(), n));
    if (n >= tail.size()) {
      std::memcpy(tail.data(), block.data() + n - tail.size(), tail.size());
    } else {
      std::memmove(tail.data(), tail.data() + n, tail.size() - n);
      std::memcpy(tail.data() + tail.size() - n, block.data(), n);
    }
    left -= n;
  }
  file.close();

  const Checksums checksums = sum.result();
  image.checksum = checksums.checksum;
  image.securedChecksum = checksums.securedChecksum;
  DecideSecurity(image, tail);
  LogChecksum(ctx);
  ReadSideFiles(ctx);
  return true;
}

bool ReadWrapped(const ReadContext& ctx) {
  LoadedImage& image = ctx.image;
  image.imageBuffer = {};
  std::filebuf file;
  std::uint64_t length = 0;
  if (!OpenImage(image.imagePath, file, length)) return false;
  if (length < kWrapPrefixBytes + kHeaderBytes + kWrapSuffixBytes ||
      length - kWrapPrefixBytes - kWrapSuffixBytes - kHeaderBytes > kMaxBodyBytes) {
    return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);
  }
  const std::uint64_t inner = length - kWrapPrefixBytes - kWrapSuffixBytes;
  try {
    image.imageBuffer.assign(static_cast<std::size_t>(inner), 0);
  } catch (const std::bad_alloc&) {
    image.imageBuffer = {};
    return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);
  }
  if (file.pubseekpos(kWrapPrefixBytes, std::ios::in) == std::streampos(-1)) return false;
  // A short read leaves the rest of the buffer zero, as the buffer starts out.
  file.sgetn(reinterpret_cast<char*>(image.imageBuffer.data()), static_cast<std::streamsize>(inner));
  file.close();

  const std::uint64_t bodyBytes = inner - kHeaderBytes;
  if (!HasExtension(image.imagePath, {kImageExtension})) {
    image.hasHeader = false;
    if (bodyBytes != image.romBytes || bodyBytes < kSecurityTailBytes) {
      return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);
    }
    image.bodyBytes = static_cast<std::uint32_t>(bodyBytes);
  } else {
    if (ctx.binOnlyDevice) return ctx.Fail(kKindBinOnly, kMessageBinOnly);
    image.hasHeader = true;
    // The body is 16-bit words: an odd byte count is a damaged file.
    if (bodyBytes < kSecurityTailBytes || bodyBytes % 2 != 0) return ctx.Fail(kKindImageProblem, kMessageFormatUnknown);
    if (!CheckHeader(ctx, HeaderBytes(image.imageBuffer.data(), kHeaderBytes), bodyBytes, true)) return false;
  }

  const std::span<const std::uint8_t> body(image.imageBuffer.data() + kHeaderBytes,
                                           static_cast<std::size_t>(bodyBytes));
  const Checksums checksums = WrappedChecksums(body);
  image.checksum = checksums.checksum;
  image.securedChecksum = checksums.securedChecksum;
  DecideSecurity(image, body.last<kSecurityTailBytes>());
  ReadSideFiles(ctx);
  return true;
}

}  // namespace

std::span<const ChipNameRow> ChipNameEquivalences() { return kEquivalences; }

bool ChipNameAccepted(std::string_view deviceName, std::string_view chipName) {
  if (EqualsIgnoringCase(deviceName, chipName)) return true;
  for (const ChipNameRow& row : kEquivalences) {
    if (!EqualsIgnoringCase(row.device, deviceName)) continue;
    for (const std::string_view accepted : row.accepted) {
      if (!accepted.empty() && EqualsIgnoringCase(accepted, chipName)) return true;
    }
  }
  return false;
}

fs::path RollingIniPath(const fs::path& imagePath) {
  // The file name's own extension, never a dot in a folder name; a name without one gets ".INI"
  // appended, so that the INI is never the image itself.
  fs::path ini = imagePath;
  ini.replace_extension(kRollingIniExtension);
  return platform::FindFileIgnoringCase(ini);
}

bool ReadImage(LoadedImage& image, bool binOnlyDevice, rolling::RollingSettings& rolling, const fs::path& programDir,
               text::Reporter& reporter, const text::Language& language, platform::CommandProcessor* commands) {
  image.optionToggle = 0;
  image.optionOverride = kNoOptionOverride;
  image.autoIncWord = 1;
  platform::SystemCommandProcessor systemCommands;
  const ReadContext ctx{image, binOnlyDevice, rolling, programDir, reporter, language,
                        commands != nullptr ? *commands : systemCommands};
  return image.wrappedLayout ? ReadWrapped(ctx) : ReadPlain(ctx);
}

}  // namespace vx3::image
