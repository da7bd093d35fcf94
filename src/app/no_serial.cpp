#include "app/no_serial.h"

#include "app/worker_thread.h"
#include "link/command_codes.h"
#include "rolling/rolling_record.h"
#include "ui_text/message_box.h"
#include "writer_ops/chip_actions.h"

namespace vx3::app {

namespace {

std::string Reason(const AppContext& context) { return rolling::NoSerialText(context.rolling.noSerial, context.language); }

// The reason, and the operator's answer when there is one, in the job row. A record that cannot
// take it says so; the chips are not held up for it, as they are for a value.
void NoteInJobRow(AppContext& context, bool programWithout) {
  ledger::ProductionLedger* record = context.record.ledger();
  const ledger::JobId job = context.record.job;
  if (record == nullptr || job == 0) return;
  if (const ledger::LedgerStatus status = record->NoteNoSerial(job, Reason(context), programWithout); !status) {
    context.reporter.ReportStatus(context.language.Format(text::IDS_Ledger_NotOpen, {status.error}),
                                  text::Severity::ErrorLine);
  }
}

}  // namespace

std::string NoSerialLine(const AppContext& context) {
  if (!SerialsMissing(context)) return {};
  return context.language.Format(text::IDS_NoSerial_Line, {Reason(context)});
}

void ReportNoSerial(AppContext& context, MainView& view) {
  if (!SerialsMissing(context)) return;
  context.reporter.ReportStatus(NoSerialLine(context), text::Severity::ErrorLine);
  ShowNoSerialBand(context, view);
  NoteInJobRow(context, context.rolling.programWithoutSerials);
}

bool ShowNoSerialBand(AppContext& context, MainView& view) {
  if (!SerialsMissing(context)) return false;
  view.ShowChipResult(MainView::Verdict::NoSerial, context.language.Text(text::IDS_NoSerial_Verdict), Reason(context));
  return true;
}

bool ProgramWithoutSerialsAllowed(AppContext& context, MainView& view, bool& answeredNow) {
  answeredNow = false;
  if (!SerialsMissing(context) || context.rolling.programWithoutSerials) return true;
  const int answer = view.ShowMessageBox(context.language.Text(text::IDS_NoSerial_Question), text::kWarningCaption,
                                         text::box::kYesNo | text::box::kIconQuestion | text::box::kDefaultSecond);
  const bool yes = answer == text::answer::kYes;
  NoteInJobRow(context, yes);
  if (!yes) {
    // The command's status box says why nothing was sent; the band says it still.
    view.SetStatusText("");
    context.reporter.ReportStatus(NoSerialLine(context), text::Severity::ErrorLine);
    ShowNoSerialBand(context, view);
    context.state.lastResult = CommandResult::SerialRefused;
    return false;
  }
  context.rolling.programWithoutSerials = true;
  answeredNow = true;
  return true;
}

bool WriterGivesNoValue(AppContext& context, MainView& view) {
  context.reporter.ReportStatus(context.language.Text(text::IDS_NoSerial_Chosen), text::Severity::NoteLine);
  writer_ops::EepromHeader header;
  if (!writer_ops::ReadBackHeader(context.writer(), link::command::kReadHeader, header)) {
    context.rolling.programWithoutSerials = false;
    context.state.lastResult = CommandResult::NoWriter;
    return false;
  }
  rolling::RollingSettings fromWriter = context.rolling;
  rolling::ParseRollingRecord(header.bytes, fromWriter, rolling::IsByteWordDevice(context.image.deviceName));
  if (fromWriter.method == rolling::RollingMethod::NotUsed) return true;
  // The INI broke after the job was downloaded: the Writer would go on counting values that no
  // record holds. The settings are off, so the record sent is the one of no rolling code.
  if (DownloadRollingRecord(context, view)) return true;
  context.rolling.programWithoutSerials = false;
  return false;
}

}  // namespace vx3::app
