// The main window's behaviour: its start state, its texts in the language in force, the
// off-line function radios, the language switch, the About box and the Writer commands.
#pragma once

#include <string>

#include "app/app_context.h"
#include "app/main_view.h"
#include "app/worker_thread.h"

namespace vx3::app {

class MainPresenter {
 public:
  MainPresenter(AppContext& context, MainView& view) : context_(context), view_(view) {}
  ~MainPresenter();
  MainPresenter(const MainPresenter&) = delete;
  MainPresenter& operator=(const MainPresenter&) = delete;

  // Puts the window into its start state; reporting and progress go to the window from here on.
  void OnInitWindow();

  // Captions of the main window's controls from the language file in force.
  void ApplyMainWindowTexts();

  void OnFunction0Clicked();
  void OnFunction6Clicked();
  void SwitchToChinese();
  void SwitchToEnglish();
  void OnAbout();

  // The Writer commands of the operation buttons (operation_commands.cpp).
  void OnDeviceLoad();
  void OnOneKeyLoad();
  void OnAutoProgram();
  void OnBlankCheck();
  void OnProgram();
  void OnVerify();
  void OnRead();
  void OnRollingCode();
  void OnLoadOtp();

  // The welcome text of the status box.
  std::string WelcomeText() const;

  // The window asks before it closes: true when it may close now. While the worker's job runs
  // the answer is false, the status box says that the window waits for it, and the window is
  // told by WorkerEnded to close then; the Writer's EEPROM is never left half written.
  bool OnCloseRequested();
  // True while the worker runs (its busy flag, or its rolling-code download).
  bool WorkerActive() const;
  // Waits for the worker's run to end (tests; the window waits through WorkerEnded instead).
  void WaitForWorker() { worker_.Join(); }

 private:
  struct LanguageChoice;
  void SwitchLanguage(const LanguageChoice& choice);
  bool ConnectStep();
  void ReportNoWriter();
  void DisableOperationButtons();
  bool PrepareChipCommand();
  bool RunChipAction(std::uint8_t action);
  void ProgramChip(std::uint8_t action);

  AppContext& context_;
  MainView& view_;
  WorkerThread worker_{context_, view_};
  bool closePending_ = false;
};

}  // namespace vx3::app
