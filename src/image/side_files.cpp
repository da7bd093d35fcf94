#include "image/side_files.h"

#include <array>
#include <fstream>
#include <string>

#include <fmt/format.h>

#include "image/device_file.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "ui_text/program_paths.h"
#include "ui_text/reporter.h"

namespace vx3::image {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSymbolRecordBytes = 4;

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

enum class Mnemonic { Other, Nop, Wrapped };

Mnemonic ClassifyRecord(const char* record) {
  if (record[0] == '.' && record[1] == '.' && record[2] == '.') return Mnemonic::Wrapped;
  if (FoldAscii(record[0]) == 'N' && FoldAscii(record[1]) == 'O' && FoldAscii(record[2]) == 'P') return Mnemonic::Nop;
  return Mnemonic::Other;
}

}  // namespace

bool ReadSymbolFile(LoadedImage& image, std::string_view instrument, const fs::path& programDir,
                    text::Reporter& reporter) {
  image.wrappedLayout = false;
  image.deviceFilesMissing = false;
  std::filebuf file;
  const auto path = LocateDeviceFile(programDir, std::string(instrument) + std::string(kSymbolExtension), kSymbolFolder);
  if (!path || file.open(*path, std::ios::in | std::ios::binary) == nullptr) {
    image.deviceFilesMissing = true;
    reporter.ReportStatus(fmt::format("Can't find {} symbol file !!!", image.deviceName), text::Severity::ErrorLine);
    return false;
  }
  // Whole records only: a few bytes left over at the end of the file are no record.
  std::array<char, 1024 * kSymbolRecordBytes> buffer{};
  std::size_t kept = 0;
  for (;;) {
    const std::streamsize got = file.sgetn(buffer.data() + kept, static_cast<std::streamsize>(buffer.size() - kept));
    if (got <= 0) break;
    const std::size_t have = kept + static_cast<std::size_t>(got);
    std::size_t at = 0;
    for (; at + kSymbolRecordBytes <= have; at += kSymbolRecordBytes) {
      switch (ClassifyRecord(buffer.data() + at)) {
        case Mnemonic::Nop:
          return true;
        case Mnemonic::Wrapped:
          image.wrappedLayout = true;
          return true;
        case Mnemonic::Other:
          break;
      }
    }
    kept = have - at;
    for (std::size_t i = 0; i < kept; ++i) buffer[i] = buffer[at + i];
  }
  return true;
}

void ReadCopyControl(LoadedImage& image, const fs::path& programDir) {
  const auto path = LocateDeviceFile(programDir, image.deviceName + std::string(kCopyControlExtension),
                                     kCopyControlFolder);
  image.copyFileExists = path.has_value();
  image.loadOtpEnabled = image.copyFileExists && platform::ReadProfileInt(*path, kCopySection, kCopyKey, 0) == 1;
}

fs::path ReadBackFileName(const LoadedImage& image, const fs::path& dataDir, bool loadOtpRead) {
  const bool imageLoaded = !image.imagePath.empty();
  if (loadOtpRead) {
    if (!imageLoaded) return platform::PathFromUtf8(std::string(kNoImageBaseName) + std::string(kLoadOtpExtension));
    return text::ComposeProgramPath(dataDir, kLoadOtpFolder, image.deviceName, kLoadOtpExtension);
  }
  if (!imageLoaded) return platform::PathFromUtf8(std::string(kNoImageBaseName) + std::string(kReadBackExtension));
  return ReplaceExtension(image.imagePath, kReadBackExtension);
}

fs::path ReplaceExtension(const fs::path& path, std::string_view extension) {
  std::string name = platform::PathToUtf8(path.filename());
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  name += extension;
  return path.parent_path() / platform::PathFromUtf8(name);
}

}  // namespace vx3::image
