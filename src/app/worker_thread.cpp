#include "app/worker_thread.h"

#include <fmt/format.h>

#include "app/control_ids.h"
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

WorkerThread::~WorkerThread() { Join(); }

void WorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void WorkerThread::Start() {
  if (Running()) return;
  // The previous run has ended; its thread only has to be collected.
  Join();
  running_.store(true, std::memory_order_release);
  stopRequested_.store(false);
  thread_ = std::thread([this] {
    Run();
    running_.store(false, std::memory_order_release);
    view_.WorkerEnded();
  });
}

void DownloadEepromJob(AppContext& context, std::string_view label, text::UiText programOk, text::UiText verifyOk) {
  const writer_ops::EepromDownload job{context.writer(),      context.image,    context.rolling,
                                       context.eepromHeader, context.progress, context.state.programDir,
                                       context.state.DataDir()};
  text::Reporter& reporter = context.reporter;
  if (!writer_ops::EepromAction(job, writer_ops::kEepromProgram, label)) return;
  reporter.OpenNewEvent();
  reporter.LogEvent(1, context.language.Text(programOk));
  if (!writer_ops::EepromAction(job, writer_ops::kEepromVerify, label)) return;
  reporter.OpenNewEvent();
  reporter.LogEvent(1, context.language.Text(verifyOk));
}

int WorkerThread::Run() {
  RunState& state = context_.state;
  state.workerBusy.store(true);

  const writer_ops::FirmwareUpdate update{context_.writer(), context_.progress,          context_.clock,
                                          context_.firmware, context_.state.programDir, context_.image.deviceName,
                                          state.offlineFunction.load()};
  if (writer_ops::UpdateIap(update) && writer_ops::UpdateDriver(update)) {
    std::uint16_t version = 0;
    // A failed query has reported itself and leaves the version shown as it was.
    if (writer_ops::QueryWriter(update, link::command::kVersionQuery, version)) {
      view_.SetControlText(ctl::kDriverVersion, fmt::format(kVersionFormat, version >> 8, version & 0xFF));
    }
    if (!context_.image.imagePath.empty()) {
      DownloadEepromJob(context_, writer_ops::kEepromJobLabel, text::IDS_MESSAGE_EEPROMOK, text::IDS_MESSAGE_VerifyOK);
    } else {
      context_.rolling.iniExists = false;
    }
  } else {
    // The Writer's firmware is not what the job needs: no chip operation until the next load.
    for (const int id : ctl::kOperationButtons) view_.EnableControl(id, false);
    context_.rolling.iniExists = false;
  }
  context_.progress.HideProgress();
  state.workerBusy.store(false);

  if (context_.rolling.iniExists && context_.rolling.method == rolling::RollingMethod::AutoInc &&
      !stopRequested_.load()) {
    if (OpenRollingCodeDialog(context_, view_)) {
      view_.SetStatusText("");
      ReloadRollingSettings(context_, true);
      view_.EnableControl(ctl::kProgram, true);
      DownloadEepromJob(context_, writer_ops::kRollingJobLabel, text::IDS_MESSAGE_RollingProgramOK,
                  text::IDS_MESSAGE_RollingVerifyOk);
      context_.progress.HideProgress();
    }
  }
  return 1;
}

}  // namespace vx3::app
