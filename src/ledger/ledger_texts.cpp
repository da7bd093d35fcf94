#include "ledger/ledger_texts.h"

#include "platform/utf8_path.h"
#include "ui_text/language.h"
#include "ui_text/ui_texts.h"

namespace vx3::ledger {

std::string CannotRecordText(const text::Language& language, std::string_view reason, std::string_view actionName) {
  return language.Format(text::IDS_Ledger_CannotRecord, {reason, actionName});
}

std::string StartChoiceText(const text::Language& language, const StartChoice& choice) {
  switch (choice.reason) {
    case StartReason::WriterAhead:
      return language.Format(text::IDS_Ledger_RaisedByWriter, {choice.from.digits, choice.to.digits});
    case StartReason::LedgerAhead:
      return language.Format(text::IDS_Ledger_RaisedByRecord,
                             {choice.from.digits, choice.to.digits,
                              choice.highestIssued ? choice.highestIssued->digits : std::string()});
    case StartReason::UsedUp:
      return language.Format(text::IDS_Ledger_ValuesUsedUp,
                             {choice.highestIssued ? choice.highestIssued->digits : std::string()});
    case StartReason::IniValue:
      break;
  }
  return {};
}

std::string SkippedText(const text::Language& language, const SerialValue& skipped, const SerialValue& given) {
  return language.Format(text::IDS_Ledger_SkippedValue, {skipped.digits, given.digits});
}

std::string KeptAsideText(const text::Language& language, const std::filesystem::path& keptAs) {
  return language.Format(text::IDS_Ledger_KeptAside, {platform::PathToUtf8(keptAs)});
}

std::string MadeUnknownText(const text::Language& language, std::string_view digits) {
  return language.Format(text::IDS_Ledger_MadeUnknown, {digits});
}

std::string CopyNoteText(const text::Language& language, std::string_view copiedFrom) {
  return language.Format(text::IDS_Ledger_CopyNote, {copiedFrom});
}

std::string CopyRefusalText(const text::Language& language, std::string_view copiedFrom) {
  return language.Format(text::IDS_Ledger_CopyRefusal, {copiedFrom});
}

std::string AdoptQuestionText(const text::Language& language, std::string_view copiedFrom) {
  return language.Format(text::IDS_Ledger_AdoptQuestion, {copiedFrom});
}

}  // namespace vx3::ledger
