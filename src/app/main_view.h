// The main window as the presenter sees it: controls by id, the status box, message boxes and
// the window's own dialogs. gui/ implements it with Qt widgets; tests use a scripted fake.
// Every call may come from the worker thread; the implementation carries it to its own thread
// and returns when it is done there.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "ui_text/report_view.h"
#include "writer_ops/progress_view.h"

namespace vx3::rolling {
class RollingDialog;
}

namespace vx3::device_select {
class DeviceChooser;
}

namespace vx3::app {

class MainView : public text::ReportView, public writer_ops::ProgressView {
 public:
  virtual void SetWindowCaption(std::string_view caption) = 0;
  virtual void SetControlText(int id, std::string_view text) = 0;
  virtual std::string ControlText(int id) const = 0;
  virtual void EnableControl(int id, bool enabled) = 0;
  virtual void ShowControl(int id, bool shown) = 0;
  virtual void SetChecked(int id, bool checked) = 0;

  // Replaces the whole status box text (lines end in "\r\n") and repaints it at once.
  virtual void SetStatusText(std::string_view text) = 0;
  virtual std::string StatusText() const = 0;

  // Adds the About item (after a separator) to the window's system menu, or to whatever the
  // platform offers in its place.
  virtual void AddAboutMenuItem(std::string_view text) = 0;
  // Opens the About box modally, in Chinese or in English.
  virtual void ShowAboutBox(bool chinese) = 0;

  // The wait cursor while a command runs.
  virtual void SetWaitCursor(bool waiting) = 0;

  // ---- Dialogs of the load flow: the image file-open dialog and Choose Device ----

  // The image file-open dialog, owned by the window and opened in `folder`: it lists "VX3
  // File(*.VX3)" files only, and a file of any other name (a .BIN image) is chosen by typing its
  // name. Returns the chosen path; empty when the operator cancels.
  virtual std::filesystem::path ChooseImageFile(const std::filesystem::path& folder) = 0;

  // Choose Device, modal over the window, showing and driving `chooser` (already opened). True
  // when the operator confirmed (OK or a double click on a type): `chooser` then holds the choice.
  virtual bool RunDeviceChooser(device_select::DeviceChooser& chooser) = 0;

  // ---- The Rolling Code dialog ----

  // Runs the Rolling Code dialog modally over `dialog` (it fills the controls and takes the
  // clicks); true when the operator pressed OK, after dialog.OnOk has taken the choices.
  virtual bool RunRollingCodeDialog(rolling::RollingDialog& dialog) = 0;

  // ---- The Writer jobs: the worker's run and the commands ----

  // The text of the status line while a job runs: `progress` is what the job last put into the
  // status line itself (empty: nothing yet), `seconds` how long it has run.
  using BusyText = std::function<std::string(std::string_view progress, int seconds)>;

  // A Writer job is about to start (called before its thread starts): until the matching
  // WriterJobEnded the window keeps painting, shows busyText in its status line and refreshes it
  // while the job runs, and its Writer command buttons look disabled. Jobs may overlap (the
  // worker started by a command): the window is busy until the last one has ended.
  virtual void WriterJobStarted(BusyText busyText) = 0;
  // A Writer job has ended (called on the job's thread, must not wait for the window): the
  // window is no longer busy once every job has ended, and a close that waited for it goes on.
  virtual void WriterJobEnded() = 0;

  // ---- The production record: the last chip's result and the counters ----

  enum class Verdict { None, Pass, Fail, Unknown, NoSerial, Running, NotRun, NoChip };
  // The result of the last chip command, to be read at arm's length: `verdictText` large ("PASS"
  // in green, "FAIL" in red, the unknown outcome as a failure), `detail` under it (the action and
  // the serial value). Verdict::None clears the display (a new load). Verdict::Running: a chip
  // command is under way ("AUTO PROGRAM ...", neutral, no result colour). Verdict::NotRun (the
  // command never reached the chip, `detail` why) and Verdict::NoChip (the Writer found its
  // socket empty) are in amber, as is Verdict::NoSerial, no chip's result but a warning: the
  // loaded job's serial numbers cannot be made (`verdictText` "No serial numbers", `detail` the
  // reason). Both texts must fit the band.
  virtual void ShowChipResult(Verdict verdict, std::string_view verdictText, std::string_view detail) = 0;
  // The counters of the loaded job and of today, one line each, in the language in force.
  virtual void ShowCounters(std::string_view jobLine, std::string_view todayLine) = 0;
  // The shared series of the job, its block and the values left, one line; empty hides it (no
  // series).
  virtual void ShowSeries(std::string_view line) = 0;

  // What the operator asked to export: the scope, and the CSV file to write.
  enum class ExportScope { Job, Today, All };
  struct ExportChoice {
    ExportScope scope = ExportScope::Job;
    std::filesystem::path file;
  };
  // What the export's dialogs say, in the language in force (the window keeps no language).
  struct ExportTexts {
    std::string caption;
    std::string jobScope;
    std::string todayScope;
    std::string allScope;
    std::string csvFilter;  // the save dialog's filter, with its pattern: "CSV file (*.csv)"
    std::string ok;
    std::string cancel;
  };
  // Asks what to export and where (the scope, then the file to save, a ".csv" offered in
  // `folder` as `suggestedName`); false when the operator cancels. `jobLoaded` false: the loaded
  // job cannot be chosen.
  virtual bool ChooseExport(const std::filesystem::path& folder, std::string_view suggestedName, bool jobLoaded,
                            const ExportTexts& texts, ExportChoice& choice) = 0;
};

}  // namespace vx3::app
