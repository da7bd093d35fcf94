// The main window in Qt widgets: the controls of the window layout at their places, and the
// MainView calls carried out on the window's own thread.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "app/main_view.h"

class QAction;
class QButtonGroup;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTimer;

namespace vx3::gui {
class ProgressDialog;
}

namespace vx3::app {
class MainPresenter;
}

namespace vx3::gui {

class MainWindow final : public QDialog, public app::MainView {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Routes the controls' clicks to the presenter's handlers.
  void ConnectPresenter(app::MainPresenter& presenter);

  // The control with the layout id `id` (null for an unknown id).
  QWidget* Control(int id) const { return controls_.value(id, nullptr); }
  // Dialog units to pixels, through the window font's metrics.
  QRect DialogUnitsToPixels(int x, int y, int width, int height) const;

  // MainView
  void AppendStatusText(std::string_view text) override;
  int ShowMessageBox(std::string_view text, std::string_view caption, int type) override;
  void SetWindowCaption(std::string_view caption) override;
  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id) const override;
  void EnableControl(int id, bool enabled) override;
  void ShowControl(int id, bool shown) override;
  void SetChecked(int id, bool checked) override;
  void SetStatusText(std::string_view text) override;
  std::string StatusText() const override;
  void AddAboutMenuItem(std::string_view text) override;
  void ShowAboutBox(bool chinese) override;
  void SetWaitCursor(bool waiting) override;
  void ShowProgressWindow(std::string_view caption, std::string_view label) override;
  void SetProgress(int percent, std::string_view text) override;
  void HideProgressWindow() override;
  void ShowPendingStatus() override;
  void WriterJobStarted(BusyText busyText) override;
  void WriterJobEnded() override;
  bool RunRollingCodeDialog(rolling::RollingDialog& dialog) override;
  void ShowChipResult(Verdict verdict, std::string_view verdictText, std::string_view detail) override;
  void ShowCounters(std::string_view jobLine, std::string_view todayLine) override;
  void ShowSeries(std::string_view line) override;
  bool ChooseExport(const std::filesystem::path& folder, std::string_view suggestedName, bool jobLoaded,
                    const ExportTexts& texts, ExportChoice& choice) override;

  // ---- Dialogs of the load flow: the image file-open dialog and Choose Device ----
  std::filesystem::path ChooseImageFile(const std::filesystem::path& folder) override;
  bool RunDeviceChooser(device_select::DeviceChooser& chooser) override;

  ProgressDialog* progressDialog() const { return progress_; }
  // True while the window shows a Writer job running (until its end has come through the queue).
  bool ShowsWriterJob() const { return writerJobs_ > 0; }

 signals:
  void AboutRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void CreateControls();
  // The production record's band below the historic layout: the last chip's result and the counters.
  void CreateRecordDisplay();
  // Runs `work` on the window's thread and waits for it.
  void OnGuiThread(const std::function<void()>& work) const;
  // The window's thread's half of OnGuiThread called from another thread.
  Q_INVOKABLE void RunHandedOverWork();
  // The window's thread's half of WriterJobEnded: the busy look goes with the last job, and a
  // close that was refused while the job ran is made now.
  Q_INVOKABLE void EndWriterJob();
  // The status line while a Writer job runs, refreshed by busyTimer_.
  void ShowBusyLine();
  // The control's enabled state as the presenter set it, less the busy look.
  void ApplyEnabled(int id);
  // ApplyEnabled for every control that looks disabled while a Writer job runs.
  void ApplyBusyLook();
  // Puts the status lines not yet shown into the box and paints it.
  void FlushStatusText();

  QHash<int, QWidget*> controls_;
  QPlainTextEdit* statusBox_ = nullptr;
  QButtonGroup* functionGroup_ = nullptr;
  ProgressDialog* progress_ = nullptr;
  // The window's own menu (right mouse button): the record's export, then the About item.
  QMenu* windowMenu_ = nullptr;
  QAction* exportAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  // The last chip's result (a coloured panel with the verdict large and the detail under it)
  // and the counters of the job and of today.
  QFrame* resultPanel_ = nullptr;
  QLabel* verdictLabel_ = nullptr;
  QLabel* detailLabel_ = nullptr;
  // The two labels' own fonts: a text too wide for the band is shown smaller than these.
  QFont verdictFont_;
  QFont detailFont_;
  QFont countersFont_;  // the counters' own size, which a long line is set smaller than
  QLabel* jobCounters_ = nullptr;
  QLabel* todayCounters_ = nullptr;
  QLabel* seriesLine_ = nullptr;
  int baseUnitX_ = 6;
  int baseUnitY_ = 13;
  // Status lines waiting to be shown, and the interval that decides whether a line shows at once.
  QString pendingStatus_;
  bool flushQueued_ = false;
  QElapsedTimer statusWindow_;
  int linesInStatusWindow_ = 0;
  int waitCursorDepth_ = 0;
  // Enabled states as the presenter set them; while a Writer job runs the Writer command buttons
  // look disabled whatever they hold, and get it back at its end.
  QHash<int, bool> enabled_;
  // The running Writer jobs, the status line they show, what the job itself put there, and the
  // status line's text of before.
  int writerJobs_ = 0;
  BusyText busyText_;
  QElapsedTimer busyClock_;
  QTimer* busyTimer_ = nullptr;
  QString statusValue_;
  QString jobProgress_;
  // Asked before the window closes; a refused close is made again when the worker has ended.
  std::function<bool()> closeGuard_;
  bool closeRefused_ = false;
  // The work another thread has handed to the window's thread, one caller at a time.
  mutable std::mutex handOverMutex_;
  mutable std::atomic<const std::function<void()>*> handedOver_{nullptr};
};

}  // namespace vx3::gui
