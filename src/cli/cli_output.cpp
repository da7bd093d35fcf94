#include "cli/cli_output.h"

#include <algorithm>

#include <fmt/format.h>

namespace vx3::cli {

namespace {

constexpr int kBarWidth = 30;
constexpr int kFullPercent = 100;
// Wide enough to wipe a bar line with its caption and text.
constexpr std::size_t kBarClearWidth = 100;

}  // namespace

std::string PlainLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + 1);
  for (const char c : text) {
    if (c != '\r') lines += c;
  }
  return lines;
}

void CliOutput::WriteLocked(std::FILE* stream, std::string_view text) {
  if (stream == out_) ClearBarLocked();
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void CliOutput::ClearBarLocked() {
  if (!barShown_) return;
  std::fprintf(err_, "\r%*s\r", static_cast<int>(kBarClearWidth), "");
  std::fflush(err_);
  barShown_ = false;
}

void CliOutput::Event(const nlohmann::ordered_json& event) {
  if (!json_) return;
  // Bytes that are no UTF-8 (a path in another code page) are replaced, never a failed line.
  std::string line = event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  line += '\n';
  const std::lock_guard lock(mutex_);
  WriteLocked(out_, line);
}

void CliOutput::Line(std::string_view text) {
  if (json_) return;
  std::string line = PlainLines(text);
  if (line.empty() || line.back() != '\n') line += '\n';
  const std::lock_guard lock(mutex_);
  WriteLocked(out_, line);
}

void CliOutput::EventOrLine(const nlohmann::ordered_json& event, std::string_view text) {
  if (json_) {
    Event(event);
  } else {
    Line(text);
  }
}

void CliOutput::Error(std::string_view text) {
  if (json_) {
    Event({{"event", "error"}, {"text", PlainLines(text)}});
    return;
  }
  std::string line = PlainLines(text);
  if (line.empty() || line.back() != '\n') line += '\n';
  const std::lock_guard lock(mutex_);
  WriteLocked(err_, line);
}

void CliOutput::Bar(std::string_view caption, int percent, std::string_view text) {
  if (!bars_) return;
  const int clamped = std::clamp(percent, 0, kFullPercent);
  const int filled = clamped * kBarWidth / kFullPercent;
  const std::string bar = fmt::format("\r{} [{}{}] {:3}% {}", caption, std::string(static_cast<std::size_t>(filled), '#'),
                                      std::string(static_cast<std::size_t>(kBarWidth - filled), ' '), clamped, text);
  const std::lock_guard lock(mutex_);
  std::fwrite(bar.data(), 1, bar.size(), err_);
  std::fflush(err_);
  barShown_ = true;
}

void CliOutput::EndBar() {
  const std::lock_guard lock(mutex_);
  ClearBarLocked();
}

}  // namespace vx3::cli
