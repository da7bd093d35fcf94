#include "rolling/rolling_dialog.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/thread_locale.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_value.h"
#include "ui_text/language.h"
#include "ui_text/program_paths.h"
#include "ui_text/reporter.h"

namespace vx3::rolling {
namespace {

std::string Hex(std::uint32_t number) { return fmt::format("0x{:X}", number); }

struct LabelText {
  int id;
  text::UiText text;
};

constexpr LabelText kLabels[] = {
    {dlg::kStartAddressLabel, text::IDS_Rolling_StartAddress},
    {dlg::kWordLengthLabel, text::IDS_Rolling_WordLength},
    {dlg::kStepLabel, text::IDS_Rolling_StepValue},
    {dlg::kMethodGroup, text::IDS_Rolling_RollingMethod},
    {dlg::kAutoInc, text::IDS_Rolling_AutoINC},
    {dlg::kRunExe, text::IDS_Rolling_Run},
    {dlg::kCustom, text::IDS_Rolling_Custom},
    {dlg::kNotUsed, text::IDS_Rolling_NotUse},
    {dlg::kHowToGroup, text::IDS_Rolling_HowTo},
    {dlg::kDescription, text::IDS_Rolling_Description},
    {dlg::kAlignmentGroup, text::IDS_Rolling_WordAlignment},
    {dlg::kOk, text::IDS_Rolling_OK},
    {dlg::kHighAtLowAddress, text::IDS_Rolling_HighAtLowAddress},
    {dlg::kLowAtLowAddress, text::IDS_Rolling_LowAtLowAddress},
    {dlg::kVerify, text::IDS_Rolling_VerifyMode},
};

std::string_view MethodNote(RollingMethod method) {
  switch (method) {
    case RollingMethod::AutoInc: return kNoteFromIni;
    case RollingMethod::RunExe: return kNoteFromExe;
    case RollingMethod::Custom: return kNoteFromCustom;
    default: return kNoteDisabled;
  }
}

}  // namespace

bool RollingDialog::GeneratorPresent() const {
  const std::string& exe = c_.settings.exeCommand;
  return !exe.empty() && text::FileExists(platform::PathFromUtf8(exe));
}

void RollingDialog::SetTexts(RollingDialogView& view) {
  // The dialog's texts follow the interface language, and so does the thread locale.
  c_.locale.Set(c_.english ? platform::kLocaleEnglishUs : platform::kLocaleChineseSimplified);
  for (const LabelText& label : kLabels) view.SetText(label.id, c_.language.Text(label.text));
  view.SetText(dlg::kValueLabel,
               c_.language.Text(byteWords() ? text::IDS_Rolling13BIT_RollingValue : text::IDS_Rolling_RollingValue));
}

void RollingDialog::Start(RollingDialogView& view) {
  RollingSettings& s = c_.settings;
  SetTexts(view);
  view.SetText(dlg::kStartAddress, Hex(s.address));
  view.SetText(dlg::kWordLength, Hex(s.wordLength));
  view.SetText(dlg::kValue, FormatRollingDisplay(s.value, s, byteWords()));
  view.SetText(dlg::kStep, FormatRollingDisplay(s.step, s, byteWords()));

  view.Enable(dlg::kAutoInc, s.address != 0 || c_.autoIncWord > 1);
  view.SetChecked(dlg::kAutoInc, s.method == RollingMethod::AutoInc);
  if (GeneratorPresent()) {
    view.SetText(dlg::kRunExe, fmt::format(kRunExeFormat, s.exeCommand));
    view.SetChecked(dlg::kRunExe, s.method == RollingMethod::RunExe);
  } else {
    view.Enable(dlg::kRunExe, false);
  }
  view.Enable(dlg::kCustom, false);
  view.SetChecked(dlg::kNotUsed, s.method == RollingMethod::NotUsed);

  view.Enable(dlg::kHighAtLowAddress, false);
  view.SetChecked(s.lowWordFirst ? dlg::kLowAtLowAddress : dlg::kHighAtLowAddress, true);

  dialogLowWordFirst_ = s.lowWordFirst;
  dialogMethod_ = s.method;
  dialogAddress_ = s.address;
  dialogWordLength_ = s.wordLength;
  defaultsMade_ = false;
  verifyChoice_ = false;
  view.SetChecked(dlg::kVerify, false);
  view.SetText(dlg::kAlignmentLine, AlignmentLine());
}

std::string RollingDialog::AlignmentLine() const {
  std::string line = c_.language.Text(text::IDS_Rolling_Alignment);
  const std::uint32_t words = std::min<std::uint32_t>(dialogWordLength_, kRollingMaxWords);
  for (std::uint32_t i = 0; i < words; ++i) {
    const std::uint32_t word =
        dialogLowWordFirst_ ? dialogAddress_ + dialogWordLength_ - 1 - i : dialogAddress_ + i;
    line += fmt::format("0x{:X} ", word);
  }
  return line;
}

void RollingDialog::OnAlignmentRadio(RollingDialogView& view, int id) {
  dialogLowWordFirst_ = id == dlg::kLowAtLowAddress;
  view.SetText(dlg::kAlignmentLine, AlignmentLine());
}

void RollingDialog::OnMethodRadio(RollingDialogView& view, int id) {
  if (id < dlg::kAutoInc || id > dlg::kNotUsed) return;
  dialogMethod_ = static_cast<RollingMethod>(id - dlg::kAutoInc);
  if (dialogMethod_ == RollingMethod::AutoInc && dialogAddress_ == 0) MakeAutoIncDefaults(view);
}

// A rolling code for an image that has none: two words near the end of the ROM, at an odd
// address, lowest word at the low address, value 0 and step 1, so that the settings pass the
// reload's checks. They are shown now and become the settings, and the INI's, only with OK: a
// cancelled dialog leaves the INI as it was.
void RollingDialog::MakeAutoIncDefaults(RollingDialogView& view) {
  if (c_.romWords < 2 * kDefaultDistanceFromEnd) return;  // no room clear of the reserved words
  std::uint32_t address = c_.romWords - kDefaultDistanceFromEnd;
  if (address % 2 == 0) --address;
  dialogAddress_ = address;
  dialogWordLength_ = kDefaultWordLength;
  defaultsMade_ = true;
  view.SetText(dlg::kStartAddress, Hex(address));
  view.SetText(dlg::kWordLength, std::to_string(kDefaultWordLength));
  dialogLowWordFirst_ = true;
  view.SetChecked(dlg::kHighAtLowAddress, false);
  view.SetChecked(dlg::kLowAtLowAddress, true);

  RollingSettings shown = c_.settings;
  shown.address = address;
  shown.wordLength = kDefaultWordLength;
  shown.lowWordFirst = dialogLowWordFirst_;
  shown.value.fill(0);
  shown.step.fill(0);
  shown.step[0] = 1;  // the least significant word, lowest word first
  view.SetText(dlg::kValue, FormatRollingDisplay(shown.value, shown, byteWords()));
  view.SetText(dlg::kStep, FormatRollingDisplay(shown.step, shown, byteWords()));
  view.SetText(dlg::kAlignmentLine, AlignmentLine());
}

void RollingDialog::OnOk(const RollingDialogView& view) {
  verifyChoice_ = view.IsChecked(dlg::kVerify);
  c_.settings.verifyWithoutRolling = verifyChoice_;
  c_.headerVerifyByte = verifyChoice_ ? 1 : 0;
  valueText_ = view.Text(dlg::kValue);
  stepText_ = view.Text(dlg::kStep);
}

bool RollingDialog::Apply() {
  RollingSettings& s = c_.settings;
  const RollingSettings before = s;
  s.method = dialogMethod_;
  c_.reporter.ReportStatus(MethodNote(s.method), text::Severity::NoteLine);

  s.lowWordFirst = dialogLowWordFirst_;
  const bool defaults = defaultsMade_ && s.method == RollingMethod::AutoInc;
  if (defaults) {
    s.address = dialogAddress_;
    s.wordLength = dialogWordLength_;
  }
  const std::uint32_t length = s.wordLength;
  s.wordLength = ParseRollingValue(valueText_, length, s.lowWordFirst, byteWords(), s.value);
  ParseRollingValue(stepText_, length, s.lowWordFirst, byteWords(), s.step);

  // Without an INI there is nowhere to keep the choices; every image load names one.
  if (s.iniPath.empty()) return true;
  bool written = true;
  if (defaults) {
    written = WriteRollingKey(s, key::kAddress, Hex(dialogAddress_), c_.reporter) &&
              WriteRollingKey(s, key::kWordLength, std::to_string(dialogWordLength_), c_.reporter);
  }
  written = written && WriteRollingKey(s, key::kWay, WayKeyword(s.method), c_.reporter);
  written = written && WriteRollingKey(s, key::kOrder, s.lowWordFirst ? kOrderLowFirst : kOrderHighFirst, c_.reporter);
  if (s.wordLength != 0) {
    written = written && WriteRollingValueKey(s, s.value, key::kCount, byteWords(), c_.reporter);
    written = written && WriteRollingValueKey(s, s.step, key::kStep, byteWords(), c_.reporter);
  }
  written = written && WriteRollingKey(s, key::kVerify, verifyChoice_ ? "1" : "0", c_.reporter);
  if (!written) {
    // The INI keeps what it had; so do the settings, so that no download sends a value that
    // the INI does not hold.
    const bool verify = s.verifyWithoutRolling;
    s = before;
    s.verifyWithoutRolling = verify;
  }
  return written;
}

}  // namespace vx3::rolling
