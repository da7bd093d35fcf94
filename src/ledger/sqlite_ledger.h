// The production record of one station: an SQLite file, Writer_Log/production.db in the
// program folder, opened once, in WAL mode with a durable commit. The only place that speaks SQL.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/outbox.h"
#include "ledger/production_ledger.h"
#include "ledger/station_blocks.h"

namespace vx3::platform {
class Clock;
}

namespace vx3::ledger {

inline constexpr std::string_view kLedgerFolder = "Writer_Log";
inline constexpr std::string_view kLedgerFileName = "production.db";
// The station's own settings, beside the record: [Production] Station=<name>.
inline constexpr std::string_view kStationSettingsFileName = "production.ini";
inline constexpr std::string_view kStationSection = "Production";
inline constexpr std::string_view kStationKey = "Station";
// The record's layout version (PRAGMA user_version) and the mark of our files (application_id).
inline constexpr int kLedgerSchemaVersion = 5;
inline constexpr int kLedgerApplicationId = 0x56583357;  // "VX3W"
// A damaged file is kept as production.db.damaged-<local date and time>.
inline constexpr std::string_view kDamagedSuffix = ".damaged-";

struct LedgerOptions {
  std::string station;       // empty: the settings file's, else the host name
  int busyTimeoutMs = 2000;  // how long to wait for another program's hold on the file
  std::string vfsName;       // an SQLite VFS by name (tests use one that fails on purpose); empty: default
  // The identity of the machine (platform::MachineId when empty): tests pretend to be another PC.
  std::string machineId;
  // The Writer lock this program's values are issued under (its file's name), kept with each
  // action that issues one; and whether such a lock is held by another running program now. A
  // value left open at open time is called unknown only when its owner's lock is not held (no
  // test: every open value is, as from a program that ended).
  std::string owner;
  std::function<bool(std::string_view owner)> ownerHeld;
};

// Opens (or makes) the record in `programDir`/Writer_Log. A damaged file is moved aside and a
// new record started; a file that is locked, read-only, of a newer layout or not a record of
// this program is left as it is and no record is opened. A new record (or one of an older layout
// that knows no home yet) takes this machine and its own path as its home; opened anywhere else
// it is a copy (OpenedLedger::copiedFrom) and issues no value until adopted.
OpenedLedger OpenSqliteLedger(const std::filesystem::path& programDir, platform::Clock& clock,
                              const LedgerOptions& options = {});

// The SQL that takes a record of layout `from` to layout `from + 1` (0: an empty file). The steps
// are the record's history: applied in turn they make a record of any older layout.
std::string RecordLayoutStep(std::int64_t from);

// Appends `chips` passed Auto Program actions to `job` of an SQLite record, with their serials
// from `first` on by the job's step, their Writer message and their counters, in one
// transaction: a big record for measurements in seconds instead of hours of durable commits.
LedgerStatus AppendMeasurementChips(ProductionLedger& ledger, JobId job, const rolling::RollingWords& first,
                                    std::int64_t chips);

// The outbox of an SQLite record (null for any other record). It lives as long as the record.
LedgerOutbox* OutboxOf(ProductionLedger& ledger);

// The station name: `configured` when not empty, else the settings file's in `folder`, else
// the host name.
std::string StationName(const std::filesystem::path& folder, std::string_view configured);

// One field of a CSV row (RFC 4180): quoted, with quotes doubled, when it holds a comma, a
// quote, a line break or leading/trailing space.
std::string CsvField(std::string_view text);

}  // namespace vx3::ledger
