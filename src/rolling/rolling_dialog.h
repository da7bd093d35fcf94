// The Rolling Code dialog's behaviour without a toolkit: what its controls show at start, what
// the method and alignment radios do, what OK takes, and how the choices reach the settings and
// the rolling INI. A view (Qt, or a test's script) shows the controls by their ids.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "rolling/rolling_settings.h"

namespace vx3::platform {
class ThreadLocale;
}

namespace vx3::rolling {

inline constexpr int kRollingDialogResource = 130;
inline constexpr std::string_view kRollingDialogCaption = "Rolling Code";

// Control ids of the dialog layout.
namespace dlg {
inline constexpr int kOk = 1;
inline constexpr int kHighAtLowAddress = 1020;  // always disabled
inline constexpr int kLowAtLowAddress = 1021;
inline constexpr int kAlignmentLine = 1022;
inline constexpr int kStartAddressLabel = 1023;
inline constexpr int kWordLengthLabel = 1024;
inline constexpr int kValueLabel = 1025;
inline constexpr int kStepLabel = 1026;
inline constexpr int kMethodGroup = 1027;
inline constexpr int kAlignmentGroup = 1028;
inline constexpr int kHowToGroup = 1029;
inline constexpr int kDescription = 1030;
inline constexpr int kStartAddress = 1035;
inline constexpr int kWordLength = 1036;
inline constexpr int kAutoInc = 1037;
inline constexpr int kRunExe = 1038;
inline constexpr int kCustom = 1039;  // always disabled
inline constexpr int kNotUsed = 1040;
inline constexpr int kCustomText = 1041;  // read-only, no behaviour
inline constexpr int kValue = 1042;
inline constexpr int kStep = 1043;
inline constexpr int kVerify = 1047;
}  // namespace dlg

// The notes of OK, by method.
inline constexpr std::string_view kNoteFromIni = "Rolling Code generate from INI";
inline constexpr std::string_view kNoteFromExe = "Rolling Code generate from EXE";
inline constexpr std::string_view kNoteFromCustom = "Rolling Code generate from CUSTOM";
inline constexpr std::string_view kNoteDisabled = "Rolling Code disable";
inline constexpr std::string_view kRunExeFormat = "Run {}";

// Defaults of the Auto-Inc radio when there is no rolling code yet: two words, close to the
// end of the ROM.
inline constexpr std::uint32_t kDefaultWordLength = 2;
inline constexpr std::uint32_t kDefaultDistanceFromEnd = 10;

class RollingDialogView {
 public:
  virtual ~RollingDialogView() = default;
  virtual void SetText(int id, std::string_view text) = 0;
  virtual std::string Text(int id) const = 0;
  virtual void Enable(int id, bool enabled) = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  virtual bool IsChecked(int id) const = 0;
};

// What the dialog works with: the settings it shows and changes, the loaded image's facts, the
// language, the thread locale, and the header byte that takes the verify choice.
struct RollingDialogContext {
  RollingSettings& settings;
  std::uint32_t romWords = 0;
  std::uint32_t autoIncWord = 1;
  std::string deviceName;
  const text::Language& language;
  text::Reporter& reporter;
  platform::ThreadLocale& locale;
  bool english = true;
  std::uint8_t& headerVerifyByte;
};

class RollingDialog {
 public:
  explicit RollingDialog(RollingDialogContext context) : c_(std::move(context)) {}

  // Fills the view as the dialog opens.
  void Start(RollingDialogView& view);
  // A click on an alignment radio (1020, 1021) or a method radio (1037 to 1040).
  void OnAlignmentRadio(RollingDialogView& view, int id);
  void OnMethodRadio(RollingDialogView& view, int id);
  // OK: the verify choice goes into the settings and the header byte; the value and step texts
  // are taken. The view closes the dialog afterwards.
  void OnOk(const RollingDialogView& view);

  // After OK: the choices into the settings and the rolling INI (method note, Way, Order,
  // Count, Step, Verify). False when an INI write failed (an error line said which).
  bool Apply();

  bool byteWords() const { return IsByteWordDevice(c_.deviceName); }
  RollingMethod dialogMethod() const { return dialogMethod_; }
  bool dialogLowWordFirst() const { return dialogLowWordFirst_; }
  const std::string& valueText() const { return valueText_; }
  const std::string& stepText() const { return stepText_; }
  bool verifyChoice() const { return verifyChoice_; }

  // The word-alignment line for the dialog's order.
  std::string AlignmentLine() const;

 private:
  void SetTexts(RollingDialogView& view);
  void MakeAutoIncDefaults(RollingDialogView& view);
  bool GeneratorPresent() const;

  RollingDialogContext c_;
  RollingMethod dialogMethod_ = RollingMethod::NotUsed;
  bool dialogLowWordFirst_ = false;
  // Where the dialog shows the value: the settings' place, or the defaults it made for an image
  // without one, which only OK makes the settings' (and the INI's).
  std::uint32_t dialogAddress_ = 0;
  std::uint32_t dialogWordLength_ = 0;
  bool defaultsMade_ = false;
  std::string valueText_;
  std::string stepText_;
  bool verifyChoice_ = false;
};

}  // namespace vx3::rolling
