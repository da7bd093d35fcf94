// The Writer commands of the main window's operation buttons: each refuses while a Writer job
// runs, and otherwise runs as a job of its own on the command thread: it prepares the status
// box, connects to the Writer, hands the work to the operation that owns it, and sets which
// buttons can be used next.
#include <algorithm>
#include <iterator>
#include <string>

#include "app/control_ids.h"
#include "app/load_image_flow.h"
#include "app/main_presenter.h"
#include "app/no_serial.h"
#include "app/production_record.h"
#include "app/read_command.h"
#include "app/rolling_commands.h"
#include "app/rolling_dialog_command.h"
#include "app/wait_cursor.h"
#include "app/worker_thread.h"
#include "image/image_reader.h"
#include "link/command_codes.h"
#include "platform/ascii_case.h"
#include "platform/utf8_path.h"
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

bool MainPresenter::WriterJobActive() const {
  return context_.state.workerBusy.load() || worker_.Running() || commands_.Running();
}

void MainPresenter::WaitForWriterJobs() {
  // A command may start the worker as its last step: the command first, then the worker.
  commands_.Join();
  worker_.Join();
}

bool MainPresenter::StartCommand(UiText name, void (MainPresenter::*job)()) {
  // A click while the Writer works is dropped, never carried out afterwards.
  if (WriterJobActive()) return false;
  commandName_ = name;
  context_.state.lastResult = CommandResult::Ok;
  view_.WriterJobStarted(BusyTextOf(context_.language, name));
  commands_.Start([this, job] { (this->*job)(); });
  return true;
}

bool MainPresenter::ConnectStep() {
  context_.link.ClearConnected();
  // Another program holds the Writer: nothing is sent to it.
  if (!context_.writerAccess.Usable()) return false;
  return context_.link.UsbConnect(context_.state.BridgeDir());
}

void MainPresenter::ReportNoWriter() {
  const std::string text = context_.writerAccess.Refused() ? context_.writerAccess.RefusalText(context_.language)
                                                           : context_.language.Text(IDS_MESSAGE_USBNOTDETECTED);
  context_.reporter.ReportStatus(text, Severity::ErrorLine);
  context_.state.lastResult = CommandResult::NoWriter;
}

void MainPresenter::DisableChipButtons() {
  for (const int id : ctl::kChipButtons) view_.EnableControl(id, false);
}

void MainPresenter::OnDeviceLoad() {
  RunState& state = context_.state;
  image::LoadedImage& image = context_.image;
  if (!state.directLoad) state.useChooser = true;
  state.loadAttempted = true;
  // The rolling settings belong to the worker or the command while one runs.
  if (WriterJobActive()) return;
  state.lastResult = CommandResult::Ok;
  // The band tells of the chip before this load: whatever the load comes to, it is gone.
  ClearLastChip(context_, view_);
  context_.rolling.confirmZeroStep = true;

  const Language& language = context_.language;
  view_.SetControlText(ctl::kDriverVersionCaption, language.Text(IDS_DriverVersion));
  if (!ConnectStep()) {
    view_.SetStatusText("");
    ReportNoWriter();
    DisableChipButtons();
    return;
  }

  // What is loaded now, and what the Writer's job was made from: it stays in force when the new
  // load finds no file to load, as the buttons do.
  const image::LoadedImage loadedBefore = image;
  const rolling::RollingSettings rollingBefore = context_.rolling;
  context_.rolling.iniExists = false;
  image.copyFileExists = false;
  image.loadOk = true;
  LoadImageFlow(context_, view_);
  if (image.fileMissing || image.deviceFilesMissing) {
    const bool fileMissing = image.fileMissing;
    const bool deviceFilesMissing = image.deviceFilesMissing;
    image = loadedBefore;
    context_.rolling = rollingBefore;
    image.fileMissing = fileMissing;
    image.deviceFilesMissing = deviceFilesMissing;
    state.lastResult = CommandResult::ImageError;
    // The flow may have turned on Blank Check and Read for the device it did not load.
    if (!image.loadOk || image.deviceName.empty()) DisableChipButtons();
    return;
  }
  if (!image.loadOk) {
    // Nothing is loaded: no device, file or checksum is shown as if it were.
    state.lastResult = CommandResult::ImageError;
    DisableChipButtons();
    image.deviceName.clear();
    for (const int id : {ctl::kDeviceName, ctl::kFileName, ctl::kChecksum}) view_.SetControlText(id, "");
    return;
  }
  view_.SetControlText(ctl::kDeviceName, image.deviceName);
  if (image.deviceName.empty()) {
    state.lastResult = CommandResult::ImageError;
    DisableChipButtons();
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

writer_ops::ChipActionResult MainPresenter::RecordedChipAction(std::uint8_t action,
                                                               const std::optional<ChipSerial>& serial) {
  const image::LoadedImage& image = context_.image;
  context_.reporter.StartTranscript();
  const auto start = context_.clock.SteadyNow();
  const writer_ops::ChipActionResult result =
      writer_ops::RunChipAction(context_.writer(), action, {image.romBytes, image.checksum});
  const std::int64_t durationMs = MillisecondsSince(context_, start);
  switch (result.outcome) {
    case writer_ops::ChipOutcome::Pass: break;
    case writer_ops::ChipOutcome::Fail: context_.state.lastResult = CommandResult::ChipFailed; break;
    case writer_ops::ChipOutcome::Unknown:
      context_.state.lastResult = result.timedOut ? CommandResult::TimedOut : CommandResult::ChipUnknown;
      break;
    case writer_ops::ChipOutcome::NoChip: context_.state.lastResult = CommandResult::NoChip; break;
    // The first packet did not leave: the Writer is gone.
    case writer_ops::ChipOutcome::NotRun: context_.state.lastResult = CommandResult::NoWriter; break;
  }
  FinishChipCommand(context_, view_, ActionKindOf(action, context_.state.erasableChip), result, durationMs, serial);
  return result;
}

void MainPresenter::ProgramChip(std::uint8_t action) {
  const WaitCursor wait(view_);
  // Serial numbers the INI asks for but that cannot be made: the operator decides, once per load.
  bool answeredNow = false;
  if (!ProgramWithoutSerialsAllowed(context_, view_, answeredNow)) return;
  if (!PrepareChipCommand()) return;
  if (answeredNow && !WriterGivesNoValue(context_, view_)) return;
  const bool rollingOn = context_.rolling.method != rolling::RollingMethod::NotUsed;
  std::optional<ChipSerial> serial;
  if (rollingOn) {
    // The value is on record before the chip can get it, or the chip is not touched.
    serial.emplace();
    if (!IssueChipSerial(context_, view_, ActionKindOf(action, false), *serial)) return;
  }
  if (!RecordedChipAction(action, serial).Passed()) return;
  // The Writer has advanced its copy of the rolling value: the next chip gets the next one.
  if (rollingOn) {
    ReadBackRolling(context_);
    ReloadRollingSettings(context_, true);
    // The INI was spoilt while the job ran: the next chip asks before it goes without a serial.
    if (SerialsMissing(context_)) context_.reporter.ReportStatus(NoSerialLine(context_), Severity::ErrorLine);
  }
}

void MainPresenter::ChipCommand(std::uint8_t action, void (MainPresenter::*body)()) {
  BeginChipCommand(context_, view_, ActionKindOf(action, context_.state.erasableChip));
  (this->*body)();
  EndChipCommand(context_, view_);
}

void MainPresenter::AutoProgramJob() { ChipCommand(cmd::kAutoProgramChip, &MainPresenter::AutoProgramChip); }

void MainPresenter::AutoProgramChip() { ProgramChip(cmd::kAutoProgramChip); }

void MainPresenter::ProgramJob() { ChipCommand(cmd::kProgramChip, &MainPresenter::ProgramOnlyChip); }

void MainPresenter::ProgramOnlyChip() { ProgramChip(cmd::kProgramChip); }

void MainPresenter::BlankCheckJob() { ChipCommand(cmd::kBlankCheckChip, &MainPresenter::BlankCheckChip); }

void MainPresenter::BlankCheckChip() {
  if (PrepareChipCommand()) RecordedChipAction(cmd::kBlankCheckChip, std::nullopt);
}

void MainPresenter::VerifyJob() { ChipCommand(cmd::kVerifyChip, &MainPresenter::VerifyChip); }

void MainPresenter::VerifyChip() {
  const WaitCursor wait(view_);
  if (!PrepareChipCommand()) return;
  // The checksum line comes back whatever the chip said.
  RecordedChipAction(cmd::kVerifyChip, std::nullopt);
  view_.SetControlText(ctl::kChecksumCaption,
                       context_.language.Format(IDS_CheckSum_Format, {kChecksumChipName}));
  view_.SetControlText(ctl::kChecksum, context_.image.checksumText);
}

void MainPresenter::ReadJob() { ChipCommand(cmd::kCheckBeforeRead, &MainPresenter::ReadChip); }

void MainPresenter::ReadChip() {
  context_.reporter.StartTranscript();
  const auto start = context_.clock.SteadyNow();
  const std::optional<writer_ops::ChipActionResult> result = ReadCommand(context_, view_);
  if (!result) {
    context_.state.lastResult = CommandResult::NoWriter;
    return;
  }
  if (!result->Passed()) {
    context_.state.lastResult = result->timedOut ? CommandResult::TimedOut : CommandResult::ChipFailed;
  }
  FinishChipCommand(context_, view_, ledger::ActionKind::Read, *result, MillisecondsSince(context_, start),
                    std::nullopt);
}

void MainPresenter::RollingCodeJob() {
  // Connected first, as every chip command: a Writer plugged in again is found without another click.
  if (!ConnectStep()) {
    ReportNoWriter();
    return;
  }
  const std::string standalone = ObserveWriter(context_);
  if (!OpenRollingCodeDialog(context_, view_)) return;
  view_.SetStatusText("");
  if (!standalone.empty()) context_.reporter.ReportStatus(standalone, text::Severity::NoteLine);
  ReloadRollingSettings(context_, true);
  view_.EnableControl(ctl::kProgram, true);
  DownloadRollingRecord(context_, view_);
}

void MainPresenter::LoadOtpJob() {
  const std::filesystem::path& programDir = context_.state.programDir;
  MakeProgramSubfolder(context_.state.DataDir(), kLoadOtpFolder);
  const WaitCursor wait(view_);
  if (!ConnectStep()) {
    ReportNoWriter();
    return;
  }

  image::LoadedImage& image = context_.image;
  if (!RunChipAction(cmd::kCheckBeforeRead)) return;
  if (!RunChipAction(cmd::kSecurityCheck)) {
    view_.SetStatusText(kLoadOtpRefused);
    return;
  }
  writer_ops::ReadProgressLine progress(
      context_.clock, [this](std::string_view text) { view_.SetControlText(ctl::kStatusValue, text); });
  writer_ops::ReadBackState readBack;
  if (!writer_ops::LoadFromChip({context_.writer(), programDir, &progress, context_.state.DataDir()}, image, readBack)) {
    // A broken read changed nothing: the image loaded before stays, with the Writer's job made
    // from it, and the lines that say how the read broke off stay in view.
    context_.state.lastResult = CommandResult::ChipUnknown;
    return;
  }
  if (!image.imagePath.empty() &&
      !image::ReadImage(image, false, context_.rolling, programDir, context_.reporter, context_.language,
                        context_.commands.get())) {
    image.loadOk = false;
    image.imagePath.clear();
  }
  view_.SetStatusText("");
  // The chip's code is the image now: the label names its file, or nothing when it did not load.
  view_.SetControlText(ctl::kFileName, platform::PathToUtf8(image.imagePath));
  if (!image.loadOk) DisableChipButtons();
  ShowImageChecksum(context_, view_);
  worker_.Start();
}

void MainPresenter::OnAutoProgram() { StartCommand(IDS_AutoProgram, &MainPresenter::AutoProgramJob); }

void MainPresenter::OnProgram() { StartCommand(IDS_ProgramOnly, &MainPresenter::ProgramJob); }

void MainPresenter::OnBlankCheck() {
  StartCommand(context_.state.erasableChip ? IDS_Erase : IDS_BlankCheck, &MainPresenter::BlankCheckJob);
}

void MainPresenter::OnVerify() { StartCommand(IDS_Verify, &MainPresenter::VerifyJob); }

void MainPresenter::OnRead() { StartCommand(IDS_ReadProgram, &MainPresenter::ReadJob); }

void MainPresenter::OnRollingCode() { StartCommand(IDS_RollingCode, &MainPresenter::RollingCodeJob); }

void MainPresenter::OnLoadOtp() {
  if (WriterJobActive()) return;
  // Only an image loaded for a device can be replaced by a chip's code.
  if (!context_.image.loadOk || context_.image.deviceName.empty()) return;
  StartCommand(IDS_LoadOTP, &MainPresenter::LoadOtpJob);
}

}  // namespace vx3::app
