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

// Version 3: the database itself keeps blocks apart, values a Writer used on its own are
// claimed, the duplicates they reveal are kept, and rows come only from the station's record.
// - series_blocks.kind: 'block' (reserved) or 'beyond' (values a station's Writer used on its
//   own, claimed afterwards). A reservation's request names one block; a claim's request may
//   name several beyond blocks, so the request is unique among reservations only.
// - series_blocks_apart: every insert or move of a block locks its series row and refuses a
//   block that overlaps any other of the series, whoever writes it (a hand INSERT too). As
//   blocks never overlap, the block that begins last at or below a new block's end is the only
//   one that can overlap it.
// - value_claims: each claim under the station's name for its request, so that a claim asked
//   again answers the same and claims nothing twice.
// - conflicts: values a station's Writer used that another station's block holds: the same
//   value on two chips of the line. Queried as it is.
// - reserve_block: past every block of the series, whatever the series row's next value
//   says, and at the station's floor or above.
// - claim_used_values: the claim; its answer is the claim's beyond blocks and conflicts.
// - store_station_rows: a station's rows, taken only under the token that claimed the station;
//   a row number the server holds with other contents refuses the batch. The check follows the
//   insert (which waits for a row another connection is storing under the same number), so
//   that such a row is seen too; only the rows the insert passed over are looked at.
constexpr const char* kSchemaVersion3 = R"sql(
ALTER TABLE series_blocks ADD COLUMN kind text NOT NULL DEFAULT 'block' CHECK (kind IN ('block', 'beyond'));
ALTER TABLE series_blocks DROP CONSTRAINT series_blocks_station_request_key;
CREATE UNIQUE INDEX series_blocks_by_request ON series_blocks(station, request) WHERE kind = 'block';
CREATE INDEX series_blocks_by_claim ON series_blocks(station, request) WHERE kind = 'beyond';
CREATE FUNCTION series_blocks_apart() RETURNS trigger
LANGUAGE plpgsql AS $fn$
DECLARE
  v_other record;
BEGIN
  PERFORM 1 FROM series s WHERE s.name = NEW.series FOR UPDATE;
  SELECT b.id, b.station, b.first_value, b.span INTO v_other FROM series_blocks b
    WHERE b.series = NEW.series AND b.id <> NEW.id AND b.first_value <= NEW.first_value + NEW.span - 1
    ORDER BY b.first_value DESC LIMIT 1;
  IF FOUND AND v_other.first_value + v_other.span - 1 >= NEW.first_value THEN
    RAISE EXCEPTION 'the values % .. % of the series "%" overlap block % of the station "%" (% .. %): no value is given twice',
      NEW.first_value, NEW.first_value + NEW.span - 1, NEW.series, v_other.id, v_other.station,
      v_other.first_value, v_other.first_value + v_other.span - 1;
  END IF;
  RETURN NEW;
END
$fn$;
CREATE TRIGGER series_blocks_apart BEFORE INSERT OR UPDATE OF series, first_value, span ON series_blocks
  FOR EACH ROW EXECUTE FUNCTION series_blocks_apart();
CREATE TABLE value_claims(
  station text NOT NULL,
  request text NOT NULL,
  series text NOT NULL REFERENCES series(name),
  first_value bigint NOT NULL,
  last_value bigint NOT NULL,
  claimed_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (station, request));
CREATE TABLE conflicts(
  id bigserial PRIMARY KEY,
  series text NOT NULL REFERENCES series(name),
  station text NOT NULL,
  other_station text NOT NULL,
  request text NOT NULL,
  first_value bigint NOT NULL,
  last_value bigint NOT NULL,
  found_at timestamptz NOT NULL DEFAULT now(),
  CHECK (first_value <= last_value));
CREATE INDEX conflicts_by_station ON conflicts(series, station);
CREATE INDEX conflicts_by_claim ON conflicts(station, request);
DROP FUNCTION reserve_block(text, text, text, bigint);
CREATE FUNCTION reserve_block(p_series text, p_station text, p_request text, p_span bigint, p_at_least bigint,
                              OUT block_id bigint, OUT first_value bigint, OUT span bigint)
LANGUAGE plpgsql AS $fn$
DECLARE
  v_next bigint;
  v_last bigint;
  v_past bigint;
BEGIN
  SELECT b.id, b.first_value, b.span INTO block_id, first_value, span
    FROM series_blocks b WHERE b.station = p_station AND b.request = p_request AND b.kind = 'block';
  IF FOUND THEN RETURN; END IF;
  IF p_span <= 0 THEN RAISE EXCEPTION 'a block holds at least one value'; END IF;
  SELECT s.next_value, s.last_value INTO v_next, v_last FROM series s WHERE s.name = p_series FOR UPDATE;
  IF NOT FOUND THEN RAISE EXCEPTION 'the series "%" is not on the server', p_series; END IF;
  -- The same request may have been waiting for the row while its first asking reserved.
  SELECT b.id, b.first_value, b.span INTO block_id, first_value, span
    FROM series_blocks b WHERE b.station = p_station AND b.request = p_request AND b.kind = 'block';
  IF FOUND THEN RETURN; END IF;
  SELECT b.first_value + b.span INTO v_past FROM series_blocks b WHERE b.series = p_series
    ORDER BY b.first_value DESC LIMIT 1;
  first_value := GREATEST(v_next, COALESCE(v_past, v_next), p_at_least);
  IF first_value > v_last OR v_last - first_value < p_span - 1 THEN
    RAISE EXCEPTION 'the series "%" has fewer than % values left', p_series, p_span;
  END IF;
  UPDATE series SET next_value = first_value + p_span WHERE name = p_series;
  INSERT INTO series_blocks(series, station, request, first_value, span)
    VALUES (p_series, p_station, p_request, first_value, p_span) RETURNING id INTO block_id;
  span := p_span;
END
$fn$;
CREATE FUNCTION claim_used_values(p_series text, p_station text, p_request text, p_first bigint, p_last bigint)
RETURNS TABLE(r_kind text, r_id bigint, r_first bigint, r_last bigint, r_other text)
LANGUAGE plpgsql AS $fn$
DECLARE
  v_claim record;
  v_block record;
  v_from bigint;
  v_at bigint := p_first;
  v_run_station text;
  v_run_first bigint;
  v_run_last bigint;
BEGIN
  IF p_first > p_last THEN
    RAISE EXCEPTION 'a claim of used values runs from its first value up to its last (asked for % .. %)', p_first, p_last;
  END IF;
  IF p_first < 0 THEN RAISE EXCEPTION 'a series holds no negative values (asked for % .. %)', p_first, p_last; END IF;
  PERFORM 1 FROM series s WHERE s.name = p_series FOR UPDATE;
  IF NOT FOUND THEN RAISE EXCEPTION 'the series "%" is not on the server', p_series; END IF;
  SELECT c.series, c.first_value, c.last_value INTO v_claim
    FROM value_claims c WHERE c.station = p_station AND c.request = p_request;
  IF FOUND THEN
    IF v_claim.series <> p_series OR v_claim.first_value <> p_first OR v_claim.last_value <> p_last THEN
      RAISE EXCEPTION 'the claim "%" of the station "%" was made for the values % .. % of the series "%"',
        p_request, p_station, v_claim.first_value, v_claim.last_value, v_claim.series;
    END IF;
  ELSE
    INSERT INTO value_claims(station, request, series, first_value, last_value)
      VALUES (p_station, p_request, p_series, p_first, p_last);
    -- The blocks that hold any of the values, in order: the one that begins last at or below
    -- the first value, and those that begin inside the claim.
    SELECT COALESCE(max(b.first_value), p_first) INTO v_from FROM series_blocks b
      WHERE b.series = p_series AND b.first_value <= p_first;
    FOR v_block IN
      SELECT b.station, b.first_value, b.first_value + b.span - 1 AS last_value FROM series_blocks b
        WHERE b.series = p_series AND b.first_value BETWEEN v_from AND p_last
          AND b.first_value + b.span - 1 >= p_first
        ORDER BY b.first_value
    LOOP
      IF v_block.first_value > v_at THEN
        INSERT INTO series_blocks(series, station, request, first_value, span, kind)
          VALUES (p_series, p_station, p_request, v_at, v_block.first_value - v_at, 'beyond');
      END IF;
      IF v_block.station <> p_station THEN
        -- Another station's blocks that follow each other are one run of duplicates.
        IF v_run_station = v_block.station AND v_run_last + 1 = GREATEST(v_at, v_block.first_value) THEN
          v_run_last := LEAST(p_last, v_block.last_value);
        ELSE
          IF v_run_station IS NOT NULL THEN
            INSERT INTO conflicts(series, station, other_station, request, first_value, last_value)
              VALUES (p_series, p_station, v_run_station, p_request, v_run_first, v_run_last);
          END IF;
          v_run_station := v_block.station;
          v_run_first := GREATEST(v_at, v_block.first_value);
          v_run_last := LEAST(p_last, v_block.last_value);
        END IF;
      END IF;
      v_at := v_block.last_value + 1;
    END LOOP;
    IF v_run_station IS NOT NULL THEN
      INSERT INTO conflicts(series, station, other_station, request, first_value, last_value)
        VALUES (p_series, p_station, v_run_station, p_request, v_run_first, v_run_last);
    END IF;
    IF v_at <= p_last THEN
      INSERT INTO series_blocks(series, station, request, first_value, span, kind)
        VALUES (p_series, p_station, p_request, v_at, p_last - v_at + 1, 'beyond');
    END IF;
    UPDATE series SET next_value = GREATEST(next_value, p_last + 1) WHERE name = p_series;
  END IF;
  RETURN QUERY
    SELECT 'claimed'::text, b.id, b.first_value, b.first_value + b.span - 1, NULL::text FROM series_blocks b
      WHERE b.station = p_station AND b.request = p_request AND b.kind = 'beyond'
    UNION ALL
    SELECT 'conflict'::text, c.id, c.first_value, c.last_value, c.other_station FROM conflicts c
      WHERE c.station = p_station AND c.request = p_request
    ORDER BY 3;
END
$fn$;
CREATE FUNCTION store_station_rows(p_station text, p_token text, p_seqs bigint[], p_tables text[], p_ids bigint[],
                                   p_rows jsonb[]) RETURNS bigint
LANGUAGE plpgsql AS $fn$
DECLARE
  v_token text;
  v_seq bigint;
  v_passed bigint[];
BEGIN
  SELECT s.token INTO v_token FROM stations s WHERE s.name = p_station;
  IF NOT FOUND THEN
    RAISE EXCEPTION 'the station "%" has not claimed its name on the serial server: its rows are not taken', p_station;
  END IF;
  IF v_token IS DISTINCT FROM p_token THEN
    RAISE EXCEPTION 'the station "%" is claimed by another record on the serial server: its rows are not taken', p_station;
  END IF;
  WITH incoming AS (
    SELECT * FROM unnest(p_seqs, p_tables, p_ids, p_rows) AS t(seq, table_name, local_id, row)),
  stored AS (
    INSERT INTO station_rows(station, seq, table_name, local_id, row)
    SELECT p_station, i.seq, i.table_name, i.local_id, i.row FROM incoming i
    ON CONFLICT (station, seq) DO NOTHING
    RETURNING station_rows.seq, station_rows.table_name, station_rows.local_id, station_rows.row),
  newest AS (
    SELECT DISTINCT ON (s.table_name, s.local_id) s.seq, s.table_name, s.local_id, s.row FROM stored s
    ORDER BY s.table_name, s.local_id, s.seq DESC),
  recorded AS (
    INSERT INTO record_rows(station, table_name, local_id, seq, row)
    SELECT p_station, n.table_name, n.local_id, n.seq, n.row FROM newest n
    ON CONFLICT (station, table_name, local_id) DO UPDATE SET seq = excluded.seq, row = excluded.row
      WHERE record_rows.seq < excluded.seq)
  SELECT array_agg(i.seq) INTO v_passed FROM incoming i
    WHERE NOT EXISTS (SELECT 1 FROM stored s WHERE s.seq = i.seq AND s.table_name = i.table_name
                        AND s.local_id = i.local_id AND s.row = i.row);
  -- Only the rows passed over can differ from what the server holds (usually none: a batch sent
  -- again after a lost answer).
  IF v_passed IS NOT NULL THEN
    SELECT t.seq INTO v_seq FROM unnest(p_seqs, p_tables, p_ids, p_rows) AS t(seq, table_name, local_id, row)
      WHERE t.seq = ANY(v_passed) AND NOT EXISTS (
        SELECT 1 FROM station_rows r WHERE r.station = p_station AND r.seq = t.seq AND r.table_name = t.table_name
          AND r.local_id = t.local_id AND r.row = t.row)
      ORDER BY t.seq LIMIT 1;
    IF FOUND THEN
      RAISE EXCEPTION 'the station "%" sent row % with other contents than the serial server holds under that number: nothing of its batch is stored',
        p_station, v_seq;
    END IF;
  END IF;
  RETURN (SELECT COALESCE(max(r.seq), 0) FROM station_rows r WHERE r.station = p_station);
END
$fn$;
)sql";

// The steps from each older version to the next; entry v takes version v to v + 1.
constexpr std::array<const char*, kSeriesSchemaVersion> kMigrations{kSchemaVersion1, kSchemaVersion2,
                                                                    kSchemaVersion3};

// A station's rows in one statement: arrays carry the whole batch; the answer is the station's
// highest row number on the server.
constexpr const char* kStoreRows =
    "SELECT store_station_rows($1, $2, $3::bigint[], $4::text[], $5::bigint[], $6::jsonb[])";
// What a claim of used values answers: one row per beyond block or conflict, in value order.
constexpr const char* kClaimUsedValues =
    "SELECT r_kind, r_id, r_first, r_last, r_other FROM claim_used_values($1, $2, $3, $4, $5)";
constexpr std::string_view kClaimedKind = "claimed";
constexpr std::string_view kConflictKind = "conflict";
// The state of an error the layout's own functions raise: their message is the whole refusal.
constexpr std::string_view kRaisedState = "P0001";

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
    std::lock_guard lock(mutex_);
    Result result;
    SeriesStatus status = Exec("SELECT block_id, first_value, span FROM reserve_block($1, $2, $3, $4, $5)",
                               {std::string(series), std::string(station), std::string(request), std::to_string(span),
                                std::to_string(atLeast)},
                               &result);
    if (!status) return status;
    if (PQntuples(result.get()) != 1) return Refused("the server gave no block");
    block.id = Number(result.get(), 0, 0);
    block.first = Number(result.get(), 0, 1);
    block.span = Number(result.get(), 0, 2);
    return status;
  }

  SeriesStatus ClaimUsedValues(std::string_view series, std::string_view station, std::string_view request,
                               std::int64_t first, std::int64_t last, ClaimedValues& claimed) override {
    std::lock_guard lock(mutex_);
    claimed = {};
    Result result;
    SeriesStatus status = Exec(kClaimUsedValues,
                               {std::string(series), std::string(station), std::string(request),
                                std::to_string(first), std::to_string(last)},
                               &result);
    if (!status) return status;
    for (int row = 0; row < PQntuples(result.get()); ++row) {
      const std::string_view kind = PQgetvalue(result.get(), row, 0);
      const std::int64_t from = Number(result.get(), row, 2);
      const std::int64_t to = Number(result.get(), row, 3);
      if (kind == kClaimedKind) {
        claimed.claimed.push_back({Number(result.get(), row, 1), from, to - from + 1});
      } else if (kind == kConflictKind) {
        claimed.conflicts.push_back({PQgetvalue(result.get(), row, 4), from, to});
      }
    }
    return status;
  }

  SeriesStatus ConflictCount(std::string_view series, std::string_view station, std::int64_t& count) override {
    std::lock_guard lock(mutex_);
    Result result;
    SeriesStatus status = Exec("SELECT count(*) FROM conflicts WHERE series = $1 AND station = $2",
                               {std::string(series), std::string(station)}, &result);
    if (status) count = Number(result.get(), 0, 0);
    return status;
  }

  SeriesStatus SendRows(std::string_view station, std::string_view token, const std::vector<OutboxRow>& rows,
                        std::int64_t& applied) override {
    std::lock_guard lock(mutex_);
    std::vector<std::string> seqs, tables, ids, bodies;
    for (const OutboxRow& row : rows) {
      seqs.push_back(std::to_string(row.seq));
      tables.push_back(row.table);
      ids.push_back(std::to_string(row.rowId));
      bodies.push_back(row.row);
    }
    Result result;
    SeriesStatus status = Exec(kStoreRows,
                               {std::string(station), std::string(token), ArrayLiteral(seqs), ArrayLiteral(tables),
                                ArrayLiteral(ids), ArrayLiteral(bodies)},
                               &result);
    if (status) applied = Number(result.get(), 0, 0);
    return status;
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
    if (status) applied = Number(result.get(), 0, 0);
    return status;
  }

  static std::int64_t Number(const PGresult* result, int row, int column) {
    return std::strtoll(PQgetvalue(result, row, column), nullptr, 10);
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
  SeriesStatus Failure(const PGresult* result = nullptr) {
    if (PQstatus(conn_) != CONNECTION_OK) return Unreachable(LastMessage());
    std::string message = LastMessage();
    // A refusal of the layout's own functions says all there is: without the client's
    // "ERROR:" and the function's context lines.
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (state != nullptr && primary != nullptr && state == kRaisedState) message = primary;
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
      status = Failure(result.get());
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
