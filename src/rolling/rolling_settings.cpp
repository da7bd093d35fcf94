#include "rolling/rolling_settings.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "platform/command_processor.h"
#include "platform/ascii_case.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_value.h"
#include "ui_text/message_box.h"
#include "ui_text/program_paths.h"
#include "ui_text/reporter.h"

namespace vx3::rolling {
namespace {

// The lowest ROM word that the rolling code must stay clear of.
constexpr std::int64_t kReservedWord = 8;
constexpr std::uint32_t kMaxWordWords = 4;      // ordinary chips
constexpr std::uint32_t kMaxByteWords = 9;      // the byte-per-word device (9 is read as 8)

using platform::EqualsIgnoringCase;

// Cut at `maxChars` bytes, never inside a UTF-8 sequence.
std::string Cut(std::string text, std::size_t maxChars) {
  if (text.size() <= maxChars) return text;
  std::size_t end = maxChars;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

class IniReader {
 public:
  explicit IniReader(const std::filesystem::path& file) : file_(file) {}
  std::string Text(std::string_view key, std::size_t maxChars = platform::kProfileValueMaxChars) const {
    return Cut(platform::ReadProfileString(file_, kRollingSection, key).value_or(std::string()), maxChars);
  }
  std::uint32_t Number(std::string_view key) const {
    return static_cast<std::uint32_t>(platform::ReadProfileInt(file_, kRollingSection, key, 0));
  }

 private:
  const std::filesystem::path& file_;
};

// The rolling code is off: no value or step of a half-read INI is left for a download, the
// dialog or the record.
void TurnOff(RollingSettings& settings) {
  settings.address = 0;
  settings.method = RollingMethod::NotUsed;
  settings.value.fill(0);
  settings.step.fill(0);
}

// Stops the load on a problem that leaves the dialog reachable.
void StopWithProblem(RollingSettings& settings, std::string_view message, text::Reporter& reporter) {
  TurnOff(settings);
  reporter.LogEvent(kKindRollingProblem, message);
}

// Keeps why the serial numbers cannot be made, when the INI asks for them.
void NoSerial(RollingSettings& settings, bool asked, text::UiText why, std::string first, std::string second = {}) {
  if (!asked) return;
  const std::size_t count = second.empty() ? 1 : 2;
  settings.noSerial = {why, {std::move(first), std::move(second)}, count};
}

// A value text holds hexadecimal digits and spaces only; anything else is a mistake in the INI,
// not a number to guess from (a counter that became 0 would repeat serial numbers).
bool IsHexText(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == ' ' || std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

std::string WithoutSpaces(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

bool OlderEdition(const RollingSettings& s, bool byteWords) {
  const std::int64_t address = s.address;
  const std::int64_t length = s.wordLength;
  if (address == 0) return true;
  if (address <= kReservedWord && address + length - 1 >= kReservedWord) return true;
  if (address % 2 == 0) return true;
  if (!s.lowWordFirst) return true;
  if (!byteWords) return length > kMaxWordWords;
  return (length % 2 == 1 && length < kMaxByteWords) || length > kMaxByteWords;
}

// The step of an empty Step text: 1 in the least significant word.
void DefaultStep(RollingSettings& s) {
  s.step.fill(0);
  const std::uint32_t words = std::min<std::uint32_t>(s.wordLength, kRollingMaxWords);
  if (words == 0) return;
  s.step[s.lowWordFirst ? 0 : words - 1] = 1;
}

void ReportSummary(RollingSettings& s, bool byteWords, const RollingServices& services) {
  const text::Language& language = services.language;
  text::Reporter& reporter = services.reporter;
  reporter.LogEvent(0, language.Format(text::IDS_Format_RollingAddressLength, {s.address, s.wordLength}));
  s.forceWordDisplay = true;
  reporter.LogEvent(0, language.Format(text::IDS_Format_RollingValue, {FormatRollingDisplay(s.value, s, byteWords)}));
  s.forceWordDisplay = true;
  reporter.LogEvent(0, language.Format(text::IDS_Format_RollingStep, {FormatRollingDisplay(s.step, s, byteWords)}));
  switch (s.method) {
    case RollingMethod::AutoInc:
    case RollingMethod::RunExe:
      reporter.LogEvent(0, language.Format(text::IDS_Format_RollingFile, {platform::PathToUtf8(s.iniPath)}));
      break;
    case RollingMethod::Custom:
      reporter.LogEvent(0, language.Text(text::IDS_Format_RollingCustom));
      break;
    default:
      reporter.LogEvent(0, language.Text(text::IDS_Format_RollingDisabled));
      break;
  }
  const std::string order = language.Text(s.lowWordFirst ? text::IDS_Rolling_LowAtLowAddress
                                                         : text::IDS_Rolling_HighAtLowAddress);
  reporter.LogEvent(0, language.Format(text::IDS_Format_RollingWordAlign, {order}));
}

}  // namespace

std::string_view WayKeyword(RollingMethod method) {
  switch (method) {
    case RollingMethod::AutoInc: return way::kIni;
    case RollingMethod::RunExe: return way::kExe;
    case RollingMethod::Custom: return way::kCustom;
    default: return way::kDisable;
  }
}

std::string NoSerialText(const NoSerialReason& reason, const text::Language& language) {
  if (!reason.Set()) return {};
  if (reason.argCount < 2) return language.Format(reason.text, {reason.args[0]});
  return language.Format(reason.text, {reason.args[0], reason.args[1]});
}

void LoadRollingSettings(RollingSettings& s, std::uint32_t romWords, bool report, std::string_view deviceName,
                         const RollingServices& services) {
  const bool byteWords = IsByteWordDevice(deviceName);
  const IniReader ini(s.iniPath);
  text::Reporter& reporter = services.reporter;
  const std::string iniName = platform::PathToUtf8(s.iniPath);

  s.method = RollingMethod::NotUsed;
  s.usable = true;
  s.lowWordFirst = false;
  s.noSerial = {};

  s.exeCommand = ini.Text(key::kExeFile);
  s.lowWordFirst = EqualsIgnoringCase(ini.Text(key::kOrder), kOrderLowFirst);

  const std::string wayText = ini.Text(key::kWay);
  if (EqualsIgnoringCase(wayText, way::kIni)) {
    s.method = RollingMethod::AutoInc;
  } else if (EqualsIgnoringCase(wayText, way::kExe)) {
    if (s.exeCommand.empty()) {
      NoSerial(s, true, text::IDS_NoSerial_NoGenerator, iniName);
      return StopWithProblem(s, kMessageGeneratorMissing, reporter);
    }
    if (!text::FileExists(platform::PathFromUtf8(s.exeCommand))) {
      NoSerial(s, true, text::IDS_NoSerial_GeneratorMissing, s.exeCommand, iniName);
      return StopWithProblem(s, kMessageGeneratorMissing, reporter);
    }
    s.method = RollingMethod::RunExe;
  } else if (EqualsIgnoringCase(wayText, way::kCustom)) {
    s.method = RollingMethod::Custom;
  } else if (EqualsIgnoringCase(wayText, way::kDisable)) {
    s.method = RollingMethod::NotUsed;
  } else if (wayText.empty()) {
    s.method = RollingMethod::AutoIncDefault;
  } else {
    // A Way the program does not know is taken as a wish for serial numbers gone wrong.
    NoSerial(s, true, text::IDS_NoSerial_UnknownWay, wayText, iniName);
    return StopWithProblem(s, kMessageFormatQuestion, reporter);
  }

  s.address = ini.Number(key::kAddress);
  s.wordLength = ini.Number(key::kWordLength);
  // The INI asks for serial numbers by its Way, or, without one, by naming an Address.
  const bool asked = s.method != RollingMethod::NotUsed && (s.method != RollingMethod::AutoIncDefault || s.address != 0);
  // An address the record cannot carry is a question, not an address cut to 16 bits.
  if (s.address > kMaxRollingAddress) {
    NoSerial(s, asked, text::IDS_NoSerial_NotInRom, iniName);
    return StopWithProblem(s, kMessageFormatQuestion, reporter);
  }
  std::string count = ini.Text(key::kCount, kValueTextMaxChars);

  if (count.empty() && s.method == RollingMethod::RunExe) {
    // The generator is expected to write Count into this INI. It runs as the one program the
    // path names, quoted, so that no part of the path is taken for a shell command.
    services.commands.Run(platform::QuoteCommandPath(s.exeCommand));
    count = ini.Text(key::kCount, kGeneratedValueMaxChars);
  }

  if (s.address == 0 && s.method == RollingMethod::AutoIncDefault) {
    s.method = RollingMethod::NotUsed;
    return;
  }

  if (OlderEdition(s, byteWords)) {
    s.usable = false;
    TurnOff(s);
    NoSerial(s, asked, text::IDS_NoSerial_OlderEdition, iniName);
    reporter.WarnAndReport(kMessageOlderEdition);
    return;
  }

  if (s.wordLength == 0 || std::uint64_t{s.address} + s.wordLength >= romWords) {
    NoSerial(s, asked, text::IDS_NoSerial_NotInRom, iniName);
    return StopWithProblem(s, kMessageFormatQuestion, reporter);
  }

  if (s.method == RollingMethod::AutoIncDefault) s.method = RollingMethod::AutoInc;

  std::string stepText = ini.Text(key::kStep, kValueTextMaxChars);
  for (const auto& [name, valueText] : {std::pair{key::kCount, &count}, std::pair{key::kStep, &stepText}}) {
    if (IsHexText(*valueText)) continue;
    // The Rolling Code button stays off and nothing is downloaded until the INI is mended.
    s.usable = false;
    NoSerial(s, asked, text::IDS_NoSerial_NotNumber, std::string(name), iniName);
    const std::string message = fmt::format(kMessageNotHexFormat, name, iniName);
    reporter.ReportStatus(message, text::Severity::ErrorLine);
    return StopWithProblem(s, message, reporter);
  }

  const std::uint32_t iniLength = s.wordLength;
  // Spaces group the digits for people; the byte-per-word reduction counts digits only.
  if (byteWords) count = ReduceByteWordText(WithoutSpaces(count), iniLength);
  s.wordLength = ParseRollingValue(count, iniLength, s.lowWordFirst, byteWords, s.value);

  if (byteWords) stepText = ReduceByteWordText(WithoutSpaces(stepText), iniLength);
  if (stepText.empty()) {
    DefaultStep(s);
  } else {
    ParseRollingValue(stepText, iniLength, s.lowWordFirst, byteWords, s.step);
  }

  if (s.method == RollingMethod::AutoInc && s.confirmZeroStep) {
    const bool allZero = std::all_of(s.step.begin(), s.step.begin() + std::min<std::uint32_t>(s.wordLength, kRollingMaxWords),
                                     [](std::uint32_t entry) { return entry == 0; });
    if (allZero) {
      s.confirmZeroStep = false;
      reporter.ShowMessage(kMessageZeroStep, text::box::kOk | text::box::kIconInformation);
    }
  }

  if (report) ReportSummary(s, byteWords, services);
}

}  // namespace vx3::rolling
