#include "app/worker_thread.h"

#include <fmt/format.h>

#include "app/control_ids.h"
#include "app/no_serial.h"
#include "app/production_record.h"
#include "app/rolling_dialog_command.h"
#include "app/rolling_commands.h"
#include "link/command_codes.h"
#include "writer_ops/eeprom_download.h"
#include "writer_ops/firmware_update.h"

namespace vx3::app {

namespace {

// The Writer's version word, high byte then low byte: 0x0105 shows as " 1.05".
constexpr std::string_view kVersionFormat = " {:x}.{:02x}";

}  // namespace

MainView::BusyText BusyTextOf(const text::Language& language, text::UiText name) {
  return [&language, name](std::string_view progress, int seconds) {
    const std::string what = progress.empty() ? language.Text(name) : std::string(progress);
    return language.Format(text::IDS_MESSAGE_Busy, {what, seconds});
  };
}

void WorkerThread::Start() {
  if (Running()) return;
  stopRequested_.store(false);
  view_.WriterJobStarted(BusyTextOf(context_.language, text::IDS_Busy_WriterJob));
  thread_.Start([this] { Run(); });
}

bool DownloadEepromJob(AppContext& context, std::string_view label, text::UiText programOk, text::UiText verifyOk) {
  const writer_ops::EepromDownload job{context.writer(),      context.image,    context.rolling,
                                       context.eepromHeader, context.progress, context.state.programDir,
                                       context.state.DataDir()};
  text::Reporter& reporter = context.reporter;
  if (!writer_ops::EepromAction(job, writer_ops::kEepromProgram, label)) return false;
  reporter.OpenNewEvent();
  reporter.LogEvent(1, context.language.Text(programOk));
  if (!writer_ops::EepromAction(job, writer_ops::kEepromVerify, label)) return false;
  reporter.OpenNewEvent();
  reporter.LogEvent(1, context.language.Text(verifyOk));
  return true;
}

bool DownloadJobOrStopChips(AppContext& context, MainView& view, std::string_view label, text::UiText programOk,
                            text::UiText verifyOk) {
  if (DownloadEepromJob(context, label, programOk, verifyOk)) {
    NoteWriterValue(context);
    return true;
  }
  // The Writer's EEPROM holds a broken job: its chips would be refused or, worse, programmed
  // from it. The failure lines stay in view, and no chip command runs until the next load.
  context.reporter.ReportStatus(context.language.Text(text::IDS_MESSAGE_NoValidJob), text::Severity::ErrorLine);
  for (const int id : ctl::kChipButtons) view.EnableControl(id, false);
  return false;
}

int WorkerThread::Run() {
  RunState& state = context_.state;
  state.workerBusy.store(true);
  state.lastResult = CommandResult::Ok;
  context_.record.SetJobRefusal({});
  context_.reporter.StartTranscript();
  const auto updateStart = context_.clock.SteadyNow();

  // The off-line mode is read at each query: the operator may switch it while the update runs.
  const writer_ops::FirmwareUpdate update{context_.writer(), context_.progress,          context_.clock,
                                          context_.firmware, context_.state.programDir, context_.image.deviceName,
                                          state.offlineFunction};
  const bool iapReady = writer_ops::UpdateIap(update);
  bool updated = context_.firmware.updatePerformed;
  const bool firmwareReady = iapReady && writer_ops::UpdateDriver(update);
  updated = updated || (iapReady && context_.firmware.updatePerformed);
  const std::int64_t updateMs = MillisecondsSince(context_, updateStart);
  const std::string updateTranscript = context_.reporter.Transcript();
  const bool hasImage = !context_.image.imagePath.empty();
  const bool rollingOn = context_.rolling.method != rolling::RollingMethod::NotUsed;

  std::optional<ledger::StartChoice> choice;
  context_.record.startNote.clear();
  context_.record.standaloneNote.clear();
  if (firmwareReady) {
    std::uint16_t version = 0;
    // A failed query has reported itself and leaves the version shown as it was.
    if (writer_ops::QueryWriter(update, link::command::kVersionQuery, version)) {
      view_.SetControlText(ctl::kDriverVersion, fmt::format(kVersionFormat, version >> 8, version & 0xFF));
    }
    // The job never starts below a value already used: the Writer may have counted on its own.
    if (hasImage && rollingOn) {
      choice = ChooseJobStartValue(context_);
      StartSeriesJob(context_, *choice);
    } else if (hasImage) {
      context_.series.EndJob(context_);
    }
  }
  if (hasImage) StartJobRecord(context_, view_, choice);
  if (updated || !firmwareReady) {
    RecordCommand(context_, ledger::ActionKind::FirmwareUpdate, firmwareReady ? ledger::Outcome::Pass : ledger::Outcome::Fail,
                  updateMs, std::nullopt, updateTranscript);
  }

  bool jobReady = false;
  if (firmwareReady) {
    if (hasImage) {
      context_.reporter.StartTranscript();
      const auto downloadStart = context_.clock.SteadyNow();
      jobReady = DownloadJobOrStopChips(context_, view_, writer_ops::kEepromJobLabel, text::IDS_MESSAGE_EEPROMOK,
                                        text::IDS_MESSAGE_VerifyOK);
      RecordCommand(context_, ledger::ActionKind::EepromDownload, jobReady ? ledger::Outcome::Pass : ledger::Outcome::Fail,
                    MillisecondsSince(context_, downloadStart),
                    rollingOn ? std::optional(CurrentRollingValue(context_)) : std::nullopt);
      if (!jobReady) state.lastResult = CommandResult::JobFailed;
    }
  } else {
    // The Writer's firmware is not what the job needs: no chip operation until the next load.
    for (const int id : ctl::kChipButtons) view_.EnableControl(id, false);
    state.lastResult = CommandResult::FirmwareFailed;
  }
  // No rolling-code download without a job in the Writer to carry it.
  if (!jobReady) context_.rolling.iniExists = false;
  context_.progress.HideProgress();
  state.workerBusy.store(false);

  if (context_.rolling.iniExists && context_.rolling.method == rolling::RollingMethod::AutoInc &&
      !stopRequested_.load()) {
    if (OpenRollingCodeDialog(context_, view_)) {
      view_.SetStatusText("");
      // Where the job's value came from stays in view with the job's new summary.
      if (!context_.record.standaloneNote.empty()) {
        context_.reporter.ReportStatus(context_.record.standaloneNote, text::Severity::NoteLine);
      }
      if (!context_.record.startNote.empty()) context_.reporter.ReportStatus(context_.record.startNote, text::Severity::NoteLine);
      for (const SeriesStation::Note& note : context_.series.LoadNotes()) {
        context_.reporter.ReportStatus(note.text, note.error ? text::Severity::ErrorLine : text::Severity::NoteLine);
      }
      ReloadRollingSettings(context_, true);
      view_.EnableControl(ctl::kProgram, true);
      DownloadRollingRecord(context_, view_);
    }
  }
  // Last, so that it stays under the EEPROM lines: serial numbers that were meant cannot be made.
  if (hasImage) ReportNoSerial(context_, view_);
  return 1;
}

bool DownloadRollingRecord(AppContext& context, MainView& view) {
  context.reporter.StartTranscript();
  const auto start = context.clock.SteadyNow();
  const bool ok = DownloadJobOrStopChips(context, view, writer_ops::kRollingJobLabel,
                                         text::IDS_MESSAGE_RollingProgramOK, text::IDS_MESSAGE_RollingVerifyOk);
  context.progress.HideProgress();
  RecordCommand(context, ledger::ActionKind::RollingDownload, ok ? ledger::Outcome::Pass : ledger::Outcome::Fail,
                MillisecondsSince(context, start),
                context.rolling.method != rolling::RollingMethod::NotUsed ? std::optional(CurrentRollingValue(context))
                                                                          : std::nullopt);
  if (!ok) context.state.lastResult = CommandResult::JobFailed;
  return ok;
}

}  // namespace vx3::app
