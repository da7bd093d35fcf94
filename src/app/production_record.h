// The production record as the worker and the commands keep it: the record opened at start, the
// job of the load in force, the value issued before a chip command that writes a serial (and
// the refusal when it cannot be recorded), each command's result, and what the window shows
// of it: the last chip's verdict and the counters.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/production_ledger.h"
#include "ui_text/language.h"
#include "ui_text/ui_texts.h"
#include "writer_ops/chip_actions.h"

namespace vx3::app {

struct AppContext;
class MainView;

class ProductionRecord {
 public:
  // Opens the record of `dataDir` with `opener` (none: this build keeps no record).
  void Open(const ledger::LedgerOpener& opener, const std::filesystem::path& dataDir, platform::Clock& clock);
  bool Opened() const { return opened_; }
  // Null when the record cannot be used; error() says why.
  ledger::ProductionLedger* ledger() const { return ledger_.get(); }
  const std::string& error() const { return error_; }
  // What the opening found, for the status box: a damaged record kept aside, values left
  // without a result by the last stop, a record copied from elsewhere.
  std::vector<std::string> Notes(const text::Language& language) const;

  // Where the record was made when it is a copy from another PC or folder (in words); empty
  // when it is at home. A copy issues no value until it is adopted.
  std::string CopiedFrom() const;
  // The copy becomes a new station here (ProductionLedger::Adopt); `station` not empty names it.
  ledger::LedgerStatus Adopt(std::string_view station);

  // The job row of the load in force; 0 when none (nothing loaded, or the row could not be made).
  std::atomic<ledger::JobId> job{0};
  // Why the loaded job cannot issue values (its record failed, or no value is left); empty when
  // it can.
  std::string JobRefusal() const;
  void SetJobRefusal(std::string reason);

  // What the load said of its first value (raised, or none left); said again when the status
  // box is emptied before the load ends. Empty when the INI's value stood.
  std::string startNote;
  // What the load's read-back found the Writer had used on its own; said again likewise.
  std::string standaloneNote;

  // The last chip command's result, shown again in the language in force after a switch; while
  // a chip command runs, that command (`running`).
  struct LastChip {
    ledger::ActionKind kind = ledger::ActionKind::AutoProgram;
    ledger::Outcome outcome = ledger::Outcome::Unknown;
    std::string value;  // the serial's digits; empty when it wrote none
    bool running = false;
    std::string reason;  // why a command did not reach the chip (outcome NotRun)
  };
  void SetLastChip(std::optional<LastChip> chip);
  std::optional<LastChip> lastChip() const;

 private:
  std::unique_ptr<ledger::ProductionLedger> ledger_;
  bool opened_ = false;
  std::string error_;
  std::filesystem::path keptAside_;
  std::vector<std::string> madeUnknown_;
  mutable std::mutex mutex_;  // guards the three below
  std::string copiedFrom_;
  std::string jobRefusal_;
  std::optional<LastChip> lastChip_;
};

// Milliseconds since `start` on the context's clock.
std::int64_t MillisecondsSince(const AppContext& context, std::chrono::steady_clock::time_point start);

// The record's ledger outcome of a chip action's.
ledger::Outcome OutcomeOf(writer_ops::ChipOutcome outcome);

// ---- The worker's steps of a load ----

// Before the EEPROM job of a load with the rolling code on: the value to download is the
// highest of the INI's Count, the value the Writer holds for the same rolling address and
// length, and the record's highest issued value plus the step. A raised value is written to the
// INI's Count and said in the status box; the choice is kept for the job row.
ledger::StartChoice ChooseJobStartValue(AppContext& context);

// After ChooseJobStartValue, at a station of a shared series (a settings file beside the rolling
// INI): the block of the job before is given back, and the job starts at the first value of a
// new block (written to the INI's Count and kept in `choice`). A series that cannot be used
// stops the job's serials; a server that does not answer is asked again before the first chip.
void StartSeriesJob(AppContext& context, ledger::StartChoice& choice);

// The job row of a successful load (after the firmware check, before the EEPROM job); reports
// a record that cannot make it. `choice` is the rolling value chosen for the job.
void StartJobRecord(AppContext& context, MainView& view, const std::optional<ledger::StartChoice>& choice);

// A Writer command that issues no value, after it ended: recorded under the loaded job (nothing
// when no job row exists) with `message`, or what the status box was told since the
// reporter's transcript started. A record that fails says so in the status box; the command
// stands.
void RecordCommand(AppContext& context, ledger::ActionKind kind, ledger::Outcome outcome, std::int64_t durationMs,
                   const std::optional<ledger::SerialValue>& rollingValue = std::nullopt,
                   const std::optional<std::string>& message = std::nullopt);

// Before a new rolling value is downloaded (the Rolling Code dialog): what the Writer did on its
// own with the value it holds goes on record first, so that the download cannot hide it. Gives
// back the line said of it (empty when nothing was found).
std::string ObserveWriter(AppContext& context);

// The Writer's job now holds the rolling value of the settings in force (it was downloaded):
// the record knows it, so that a later read-back tells what the Writer did on its own.
void NoteWriterValue(AppContext& context);

// The rolling value of the settings in force, as the record keeps it.
ledger::SerialValue CurrentRollingValue(const AppContext& context);

// ---- The chip commands ----

// The value a chip command that writes a serial gives its chip, issued and committed before the
// command is sent. `action` is 0 when no value was issued (refused).
struct ChipSerial {
  ledger::ActionId action = 0;
  ledger::SerialValue value;
  std::string skippedNote;  // the values passed over, as said in the status box
};

// Issues the value the Writer will give the chip of `kind` (read back from the Writer first):
// a value already on a passed chip or of unknown outcome is passed over, and the value issued
// instead is downloaded before the chip is touched; the INI's Count is written with it. False,
// with one error line, when anything of that fails: the command must not be sent.
bool IssueChipSerial(AppContext& context, MainView& view, ledger::ActionKind kind, ChipSerial& serial);

// After a chip command: its result in the record (the issued value's, or a new action row),
// the verdict display and the counters.
void FinishChipCommand(AppContext& context, MainView& view, ledger::ActionKind kind,
                       const writer_ops::ChipActionResult& result, std::int64_t durationMs,
                       const std::optional<ChipSerial>& serial);

// A chip command of `kind` starts: the band shows it running, so that nothing of the chip before
// stays in view while this one is worked on.
void BeginChipCommand(AppContext& context, MainView& view, ledger::ActionKind kind);
// A chip command has ended: when it never reached a chip (no Writer, refused by the record, the
// lock, a failed connect, a download before the chip), the band says NOT RUN with the reason,
// taken from the error lines the command reported; the counters are shown again.
void EndChipCommand(AppContext& context, MainView& view);
// A load starts or ends: the band of the job before is cleared.
void ClearLastChip(AppContext& context, MainView& view);

// The counters of the loaded job and of today in the window (zeros when the record is not
// usable), and the shared series' line under them.
void ShowCounters(AppContext& context, MainView& view);
// The last chip's verdict in the language in force (the display cleared when there is none).
void ShowLastChip(AppContext& context, MainView& view);

// The name the record keeps for a chip action's code.
ledger::ActionKind ActionKindOf(std::uint8_t action, bool erasable);

}  // namespace vx3::app
