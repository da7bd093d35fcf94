#include "app/rolling_dialog_command.h"

#include "rolling/rolling_dialog.h"
#include "writer_ops/eeprom_header.h"

namespace vx3::app {

bool OpenRollingCodeDialog(AppContext& context, MainView& view) {
  rolling::RollingSettings& settings = context.rolling;
  settings.confirmZeroStep = true;
  if (context.image.imagePath.empty()) {
    context.reporter.ReportStatus(context.language.Text(text::IDS_MESSAGE_SelectFile), text::Severity::NoteLine);
    return false;
  }
  rolling::RollingDialog dialog({
      .settings = settings,
      .romWords = context.image.romWords,
      .autoIncWord = context.image.autoIncWord,
      .deviceName = context.image.deviceName,
      .language = context.language,
      .reporter = context.reporter,
      .locale = context.locale,
      .english = context.state.isEnglish.load(),
      .headerVerifyByte = context.eepromHeader.bytes[writer_ops::header_offset::kVerifyWithoutRolling],
  });
  if (!view.RunRollingCodeDialog(dialog)) return false;
  return dialog.Apply();
}

}  // namespace vx3::app
