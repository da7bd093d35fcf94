// The production record: the jobs loaded, every Writer command with its result, and every
// rolling value issued to a chip. The interface the program uses; the SQLite store of one
// station (ledger/sqlite_ledger.h) is behind it, and a shared store can stand beside it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/serial_value.h"
#include "rolling/rolling_settings.h"

namespace vx3::platform {
class Clock;
}

namespace vx3::ledger {

using JobId = std::int64_t;
using ActionId = std::int64_t;

// The Writer commands the record knows. Their names are stored and exported as they are.
enum class ActionKind {
  AutoProgram,
  BlankCheck,
  Erase,
  Program,
  Verify,
  Read,
  RollingDownload,  // the rolling record downloaded after the rolling dialog
  EepromDownload,   // the worker's EEPROM job
  FirmwareUpdate,
};
std::string_view ActionName(ActionKind kind);
// Actions that put the image into a chip: they make the chip counters.
bool ProgramsChip(ActionKind kind);

// How an action ended. NoChip: the Writer found its socket empty; NotRun: the command never
// reached a chip (its value was issued, then the chip was not touched after all). Neither is a
// chip: they count nowhere, and their value is free again.
enum class Outcome { Pass, Fail, Unknown, NoChip, NotRun };
// True for the outcomes of an action that reached a chip (pass, fail, unknown).
constexpr bool ReachedChip(Outcome outcome) { return outcome != Outcome::NoChip && outcome != Outcome::NotRun; }

// Everything a load fixes: one job row for each successful load.
struct JobInfo {
  std::string device;
  std::filesystem::path imagePath;
  std::uint16_t checksum = 0;
  std::uint16_t securedChecksum = 0;
  bool security = false;
  std::uint16_t iapVersion = 0;  // the Writer's versions as the worker read them
  std::uint16_t driverVersion = 0;
  // The rolling code; off when `rollingOn` is false (the fields below are then not stored).
  bool rollingOn = false;
  std::filesystem::path iniPath;
  std::uint32_t rollingAddress = 0;
  RollingShape shape;
  rolling::RollingWords step{};
  rolling::RollingWords firstValue{};  // the value downloaded with the job (ChooseStartValue)
  std::string firstValueNote;          // why it was raised above the INI's Count; empty if not
};

// Result of the operations that can fail: `error` names the reason in words for the operator
// ("the disk is full (/path/production.db)"), without a final full stop.
struct LedgerStatus {
  bool ok = true;
  std::string error;
  explicit operator bool() const { return ok; }
  static LedgerStatus Failed(std::string reason) { return {false, std::move(reason)}; }
};

struct IssuedSerial {
  LedgerStatus status;
  ActionId action = 0;
  rolling::RollingWords entries{};  // the value issued: download it when it is not the one asked for
  SerialValue value;
  // Values passed over, in order: each is on a chip whose outcome is unknown, on a passed
  // chip, or being programmed by another station on this record.
  std::vector<SerialValue> skipped;
  // The first free value is past the limit asked for: nothing was issued.
  bool pastLimit = false;
};

struct Counters {
  std::int64_t done = 0;  // chips programmed (passed, failed or of unknown outcome)
  std::int64_t passed = 0;
  std::int64_t failed = 0;
  std::int64_t unknown = 0;  // done, but neither passed nor failed (an action that broke off)
  std::int64_t standalone = 0;  // chips the Writer programmed on its own: outcome unknown to the program
  double yieldPercent = 0;  // passed of done, 0 when none is done
  std::string lastSerial;   // the last finished chip's value as the status box shows it; empty if none
};
struct CounterSet {
  Counters job;
  Counters today;
};

enum class ExportScope { Job, Today, All };

// What a read-back of the Writer's rolling value told the record (ObserveWriterValue).
struct WriterObservation {
  // The values the Writer used on its own since the record last knew its value, first to last
  // by the job's step; `standaloneCount` is 0 when there were none.
  std::int64_t standaloneCount = 0;
  SerialValue standaloneFirst;
  SerialValue standaloneLast;
  // Set when the Writer's value is at or below a value on record as used (issued, passed,
  // failed, unknown or stand-alone): the highest such value, and the next value above it by the
  // job's step, which the chip must get instead.
  std::optional<SerialValue> usedUpTo;
  rolling::RollingWords replacement{};
  // The Writer's value lies past every value the rolling code can count: nothing can be issued.
  bool noneLeft = false;
};

class LedgerOutbox;
class StationBlocks;

class ProductionLedger {
 public:
  virtual ~ProductionLedger() = default;

  // The record's outbox for the shared record and its series blocks; null in a record that has
  // none (it cannot join a series).
  virtual LedgerOutbox* Outbox() { return nullptr; }
  virtual StationBlocks* Blocks() { return nullptr; }

  // A job row for a successful load.
  virtual LedgerStatus StartJob(const JobInfo& job, JobId& id) = 0;

  // At every read-back of the Writer's rolling value (`held`) for the job `job` (before a chip
  // command) or for the latest job of the rolling INI `iniPath` (`job` 0: at a load, before the
  // new job row): the values between the value the record last knew the Writer held and
  // `held` are recorded as used on its own (state standalone, one row per run, counted as
  // stand-alone chips of the job that ran them), and `held` becomes the value known. Tells
  // whether `held` is at or below a value already used. In one durable transaction.
  virtual LedgerStatus ObserveWriterValue(JobId job, const std::filesystem::path& iniPath, const RollingShape& shape,
                                          const rolling::RollingWords& held, WriterObservation& seen) = 0;
  // The Writer was given `value` (a download of the job or of its rolling record): the value known.
  virtual LedgerStatus NoteWriterValue(const std::filesystem::path& iniPath, const RollingShape& shape,
                                       const rolling::RollingWords& value) = 0;

  // A job whose rolling INI asks for serial numbers that cannot be made: why, and whether the
  // operator chose to program its chips without them. Kept in the job row.
  virtual LedgerStatus NoteNoSerial(JobId job, std::string_view reason, bool programWithout) = 0;

  // The highest value ever issued for the rolling INI (any state), or nullopt when none.
  virtual LedgerStatus HighestIssued(const std::filesystem::path& iniPath, std::optional<SerialValue>& highest) = 0;

  // Before a command that programs a chip with the rolling code on: commits durably (fsync)
  // an action row of unknown result and the value the Writer will give the chip, `wanted`, or
  // the first value from it on (by the job's step) that no passed chip, no chip of unknown
  // outcome and no other station holds. A failed status means no value may be used: the
  // command must not be sent.
  // With `limit` (the end of the station's block of a series), a first free value above it is
  // not issued: nothing is written and `pastLimit` is set (the values passed over on the way
  // are in `skipped`).
  virtual IssuedSerial IssueSerial(JobId job, ActionKind kind, const rolling::RollingWords& wanted,
                                   const std::optional<SerialValue>& limit) = 0;
  IssuedSerial IssueSerial(JobId job, ActionKind kind, const rolling::RollingWords& wanted) {
    return IssueSerial(job, kind, wanted, std::nullopt);
  }

  // The result of an issued action: the action's result and its value's state (passed, failed
  // or unknown; unused, free again, when no chip was reached), with the Writer's message or the
  // error line and the duration.
  virtual LedgerStatus FinishAction(ActionId action, Outcome outcome, std::string_view message,
                                    std::int64_t durationMs) = 0;

  // A command that issues no value, recorded after it ended. `rollingValue` is the value
  // it concerns, if any (the value a rolling download sent).
  virtual LedgerStatus RecordAction(JobId job, ActionKind kind, Outcome outcome, std::string_view message,
                                    std::int64_t durationMs, const std::optional<SerialValue>& rollingValue) = 0;

  // Counters of the job and of today (local date), since the last reset.
  virtual LedgerStatus ReadCounters(JobId job, CounterSet& counters) = 0;
  // Starts both counters again from zero: a reset row; nothing is deleted.
  virtual LedgerStatus ResetCounters(JobId job) = 0;
  // Whether the record holds job `job` (a job started by a load, here or at the station the
  // record was copied from); false for 0 and for negative ids.
  virtual LedgerStatus HasJob(JobId job, bool& exists) = 0;

  // CSV of the actions (RFC 4180, UTF-8, one header row, one row per action, ISO 8601 times)
  // of the job, of today or of the whole record, written to `file`.
  virtual LedgerStatus ExportCsv(ExportScope scope, JobId job, const std::filesystem::path& file) = 0;

  // A record copied from another PC or folder (OpenedLedger::copiedFrom) becomes a new station
  // here, in one transaction: a new random name, this machine and path as its home, its queue
  // for the server emptied (those rows are the original station's), its open blocks of a series
  // returned (the original holds them). With `station` not empty, that name is stored beside the
  // record and used from now on. Its rows stay as history and its values are never issued again.
  // A record made here is left as it is.
  virtual LedgerStatus Adopt(std::string_view station) {
    (void)station;
    return LedgerStatus::Failed("this production record cannot be adopted as a new station");
  }
};

struct OpenedLedger {
  std::unique_ptr<ProductionLedger> ledger;  // null when the record cannot be used
  LedgerStatus status;                       // why not
  // A damaged record was moved to this name and a new one started.
  std::filesystem::path keptAside;
  // Values that were issued when the program last stopped and had no result: now unknown.
  std::vector<std::string> madeUnknown;
  // The record was made on another machine or at another path (a copied program folder or
  // record): where, in words. It issues no value until adopted.
  std::string copiedFrom;
};

// Opens the record of the program's data folder (a test or a build without a store puts its own
// in place).
using LedgerOpener = std::function<OpenedLedger(const std::filesystem::path& dataDir, platform::Clock& clock)>;

}  // namespace vx3::ledger
