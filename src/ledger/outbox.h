// The outbox of a station's record: every row the record writes, queued in the same local
// transaction for the shared record on the server, and the drainer that sends them there in
// the background, in order, each once, through outages of any length.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ledger/production_ledger.h"

namespace vx3::ledger {

class SeriesServer;

// One row of a station's record on its way to the server: `seq` orders a station's rows (never
// used twice), `row` is the row's columns as a JSON object at the time it was written.
struct OutboxRow {
  std::int64_t seq = 0;
  std::string table;
  std::int64_t rowId = 0;
  std::string row;
};

class LedgerOutbox {
 public:
  virtual ~LedgerOutbox() = default;
  // From now on every row written is queued; the first time, the rows already in the record
  // are queued too (in their tables' order), so that the server gets the whole record.
  virtual LedgerStatus StartQueueing() = 0;
  // Up to `limit` queued rows, oldest first.
  virtual LedgerStatus ReadQueued(std::size_t limit, std::vector<OutboxRow>& rows) = 0;
  // The server holds every row up to `seq`: they leave the outbox.
  virtual LedgerStatus DropSent(std::int64_t seq) = 0;
  virtual LedgerStatus QueuedCount(std::int64_t& rows) = 0;
  // The name the station's rows carry on the server.
  virtual std::string Station() const = 0;
  // The record's random name that claimed the station on the server: rows go under it only.
  virtual LedgerStatus Token(std::string& token) = 0;
};

struct DrainerOptions {
  std::size_t batchRows = 1000;  // rows per round trip
  // The wait before trying again after the server could not be reached, and between looks at
  // an empty outbox (a write wakes the drainer sooner through Wake()).
  std::chrono::milliseconds retryAfter{1000};
  std::chrono::milliseconds idleLook{250};
};

// Sends the outbox to the server on a thread of its own.
class OutboxDrainer {
 public:
  OutboxDrainer(LedgerOutbox& outbox, SeriesServer& server, DrainerOptions options = {});
  ~OutboxDrainer();
  OutboxDrainer(const OutboxDrainer&) = delete;
  OutboxDrainer& operator=(const OutboxDrainer&) = delete;

  void Start();
  // Stops the thread after its round trip; what is not sent stays in the outbox.
  void Stop();
  // New rows are queued: look now rather than at the next idle look.
  void Wake();

  // Sends everything queued now, batch by batch, on the caller's thread; false with the reason
  // when the server or the record failed (what was sent before stays sent).
  bool DrainNow(LedgerStatus& status, bool& unreachable);
  // The last failure of the thread's sending, empty when the last round trip went through.
  std::string LastError() const;

 private:
  void Loop();

  LedgerOutbox& outbox_;
  SeriesServer& server_;
  DrainerOptions options_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::atomic<bool> stopping_{false};
  bool woken_ = false;
  std::string lastError_;
  std::mutex sending_;  // one sender at a time: the thread or DrainNow
  std::thread thread_;
};

}  // namespace vx3::ledger
