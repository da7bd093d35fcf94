#include "ledger/sqlite_ledger.h"

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <system_error>
#include <tuple>
#include <utility>

#include <fmt/format.h>

#include "platform/clock.h"
#include "platform/ini_profile.h"
#include "platform/machine_id.h"
#include "platform/utf8_path.h"

#ifdef _WIN32
#include <cstdlib>
#else
#include <unistd.h>
#endif

namespace vx3::ledger {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

// Results between two foldings of the log into the file (a few pages each).
constexpr int kCommitsPerFold = 100;
// Values passed over in one issue before the record calls the run of taken values a fault.
constexpr int kMaxSkippedValues = 1000;
// A run of values used by the Writer on its own, as its action row says it.
constexpr std::string_view kStandaloneAction = "Stand-alone";
constexpr std::string_view kStandaloneOne = "value {} used by the Writer on its own (stand-alone): outcome unknown";
constexpr std::string_view kStandaloneRun =
    "values {} to {} used by the Writer on its own (stand-alone, {} chips): outcome unknown";
// The longest run of values walked one by one when they are too wide for a number.
constexpr std::int64_t kMaxRunSteps = 1'000'000;
constexpr std::string_view kNoResultMessage = "no result: the program stopped before the Writer answered";
constexpr std::string_view kCsvHeader =
    "action_id,time_local,time_utc,station,job_id,device,image_path,action,result,rolling_value,duration_ms,message";
constexpr std::string_view kCsvLineEnd = "\r\n";
// A record opened away from its home (another machine or another path): where it was made, and
// why it issues nothing. The machine is shown by the start of its identity.
constexpr std::string_view kMadeOnMachineAt = "made on machine {} at {}";
constexpr std::string_view kMadeAt = "made at {}";
constexpr std::size_t kShownMachineIdChars = 8;
constexpr std::string_view kShortenedMark = "...";
constexpr std::string_view kCopyRefusal =
    "the production record is a copy ({}): it issues no value until it is adopted as a new station";
constexpr std::string_view kHeldByOriginal = "held by the station this record was copied from";
constexpr std::string_view kStationNotStored = "the station name cannot be stored in {}";

// The record's layout, version 1. Times are ISO 8601 texts (local with its offset, and UTC);
// `day` is the local date that today's counters go by. Rolling values are kept as the status
// box shows them (`value`) and zero-padded (`value_key`), which sorts as the number does.
constexpr const char* kSchemaVersion1 = R"sql(
CREATE TABLE jobs(
  id INTEGER PRIMARY KEY,
  time_local TEXT NOT NULL, time_utc TEXT NOT NULL, station TEXT NOT NULL,
  device TEXT NOT NULL, image_path TEXT NOT NULL,
  checksum TEXT NOT NULL, secured_checksum TEXT NOT NULL, security INTEGER NOT NULL,
  iap_version TEXT NOT NULL, driver_version TEXT NOT NULL,
  rolling_ini TEXT, rolling_address INTEGER, rolling_length INTEGER,
  rolling_low_first INTEGER, rolling_byte_words INTEGER,
  rolling_step TEXT, rolling_first TEXT, rolling_note TEXT);
CREATE TABLE actions(
  id INTEGER PRIMARY KEY,
  job_id INTEGER NOT NULL REFERENCES jobs(id),
  time_local TEXT NOT NULL, time_utc TEXT NOT NULL, day TEXT NOT NULL,
  action TEXT NOT NULL, chip INTEGER NOT NULL,
  result TEXT NOT NULL CHECK(result IN ('pass', 'fail', 'unknown')),
  open INTEGER NOT NULL DEFAULT 0,
  message TEXT NOT NULL DEFAULT '', rolling_value TEXT, duration_ms INTEGER);
CREATE INDEX actions_by_job ON actions(job_id, id);
CREATE INDEX actions_by_day ON actions(day, id);
CREATE INDEX actions_open ON actions(open) WHERE open = 1;
CREATE TABLE serials(
  id INTEGER PRIMARY KEY,
  ini TEXT NOT NULL, value TEXT NOT NULL, value_key TEXT NOT NULL,
  state TEXT NOT NULL CHECK(state IN ('issued', 'passed', 'failed', 'unknown')),
  action_id INTEGER NOT NULL REFERENCES actions(id),
  once INTEGER NOT NULL);
CREATE INDEX serials_by_value ON serials(ini, value_key);
CREATE INDEX serials_by_action ON serials(action_id);
CREATE UNIQUE INDEX serials_once ON serials(ini, value_key) WHERE once = 1 AND state <> 'failed';
CREATE TABLE tallies(
  job_id INTEGER NOT NULL, day TEXT NOT NULL,
  done INTEGER NOT NULL DEFAULT 0, passed INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(job_id, day)) WITHOUT ROWID;
CREATE INDEX tallies_by_day ON tallies(day);
CREATE TABLE counter_resets(
  id INTEGER PRIMARY KEY,
  time_local TEXT NOT NULL, time_utc TEXT NOT NULL, station TEXT NOT NULL,
  job_id INTEGER NOT NULL, day TEXT NOT NULL, last_action INTEGER NOT NULL,
  job_done INTEGER NOT NULL, job_passed INTEGER NOT NULL, job_failed INTEGER NOT NULL,
  day_done INTEGER NOT NULL, day_passed INTEGER NOT NULL, day_failed INTEGER NOT NULL);
)sql";

// The rows that go to the shared record, each table with its columns: the outbox carries a
// row as a JSON object of these. The lists of version 2 stay as they were, for the step that
// makes version 2; version 4 makes the triggers again with today's lists.
struct SentTable {
  const char* name;
  const char* columns;
};
constexpr const char* kJobColumnsV2 =
    "id,time_local,time_utc,station,device,image_path,checksum,secured_checksum,security,iap_version,"
    "driver_version,rolling_ini,rolling_address,rolling_length,rolling_low_first,rolling_byte_words,"
    "rolling_step,rolling_first,rolling_note";
constexpr const char* kActionColumns =
    "id,job_id,time_local,time_utc,day,action,chip,result,open,message,rolling_value,duration_ms";
constexpr const char* kResetColumnsV2 =
    "id,time_local,time_utc,station,job_id,day,last_action,job_done,job_passed,job_failed,"
    "day_done,day_passed,day_failed";
constexpr const char* kBlockColumns = "id,time_local,series,server_id,first_value,span,used,state,note";
constexpr std::array<SentTable, 5> kSentTablesV2{{
    {"jobs", kJobColumnsV2},
    {"actions", kActionColumns},
    {"serials", "id,ini,value,value_key,state,action_id,once"},
    {"counter_resets", kResetColumnsV2},
    {"blocks", kBlockColumns},
}};
constexpr std::array<SentTable, 5> kSentTables{{
    {"jobs",
     "id,time_local,time_utc,station,device,image_path,checksum,secured_checksum,security,iap_version,"
     "driver_version,rolling_ini,rolling_address,rolling_length,rolling_low_first,rolling_byte_words,"
     "rolling_step,rolling_first,rolling_note,no_serial"},
    {"actions", kActionColumns},
    {"serials", "id,ini,value,value_key,state,action_id,once,last_value,last_key,count,seen_utc"},
    {"counter_resets",
     "id,time_local,time_utc,station,job_id,day,last_action,job_done,job_passed,job_failed,"
     "day_done,day_passed,day_failed,job_standalone,day_standalone"},
    {"blocks", kBlockColumns},
}};

// json_object('id', <prefix>id, ...) over a table's columns.
std::string JsonOfRow(const SentTable& table, std::string_view prefix) {
  std::string out = "json_object(";
  std::string_view columns = table.columns;
  bool first = true;
  while (!columns.empty()) {
    const std::size_t comma = columns.find(',');
    const std::string_view column = columns.substr(0, comma);
    out += fmt::format("{}'{}',{}{}", first ? "" : ",", column, prefix, column);
    first = false;
    columns = comma == std::string_view::npos ? std::string_view() : columns.substr(comma + 1);
  }
  return out + ")";
}

// The triggers that queue each row written to the sent tables, in the same transaction.
template <std::size_t N>
std::string OutboxTriggers(const std::array<SentTable, N>& tables) {
  std::string sql;
  for (const SentTable& table : tables) {
    for (const char* event : {"INSERT", "UPDATE"}) {
      sql += fmt::format(
          "CREATE TRIGGER {0}_to_outbox_on_{1} AFTER {1} ON {0} WHEN (SELECT queueing FROM outbox_state) = 1\n"
          "BEGIN INSERT INTO outbox(table_name, row_id, row) VALUES('{0}', NEW.id, {2}); END;\n",
          table.name, event == std::string_view("INSERT") ? "insert" : "update", JsonOfRow(table, "NEW."));
    }
  }
  return sql;
}

// Version 2: the outbox (AUTOINCREMENT: a row number is never given twice, even after the rows
// before it left, since the server passes over numbers it has), whether rows are queued (from
// the station's joining a series on), the blocks of a series' values the station holds, and a
// trigger on every sent table that queues each row written, in the same transaction.
std::string SchemaVersion2() {
  std::string sql = R"sql(
CREATE TABLE outbox(
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  table_name TEXT NOT NULL, row_id INTEGER NOT NULL, row TEXT NOT NULL);
CREATE TABLE outbox_state(queueing INTEGER NOT NULL);
INSERT INTO outbox_state(queueing) VALUES(0);
CREATE TABLE blocks(
  id INTEGER PRIMARY KEY,
  time_local TEXT NOT NULL, series TEXT NOT NULL, server_id INTEGER NOT NULL,
  first_value INTEGER NOT NULL, span INTEGER NOT NULL, used INTEGER NOT NULL DEFAULT 0,
  state TEXT NOT NULL CHECK(state IN ('open', 'used', 'returned', 'beyond')),
  note TEXT NOT NULL DEFAULT '');
)sql";
  return sql + OutboxTriggers(kSentTablesV2);
}

// Version 3: a random name of the record, made once, by which the serial server tells two
// stations that were given the same name apart.
constexpr const char* kSchemaVersion3 = R"sql(
ALTER TABLE outbox_state ADD COLUMN station_token TEXT NOT NULL DEFAULT '';
UPDATE outbox_state SET station_token = lower(hex(randomblob(16)));
)sql";

// Version 4: every value a Writer used is on record, whoever used it.
// - serials: a run of values the Writer used on its own (stand-alone) is one row of state
//   'standalone' from `value` to `last_value` (`count` values by the job's step, `seen_utc` when
//   a read-back found them); the table is made again for the new state.
// - writer_values: the value the record last knew each Writer's job held, per rolling INI.
// - tallies and counter_resets: the stand-alone chips, outcome unknown to the program.
// - actions.owner: the Writer lock of the program that issued a value, so that a value left open
//   is called unknown only when no program holds that lock any more.
// - jobs.no_serial: why a job that asked for serial numbers programs without them, and the
//   operator's answer.
// - outbox_state: the machine and the path where the record was made (a copy is found by them).
// - conflicts: values this station's Writer used that the series server says another station holds.
std::string SchemaVersion4() {
  std::string sql = R"sql(
CREATE TABLE serials_v4(
  id INTEGER PRIMARY KEY,
  ini TEXT NOT NULL, value TEXT NOT NULL, value_key TEXT NOT NULL,
  state TEXT NOT NULL CHECK(state IN ('issued', 'passed', 'failed', 'unknown', 'standalone')),
  action_id INTEGER NOT NULL REFERENCES actions(id),
  once INTEGER NOT NULL,
  last_value TEXT, last_key TEXT, count INTEGER NOT NULL DEFAULT 1, seen_utc TEXT);
INSERT INTO serials_v4(id, ini, value, value_key, state, action_id, once)
  SELECT id, ini, value, value_key, state, action_id, once FROM serials;
DROP TABLE serials;
ALTER TABLE serials_v4 RENAME TO serials;
CREATE INDEX serials_by_value ON serials(ini, value_key);
CREATE INDEX serials_by_action ON serials(action_id);
CREATE UNIQUE INDEX serials_once ON serials(ini, value_key) WHERE once = 1 AND state <> 'failed';
CREATE INDEX serials_by_last ON serials(ini, last_key) WHERE last_key IS NOT NULL;
CREATE TABLE writer_values(
  ini TEXT PRIMARY KEY, value TEXT NOT NULL, value_key TEXT NOT NULL, time_utc TEXT NOT NULL) WITHOUT ROWID;
ALTER TABLE tallies ADD COLUMN standalone INTEGER NOT NULL DEFAULT 0;
ALTER TABLE counter_resets ADD COLUMN job_standalone INTEGER NOT NULL DEFAULT 0;
ALTER TABLE counter_resets ADD COLUMN day_standalone INTEGER NOT NULL DEFAULT 0;
ALTER TABLE actions ADD COLUMN owner TEXT NOT NULL DEFAULT '';
ALTER TABLE jobs ADD COLUMN no_serial TEXT;
ALTER TABLE outbox_state ADD COLUMN machine_id TEXT NOT NULL DEFAULT '';
ALTER TABLE outbox_state ADD COLUMN record_path TEXT NOT NULL DEFAULT '';
CREATE TABLE conflicts(
  id INTEGER PRIMARY KEY,
  time_local TEXT NOT NULL, series TEXT NOT NULL,
  first_value INTEGER NOT NULL, last_value INTEGER NOT NULL, other_station TEXT NOT NULL);
)sql";
  for (const SentTable& table : kSentTables) {
    for (const char* event : {"insert", "update"}) {
      // The serials' triggers went with the table made again.
      if (std::string_view(table.name) != "serials") sql += fmt::format("DROP TRIGGER {}_to_outbox_on_{};\n", table.name, event);
    }
  }
  return sql + OutboxTriggers(kSentTables);
}

// Version 5: an action that reached no chip is on record as such, and its value is free again.
// - actions.result: 'no chip' (the Writer found its socket empty) and 'not run' (the value was
//   issued, then the chip was not touched);
// - serials.state: 'unused', the value of such an action, which any later chip may get.
// SQLite cannot change a CHECK in place: both tables are made again. The values are kept aside
// first, so that no row refers to an action while the actions are moved.
std::string SchemaVersion5() {
  std::string sql = R"sql(
CREATE TEMP TABLE serials_kept AS SELECT * FROM serials;
DROP TABLE serials;
CREATE TABLE actions_v5(
  id INTEGER PRIMARY KEY,
  job_id INTEGER NOT NULL REFERENCES jobs(id),
  time_local TEXT NOT NULL, time_utc TEXT NOT NULL, day TEXT NOT NULL,
  action TEXT NOT NULL, chip INTEGER NOT NULL,
  result TEXT NOT NULL CHECK(result IN ('pass', 'fail', 'unknown', 'no chip', 'not run')),
  open INTEGER NOT NULL DEFAULT 0,
  message TEXT NOT NULL DEFAULT '', rolling_value TEXT, duration_ms INTEGER,
  owner TEXT NOT NULL DEFAULT '');
INSERT INTO actions_v5(id, job_id, time_local, time_utc, day, action, chip, result, open, message, rolling_value,
                       duration_ms, owner)
  SELECT id, job_id, time_local, time_utc, day, action, chip, result, open, message, rolling_value, duration_ms, owner
  FROM actions;
DROP TABLE actions;
ALTER TABLE actions_v5 RENAME TO actions;
CREATE INDEX actions_by_job ON actions(job_id, id);
CREATE INDEX actions_by_day ON actions(day, id);
CREATE INDEX actions_open ON actions(open) WHERE open = 1;
CREATE TABLE serials(
  id INTEGER PRIMARY KEY,
  ini TEXT NOT NULL, value TEXT NOT NULL, value_key TEXT NOT NULL,
  state TEXT NOT NULL CHECK(state IN ('issued', 'passed', 'failed', 'unknown', 'standalone', 'unused')),
  action_id INTEGER NOT NULL REFERENCES actions(id),
  once INTEGER NOT NULL,
  last_value TEXT, last_key TEXT, count INTEGER NOT NULL DEFAULT 1, seen_utc TEXT);
INSERT INTO serials(id, ini, value, value_key, state, action_id, once, last_value, last_key, count, seen_utc)
  SELECT id, ini, value, value_key, state, action_id, once, last_value, last_key, count, seen_utc FROM serials_kept;
DROP TABLE serials_kept;
CREATE INDEX serials_by_value ON serials(ini, value_key);
CREATE INDEX serials_by_action ON serials(action_id);
CREATE UNIQUE INDEX serials_once ON serials(ini, value_key) WHERE once = 1 AND state NOT IN ('failed', 'unused');
CREATE INDEX serials_by_last ON serials(ini, last_key) WHERE last_key IS NOT NULL;
)sql";
  // The triggers of the two tables went with them.
  std::array<SentTable, 2> remade{};
  std::size_t count = 0;
  for (const SentTable& table : kSentTables) {
    const std::string_view name = table.name;
    if (name == "actions" || name == "serials") remade.at(count++) = table;
  }
  return sql + OutboxTriggers(remade);
}

// The steps from each older version to the next; entry v takes version v to v + 1. Version 0
// is a new, empty file.
std::string Migration(std::int64_t from) {
  if (from == 0) return kSchemaVersion1;
  if (from == 1) return SchemaVersion2();
  if (from == 2) return kSchemaVersion3;
  if (from == 3) return SchemaVersion4();
  return SchemaVersion5();
}

// --- time ---

struct Stamp {
  std::string local;  // 2026-12-05T08:03:16.250+08:00
  std::string utc;    // 2026-12-05T00:03:16.250Z
  std::string day;    // 2026-12-05 (local)
};

std::tm BrokenDown(std::time_t t, bool local) {
  std::tm out{};
#ifdef _WIN32
  if (local) localtime_s(&out, &t); else gmtime_s(&out, &t);
#else
  if (local) localtime_r(&t, &out); else gmtime_r(&t, &out);
#endif
  return out;
}

Stamp MakeStamp(Clock::time_point now) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(now);
  const auto ms = duration_cast<milliseconds>(now - seconds).count();
  const std::time_t t = Clock::to_time_t(seconds);
  const std::tm local = BrokenDown(t, true);
  const std::tm utc = BrokenDown(t, false);
  // The offset: the local calendar time read as if it were UTC, less the time itself.
  const sys_days localDate{year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
                           day{static_cast<unsigned>(local.tm_mday)}};
  const auto localAsUtc = localDate + hours{local.tm_hour} + minutes{local.tm_min} + std::chrono::seconds{local.tm_sec};
  const auto offsetMinutes = duration_cast<minutes>(localAsUtc - seconds).count();
  const auto absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  Stamp stamp;
  stamp.day = fmt::format("{:04}-{:02}-{:02}", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  stamp.local = fmt::format("{}T{:02}:{:02}:{:02}.{:03}{}{:02}:{:02}", stamp.day, local.tm_hour, local.tm_min,
                            local.tm_sec, ms, offsetMinutes < 0 ? '-' : '+', absMinutes / 60, absMinutes % 60);
  stamp.utc = fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                          utc.tm_hour, utc.tm_min, utc.tm_sec, ms);
  return stamp;
}

// --- text ---

// Valid UTF-8: a byte that does not begin a well-formed sequence becomes U+FFFD, so that the
// record and its export hold text any reader takes.
std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (c < 0x80) length = 1;
    else if ((c & 0xE0) == 0xC0) length = 2, min = 0x80;
    else if ((c & 0xF0) == 0xE0) length = 3, min = 0x800;
    else if ((c & 0xF8) == 0xF0) length = 4, min = 0x10000;
    bool good = length > 0 && i + length <= text.size();
    std::uint32_t code = length == 1 ? c : (c & (0x7F >> length));
    for (std::size_t k = 1; good && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      good = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    good = good && code >= min && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    if (good) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string Hex4(std::uint16_t value) { return fmt::format("{:04X}", value); }

std::string_view ResultName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Pass: return "pass";
    case Outcome::Fail: return "fail";
    case Outcome::NoChip: return "no chip";
    case Outcome::NotRun: return "not run";
    case Outcome::Unknown: break;
  }
  return "unknown";
}
std::string_view StateName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Pass: return "passed";
    case Outcome::Fail: return "failed";
    case Outcome::NoChip:
    case Outcome::NotRun: return "unused";
    case Outcome::Unknown: break;
  }
  return "unknown";
}
Outcome OutcomeOfResult(std::string_view result) {
  for (const Outcome outcome : {Outcome::Pass, Outcome::Fail, Outcome::NoChip, Outcome::NotRun}) {
    if (result == ResultName(outcome)) return outcome;
  }
  return Outcome::Unknown;
}

// The key by which the record knows a rolling INI: the same file by any spelling of its path.
std::string IniKey(const fs::path& iniPath) {
  std::error_code ec;
  fs::path path = fs::weakly_canonical(fs::absolute(iniPath, ec), ec);
  if (ec) path = iniPath.lexically_normal();
  std::string key = platform::PathToUtf8(path);
#ifdef _WIN32
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
#endif
  return key;
}

// --- SQLite in small pieces ---

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql) {
    rc_ = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool prepared() const { return rc_ == SQLITE_OK && stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  int rc() const { return rc_; }

  Statement& Bind(int at, std::int64_t value) {
    Keep(sqlite3_bind_int64(stmt_, at, value));
    return *this;
  }
  Statement& Bind(int at, std::string_view text) {
    Keep(sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindNull(int at) {
    Keep(sqlite3_bind_null(stmt_, at));
    return *this;
  }
  // True with a row; false at the end or on an error (rc() tells).
  bool Step() {
    if (rc_ != SQLITE_OK && rc_ != SQLITE_ROW && rc_ != SQLITE_DONE) return false;
    rc_ = sqlite3_step(stmt_);
    return rc_ == SQLITE_ROW;
  }
  bool Done() const { return rc_ == SQLITE_DONE || rc_ == SQLITE_ROW; }
  // Runs a statement that gives no rows.
  bool Run() {
    Step();
    return rc_ == SQLITE_DONE;
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text == nullptr ? std::string() : std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
  }

 private:
  void Keep(int rc) {
    if (rc_ == SQLITE_OK && rc != SQLITE_OK) rc_ = rc;
  }
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

// The operator's words for what went wrong with the file.
std::string Reason(sqlite3* db, int rc, const fs::path& file) {
  const std::string where = platform::PathToUtf8(file);
  const int primary = rc & 0xFF;
  switch (primary) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return fmt::format("the record file is locked by another program ({})", where);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return fmt::format("the record file cannot be written ({})", where);
    case SQLITE_CANTOPEN:
      return fmt::format("the record file cannot be opened or made ({})", where);
    case SQLITE_FULL:
      return fmt::format("the disk is full ({})", where);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return fmt::format("the record file is damaged ({})", where);
    case SQLITE_IOERR:
      return fmt::format("the record file cannot be written to disk ({}: {})", where,
                         db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    default:
      break;
  }
  return fmt::format("{} ({})", db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc), where);
}

bool IsDamage(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// The tally of chip actions a finished action adds to (or moves within).
struct TallyChange {
  std::int64_t done = 0;
  std::int64_t passed = 0;
  std::int64_t failed = 0;
  std::int64_t standalone = 0;
};
TallyChange TallyOf(Outcome outcome, int sign) {
  TallyChange change;
  // An action that reached no chip counts nowhere.
  if (!ReachedChip(outcome)) return change;
  change.done = sign;
  if (outcome == Outcome::Pass) change.passed = sign;
  if (outcome == Outcome::Fail) change.failed = sign;
  return change;
}

BlockState BlockStateOf(std::string_view name) {
  for (const BlockState state : {BlockState::Open, BlockState::Used, BlockState::Returned}) {
    if (name == BlockStateName(state)) return state;
  }
  return BlockState::Beyond;
}

// Where a record is at home: the machine (empty when the system keeps no identity) and the
// record file's own path, as its key.
struct RecordHome {
  std::string machineId;
  std::string path;
};

// Where the record was made, in words ("made on machine 1a2b3c4d... at /old/Writer_Log/production.db").
std::string MadeWhere(const RecordHome& home) {
  if (home.machineId.empty()) return fmt::format(kMadeAt, home.path);
  const bool shortened = home.machineId.size() > kShownMachineIdChars;
  return fmt::format(kMadeOnMachineAt,
                     home.machineId.substr(0, kShownMachineIdChars) + std::string(shortened ? kShortenedMark : ""),
                     home.path);
}

class SqliteLedger final : public ProductionLedger, public LedgerOutbox, public StationBlocks {
 public:
  SqliteLedger(sqlite3* db, fs::path file, std::string station, platform::Clock& clock, const LedgerOptions& options,
               RecordHome here, std::string copiedFrom)
      : db_(db),
        file_(std::move(file)),
        station_(std::move(station)),
        clock_(clock),
        owner_(options.owner),
        ownerHeld_(options.ownerHeld),
        here_(std::move(here)),
        copiedFrom_(std::move(copiedFrom)) {}
  ~SqliteLedger() override { sqlite3_close_v2(db_); }

  // Where the record was made, when that is not here; empty when it is at home.
  std::string CopiedFrom() {
    std::lock_guard lock(mutex_);
    return copiedFrom_;
  }

  // Results that had no end when their program stopped become unknown. An action whose owner's
  // Writer lock is held is another running program's, still under way: it stays open.
  LedgerStatus Recover(std::vector<std::string>& madeUnknown) {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    Statement open(db_, "SELECT id, job_id, day, chip, rolling_value, owner FROM actions WHERE open = 1 ORDER BY id");
    std::vector<std::tuple<std::int64_t, std::int64_t, std::string, bool>> actions;
    while (open.Step()) {
      const std::string owner = open.Text(5);
      if (!owner.empty() && ownerHeld_ && ownerHeld_(owner)) continue;
      actions.emplace_back(open.Int(0), open.Int(1), open.Text(2), open.Int(3) != 0);
      if (!open.IsNull(4)) madeUnknown.push_back(open.Text(4));
    }
    if (!open.Done()) return Fail(open.rc());
    for (const auto& [id, job, day, chip] : actions) {
      Statement close(db_, "UPDATE actions SET open = 0, result = 'unknown', message = ? WHERE id = ?");
      if (!close.Bind(1, kNoResultMessage).Bind(2, id).Run()) return Fail(close.rc());
      if (chip) {
        if (LedgerStatus added = AddTally(job, day, TallyOf(Outcome::Unknown, 1)); !added) return added;
      }
    }
    // The values of the actions still open stay issued to them.
    Statement serials(db_,
                      "UPDATE serials SET state = 'unknown' WHERE state = 'issued'"
                      " AND action_id NOT IN (SELECT id FROM actions WHERE open = 1)");
    if (!serials.Run()) return Fail(serials.rc());
    return Commit();
  }

  LedgerStatus StartJob(const JobInfo& job, JobId& id) override {
    std::lock_guard lock(mutex_);
    const Stamp stamp = Now();
    Statement insert(db_,
                     "INSERT INTO jobs(time_local, time_utc, station, device, image_path, checksum, secured_checksum,"
                     " security, iap_version, driver_version, rolling_ini, rolling_address, rolling_length,"
                     " rolling_low_first, rolling_byte_words, rolling_step, rolling_first, rolling_note)"
                     " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    insert.Bind(1, stamp.local).Bind(2, stamp.utc).Bind(3, station_).Bind(4, ValidUtf8(job.device));
    insert.Bind(5, ValidUtf8(platform::PathToUtf8(job.imagePath))).Bind(6, Hex4(job.checksum));
    insert.Bind(7, Hex4(job.securedChecksum)).Bind(8, job.security ? 1 : 0);
    insert.Bind(9, Hex4(job.iapVersion)).Bind(10, Hex4(job.driverVersion));
    if (job.rollingOn) {
      insert.Bind(11, IniKey(job.iniPath)).Bind(12, job.rollingAddress).Bind(13, job.shape.wordLength);
      insert.Bind(14, job.shape.lowWordFirst ? 1 : 0).Bind(15, job.shape.byteWords ? 1 : 0);
      insert.Bind(16, MakeSerialValue(job.step, job.shape).digits);
      insert.Bind(17, MakeSerialValue(job.firstValue, job.shape).digits).Bind(18, ValidUtf8(job.firstValueNote));
    } else {
      for (int at = 11; at <= 18; ++at) insert.BindNull(at);
    }
    if (!insert.Run()) return Fail(insert.rc());
    id = sqlite3_last_insert_rowid(db_);
    return {};
  }

  LedgerStatus HighestIssued(const fs::path& iniPath, std::optional<SerialValue>& highest) override {
    std::lock_guard lock(mutex_);
    highest.reset();
    return HighestUsed(IniKey(iniPath), highest);
  }

  LedgerStatus ObserveWriterValue(JobId job, const fs::path& iniPath, const RollingShape& shape,
                                  const rolling::RollingWords& held, WriterObservation& seen) override {
    std::lock_guard lock(mutex_);
    seen = WriterObservation{};
    if (LedgerStatus begun = Begin(); !begun) return begun;
    const std::string ini = IniKey(iniPath);
    // The job that ran the Writer: the one named, else the newest of the INI with its shape.
    Statement jobRow(db_, job != 0 ? "SELECT id, rolling_step FROM jobs WHERE id = ? AND rolling_ini IS NOT NULL"
                                   : "SELECT id, rolling_step FROM jobs WHERE rolling_ini = ? AND rolling_length = ?"
                                     " AND rolling_low_first = ? AND rolling_byte_words = ? ORDER BY id DESC LIMIT 1");
    if (job != 0) {
      jobRow.Bind(1, job);
    } else {
      jobRow.Bind(1, ini).Bind(2, shape.wordLength).Bind(3, shape.lowWordFirst ? 1 : 0).Bind(4, shape.byteWords ? 1 : 0);
    }
    const bool hasJob = jobRow.Step();
    if (!jobRow.Done()) return Fail(jobRow.rc());
    if (!hasJob) return Commit();
    const JobId ranBy = jobRow.Int(0);
    const rolling::RollingWords step = EntriesOf(jobRow.Text(1), shape).value_or(rolling::RollingWords{});
    // With a zero step every chip gets the same value on purpose: no serial number is used up.
    if (IsZeroStep(step, shape)) return Commit();
    const SerialValue now = MakeSerialValue(held, shape);

    std::optional<SerialValue> used;
    if (LedgerStatus read = HighestUsed(ini, used); !read) return read;
    std::optional<SerialValue> known;
    {
      Statement query(db_, "SELECT value, value_key FROM writer_values WHERE ini = ?");
      query.Bind(1, ini);
      if (query.Step()) known = SerialValue{query.Text(0), query.Text(1)};
      if (!query.Done()) return Fail(query.rc());
    }
    // Values from what the record knew the Writer held (and past every value used) up to the
    // one it holds now were programmed by the Writer on its own.
    if (known && CompareValues(now, *known) > 0) {
      std::optional<rolling::RollingWords> from = EntriesOf(known->digits, shape);
      if (from && used && CompareValues(*used, *known) >= 0) from = AddStep(*EntriesOf(used->digits, shape), step, shape);
      if (from && CompareValues(MakeSerialValue(*from, shape), now) < 0) {
        const RunOfValues run = ValuesBefore(*from, held, step, shape);
        if (LedgerStatus recorded = RecordStandalone(ranBy, ini, MakeSerialValue(*from, shape), run); !recorded) {
          return recorded;
        }
        seen.standaloneCount = run.count;
        seen.standaloneFirst = MakeSerialValue(*from, shape);
        seen.standaloneLast = run.last;
        used = run.last;
      }
    }
    if (used && CompareValues(now, *used) <= 0) {
      seen.usedUpTo = used;
      const std::optional<rolling::RollingWords> next = AddStep(*EntriesOf(used->digits, shape), step, shape);
      if (next) seen.replacement = *next; else seen.noneLeft = true;
    }
    // The usual chip finds the value it was told of: nothing is written, and the commit of a
    // transaction that wrote nothing costs no sync.
    if (!known || known->key != now.key) {
      if (LedgerStatus noted = SetWriterValue(ini, now); !noted) return noted;
    }
    return Commit();
  }

  LedgerStatus NoteWriterValue(const fs::path& iniPath, const RollingShape& shape,
                               const rolling::RollingWords& value) override {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    if (LedgerStatus noted = SetWriterValue(IniKey(iniPath), MakeSerialValue(value, shape)); !noted) return noted;
    return Commit();
  }

  LedgerStatus NoteNoSerial(JobId job, std::string_view reason, bool programWithout) override {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    Statement note(db_, "UPDATE jobs SET no_serial = ? WHERE id = ?");
    note.Bind(1, ValidUtf8(fmt::format("{}: {}", programWithout ? "programmed without serial numbers"
                                                                : "not programmed without serial numbers",
                                       reason)));
    if (!note.Bind(2, job).Run()) return Fail(note.rc());
    return Commit();
  }

  LedgerOutbox* Outbox() override { return this; }
  StationBlocks* Blocks() override { return this; }

  IssuedSerial IssueSerial(JobId job, ActionKind kind, const rolling::RollingWords& wanted,
                           const std::optional<SerialValue>& limit) override {
    std::lock_guard lock(mutex_);
    IssuedSerial issued;
    // A copy's values may be the original station's: nothing is issued until it is adopted.
    if (issued.status = RefusedAsCopy(); !issued.status) return issued;
    if (issued.status = Begin(); !issued.status) return issued;
    Statement rolling(db_,
                      "SELECT rolling_ini, rolling_length, rolling_low_first, rolling_byte_words, rolling_step"
                      " FROM jobs WHERE id = ? AND rolling_ini IS NOT NULL");
    rolling.Bind(1, job);
    if (!rolling.Step()) {
      issued.status = rolling.Done() ? LedgerStatus::Failed(fmt::format("job {} has no rolling code", job))
                                     : Fail(rolling.rc());
      return issued;
    }
    const std::string ini = rolling.Text(0);
    const RollingShape shape{static_cast<std::uint32_t>(rolling.Int(1)), rolling.Int(2) != 0, rolling.Int(3) != 0};
    const rolling::RollingWords step = EntriesOf(rolling.Text(4), shape).value_or(rolling::RollingWords{});
    // With a zero step every chip gets the same value on purpose: it is no serial number.
    const bool once = !IsZeroStep(step, shape);

    rolling::RollingWords candidate = wanted;
    for (int skips = 0;; ++skips) {
      const SerialValue value = MakeSerialValue(candidate, shape);
      if (limit && CompareValues(value, *limit) > 0) {
        issued.pastLimit = true;
        issued.status = Commit();
        return issued;
      }
      if (!once || !Taken(ini, value.key, issued.status)) {
        if (!issued.status) return issued;
        issued.entries = candidate;
        issued.value = value;
        break;
      }
      issued.skipped.push_back(value);
      const std::optional<rolling::RollingWords> next = AddStep(candidate, step, shape);
      if (!next) {
        issued.status = LedgerStatus::Failed(fmt::format("no rolling value is left after {}", value.digits));
        return issued;
      }
      if (skips >= kMaxSkippedValues) {
        issued.status = LedgerStatus::Failed(
            fmt::format("more than {} rolling values from {} on are taken already", kMaxSkippedValues,
                        MakeSerialValue(wanted, shape).digits));
        return issued;
      }
      candidate = *next;
    }

    const Stamp stamp = Now();
    Statement action(db_,
                     "INSERT INTO actions(job_id, time_local, time_utc, day, action, chip, result, open, rolling_value,"
                     " owner) VALUES(?,?,?,?,?,?,'unknown',1,?,?)");
    action.Bind(1, job).Bind(2, stamp.local).Bind(3, stamp.utc).Bind(4, stamp.day).Bind(5, ActionName(kind));
    action.Bind(6, ProgramsChip(kind) ? 1 : 0).Bind(7, issued.value.digits).Bind(8, owner_);
    if (!action.Run()) {
      issued.status = Fail(action.rc());
      return issued;
    }
    issued.action = sqlite3_last_insert_rowid(db_);
    Statement serial(db_, "INSERT INTO serials(ini, value, value_key, state, action_id, once) VALUES(?,?,?,'issued',?,?)");
    serial.Bind(1, ini).Bind(2, issued.value.digits).Bind(3, issued.value.key).Bind(4, issued.action).Bind(5, once ? 1 : 0);
    if (!serial.Run()) {
      issued.status = Fail(serial.rc());
      return issued;
    }
    // The Writer moves on by the step once it has given the chip its value: a read-back beyond
    // that finds values it used on its own.
    if (once) {
      if (const std::optional<rolling::RollingWords> after = AddStep(issued.entries, step, shape)) {
        if (issued.status = SetWriterValue(ini, MakeSerialValue(*after, shape)); !issued.status) return issued;
      }
    }
    issued.status = Commit();
    return issued;
  }

  LedgerStatus FinishAction(ActionId id, Outcome outcome, std::string_view message, std::int64_t durationMs) override {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    Statement action(db_, "SELECT job_id, day, chip, result, open FROM actions WHERE id = ?");
    action.Bind(1, id);
    if (!action.Step()) {
      return action.Done() ? LedgerStatus::Failed(fmt::format("action {} is not in the record", id)) : Fail(action.rc());
    }
    const std::int64_t job = action.Int(0);
    const std::string day = action.Text(1);
    const bool chip = action.Int(2) != 0;
    const Outcome before = OutcomeOfResult(action.Text(3));
    const bool open = action.Int(4) != 0;

    Statement update(db_, "UPDATE actions SET result = ?, message = ?, duration_ms = ?, open = 0 WHERE id = ?");
    update.Bind(1, ResultName(outcome)).Bind(2, ValidUtf8(message)).Bind(3, durationMs).Bind(4, id);
    if (!update.Run()) return Fail(update.rc());
    Statement serial(db_, "UPDATE serials SET state = ? WHERE action_id = ?");
    serial.Bind(1, StateName(outcome)).Bind(2, id);
    if (!serial.Run()) return Fail(serial.rc());
    if (!ReachedChip(outcome)) {
      // No chip got the value, so the Writer still holds it: should it have moved on all the
      // same, the next read-back finds the value used on its own and puts it on record.
      Statement value(db_, "SELECT ini, value, value_key FROM serials WHERE action_id = ? AND once = 1");
      value.Bind(1, id);
      if (value.Step()) {
        if (LedgerStatus noted = SetWriterValue(value.Text(0), SerialValue{value.Text(1), value.Text(2)}); !noted) {
          return noted;
        }
      }
      if (!value.Done()) return Fail(value.rc());
    }
    if (chip) {
      // An action already closed (another window found it open after a stop) moves its count.
      if (!open) {
        if (LedgerStatus taken = AddTally(job, day, TallyOf(before, -1)); !taken) return taken;
      }
      if (LedgerStatus added = AddTally(job, day, TallyOf(outcome, 1)); !added) return added;
    }
    return CommitAndFold();
  }

  LedgerStatus RecordAction(JobId job, ActionKind kind, Outcome outcome, std::string_view message,
                            std::int64_t durationMs, const std::optional<SerialValue>& rollingValue) override {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    const Stamp stamp = Now();
    Statement action(db_,
                     "INSERT INTO actions(job_id, time_local, time_utc, day, action, chip, result, open, message,"
                     " rolling_value, duration_ms) VALUES(?,?,?,?,?,?,?,0,?,?,?)");
    action.Bind(1, job).Bind(2, stamp.local).Bind(3, stamp.utc).Bind(4, stamp.day).Bind(5, ActionName(kind));
    action.Bind(6, ProgramsChip(kind) ? 1 : 0).Bind(7, ResultName(outcome)).Bind(8, ValidUtf8(message));
    if (rollingValue) action.Bind(9, rollingValue->digits); else action.BindNull(9);
    action.Bind(10, durationMs);
    if (!action.Run()) return Fail(action.rc());
    if (ProgramsChip(kind)) {
      if (LedgerStatus added = AddTally(job, stamp.day, TallyOf(outcome, 1)); !added) return added;
    }
    return CommitAndFold();
  }

  LedgerStatus ReadCounters(JobId job, CounterSet& counters) override {
    std::lock_guard lock(mutex_);
    const std::string today = Now().day;
    counters = CounterSet{};
    if (LedgerStatus read = ReadScope("job_id = ?", job, "", "actions_by_job", counters.job); !read) return read;
    return ReadScope("day = ?", 0, today, "actions_by_day", counters.today);
  }

  LedgerStatus ResetCounters(JobId job) override {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    const Stamp stamp = Now();
    TallyChange jobTotal;
    TallyChange dayTotal;
    if (LedgerStatus read = Totals("job_id = ?", job, "", jobTotal); !read) return read;
    if (LedgerStatus read = Totals("day = ?", 0, stamp.day, dayTotal); !read) return read;
    Statement last(db_, "SELECT COALESCE(MAX(id), 0) FROM actions");
    if (!last.Step()) return Fail(last.rc());
    Statement reset(db_,
                    "INSERT INTO counter_resets(time_local, time_utc, station, job_id, day, last_action, job_done,"
                    " job_passed, job_failed, day_done, day_passed, day_failed, job_standalone, day_standalone)"
                    " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    reset.Bind(1, stamp.local).Bind(2, stamp.utc).Bind(3, station_).Bind(4, job).Bind(5, stamp.day).Bind(6, last.Int(0));
    reset.Bind(7, jobTotal.done).Bind(8, jobTotal.passed).Bind(9, jobTotal.failed);
    reset.Bind(10, dayTotal.done).Bind(11, dayTotal.passed).Bind(12, dayTotal.failed);
    reset.Bind(13, jobTotal.standalone).Bind(14, dayTotal.standalone);
    if (!reset.Run()) return Fail(reset.rc());
    return Commit();
  }

  LedgerStatus HasJob(JobId job, bool& exists) override {
    std::lock_guard lock(mutex_);
    exists = false;
    Statement found(db_, "SELECT 1 FROM jobs WHERE id = ?");
    found.Bind(1, job);
    if (found.Step()) {
      exists = true;
      return {};
    }
    return found.rc() == SQLITE_DONE ? LedgerStatus{} : Fail(found.rc());
  }

  LedgerStatus ExportCsv(ExportScope scope, JobId job, const fs::path& file) override {
    std::lock_guard lock(mutex_);
    std::string where = "1";
    if (scope == ExportScope::Job) where = "a.job_id = ?1";
    if (scope == ExportScope::Today) where = "a.day = ?2";
    Statement rows(db_, fmt::format("SELECT a.id, a.time_local, a.time_utc, j.station, a.job_id, j.device, j.image_path,"
                                    " a.action, a.result, a.rolling_value, a.duration_ms, a.message"
                                    " FROM actions a JOIN jobs j ON j.id = a.job_id WHERE {} ORDER BY a.id",
                                    where));
    if (scope == ExportScope::Job) rows.Bind(1, job);
    if (scope == ExportScope::Today) rows.Bind(2, Now().day);
    if (!rows.prepared()) return Fail(rows.rc());

    // Gathered whole, then written beside the file and renamed over it: a stop in the middle
    // leaves no half-written export where the last one was, and a device or pipe named as the
    // file is written to, never swapped for a file.
    const std::string target = platform::PathToUtf8(file);
    if (!platform::MayReplaceFile(file)) {
      return LedgerStatus::Failed(fmt::format("the export file cannot be made ({})", target));
    }
    std::string csv;
    csv += kCsvHeader;
    csv += kCsvLineEnd;
    while (rows.Step()) {
      for (int column = 0; column < 12; ++column) {
        if (column > 0) csv += ',';
        csv += CsvField(rows.Text(column));
      }
      csv += kCsvLineEnd;
    }
    if (!rows.Done()) return Fail(rows.rc());
    if (std::string why; !platform::ReplaceFileAtomically(file, csv, &why)) {
      return LedgerStatus::Failed(fmt::format("the export file cannot be written ({}: {})", target, why));
    }
    return {};
  }

  LedgerStatus AppendChips(JobId job, const rolling::RollingWords& first, std::int64_t chips) {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    Statement rolling(db_, "SELECT rolling_ini, rolling_length, rolling_low_first, rolling_byte_words, rolling_step"
                           " FROM jobs WHERE id = ? AND rolling_ini IS NOT NULL");
    rolling.Bind(1, job);
    if (!rolling.Step()) return rolling.Done() ? LedgerStatus::Failed("the job has no rolling code") : Fail(rolling.rc());
    const std::string ini = rolling.Text(0);
    const RollingShape shape{static_cast<std::uint32_t>(rolling.Int(1)), rolling.Int(2) != 0, rolling.Int(3) != 0};
    const rolling::RollingWords step = EntriesOf(rolling.Text(4), shape).value_or(rolling::RollingWords{});
    const Stamp stamp = Now();
    Statement action(db_, "INSERT INTO actions(job_id, time_local, time_utc, day, action, chip, result, open, message,"
                          " rolling_value, duration_ms) VALUES(?,?,?,?,?,1,'pass',0,?,?,?)");
    Statement serial(db_, "INSERT INTO serials(ini, value, value_key, state, action_id, once) VALUES(?,?,?,'passed',?,1)");
    rolling::RollingWords value = first;
    for (std::int64_t i = 0; i < chips; ++i) {
      const SerialValue shown = MakeSerialValue(value, shape);
      sqlite3_reset(action.get());
      action.Bind(1, job).Bind(2, stamp.local).Bind(3, stamp.utc).Bind(4, stamp.day).Bind(5, ActionName(ActionKind::AutoProgram));
      action.Bind(6, "Blank check OK\r\nAuto Program OK\r\nRolling Code : " + shown.digits + "\r\n");
      action.Bind(7, shown.digits).Bind(8, 1500);
      if (!action.Run()) return Fail(action.rc());
      sqlite3_reset(serial.get());
      serial.Bind(1, ini).Bind(2, shown.digits).Bind(3, shown.key).Bind(4, sqlite3_last_insert_rowid(db_));
      if (!serial.Run()) return Fail(serial.rc());
      const std::optional<rolling::RollingWords> next = AddStep(value, step, shape);
      if (!next) return LedgerStatus::Failed("no rolling value is left");
      value = *next;
    }
    if (LedgerStatus added = AddTally(job, stamp.day, {chips, chips, 0, 0}); !added) return added;
    if (LedgerStatus committed = Commit(); !committed) return committed;
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    return {};
  }

  // --- the outbox ---

  LedgerStatus StartQueueing() override {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    Statement state(db_, "SELECT queueing FROM outbox_state");
    if (!state.Step()) return Fail(state.rc());
    if (state.Int(0) == 1) return Commit();
    Statement on(db_, "UPDATE outbox_state SET queueing = 1");
    if (!on.Run()) return Fail(on.rc());
    for (const SentTable& table : kSentTables) {
      Statement queue(db_, fmt::format("INSERT INTO outbox(table_name, row_id, row) SELECT '{}', id, {} FROM {} ORDER BY id",
                                       table.name, JsonOfRow(table, ""), table.name));
      if (!queue.Run()) return Fail(queue.rc());
    }
    return Commit();
  }

  LedgerStatus ReadQueued(std::size_t limit, std::vector<OutboxRow>& rows) override {
    std::lock_guard lock(mutex_);
    rows.clear();
    Statement read(db_, "SELECT seq, table_name, row_id, row FROM outbox ORDER BY seq LIMIT ?");
    read.Bind(1, static_cast<std::int64_t>(limit));
    while (read.Step()) rows.push_back({read.Int(0), read.Text(1), read.Int(2), read.Text(3)});
    if (!read.Done()) return Fail(read.rc());
    return {};
  }

  LedgerStatus DropSent(std::int64_t seq) override {
    std::lock_guard lock(mutex_);
    Statement drop(db_, "DELETE FROM outbox WHERE seq <= ?");
    drop.Bind(1, seq);
    if (!drop.Run()) return Fail(drop.rc());
    return {};
  }

  LedgerStatus QueuedCount(std::int64_t& rows) override {
    std::lock_guard lock(mutex_);
    Statement count(db_, "SELECT count(*) FROM outbox");
    if (!count.Step()) return Fail(count.rc());
    rows = count.Int(0);
    return {};
  }

  std::string Station() const override { return station_; }

  // --- the blocks of a shared series ---

  LedgerStatus LatestBlock(std::string_view series, std::optional<HeldBlock>& block) override {
    std::lock_guard lock(mutex_);
    block.reset();
    Statement query(db_,
                    "SELECT id, server_id, first_value, span, used, state FROM blocks"
                    " WHERE series = ? AND state <> 'beyond' ORDER BY id DESC LIMIT 1");
    query.Bind(1, series);
    if (query.Step()) {
      HeldBlock held;
      held.localId = query.Int(0);
      held.series = std::string(series);
      held.block = {query.Int(1), query.Int(2), query.Int(3)};
      held.used = query.Int(4);
      held.state = BlockStateOf(query.Text(5));
      block = held;
    }
    if (!query.Done()) return Fail(query.rc());
    return {};
  }

  LedgerStatus AddBlock(std::string_view series, const ReservedBlock& block, HeldBlock& held) override {
    std::lock_guard lock(mutex_);
    if (LedgerStatus begun = Begin(); !begun) return begun;
    Statement close(db_, "UPDATE blocks SET state = 'used', used = span WHERE series = ? AND state = 'open'");
    if (!close.Bind(1, series).Run()) return Fail(close.rc());
    Statement insert(db_,
                     "INSERT INTO blocks(time_local, series, server_id, first_value, span, used, state)"
                     " VALUES(?,?,?,?,?,0,'open')");
    insert.Bind(1, Now().local).Bind(2, series).Bind(3, block.id).Bind(4, block.first).Bind(5, block.span);
    if (!insert.Run()) return Fail(insert.rc());
    held = HeldBlock{sqlite3_last_insert_rowid(db_), std::string(series), block, 0, BlockState::Open};
    return Commit();
  }

  LedgerStatus MarkUsed(std::int64_t localId, std::int64_t used) override {
    std::lock_guard lock(mutex_);
    Statement mark(db_, "UPDATE blocks SET used = max(used, min(?, span)) WHERE id = ? AND state = 'open'");
    if (!mark.Bind(1, used).Bind(2, localId).Run()) return Fail(mark.rc());
    return {};
  }

  LedgerStatus ReturnBlock(std::int64_t localId, std::int64_t used, std::string_view note) override {
    std::lock_guard lock(mutex_);
    Statement give(db_,
                   "UPDATE blocks SET state = 'returned', used = max(used, min(?, span)), note = ?"
                   " WHERE id = ? AND state = 'open'");
    if (!give.Bind(1, used).Bind(2, ValidUtf8(note)).Bind(3, localId).Run()) return Fail(give.rc());
    return {};
  }

  LedgerStatus RecordBeyond(std::string_view series, std::int64_t first, std::int64_t span, std::string_view note,
                            std::int64_t& localId) override {
    std::lock_guard lock(mutex_);
    Statement insert(db_,
                     "INSERT INTO blocks(time_local, series, server_id, first_value, span, used, state, note)"
                     " VALUES(?,?,0,?,?,?,'beyond',?)");
    insert.Bind(1, Now().local).Bind(2, series).Bind(3, first).Bind(4, span).Bind(5, span).Bind(6, ValidUtf8(note));
    if (!insert.Run()) return Fail(insert.rc());
    localId = sqlite3_last_insert_rowid(db_);
    return {};
  }

  LedgerStatus UnclaimedBeyond(std::string_view series, std::vector<HeldBlock>& rows) override {
    std::lock_guard lock(mutex_);
    rows.clear();
    Statement query(db_, "SELECT id, first_value, span FROM blocks WHERE series = ? AND state = 'beyond'"
                         " AND server_id = 0 ORDER BY id");
    query.Bind(1, series);
    while (query.Step()) {
      rows.push_back(HeldBlock{query.Int(0), std::string(series), {0, query.Int(1), query.Int(2)}, query.Int(2),
                               BlockState::Beyond});
    }
    if (!query.Done()) return Fail(query.rc());
    return {};
  }

  LedgerStatus MarkBeyondClaimed(std::int64_t localId, std::int64_t serverId) override {
    std::lock_guard lock(mutex_);
    Statement mark(db_, "UPDATE blocks SET server_id = ? WHERE id = ? AND state = 'beyond'");
    if (!mark.Bind(1, serverId).Bind(2, localId).Run()) return Fail(mark.rc());
    return {};
  }

  LedgerStatus RecordConflict(std::string_view series, std::int64_t first, std::int64_t last,
                              std::string_view otherStation) override {
    std::lock_guard lock(mutex_);
    Statement insert(db_, "INSERT INTO conflicts(time_local, series, first_value, last_value, other_station)"
                          " VALUES(?,?,?,?,?)");
    insert.Bind(1, Now().local).Bind(2, series).Bind(3, first).Bind(4, last).Bind(5, ValidUtf8(otherStation));
    if (!insert.Run()) return Fail(insert.rc());
    return {};
  }

  LedgerStatus ConflictCount(std::string_view series, std::int64_t& count) override {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT count(*) FROM conflicts WHERE ?1 = '' OR series = ?1");
    query.Bind(1, series);
    if (!query.Step()) return Fail(query.rc());
    count = query.Int(0);
    return {};
  }

  LedgerStatus Token(std::string& token) override { return StationToken(token); }

  LedgerStatus StationToken(std::string& token) override {
    std::lock_guard lock(mutex_);
    // The token is the original station's: a copy sends nothing and claims nothing under it.
    if (LedgerStatus refused = RefusedAsCopy(); !refused) return refused;
    Statement query(db_, "SELECT station_token FROM outbox_state");
    if (!query.Step()) return Fail(query.rc());
    token = query.Text(0);
    return {};
  }

  LedgerStatus Adopt(std::string_view station) override {
    std::lock_guard lock(mutex_);
    if (copiedFrom_.empty()) return {};
    // The name first: a record left a copy by a failure below is adopted again under it.
    if (!station.empty()) {
      const fs::path settings = file_.parent_path() / kStationSettingsFileName;
      if (!platform::WriteProfileString(settings, kStationSection, kStationKey, station)) {
        return LedgerStatus::Failed(fmt::format(kStationNotStored, platform::PathToUtf8(settings)));
      }
    }
    if (LedgerStatus begun = Begin(); !begun) return begun;
    Statement home(db_,
                   "UPDATE outbox_state SET station_token = lower(hex(randomblob(16))), machine_id = ?,"
                   " record_path = ?");
    if (!home.Bind(1, here_.machineId).Bind(2, here_.path).Run()) return Fail(home.rc());
    Statement blocks(db_, "UPDATE blocks SET state = 'returned', note = ? WHERE state = 'open'");
    if (!blocks.Bind(1, kHeldByOriginal).Run()) return Fail(blocks.rc());
    // Last: the rows queued so far, the blocks' just now included, are the original station's.
    Statement outbox(db_, "DELETE FROM outbox");
    if (!outbox.Run()) return Fail(outbox.rc());
    if (LedgerStatus committed = Commit(); !committed) return committed;
    copiedFrom_.clear();
    if (!station.empty()) station_ = std::string(station);
    return {};
  }

 private:
  Stamp Now() { return MakeStamp(clock_.WallNow()); }

  LedgerStatus RefusedAsCopy() const {
    if (copiedFrom_.empty()) return {};
    return LedgerStatus::Failed(fmt::format(kCopyRefusal, copiedFrom_));
  }

  LedgerStatus Fail(int rc) {
    // The reason is taken first: the rollback below resets the connection's message.
    LedgerStatus failed = LedgerStatus::Failed(Reason(db_, rc == SQLITE_OK ? sqlite3_extended_errcode(db_) : rc, file_));
    // An open transaction is given up, so that the next operation starts clean.
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return failed;
  }

  // A write transaction that holds the file from its start, so that two windows on one record
  // take turns instead of failing half-way.
  LedgerStatus Begin() {
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return Fail(rc);
    return {};
  }

  // The commit is durable when this returns: the record is synced to the disk.
  LedgerStatus Commit() {
    const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return Fail(rc);
    return {};
  }

  // After a command's result: the log is folded into the file now and then, here, so that the
  // commit that issues a value (just before a command) never carries that work.
  LedgerStatus CommitAndFold() {
    LedgerStatus committed = Commit();
    if (committed && ++commitsSinceFold_ >= kCommitsPerFold) {
      commitsSinceFold_ = 0;
      sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    return committed;
  }

  // The highest value of the INI on record in any state: single values and the ends of runs
  // used on their own.
  LedgerStatus HighestUsed(const std::string& ini, std::optional<SerialValue>& highest) {
    highest.reset();
    Statement single(db_, "SELECT value, value_key FROM serials WHERE ini = ? AND state <> 'unused'"
                          " ORDER BY value_key DESC LIMIT 1");
    single.Bind(1, ini);
    if (single.Step()) highest = SerialValue{single.Text(0), single.Text(1)};
    if (!single.Done()) return Fail(single.rc());
    Statement run(db_, "SELECT last_value, last_key FROM serials WHERE ini = ? AND last_key IS NOT NULL"
                       " ORDER BY last_key DESC LIMIT 1");
    run.Bind(1, ini);
    if (run.Step() && (!highest || run.Text(1) > highest->key)) highest = SerialValue{run.Text(0), run.Text(1)};
    if (!run.Done()) return Fail(run.rc());
    return {};
  }

  LedgerStatus SetWriterValue(const std::string& ini, const SerialValue& value) {
    Statement set(db_, "INSERT INTO writer_values(ini, value, value_key, time_utc) VALUES(?,?,?,?)"
                       " ON CONFLICT(ini) DO UPDATE SET value = excluded.value, value_key = excluded.value_key,"
                       " time_utc = excluded.time_utc");
    set.Bind(1, ini).Bind(2, value.digits).Bind(3, value.key).Bind(4, Now().utc);
    if (!set.Run()) return Fail(set.rc());
    return {};
  }

  // The values from `from` on by `step` that lie below `below`: how many, and the last.
  struct RunOfValues {
    std::int64_t count = 0;
    SerialValue last;
  };
  static RunOfValues ValuesBefore(const rolling::RollingWords& from, const rolling::RollingWords& below,
                                  const rolling::RollingWords& step, const RollingShape& shape) {
    RunOfValues run;
    const std::optional<std::int64_t> a = NumberOf(from, shape);
    const std::optional<std::int64_t> b = NumberOf(below, shape);
    const std::optional<std::int64_t> s = NumberOf(step, shape);
    if (a && b && s && *s > 0 && *b > *a) {
      run.count = (*b - *a + *s - 1) / *s;
      run.last = MakeSerialValue(EntriesOfNumber(*a + (run.count - 1) * *s, shape).value_or(from), shape);
      return run;
    }
    // Values wider than a number: step by step (a run that long is no bench's).
    const SerialValue end = MakeSerialValue(below, shape);
    rolling::RollingWords value = from;
    for (std::int64_t i = 0; i < kMaxRunSteps; ++i) {
      const SerialValue shown = MakeSerialValue(value, shape);
      if (CompareValues(shown, end) >= 0) break;
      ++run.count;
      run.last = shown;
      const std::optional<rolling::RollingWords> next = AddStep(value, step, shape);
      if (!next) break;
      value = *next;
    }
    return run;
  }

  // A run of values the Writer used on its own: an action of the job that ran it (result
  // unknown to the program), one serials row from its first to its last value, and the job's
  // and the day's stand-alone tallies.
  LedgerStatus RecordStandalone(JobId job, const std::string& ini, const SerialValue& first, const RunOfValues& run) {
    const Stamp stamp = Now();
    const std::string message = first == run.last
                                    ? fmt::format(kStandaloneOne, first.digits)
                                    : fmt::format(kStandaloneRun, first.digits, run.last.digits, run.count);
    Statement action(db_,
                     "INSERT INTO actions(job_id, time_local, time_utc, day, action, chip, result, open, message,"
                     " rolling_value, duration_ms) VALUES(?,?,?,?,?,0,'unknown',0,?,?,0)");
    action.Bind(1, job).Bind(2, stamp.local).Bind(3, stamp.utc).Bind(4, stamp.day).Bind(5, kStandaloneAction);
    action.Bind(6, message).Bind(7, first == run.last ? first.digits : first.digits + "-" + run.last.digits);
    if (!action.Run()) return Fail(action.rc());
    const std::int64_t actionId = sqlite3_last_insert_rowid(db_);
    Statement serial(db_,
                     "INSERT INTO serials(ini, value, value_key, state, action_id, once, last_value, last_key, count,"
                     " seen_utc) VALUES(?,?,?,'standalone',?,1,?,?,?,?)");
    serial.Bind(1, ini).Bind(2, first.digits).Bind(3, first.key).Bind(4, actionId);
    serial.Bind(5, run.last.digits).Bind(6, run.last.key).Bind(7, run.count).Bind(8, stamp.utc);
    if (!serial.Run()) return Fail(serial.rc());
    TallyChange change;
    change.standalone = run.count;
    return AddTally(job, stamp.day, change);
  }

  // Whether the value is on a passed chip, a chip of unknown outcome or being programmed.
  bool Taken(const std::string& ini, const std::string& key, LedgerStatus& status) {
    Statement taken(db_, "SELECT 1 FROM serials WHERE ini = ? AND value_key = ? AND once = 1"
                          " AND state NOT IN ('failed', 'unused') LIMIT 1");
    taken.Bind(1, ini).Bind(2, key);
    bool found = taken.Step();
    if (!taken.Done()) status = Fail(taken.rc());
    if (found || !status) return found;
    // Inside a run the Writer used on its own.
    Statement inRun(db_, "SELECT 1 FROM serials WHERE ini = ? AND last_key IS NOT NULL AND value_key <= ?"
                         " AND last_key >= ? LIMIT 1");
    inRun.Bind(1, ini).Bind(2, key).Bind(3, key);
    found = inRun.Step();
    if (!inRun.Done()) status = Fail(inRun.rc());
    return found;
  }

  LedgerStatus AddTally(std::int64_t job, const std::string& day, const TallyChange& change) {
    Statement add(db_,
                  "INSERT INTO tallies(job_id, day, done, passed, failed, standalone) VALUES(?,?,?,?,?,?)"
                  " ON CONFLICT(job_id, day) DO UPDATE SET done = done + excluded.done,"
                  " passed = passed + excluded.passed, failed = failed + excluded.failed,"
                  " standalone = standalone + excluded.standalone");
    add.Bind(1, job).Bind(2, day).Bind(3, change.done).Bind(4, change.passed).Bind(5, change.failed);
    add.Bind(6, change.standalone);
    if (!add.Run()) return Fail(add.rc());
    return {};
  }

  LedgerStatus Totals(std::string_view where, std::int64_t job, const std::string& day, TallyChange& total) {
    Statement sum(db_, fmt::format("SELECT COALESCE(SUM(done), 0), COALESCE(SUM(passed), 0), COALESCE(SUM(failed), 0),"
                                   " COALESCE(SUM(standalone), 0) FROM tallies WHERE {}",
                                   where));
    if (day.empty()) sum.Bind(1, job); else sum.Bind(1, day);
    if (!sum.Step()) return Fail(sum.rc());
    total = {sum.Int(0), sum.Int(1), sum.Int(2), sum.Int(3)};
    return {};
  }

  // The counters of one scope (`where` on the job or on the day): the tallies less those at
  // the last reset of that scope, and the value of the last chip since.
  LedgerStatus ReadScope(std::string_view where, std::int64_t job, const std::string& day, std::string_view index,
                         Counters& counters) {
    TallyChange total;
    if (LedgerStatus read = Totals(where, job, day, total); !read) return read;
    const bool byJob = day.empty();
    Statement reset(db_, fmt::format("SELECT {0}_done, {0}_passed, {0}_failed, last_action, {0}_standalone"
                                     " FROM counter_resets"
                                     " WHERE {1} ORDER BY id DESC LIMIT 1",
                                     byJob ? "job" : "day", where));
    if (byJob) reset.Bind(1, job); else reset.Bind(1, day);
    std::int64_t after = 0;
    if (reset.Step()) {
      total.done -= reset.Int(0);
      total.passed -= reset.Int(1);
      total.failed -= reset.Int(2);
      after = reset.Int(3);
      total.standalone -= reset.Int(4);
    }
    if (!reset.Done()) return Fail(reset.rc());
    counters.done = total.done;
    counters.passed = total.passed;
    counters.failed = total.failed;
    counters.unknown = total.done - total.passed - total.failed;
    counters.standalone = total.standalone;
    counters.yieldPercent = total.done > 0 ? 100.0 * static_cast<double>(total.passed) / static_cast<double>(total.done) : 0;

    Statement last(db_, fmt::format("SELECT rolling_value FROM actions INDEXED BY {} WHERE {} AND id > ? AND chip = 1"
                                    " AND rolling_value IS NOT NULL AND open = 0"
                                    " AND result IN ('pass', 'fail', 'unknown') ORDER BY id DESC LIMIT 1",
                                    index, where));
    if (byJob) last.Bind(1, job); else last.Bind(1, day);
    last.Bind(2, after);
    if (last.Step()) counters.lastSerial = last.Text(0);
    if (!last.Done()) return Fail(last.rc());
    return {};
  }

  sqlite3* db_;
  fs::path file_;
  std::string station_;
  platform::Clock& clock_;
  // The Writer lock this program issues values under, and the test of another program's lock.
  std::string owner_;
  std::function<bool(std::string_view)> ownerHeld_;
  const RecordHome here_;
  std::string copiedFrom_;  // guarded by mutex_
  std::mutex mutex_;
  int commitsSinceFold_ = 0;
};

// --- opening ---

struct Attempt {
  std::unique_ptr<SqliteLedger> ledger;
  LedgerStatus status;
  bool damaged = false;
};

// Inside the opening's transaction: a record that knows no home yet (new, or of a layout
// before homes) takes this one; one whose home is elsewhere is a copy, and `copiedFrom` says
// where it was made. A home machine unknown when the record was made is judged by the path alone.
LedgerStatus CheckHome(sqlite3* db, const fs::path& file, const RecordHome& here, std::string& copiedFrom,
                       bool& damaged) {
  RecordHome home;
  {
    Statement query(db, "SELECT machine_id, record_path FROM outbox_state");
    if (!query.Step()) {
      damaged = IsDamage(query.rc());
      return LedgerStatus::Failed(Reason(db, query.rc() == SQLITE_DONE ? SQLITE_CORRUPT : query.rc(), file));
    }
    home = {query.Text(0), query.Text(1)};
  }
  const bool unknown = home.machineId.empty() && home.path.empty();
  const bool samePath = home.path == here.path;
  const bool sameMachine = home.machineId.empty() || home.machineId == here.machineId;
  if (!unknown && !(samePath && sameMachine)) {
    copiedFrom = MadeWhere(home);
    return {};
  }
  if (!unknown && home.machineId == here.machineId) return {};
  Statement claim(db, "UPDATE outbox_state SET machine_id = ?, record_path = ?");
  if (!claim.Bind(1, here.machineId).Bind(2, here.path).Run()) {
    damaged = IsDamage(claim.rc());
    return LedgerStatus::Failed(Reason(db, claim.rc(), file));
  }
  return {};
}

LedgerStatus Exec(sqlite3* db, const char* sql, const fs::path& file, bool& damaged) {
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return {};
  damaged = IsDamage(rc);
  const LedgerStatus status = LedgerStatus::Failed(Reason(db, sqlite3_extended_errcode(db), file));
  if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return status;
}

// One number from a pragma or a count; a failure says whether the file is damaged.
LedgerStatus ReadNumber(sqlite3* db, const char* sql, const fs::path& file, std::int64_t& value, bool& damaged) {
  Statement query(db, sql);
  if (query.Step()) {
    value = query.Int(0);
    return {};
  }
  damaged = IsDamage(query.rc());
  return LedgerStatus::Failed(Reason(db, query.rc() == SQLITE_DONE ? SQLITE_ERROR : query.rc(), file));
}

Attempt TryOpen(const fs::path& file, const std::string& station, platform::Clock& clock, const LedgerOptions& options) {
  Attempt attempt;
  sqlite3* db = nullptr;
  const std::string name = platform::PathToUtf8(file);
  const int rc = sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                                 options.vfsName.empty() ? nullptr : options.vfsName.c_str());
  if (rc != SQLITE_OK) {
    attempt.status = LedgerStatus::Failed(Reason(db, rc, file));
    attempt.damaged = IsDamage(rc);
    sqlite3_close_v2(db);
    return attempt;
  }
  auto fail = [&](LedgerStatus status) {
    attempt.status = std::move(status);
    sqlite3_close_v2(db);
    return std::move(attempt);
  };
  sqlite3_busy_timeout(db, options.busyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);

  // What the file is, before anything in it changes.
  std::int64_t applicationId = 0;
  std::int64_t version = 0;
  std::int64_t tables = 0;
  if (LedgerStatus read = ReadNumber(db, "PRAGMA application_id", file, applicationId, attempt.damaged); !read) return fail(read);
  if (LedgerStatus read = ReadNumber(db, "PRAGMA user_version", file, version, attempt.damaged); !read) return fail(read);
  if (LedgerStatus read = ReadNumber(db, "SELECT count(*) FROM sqlite_master", file, tables, attempt.damaged); !read) {
    return fail(read);
  }
  const bool fresh = applicationId == 0 && version == 0 && tables == 0;
  if (!fresh && applicationId != kLedgerApplicationId) {
    return fail(LedgerStatus::Failed(fmt::format("{} is not a production record of this program", name)));
  }
  if (version > kLedgerSchemaVersion) {
    return fail(LedgerStatus::Failed(fmt::format(
        "the record file was made by a newer version of this program (record version {}, this version reads up to {}) ({})",
        version, kLedgerSchemaVersion, name)));
  }
  if (!fresh) {
    std::string check;
    Statement quick(db, "PRAGMA quick_check(1)");
    if (quick.Step()) check = quick.Text(0);
    if (check != "ok") {
      attempt.damaged = true;
      return fail(LedgerStatus::Failed(Reason(db, SQLITE_CORRUPT, file)));
    }
  }

  // Durable commits: the log is synced at every commit, before a serial number can be used.
  std::string mode;
  {
    Statement wal(db, "PRAGMA journal_mode=WAL");
    if (wal.Step()) mode = wal.Text(0);
    if (mode != "wal") {
      attempt.damaged = IsDamage(wal.rc());
      return fail(LedgerStatus::Failed(Reason(db, wal.rc() == SQLITE_ROW ? SQLITE_CANTOPEN : wal.rc(), file)));
    }
  }
  // The log is folded into the file after results (CommitAndFold), never by a commit that issues.
  for (const char* pragma : {"PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON", "PRAGMA wal_autocheckpoint=0"}) {
    if (LedgerStatus set = Exec(db, pragma, file, attempt.damaged); !set) return fail(set);
  }

  // Bring the layout up to this version in one transaction; another window may do it first.
  if (LedgerStatus begun = Exec(db, "BEGIN IMMEDIATE", file, attempt.damaged); !begun) return fail(begun);
  if (LedgerStatus read = ReadNumber(db, "PRAGMA user_version", file, version, attempt.damaged); !read) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return fail(read);
  }
  for (auto step = version; step < kLedgerSchemaVersion; ++step) {
    if (LedgerStatus migrated = Exec(db, Migration(step).c_str(), file, attempt.damaged); !migrated) {
      return fail(migrated);
    }
  }
  const std::string stamp = fmt::format("PRAGMA application_id={}; PRAGMA user_version={}", kLedgerApplicationId,
                                        kLedgerSchemaVersion);
  if (LedgerStatus marked = Exec(db, stamp.c_str(), file, attempt.damaged); !marked) return fail(marked);
  // The same key as a rolling INI's: the same file by any spelling of its path.
  const RecordHome here{options.machineId.empty() ? platform::MachineId() : options.machineId, IniKey(file)};
  std::string copiedFrom;
  if (LedgerStatus checked = CheckHome(db, file, here, copiedFrom, attempt.damaged); !checked) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return fail(checked);
  }
  if (LedgerStatus committed = Exec(db, "COMMIT", file, attempt.damaged); !committed) return fail(committed);

  attempt.ledger = std::make_unique<SqliteLedger>(db, file, station, clock, options, here, std::move(copiedFrom));
  return attempt;
}

// A free name beside `file` for a damaged copy: production.db.damaged-20261205-080316[-n].
fs::path DamagedName(const fs::path& file, platform::Clock& clock) {
  const std::time_t t = Clock::to_time_t(clock.WallNow());
  const std::tm local = BrokenDown(t, true);
  const std::string base = fmt::format("{}{}{:04}{:02}{:02}-{:02}{:02}{:02}", platform::PathToUtf8(file.filename()),
                                       kDamagedSuffix, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                       local.tm_hour, local.tm_min, local.tm_sec);
  fs::path name = file.parent_path() / platform::PathFromUtf8(base);
  std::error_code ec;
  for (int n = 2; fs::exists(name, ec); ++n) {
    name = file.parent_path() / platform::PathFromUtf8(fmt::format("{}-{}", base, n));
  }
  return name;
}

// Moves the damaged file and its logs aside; the shared-memory index is only a cache.
LedgerStatus MoveAside(const fs::path& file, const fs::path& keptAs) {
  std::error_code ec;
  fs::rename(file, keptAs, ec);
  if (ec) {
    return LedgerStatus::Failed(fmt::format("the record file is damaged and cannot be moved aside ({}: {})",
                                            platform::PathToUtf8(file), ec.message()));
  }
  for (const char* suffix : {"-wal", "-journal"}) {
    fs::path log = file;
    log += suffix;
    fs::path keptLog = keptAs;
    keptLog += suffix;
    if (fs::exists(log, ec)) fs::rename(log, keptLog, ec);
  }
  fs::path shm = file;
  shm += "-shm";
  fs::remove(shm, ec);
  return {};
}

std::string HostName() {
#ifdef _WIN32
  if (const char* name = std::getenv("COMPUTERNAME"); name != nullptr) return name;
  return {};
#else
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  return std::string(name.data());
#endif
}

}  // namespace

std::string RecordLayoutStep(std::int64_t from) { return Migration(from); }

std::string_view ActionName(ActionKind kind) {
  switch (kind) {
    case ActionKind::AutoProgram: return "Auto Program";
    case ActionKind::BlankCheck: return "Blank Check";
    case ActionKind::Erase: return "Erase";
    case ActionKind::Program: return "Program";
    case ActionKind::Verify: return "Verify";
    case ActionKind::Read: return "Read";
    case ActionKind::RollingDownload: return "Rolling Code download";
    case ActionKind::EepromDownload: return "EEPROM download";
    case ActionKind::FirmwareUpdate: return "Firmware update";
  }
  return "Unknown";
}

bool ProgramsChip(ActionKind kind) { return kind == ActionKind::AutoProgram || kind == ActionKind::Program; }

LedgerStatus AppendMeasurementChips(ProductionLedger& ledger, JobId job, const rolling::RollingWords& first,
                                    std::int64_t chips) {
  auto* store = dynamic_cast<SqliteLedger*>(&ledger);
  if (store == nullptr) return LedgerStatus::Failed("not an SQLite record");
  return store->AppendChips(job, first, chips);
}

LedgerOutbox* OutboxOf(ProductionLedger& ledger) { return dynamic_cast<SqliteLedger*>(&ledger); }

std::string StationName(const fs::path& folder, std::string_view configured) {
  if (!configured.empty()) return std::string(configured);
  const auto named = platform::ReadProfileString(folder / kStationSettingsFileName, kStationSection, kStationKey);
  if (named && !named->empty()) return *named;
  return HostName();
}

std::string CsvField(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

OpenedLedger OpenSqliteLedger(const fs::path& programDir, platform::Clock& clock, const LedgerOptions& options) {
  OpenedLedger opened;
  const fs::path folder = programDir / kLedgerFolder;
  const fs::path file = folder / kLedgerFileName;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    opened.status = LedgerStatus::Failed(
        fmt::format("the folder of the record cannot be made ({}: {})", platform::PathToUtf8(folder), ec.message()));
    return opened;
  }
  const std::string station = StationName(folder, options.station);

  Attempt attempt = TryOpen(file, station, clock, options);
  if (!attempt.ledger && attempt.damaged) {
    const fs::path keptAs = DamagedName(file, clock);
    if (LedgerStatus moved = MoveAside(file, keptAs); !moved) {
      opened.status = moved;
      return opened;
    }
    opened.keptAside = keptAs;
    attempt = TryOpen(file, station, clock, options);
  }
  if (!attempt.ledger) {
    opened.status = attempt.status;
    return opened;
  }
  if (LedgerStatus recovered = attempt.ledger->Recover(opened.madeUnknown); !recovered) {
    opened.status = recovered;
    return opened;
  }
  opened.copiedFrom = attempt.ledger->CopiedFrom();
  opened.ledger = std::move(attempt.ledger);
  return opened;
}

}  // namespace vx3::ledger
