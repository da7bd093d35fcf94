// The worker that prepares the Writer after each load: its firmware, the version shown in the
// window, the EEPROM job with its verify, and the rolling-code download. One run at a time, on
// a thread of its own, so that the window stays responsive.
#pragma once

#include <atomic>
#include <thread>

#include "app/app_context.h"
#include "app/main_view.h"
#include "ui_text/ui_texts.h"

namespace vx3::app {

// Program, then Verify, of the EEPROM job named `label`; each success is logged under a new
// event with its text. Stops at the first failure, which the download has reported.
void DownloadEepromJob(AppContext& context, std::string_view label, text::UiText programOk, text::UiText verifyOk);

class WorkerThread {
 public:
  WorkerThread(AppContext& context, MainView& view) : context_(context), view_(view) {}
  // Waits for a run that is still going: the run state and the bridge outlive every transfer.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts a run on a new thread and returns at once. Nothing happens while a run is going.
  void Start();
  // True from Start until the run has made its last call to the Writer and the window (the
  // rolling-code download included); the window is told by WorkerEnded when it turns false.
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // Waits until the run that is going (if any) has ended.
  void Join();
  // The window is closing: the run finishes the Writer job it is in, but opens no dialog.
  void RequestStop() { stopRequested_.store(true); }

  // The run itself on the calling thread; returns 1.
  int Run();

 private:
  AppContext& context_;
  MainView& view_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
};

}  // namespace vx3::app
