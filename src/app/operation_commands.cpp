// The Writer commands of the main window's operation buttons: each refuses while the worker
// runs, prepares the status box, connects where it needs the Writer, hands the work to the
// operation that owns it, and sets which buttons can be used next.
#include <algorithm>
#include <iterator>
#include <string>

#include "app/control_ids.h"
#include "app/load_image_flow.h"
#include "app/main_presenter.h"
#include "app/read_command.h"
#include "app/rolling_commands.h"
#include "app/rolling_dialog_command.h"
#include "app/wait_cursor.h"
#include "image/image_reader.h"
#include "link/command_codes.h"
#include "platform/ascii_case.h"
#include "ui_text/program_paths.h"
#include "writer_ops/chip_actions.h"
#include "writer_ops/eeprom_download.h"
#include "writer_ops/read_back.h"

namespace vx3::app {

using namespace vx3::text;  // NOLINT(google-build-using-namespace): the UI text keys read best bare.

namespace {

namespace cmd = link::command;

constexpr std::string_view kChecksumChipName = "VX3";
constexpr std::string_view kLoadOtpFolder = "Load_OTP";
constexpr std::string_view kLoadOtpRefused = "Load OTP Fail (Security Enable) !!\r\n";
// Devices whose name begins so (in any case) are erased rather than blank-checked.
constexpr std::string_view kErasableFamilies[] = {"VX3F", "VX3E"};

bool IsErasable(std::string_view deviceName) {
  return std::any_of(std::begin(kErasableFamilies), std::end(kErasableFamilies),
                     [deviceName](std::string_view family) { return platform::StartsWithIgnoringCase(deviceName, family); });
}

}  // namespace

bool MainPresenter::WorkerActive() const { return context_.state.workerBusy.load() || worker_.Running(); }

bool MainPresenter::ConnectStep() {
  context_.link.ClearConnected();
  return context_.link.UsbConnect(context_.state.BridgeDir());
}

void MainPresenter::ReportNoWriter() {
  context_.reporter.ReportStatus(context_.language.Text(IDS_MESSAGE_USBNOTDETECTED), Severity::ErrorLine);
}

void MainPresenter::DisableOperationButtons() {
  for (const int id : ctl::kOperationButtons) view_.EnableControl(id, false);
}

void MainPresenter::OnDeviceLoad() {
  RunState& state = context_.state;
  image::LoadedImage& image = context_.image;
  if (!state.directLoad) state.useChooser = true;
  state.loadAttempted = true;
  // The rolling settings belong to the worker while it runs.
  if (WorkerActive()) return;
  context_.rolling.confirmZeroStep = true;

  const Language& language = context_.language;
  view_.SetControlText(ctl::kDriverVersionCaption, language.Text(IDS_DriverVersion));
  if (!ConnectStep()) {
    view_.SetStatusText("");
    ReportNoWriter();
    DisableOperationButtons();
    return;
  }

  context_.rolling.iniExists = false;
  image.copyFileExists = false;
  image.loadOk = true;
  LoadImageFlow(context_, view_);
  if (image.fileMissing || image.deviceFilesMissing) return;
  if (!image.loadOk) {
    DisableOperationButtons();
    image.deviceName.clear();
    return;
  }
  view_.SetControlText(ctl::kDeviceName, image.deviceName);
  if (image.deviceName.empty()) {
    DisableOperationButtons();
    return;
  }

  const bool hasImage = !image.imagePath.empty();
  view_.EnableControl(ctl::kBlankCheck, true);
  view_.EnableControl(ctl::kRead, true);
  for (const int id : {ctl::kAutoProgram, ctl::kProgram, ctl::kVerify}) view_.EnableControl(id, hasImage);
  view_.EnableControl(ctl::kRollingCode, context_.rolling.iniExists && context_.rolling.usable);
  const bool loadOtp = image.copyFileExists && image.loadOtpEnabled;
  view_.EnableControl(ctl::kLoadOtp, loadOtp);
  view_.ShowControl(ctl::kLoadOtp, loadOtp);

  view_.SetStatusText("");
  const WaitCursor wait(view_);
  context_.reporter.LogEvent(1, language.Text(IDS_MESSAGE_USBOK));
  state.erasableChip = IsErasable(image.deviceName);
  view_.SetControlText(ctl::kBlankCheck, language.Text(state.erasableChip ? IDS_Erase : IDS_BlankCheck));
  worker_.Start();
  state.useChooser = false;
}

void MainPresenter::OnOneKeyLoad() {
  context_.state.directLoad = true;
  context_.state.useChooser = false;
  OnDeviceLoad();
  context_.state.directLoad = false;
}

bool MainPresenter::PrepareChipCommand() {
  context_.rolling.confirmZeroStep = false;
  view_.SetStatusText("");
  if (ConnectStep()) return true;
  ReportNoWriter();
  return false;
}

bool MainPresenter::RunChipAction(std::uint8_t action) {
  const image::LoadedImage& image = context_.image;
  return writer_ops::ChipAction(context_.writer(), action, {image.romBytes, image.checksum});
}

void MainPresenter::ProgramChip(std::uint8_t action) {
  if (WorkerActive()) return;
  const WaitCursor wait(view_);
  if (!PrepareChipCommand() || !RunChipAction(action)) return;
  // The Writer has advanced its copy of the rolling value: the next chip gets the next one.
  if (context_.rolling.method != rolling::RollingMethod::NotUsed) {
    ReadBackRolling(context_);
    ReloadRollingSettings(context_, true);
  }
}

void MainPresenter::OnAutoProgram() { ProgramChip(cmd::kAutoProgramChip); }

void MainPresenter::OnProgram() { ProgramChip(cmd::kProgramChip); }

void MainPresenter::OnBlankCheck() {
  if (WorkerActive() || !PrepareChipCommand()) return;
  RunChipAction(cmd::kBlankCheckChip);
}

void MainPresenter::OnVerify() {
  if (WorkerActive()) return;
  const WaitCursor wait(view_);
  if (!PrepareChipCommand()) return;
  // The checksum line comes back whatever the chip said.
  RunChipAction(cmd::kVerifyChip);
  view_.SetControlText(ctl::kChecksumCaption,
                       context_.language.Format(IDS_CheckSum_Format, {kChecksumChipName}));
  view_.SetControlText(ctl::kChecksum, context_.image.checksumText);
}

void MainPresenter::OnRead() {
  if (WorkerActive()) return;
  ReadCommand(context_, view_);
}

void MainPresenter::OnRollingCode() {
  if (WorkerActive()) return;
  if (!OpenRollingCodeDialog(context_, view_)) return;
  view_.SetStatusText("");
  ReloadRollingSettings(context_, true);
  view_.EnableControl(ctl::kProgram, true);
  DownloadEepromJob(context_, writer_ops::kRollingJobLabel, IDS_MESSAGE_RollingProgramOK,
                    IDS_MESSAGE_RollingVerifyOk);
  context_.progress.HideProgress();
}

void MainPresenter::OnLoadOtp() {
  const std::filesystem::path& programDir = context_.state.programDir;
  MakeProgramSubfolder(context_.state.DataDir(), kLoadOtpFolder);
  if (WorkerActive()) return;
  const WaitCursor wait(view_);

  image::LoadedImage& image = context_.image;
  if (!RunChipAction(cmd::kCheckBeforeRead)) return;
  if (!RunChipAction(cmd::kSecurityCheck)) {
    view_.SetStatusText(kLoadOtpRefused);
    return;
  }
  writer_ops::ReadProgressLine progress(
      context_.clock, [this](std::string_view text) { view_.SetControlText(ctl::kStatusValue, text); });
  writer_ops::ReadBackState readBack;
  writer_ops::LoadFromChip({context_.writer(), programDir, &progress, context_.state.DataDir()}, image, readBack);
  if (!image.imagePath.empty() &&
      !image::ReadImage(image, false, context_.rolling, programDir, context_.reporter, context_.language,
                        context_.commands.get())) {
    image.loadOk = false;
    image.imagePath.clear();
  }
  view_.SetStatusText("");
  ShowImageChecksum(context_, view_);
  worker_.Start();
}

}  // namespace vx3::app
