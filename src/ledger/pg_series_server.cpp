#include <libpq-fe.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "ledger/series_server.h"

namespace vx3::ledger {
namespace {

// Held for the length of a layout upgrade, so that stations starting together upgrade once.
constexpr std::int64_t kSchemaLockKey = 0x5658335753455249;  // "VX3WSERI"
constexpr std::string_view kUnreachableReason = "the serial server cannot be reached";

// The server's layout, version 1.
// - series: one row per series, its next free value and its highest value; a reservation locks
//   the row, so that blocks never overlap, whatever the number of stations.
// - series_blocks: every block given out, under the station's name for its request, so that a
//   request asked again gives back its block instead of a second one.
// - station_rows: every row a station's record wrote, in the station's order (seq), once each
//   (the key is the station and the row's number in its outbox); `row` is the row's columns.
// - record_rows: the newest state of each row of each station's record (an action is written
//   when its command starts and again with its result), for queries of the shared record.
// - The views jobs, actions, serials and blocks show the record as columns.
constexpr const char* kSchemaVersion1 = R"sql(
CREATE TABLE series(
  name text PRIMARY KEY,
  next_value bigint NOT NULL,
  last_value bigint NOT NULL,
  created_at timestamptz NOT NULL DEFAULT now(),
  CHECK (next_value >= 0 AND last_value >= 0));
CREATE TABLE series_blocks(
  id bigserial PRIMARY KEY,
  series text NOT NULL REFERENCES series(name),
  station text NOT NULL,
  request text NOT NULL,
  first_value bigint NOT NULL,
  span bigint NOT NULL CHECK (span > 0),
  reserved_at timestamptz NOT NULL DEFAULT now(),
  UNIQUE (station, request));
CREATE INDEX series_blocks_by_series ON series_blocks(series, first_value);
CREATE TABLE station_rows(
  station text NOT NULL,
  seq bigint NOT NULL,
  table_name text NOT NULL,
  local_id bigint NOT NULL,
  row jsonb NOT NULL,
  received_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (station, seq));
CREATE TABLE record_rows(
  station text NOT NULL,
  table_name text NOT NULL,
  local_id bigint NOT NULL,
  seq bigint NOT NULL,
  row jsonb NOT NULL,
  PRIMARY KEY (station, table_name, local_id));
CREATE VIEW jobs AS
  SELECT station, local_id AS id, row->>'time_local' AS time_local, row->>'device' AS device,
         row->>'image_path' AS image_path, row->>'rolling_ini' AS rolling_ini, row->>'rolling_first' AS rolling_first
  FROM record_rows WHERE table_name = 'jobs';
CREATE VIEW actions AS
  SELECT station, local_id AS id, (row->>'job_id')::bigint AS job_id, row->>'time_local' AS time_local,
         row->>'action' AS action, row->>'result' AS result, row->>'rolling_value' AS rolling_value,
         (row->>'duration_ms')::bigint AS duration_ms, row->>'message' AS message
  FROM record_rows WHERE table_name = 'actions';
CREATE VIEW serials AS
  SELECT station, local_id AS id, row->>'ini' AS ini, row->>'value' AS value, row->>'state' AS state,
         (row->>'action_id')::bigint AS action_id
  FROM record_rows WHERE table_name = 'serials';
CREATE VIEW blocks AS
  SELECT station, local_id AS id, row->>'series' AS series, (row->>'server_id')::bigint AS server_id,
         (row->>'first_value')::bigint AS first_value, (row->>'span')::bigint AS span,
         (row->>'used')::bigint AS used, row->>'state' AS state, row->>'note' AS note
  FROM record_rows WHERE table_name = 'blocks';
CREATE FUNCTION reserve_block(p_series text, p_station text, p_request text, p_span bigint,
                              OUT block_id bigint, OUT first_value bigint, OUT span bigint)
LANGUAGE plpgsql AS $fn$
DECLARE
  v_last bigint;
BEGIN
  SELECT b.id, b.first_value, b.span INTO block_id, first_value, span
    FROM series_blocks b WHERE b.station = p_station AND b.request = p_request;
  IF FOUND THEN RETURN; END IF;
  IF p_span <= 0 THEN RAISE EXCEPTION 'a block holds at least one value'; END IF;
  SELECT s.next_value, s.last_value INTO first_value, v_last FROM series s WHERE s.name = p_series FOR UPDATE;
  IF NOT FOUND THEN RAISE EXCEPTION 'the series "%" is not on the server', p_series; END IF;
  IF first_value > v_last OR v_last - first_value < p_span - 1 THEN
    RAISE EXCEPTION 'the series "%" has fewer than % values left', p_series, p_span;
  END IF;
  UPDATE series SET next_value = first_value + p_span WHERE name = p_series;
  INSERT INTO series_blocks(series, station, request, first_value, span)
    VALUES (p_series, p_station, p_request, first_value, p_span) RETURNING id INTO block_id;
  span := p_span;
END
$fn$;
)sql";

// Version 2: the stations by name, each claimed by one station record (its random token), so
// that two benches given the same name cannot mix their rows.
constexpr const char* kSchemaVersion2 = R"sql(
CREATE TABLE stations(
  name text PRIMARY KEY,
  token text NOT NULL,
  claimed_at timestamptz NOT NULL DEFAULT now());
)sql";

// The steps from each older version to the next; entry v takes version v to v + 1.
constexpr std::array<const char*, kSeriesSchemaVersion> kMigrations{kSchemaVersion1, kSchemaVersion2};

// Rows of one station, in order: those the server has are passed over by their key; the newest
// state of each row replaces an older one. Arrays carry the whole batch in one statement.
constexpr const char* kApplyRows = R"sql(
WITH incoming AS (
  SELECT * FROM unnest($2::bigint[], $3::text[], $4::bigint[], $5::jsonb[]) AS t(seq, table_name, local_id, row)),
stored AS (
  INSERT INTO station_rows(station, seq, table_name, local_id, row)
  SELECT $1, seq, table_name, local_id, row FROM incoming
  ON CONFLICT (station, seq) DO NOTHING
  RETURNING seq, table_name, local_id, row),
newest AS (
  SELECT DISTINCT ON (table_name, local_id) seq, table_name, local_id, row FROM stored
  ORDER BY table_name, local_id, seq DESC)
INSERT INTO record_rows(station, table_name, local_id, seq, row)
SELECT $1, table_name, local_id, seq, row FROM newest
ON CONFLICT (station, table_name, local_id) DO UPDATE SET seq = excluded.seq, row = excluded.row
  WHERE record_rows.seq < excluded.seq
)sql";

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A text array literal of the client's array syntax: every element quoted, quotes and
// backslashes escaped.
std::string ArrayLiteral(const std::vector<std::string>& items) {
  std::string out = "{";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    out += '"';
    for (const char c : items[i]) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  out += '}';
  return out;
}

class PgSeriesServer final : public SeriesServer {
 public:
  PgSeriesServer(std::string connection, SeriesServerOptions options)
      : connection_(std::move(connection)), options_(options) {}
  ~PgSeriesServer() override {
    if (conn_ != nullptr) PQfinish(conn_);
  }

  SeriesStatus ClaimStation(std::string_view station, std::string_view token) override {
    std::lock_guard lock(mutex_);
    Result result;
    SeriesStatus status = Exec(
        "WITH claimed AS (INSERT INTO stations(name, token) VALUES($1, $2) ON CONFLICT (name) DO NOTHING"
        " RETURNING token) SELECT token FROM claimed UNION ALL SELECT token FROM stations WHERE name = $1",
        {std::string(station), std::string(token)}, &result);
    if (!status) return status;
    if (PQntuples(result.get()) < 1) return Refused("the server did not record the station");
    if (std::string_view(PQgetvalue(result.get(), 0, 0)) != token) {
      return Refused(fmt::format("the station name \"{}\" is taken by another station on the serial server", station));
    }
    return status;
  }

  SeriesStatus JoinSeries(std::string_view series, std::int64_t next, std::int64_t last) override {
    std::lock_guard lock(mutex_);
    const std::string nextText = std::to_string(next);
    const std::string lastText = std::to_string(last);
    return Exec("INSERT INTO series(name, next_value, last_value) VALUES($1, $2, $3) ON CONFLICT (name) DO NOTHING",
                {std::string(series), nextText, lastText}, nullptr);
  }

  SeriesStatus ReserveBlock(std::string_view series, std::string_view station, std::string_view request,
                            std::int64_t span, std::int64_t atLeast, ReservedBlock& block) override {
    (void)atLeast;
    std::lock_guard lock(mutex_);
    Result result;
    SeriesStatus status = Exec("SELECT block_id, first_value, span FROM reserve_block($1, $2, $3, $4)",
                               {std::string(series), std::string(station), std::string(request), std::to_string(span)},
                               &result);
    if (!status) return status;
    if (PQntuples(result.get()) != 1) return Refused("the server gave no block");
    block.id = std::strtoll(PQgetvalue(result.get(), 0, 0), nullptr, 10);
    block.first = std::strtoll(PQgetvalue(result.get(), 0, 1), nullptr, 10);
    block.span = std::strtoll(PQgetvalue(result.get(), 0, 2), nullptr, 10);
    return status;
  }

  SeriesStatus ClaimUsedValues(std::string_view, std::string_view, std::string_view, std::int64_t, std::int64_t,
                               ClaimedValues&) override {
    return Refused("claiming values is not built yet");
  }

  SeriesStatus ConflictCount(std::string_view, std::string_view, std::int64_t& count) override {
    count = 0;
    return {};
  }

  SeriesStatus SendRows(std::string_view station, std::string_view token, const std::vector<OutboxRow>& rows,
                        std::int64_t& applied) override {
    (void)token;
    std::lock_guard lock(mutex_);
    std::vector<std::string> seqs, tables, ids, bodies;
    for (const OutboxRow& row : rows) {
      seqs.push_back(std::to_string(row.seq));
      tables.push_back(row.table);
      ids.push_back(std::to_string(row.rowId));
      bodies.push_back(row.row);
    }
    SeriesStatus status = Exec(kApplyRows,
                               {std::string(station), ArrayLiteral(seqs), ArrayLiteral(tables), ArrayLiteral(ids),
                                ArrayLiteral(bodies)},
                               nullptr);
    if (!status) return status;
    return Applied(station, applied);
  }

  SeriesStatus AppliedRows(std::string_view station, std::int64_t& applied) override {
    std::lock_guard lock(mutex_);
    return Applied(station, applied);
  }

 private:
  SeriesStatus Applied(std::string_view station, std::int64_t& applied) {
    Result result;
    SeriesStatus status =
        Exec("SELECT COALESCE(MAX(seq), 0) FROM station_rows WHERE station = $1", {std::string(station)}, &result);
    if (status) applied = std::strtoll(PQgetvalue(result.get(), 0, 0), nullptr, 10);
    return status;
  }

  SeriesStatus Refused(std::string_view reason) {
    SeriesStatus status;
    status.status = LedgerStatus::Failed(WithoutPassword(reason, connection_));
    return status;
  }
  SeriesStatus Unreachable(std::string_view detail) {
    SeriesStatus status;
    status.unreachable = true;
    std::string reason(kUnreachableReason);
    if (!detail.empty()) reason = fmt::format("{} ({})", reason, detail);
    status.status = LedgerStatus::Failed(WithoutPassword(reason, connection_));
    return status;
  }

  // The client's last message on one line, without its line ends.
  std::string LastMessage() const {
    std::string message = conn_ != nullptr ? PQerrorMessage(conn_) : "";
    for (char& c : message) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    while (!message.empty() && message.back() == ' ') message.pop_back();
    return message;
  }

  // A working connection with the layout of this version; connects (again) when there is none.
  SeriesStatus Ready() {
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) return {};
    if (conn_ != nullptr) {
      PQfinish(conn_);
      conn_ = nullptr;
    }
    const std::string timeout = std::to_string(options_.connectTimeoutSeconds);
    // The defaults first: the string's own settings (expanded from dbname) come after and win.
    const std::array<const char*, 4> keywords{"connect_timeout", "application_name", "dbname", nullptr};
    const std::array<const char*, 4> values{timeout.c_str(), "vx3wt", connection_.c_str(), nullptr};
    conn_ = PQconnectdbParams(keywords.data(), values.data(), 1);
    if (conn_ == nullptr) return Unreachable("");
    if (PQstatus(conn_) != CONNECTION_OK) {
      SeriesStatus status = Unreachable(LastMessage());
      PQfinish(conn_);
      conn_ = nullptr;
      return status;
    }
    SeriesStatus upgraded = Upgrade();
    if (!upgraded) {
      PQfinish(conn_);
      conn_ = nullptr;
    }
    return upgraded;
  }

  // Brings the layout up to this version in one transaction, under a lock that other stations
  // starting at the same time wait for.
  SeriesStatus Upgrade() {
    if (SeriesStatus s = Run("BEGIN"); !s) return s;
    if (SeriesStatus s = Run(fmt::format("SELECT pg_advisory_xact_lock({})", kSchemaLockKey)); !s) return s;
    if (SeriesStatus s = Run("CREATE TABLE IF NOT EXISTS vx3wt_schema(version integer NOT NULL)"); !s) return s;
    Result result(PQexec(conn_, "SELECT version FROM vx3wt_schema"));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) return Failure();
    int version = 0;
    const bool hasRow = PQntuples(result.get()) > 0;
    if (hasRow) version = std::atoi(PQgetvalue(result.get(), 0, 0));
    if (version > kSeriesSchemaVersion) {
      Run("ROLLBACK");
      return Refused(fmt::format("the serial server's tables were made by a newer version of this program "
                                 "(server version {}, this version reads up to {})",
                                 version, kSeriesSchemaVersion));
    }
    for (int step = version; step < kSeriesSchemaVersion; ++step) {
      if (SeriesStatus s = Run(kMigrations[static_cast<std::size_t>(step)]); !s) return s;
    }
    const std::string mark = hasRow ? fmt::format("UPDATE vx3wt_schema SET version = {}", kSeriesSchemaVersion)
                                    : fmt::format("INSERT INTO vx3wt_schema(version) VALUES({})", kSeriesSchemaVersion);
    if (SeriesStatus s = Run(mark); !s) return s;
    return Run("COMMIT");
  }

  // A statement without parameters on the open connection (the layout's steps).
  SeriesStatus Run(const std::string& sql) {
    Result result(PQexec(conn_, sql.c_str()));
    const ExecStatusType type = PQresultStatus(result.get());
    if (type == PGRES_COMMAND_OK || type == PGRES_TUPLES_OK) return {};
    return Failure();
  }

  // The failure of the last statement: a lost connection is `unreachable`, anything else the
  // server's refusal. An open transaction is given up.
  SeriesStatus Failure() {
    if (PQstatus(conn_) != CONNECTION_OK) return Unreachable(LastMessage());
    const std::string message = LastMessage();
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) {
      Result rollback(PQexec(conn_, "ROLLBACK"));
    }
    return Refused(message);
  }

  // One statement with text parameters, on a working connection. A connection that was made
  // before and is found broken (the server restarted since) is made again and the statement sent
  // once more: every statement here may be repeated (a reservation by its request's name).
  SeriesStatus Exec(const char* sql, const std::vector<std::string>& params, Result* out) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    SeriesStatus status;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      const bool fresh = conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK;
      if (SeriesStatus ready = Ready(); !ready) return ready;
      Result result(
          PQexecParams(conn_, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
      const ExecStatusType type = PQresultStatus(result.get());
      if (type == PGRES_COMMAND_OK || type == PGRES_TUPLES_OK) {
        if (out != nullptr) *out = std::move(result);
        return {};
      }
      status = Failure();
      if (!status.unreachable || fresh) return status;
    }
    return status;
  }
  static constexpr int kAttempts = 2;

  std::string connection_;
  SeriesServerOptions options_;
  PGconn* conn_ = nullptr;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<SeriesServer> OpenSeriesServer(std::string connection, const SeriesServerOptions& options) {
  return std::make_unique<PgSeriesServer>(std::move(connection), options);
}

}  // namespace vx3::ledger
