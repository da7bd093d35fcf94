#include "app/production_record.h"

#include <algorithm>

#include <fmt/format.h>

#include "app/app_context.h"
#include "app/main_view.h"
#include "app/no_serial.h"
#include "app/worker_thread.h"
#include "ledger/ledger_texts.h"
#include "link/command_codes.h"
#include "platform/ascii_case.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_record.h"
#include "rolling/rolling_value.h"
#include "writer_ops/eeprom_download.h"

namespace vx3::app {

using ledger::ActionKind;
using ledger::Outcome;
using text::Severity;

namespace {

constexpr std::string_view kNoRecordInThisBuild = "this build of the program keeps no production record";
constexpr std::string_view kNoJobRow = "the loaded job is not in the production record";
constexpr std::string_view kWriterValueUnread = "the Writer's rolling value cannot be read";
constexpr std::string_view kWriterValueForeign =
    "the Writer's job holds another rolling code (load the image again)";
constexpr std::string_view kCountNotWritten = "Count of {} cannot be written";
constexpr std::string_view kNoValueInBlock = "no free value is left in the station's blocks";
constexpr std::string_view kNoValueAfter = "no rolling value is left after {}";
// New blocks one chip command may take when the values at a block's end are taken already.
constexpr int kMaxBlockRounds = 3;
constexpr std::string_view kYieldFormat = "{:.1f}";
constexpr std::string_view kNoSerialMark = "-";

bool RollingOn(const AppContext& context) { return context.rolling.method != rolling::RollingMethod::NotUsed; }

bool ByteWords(const AppContext& context) { return rolling::IsByteWordDevice(context.image.deviceName); }

ledger::RollingShape ShapeOfJob(const AppContext& context) {
  return ledger::ShapeOf(context.rolling, context.image.deviceName);
}

// The rolling value the Writer's copy of the job header holds for the rolling code in force;
// nullopt when it cannot be read (`read` false) or holds another rolling code.
std::optional<rolling::RollingWords> WriterRollingValue(AppContext& context, bool& read) {
  writer_ops::EepromHeader header;
  read = writer_ops::ReadBackHeader(context.writer(), link::command::kReadHeader, header);
  if (!read) return std::nullopt;
  rolling::RollingSettings fromWriter = context.rolling;
  rolling::ParseRollingRecord(header.bytes, fromWriter, ByteWords(context));
  if (fromWriter.method == rolling::RollingMethod::NotUsed || fromWriter.address != context.rolling.address ||
      fromWriter.wordLength != context.rolling.wordLength) {
    return std::nullopt;
  }
  return fromWriter.value;
}

// Writes Count without a line of its own: the caller says what a failure means.
bool WriteCountQuietly(AppContext& context, const rolling::RollingWords& value) {
  text::Reporter quiet(context.language, context.clock);
  return rolling::WriteRollingValueKey(context.rolling, value, rolling::key::kCount, ByteWords(context), quiet);
}

bool SameValue(const rolling::RollingWords& a, const rolling::RollingWords& b, std::uint32_t length) {
  const std::size_t n = std::min<std::size_t>(length, a.size());
  return std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
}

text::UiText ActionCaption(ActionKind kind) {
  switch (kind) {
    case ActionKind::AutoProgram: return text::IDS_AutoProgram;
    case ActionKind::BlankCheck: return text::IDS_BlankCheck;
    case ActionKind::Erase: return text::IDS_Erase;
    case ActionKind::Program: return text::IDS_ProgramOnly;
    case ActionKind::Verify: return text::IDS_Verify;
    case ActionKind::Read: return text::IDS_ReadProgram;
    case ActionKind::RollingDownload: return text::IDS_RollingCode;
    case ActionKind::EepromDownload:
    case ActionKind::FirmwareUpdate: break;
  }
  return text::IDS_Busy_WriterJob;
}

// A record that failed to take a result cannot be trusted with the next value: serial commands
// stop until the next load, and the status box says why.
void ReportRecordFailure(AppContext& context, const std::string& reason) {
  context.record.SetJobRefusal(reason);
  context.reporter.ReportStatus(context.language.Format(text::IDS_Ledger_NotOpen, {reason}), Severity::ErrorLine);
}

// The running command's caption in capitals, read at arm's length ("AUTO PROGRAM"); letters
// that have no capitals (Chinese) stand as they are.
std::string InCapitals(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), platform::AsciiUpper);
  return text;
}

// Why a chip command did not reach its chip: the last error line it reported (without the error
// prefix), else its last line, else the plain fact.
std::string NotRunReason(const AppContext& context) {
  const std::string transcript = context.reporter.Transcript();
  const std::string prefix = context.language.Text(text::IDS_MESSAGE_Error);
  std::string lastLine;
  std::string lastError;
  std::size_t at = 0;
  while (at < transcript.size()) {
    std::size_t end = transcript.find_first_of("\r\n", at);
    if (end == std::string::npos) end = transcript.size();
    std::string_view line(transcript.data() + at, end - at);
    at = end + 1;
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (line.empty()) continue;
    lastLine = line;
    if (!prefix.empty() && line.starts_with(prefix)) lastError = line.substr(prefix.size());
  }
  if (!lastError.empty()) return lastError;
  if (!lastLine.empty()) return lastLine;
  return context.language.Text(text::IDS_Band_NotRunReason);
}

std::string CountersLine(const text::Language& language, text::UiText format, const ledger::Counters& counters) {
  std::string line = language.Format(format, {counters.done, counters.passed, counters.failed, counters.unknown,
                                              fmt::format(kYieldFormat, counters.yieldPercent),
                                              counters.lastSerial.empty() ? std::string(kNoSerialMark) : counters.lastSerial});
  if (counters.standalone > 0) line += language.Format(text::IDS_Ledger_StandaloneCounters, {counters.standalone});
  return line;
}

// What a read-back of the Writer's value (`held`) for `job` (0: the newest job of the INI) tells
// the record: the run of values the Writer used on its own is recorded and said, and the series
// station learns of it. `said` is the line said of the run (empty when there was none).
ledger::LedgerStatus ObserveHeld(AppContext& context, ledger::ProductionLedger& record, ledger::JobId job,
                                 const rolling::RollingWords& held, ledger::WriterObservation& seen,
                                 std::string& said) {
  said.clear();
  const ledger::LedgerStatus status =
      record.ObserveWriterValue(job, context.rolling.iniPath, ShapeOfJob(context), held, seen);
  if (!status) return status;
  context.series.WriterSeen(context, seen, held);
  if (seen.standaloneCount <= 0) return status;
  const text::Language& language = context.language;
  said = seen.standaloneFirst == seen.standaloneLast
             ? language.Format(text::IDS_Ledger_StandaloneOne, {seen.standaloneFirst.digits})
             : language.Format(text::IDS_Ledger_Standalone,
                               {seen.standaloneFirst.digits, seen.standaloneLast.digits, seen.standaloneCount});
  context.reporter.ReportStatus(said, Severity::NoteLine);
  return status;
}

}  // namespace

void ProductionRecord::Open(const ledger::LedgerOpener& opener, const std::filesystem::path& dataDir,
                            platform::Clock& clock) {
  opened_ = true;
  if (!opener) {
    error_ = kNoRecordInThisBuild;
    return;
  }
  ledger::OpenedLedger opened = opener(dataDir, clock);
  ledger_ = std::move(opened.ledger);
  error_ = ledger_ ? std::string() : opened.status.error;
  keptAside_ = opened.keptAside;
  madeUnknown_ = std::move(opened.madeUnknown);
  std::lock_guard lock(mutex_);
  copiedFrom_ = ledger_ ? std::move(opened.copiedFrom) : std::string();
}

std::vector<std::string> ProductionRecord::Notes(const text::Language& language) const {
  std::vector<std::string> notes;
  if (!keptAside_.empty()) notes.push_back(ledger::KeptAsideText(language, keptAside_));
  for (const std::string& digits : madeUnknown_) notes.push_back(ledger::MadeUnknownText(language, digits));
  if (const std::string copiedFrom = CopiedFrom(); !copiedFrom.empty()) {
    notes.push_back(ledger::CopyNoteText(language, copiedFrom));
  }
  return notes;
}

std::string ProductionRecord::CopiedFrom() const {
  std::lock_guard lock(mutex_);
  return copiedFrom_;
}

ledger::LedgerStatus ProductionRecord::Adopt(std::string_view station) {
  if (!ledger_) return ledger::LedgerStatus::Failed(error_);
  ledger::LedgerStatus adopted = ledger_->Adopt(station);
  if (adopted) {
    std::lock_guard lock(mutex_);
    copiedFrom_.clear();
  }
  return adopted;
}

std::string ProductionRecord::JobRefusal() const {
  std::lock_guard lock(mutex_);
  return jobRefusal_;
}

void ProductionRecord::SetJobRefusal(std::string reason) {
  std::lock_guard lock(mutex_);
  jobRefusal_ = std::move(reason);
}

void ProductionRecord::SetLastChip(std::optional<LastChip> chip) {
  std::lock_guard lock(mutex_);
  lastChip_ = std::move(chip);
}

std::optional<ProductionRecord::LastChip> ProductionRecord::lastChip() const {
  std::lock_guard lock(mutex_);
  return lastChip_;
}

std::int64_t MillisecondsSince(const AppContext& context, std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(context.clock.SteadyNow() - start).count();
}

ledger::Outcome OutcomeOf(writer_ops::ChipOutcome outcome) {
  switch (outcome) {
    case writer_ops::ChipOutcome::Pass: return Outcome::Pass;
    case writer_ops::ChipOutcome::Fail: return Outcome::Fail;
    case writer_ops::ChipOutcome::NoChip: return Outcome::NoChip;
    case writer_ops::ChipOutcome::NotRun: return Outcome::NotRun;
    case writer_ops::ChipOutcome::Unknown: break;
  }
  return Outcome::Unknown;
}

ActionKind ActionKindOf(std::uint8_t action, bool erasable) {
  namespace cmd = link::command;
  switch (action) {
    case cmd::kAutoProgramChip: return ActionKind::AutoProgram;
    case cmd::kProgramChip: return ActionKind::Program;
    case cmd::kBlankCheckChip: return erasable ? ActionKind::Erase : ActionKind::BlankCheck;
    case cmd::kVerifyChip: return ActionKind::Verify;
    default: return ActionKind::Read;
  }
}

std::string ObserveWriter(AppContext& context) {
  ledger::ProductionLedger* record = context.record.ledger();
  if (record == nullptr || !RollingOn(context)) return {};
  bool read = false;
  const std::optional<rolling::RollingWords> held = WriterRollingValue(context, read);
  if (!held) return {};
  ledger::WriterObservation seen;
  std::string said;
  // A record that cannot take it refuses the next chip, whose read-back finds the run again.
  ObserveHeld(context, *record, context.record.job, *held, seen, said);
  return said;
}

void NoteWriterValue(AppContext& context) {
  ledger::ProductionLedger* record = context.record.ledger();
  if (record == nullptr || !RollingOn(context)) return;
  // A record that cannot take it finds the Writer's value again at the next read-back; the
  // values between are then called used on its own, never given twice.
  record->NoteWriterValue(context.rolling.iniPath, ShapeOfJob(context), context.rolling.value);
}

ledger::SerialValue CurrentRollingValue(const AppContext& context) {
  return ledger::MakeSerialValue(context.rolling.value, ShapeOfJob(context));
}

ledger::StartChoice ChooseJobStartValue(AppContext& context) {
  const ledger::RollingShape shape = ShapeOfJob(context);
  bool read = false;
  // A Writer that cannot be read has said so; its value then plays no part, and the record's
  // keeps the job from going backwards.
  const std::optional<rolling::RollingWords> writerValue = WriterRollingValue(context, read);
  std::optional<ledger::SerialValue> highest;
  context.record.standaloneNote.clear();
  if (ledger::ProductionLedger* record = context.record.ledger()) {
    // What the Writer did on its own since the record last knew its value is on record before
    // the job's first value is chosen above it.
    if (writerValue) {
      ledger::WriterObservation seen;
      if (const ledger::LedgerStatus status =
              ObserveHeld(context, *record, 0, *writerValue, seen, context.record.standaloneNote);
          !status) {
        context.record.SetJobRefusal(status.error);
      }
    }
    if (const ledger::LedgerStatus status = record->HighestIssued(context.rolling.iniPath, highest); !status) {
      context.record.SetJobRefusal(status.error);
    }
  }
  ledger::StartChoice choice =
      ledger::ChooseStartValue(context.rolling.value, writerValue, highest, context.rolling.step, shape);
  context.record.startNote = ledger::StartChoiceText(context.language, choice);
  if (choice.Raised()) {
    context.rolling.value = choice.value;
    // A Count that cannot be written is found again before the first chip, which it stops.
    WriteCountQuietly(context, choice.value);
    context.reporter.ReportStatus(context.record.startNote, Severity::NoteLine);
  } else if (choice.reason == ledger::StartReason::UsedUp) {
    context.reporter.ReportStatus(context.record.startNote, Severity::ErrorLine);
    context.record.SetJobRefusal(context.record.startNote);
  }
  return choice;
}

void StartSeriesJob(AppContext& context, ledger::StartChoice& choice) {
  rolling::RollingWords value = context.rolling.value;
  std::string refusal;
  if (!context.series.StartJob(context, value, refusal)) {
    context.record.SetJobRefusal(refusal);
    return;
  }
  if (SameValue(value, context.rolling.value, context.rolling.wordLength)) return;
  context.rolling.value = value;
  choice.value = value;
  // A Count that cannot be written is found again before the first chip, which it stops.
  WriteCountQuietly(context, value);
}

void StartJobRecord(AppContext& context, MainView& view, const std::optional<ledger::StartChoice>& choice) {
  context.record.job = 0;
  // The last chip's verdict belongs to the job before.
  context.record.SetLastChip(std::nullopt);
  ShowLastChip(context, view);
  ledger::ProductionLedger* record = context.record.ledger();
  if (record == nullptr) {
    if (RollingOn(context)) {
      context.reporter.ReportStatus(context.language.Format(text::IDS_Ledger_NotOpen, {context.record.error()}),
                                    Severity::ErrorLine);
    }
    ShowCounters(context, view);
    return;
  }
  const image::LoadedImage& image = context.image;
  ledger::JobInfo info;
  info.device = image.deviceName;
  info.imagePath = image.imagePath;
  info.checksum = image.checksum;
  info.securedChecksum = image.securedChecksum;
  info.security = image.securityEnabled;
  info.iapVersion = context.firmware.iapVersion;
  info.driverVersion = context.firmware.driverVersion;
  info.rollingOn = RollingOn(context);
  if (info.rollingOn) {
    info.iniPath = context.rolling.iniPath;
    info.rollingAddress = context.rolling.address;
    info.shape = ShapeOfJob(context);
    info.step = context.rolling.step;
    info.firstValue = context.rolling.value;
    if (choice) info.firstValueNote = ledger::StartChoiceText(context.language, *choice);
  }
  ledger::JobId id = 0;
  if (const ledger::LedgerStatus status = record->StartJob(info, id); !status) {
    ReportRecordFailure(context, status.error);
  } else {
    context.record.job = id;
  }
  ShowCounters(context, view);
}

void RecordCommand(AppContext& context, ActionKind kind, Outcome outcome, std::int64_t durationMs,
                   const std::optional<ledger::SerialValue>& rollingValue, const std::optional<std::string>& message) {
  ledger::ProductionLedger* record = context.record.ledger();
  const ledger::JobId job = context.record.job;
  if (record == nullptr || job == 0) return;
  const ledger::LedgerStatus status = record->RecordAction(
      job, kind, outcome, message ? *message : context.reporter.Transcript(), durationMs, rollingValue);
  if (!status) ReportRecordFailure(context, status.error);
}

bool IssueChipSerial(AppContext& context, MainView& view, ActionKind kind, ChipSerial& serial) {
  const text::Language& language = context.language;
  const std::string actionName = language.Text(ActionCaption(kind));
  const auto refuse = [&context, &language, &actionName](std::string_view reason) {
    context.reporter.ReportStatus(ledger::CannotRecordText(language, reason, actionName), Severity::ErrorLine);
    context.state.lastResult = CommandResult::SerialRefused;
    return false;
  };
  ledger::ProductionLedger* record = context.record.ledger();
  if (record == nullptr) return refuse(context.record.error());
  if (const std::string copied = context.record.CopiedFrom(); !copied.empty()) {
    return refuse(ledger::CopyRefusalText(language, copied));
  }
  if (const std::string refusal = context.record.JobRefusal(); !refusal.empty()) return refuse(refusal);
  const ledger::JobId job = context.record.job;
  if (job == 0) return refuse(kNoJobRow);

  // The value the Writer will give this chip: it may have counted on its own since the last one.
  bool read = false;
  const std::optional<rolling::RollingWords> wanted = WriterRollingValue(context, read);
  if (!read) return refuse(kWriterValueUnread);
  if (!wanted) return refuse(kWriterValueForeign);

  // Values the Writer used on its own since the record last knew its value go on record as
  // used; a Writer value at or below a value already used (a swapped Writer, a state put back,
  // an older value typed in) is replaced by the next value above every used one.
  const ledger::RollingShape shape = ShapeOfJob(context);
  ledger::WriterObservation seen;
  std::string said;
  if (const ledger::LedgerStatus status = ObserveHeld(context, *record, job, *wanted, seen, said); !status) {
    return refuse(status.error);
  }
  if (seen.noneLeft) return refuse(fmt::format(kNoValueAfter, seen.usedUpTo ? seen.usedUpTo->digits : std::string()));

  // At a station of a shared series the value must lie in the station's block: past its end a
  // new block comes first, and a value passed over at the end of a block moves on to the next.
  ledger::IssuedSerial issued;
  std::vector<ledger::SerialValue> skippedValues;
  rolling::RollingWords ask = seen.usedUpTo ? seen.replacement : *wanted;
  for (int round = 0;; ++round) {
    SeriesTarget target;
    std::string reason;
    bool unreachable = false;
    if (!context.series.TargetFor(context, ask, target, reason, unreachable)) {
      ShowSeries(context, view);
      if (!unreachable) return refuse(reason);
      context.reporter.ReportStatus(reason, Severity::ErrorLine);
      context.state.lastResult = CommandResult::SerialRefused;
      return false;
    }
    issued = record->IssueSerial(job, kind, target.value, target.limit);
    if (!issued.status) return refuse(issued.status.error);
    skippedValues.insert(skippedValues.end(), issued.skipped.begin(), issued.skipped.end());
    if (!issued.pastLimit) break;
    context.series.BlockUsedUp();
    const std::optional<rolling::RollingWords> after =
        issued.skipped.empty() ? std::nullopt
                               : ledger::EntriesOf(issued.skipped.back().digits, ShapeOfJob(context));
    const std::optional<rolling::RollingWords> next =
        after ? ledger::AddStep(*after, context.rolling.step, ShapeOfJob(context)) : std::nullopt;
    if (!next || round + 1 >= kMaxBlockRounds) return refuse(kNoValueInBlock);
    ask = *next;
  }
  context.series.Issued(context, issued.value);
  serial.action = issued.action;
  serial.value = issued.value;
  serial.skippedNote.clear();
  if (seen.usedUpTo) {
    const std::string line = language.Format(
        text::IDS_Ledger_WriterBelowUsed,
        {ledger::MakeSerialValue(*wanted, shape).digits, seen.usedUpTo->digits, issued.value.digits});
    context.reporter.ReportStatus(line, Severity::NoteLine);
    serial.skippedNote += line + "\r\n";
  }
  for (const ledger::SerialValue& skipped : skippedValues) {
    const std::string line = ledger::SkippedText(language, skipped, issued.value);
    context.reporter.ReportStatus(line, Severity::NoteLine);
    serial.skippedNote += line + "\r\n";
  }
  // The issued value stands unused, free again, when the chip is not touched after all.
  const auto unused = [&context, record, &serial](std::string_view why) {
    const ledger::LedgerStatus status = record->FinishAction(serial.action, Outcome::NotRun, why, 0);
    if (!status) ReportRecordFailure(context, status.error);
    serial.action = 0;
  };

  const rolling::RollingWords previous = context.rolling.value;
  context.rolling.value = issued.entries;
  if (!WriteCountQuietly(context, issued.entries)) {
    context.rolling.value = previous;
    const std::string reason = fmt::format(kCountNotWritten, platform::PathToUtf8(context.rolling.iniPath));
    unused(reason);
    return refuse(reason);
  }
  if (!SameValue(issued.entries, *wanted, context.rolling.wordLength)) {
    // The Writer would give the chip a value already taken: it gets the issued one first.
    if (!DownloadJobOrStopChips(context, view, writer_ops::kRollingJobLabel, text::IDS_MESSAGE_RollingProgramOK,
                                text::IDS_MESSAGE_RollingVerifyOk)) {
      context.progress.HideProgress();
      unused(context.reporter.Transcript());
      context.state.lastResult = CommandResult::JobFailed;
      return false;
    }
    context.progress.HideProgress();
  }
  return true;
}

void FinishChipCommand(AppContext& context, MainView& view, ActionKind kind,
                       const writer_ops::ChipActionResult& result, std::int64_t durationMs,
                       const std::optional<ChipSerial>& serial) {
  const Outcome outcome = OutcomeOf(result.outcome);
  ledger::ProductionLedger* record = context.record.ledger();
  if (serial && serial->action != 0 && record != nullptr) {
    const ledger::LedgerStatus status =
        record->FinishAction(serial->action, outcome, serial->skippedNote + context.reporter.Transcript(), durationMs);
    if (!status) ReportRecordFailure(context, status.error);
  } else {
    RecordCommand(context, kind, outcome, durationMs);
  }

  ProductionRecord::LastChip last{kind, outcome, serial ? serial->value.digits : std::string(), false, {}};
  if (outcome == Outcome::NotRun) last.reason = NotRunReason(context);
  context.record.SetLastChip(std::move(last));
  ShowLastChip(context, view);
  ShowCounters(context, view);
}

void BeginChipCommand(AppContext& context, MainView& view, ActionKind kind) {
  context.reporter.StartTranscript();
  context.record.SetLastChip(ProductionRecord::LastChip{kind, Outcome::Unknown, {}, true, {}});
  ShowLastChip(context, view);
}

void EndChipCommand(AppContext& context, MainView& view) {
  std::optional<ProductionRecord::LastChip> last = context.record.lastChip();
  // A command that reached its chip has shown its result and the counters already.
  if (!last || !last->running) return;
  last->running = false;
  last->outcome = Outcome::NotRun;
  last->reason = NotRunReason(context);
  context.record.SetLastChip(std::move(last));
  ShowLastChip(context, view);
  ShowCounters(context, view);
}

void ClearLastChip(AppContext& context, MainView& view) {
  context.record.SetLastChip(std::nullopt);
  ShowLastChip(context, view);
}

void ShowLastChip(AppContext& context, MainView& view) {
  const std::optional<ProductionRecord::LastChip> chip = context.record.lastChip();
  if (!chip) {
    // Before the first chip of a job whose serial numbers cannot be made, the band says so.
    if (!ShowNoSerialBand(context, view)) view.ShowChipResult(MainView::Verdict::None, {}, {});
    return;
  }
  const text::Language& language = context.language;
  const std::string action = language.Text(ActionCaption(chip->kind));
  if (chip->running) {
    view.ShowChipResult(MainView::Verdict::Running, language.Format(text::IDS_Band_Running, {InCapitals(action)}), {});
    return;
  }
  if (chip->outcome == Outcome::NotRun) {
    view.ShowChipResult(MainView::Verdict::NotRun, language.Text(text::IDS_Band_NotRun),
                        language.Format(text::IDS_Band_NotRunDetail, {action, chip->reason}));
    return;
  }
  if (chip->outcome == Outcome::NoChip) {
    view.ShowChipResult(MainView::Verdict::NoChip, language.Text(text::IDS_Band_NoChip),
                        chip->value.empty() ? language.Format(text::IDS_Band_NoChipDetail, {action})
                                            : language.Format(text::IDS_Band_NoChipValueFree, {action, chip->value}));
    return;
  }
  MainView::Verdict verdict = MainView::Verdict::Unknown;
  text::UiText verdictText = text::IDS_Ledger_Unknown;
  if (chip->outcome == Outcome::Pass) {
    verdict = MainView::Verdict::Pass;
    verdictText = text::IDS_Ledger_Pass;
  } else if (chip->outcome == Outcome::Fail) {
    verdict = MainView::Verdict::Fail;
    verdictText = text::IDS_Ledger_Fail;
  }
  const std::string value = chip->value.empty() ? language.Text(text::IDS_Ledger_NoValue) : chip->value;
  view.ShowChipResult(verdict, language.Text(verdictText), language.Format(text::IDS_Ledger_ResultDetail, {action, value}));
}

void ShowCounters(AppContext& context, MainView& view) {
  ledger::CounterSet counters;
  if (ledger::ProductionLedger* record = context.record.ledger()) {
    // Counters that cannot be read show zeros; the record's failure shows at its next write.
    if (!record->ReadCounters(context.record.job, counters)) counters = {};
  }
  const text::Language& language = context.language;
  view.ShowCounters(CountersLine(language, text::IDS_Ledger_JobTally, counters.job),
                    CountersLine(language, text::IDS_Ledger_TodayTally, counters.today));
  ShowSeries(context, view);
}

}  // namespace vx3::app
