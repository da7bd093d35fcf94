// What reporting needs of the main window: the status box and message boxes. The main view
// implements it; calls may come from the worker thread, and the view carries them to its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vx3::text {

class ReportView {
 public:
  virtual ~ReportView() = default;
  // Appends `text` (whole lines ending in "\r\n") to the status box and makes it visible at once.
  virtual void AppendStatusText(std::string_view text) = 0;
  // Shows a modal message box (type: box:: flags) owned by the window that has the focus, or the
  // main window; returns the answer:: value of the button pressed.
  virtual int ShowMessageBox(std::string_view text, std::string_view caption, int type) = 0;
  // The calling thread is about to wait (on the Writer): status lines that the view holds back
  // to paint a burst at once must be shown now, or they stay unseen for the whole wait.
  virtual void ShowPendingStatus() {}
  // An entry was added to the operation log (`number` 0 for an unnumbered one): a view that
  // reports to a machine (the command line's JSON events) passes it on; the window shows the log
  // through the status lines only.
  virtual void LogEntryWritten(int kind, std::uint32_t number, std::string_view text) {
    (void)kind;
    (void)number;
    (void)text;
  }
};

}  // namespace vx3::text
