#include "app/main_presenter.h"

#include <string_view>

#include "app/control_ids.h"
#include "app/program_names.h"
#include "app/startup.h"
#include "platform/utf8_path.h"
#include "ui_text/message_box.h"

namespace vx3::app {

using namespace vx3::text;  // NOLINT(google-build-using-namespace): the UI text keys read best bare.

struct MainPresenter::LanguageChoice {
  std::string_view fileName;
  int localeId;
  std::string_view refusedMessage;
  bool english;
};

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kParagraphBreak = "\r\n\r\n";

struct ControlText {
  UiText text;
  int control;
};

// The Blank Check button is handled apart: its text depends on the chip.
constexpr ControlText kMainWindowTexts[] = {
    {IDS_STR_PROMPT, ctl::kDeviceLoad},         {IDS_STR_PROMPT2, ctl::kOneKeyLoad},
    {IDS_Operation_Mode, ctl::kOfflineGroup},   {IDS_RADIO_Fun0, ctl::kFunction0},
    {IDS_RADIO_Fun6, ctl::kFunction6},          {IDS_Read, ctl::kOnlineGroup},
    {IDS_AutoProgram, ctl::kAutoProgram},       {IDS_ProgramOnly, ctl::kProgram},
    {IDS_Verify, ctl::kVerify},                 {IDS_ReadProgram, ctl::kRead},
    {IDS_RollingCode, ctl::kRollingCode},       {IDS_LoadOTP, ctl::kLoadOtp},
    {IDS_FilePath, ctl::kFileNameCaption},      {IDS_CurrentStatus, ctl::kStatusCaption},
    {IDS_Device, ctl::kDeviceGroup},            {IDS_DriverVersion, ctl::kDriverVersionCaption},
    {IDS_About, ctl::kAbout},                   {IDS_CheckSum, ctl::kChecksumCaption},
};

}  // namespace

MainPresenter::~MainPresenter() {
  // The Writer jobs end before the run state, the link and the window they use.
  WaitForWriterJobs();
  // Nothing may report into a window that is gone.
  context_.reporter.AttachView(nullptr);
  context_.progress.AttachView(nullptr);
}

std::string MainPresenter::WelcomeText() const {
  const Language& language = context_.language;
  return language.Text(IDS_EDIT_List) + "\r\n\r\n" + language.Text(IDS_EDIT_List_Web) + DataFolderNote(context_);
}

void MainPresenter::OnInitWindow() {
  RunState& state = context_.state;
  context_.reporter.AttachView(&view_);
  context_.progress.AttachView(&view_);

  const std::string aboutText = context_.language.Text(IDS_ABOUTBOX);
  if (!aboutText.empty()) view_.AddAboutMenuItem(aboutText);

  const std::string programPath = platform::PathToUtf8(state.programPath);
  const LanguageFileName languageFile = DeriveLanguageFile(programPath, kEnglishFileName);
  state.languageTailLength = languageFile.tailLength;
  context_.language.SetFile(platform::PathFromUtf8(languageFile.path));
  state.windowCaption = DeriveWindowCaption(programPath);
  view_.SetWindowCaption(state.windowCaption);

  for (const int id : {ctl::kAutoProgram, ctl::kBlankCheck}) view_.EnableControl(id, false);
  view_.ShowControl(ctl::kBlankCheck, false);
  for (const int id : {ctl::kProgram, ctl::kVerify, ctl::kRead, ctl::kRollingCode}) view_.EnableControl(id, false);
  view_.SetControlText(ctl::kDeviceName, "");

  view_.SetStatusText(WelcomeText());
  WarnOfUnreadableLanguageFile();
  OpenProductionRecord();

  for (const int id : {ctl::kProgramMcu, ctl::kOperateEeprom}) {
    view_.EnableControl(id, false);
    view_.ShowControl(id, false);
  }
  view_.ShowControl(ctl::kBlankCheck, true);
  for (const int id : {ctl::kFunction0, ctl::kFunction6}) {
    view_.EnableControl(id, true);
    view_.ShowControl(id, true);
  }
  view_.SetChecked(ctl::kFunction0, false);
  view_.SetChecked(ctl::kFunction6, true);

  view_.EnableControl(ctl::kLoadOtp, false);
  view_.ShowControl(ctl::kLoadOtp, false);

  ApplyMainWindowTexts();
  state.offlineFunction = kOfflineFunction6;
}

void MainPresenter::ApplyMainWindowTexts() {
  const Language& language = context_.language;
  for (const ControlText& entry : kMainWindowTexts) {
    view_.SetControlText(entry.control, language.Text(entry.text));
  }
  view_.SetControlText(ctl::kBlankCheck,
                       language.Text(context_.state.erasableChip ? IDS_Erase : IDS_BlankCheck));
  view_.SetControlText(ctl::kResetCounters, language.Text(IDS_Ledger_ResetCounters));
  view_.SetControlText(ctl::kExportRecord, language.Text(IDS_Ledger_Export));
  // The record's display follows the language at once, a Writer job running or not (the record
  // takes one caller at a time).
  ShowLastChip(context_, view_);
  ShowCounters(context_, view_);
}

void MainPresenter::OnFunction0Clicked() { context_.state.offlineFunction = kOfflineFunction0; }

void MainPresenter::OnFunction6Clicked() { context_.state.offlineFunction = kOfflineFunction6; }

void MainPresenter::SwitchToChinese() {
  SwitchLanguage({kChineseFileName, platform::kLocaleChineseSimplified, "No Chinese Simplified Character Set", false});
}

void MainPresenter::SwitchToEnglish() {
  SwitchLanguage({kEnglishFileName, platform::kLocaleEnglishUs, "No English Character Set", true});
}

void MainPresenter::SwitchLanguage(const LanguageChoice& choice) {
  RunState& state = context_.state;
  const std::string programPath = platform::PathToUtf8(state.programPath);
  const std::filesystem::path file =
      platform::PathFromUtf8(ReplaceLanguageTail(programPath, state.languageTailLength, choice.fileName));
  // Said once for each change of file, after the welcome text that a change of language writes.
  const bool fileChanged = context_.language.File() != file;
  context_.language.SetFile(file);

  if (context_.locale.Current() != choice.localeId) {
    if (!context_.locale.Set(choice.localeId)) {
      view_.ShowMessageBox(choice.refusedMessage, ProgramBaseName(programPath), box::kOk);
    } else {
      if (!state.loadAttempted) view_.SetStatusText(WelcomeText());
      ApplyMainWindowTexts();
      state.isEnglish = choice.english;
    }
  }
  if (fileChanged) WarnOfUnreadableLanguageFile();
}

void MainPresenter::WarnOfUnreadableLanguageFile() {
  const std::string line = UnreadableTextLine(context_.language);
  if (line.empty()) return;
  // The line stands apart from the welcome text, which ends without a line end of its own.
  const std::string shown = view_.StatusText();
  if (!shown.empty() && !shown.ends_with(kLineEnd)) context_.reporter.AppendStatusText(kParagraphBreak);
  context_.reporter.ReportStatus(line, Severity::NoteLine);
}

bool MainPresenter::OnCloseRequested() {
  if (!WriterJobActive()) return true;
  worker_.RequestStop();
  if (!closePending_) {
    closePending_ = true;
    context_.reporter.ReportAside(context_.language.Text(IDS_MESSAGE_WaitForWorker), Severity::NoteLine);
    return false;
  }
  // A close while the question is open (the job ended meanwhile) waits for its answer.
  if (askingToClose_) return false;
  askingToClose_ = true;
  const Language& language = context_.language;
  const int answer = view_.ShowMessageBox(language.Text(IDS_MESSAGE_CloseAnyway), kWarningCaption,
                                          box::kYesNo | box::kIconQuestion);
  askingToClose_ = false;
  if (!WriterJobActive()) return true;
  if (answer != answer::kYes) return false;
  const UiText job = context_.state.workerBusy.load() || worker_.Running() ? IDS_Busy_WriterJob : commandName_;
  context_.reporter.OpenNewEvent();
  context_.reporter.LogEvent(2, language.Format(IDS_MESSAGE_ClosedAnyway, {language.Text(job)}));
  closedAnyway_ = true;
  return true;
}

void MainPresenter::OnAbout() {
  view_.ShowAboutBox(context_.locale.Current() == platform::kLocaleChineseSimplified);
}

}  // namespace vx3::app
