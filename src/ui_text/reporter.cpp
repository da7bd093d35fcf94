#include "ui_text/reporter.h"

#include <algorithm>
#include <array>
#include <fstream>

#include <fmt/format.h>

#include "platform/system_text.h"
#include "platform/utf8_path.h"
#include "ui_text/message_box.h"
#include "ui_text/program_paths.h"

namespace vx3::text {

namespace {

// Where a long transcript left bytes out between its head and its tail.
constexpr std::string_view kTranscriptGap = "\r\n[... {} bytes left out ...]\r\n";

constexpr std::array<std::string_view, kLogKindCount> kHeadlines = {
    "",
    "",
    "",
    "Error !! IC or Socket has some problems !!",
    "Error !! Blank check fail !!",
    "Error !! Program fail !!",
    "Error !! Verify fail !!",
    "Error !! Reset all system !!",
    "Error !! Data transfer fail from PC to Writer !",
    "EEPROM has some problems !!",
    "Rolling Code control file has some problems !!",
    "Lost chip ID in device file (.INC)",
    ".VX3 file has some problems !!",
    "Please upgrade KELVA IDE program !!",
    "Please upgrade writer's firmware to support new OTP chip !!",
    "Device only supports \".BIN\" file !!",
};

constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr std::string_view kStatusLineEnd = "\r\n";

}  // namespace

std::string_view LogHeadline(int kind) {
  if (kind < 0 || kind >= kLogKindCount) return {};
  return kHeadlines[static_cast<std::size_t>(kind)];
}

std::string LogFileName(const std::tm& local) {
  return fmt::format("WT{:02d}{:02d}{:02d}{:02d}.LOG", local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min);
}

std::string CtimeText(const std::tm& local) {
  const auto weekday = kWeekdays[static_cast<std::size_t>(((local.tm_wday % 7) + 7) % 7)];
  const auto month = kMonths[static_cast<std::size_t>(((local.tm_mon % 12) + 12) % 12)];
  return fmt::format("{} {} {:2d} {:02d}:{:02d}:{:02d} {}", weekday, month, local.tm_mday, local.tm_hour,
                     local.tm_min, local.tm_sec, local.tm_year + 1900);
}

std::string PlainLogEntry(std::string_view text, std::string_view lineEnd) {
  std::string entry(text);
  entry += lineEnd;
  entry += lineEnd;
  return entry;
}

std::string NumberedLogEntry(std::uint32_t eventNumber, const std::tm& local, std::string_view text,
                             std::string_view lineEnd) {
  std::string entry = fmt::format("{:05d}    {}", eventNumber, CtimeText(local));
  entry += lineEnd;
  entry += lineEnd;
  entry += PlainLogEntry(text, lineEnd);
  return entry;
}

void Reporter::SetProgramDir(std::filesystem::path dir) {
  std::lock_guard lock(logMutex_);
  programDir_ = std::move(dir);
}

std::filesystem::path Reporter::logPath() const {
  std::lock_guard lock(logMutex_);
  return logPath_;
}

void Reporter::ReportStatus(std::string_view text, Severity severity) { ReportLine(text, severity, true); }

void Reporter::ReportAside(std::string_view text, Severity severity) { ReportLine(text, severity, false); }

void Reporter::ReportLine(std::string_view text, Severity severity, bool inTranscript) {
  ReportView* view = view_.load();
  if (view == nullptr) return;
  std::string line;
  if (severity == Severity::ErrorLine) line = language_.Text(IDS_MESSAGE_Error);
  line += text;
  line += kStatusLineEnd;
  if (inTranscript) AddToTranscript(line);
  view->AppendStatusText(line);
}

void Reporter::AppendStatusText(std::string_view text) {
  if (ReportView* view = view_.load()) {
    AddToTranscript(text);
    view->AppendStatusText(text);
  }
}

void Reporter::StartTranscript() {
  std::lock_guard lock(transcriptMutex_);
  transcriptHead_.clear();
  transcriptTail_.clear();
  transcriptLeftOut_ = 0;
}

std::string Reporter::Transcript() const {
  std::lock_guard lock(transcriptMutex_);
  if (transcriptLeftOut_ == 0) return transcriptHead_ + transcriptTail_;
  return transcriptHead_ + fmt::format(kTranscriptGap, transcriptLeftOut_) + transcriptTail_;
}

void Reporter::AddToTranscript(std::string_view text) {
  std::lock_guard lock(transcriptMutex_);
  if (transcriptTail_.empty() && transcriptLeftOut_ == 0) {
    const std::size_t room = kTranscriptHeadBytes - std::min(transcriptHead_.size(), kTranscriptHeadBytes);
    std::size_t taken = std::min(room, text.size());
    // The head ends at a character, never inside one.
    while (taken > 0 && taken < text.size() && (static_cast<unsigned char>(text[taken]) & 0xC0) == 0x80) --taken;
    transcriptHead_.append(text.substr(0, taken));
    text.remove_prefix(taken);
  }
  transcriptTail_.append(text);
  const std::size_t tailRoom = kTranscriptMaxBytes - kTranscriptHeadBytes;
  if (transcriptTail_.size() <= tailRoom) return;
  // The tail begins at a character, never inside one.
  std::size_t cut = transcriptTail_.size() - tailRoom;
  while (cut < transcriptTail_.size() && (static_cast<unsigned char>(transcriptTail_[cut]) & 0xC0) == 0x80) ++cut;
  transcriptLeftOut_ += cut;
  transcriptTail_.erase(0, cut);
}

void Reporter::ShowPendingStatus() {
  if (ReportView* view = view_.load()) view->ShowPendingStatus();
}

void Reporter::LogEvent(int kind, std::string_view text) {
  const std::tm now = clock_.LocalNow();
  const bool numbered = kind < 0 || kind > 1;
  std::uint32_t number = 0;
  std::string path;
  {
    std::lock_guard lock(logMutex_);
    if (!logNameFixed_) {
      logNameFixed_ = true;
      logPath_ = ComposeProgramPath(programDir_, kLogFolder, LogFileName(now));
    }
    path = platform::PathToUtf8(logPath_);
    if (numbered) number = eventNumber_.fetch_add(1);
    // The file is open only while this entry is written, so the log is whole on disk after each
    // entry. A missing log folder loses the entry; the status lines below still appear.
    std::ofstream file(logPath_, std::ios::binary | std::ios::app);
    if (file.is_open()) {
      // Log readers on the operator's machine take the file as 8-bit text in the system's code
      // page (on a Chinese Windows, GBK), not as UTF-8.
      const std::string entry = platform::Utf8ToSystemText(
          numbered ? NumberedLogEntry(number, now, text, kLogLineEnd) : PlainLogEntry(text, kLogLineEnd));
      file.write(entry.data(), static_cast<std::streamsize>(entry.size()));
    }
  }
  // Status lines go out after the lock is released: the view may wait for the other thread.
  if (ReportView* view = view_.load()) view->LogEntryWritten(kind, number, text);
  if (!numbered) {
    ReportStatus(text, Severity::NoteLine);
  } else if (kind >= 8 && kind < kLogKindCount) {
    ReportStatus(LogHeadline(kind), Severity::NoteLine);
    ReportStatus(fmt::format("   (Check {} for detailed information)", path), Severity::NoteLine);
  } else if (kind >= 3 && kind <= 7) {
    ReportStatus(LogHeadline(kind), Severity::NoteLine);
    ReportStatus(fmt::format("   (Check item {} of {} for detailed information)", number, path),
                 Severity::NoteLine);
  }
}

int Reporter::ShowMessage(std::string_view text, int type) {
  ReportView* view = view_.load();
  return view == nullptr ? answer::kCancel : view->ShowMessageBox(text, kMessageCaption, type);
}

void Reporter::WarnAndReport(std::string_view text) {
  if (ReportView* view = view_.load()) view->ShowMessageBox(text, kWarningCaption, box::kOk | box::kIconExclamation);
  ReportStatus(text, Severity::ErrorLine);
}

void Reporter::WarnAndLog(int kind, std::string_view text) {
  if (ReportView* view = view_.load()) view->ShowMessageBox(text, kWarningCaption, box::kOk | box::kIconExclamation);
  LogEvent(kind, text);
}

}  // namespace vx3::text
