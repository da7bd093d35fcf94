// The main window of vx3wt-cli: the presenter's view as text or JSON events on the console. The
// status lines, log entries, message boxes and chip results are written as they come; dialogs
// are answered from the command line (the image, the device, the rolling choices).
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "app/main_view.h"
#include "cli/cli_output.h"
#include "rolling/rolling_dialog.h"

namespace vx3::cli {

// The Rolling Code dialog's choices given on the command line; unset ones keep the dialog's.
struct RollingChoice {
  std::optional<rolling::RollingMethod> method;
  std::optional<bool> verify;
};

class ConsoleView final : public app::MainView {
 public:
  explicit ConsoleView(CliOutput& output) : output_(output) {}

  // ---- What the command line answers for the operator ----
  void AnswerImage(std::filesystem::path image) { image_ = std::move(image); }
  void AnswerDevice(std::string device) { device_ = std::move(device); }
  void AnswerRolling(RollingChoice choice) { rolling_ = choice; }
  // --no-serial: Yes to the question `question` (programming chips without the serial numbers
  // that cannot be made), and to no other; empty: No to it too.
  void AllowNoSerial(std::string question) {
    std::lock_guard lock(answersMutex_);
    noSerialQuestion_ = std::move(question);
  }
  // Nothing is written while muted (the start state, the reload of the loaded image).
  void SetMuted(bool muted) { muted_.store(muted); }
  // From the listing head of a read-back on, status lines go to the listing instead of the
  // output (read --out).
  void CaptureListing(bool capture);
  std::string TakeListing();
  // True when Choose Device did not offer the device given.
  bool DeviceMissed() const { return deviceMissed_; }

  // The last chip result shown.
  struct ChipResult {
    Verdict verdict = Verdict::None;
    std::string verdictText;
    std::string detail;
  };
  ChipResult LastChipResult() const;
  void ClearChipResult();
  std::string JobCounters() const;
  std::string TodayCounters() const;
  std::string SeriesLine() const;

  // ---- MainView ----
  void AppendStatusText(std::string_view text) override;
  int ShowMessageBox(std::string_view text, std::string_view caption, int type) override;
  void LogEntryWritten(int kind, std::uint32_t number, std::string_view text) override;
  void SetWindowCaption(std::string_view) override {}
  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id) const override;
  void EnableControl(int, bool) override {}
  void ShowControl(int, bool) override {}
  void SetChecked(int, bool) override {}
  void SetStatusText(std::string_view text) override;
  std::string StatusText() const override;
  void AddAboutMenuItem(std::string_view) override {}
  void ShowAboutBox(bool) override {}
  void SetWaitCursor(bool) override {}
  void ShowProgressWindow(std::string_view caption, std::string_view label) override;
  void SetProgress(int percent, std::string_view text) override;
  void HideProgressWindow() override;
  std::filesystem::path ChooseImageFile(const std::filesystem::path& folder) override;
  bool RunDeviceChooser(device_select::DeviceChooser& chooser) override;
  bool RunRollingCodeDialog(rolling::RollingDialog& dialog) override;
  void WriterJobStarted(BusyText) override {}
  void WriterJobEnded() override {}
  void ShowChipResult(Verdict verdict, std::string_view verdictText, std::string_view detail) override;
  void ShowCounters(std::string_view jobLine, std::string_view todayLine) override;
  void ShowSeries(std::string_view line) override;
  bool ChooseExport(const std::filesystem::path& folder, std::string_view suggestedName, bool jobLoaded,
                    const ExportTexts& texts, ExportChoice& choice) override;

 private:
  void StatusLines(std::string_view text);

  CliOutput& output_;
  std::filesystem::path image_;
  std::string device_;
  RollingChoice rolling_;
  std::atomic<bool> muted_{false};
  std::mutex answersMutex_;  // guards the one below: the job thread asks
  std::string noSerialQuestion_;
  bool deviceMissed_ = false;

  mutable std::mutex mutex_;  // guards the members below
  std::map<int, std::string> controls_;
  std::string status_;
  std::string pendingLine_;  // status text not yet ended by a line end
  bool captureListing_ = false;
  bool capturing_ = false;
  std::string listing_;
  ChipResult chip_;
  std::string jobCounters_;
  std::string todayCounters_;
  std::string seriesLine_;
  std::string progressCaption_;
};

// The verdict's name in the JSON events: "pass", "fail", "unknown", "no_chip", "not_run",
// "no_serial", "running", "none".
std::string_view VerdictNameOf(app::MainView::Verdict verdict);

}  // namespace vx3::cli
