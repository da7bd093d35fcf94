// Telling the operator what happened: status lines in the main window's status box, message
// boxes, and the run's operation log with its numbered entries and their pointer lines.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "ui_text/language.h"
#include "ui_text/report_view.h"

namespace vx3::text {

enum class Severity : int {
  ErrorLine = 0x20,  // prefixed with the error prefix of the language in force
  NoteLine = 0x40,   // appended as it stands
};

// Error kinds 0 and 1 make plain log entries; 2 to 15 numbered ones.
inline constexpr int kLogKindCount = 16;
inline constexpr std::string_view kLogFolder = "Writer_Log";
inline constexpr std::string_view kWarningCaption = "VX3WT";
inline constexpr std::string_view kMessageCaption = "Writer";

// The status-box headline of a numbered entry of `kind` (empty for 0 to 2 and unknown kinds).
std::string_view LogHeadline(int kind);

// "WT" month day hour minute ".LOG", each in two digits.
std::string LogFileName(const std::tm& local);

// The time in the 24-character layout of the C library's ctime, without its line end:
// "Sat Dec  5 08:03:16 2026".
std::string CtimeText(const std::tm& local);

// The bytes of a log entry, with `lineEnd` for each line break.
std::string PlainLogEntry(std::string_view text, std::string_view lineEnd);
std::string NumberedLogEntry(std::uint32_t eventNumber, const std::tm& local, std::string_view text,
                             std::string_view lineEnd);

// The line end the log file is written with: the platform's text line end.
#ifdef _WIN32
inline constexpr std::string_view kLogLineEnd = "\r\n";
#else
inline constexpr std::string_view kLogLineEnd = "\n";
#endif

class Reporter {
 public:
  Reporter(const Language& language, platform::Clock& clock) : language_(language), clock_(clock) {}

  // The window that shows status lines and owns message boxes; null while there is none, and
  // then status lines go nowhere.
  void AttachView(ReportView* view) { view_.store(view); }

  // The folder the program writes into (the program folder unless the data moved); the log goes
  // to its "Writer_Log" folder.
  void SetProgramDir(std::filesystem::path dir);

  // Appends one line to the status box, with the error prefix for ErrorLine.
  void ReportStatus(std::string_view text, Severity severity);
  // The same, for a line about the window itself (a close that waits): it is no part of the
  // Writer action under way, so it stays out of the transcript.
  void ReportAside(std::string_view text, Severity severity);

  // Appends `text` to the status box as it stands, without a line end of its own (the Writer's
  // messages carry their own line breaks); nothing while there is no window.
  void AppendStatusText(std::string_view text);
  // The caller is about to wait on the Writer: every status line reported so far is shown.
  void ShowPendingStatus();

  // Shows the status lines of `kind` and appends one entry to the log (when the log folder
  // exists). Numbered entries take `eventNumber` and add 1 to it.
  void LogEvent(int kind, std::string_view text);

  // A message box captioned "Writer"; returns the answer.
  int ShowMessage(std::string_view text, int type);
  // A warning box captioned "VX3WT", then the text as an error line.
  void WarnAndReport(std::string_view text);
  // A warning box captioned "VX3WT", then LogEvent(kind, text).
  void WarnAndLog(int kind, std::string_view text);

  // What the status box was told from here on, kept for the production record (the Writer's
  // messages and the error lines of one action): StartTranscript begins it again, Transcript
  // returns it. A long one keeps its first kTranscriptHeadBytes and its last bytes, about
  // kTranscriptMaxBytes in all, with a line that says how much was left out between: a Writer
  // that repeats itself for minutes must not push out what it said first, nor the line that
  // ended the action.
  static constexpr std::size_t kTranscriptMaxBytes = 4000;
  static constexpr std::size_t kTranscriptHeadBytes = 1500;
  void StartTranscript();
  std::string Transcript() const;

  // Opens a new event: adds 1 to the event number and returns the new number.
  std::uint32_t OpenNewEvent() { return ++eventNumber_; }
  std::uint32_t eventNumber() const { return eventNumber_.load(); }
  // The run's log file; empty until the first LogEvent fixes its name.
  std::filesystem::path logPath() const;

 private:
  const Language& language_;
  platform::Clock& clock_;
  std::atomic<ReportView*> view_{nullptr};
  std::atomic<std::uint32_t> eventNumber_{1};
  void ReportLine(std::string_view text, Severity severity, bool inTranscript);
  void AddToTranscript(std::string_view text);
  mutable std::mutex transcriptMutex_;
  std::string transcriptHead_;
  std::string transcriptTail_;
  std::size_t transcriptLeftOut_ = 0;
  mutable std::mutex logMutex_;  // guards the fields below and the log file
  std::filesystem::path programDir_;
  bool logNameFixed_ = false;
  std::filesystem::path logPath_;
};

}  // namespace vx3::text
