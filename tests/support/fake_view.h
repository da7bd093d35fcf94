// A scripted main window for headless tests: it records what the presenter does to each
// control, the status box text and the message boxes, and answers message boxes in advance.
#pragma once

#include <algorithm>
#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_view.h"
#include "device_select/device_chooser.h"
#include "rolling/rolling_dialog.h"
#include "ui_text/message_box.h"

namespace vx3::testing {

struct FakeControl {
  std::string text;
  bool enabled = true;
  bool shown = true;
  bool checked = false;
};

// What the operator does in Choose Device: picks the series and the type shown by these texts
// (empty: leaves the dialog's own selection), then OK or Cancel.
struct ChooserAnswer {
  bool ok = true;
  std::string series;
  std::string type;
};

// The lists Choose Device showed when it opened, and what was selected then.
struct ShownChooser {
  std::string caption;
  std::vector<std::string> series;
  std::vector<std::string> types;
  int selectedSeries;
  int selectedType;
};

struct ShownMessage {
  std::string text;
  std::string caption;
  int type;
};

class FakeView : public app::MainView {
 public:
  // A close asked for while a job runs writes to the box from the window's thread, as the job
  // does from its own.
  void AppendStatusText(std::string_view text) override {
    const std::lock_guard lock(statusMutex);
    status += text;
  }
  int ShowMessageBox(std::string_view text, std::string_view caption, int type) override {
    messages.push_back({std::string(text), std::string(caption), type});
    if (answers.empty()) return text::answer::kOk;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void SetWindowCaption(std::string_view text) override { caption = text; }
  void SetControlText(int id, std::string_view text) override { controls[id].text = text; }
  std::string ControlText(int id) const override {
    const auto found = controls.find(id);
    return found == controls.end() ? std::string() : found->second.text;
  }
  void EnableControl(int id, bool enabled) override { controls[id].enabled = enabled; }
  void ShowControl(int id, bool shown) override { controls[id].shown = shown; }
  void SetChecked(int id, bool checked) override { controls[id].checked = checked; }
  void SetStatusText(std::string_view text) override {
    const std::lock_guard lock(statusMutex);
    status = text;
  }
  std::string StatusText() const override {
    const std::lock_guard lock(statusMutex);
    return status;
  }
  void AddAboutMenuItem(std::string_view text) override { aboutItems.emplace_back(text); }
  void ShowAboutBox(bool chinese) override { aboutBoxes.push_back(chinese); }
  void SetWaitCursor(bool waiting) override { waitCursor += waiting ? 1 : -1; }
  void ShowProgressWindow(std::string_view caption, std::string_view label) override {
    progressShown = true;
    progressCaption = caption;
    progressText = label;
    progressPercent = 0;
    ++progressUpdates;
  }
  void SetProgress(int percent, std::string_view text) override {
    progressPercent = percent;
    progressText = text;
    ++progressUpdates;
  }
  void HideProgressWindow() override { progressShown = false; }

  // ---- Dialogs of the load flow: the image file-open dialog and Choose Device ----

  // Answers with the next of `fileAnswers` (cancel when none is left); an empty path cancels.
  std::filesystem::path ChooseImageFile(const std::filesystem::path& folder) override {
    fileDialogFolders.push_back(folder);
    if (fileAnswers.empty()) return {};
    std::filesystem::path answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }

  // Answers with the next of `chooserAnswers` (Cancel when none is left). A series or type that
  // the dialog does not offer is recorded in `chooserMisses` and answered with Cancel.
  bool RunDeviceChooser(device_select::DeviceChooser& chooser) override {
    choosers.push_back({chooser.texts().caption, chooser.seriesList(), chooser.typeList(), chooser.selectedSeries(),
                        chooser.selectedType()});
    if (chooserAnswers.empty()) return false;
    const ChooserAnswer answer = chooserAnswers.front();
    chooserAnswers.pop_front();
    if (!answer.series.empty() && !Select(chooser.seriesList(), answer.series,
                                          [&chooser](int i) { chooser.SelectSeries(i); })) {
      return false;
    }
    if (!answer.type.empty() &&
        !Select(chooser.typeList(), answer.type, [&chooser](int i) { chooser.SelectType(i); })) {
      return false;
    }
    if (answer.ok) chooser.Confirm();
    return answer.ok;
  }

  std::deque<std::filesystem::path> fileAnswers;
  std::vector<std::filesystem::path> fileDialogFolders;
  std::deque<ChooserAnswer> chooserAnswers;
  std::vector<ShownChooser> choosers;
  std::vector<std::string> chooserMisses;

  // ---- The Rolling Code dialog ----

  // The dialog's controls as the presenter left them, and the operator's script: it gets the
  // dialog and its controls once the dialog has started, clicks like an operator, and returns
  // true for OK (the fake then calls OnOk) or false for Cancel. Without a script: Cancel.
  class RollingControls final : public rolling::RollingDialogView {
   public:
    void SetText(int id, std::string_view text) override { controls[id].text = text; }
    std::string Text(int id) const override {
      const auto found = controls.find(id);
      return found == controls.end() ? std::string() : found->second.text;
    }
    void Enable(int id, bool enabled) override { controls[id].enabled = enabled; }
    void SetChecked(int id, bool checked) override { controls[id].checked = checked; }
    bool IsChecked(int id) const override {
      const auto found = controls.find(id);
      return found != controls.end() && found->second.checked;
    }
    std::map<int, FakeControl> controls;
  };
  using RollingScript = std::function<bool(rolling::RollingDialog& dialog, RollingControls& controls)>;

  bool RunRollingCodeDialog(rolling::RollingDialog& dialog) override {
    ++rollingDialogRuns;
    rollingControls = RollingControls();
    dialog.Start(rollingControls);
    if (!rollingScript || !rollingScript(dialog, rollingControls)) return false;
    dialog.OnOk(rollingControls);
    return true;
  }

  RollingScript rollingScript;
  RollingControls rollingControls;
  int rollingDialogRuns = 0;

  // ---- The Writer jobs: the worker's run and the commands ----
  // Keeps the status line each job showed at its start.
  void WriterJobStarted(BusyText busyText) override {
    busyLines.push_back(busyText("", 0));
    ++writerJobsStarted;
  }
  void WriterJobEnded() override { ++writerJobsEnded; }
  std::vector<std::string> busyLines;
  mutable std::mutex seriesMutex;
  std::string seriesLine;
  std::atomic<int> writerJobsStarted{0};
  std::atomic<int> writerJobsEnded{0};

  // ---- The production record ----
  void ShowChipResult(Verdict shownVerdict, std::string_view text, std::string_view detail) override {
    verdict = shownVerdict;
    verdictText = text;
    resultDetail = detail;
    bands.push_back(std::string(text) + "|" + std::string(detail));
  }
  void ShowCounters(std::string_view job, std::string_view today) override {
    jobCounters = job;
    todayCounters = today;
  }
  void ShowSeries(std::string_view line) override {
    const std::lock_guard lock(seriesMutex);
    seriesLine = line;
  }
  std::string SeriesLine() const {
    const std::lock_guard lock(seriesMutex);
    return seriesLine;
  }
  // Answers with `exportAnswer` (Cancel when it is unset).
  bool ChooseExport(const std::filesystem::path& folder, std::string_view suggestedName, bool jobLoaded,
                    const ExportTexts& texts, ExportChoice& choice) override {
    exportFolder = folder;
    exportSuggestedName = suggestedName;
    exportJobLoaded = jobLoaded;
    exportTexts = texts;
    if (!exportAnswer) return false;
    choice = *exportAnswer;
    return true;
  }
  Verdict verdict = Verdict::None;
  std::string verdictText;
  // Every band shown, "text|detail", first to last.
  std::vector<std::string> bands;
  std::string resultDetail;
  std::string jobCounters;
  std::string todayCounters;
  std::optional<ExportChoice> exportAnswer;
  std::filesystem::path exportFolder;
  std::string exportSuggestedName;
  bool exportJobLoaded = false;
  ExportTexts exportTexts;

  std::string caption;
  std::map<int, FakeControl> controls;
  std::string status;
  mutable std::mutex statusMutex;
  std::vector<ShownMessage> messages;
  std::deque<int> answers;
  std::vector<std::string> aboutItems;
  std::vector<bool> aboutBoxes;
  int waitCursor = 0;
  bool progressShown = false;
  std::string progressCaption;
  std::string progressText;
  int progressPercent = -1;
  int progressUpdates = 0;

 private:
  template <typename SelectAt>
  bool Select(const std::vector<std::string>& list, const std::string& text, SelectAt select) {
    const auto found = std::find(list.begin(), list.end(), text);
    if (found == list.end()) {
      chooserMisses.push_back(text);
      return false;
    }
    select(static_cast<int>(found - list.begin()));
    return true;
  }
};

}  // namespace vx3::testing
