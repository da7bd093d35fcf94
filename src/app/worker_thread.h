// The worker that prepares the Writer after each load: its firmware, the version shown in the
// window, the EEPROM job with its verify, and the rolling-code download. One run at a time, on
// a thread of its own, so that the window stays responsive.
#pragma once

#include <atomic>

#include "app/app_context.h"
#include "app/job_thread.h"
#include "app/main_view.h"
#include "ui_text/ui_texts.h"

namespace vx3::app {

// Program, then Verify, of the EEPROM job named `label`; each success is logged under a new
// event with its text. Stops at the first failure, which the download has reported: false then.
bool DownloadEepromJob(AppContext& context, std::string_view label, text::UiText programOk, text::UiText verifyOk);

// DownloadEepromJob; when it fails, the Writer holds no valid job: an error line says that the
// image must be loaded again, and the chip buttons go off until then.
bool DownloadJobOrStopChips(AppContext& context, MainView& view, std::string_view label, text::UiText programOk,
                            text::UiText verifyOk);

// The rolling record chosen in the Rolling Code dialog, downloaded as DownloadJobOrStopChips
// does, and recorded.
bool DownloadRollingRecord(AppContext& context, MainView& view);

// The status line of a running Writer job called `name`: what it does, and for how long.
MainView::BusyText BusyTextOf(const text::Language& language, text::UiText name);

class WorkerThread {
 public:
  WorkerThread(AppContext& context, MainView& view) : context_(context), view_(view) {}
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts a run on a new thread and returns at once. Nothing happens while a run is going.
  void Start();
  // True from Start until the run has made its last call to the Writer and the window (the
  // rolling-code download included); the window is told by WriterJobEnded when it turns false.
  bool Running() const { return thread_.Running(); }
  // Waits until the run that is going (if any) has ended.
  void Join() { thread_.Join(); }
  // The window is closing: the run finishes the Writer job it is in, but opens no dialog.
  void RequestStop() { stopRequested_.store(true); }

  // The run itself on the calling thread; returns 1.
  int Run();

 private:
  AppContext& context_;
  MainView& view_;
  std::atomic<bool> stopRequested_{false};
  // Last, so that it is joined before anything its run uses goes.
  JobThread thread_{[this] { view_.WriterJobEnded(); }};
};

}  // namespace vx3::app
