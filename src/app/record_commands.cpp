// The production record's own commands: it is opened with the window, its counters start again
// on the operator's word, and it is exported to a CSV file the operator chooses.
#include <optional>
#include <string>
#include <vector>

#include <fmt/chrono.h>
#include <fmt/format.h>

#include "app/main_presenter.h"
#include "app/production_record.h"
#include "ledger/ledger_texts.h"
#include "platform/utf8_path.h"
#include "ui_text/message_box.h"

namespace vx3::app {

using namespace vx3::text;  // NOLINT(google-build-using-namespace): the UI text keys read best bare.

namespace {

constexpr std::string_view kParagraphBreak = "\r\n\r\n";
constexpr std::string_view kExportFolder = "Writer_Log";
constexpr std::string_view kExportNameFormat = "production-{:%Y-%m-%d}.csv";

ledger::ExportScope LedgerScope(MainView::ExportScope scope) {
  switch (scope) {
    case MainView::ExportScope::Job: return ledger::ExportScope::Job;
    case MainView::ExportScope::Today: return ledger::ExportScope::Today;
    case MainView::ExportScope::All: break;
  }
  return ledger::ExportScope::All;
}

}  // namespace

void MainPresenter::OpenProductionRecord() {
  ProductionRecord& record = context_.record;
  if (!record.Opened()) record.Open(context_.ledgerOpener, context_.state.DataDir(), context_.clock);
  // A record copied from another PC or folder: the operator decides at once whether this is a
  // new station (No, the default, keeps it a copy that issues nothing).
  std::optional<ledger::LedgerStatus> adoption;
  if (const std::string copiedFrom = record.CopiedFrom(); !copiedFrom.empty()) {
    const int answer = view_.ShowMessageBox(ledger::AdoptQuestionText(context_.language, copiedFrom),
                                            context_.state.windowCaption,
                                           box::kYesNo | box::kIconQuestion | box::kDefaultSecond);
    if (answer == answer::kYes) adoption = record.Adopt({});
  }
  const std::vector<std::string> notes = record.Notes(context_.language);
  const bool writerRefused = context_.writerAccess.Refused();
  // The welcome text ends without a line end: what the opening found starts a paragraph.
  if (!notes.empty() || adoption || record.ledger() == nullptr || writerRefused) {
    context_.reporter.AppendStatusText(kParagraphBreak);
  }
  for (const std::string& note : notes) {
    context_.reporter.ReportStatus(note, Severity::NoteLine);
  }
  if (adoption && *adoption) {
    context_.reporter.ReportStatus(context_.language.Text(IDS_Ledger_Adopted), Severity::NoteLine);
  } else if (adoption) {
    context_.reporter.ReportStatus(context_.language.Format(IDS_Ledger_NotAdopted, {adoption->error}),
                                   Severity::ErrorLine);
  }
  if (record.ledger() == nullptr) {
    context_.reporter.ReportStatus(context_.language.Format(IDS_Ledger_NotOpen, {record.error()}),
                                   Severity::ErrorLine);
  }
  // The window runs while another program holds the Writer, and says so at start; each Writer
  // command refuses with the same line.
  if (writerRefused) {
    context_.reporter.ReportStatus(context_.writerAccess.RefusalText(context_.language), Severity::ErrorLine);
  }
  ShowCounters(context_, view_);
}

void MainPresenter::OnResetCounters() {
  // The counters belong to the job running, if any; they start again once it has ended.
  if (WriterJobActive()) return;
  ledger::ProductionLedger* ledger = context_.record.ledger();
  if (ledger == nullptr) {
    context_.reporter.ReportStatus(context_.language.Format(IDS_Ledger_NotOpen, {context_.record.error()}),
                                   Severity::ErrorLine);
    return;
  }
  // The operator confirms first; Enter, or a view that nobody answers, keeps the counters.
  const int reply = view_.ShowMessageBox(context_.language.Text(IDS_Ledger_ResetQuestion), context_.state.windowCaption,
                                         box::kYesNo | box::kIconQuestion | box::kDefaultSecond);
  if (reply != answer::kYes) return;
  if (const ledger::LedgerStatus status = ledger->ResetCounters(context_.record.job); !status) {
    context_.reporter.ReportStatus(context_.language.Format(IDS_Ledger_NotOpen, {status.error}), Severity::ErrorLine);
    return;
  }
  context_.reporter.ReportStatus(context_.language.Text(IDS_Ledger_CountersWereReset), Severity::NoteLine);
  ShowCounters(context_, view_);
}

void MainPresenter::OnExportRecord() {
  // The export shows the record as it stands between commands, never half of a chip's.
  if (WriterJobActive()) return;
  ledger::ProductionLedger* ledger = context_.record.ledger();
  if (ledger == nullptr) {
    context_.reporter.ReportStatus(context_.language.Format(IDS_Ledger_ExportFailed, {context_.record.error()}),
                                   Severity::ErrorLine);
    return;
  }
  const ledger::JobId job = context_.record.job;
  const std::filesystem::path folder = context_.state.DataDir() / platform::PathFromUtf8(kExportFolder);
  const std::string suggested = fmt::format(kExportNameFormat, context_.clock.LocalNow());
  const Language& language = context_.language;
  const MainView::ExportTexts texts{language.Text(IDS_Ledger_ExportCaption), language.Text(IDS_Ledger_ExportJob),
                                    language.Text(IDS_Ledger_ExportToday),   language.Text(IDS_Ledger_ExportAll),
                                    language.Text(IDS_Ledger_CsvFilter),     language.Text(IDS_OK),
                                    language.Text(IDS_CANCEL)};
  MainView::ExportChoice choice;
  if (!view_.ChooseExport(folder, suggested, job != 0, texts, choice) || choice.file.empty()) return;
  if (choice.scope == MainView::ExportScope::Job && job == 0) return;
  const ledger::LedgerStatus status = ledger->ExportCsv(LedgerScope(choice.scope), job, choice.file);
  if (!status) {
    context_.reporter.ReportStatus(context_.language.Format(IDS_Ledger_ExportFailed, {status.error}),
                                   Severity::ErrorLine);
    return;
  }
  context_.reporter.ReportStatus(
      context_.language.Format(IDS_Ledger_Exported, {platform::PathToUtf8(choice.file)}), Severity::NoteLine);
}

}  // namespace vx3::app
