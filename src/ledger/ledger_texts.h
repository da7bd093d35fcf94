// What the production record tells the operator, in the language in force: the refusal of a
// command whose serial cannot be recorded, a raised first value, a skipped value, a damaged
// record kept aside, values left without a result by a stop, a record copied from elsewhere.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "ledger/serial_value.h"

namespace vx3::text {
class Language;
}

namespace vx3::ledger {

// "Serial numbers cannot be recorded: <reason>. <action> is stopped so that no value is used twice."
std::string CannotRecordText(const text::Language& language, std::string_view reason, std::string_view actionName);
// From what to what the first value of a job was raised and why, or that no value is left;
// empty when the INI's value stands.
std::string StartChoiceText(const text::Language& language, const StartChoice& choice);
// The value passed over and the one the chip gets instead.
std::string SkippedText(const text::Language& language, const SerialValue& skipped, const SerialValue& given);
std::string KeptAsideText(const text::Language& language, const std::filesystem::path& keptAs);
std::string MadeUnknownText(const text::Language& language, std::string_view digits);
// A record copied from another PC or folder (`copiedFrom`: where it was made, in words): the
// note at start, the reason a serial is refused, and the question whether to adopt it.
std::string CopyNoteText(const text::Language& language, std::string_view copiedFrom);
std::string CopyRefusalText(const text::Language& language, std::string_view copiedFrom);
std::string AdoptQuestionText(const text::Language& language, std::string_view copiedFrom);

}  // namespace vx3::ledger
