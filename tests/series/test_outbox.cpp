// The outbox of a station's record: each row queued in the transaction that writes it, from the
// station's joining a series on (with the rows before), and the drainer that brings them to the
// server in order, each once, through a server stopped in the middle of its work.
#include <libpq-fe.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "ledger/outbox.h"
#include "ledger/series_server.h"
#include "ledger/sqlite_ledger.h"
#include "platform/clock.h"
#include "support/ledger_job.h"
#include "support/pg_test_server.h"
#include "support/temp_dir.h"

namespace vx3::ledger {
namespace {

namespace fs = std::filesystem;
using testing::PgTestServer;

using testing::RollingJob;

rolling::RollingWords Value(std::uint16_t low) {
  rolling::RollingWords words{};
  words[0] = low;
  return words;
}

class OutboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    opened_ = OpenSqliteLedger(folder_.path(), clock_, LedgerOptions{.station = "bench-1", .busyTimeoutMs = 2000, .vfsName = {}, .machineId = {}, .owner = {}, .ownerHeld = {}});
    ASSERT_TRUE(opened_.ledger) << opened_.status.error;
    outbox_ = OutboxOf(*opened_.ledger);
    ASSERT_NE(outbox_, nullptr);
  }

  // One passed chip: the action and its serial written when issued, then again with the result.
  void Chip(JobId job, std::uint16_t value) {
    const IssuedSerial issued = opened_.ledger->IssueSerial(job, ActionKind::AutoProgram, Value(value));
    ASSERT_TRUE(issued.status) << issued.status.error;
    ASSERT_TRUE(opened_.ledger->FinishAction(issued.action, Outcome::Pass, "Auto Program OK", 1500));
  }

  std::vector<OutboxRow> Queued() {
    std::vector<OutboxRow> rows;
    EXPECT_TRUE(outbox_->ReadQueued(1000000, rows));
    return rows;
  }

  testing::TempDir folder_;
  platform::SystemClock clock_;
  OpenedLedger opened_;
  LedgerOutbox* outbox_ = nullptr;
};

TEST_F(OutboxTest, NothingIsQueuedBeforeTheStationJoinsASeries) {
  JobId job = 0;
  ASSERT_TRUE(opened_.ledger->StartJob(RollingJob(folder_.path()), job));
  Chip(job, 0x10);
  EXPECT_TRUE(Queued().empty());
}

TEST_F(OutboxTest, JoiningQueuesTheRecordSoFarThenEveryRowAsItIsWritten) {
  JobId job = 0;
  ASSERT_TRUE(opened_.ledger->StartJob(RollingJob(folder_.path()), job));
  Chip(job, 0x10);
  ASSERT_TRUE(outbox_->StartQueueing());
  ASSERT_TRUE(outbox_->StartQueueing());  // a second time queues nothing again
  {
    const std::vector<OutboxRow> rows = Queued();
    std::vector<std::string> tables;
    for (const OutboxRow& row : rows) tables.push_back(fmt::format("{}:{}", row.table, row.rowId));
    EXPECT_EQ(tables, (std::vector<std::string>{"jobs:1", "actions:1", "serials:1"}));
    EXPECT_NE(rows[1].row.find(R"("result":"pass")"), std::string::npos) << rows[1].row;
    EXPECT_NE(rows[2].row.find(R"("value":"00000010")"), std::string::npos) << rows[2].row;
  }
  Chip(job, 0x11);
  const std::vector<OutboxRow> rows = Queued();
  ASSERT_EQ(rows.size(), 3U + 4U);
  // Issued: the action open and its serial issued; then the result on both, in that order.
  EXPECT_EQ(rows[3].table, "actions");
  EXPECT_NE(rows[3].row.find(R"("result":"unknown")"), std::string::npos) << rows[3].row;
  EXPECT_EQ(rows[4].table, "serials");
  EXPECT_NE(rows[4].row.find(R"("state":"issued")"), std::string::npos) << rows[4].row;
  EXPECT_EQ(rows[5].table, "actions");
  EXPECT_NE(rows[5].row.find(R"("message":"Auto Program OK")"), std::string::npos) << rows[5].row;
  EXPECT_EQ(rows[6].table, "serials");
  EXPECT_NE(rows[6].row.find(R"("state":"passed")"), std::string::npos) << rows[6].row;
  for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_LT(rows[i - 1].seq, rows[i].seq);
}

TEST_F(OutboxTest, ARowNumberIsNeverGivenTwiceAfterTheRowsBeforeLeft) {
  ASSERT_TRUE(outbox_->StartQueueing());
  JobId job = 0;
  ASSERT_TRUE(opened_.ledger->StartJob(RollingJob(folder_.path()), job));
  const std::int64_t sent = Queued().back().seq;
  ASSERT_TRUE(outbox_->DropSent(sent));
  EXPECT_TRUE(Queued().empty());
  // Also after the record is opened again.
  opened_.ledger.reset();
  SetUp();
  Chip(job, 0x10);
  const std::vector<OutboxRow> rows = Queued();
  ASSERT_FALSE(rows.empty());
  EXPECT_GT(rows.front().seq, sent);
}

// --- to the server ---

class DrainTest : public OutboxTest {
 protected:
  void SetUp() override {
    OutboxTest::SetUp();
    PgTestServer& server = PgTestServer::Shared();
    if (!server.unavailable().empty()) GTEST_SKIP() << server.unavailable();
    ASSERT_TRUE(server.running() || server.Start());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    connection_ = server.NewDatabase(fmt::format("d_{}", info->name()).substr(0, 60));
    ASSERT_FALSE(connection_.empty());
    store_ = OpenSeriesServer(connection_, {.connectTimeoutSeconds = 1});
    ASSERT_TRUE(outbox_->StartQueueing());
    // The server takes a station's rows only from the record that claimed its name.
    std::string token;
    ASSERT_TRUE(outbox_->Token(token));
    const SeriesStatus claimed = store_->ClaimStation(outbox_->Station(), token);
    ASSERT_TRUE(claimed) << claimed.status.error;
  }

  std::int64_t ServerNumber(const std::string& sql) {
    PGconn* conn = PQconnectdb(connection_.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    EXPECT_EQ(PQresultStatus(result), PGRES_TUPLES_OK) << PQerrorMessage(conn);
    const std::int64_t value = PQntuples(result) > 0 ? std::stoll(PQgetvalue(result, 0, 0)) : -1;
    PQclear(result);
    PQfinish(conn);
    return value;
  }

  // Waits (up to a minute) until the outbox is empty.
  bool WaitDrained() {
    for (int tries = 0; tries < 600; ++tries) {
      std::int64_t queued = -1;
      if (outbox_->QueuedCount(queued) && queued == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  std::string connection_;
  std::unique_ptr<SeriesServer> store_;
};

TEST_F(DrainTest, TheServerGetsEveryRowAndTheOutboxEmpties) {
  JobId job = 0;
  ASSERT_TRUE(opened_.ledger->StartJob(RollingJob(folder_.path()), job));
  for (std::uint16_t v = 1; v <= 50; ++v) Chip(job, v);
  const std::int64_t last = Queued().back().seq;
  OutboxDrainer drainer(*outbox_, *store_, {.batchRows = 16});
  LedgerStatus status;
  bool unreachable = false;
  ASSERT_TRUE(drainer.DrainNow(status, unreachable)) << status.error;
  std::int64_t queued = -1;
  ASSERT_TRUE(outbox_->QueuedCount(queued));
  EXPECT_EQ(queued, 0);
  EXPECT_EQ(ServerNumber("SELECT count(*) FROM station_rows WHERE station = 'bench-1'"), last);
  EXPECT_EQ(ServerNumber("SELECT count(*) FROM actions WHERE result = 'pass'"), 50);
  EXPECT_EQ(ServerNumber("SELECT count(*) FROM serials WHERE state = 'passed'"), 50);
  EXPECT_EQ(ServerNumber("SELECT count(*) FROM jobs"), 1);
}

TEST_F(DrainTest, AStoppedServerLeavesTheRowsQueuedUntilItIsBack) {
  JobId job = 0;
  ASSERT_TRUE(opened_.ledger->StartJob(RollingJob(folder_.path()), job));
  PgTestServer& server = PgTestServer::Shared();
  ASSERT_TRUE(server.Stop());
  Chip(job, 1);
  OutboxDrainer drainer(*outbox_, *store_);
  LedgerStatus status;
  bool unreachable = false;
  EXPECT_FALSE(drainer.DrainNow(status, unreachable));
  EXPECT_TRUE(unreachable);
  EXPECT_EQ(status.error.rfind("the serial server cannot be reached", 0), 0U) << status.error;
  std::int64_t queued = 0;
  ASSERT_TRUE(outbox_->QueuedCount(queued));
  EXPECT_EQ(queued, 3 + 2);
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(drainer.DrainNow(status, unreachable)) << status.error;
  EXPECT_EQ(ServerNumber("SELECT count(*) FROM station_rows"), 5);
}

TEST_F(DrainTest, AServerStoppedMidDrainLosesNoRowAndStoresNoneTwice) {
  JobId job = 0;
  ASSERT_TRUE(opened_.ledger->StartJob(RollingJob(folder_.path()), job));
  ASSERT_TRUE(AppendMeasurementChips(*opened_.ledger, job, Value(1), 20000));
  const std::int64_t last = Queued().back().seq;
  OutboxDrainer drainer(*outbox_, *store_, {.batchRows = 500, .retryAfter = std::chrono::milliseconds(100)});
  drainer.Start();
  // Stop the server once some rows arrived and while more are on their way.
  PgTestServer& server = PgTestServer::Shared();
  for (int tries = 0; tries < 1000; ++tries) {
    std::int64_t queued = 0;
    ASSERT_TRUE(outbox_->QueuedCount(queued));
    if (queued < last) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(server.Stop());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::int64_t queued = 0;
  ASSERT_TRUE(outbox_->QueuedCount(queued));
  EXPECT_GT(queued, 0) << "the server was stopped after the whole outbox went";
  EXPECT_FALSE(drainer.LastError().empty());
  // Rows written while the server is away are queued behind the others.
  Chip(job, 0x8000);
  ASSERT_TRUE(server.Start());
  drainer.Wake();
  ASSERT_TRUE(WaitDrained());
  drainer.Stop();
  const std::int64_t total = last + 4;
  EXPECT_EQ(ServerNumber("SELECT count(*) FROM station_rows WHERE station = 'bench-1'"), total);
  EXPECT_EQ(ServerNumber("SELECT count(DISTINCT seq) FROM station_rows WHERE station = 'bench-1'"), total);
  EXPECT_EQ(ServerNumber("SELECT count(*) FROM serials WHERE state = 'passed'"), 20001);
  EXPECT_TRUE(drainer.LastError().empty()) << drainer.LastError();
}

}  // namespace
}  // namespace vx3::ledger
