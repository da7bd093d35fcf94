// Chip actions and the header read-back: the rounds of command packets and replies, and the
// formatting of the Writer's messages, which come from outside and are treated as such.
#include "writer_ops/chip_actions.h"

#include <algorithm>
#include <array>
#include <climits>
#include <iterator>
#include <optional>

#include "platform/ascii_case.h"
#include "platform/system_text.h"
#include "ui_text/safe_format.h"
#include "ui_text/ui_texts.h"

namespace vx3::writer_ops {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Copies valid UTF-8 from `bytes`, each maximal invalid sequence (and each NUL, which is no
// text either) as one U+FFFD, and stops after `maxChars` characters.
std::string CleanUtf8(std::string_view bytes, std::size_t maxChars) {
  std::string out;
  out.reserve(std::min(bytes.size(), maxChars * 4));
  std::size_t chars = 0;
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n && chars < maxChars) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    ++chars;
    if (lead != 0 && lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // no overlong forms
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    }
    if (length == 0) {
      out += kReplacementCharacter;
      ++i;
      continue;
    }
    std::size_t good = 1;
    while (good < length && i + good < n) {
      const auto next = static_cast<unsigned char>(bytes[i + good]);
      const bool fits = good == 1 ? (next >= low && next <= high) : (next >= 0x80 && next <= 0xBF);
      if (!fits) break;
      ++good;
    }
    if (good == length) {
      out.append(bytes.substr(i, length));
    } else {
      out += kReplacementCharacter;
    }
    i += good;
  }
  return out;
}

// The Writer's texts are 8-bit text in the system's code page; the program's text is UTF-8.
std::string SystemTextToUtf8(std::string_view bytes, std::size_t maxChars) {
  return CleanUtf8(platform::SystemTextToUtf8(bytes), maxChars);
}

// The pending text formatted with the argument bytes, or as it stands when it does not fit.
std::string FormatRaw(std::string_view pending, std::span<const std::uint8_t, kWriterArgumentCount> arguments) {
  std::array<text::FormatArg, kWriterArgumentCount> args{
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
  };
  for (std::size_t i = 0; i < kWriterArgumentCount; ++i) args[i] = text::FormatArg(unsigned{arguments[i]});
  std::optional<std::string> formatted = text::SafeFormat(pending, args);
  return formatted ? std::move(*formatted) : std::string(pending);
}

// Shows the message and gives back what was shown.
std::string ShowWriterMessage(const WriterServices& writer, std::string_view pending,
                              std::span<const std::uint8_t, kWriterArgumentCount> arguments) {
  const std::string raw = FormatRaw(pending, arguments);
  if (raw == kIcErrorSentence) {
    // The language file's text stands for the Writer's sentence, as a line of its own.
    std::string line = writer.language.Text(text::IDS_MESSAGE_ICError);
    writer.reporter.ReportStatus(line, text::Severity::NoteLine);
    return line;
  }
  // The Writer's texts carry their own line breaks, so they go to the status box as they stand.
  std::string shown = SystemTextToUtf8(raw, kWriterMessageMaxChars);
  writer.reporter.AppendStatusText(shown);
  return shown;
}

// Bytes 1 to 15 up to the first zero byte.
void AppendTextChunk(std::string& pending, std::span<const std::uint8_t, kWriterTextChunk> chunk) {
  for (const std::uint8_t byte : chunk) {
    if (byte == 0) break;
    if (pending.size() >= kPendingTextMaxBytes) break;
    pending += static_cast<char>(byte);
  }
}

}  // namespace

bool SaysNoChip(std::string_view message) {
  // Line breaks and spaces before the text do not count.
  const std::size_t start = message.find_first_not_of(" \r\n\t");
  if (start == std::string_view::npos) return false;
  message.remove_prefix(start);
  return std::any_of(std::begin(kNoChipMessages), std::end(kNoChipMessages), [message](std::string_view begins) {
    return platform::StartsWithIgnoringCase(message, begins);
  });
}

std::string FormatWriterMessage(std::string_view pending,
                                std::span<const std::uint8_t, kWriterArgumentCount> arguments) {
  return SystemTextToUtf8(FormatRaw(pending, arguments), kWriterMessageMaxChars);
}

bool SendChipCommand(const WriterServices& writer, std::uint8_t action, const ChipActionImage& image) {
  link::Packet packet{};
  packet[0] = action;
  packet[1] = static_cast<std::uint8_t>(image.romBytes & 0xFF);
  packet[2] = static_cast<std::uint8_t>((image.romBytes >> 8) & 0xFF);
  packet[3] = static_cast<std::uint8_t>(image.checksum & 0xFF);
  packet[4] = static_cast<std::uint8_t>(image.checksum >> 8);
  if (writer.link.UsbWrite(packet) != 0) return true;
  writer.reporter.ReportStatus(writer.language.Text(text::IDS_MESSAGE_USBWriteDataFail), text::Severity::ErrorLine);
  return false;
}

text::UiText ChipActionName(std::uint8_t action) {
  switch (action) {
    case link::command::kProgramChip: return text::IDS_ProgramOnly;
    case link::command::kVerifyChip: return text::IDS_Verify;
    case link::command::kBlankCheckChip: return text::IDS_BlankCheck;
    case link::command::kAutoProgramChip: return text::IDS_AutoProgram;
    case link::command::kSecurityCheck: return text::IDS_LoadOTP;
    default: return text::IDS_ReadProgram;  // the check before a chip is read
  }
}

std::string CollapseRepeatedLines(std::string_view text, const text::Language& language) {
  std::string out;
  std::string_view previous;
  std::string_view previousEnd;
  int count = 0;
  const auto flush = [&] {
    if (count == 0) return;
    out += count == 1 ? std::string(previous) : language.Format(text::IDS_MESSAGE_RepeatedLine, {previous, count});
    out += previousEnd;
  };
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    std::string_view line = text.substr(0, next);
    std::string_view lineEnd;
    if (line.ends_with("\r\n")) lineEnd = "\r\n";
    else if (line.ends_with('\n')) lineEnd = "\n";
    line.remove_suffix(lineEnd.size());
    if (count > 0 && line == previous && !lineEnd.empty()) {
      ++count;
      previousEnd = lineEnd;
    } else {
      flush();
      previous = line;
      previousEnd = lineEnd;
      count = 1;
    }
    text.remove_prefix(next);
  }
  flush();
  return out;
}

bool ChipAction(const WriterServices& writer, std::uint8_t action, const ChipActionImage& image) {
  return RunChipAction(writer, action, image).Passed();
}

ChipActionResult RunChipAction(const WriterServices& writer, std::uint8_t action, const ChipActionImage& image) {
  platform::SystemClock systemClock;
  platform::Clock& clock = writer.clock != nullptr ? *writer.clock : systemClock;
  const auto deadline = clock.SteadyNow() + kChipActionTimeLimit;
  ChipActionResult result;
  std::string pending;
  bool first = true;
  while (clock.SteadyNow() < deadline) {
    if (!SendChipCommand(writer, action, image)) {
      // The Writer never heard of an action whose first packet was not sent.
      if (first) result.outcome = ChipOutcome::NotRun;
      return result;
    }
    first = false;
    link::Reply reply{};
    if (writer.link.UsbRead(reply) == 0) {
      writer.reporter.ReportStatus(writer.language.Text(text::IDS_MESSAGE_USBReadFail), text::Severity::ErrorLine);
      return result;
    }
    const std::span<const std::uint8_t, kWriterTextChunk> body(reply.data() + 1, kWriterTextChunk);
    switch (reply[0]) {
      case link::status::kOk:
        // A success after the Writer said its socket is empty is no chip anyone can trust.
        result.outcome = result.noChipSaid ? ChipOutcome::Unknown : ChipOutcome::Pass;
        return result;
      case link::status::kFailed:
        // The Writer has said why, if anything, in its messages.
        result.outcome = result.noChipSaid ? ChipOutcome::NoChip : ChipOutcome::Fail;
        return result;
      case link::status::kMessageText:
        AppendTextChunk(pending, body);
        continue;
      case link::status::kMessageArguments:
        if (SaysNoChip(ShowWriterMessage(writer, pending, body))) result.noChipSaid = true;
        pending.clear();
        continue;
      default:
        writer.reporter.OpenNewEvent();
        writer.reporter.LogEvent(1, kOtpActionErrorText);
        return result;
    }
  }
  // What the Writer said while it kept the action going: on record with the time limit.
  if (!pending.empty()) {
    std::string said = CollapseRepeatedLines(SystemTextToUtf8(pending, kWriterMessageMaxChars), writer.language);
    if (!said.ends_with('\n')) said += "\r\n";
    writer.reporter.AppendStatusText(said);
  }
  const std::string line = writer.language.Format(
      text::IDS_MESSAGE_ActionTimeout,
      {writer.language.Text(ChipActionName(action)), static_cast<int>(kChipActionTimeLimit.count())});
  writer.reporter.ReportStatus(line, text::Severity::ErrorLine);
  writer.reporter.OpenNewEvent();
  writer.reporter.LogEvent(2, line);
  result.timedOut = true;
  return result;
}

bool ReadBackHeader(const WriterServices& writer, std::uint8_t code, EepromHeader& header) {
  // The reply bytes are gathered apart: a read-back that breaks off must not leave a header
  // that is half the Writer's and half the download's, for the rolling value is taken from it.
  EepromHeader fresh;
  for (std::uint16_t request = 0; request < kHeaderReadRequests; ++request) {
    if (!writer.link.SendWriterCommand(code, kHeaderReadRequests)) return false;
    link::Reply reply{};
    if (writer.link.UsbRead(reply) == 0) {
      writer.reporter.ReportStatus(writer.language.Text(text::IDS_MESSAGE_USBReadFail), text::Severity::ErrorLine);
      return false;
    }
    std::copy(reply.begin(), reply.end(),
              fresh.bytes.begin() + static_cast<std::ptrdiff_t>(request * link::kReplySize));
  }
  header = fresh;
  return true;
}

}  // namespace vx3::writer_ops
