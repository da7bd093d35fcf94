// The main window's behaviour: its start state, its texts in the language in force, the
// off-line function radios, the language switch, the About box and the Writer commands.
#pragma once

#include <optional>
#include <string>

#include "app/app_context.h"
#include "app/job_thread.h"
#include "app/main_view.h"
#include "app/production_record.h"
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

  // The production record: the counters start again from zero once the operator says Yes to the
  // question (nothing is deleted), and the
  // record of the loaded job, of today or of all is written to a CSV file the operator chooses.
  void OnResetCounters();
  void OnExportRecord();

  // The welcome text of the status box.
  std::string WelcomeText() const;

  // The window asks before it closes: true when it may close now. While a Writer job runs the
  // first answer is false, the status box says that the window waits for it, and the window is
  // told by WriterJobEnded to close then; the Writer's EEPROM is never left half written. A
  // second close while the job still runs asks whether to close anyway: Yes logs that the
  // program closed without the Writer's answer and gives true (see ClosedAnyway).
  bool OnCloseRequested();
  // True when the operator closed the window while a Writer job was still running: the job may
  // never end, and the process may end without waiting for it.
  bool ClosedAnyway() const { return closedAnyway_; }
  // True while a Writer job runs: the worker (its busy flag, or its rolling-code download) or a
  // command.
  bool WriterJobActive() const;
  // Waits for the Writer jobs to end (tests; the window waits through WriterJobEnded instead).
  void WaitForWriterJobs();

 private:
  struct LanguageChoice;
  void SwitchLanguage(const LanguageChoice& choice);
  // One line when the language file now in force holds lines in neither UTF-8 nor its code page.
  void WarnOfUnreadableLanguageFile();
  // Runs `job` as the command `name` on the command thread; false when a Writer job already runs.
  bool StartCommand(text::UiText name, void (MainPresenter::*job)());
  // Opens the production record of the data folder, once, and says in the status box what the
  // opening found.
  void OpenProductionRecord();
  bool ConnectStep();
  void ReportNoWriter();
  void DisableChipButtons();
  bool PrepareChipCommand();
  bool RunChipAction(std::uint8_t action);
  // Runs the chip action and records its result (with the value issued for it, if any).
  writer_ops::ChipActionResult RecordedChipAction(std::uint8_t action, const std::optional<ChipSerial>& serial);
  void ProgramChip(std::uint8_t action);
  // The commands' work, on the command thread.
  // A chip command's job: the band shows it running, `body` does the work, and a command that
  // never reached the chip shows NOT RUN with its reason.
  void ChipCommand(std::uint8_t action, void (MainPresenter::*body)());
  void AutoProgramJob();
  void AutoProgramChip();
  void ProgramJob();
  void ProgramOnlyChip();
  void BlankCheckJob();
  void BlankCheckChip();
  void VerifyJob();
  void VerifyChip();
  void ReadJob();
  void ReadChip();
  void RollingCodeJob();
  void LoadOtpJob();

  AppContext& context_;
  MainView& view_;
  WorkerThread worker_{context_, view_};
  // The command that runs or ran last (the window's thread only).
  text::UiText commandName_ = text::IDS_AutoProgram;
  bool closePending_ = false;
  bool askingToClose_ = false;
  bool closedAnyway_ = false;
  // Last, so that a command's thread is joined before anything it uses goes.
  JobThread commands_{[this] { view_.WriterJobEnded(); }};
};

}  // namespace vx3::app
