#include <utility>

#include "ledger/outbox.h"
#include "ledger/series_server.h"

namespace vx3::ledger {

OutboxDrainer::OutboxDrainer(LedgerOutbox& outbox, SeriesServer& server, DrainerOptions options)
    : outbox_(outbox), server_(server), options_(options) {}

OutboxDrainer::~OutboxDrainer() { Stop(); }

void OutboxDrainer::Start() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { Loop(); });
}

void OutboxDrainer::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  stopping_ = false;
}

void OutboxDrainer::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

std::string OutboxDrainer::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

bool OutboxDrainer::DrainNow(LedgerStatus& status, bool& unreachable) {
  std::lock_guard sending(sending_);
  unreachable = false;
  const std::string station = outbox_.Station();
  std::string token;
  if (status = outbox_.Token(token); !status) return false;
  std::vector<OutboxRow> rows;
  while (true) {
    // A stop asked for ends the thread's sending between batches.
    if (stopping_.load()) return true;
    rows.clear();
    if (status = outbox_.ReadQueued(options_.batchRows, rows); !status) return false;
    if (rows.empty()) return true;
    std::int64_t applied = 0;
    const SeriesStatus sent = server_.SendRows(station, token, rows, applied);
    if (!sent) {
      status = sent.status;
      unreachable = sent.unreachable;
      return false;
    }
    // The server holds the batch now (or held it already): it leaves the outbox. Were the
    // record to fail here, the batch is sent again and the server passes over what it has.
    if (status = outbox_.DropSent(rows.back().seq); !status) return false;
  }
}

void OutboxDrainer::Loop() {
  while (true) {
    LedgerStatus status;
    bool unreachable = false;
    const bool drained = DrainNow(status, unreachable);
    std::unique_lock lock(mutex_);
    lastError_ = drained ? std::string() : status.error;
    if (stop_) return;
    wake_.wait_for(lock, drained ? options_.idleLook : options_.retryAfter, [this] { return stop_ || woken_; });
    woken_ = false;
    if (stop_) return;
  }
}

}  // namespace vx3::ledger
