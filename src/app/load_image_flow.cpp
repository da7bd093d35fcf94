#include "app/load_image_flow.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "app/control_ids.h"
#include "platform/ascii_case.h"
#include "device_select/device_chooser.h"
#include "image/device_file.h"
#include "image/image_header.h"
#include "image/image_reader.h"
#include "image/side_files.h"
#include "platform/utf8_path.h"
#include "ui_text/program_paths.h"
#include "ui_text/reporter.h"
#include "ui_text/ui_texts.h"

namespace vx3::app {

namespace {

namespace fs = std::filesystem;

// The file-open dialog opens here until an image has been chosen.
constexpr std::string_view kSamplesFolder = "samples";

// Fixed messages of the load.
constexpr std::string_view kMessageFileMissing = "The file not exist !!!";
constexpr std::string_view kMessageIncMissing = "Can't find {} INC file !!!";
constexpr std::string_view kMessageIncProblem = "The file {}.inc is not exist or has some problems !!";
constexpr std::string_view kMessageOtpTypeUnknown = "The type of OTP is unknown !!";
constexpr std::string_view kMessageRawNeedsDevice =
    "A .BIN file does not name its device: choose the device with \"Device / Load VX3\" first !!!";

constexpr int kKindIncProblem = 0;
constexpr int kKindOtpTypeUnknown = 3;

// Bytes of a printable chip name lie between these two.
constexpr unsigned char kLastControlByte = 0x20;
constexpr unsigned char kFirstNonPrintable = 0x7F;

// The checksum caption names the image kind.
constexpr std::string_view kChecksumImageKind = "VX3";

// Chip series that take raw images only and have no description file.
struct BinOnlySeries {
  std::string_view name;  // compared without regard to case
  std::uint32_t romWords;
  std::int32_t otpType;
  std::uint32_t securityOption;
};
constexpr std::array<BinOnlySeries, 2> kBinOnlySeries = {{
    {"VXLARK (BIN)", 0x800, 1, 0x103},
    {"VXWREN (BIN)", 0x1000, 1, 0x103},
}};

// Devices with a description file but no symbol file; compared with exact case.
constexpr std::array<std::string_view, 3> kNoSymbolPrefixes = {"VX3P1", "VX3PCR", "VXNP"};

// Program types as the description gives them, folded onto the ones the Writer knows.
constexpr std::int32_t kOtpTypeFolded5 = 4;
constexpr std::int32_t kOtpTypeFoldedFirst = 6;
constexpr std::int32_t kOtpTypeFoldedLast = 15;
constexpr std::int32_t kOtpTypeFoldedTo = 3;
constexpr std::uint32_t kHighestOtpType = 5;

// The buttons that need an image, besides Blank Check and Read that need a device only.
constexpr std::array<int, 4> kImageButtons = {ctl::kAutoProgram, ctl::kProgram, ctl::kVerify, ctl::kRollingCode};

using platform::EqualsIgnoringCase;

class Flow {
 public:
  Flow(AppContext& context, MainView& view)
      : context_(context), view_(view), image_(context.image), state_(context.state),
        programDir_(context.state.programDir) {}

  void Start() {
    image_.wrappedLayout = false;
    image_.fileMissing = false;
    image_.deviceFilesMissing = false;
    image_.incMissing = false;
    text::MakeProgramSubfolder(state_.DataDir(), text::kLogFolder);
    view_.SetStatusText("");
    image_.deviceName.clear();
  }

  void ChooserFirst() {
    device_select::DeviceChooser chooser(programDir_, state_.DataDir());
    chooser.Open(context_.language);
    if (!view_.RunDeviceChooser(chooser)) {
      image_.deviceName.clear();
      return;
    }
    image_.deviceName = chooser.chosenType();
    if (image_.deviceName.empty()) return;
    if (!DeviceParameters()) return;
    EnableDeviceButtons();

    image_.imagePath.clear();
    const fs::path chosen = AskImageFile();
    if (!chosen.empty()) {
      image_.imagePath = chosen;
      if (!ImageFileOpens()) return;
    } else {
      image_.loadOk = false;
    }
    Image();
  }

  void FileFirst() {
    const fs::path chosen = AskImageFile();
    if (chosen.empty()) return;
    image_.imagePath = chosen;
    if (!ImageFileOpens()) return;

    if (image::HasExtension(image_.imagePath, {image::kImageExtension})) {
      image_.hasHeader = true;
      if (!DeviceFromHeader()) return;
    } else {
      // A raw image names no device, and guessing one could replace the Writer's job with one
      // for a device the operator did not mean: the device is chosen in Device / Load.
      image_.loadOk = false;
      image_.imagePath.clear();
      context_.reporter.ReportStatus(kMessageRawNeedsDevice, text::Severity::ErrorLine);
    }
    if (image_.deviceName.empty()) return;
    if (!DeviceParameters()) return;
    EnableDeviceButtons();
    Image();
  }

 private:
  fs::path AskImageFile() {
    const fs::path folder =
        state_.imageFolder.empty() ? text::ComposeProgramPath(programDir_, {}, kSamplesFolder) : state_.imageFolder;
    fs::path chosen = view_.ChooseImageFile(folder);
    if (!chosen.empty()) state_.imageFolder = chosen.parent_path();
    return chosen;
  }

  // The chosen file must open for reading; otherwise the load ends with an error line.
  bool ImageFileOpens() {
    if (text::FileExists(image_.imagePath)) return true;
    context_.reporter.ReportStatus(kMessageFileMissing, text::Severity::ErrorLine);
    image_.imagePath.clear();
    image_.fileMissing = true;
    return false;
  }

  // The device named in a .VX3 file's header, when the header's end address fits the file and
  // its chip name is a name: printable text that cannot lead out of the kit's folders.
  bool DeviceFromHeader() {
    const std::optional<image::ImageHeader> header = ReadHeaderAt(0);
    if (header && ChipNameIsSafe(header->chipName)) {
      image_.deviceName = header->chipName;
      return true;
    }
    // An image of the wrapped layout keeps its header behind a prefix, and its device in Choose
    // Device: the operator is told so, not that the file is damaged.
    if (const std::optional<image::ImageHeader> wrapped = ReadHeaderAt(image::kWrapPrefixBytes);
        wrapped && ChipNameIsSafe(wrapped->chipName)) {
      // Its tool chain names OTP builds "<chip>OTP".
      std::string device = wrapped->chipName;
      if (platform::EndsWithIgnoringCase(device, image::kWrappedChipSuffix)) {
        device.resize(device.size() - image::kWrappedChipSuffix.size());
      }
      if (UsesWrappedLayout(device)) {
        context_.reporter.WarnAndLog(image::kKindImageProblem,
                                     context_.language.Format(text::IDS_MESSAGE_LoadThroughDevice, {device}));
        return false;
      }
    }
    context_.reporter.WarnAndLog(image::kKindImageProblem, image::kMessageFormatUnknown);
    return false;
  }

  // The 256-byte header at `offset` of the image file, when the file holds it and a body after
  // it that the header's end address falls in.
  std::optional<image::ImageHeader> ReadHeaderAt(std::uint64_t offset) const {
    std::array<std::uint8_t, image::kHeaderBytes> bytes{};
    std::error_code ec;
    const std::uintmax_t length = fs::file_size(image_.imagePath, ec);
    if (ec || length < offset + image::kHeaderBytes) return std::nullopt;
    std::ifstream file(image_.imagePath, std::ios::binary);
    if (!file || !file.seekg(static_cast<std::streamoff>(offset)) ||
        !file.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) {
      return std::nullopt;
    }
    const image::ImageHeader header = image::ParseImageHeader(bytes);
    if (header.endAddress >= (length - offset - image::kHeaderBytes) / 2) return std::nullopt;
    return header;
  }

  // A chip name names files of the kit (description, driver, Load_OTP read-back): only printable
  // ASCII, and no folder separator or parent folder.
  static bool ChipNameIsSafe(std::string_view name) {
    if (name.find("..") != std::string_view::npos) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
      const auto byte = static_cast<unsigned char>(c);
      return byte > kLastControlByte && byte < kFirstNonPrintable && c != '/' && c != '\\';
    });
  }

  // Whether the kit describes `device` as one whose images come in the wrapped layout.
  bool UsesWrappedLayout(const std::string& device) const {
    std::string instrument;
    bool missing = false;
    image::IncLookup(programDir_, device, image::kAssemblySection, image::kKeyInstrument, instrument, &missing);
    if (missing || instrument.empty()) return false;
    image::LoadedImage probe;
    probe.deviceName = device;
    // Nothing of the probe is shown: the reporter has no window.
    text::Reporter silent(context_.language, context_.clock);
    return image::ReadSymbolFile(probe, instrument, programDir_, silent) && probe.wrappedLayout;
  }

  // The device's sizes, program type and security options. False when the load ends here (the
  // reason has been reported).
  bool DeviceParameters() {
    for (const BinOnlySeries& series : kBinOnlySeries) {
      if (!EqualsIgnoringCase(image_.deviceName, series.name)) continue;
      image_.romWords = series.romWords;
      image_.romBytes = 2 * series.romWords;
      image_.otpType = series.otpType;
      image_.securityOption = series.securityOption;
      image_.security0Option = 0;
      image_.security1Option = 0;
      binOnlyDevice_ = true;
      return true;
    }
    binOnlyDevice_ = false;
    const std::string& device = image_.deviceName;
    if (HasSymbolFile(device)) {
      std::string instrument;
      image::IncLookup(programDir_, device, image::kAssemblySection, image::kKeyInstrument, instrument,
                       &image_.incMissing);
      if (image_.incMissing) {
        image_.deviceFilesMissing = true;
        context_.reporter.ReportStatus(fmt::format(fmt::runtime(kMessageIncMissing), device),
                                       text::Severity::ErrorLine);
        image_.incMissing = false;
        return false;
      }
      if (!image::ReadSymbolFile(image_, instrument, programDir_, context_.reporter)) return false;
    }
    const std::int32_t words = image::IncNumber(programDir_, device, image::kAssemblySection, image::kKeyBodySize);
    // A negative size is no size at all: twice it would wrap around.
    if (words < 0) {
      image_.loadOk = false;
      context_.reporter.LogEvent(kKindIncProblem, fmt::format(fmt::runtime(kMessageIncProblem), device));
      return false;
    }
    image_.romWords = static_cast<std::uint32_t>(words);
    image_.romBytes = 2 * image_.romWords;
    image_.otpType = image::IncNumber(programDir_, device, image::kAssemblySection, image::kKeyProgramType);
    image_.securityOption = Option(image::kOptionSecurity);
    image_.security0Option = Option(image::kOptionSecurity0);
    image_.security1Option = Option(image::kOptionSecurity1);
    return true;
  }

  static bool HasSymbolFile(std::string_view device) {
    for (const std::string_view prefix : kNoSymbolPrefixes) {
      if (device.starts_with(prefix)) return false;
    }
    return true;
  }

  std::uint32_t Option(std::string_view name) const {
    return image::IncOption(programDir_, image_.deviceName, image::kAssemblySection, image::kKeyOption, name,
                            image::kValueEnable);
  }

  void EnableDeviceButtons() {
    view_.EnableControl(ctl::kBlankCheck, true);
    view_.EnableControl(ctl::kRead, true);
  }

  void Image() {
    if (!image_.imagePath.empty() &&
        !image::ReadImage(image_, binOnlyDevice_, context_.rolling, programDir_, context_.reporter,
                          context_.language, context_.commands.get())) {
      image_.loadOk = false;
      image_.imagePath.clear();
    }
    if (image_.otpType == 5) {
      image_.otpType = kOtpTypeFolded5;
    } else if (image_.otpType >= kOtpTypeFoldedFirst && image_.otpType <= kOtpTypeFoldedLast) {
      image_.otpType = kOtpTypeFoldedTo;
    }
    // Taken as unsigned, so that a missing type (-1) is unknown too.
    if (static_cast<std::uint32_t>(image_.otpType) > kHighestOtpType) {
      context_.reporter.LogEvent(kKindOtpTypeUnknown, kMessageOtpTypeUnknown);
      // The Writer cannot be given a job of no known type: the load has failed.
      image_.loadOk = false;
      image_.imagePath.clear();
      return;
    }

    const bool loaded = !image_.imagePath.empty();
    view_.SetControlText(ctl::kFileName, platform::PathToUtf8(image_.imagePath));
    for (const int id : kImageButtons) view_.EnableControl(id, loaded);
    if (loaded) ShowImageChecksum(context_, view_);
  }

  AppContext& context_;
  MainView& view_;
  image::LoadedImage& image_;
  RunState& state_;
  const fs::path& programDir_;
  bool binOnlyDevice_ = false;
};

}  // namespace

void ShowImageChecksum(AppContext& context, MainView& view) {
  const text::Language& language = context.language;
  image::LoadedImage& image = context.image;
  view.SetControlText(ctl::kChecksumCaption, language.Format(text::IDS_CheckSum_Format, {kChecksumImageKind}));
  const std::string security = image.securityEnabled ? language.Text(text::IDS_SecurityEnable) : std::string();
  image.checksumText = language.Format(text::IDS_CheckSum_Format_VX3, {static_cast<int>(image.checksum), security});
  view.SetControlText(ctl::kChecksum, image.checksumText);
}

void LoadImageFlow(AppContext& context, MainView& view) {
  Flow flow(context, view);
  flow.Start();
  if (context.state.directLoad && !context.state.useChooser) {
    flow.FileFirst();
  } else {
    flow.ChooserFirst();
  }
}

}  // namespace vx3::app
