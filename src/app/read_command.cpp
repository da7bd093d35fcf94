#include "app/read_command.h"

#include <string>

#include <fmt/format.h>

#include "app/control_ids.h"
#include "app/wait_cursor.h"
#include "image/side_files.h"
#include "link/command_codes.h"
#include "ui_text/ui_texts.h"
#include "writer_ops/chip_actions.h"
#include "writer_ops/read_back.h"

namespace vx3::app {

namespace {

constexpr std::string_view kChecksumChipName = "OTP";
constexpr std::string_view kChecksumValueFormat = "  {:04X} {}";

}  // namespace

std::optional<writer_ops::ChipActionResult> ReadCommand(AppContext& context, MainView& view) {
  if (context.state.workerBusy.load()) return std::nullopt;
  view.SetStatusText("");
  const WaitCursor wait(view);

  const text::Language& language = context.language;
  text::Reporter& reporter = context.reporter;
  const std::filesystem::path& programDir = context.state.programDir;
  context.link.ClearConnected();
  // Another program holds the Writer: nothing is sent to it.
  if (!context.writerAccess.Usable()) {
    reporter.ReportStatus(context.writerAccess.RefusalText(language), text::Severity::ErrorLine);
    return std::nullopt;
  }
  if (!context.link.UsbConnect(context.state.BridgeDir())) {
    reporter.ReportStatus(language.Text(text::IDS_MESSAGE_USBNOTDETECTED), text::Severity::ErrorLine);
    return std::nullopt;
  }

  image::LoadedImage& image = context.image;
  const writer_ops::WriterServices writer = context.writer();
  writer_ops::ChipActionResult result =
      writer_ops::RunChipAction(writer, link::command::kCheckBeforeRead, {image.romBytes, image.checksum});
  if (!result.Passed()) return result;

  writer_ops::ReadProgressLine progress(
      context.clock, [&view](std::string_view text) { view.SetControlText(ctl::kStatusValue, text); });
  writer_ops::ReadBackState readBack;
  const bool whole = writer_ops::ReadToFile({writer, programDir, &progress, context.state.DataDir()}, image, readBack,
                                            link::command::kReadChip);
  // A read that broke off may have stopped at the chip or at the Writer: its outcome is unknown.
  // It left the earlier read-back file as it was, so the checksum and security shown for that
  // file stay, and nothing is listed.
  if (!whole) {
    result.outcome = writer_ops::ChipOutcome::Unknown;
    return result;
  }

  view.SetControlText(ctl::kChecksumCaption, language.Format(text::IDS_CheckSum_Format, {kChecksumChipName}));
  const std::string security = image.securityEnabled ? language.Text(text::IDS_SecurityEnable) : std::string();
  view.SetControlText(ctl::kChecksum, fmt::format(kChecksumValueFormat, readBack.checksum, security));

  writer_ops::ListReadBackFile(reporter, image::ReadBackFileName(image, context.state.DataDir(), readBack.loadOtpRead),
                               image.romBytes);
  return result;
}

}  // namespace vx3::app
