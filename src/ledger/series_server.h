// The shared series: one issuer of serial values for all stations of a product, on a database
// server, and the factory's one record of every station's rows. The interface the program uses;
// the PostgreSQL store (ledger/pg_series_server.cpp) is behind it, the only SQL for the server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/outbox.h"
#include "ledger/production_ledger.h"
#include "ledger/station_blocks.h"

namespace vx3::ledger {

// The server's layout version: the program makes and upgrades it, step by step.
inline constexpr int kSeriesSchemaVersion = 3;
// What a hidden password shows in its place.
inline constexpr std::string_view kPasswordMask = "********";

// The connection string with any password replaced by kPasswordMask, in both forms the client
// takes (keyword=value pairs and postgresql:// addresses): the only form of a connection string
// that may reach a log, a status line or the record.
std::string MaskConnectionPassword(std::string_view connection);
// `text` (a server or client message) with every appearance of the connection string's password
// replaced by kPasswordMask.
std::string WithoutPassword(std::string_view text, std::string_view connection);

// A run of values another station holds that this station's Writer used too.
struct ValueConflict {
  std::string otherStation;
  std::int64_t first = 0;
  std::int64_t last = 0;
  bool operator==(const ValueConflict&) const = default;
};

// What a claim of values used on their own gave this station, and what another station holds.
struct ClaimedValues {
  std::vector<ReservedBlock> claimed;
  std::vector<ValueConflict> conflicts;
};

// Why a server operation failed: the server cannot be reached (try again later) or it refused.
struct SeriesStatus {
  LedgerStatus status;
  bool unreachable = false;
  explicit operator bool() const { return status.ok; }
};

class SeriesServer {
 public:
  virtual ~SeriesServer() = default;

  // Claims `station` for the record of `token`: the first record to claim a name keeps it; a
  // different record asking for a taken name is refused with a message that names it.
  virtual SeriesStatus ClaimStation(std::string_view station, std::string_view token) = 0;

  // Makes the series when it is not on the server yet, with `next` as its first value and
  // `last` as the highest value it may ever give (the rolling code's width).
  virtual SeriesStatus JoinSeries(std::string_view series, std::int64_t next, std::int64_t last) = 0;

  // Reserves `span` values of `series` for `station` in one transaction on the locked series
  // row. `request` names the reservation: asked again (the answer was lost with the
  // connection), it gives back the block it made, never a second one.
  // The block starts past every block of the series ever given out, whatever the series row's next
  // value says, and at `atLeast` or above (values at or below what this station's Writer holds
  // are never given to it again).
  virtual SeriesStatus ReserveBlock(std::string_view series, std::string_view station, std::string_view request,
                                    std::int64_t span, std::int64_t atLeast, ReservedBlock& block) = 0;

  // Values first .. last that the Writer of `station` used on its own (stand-alone runs past the
  // station's block). In one transaction: the runs of those values that no block of another
  // station holds become blocks of `station` of kind "beyond" (returned in `claimed`), and the
  // series' next value moves past `last`; the runs another station holds are real duplicates on
  // the line: each is a row of the server's conflicts table and is returned in `conflicts`.
  // `request` names the claim as for ReserveBlock: asked again, it answers the same.
  virtual SeriesStatus ClaimUsedValues(std::string_view series, std::string_view station, std::string_view request,
                                       std::int64_t first, std::int64_t last, ClaimedValues& claimed) = 0;

  // How many conflicts the server holds for `station` in `series`.
  virtual SeriesStatus ConflictCount(std::string_view series, std::string_view station, std::int64_t& count) = 0;

  // Stores a station's rows, in order, each once: a row the server holds already byte for byte is
  // passed over; a different row under the same number is refused (nothing of the batch is
  // stored), as is a `token` that is not the one that claimed `station`.
  // `applied` is the station's highest row number on the server afterwards.
  virtual SeriesStatus SendRows(std::string_view station, std::string_view token, const std::vector<OutboxRow>& rows,
                                std::int64_t& applied) = 0;

  // The station's highest row number on the server (0 when none).
  virtual SeriesStatus AppliedRows(std::string_view station, std::int64_t& applied) = 0;
};

struct SeriesServerOptions {
  // Seconds to wait for the server to answer a connection before calling it unreachable.
  int connectTimeoutSeconds = 3;
};

// A connection to the server of `connection` (libpq's connection string). It connects when first
// used, makes or upgrades the layout, and connects again after the server went away. Built
// where the client library is (not in the Windows cross build).
std::unique_ptr<SeriesServer> OpenSeriesServer(std::string connection, const SeriesServerOptions& options = {});

}  // namespace vx3::ledger
