#include "cli/cli_session.h"

#include <charconv>
#include <system_error>

#include <fmt/format.h>

#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "ui_text/program_paths.h"
#include "ui_text/reporter.h"

namespace vx3::cli {

namespace {

constexpr std::string_view kSection = "Load";
constexpr std::string_view kKeyImage = "Image";
constexpr std::string_view kKeyDevice = "Device";
constexpr std::string_view kKeyFunction = "Function";
constexpr std::string_view kKeyChecksum = "Checksum";
constexpr std::string_view kKeyJob = "Job";
constexpr std::string_view kKeyErasable = "Erasable";
constexpr int kHexBase = 16;
constexpr int kDecimalBase = 10;

template <typename Number>
std::optional<Number> ParseNumber(const std::optional<std::string>& text, int base) {
  if (!text || text->empty()) return std::nullopt;
  Number value{};
  const char* end = text->data() + text->size();
  const auto [ptr, ec] = std::from_chars(text->data(), end, value, base);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

}  // namespace

std::filesystem::path SessionFile(const std::filesystem::path& dataDir) {
  return dataDir / platform::PathFromUtf8(text::kLogFolder) / platform::PathFromUtf8(kSessionFileName);
}

bool SaveSession(const std::filesystem::path& dataDir, const CliSession& session) {
  text::MakeProgramSubfolder(dataDir, text::kLogFolder);
  const std::string body = fmt::format("[{}]\r\n{}={}\r\n{}={}\r\n{}={:02X}\r\n{}={:04X}\r\n{}={}\r\n{}={}\r\n", kSection, kKeyImage,
                                       platform::PathToUtf8(session.image), kKeyDevice, session.device, kKeyFunction,
                                       session.offlineFunction, kKeyChecksum, session.checksum, kKeyJob, session.job, kKeyErasable, session.erasable ? 1 : 0);
  return platform::ReplaceFileAtomically(SessionFile(dataDir), body);
}

std::optional<CliSession> LoadSession(const std::filesystem::path& dataDir) {
  const std::filesystem::path file = SessionFile(dataDir);
  const std::optional<std::string> image = platform::ReadProfileString(file, kSection, kKeyImage);
  const auto function = ParseNumber<std::uint8_t>(platform::ReadProfileString(file, kSection, kKeyFunction), kHexBase);
  const auto checksum = ParseNumber<std::uint16_t>(platform::ReadProfileString(file, kSection, kKeyChecksum), kHexBase);
  const auto job = ParseNumber<std::int64_t>(platform::ReadProfileString(file, kSection, kKeyJob), kDecimalBase);
  if (!image || image->empty() || !function || !checksum || !job) return std::nullopt;
  CliSession session;
  session.image = platform::PathFromUtf8(*image);
  session.device = platform::ReadProfileString(file, kSection, kKeyDevice).value_or("");
  session.offlineFunction = *function;
  session.checksum = *checksum;
  session.job = *job;
  session.erasable = platform::ReadProfileString(file, kSection, kKeyErasable).value_or("0") == "1";
  return session;
}

void ForgetSession(const std::filesystem::path& dataDir) {
  std::error_code ec;
  std::filesystem::remove(SessionFile(dataDir), ec);
}

}  // namespace vx3::cli
