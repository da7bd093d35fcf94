// Serial numbers that the rolling INI of the loaded image asks for but that cannot be made: the
// load says so at its end (a status line, the amber verdict band, the job row), and Program and
// Auto Program ask once per load whether chips are programmed without them.
#pragma once

#include "app/app_context.h"
#include "app/main_view.h"

namespace vx3::app {

// Nothing to say: the INI asks for no serial numbers, or they can be made.
inline bool SerialsMissing(const AppContext& context) { return context.rolling.noSerial.Set(); }

// "No serial numbers: <reason>" in the language in force; empty when nothing is missing.
std::string NoSerialLine(const AppContext& context);

// At the end of a load whose serial numbers cannot be made: the error line in the status box,
// the amber band, and the reason in the job row (if one exists) with no answer yet.
void ReportNoSerial(AppContext& context, MainView& view);

// The amber band with the reason, when serial numbers are missing; false (nothing shown) when
// they are not.
bool ShowNoSerialBand(AppContext& context, MainView& view);

// Before Program or Auto Program: true when the chip command may go on. Asks "Program chips
// without serial numbers?" (default No) unless the operator said Yes since the load; the answer
// goes into the job row. No: the status box shows the reason, the band stays amber, the command
// ends as refused (CommandResult::SerialRefused) and nothing is sent. `answeredNow` tells whether
// the question was asked and answered Yes in this call.
bool ProgramWithoutSerialsAllowed(AppContext& context, MainView& view, bool& answeredNow);

// After a Yes, with the Writer connected: the Writer's job must give the chips no value of its
// own. A job downloaded while the INI could still be used carries a rolling record: the record
// of no rolling code replaces it. False (the command must not be sent) when the Writer's job
// cannot be read or replaced; the next command asks again.
bool WriterGivesNoValue(AppContext& context, MainView& view);

}  // namespace vx3::app
