// The production record's SQLite store: jobs, issued values and their rules, recovery after a
// stop, counters, the CSV export, and files that are damaged, locked, read-only or on a full disk.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ledger/sqlite_ledger.h"
#include "platform/clock.h"
#include "platform/ini_profile.h"
#include "support/record_query.h"
#include "support/temp_dir.h"

namespace vx3::ledger {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using rolling::RollingWords;
using testing::ReadFileBytes;
using testing::TempDir;

// A clock whose calendar time the test sets; noon UTC is the same local date in every zone.
class LedgerClock final : public platform::Clock {
 public:
  std::tm LocalNow() override {
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
  }
  void SleepFor(milliseconds) override {}
  system_clock::time_point WallNow() override { return now; }

  system_clock::time_point now = sys_days{year{2026} / 12 / 5} + hours{12};
};

// A VFS over the system's that fails on purpose: files opened read-only, a full disk, a sync
// that fails. Registered once under kFaultVfs.
constexpr const char* kFaultVfs = "vx3-ledger-faults";
struct Faults {
  static inline std::atomic<bool> readOnly{false};
  static inline std::atomic<bool> diskFull{false};
  static inline std::atomic<bool> syncFails{false};
};
struct FaultFile {
  sqlite3_file base;
  sqlite3_file* real;
};
sqlite3_vfs* g_realVfs = nullptr;

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->real; }
int FaultClose(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
int FaultRead(sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
  return Real(f)->pMethods->xRead(Real(f), data, amount, offset);
}
int FaultWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
  if (Faults::diskFull) return SQLITE_FULL;
  return Real(f)->pMethods->xWrite(Real(f), data, amount, offset);
}
int FaultTruncate(sqlite3_file* f, sqlite3_int64 size) { return Real(f)->pMethods->xTruncate(Real(f), size); }
int FaultSync(sqlite3_file* f, int flags) {
  if (Faults::syncFails) return SQLITE_IOERR_FSYNC;
  return Real(f)->pMethods->xSync(Real(f), flags);
}
int FaultFileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int FaultLock(sqlite3_file* f, int lock) { return Real(f)->pMethods->xLock(Real(f), lock); }
int FaultUnlock(sqlite3_file* f, int lock) { return Real(f)->pMethods->xUnlock(Real(f), lock); }
int FaultCheckReserved(sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int FaultFileControl(sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); }
int FaultSectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int FaultCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int FaultShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, out);
}
int FaultShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void FaultShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int FaultShmUnmap(sqlite3_file* f, int deleteFlag) { return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag); }
int FaultFetch(sqlite3_file*, sqlite3_int64, int, void** out) {
  *out = nullptr;  // no memory map: every read goes through FaultRead
  return SQLITE_OK;
}
int FaultUnfetch(sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; }

const sqlite3_io_methods kFaultMethods{3,
                                       FaultClose,
                                       FaultRead,
                                       FaultWrite,
                                       FaultTruncate,
                                       FaultSync,
                                       FaultFileSize,
                                       FaultLock,
                                       FaultUnlock,
                                       FaultCheckReserved,
                                       FaultFileControl,
                                       FaultSectorSize,
                                       FaultCharacteristics,
                                       FaultShmMap,
                                       FaultShmLock,
                                       FaultShmBarrier,
                                       FaultShmUnmap,
                                       FaultFetch,
                                       FaultUnfetch};

int FaultOpen(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  auto* wrapper = reinterpret_cast<FaultFile*>(file);
  wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
  wrapper->base.pMethods = nullptr;
  if (Faults::readOnly) {
    flags &= ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    flags |= SQLITE_OPEN_READONLY;
  }
  const int rc = g_realVfs->xOpen(g_realVfs, name, wrapper->real, flags, outFlags);
  if (rc == SQLITE_OK && wrapper->real->pMethods != nullptr) wrapper->base.pMethods = &kFaultMethods;
  return rc;
}

void RegisterFaultVfs() {
  static sqlite3_vfs vfs = [] {
    g_realVfs = sqlite3_vfs_find(nullptr);
    sqlite3_vfs v = *g_realVfs;
    v.szOsFile = static_cast<int>(sizeof(FaultFile)) + g_realVfs->szOsFile;
    v.zName = kFaultVfs;
    v.pNext = nullptr;
    v.xOpen = FaultOpen;
    return v;
  }();
  static const bool registered = sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
  ASSERT_TRUE(registered);
}

// Runs SQL on a file of the test's own, beside the store (hand-made and locked files).
class RawDb {
 public:
  explicit RawDb(const fs::path& file) { sqlite3_open(file.string().c_str(), &db_); }
  ~RawDb() { sqlite3_close(db_); }
  int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }
  // The first column of every row, as text ("" for NULL); a statement that fails fails the test.
  std::vector<std::string> Texts(const std::string& sql) {
    std::vector<std::string> texts;
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql << ": " << sqlite3_errmsg(db_);
    int rc = SQLITE_ROW;
    while (stmt != nullptr && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      texts.emplace_back(text == nullptr ? "" : text);
    }
    EXPECT_EQ(rc, SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return texts;
  }
  // The first column of the first row ("" when there is none).
  std::string Text(const std::string& sql) {
    const std::vector<std::string> texts = Texts(sql);
    return texts.empty() ? std::string() : texts.front();
  }

 private:
  sqlite3* db_ = nullptr;
};

RollingWords Value(std::uint32_t low, std::uint32_t high = 0) {
  RollingWords words{};
  words[0] = low;
  words[1] = high;
  return words;
}

constexpr RollingShape kShape{2, true, false};
// The machine the tests' records are opened on, unless a test pretends to be another.
constexpr const char* kHereMachine = "0123456789abcdef0123456789abcdef";

class LedgerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterFaultVfs();
    ini = program.WriteFile("images/PART.INI", "[Rolling Code]\nWay=INI\n");
  }
  void TearDown() override {
    Faults::readOnly = false;
    Faults::diskFull = false;
    Faults::syncFails = false;
  }

  fs::path File() const { return program.path() / kLedgerFolder / kLedgerFileName; }

  OpenedLedger Open(LedgerOptions options = {}) {
    if (options.station.empty()) options.station = "BENCH-1";
    if (options.vfsName.empty()) options.vfsName = kFaultVfs;
    if (options.machineId.empty()) options.machineId = kHereMachine;
    return OpenSqliteLedger(program.path(), clock, options);
  }
  std::unique_ptr<ProductionLedger> OpenOk() {
    OpenedLedger opened = Open();
    EXPECT_TRUE(opened.status.ok) << opened.status.error;
    return std::move(opened.ledger);
  }

  JobInfo Job(RollingWords step = Value(1)) const {
    JobInfo job;
    job.device = "VX3P1040";
    job.imagePath = program.path() / "images" / "PART.VX3";
    job.checksum = 0x1A2B;
    job.securedChecksum = 0x00FF;
    job.iapVersion = 0x0100;
    job.driverVersion = 0x0102;
    job.rollingOn = true;
    job.iniPath = ini;
    job.rollingAddress = 0x21;
    job.shape = kShape;
    job.step = step;
    job.firstValue = Value(0x1000);
    return job;
  }
  JobId StartJob(ProductionLedger& ledger, const JobInfo& info) {
    JobId id = 0;
    const LedgerStatus started = ledger.StartJob(info, id);
    EXPECT_TRUE(started.ok) << started.error;
    return id;
  }
  // Issues `wanted` for a chip and gives it `outcome`; returns the value issued.
  std::string Chip(ProductionLedger& ledger, JobId job, RollingWords wanted, Outcome outcome) {
    const IssuedSerial issued = ledger.IssueSerial(job, ActionKind::AutoProgram, wanted);
    EXPECT_TRUE(issued.status.ok) << issued.status.error;
    const LedgerStatus finished = ledger.FinishAction(issued.action, outcome, "Auto Program OK", 1200);
    EXPECT_TRUE(finished.ok) << finished.error;
    return issued.value.digits;
  }
  std::string Export(ProductionLedger& ledger, ExportScope scope = ExportScope::All, JobId job = 0) {
    const fs::path out = program.path() / "export.csv";
    const LedgerStatus exported = ledger.ExportCsv(scope, job, out);
    EXPECT_TRUE(exported.ok) << exported.error;
    return ReadFileBytes(out);
  }

  TempDir program;
  fs::path ini;
  LedgerClock clock;
};

std::vector<std::string> Lines(const std::string& csv) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = csv.find("\r\n", from)) != std::string::npos; from = at + 2) {
    lines.push_back(csv.substr(from, at - from));
  }
  return lines;
}

// --- the serial rules ---

TEST_F(LedgerTest, IssuesTheWantedValueAndOnlyOncePerPassedChip) {
  auto ledger = OpenOk();
  const JobId job = StartJob(*ledger, Job());
  EXPECT_EQ(Chip(*ledger, job, Value(0x1000), Outcome::Pass), "00001000");

  // The Writer did not move on (restart without Count): the next chip must not get 1000 again.
  const IssuedSerial again = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
  ASSERT_TRUE(again.status.ok) << again.status.error;
  EXPECT_EQ(again.value.digits, "00001001");
  EXPECT_EQ(again.entries, Value(0x1001));
  ASSERT_EQ(again.skipped.size(), 1U);
  EXPECT_EQ(again.skipped[0].digits, "00001000");
}

struct OutcomeCase {
  const char* name;
  Outcome first;
  const char* next;  // the value the next chip gets when the Writer offers the same one again
  std::size_t skipped;
};

TEST_F(LedgerTest, AFailedValueMayBeGivenAgainAnUnknownOneNever) {
  const OutcomeCase cases[] = {
      {"passed", Outcome::Pass, "00001001", 1},
      {"failed: the same value for the next chip", Outcome::Fail, "00001000", 0},
      {"unknown: skipped", Outcome::Unknown, "00001001", 1},
      {"no chip in the socket: the same value for the next chip", Outcome::NoChip, "00001000", 0},
      {"not run: the same value for the next chip", Outcome::NotRun, "00001000", 0},
  };
  for (const OutcomeCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto ledger = OpenOk();
    JobInfo info = Job();
    info.iniPath = program.WriteFile(std::string("images/") + c.name + ".INI", "");
    const JobId job = StartJob(*ledger, info);
    Chip(*ledger, job, Value(0x1000), c.first);
    const IssuedSerial next = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
    ASSERT_TRUE(next.status.ok) << next.status.error;
    EXPECT_EQ(next.value.digits, c.next);
    EXPECT_EQ(next.skipped.size(), c.skipped);
  }
}

TEST_F(LedgerTest, BothChipsOfAFailedValueAreOnRecord) {
  auto ledger = OpenOk();
  const JobId job = StartJob(*ledger, Job());
  Chip(*ledger, job, Value(0x1000), Outcome::Fail);
  Chip(*ledger, job, Value(0x1000), Outcome::Pass);
  const std::vector<std::string> lines = Lines(Export(*ledger));
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_NE(lines[1].find(",Auto Program,fail,00001000,1200,"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(",Auto Program,pass,00001000,1200,"), std::string::npos) << lines[2];
}

TEST_F(LedgerTest, ValuesAreKeptPerIniWhateverThePathSpelling) {
  auto ledger = OpenOk();
  const JobId job = StartJob(*ledger, Job());
  Chip(*ledger, job, Value(0x1000), Outcome::Pass);
  Chip(*ledger, job, Value(0x1005), Outcome::Fail);

  std::optional<SerialValue> highest;
  ASSERT_TRUE(ledger->HighestIssued(program.path() / "images" / ".." / "images" / "PART.INI", highest).ok);
  ASSERT_TRUE(highest.has_value());
  EXPECT_EQ(highest->digits, "00001005");  // any state counts: the next job starts above it
  ASSERT_TRUE(ledger->HighestIssued(program.path() / "images" / "OTHER.INI", highest).ok);
  EXPECT_FALSE(highest.has_value());

  // Another INI has values of its own.
  JobInfo other = Job();
  other.iniPath = program.WriteFile("images/OTHER.INI", "");
  const JobId otherJob = StartJob(*ledger, other);
  EXPECT_EQ(Chip(*ledger, otherJob, Value(0x1000), Outcome::Pass), "00001000");
}

TEST_F(LedgerTest, AZeroStepGivesEveryChipTheSameValue) {
  auto ledger = OpenOk();
  const JobId job = StartJob(*ledger, Job(Value(0)));
  EXPECT_EQ(Chip(*ledger, job, Value(0x1000), Outcome::Pass), "00001000");
  EXPECT_EQ(Chip(*ledger, job, Value(0x1000), Outcome::Pass), "00001000");
}

TEST_F(LedgerTest, RefusesWhenNoValueIsLeftOrTheJobHasNoRollingCode) {
  auto ledger = OpenOk();
  JobInfo info = Job();
  info.shape = RollingShape{1, true, false};
  const JobId job = StartJob(*ledger, info);
  Chip(*ledger, job, Value(0xFFFF), Outcome::Pass);
  const IssuedSerial wrapped = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0xFFFF));
  EXPECT_FALSE(wrapped.status.ok);
  EXPECT_EQ(wrapped.status.error, "no rolling value is left after FFFF");

  JobInfo plain = Job();
  plain.rollingOn = false;
  const JobId plainJob = StartJob(*ledger, plain);
  const IssuedSerial none = ledger->IssueSerial(plainJob, ActionKind::AutoProgram, Value(1));
  EXPECT_FALSE(none.status.ok);
  EXPECT_EQ(none.status.error, fmt::format("job {} has no rolling code", plainJob));
}

#ifndef _WIN32
TEST_F(LedgerTest, AValueIssuedBeforeAKillIsUnknownAfterTheNextOpenAndNeverGivenAgain) {
  JobId job = 0;
  {
    auto ledger = OpenOk();
    job = StartJob(*ledger, Job());
  }
  // The program is killed while the Writer programs the chip: no result, no close.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OpenedLedger opened = Open();
    const bool issued = opened.ledger && opened.ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000)).status.ok;
    if (issued) kill(getpid(), SIGKILL);
    _exit(1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child could not issue a value";

  OpenedLedger reopened = Open();
  ASSERT_TRUE(reopened.status.ok) << reopened.status.error;
  EXPECT_EQ(reopened.madeUnknown, std::vector<std::string>{"00001000"});
  const IssuedSerial next = reopened.ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
  ASSERT_TRUE(next.status.ok);
  EXPECT_EQ(next.value.digits, "00001001");
  const std::vector<std::string> lines = Lines(Export(*reopened.ledger));
  ASSERT_GE(lines.size(), 2U);
  EXPECT_NE(lines[1].find(",unknown,00001000,,no result: the program stopped before the Writer answered"),
            std::string::npos)
      << lines[1];
  // Its chip counts as done, of unknown outcome.
  CounterSet counters;
  ASSERT_TRUE(reopened.ledger->ReadCounters(job, counters).ok);
  EXPECT_EQ(counters.job.done, 1);
  EXPECT_EQ(counters.job.passed + counters.job.failed, 0);
}

// A value left open belongs to the program whose Writer lock its action names: while that lock
// is held (the program still runs), opening the record leaves it open; once no one holds it, or
// when the action names no lock (rows from before locks were kept), it is unknown.
TEST_F(LedgerTest, AValueLeftOpenStaysOpenWhileItsOwnersLockIsHeld) {
  JobId job = 0;
  const struct {
    const char* owner;
    const char* value;
  } issuers[] = {{"DLL-0.lock", "00001000"}, {"DLL-1.lock", "00001001"}, {"", "00001002"}};
  for (const auto& issuer : issuers) {
    // Each issuer runs beside the ones before it: their locks are held.
    LedgerOptions options;
    options.owner = issuer.owner;
    options.ownerHeld = [](std::string_view) { return true; };
    OpenedLedger opened = Open(options);
    ASSERT_TRUE(opened.status.ok) << opened.status.error;
    if (job == 0) job = StartJob(*opened.ledger, Job());
    // Closed with its chip under way: no result.
    const IssuedSerial issued = opened.ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
    ASSERT_TRUE(issued.status.ok) << issued.status.error;
    ASSERT_EQ(issued.value.digits, issuer.value);
  }
  EXPECT_EQ(testing::RecordRows(File(), "SELECT owner, open FROM actions ORDER BY id"),
            (std::vector<std::string>{"DLL-0.lock|1", "DLL-1.lock|1", "|1"}));

  std::vector<std::string> asked;
  LedgerOptions reader;
  reader.ownerHeld = [&asked](std::string_view owner) {
    asked.emplace_back(owner);
    return owner == "DLL-0.lock";
  };
  {
    OpenedLedger opened = Open(reader);
    ASSERT_TRUE(opened.status.ok) << opened.status.error;
    EXPECT_EQ(opened.madeUnknown, (std::vector<std::string>{"00001001", "00001002"}));
    EXPECT_EQ(asked, (std::vector<std::string>{"DLL-0.lock", "DLL-1.lock"}));
    EXPECT_EQ(testing::RecordRows(File(), "SELECT value, state FROM serials ORDER BY id"),
              (std::vector<std::string>{"00001000|issued", "00001001|unknown", "00001002|unknown"}));
    // The running program's value is never given to another chip.
    const IssuedSerial next = opened.ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
    ASSERT_TRUE(next.status.ok);
    EXPECT_EQ(next.value.digits, "00001003");
    ASSERT_TRUE(opened.ledger->FinishAction(next.action, Outcome::Pass, "PASS", 10).ok);
  }
  // Its program has ended: the value is unknown now.
  reader.ownerHeld = [](std::string_view) { return false; };
  OpenedLedger later = Open(reader);
  ASSERT_TRUE(later.status.ok) << later.status.error;
  EXPECT_EQ(later.madeUnknown, std::vector<std::string>{"00001000"});
  EXPECT_EQ(testing::RecordRows(File(), "SELECT count(*) FROM actions WHERE open = 1"), std::vector<std::string>{"0"});
}

TEST_F(LedgerTest, TwoProcessesOnOneFolderNeverIssueTheSameValue) {
  JobId job = 0;
  {
    auto ledger = OpenOk();
    job = StartJob(*ledger, Job());
  }
  constexpr int kChipsEach = 60;
  std::vector<pid_t> children;
  for (int n = 0; n < 2; ++n) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Each window's Writer offers the same values: they race for every one.
      LedgerOptions options;
      options.busyTimeoutMs = 10000;
      OpenedLedger opened = Open(options);
      std::ofstream out(program.path() / fmt::format("issued{}.txt", n));
      RollingWords wanted = Value(0x1000);
      for (int i = 0; opened.ledger && i < kChipsEach; ++i) {
        const IssuedSerial issued = opened.ledger->IssueSerial(job, ActionKind::AutoProgram, wanted);
        if (!issued.status.ok || !opened.ledger->FinishAction(issued.action, Outcome::Pass, "", 1).ok) _exit(2);
        out << issued.value.digits << '\n';
        wanted = issued.entries;
        wanted[0] += 1;
      }
      out.close();
      _exit(opened.ledger ? 0 : 3);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  std::set<std::string> values;
  std::size_t lines = 0;
  for (int n = 0; n < 2; ++n) {
    std::istringstream in(ReadFileBytes(program.path() / fmt::format("issued{}.txt", n)));
    for (std::string line; std::getline(in, line); ++lines) values.insert(line);
  }
  EXPECT_EQ(lines, 2U * kChipsEach);
  EXPECT_EQ(values.size(), lines) << "a value was issued twice";
}
#endif

// --- counters ---

TEST_F(LedgerTest, CountersOfTheJobAndOfTodayWithResetsThatDeleteNothing) {
  auto ledger = OpenOk();
  const JobId job = StartJob(*ledger, Job());
  Chip(*ledger, job, Value(0x1000), Outcome::Pass);
  Chip(*ledger, job, Value(0x1001), Outcome::Pass);
  Chip(*ledger, job, Value(0x1002), Outcome::Fail);
  Chip(*ledger, job, Value(0x1003), Outcome::Unknown);
  // Commands that program no chip are on record but not counted.
  ASSERT_TRUE(ledger->RecordAction(job, ActionKind::Verify, Outcome::Pass, "Verify OK", 300, std::nullopt).ok);
  // A chip programmed without a rolling value counts, with no serial.
  ASSERT_TRUE(ledger->RecordAction(job, ActionKind::Program, Outcome::Pass, "Program OK", 800, std::nullopt).ok);

  CounterSet counters;
  ASSERT_TRUE(ledger->ReadCounters(job, counters).ok);
  EXPECT_EQ(counters.job.done, 5);
  EXPECT_EQ(counters.job.passed, 3);
  EXPECT_EQ(counters.job.failed, 1);
  EXPECT_EQ(counters.job.unknown, 1);
  EXPECT_DOUBLE_EQ(counters.job.yieldPercent, 60.0);
  EXPECT_EQ(counters.job.lastSerial, "00001003");
  EXPECT_EQ(counters.today.done, 5);

  ASSERT_TRUE(ledger->ResetCounters(job).ok);
  ASSERT_TRUE(ledger->ReadCounters(job, counters).ok);
  EXPECT_EQ(counters.job.done, 0);
  EXPECT_EQ(counters.job.lastSerial, "");
  EXPECT_DOUBLE_EQ(counters.job.yieldPercent, 0.0);
  EXPECT_EQ(counters.today.done, 0);
  Chip(*ledger, job, Value(0x1004), Outcome::Pass);
  ASSERT_TRUE(ledger->ReadCounters(job, counters).ok);
  EXPECT_EQ(counters.job.done, 1);
  EXPECT_EQ(counters.job.passed, 1);
  EXPECT_EQ(counters.job.lastSerial, "00001004");
  EXPECT_EQ(counters.today.passed, 1);
  // Nothing was deleted.
  EXPECT_EQ(Lines(Export(*ledger)).size(), 1U + 7U);

  // The next day: today's counters start from zero, the job's go on; a second job counts apart.
  clock.now += hours{24};
  ASSERT_TRUE(ledger->ReadCounters(job, counters).ok);
  EXPECT_EQ(counters.today.done, 0);
  EXPECT_EQ(counters.today.lastSerial, "");
  EXPECT_EQ(counters.job.done, 1);
  const JobId second = StartJob(*ledger, Job());
  Chip(*ledger, second, Value(0x2000), Outcome::Fail);
  ASSERT_TRUE(ledger->ReadCounters(job, counters).ok);
  EXPECT_EQ(counters.job.done, 1);
  EXPECT_EQ(counters.today.done, 1);
  EXPECT_EQ(counters.today.failed, 1);
  EXPECT_EQ(counters.today.lastSerial, "00002000");
}

// An action that reached no chip: on record as such, counted nowhere, its value free again and
// the Writer's value where it was; the last serial is a finished chip's, never one under way.
TEST_F(LedgerTest, AnActionThatReachedNoChipCountsNowhereAndFreesItsValue) {
  const std::pair<Outcome, const char*> cases[] = {{Outcome::NoChip, "no chip"}, {Outcome::NotRun, "not run"}};
  for (const auto& [outcome, result] : cases) {
    SCOPED_TRACE(result);
    auto ledger = OpenOk();
    JobInfo info = Job();
    info.iniPath = program.WriteFile(std::string("images/") + result + ".INI", "");
    const JobId job = StartJob(*ledger, info);
    Chip(*ledger, job, Value(0x1000), Outcome::Pass);
    const IssuedSerial open = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1001));
    ASSERT_TRUE(open.status.ok) << open.status.error;
    CounterSet counters;
    ASSERT_TRUE(ledger->ReadCounters(job, counters).ok);
    EXPECT_EQ(counters.job.lastSerial, "00001000") << "a value under way is no chip's yet";
    ASSERT_TRUE(ledger->FinishAction(open.action, outcome, "No IC in socket !!", 40).ok);

    ASSERT_TRUE(ledger->ReadCounters(job, counters).ok);
    EXPECT_EQ(counters.job.done, 1);
    EXPECT_EQ(counters.job.passed, 1);
    EXPECT_EQ(counters.job.failed, 0);
    EXPECT_EQ(counters.job.unknown, 0);
    EXPECT_EQ(counters.job.lastSerial, "00001000");
    EXPECT_EQ(counters.today.unknown, 0);
    // The Writer still holds the value: a read-back of it finds nothing used on its own.
    WriterObservation seen;
    ASSERT_TRUE(ledger->ObserveWriterValue(job, info.iniPath, kShape, Value(0x1001), seen).ok);
    EXPECT_EQ(seen.standaloneCount, 0);
    EXPECT_FALSE(seen.usedUpTo.has_value());
    // The next chip gets the same value, passed over by nothing.
    const IssuedSerial next = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1001));
    ASSERT_TRUE(next.status.ok) << next.status.error;
    EXPECT_EQ(next.value.digits, "00001001");
    EXPECT_TRUE(next.skipped.empty());
    ASSERT_TRUE(ledger->FinishAction(next.action, Outcome::Pass, "Auto Program OK", 900).ok);
    const std::vector<std::string> lines = Lines(Export(*ledger, ExportScope::Job, job));
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_NE(lines[2].find(fmt::format(",Auto Program,{},00001001,40,", result)), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find(",Auto Program,pass,00001001,900,"), std::string::npos) << lines[3];
  }
}

// Should the Writer have programmed a chip after all with a value the record holds unused, the
// next read-back finds the Writer past it: the value goes on record as used on its own.
TEST_F(LedgerTest, AValueLeftUnusedThatTheWriterUsedAfterAllIsFoundAtTheNextReadBack) {
  auto ledger = OpenOk();
  const JobId job = StartJob(*ledger, Job());
  const IssuedSerial issued = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
  ASSERT_TRUE(issued.status.ok) << issued.status.error;
  ASSERT_TRUE(ledger->FinishAction(issued.action, Outcome::NotRun, "USB write data fail !!!", 0).ok);
  WriterObservation seen;
  ASSERT_TRUE(ledger->ObserveWriterValue(job, ini, kShape, Value(0x1001), seen).ok);
  EXPECT_EQ(seen.standaloneCount, 1);
  EXPECT_EQ(seen.standaloneFirst.digits, "00001000");
  const IssuedSerial next = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
  ASSERT_TRUE(next.status.ok) << next.status.error;
  EXPECT_EQ(next.value.digits, "00001001");
}

// --- export ---

TEST_F(LedgerTest, ExportIsRfc4180WithIsoTimesAndOneRowPerAction) {
  auto ledger = OpenOk();
  JobInfo info = Job();
  info.imagePath = program.path() / "images" / "产品,A.VX3";
  const JobId job = StartJob(*ledger, info);
  const IssuedSerial issued = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
  ASSERT_TRUE(issued.status.ok);
  ASSERT_TRUE(ledger->FinishAction(issued.action, Outcome::Fail, "Verify fail at 0010\r\nsaid \"no\"", 2500).ok);
  ASSERT_TRUE(ledger->RecordAction(job, ActionKind::Read, Outcome::Pass, std::string("bad \xFF byte"), 40, std::nullopt).ok);

  const std::string csv = Export(*ledger);
  const std::vector<std::string> lines = Lines(csv);
  // The header, the first action over two lines (its message holds a line break), the second.
  ASSERT_EQ(lines.size(), 4U) << csv;
  EXPECT_EQ(lines[0],
            "action_id,time_local,time_utc,station,job_id,device,image_path,action,result,rolling_value,duration_ms,"
            "message");
  const std::string image = (program.path() / "images" / "产品,A.VX3").string();
  const std::regex local(R"(2026-12-05T\d\d:\d\d:\d\d\.000[+-]\d\d:\d\d)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(lines[1], m, std::regex("^1,([^,]+),")));
  EXPECT_TRUE(std::regex_match(m[1].str(), local)) << m[1];
  EXPECT_EQ(lines[1].substr(static_cast<std::size_t>(m[0].length())),
            "2026-12-05T12:00:00.000Z,BENCH-1," + std::to_string(job) + ",VX3P1040,\"" + image +
                "\",Auto Program,fail,00001000,2500,\"Verify fail at 0010");
  EXPECT_EQ(lines[2], "said \"\"no\"\"\"");
  // A byte that is no UTF-8 is exported as U+FFFD; a command without a value has an empty one.
  ASSERT_TRUE(std::regex_search(lines[3], m, std::regex("^2,([^,]+),")));
  EXPECT_EQ(lines[3].substr(static_cast<std::size_t>(m[0].length())),
            "2026-12-05T12:00:00.000Z,BENCH-1," + std::to_string(job) + ",VX3P1040,\"" + image +
                "\",Read,pass,,40,bad \xEF\xBF\xBD byte");
  EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
}

TEST_F(LedgerTest, ExportsAJobTodayOrEverything) {
  auto ledger = OpenOk();
  const JobId first = StartJob(*ledger, Job());
  Chip(*ledger, first, Value(0x1000), Outcome::Pass);
  clock.now += hours{24};
  const JobId second = StartJob(*ledger, Job());
  Chip(*ledger, second, Value(0x1001), Outcome::Pass);
  Chip(*ledger, second, Value(0x1002), Outcome::Pass);

  struct ScopeCase {
    ExportScope scope;
    JobId job;
    std::size_t rows;
  };
  for (const ScopeCase& c : {ScopeCase{ExportScope::All, 0, 3}, ScopeCase{ExportScope::Job, first, 1},
                             ScopeCase{ExportScope::Job, second, 2}, ScopeCase{ExportScope::Today, first, 2}}) {
    EXPECT_EQ(Lines(Export(*ledger, c.scope, c.job)).size(), 1 + c.rows);
  }
  const LedgerStatus nowhere = ledger->ExportCsv(ExportScope::All, 0, program.path() / "no" / "such" / "x.csv");
  EXPECT_FALSE(nowhere.ok);
  EXPECT_NE(nowhere.error.find("the export file cannot be made"), std::string::npos);
}

// --- the file ---

TEST_F(LedgerTest, TheFileIsWalWithASchemaVersionAndTheStationFromItsSettings) {
  program.WriteFile("Writer_Log/production.ini", "[Production]\nStation=Line 3 站\n");
  LedgerOptions options;
  options.station = "";
  options.vfsName = kFaultVfs;
  OpenedLedger opened = OpenSqliteLedger(program.path(), clock, options);
  ASSERT_TRUE(opened.status.ok) << opened.status.error;
  StartJob(*opened.ledger, Job());
  opened.ledger.reset();  // the last close folds the log into the file
  const std::string header = ReadFileBytes(File()).substr(0, 100);
  ASSERT_EQ(header.size(), 100U);
  EXPECT_EQ(header.substr(0, 16), std::string("SQLite format 3\0", 16));
  EXPECT_EQ(header[18], 2) << "WAL";
  EXPECT_EQ(header.substr(60, 4), std::string("\0\0\0", 3) + static_cast<char>(kLedgerSchemaVersion))
      << "version " << kLedgerSchemaVersion;
  EXPECT_EQ(StationName(program.path() / "Writer_Log", ""), "Line 3 站");
  EXPECT_EQ(StationName(program.path() / "Writer_Log", "given"), "given");
  EXPECT_FALSE(StationName(program.path() / "elsewhere", "").empty()) << "the host name";
}

struct DamageCase {
  const char* name;
  bool truncate;  // else overwritten with text
};

TEST_F(LedgerTest, ADamagedFileIsKeptAsideAndANewRecordStarted) {
  for (const DamageCase& c : {DamageCase{"not a database", false}, DamageCase{"truncated", true}}) {
    SCOPED_TRACE(c.name);
    {
      auto ledger = OpenOk();
      const JobId job = StartJob(*ledger, Job());
      for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(ledger->RecordAction(job, ActionKind::Verify, Outcome::Pass, std::string(500, 'x'), 1, std::nullopt).ok);
      }
    }
    std::string bytes = ReadFileBytes(File());
    ASSERT_GT(bytes.size(), 40000U);
    bytes = c.truncate ? bytes.substr(0, bytes.size() / 2) : std::string(8192, 'x');
    program.WriteFile(fs::relative(File(), program.path()), bytes);

    OpenedLedger opened = Open();
    ASSERT_TRUE(opened.status.ok) << opened.status.error;
    ASSERT_FALSE(opened.keptAside.empty());
    EXPECT_EQ(opened.keptAside.parent_path(), File().parent_path());
    EXPECT_EQ(opened.keptAside.filename().string().rfind("production.db.damaged-20261205-", 0), 0U)
        << opened.keptAside;
    EXPECT_EQ(ReadFileBytes(opened.keptAside), bytes);
    // The new record works and is empty.
    const JobId job = StartJob(*opened.ledger, Job());
    EXPECT_EQ(job, 1);
    EXPECT_EQ(Chip(*opened.ledger, job, Value(0x1000), Outcome::Pass), "00001000");
    opened.ledger.reset();
    fs::remove(File());
  }
}

struct RefusedFileCase {
  const char* name;
  std::string sql;
  std::string error;
};

TEST_F(LedgerTest, AFileOfANewerVersionOrOfAnotherProgramIsLeftAsItIs) {
  const RefusedFileCase cases[] = {
      {"newer",
       fmt::format("PRAGMA application_id={}; PRAGMA user_version={}; CREATE TABLE later(x);", kLedgerApplicationId,
                   kLedgerSchemaVersion + 1),
       fmt::format("the record file was made by a newer version of this program (record version {}, this version "
                   "reads up to {})",
                   kLedgerSchemaVersion + 1, kLedgerSchemaVersion)},
      {"another program's", "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);",
       "is not a production record of this program"},

  };
  for (const RefusedFileCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(File().parent_path());
    {
      RawDb raw(File());
      ASSERT_EQ(raw.Exec(c.sql.c_str()), SQLITE_OK);
    }
    const std::string before = ReadFileBytes(File());
    OpenedLedger opened = Open();
    EXPECT_FALSE(opened.ledger);
    EXPECT_NE(opened.status.error.find(c.error), std::string::npos) << opened.status.error;
    EXPECT_TRUE(opened.keptAside.empty());
    EXPECT_EQ(ReadFileBytes(File()), before);
    fs::remove(File());
  }
}

TEST_F(LedgerTest, AFileOfThisVersionWithoutItsTablesSaysWhatIsMissing) {
  fs::create_directories(File().parent_path());
  {
    RawDb raw(File());
    const std::string sql = fmt::format("PRAGMA application_id={}; PRAGMA user_version={}; CREATE TABLE later(x);",
                                        kLedgerApplicationId, kLedgerSchemaVersion);
    ASSERT_EQ(raw.Exec(sql.c_str()), SQLITE_OK);
  }
  OpenedLedger opened = Open();
  EXPECT_FALSE(opened.ledger);
  // The reason is the one SQLite gave, not a message reset by giving up the transaction.
  EXPECT_EQ(opened.status.error, "no such table: outbox_state (" + File().string() + ")");
  EXPECT_TRUE(opened.keptAside.empty());
  RawDb raw(File());
  EXPECT_EQ(raw.Text("SELECT name FROM sqlite_master"), "later");
}

TEST_F(LedgerTest, AFileLockedByAnotherProgramIssuesNothingUntilItIsFree) {
  auto ledger = [&] {
    LedgerOptions options;
    options.busyTimeoutMs = 50;
    OpenedLedger opened = Open(options);
    EXPECT_TRUE(opened.status.ok) << opened.status.error;
    return std::move(opened.ledger);
  }();
  const JobId job = StartJob(*ledger, Job());
  {
    RawDb other(File());
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    const IssuedSerial issued = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
    EXPECT_FALSE(issued.status.ok);
    EXPECT_EQ(issued.status.error,
              "the record file is locked by another program (" + File().string() + ")");
    ASSERT_EQ(other.Exec("ROLLBACK"), SQLITE_OK);
  }
  std::optional<SerialValue> highest;
  ASSERT_TRUE(ledger->HighestIssued(ini, highest).ok);
  EXPECT_FALSE(highest.has_value());
  EXPECT_EQ(Chip(*ledger, job, Value(0x1000), Outcome::Pass), "00001000");
}

struct WriteFaultCase {
  const char* name;
  std::atomic<bool>* fault;
  const char* error;
};

TEST_F(LedgerTest, AFullDiskOrAFailedSyncIssuesNothingAndTheRecordGoesOnAfterwards) {
  const WriteFaultCase cases[] = {
      {"full disk", &Faults::diskFull, "the disk is full ("},
      {"sync fails", &Faults::syncFails, "the record file cannot be written to disk ("},
  };
  for (const WriteFaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto ledger = OpenOk();
    JobInfo info = Job();
    info.iniPath = program.WriteFile(std::string("images/") + c.name + ".INI", "");
    const JobId job = StartJob(*ledger, info);
    *c.fault = true;
    const IssuedSerial issued = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
    *c.fault = false;
    EXPECT_FALSE(issued.status.ok);
    EXPECT_EQ(issued.status.error.rfind(c.error, 0), 0U) << issued.status.error;
    EXPECT_NE(issued.status.error.find(File().string()), std::string::npos);
    EXPECT_EQ(Chip(*ledger, job, Value(0x1000), Outcome::Pass), "00001000");
  }
}

TEST_F(LedgerTest, AReadOnlyRecordIsRefusedClearly) {
  {
    auto ledger = OpenOk();
    StartJob(*ledger, Job());
  }
  Faults::readOnly = true;
  OpenedLedger opened = Open();
  EXPECT_FALSE(opened.ledger);
  EXPECT_EQ(opened.status.error.rfind("the record file cannot be ", 0), 0U) << opened.status.error;
  EXPECT_TRUE(opened.keptAside.empty());
  // A read-only folder where no record exists yet: nothing can be made.
  fs::remove_all(File().parent_path());
  opened = Open();
  EXPECT_FALSE(opened.ledger);
  EXPECT_EQ(opened.status.error, "the record file cannot be opened or made (" + File().string() + ")");
}


// --- the end of a station's block ---

struct LimitCase {
  const char* name;
  std::vector<std::uint32_t> passed;  // chips that passed with these values before
  std::uint32_t wanted;
  const char* issued;  // nullptr: the first free value is past the limit and nothing is issued
  std::vector<std::string> skipped;
  const char* withoutLimit;  // what the same issue gives afterwards with no limit
};

TEST_F(LedgerTest, AFirstFreeValuePastTheBlocksEndIsNotIssued) {
  const SerialValue limit = MakeSerialValue(Value(0x1005), kShape);
  const LimitCase cases[] = {
      {"within the block", {}, 0x1003, "00001003", {}, "00001004"},
      {"exactly at the limit", {}, 0x1005, "00001005", {}, "00001006"},
      {"taken values skipped up to the limit", {0x1003, 0x1004}, 0x1003, "00001005", {"00001003", "00001004"},
       "00001006"},
      {"wanted above the limit", {}, 0x1006, nullptr, {}, "00001006"},
      {"skipping carries it past the limit", {0x1004, 0x1005}, 0x1004, nullptr, {"00001004", "00001005"}, "00001006"},
  };
  auto ledger = OpenOk();
  int n = 0;
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    JobInfo info = Job();
    info.iniPath = program.WriteFile(fmt::format("images/LIMIT{}.INI", ++n), "");
    const JobId job = StartJob(*ledger, info);
    for (const std::uint32_t value : c.passed) Chip(*ledger, job, Value(value), Outcome::Pass);

    const IssuedSerial issued = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(c.wanted), limit);
    ASSERT_TRUE(issued.status.ok) << issued.status.error;
    std::vector<std::string> skipped;
    for (const SerialValue& value : issued.skipped) skipped.push_back(value.digits);
    EXPECT_EQ(skipped, c.skipped);
    std::optional<SerialValue> highest;
    ASSERT_TRUE(ledger->HighestIssued(info.iniPath, highest).ok);
    if (c.issued != nullptr) {
      EXPECT_FALSE(issued.pastLimit);
      EXPECT_NE(issued.action, 0);
      EXPECT_EQ(issued.value.digits, c.issued);
      EXPECT_EQ(MakeSerialValue(issued.entries, kShape).digits, c.issued);
      ASSERT_TRUE(highest.has_value());
      EXPECT_EQ(highest->digits, c.issued);
      ASSERT_TRUE(ledger->FinishAction(issued.action, Outcome::Pass, "Auto Program OK", 1200).ok);
    } else {
      // No action row and no value: the record is as it was before the issue.
      EXPECT_TRUE(issued.pastLimit);
      EXPECT_EQ(issued.action, 0);
      EXPECT_TRUE(issued.value.digits.empty()) << issued.value.digits;
      if (c.passed.empty()) {
        EXPECT_FALSE(highest.has_value());
      } else {
        ASSERT_TRUE(highest.has_value());
        EXPECT_EQ(highest->digits, MakeSerialValue(Value(c.passed.back()), kShape).digits);
      }
    }
    const std::size_t chips = c.passed.size() + (c.issued != nullptr ? 1 : 0);
    EXPECT_EQ(Lines(Export(*ledger, ExportScope::Job, job)).size(), 1 + chips);
    CounterSet counters;
    ASSERT_TRUE(ledger->ReadCounters(job, counters).ok);
    EXPECT_EQ(counters.job.done, static_cast<std::int64_t>(chips));
    // The values passed over were not taken by the refused issue.
    const IssuedSerial next = ledger->IssueSerial(job, ActionKind::AutoProgram, Value(c.wanted));
    ASSERT_TRUE(next.status.ok) << next.status.error;
    EXPECT_FALSE(next.pastLimit);
    EXPECT_EQ(next.value.digits, c.withoutLimit);
  }
}

// --- the station's blocks of a series ---

constexpr std::string_view kSeries = "remote-433";

// A held block in one line, so that a difference shows every field.
std::string Describe(const std::optional<HeldBlock>& held) {
  if (!held) return "none";
  return fmt::format("#{} {} server {} {}+{} used {} {}", held->localId, held->series, held->block.id,
                     held->block.first, held->block.span, held->used, BlockStateName(held->state));
}

class BlocksTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    ledger = OpenOk();
    ASSERT_TRUE(ledger);
    blocks = ledger->Blocks();
    ASSERT_NE(blocks, nullptr);
  }

  std::int64_t beyondRow = 0;  // the row RecordBeyond made last

  HeldBlock Add(const ReservedBlock& block, std::string_view series = kSeries) {
    HeldBlock held;
    const LedgerStatus added = blocks->AddBlock(series, block, held);
    EXPECT_TRUE(added.ok) << added.error;
    return held;
  }
  std::optional<HeldBlock> Latest(std::string_view series = kSeries) {
    std::optional<HeldBlock> held;
    const LedgerStatus read = blocks->LatestBlock(series, held);
    EXPECT_TRUE(read.ok) << read.error;
    return held;
  }
  // A row of the record's blocks as the file holds it: state, used and note.
  std::string Row(std::int64_t localId) {
    RawDb raw(File());
    return raw.Text(fmt::format("SELECT state || ' ' || used || ' ' || note FROM blocks WHERE id = {}", localId));
  }

  std::unique_ptr<ProductionLedger> ledger;
  StationBlocks* blocks = nullptr;
};

TEST_F(BlocksTest, ANewBlockIsTheLatestAndTheOpenOneBeforeItIsUsedUp) {
  EXPECT_EQ(Describe(Latest()), "none");
  const HeldBlock first = Add({7, 0x1000, 100});
  EXPECT_GT(first.localId, 0);
  EXPECT_EQ(Describe(first), fmt::format("#{} remote-433 server 7 4096+100 used 0 open", first.localId));
  EXPECT_EQ(first.Last(), 0x1000 + 99);
  EXPECT_TRUE(first.Holds(0x1063));
  EXPECT_FALSE(first.Holds(0x1064));
  EXPECT_EQ(Describe(Latest()), Describe(first));
  // Another series' block is its own and stays open.
  const HeldBlock other = Add({8, 1, 10}, "remote-868");
  EXPECT_EQ(Describe(Latest()), Describe(first));
  EXPECT_EQ(Describe(Latest("remote-868")), Describe(other));

  ASSERT_TRUE(blocks->MarkUsed(first.localId, 40).ok);
  const HeldBlock second = Add({9, 0x1064, 50});
  EXPECT_NE(second.localId, first.localId);
  EXPECT_EQ(Describe(Latest()), fmt::format("#{} remote-433 server 9 4196+50 used 0 open", second.localId));
  // The block before is used to its end: no value of it is given any more.
  EXPECT_EQ(Row(first.localId), "used 100 ");
  EXPECT_EQ(Row(other.localId), "open 0 ");
  // Also after the record is opened again.
  ledger.reset();
  SetUp();
  EXPECT_EQ(Describe(Latest()), Describe(second));
}

struct MarkCase {
  const char* name;
  std::int64_t mark;
  std::int64_t used;  // afterwards
};

TEST_F(BlocksTest, UsedOnlyGrowsAndStopsAtTheBlocksSpan) {
  const HeldBlock held = Add({7, 0x1000, 100});
  const MarkCase cases[] = {
      {"first values", 10, 10},    {"lower: kept", 5, 10},       {"the same", 10, 10},
      {"one short of the end", 99, 99}, {"the whole block", 100, 100}, {"past the end: capped", 150, 100},
      {"negative: kept", -1, 100},
  };
  for (const MarkCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(blocks->MarkUsed(held.localId, c.mark).ok);
    const std::optional<HeldBlock> latest = Latest();
    ASSERT_TRUE(latest.has_value());
    EXPECT_EQ(latest->used, c.used);
    EXPECT_EQ(latest->state, BlockState::Open);
  }
  // Another block's mark, or one that is no row at all, changes nothing here.
  ASSERT_TRUE(blocks->MarkUsed(held.localId + 100, 1).ok);
  EXPECT_EQ(Row(held.localId), "open 100 ");
}

TEST_F(BlocksTest, AReturnedBlockKeepsWhatWasUsedAndOnlyAnOpenBlockIsReturned) {
  const HeldBlock first = Add({7, 0x1000, 100});
  ASSERT_TRUE(blocks->MarkUsed(first.localId, 30).ok);
  // A return never counts fewer values than were given.
  ASSERT_TRUE(blocks->ReturnBlock(first.localId, 20, "job ended").ok);
  std::optional<HeldBlock> latest = Latest();
  ASSERT_TRUE(latest.has_value());
  EXPECT_EQ(latest->state, BlockState::Returned);
  EXPECT_EQ(latest->used, 30);
  EXPECT_EQ(Row(first.localId), "returned 30 job ended");
  // Returned is final: neither another return nor a mark moves it.
  ASSERT_TRUE(blocks->ReturnBlock(first.localId, 60, "again").ok);
  ASSERT_TRUE(blocks->MarkUsed(first.localId, 70).ok);
  EXPECT_EQ(Row(first.localId), "returned 30 job ended");

  // A block used up by the next one is left as it is.
  const HeldBlock second = Add({8, 0x1064, 100});
  const HeldBlock third = Add({9, 0x10C8, 100});
  ASSERT_TRUE(blocks->ReturnBlock(second.localId, 5, "station closed").ok);
  EXPECT_EQ(Row(second.localId), "used 100 ");
  // The open one: the values up to `used` were given (capped at the span), the note kept as
  // valid text.
  ASSERT_TRUE(blocks->ReturnBlock(third.localId, 250, "closed \xFF here").ok);
  EXPECT_EQ(Row(third.localId), "returned 100 closed \xEF\xBF\xBD here");
}

TEST_F(BlocksTest, ValuesTheWriterUsedBeyondABlockAreNeverTheLatestBlock) {
  ASSERT_TRUE(blocks->RecordBeyond(kSeries, 0x2000, 5, "the Writer went on", beyondRow).ok);
  EXPECT_EQ(Describe(Latest()), "none");
  const HeldBlock held = Add({7, 0x1000, 100});
  ASSERT_TRUE(blocks->RecordBeyond(kSeries, 0x1064, 3, "the Writer went on", beyondRow).ok);
  EXPECT_EQ(Describe(Latest()), Describe(held));
  // A new block does not take a beyond row for an open block, and the rows say what was used.
  Add({8, 0x1067, 100});
  RawDb raw(File());
  EXPECT_EQ(raw.Texts("SELECT state || ' ' || server_id || ' ' || first_value || '+' || span || ' used ' || used ||"
                      " ' ' || note FROM blocks WHERE state = 'beyond' ORDER BY id"),
            (std::vector<std::string>{"beyond 0 8192+5 used 5 the Writer went on",
                                      "beyond 0 4196+3 used 3 the Writer went on"}));
}

TEST_F(BlocksTest, BlocksReachTheOutboxOnceTheStationQueues) {
  LedgerOutbox* outbox = ledger->Outbox();
  ASSERT_NE(outbox, nullptr);
  const HeldBlock first = Add({7, 0x1000, 100});
  ASSERT_TRUE(blocks->MarkUsed(first.localId, 3).ok);
  std::int64_t queued = -1;
  ASSERT_TRUE(outbox->QueuedCount(queued).ok);
  EXPECT_EQ(queued, 0);

  ASSERT_TRUE(outbox->StartQueueing().ok);
  ASSERT_TRUE(blocks->MarkUsed(first.localId, 7).ok);
  ASSERT_TRUE(blocks->RecordBeyond(kSeries, 0x2000, 2, "the Writer went on", beyondRow).ok);
  const HeldBlock second = Add({8, 0x1064, 50});
  ASSERT_TRUE(blocks->ReturnBlock(second.localId, 4, "job ended").ok);

  std::vector<OutboxRow> rows;
  ASSERT_TRUE(outbox->ReadQueued(100, rows).ok);
  struct Expected {
    const char* table;
    std::int64_t rowId;
    std::vector<std::string> fields;
  };
  const Expected expected[] = {
      // The record so far, then every write in its order.
      {"blocks", first.localId,
       {R"("series":"remote-433")", R"("server_id":7)", R"("first_value":4096)", R"("span":100)", R"("used":3)",
        R"("state":"open")"}},
      {"blocks", first.localId, {R"("used":7)", R"("state":"open")"}},
      {"blocks", first.localId + 1, {R"("first_value":8192)", R"("used":2)", R"("state":"beyond")",
                                     R"("note":"the Writer went on")"}},
      {"blocks", first.localId, {R"("used":100)", R"("state":"used")"}},
      {"blocks", second.localId, {R"("server_id":8)", R"("used":0)", R"("state":"open")"}},
      {"blocks", second.localId, {R"("used":4)", R"("state":"returned")", R"("note":"job ended")"}},
  };
  ASSERT_EQ(rows.size(), std::size(expected));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].row);
    EXPECT_EQ(rows[i].table, expected[i].table);
    EXPECT_EQ(rows[i].rowId, expected[i].rowId);
    for (const std::string& field : expected[i].fields) EXPECT_NE(rows[i].row.find(field), std::string::npos) << field;
    if (i > 0) {
      EXPECT_LT(rows[i - 1].seq, rows[i].seq);
    }
  }
}

// --- the record's token ---

TEST_F(LedgerTest, TheRecordsTokenIsMadeOnceAndIsItsOwn) {
  std::string token;
  {
    auto ledger = OpenOk();
    ASSERT_TRUE(ledger->Blocks()->StationToken(token).ok);
    std::string again;
    ASSERT_TRUE(ledger->Blocks()->StationToken(again).ok);
    EXPECT_EQ(again, token);
  }
  EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{32}"))) << token;
  {
    auto ledger = OpenOk();
    std::string reopened;
    ASSERT_TRUE(ledger->Blocks()->StationToken(reopened).ok);
    EXPECT_EQ(reopened, token);
  }
  // Another record, even of the same station name, has a token of its own.
  TempDir otherProgram;
  OpenedLedger other = OpenSqliteLedger(otherProgram.path(), clock, LedgerOptions{.station = "BENCH-1", .busyTimeoutMs = 2000, .vfsName = {}, .machineId = {}, .owner = {}, .ownerHeld = {}});
  ASSERT_TRUE(other.status.ok) << other.status.error;
  std::string otherToken;
  ASSERT_TRUE(other.ledger->Blocks()->StationToken(otherToken).ok);
  EXPECT_TRUE(std::regex_match(otherToken, std::regex("[0-9a-f]{32}"))) << otherToken;
  EXPECT_NE(otherToken, token);
}

// --- a record copied from another PC or folder ---

// The key the record keeps of its own file: its absolute path, as a rolling INI's is kept.
std::string PathKeyOf(const fs::path& file) { return fs::weakly_canonical(fs::absolute(file)).string(); }

class CopiedRecordTest : public LedgerTest {
 protected:
  // The program folder copied elsewhere, as `cp -a` copies it (the record's logs folded in
  // first: the copy is of a closed program).
  fs::path CopyProgramFolder() {
    const fs::path target = copies.path() / "Copied station";
    fs::copy(program.path(), target, fs::copy_options::recursive);
    return target;
  }
  OpenedLedger OpenAt(const fs::path& folder, const std::string& machine = kHereMachine) {
    return OpenSqliteLedger(folder, clock, LedgerOptions{.station = "BENCH-1", .busyTimeoutMs = 2000, .vfsName = {},
                                                         .machineId = machine, .owner = {}, .ownerHeld = {}});
  }
  std::string HomeOf(const fs::path& folder) {
    RawDb raw(folder / kLedgerFolder / kLedgerFileName);
    return raw.Text("SELECT machine_id || ' ' || record_path FROM outbox_state");
  }
  std::string TokenOf(const fs::path& folder) {
    RawDb raw(folder / kLedgerFolder / kLedgerFileName);
    return raw.Text("SELECT station_token FROM outbox_state");
  }

  TempDir copies;
};

TEST_F(CopiedRecordTest, ARecordMadeHereKeepsThisMachineAndItsPathAsItsHome) {
  {
    OpenedLedger opened = Open();
    ASSERT_TRUE(opened.status.ok) << opened.status.error;
    EXPECT_EQ(opened.copiedFrom, "");
  }
  EXPECT_EQ(HomeOf(program.path()), std::string(kHereMachine) + " " + PathKeyOf(File()));
  // Opened again here, by another spelling of the same folder too, it is at home.
  OpenedLedger again = OpenSqliteLedger(program.path() / "images" / "..", clock,
                                        LedgerOptions{.station = "BENCH-1", .busyTimeoutMs = 2000, .vfsName = {},
                                                      .machineId = kHereMachine, .owner = {}, .ownerHeld = {}});
  ASSERT_TRUE(again.status.ok) << again.status.error;
  EXPECT_EQ(again.copiedFrom, "");
  const JobId job = StartJob(*again.ledger, Job());
  EXPECT_EQ(Chip(*again.ledger, job, Value(0x1000), Outcome::Pass), "00001000");
}

TEST_F(CopiedRecordTest, ACopyOpensForItsHistoryButIssuesAndSendsNothing) {
  JobId job = 0;
  {
    auto original = OpenOk();
    job = StartJob(*original, Job());
    Chip(*original, job, Value(0x1000), Outcome::Pass);
    Chip(*original, job, Value(0x1001), Outcome::Fail);
  }
  const fs::path copy = CopyProgramFolder();
  OpenedLedger opened = OpenAt(copy);
  ASSERT_TRUE(opened.status.ok) << opened.status.error;
  const std::string where = fmt::format("made on machine 01234567... at {}", PathKeyOf(File()));
  EXPECT_EQ(opened.copiedFrom, where);
  ProductionLedger& ledger = *opened.ledger;

  const IssuedSerial refused = ledger.IssueSerial(job, ActionKind::AutoProgram, Value(0x1002));
  EXPECT_FALSE(refused.status.ok);
  EXPECT_EQ(refused.status.error,
            fmt::format("the production record is a copy ({}): it issues no value until it is adopted as a new station",
                        where));
  EXPECT_EQ(refused.action, 0);
  std::string token;
  EXPECT_EQ(ledger.Blocks()->StationToken(token).error, refused.status.error);
  EXPECT_EQ(ledger.Outbox()->Token(token).error, refused.status.error);
  // Nothing was written for the refused value.
  {
    RawDb raw(copy / kLedgerFolder / kLedgerFileName);
    EXPECT_EQ(raw.Text("SELECT count(*) FROM serials"), "2");
  }
  // The history reads as it was.
  CounterSet counters;
  ASSERT_TRUE(ledger.ReadCounters(job, counters).ok);
  EXPECT_EQ(counters.job.done, 2);
  EXPECT_EQ(counters.job.passed, 1);
  EXPECT_EQ(Lines(Export(ledger)).size(), 3U);
  // The home stays the original's: a second open is a copy still, and the original is at home.
  EXPECT_EQ(HomeOf(copy), std::string(kHereMachine) + " " + PathKeyOf(File()));
  opened.ledger.reset();
  EXPECT_EQ(OpenAt(copy).copiedFrom, where);
  OpenedLedger original = OpenAt(program.path());
  EXPECT_EQ(original.copiedFrom, "");
  EXPECT_EQ(Chip(*original.ledger, job, Value(0x1002), Outcome::Pass), "00001002");
}

TEST_F(CopiedRecordTest, TheMachineAndThePathBothDecide) {
  struct Case {
    const char* name;
    std::string storedMachine;  // as the record keeps it
    bool storedHere;            // whether the record keeps this path
    std::string machine;        // the machine that opens it
    std::string copiedFrom;     // "": at home; else the words, with <path> for the stored path
    std::string homeAfter;      // the machine stored after the open
  };
  const std::string other = "fedcba9876543210fedcba9876543210";
  const Case cases[] = {
      {"same machine and path", kHereMachine, true, kHereMachine, "", kHereMachine},
      {"another machine", kHereMachine, true, other, "made on machine 01234567... at <path>", kHereMachine},
      {"another path", kHereMachine, false, kHereMachine, "made on machine 01234567... at <path>", kHereMachine},
      {"a short machine id is shown whole", "pc-7", true, kHereMachine, "made on machine pc-7 at <path>", "pc-7"},
      // A machine of no known identity is judged by the path, and this one becomes the home.
      {"unknown machine, same path", "", true, kHereMachine, "", kHereMachine},
      {"unknown machine, another path", "", false, kHereMachine, "made at <path>", ""},
  };
  const std::string oldPath = PathKeyOf(copies.path() / "old" / kLedgerFolder / kLedgerFileName);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(program.path() / kLedgerFolder);
    ASSERT_TRUE(Open().status.ok);
    const std::string storedPath = c.storedHere ? PathKeyOf(File()) : oldPath;
    {
      RawDb raw(File());
      const std::string set = fmt::format("UPDATE outbox_state SET machine_id = '{}', record_path = '{}'",
                                          c.storedMachine, storedPath);
      ASSERT_EQ(raw.Exec(set.c_str()), SQLITE_OK);
    }
    OpenedLedger opened = Open(LedgerOptions{.station = {}, .busyTimeoutMs = 2000, .vfsName = {}, .machineId = c.machine, .owner = {}, .ownerHeld = {}});
    ASSERT_TRUE(opened.status.ok) << opened.status.error;
    std::string expected = c.copiedFrom;
    if (const auto at = expected.find("<path>"); at != std::string::npos) expected.replace(at, 6, storedPath);
    EXPECT_EQ(opened.copiedFrom, expected);
    opened.ledger.reset();
    EXPECT_EQ(HomeOf(program.path()), c.homeAfter + " " + storedPath);
  }
}

TEST_F(CopiedRecordTest, AnAdoptedCopyIsANewStationThatNeverGivesTheOriginalsValues) {
  JobId job = 0;
  HeldBlock open;
  HeldBlock used;
  {
    auto original = OpenOk();
    job = StartJob(*original, Job());
    ASSERT_TRUE(original->Outbox()->StartQueueing().ok);
    Chip(*original, job, Value(0x1000), Outcome::Pass);
    ASSERT_TRUE(original->Blocks()->AddBlock(kSeries, {7, 0x1000, 4}, used).ok);
    ASSERT_TRUE(original->Blocks()->AddBlock(kSeries, {9, 0x2000, 100}, open).ok);
    ASSERT_TRUE(original->Blocks()->MarkUsed(open.localId, 3).ok);
    ASSERT_TRUE(original->Blocks()->AddBlock("other-series", {11, 0x5000, 10}, used).ok);
  }
  const std::string originalToken = TokenOf(program.path());
  const fs::path copy = CopyProgramFolder();
  OpenedLedger opened = OpenAt(copy, "fedcba9876543210fedcba9876543210");
  ASSERT_FALSE(opened.copiedFrom.empty());
  ProductionLedger& ledger = *opened.ledger;
  std::int64_t queued = 0;
  ASSERT_TRUE(ledger.Outbox()->QueuedCount(queued).ok);
  ASSERT_GT(queued, 0);

  const LedgerStatus adopted = ledger.Adopt("BENCH-2");
  ASSERT_TRUE(adopted.ok) << adopted.error;
  std::string token;
  ASSERT_TRUE(ledger.Blocks()->StationToken(token).ok);
  EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{32}"))) << token;
  EXPECT_NE(token, originalToken);
  ASSERT_TRUE(ledger.Outbox()->QueuedCount(queued).ok);
  EXPECT_EQ(queued, 0);
  EXPECT_EQ(ledger.Outbox()->Station(), "BENCH-2");
  EXPECT_EQ(platform::ReadProfileString(copy / kLedgerFolder / kStationSettingsFileName, kStationSection, kStationKey),
            std::optional<std::string>("BENCH-2"));
  EXPECT_EQ(HomeOf(copy), "fedcba9876543210fedcba9876543210 " + PathKeyOf(copy / kLedgerFolder / kLedgerFileName));
  {
    // Every open block, of any series, is the original's: returned with what it had used.
    RawDb raw(copy / kLedgerFolder / kLedgerFileName);
    EXPECT_EQ(raw.Texts("SELECT series || ' ' || server_id || ' ' || state || ' ' || used || ' ' || note FROM blocks"
                        " ORDER BY id"),
              (std::vector<std::string>{"remote-433 7 used 4 ",
                                        "remote-433 9 returned 3 held by the station this record was copied from",
                                        "other-series 11 returned 0 held by the station this record was copied from"}));
  }
  // No block of the series is open: the station needs one of its own before a series value.
  std::optional<HeldBlock> latest;
  ASSERT_TRUE(ledger.Blocks()->LatestBlock(kSeries, latest).ok);
  ASSERT_TRUE(latest.has_value());
  EXPECT_EQ(latest->state, BlockState::Returned);

  // It issues again, never a value the original had taken; the old rows stay as history.
  const IssuedSerial next = ledger.IssueSerial(job, ActionKind::AutoProgram, Value(0x1000));
  ASSERT_TRUE(next.status.ok) << next.status.error;
  EXPECT_EQ(next.value.digits, "00001001");
  ASSERT_TRUE(ledger.FinishAction(next.action, Outcome::Pass, "Auto Program OK", 1200).ok);
  CounterSet counters;
  ASSERT_TRUE(ledger.ReadCounters(job, counters).ok);
  EXPECT_EQ(counters.job.passed, 2);
  // From now on it queues its own rows.
  ASSERT_TRUE(ledger.Outbox()->QueuedCount(queued).ok);
  EXPECT_EQ(queued, 4);

  // A second adoption, or the next open, finds it at home.
  EXPECT_TRUE(ledger.Adopt("BENCH-3").ok);
  EXPECT_EQ(ledger.Outbox()->Station(), "BENCH-2");
  std::string same;
  ASSERT_TRUE(ledger.Blocks()->StationToken(same).ok);
  EXPECT_EQ(same, token);
  opened.ledger.reset();
  OpenedLedger reopened = OpenAt(copy, "fedcba9876543210fedcba9876543210");
  ASSERT_TRUE(reopened.status.ok) << reopened.status.error;
  EXPECT_EQ(reopened.copiedFrom, "");
  // The original is untouched.
  EXPECT_EQ(TokenOf(program.path()), originalToken);
  EXPECT_EQ(OpenAt(program.path()).copiedFrom, "");
}

TEST_F(CopiedRecordTest, AStationNameThatCannotBeStoredLeavesTheCopyAsItWas) {
  { auto original = OpenOk(); }
  const std::string originalToken = TokenOf(program.path());
  const fs::path copy = CopyProgramFolder();
  OpenedLedger opened = OpenAt(copy, "fedcba9876543210fedcba9876543210");
  ASSERT_FALSE(opened.copiedFrom.empty());
  const LedgerStatus refused = opened.ledger->Adopt("BENCH\n2");
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error, fmt::format("the station name cannot be stored in {}",
                                       (copy / kLedgerFolder / kStationSettingsFileName).string()));
  EXPECT_EQ(TokenOf(copy), originalToken);
  std::string token;
  EXPECT_FALSE(opened.ledger->Blocks()->StationToken(token).ok);
}

// --- records of an older layout ---

// The tables of the first layout: those of a record made now but the ones that came later.

class OlderRecordTest : public LedgerTest {
 protected:
  // Makes File() a record of layout `version`, made by the layout steps of the program's history
  // as the program of that version made it, holding `rows`.
  void WriteLayout(int version, const std::string& rows) {
    fs::create_directories(File().parent_path());
    RawDb raw(File());
    for (int step = 0; step < version; ++step) {
      const std::string sql = RecordLayoutStep(step);
      ASSERT_EQ(raw.Exec(sql.c_str()), SQLITE_OK) << sql;
    }
    const std::string mark =
        fmt::format("PRAGMA application_id={}; PRAGMA user_version={};", kLedgerApplicationId, version);
    ASSERT_EQ(raw.Exec(mark.c_str()), SQLITE_OK);
    ASSERT_EQ(raw.Exec(rows.c_str()), SQLITE_OK) << rows;
  }
  void WriteVersion1(const std::string& rows) { WriteLayout(1, rows); }

  // The key the record knows the fixture's INI by.
  std::string IniKeyOfFixture() const { return fs::weakly_canonical(fs::absolute(ini)).string(); }

  // Makes File() a record of the third layout, holding a job and a passed chip.
  void WriteVersion3() {
    const std::string key = MakeSerialValue(Value(0x0FFF), kShape).key;
    WriteLayout(3, fmt::format(
        "INSERT INTO jobs VALUES(1, '2026-12-05T09:00:00.000+00:00', '2026-12-05T09:00:00.000Z', 'BENCH-1',"
        " 'VX3P1040', '/images/PART.VX3', '1A2B', '00FF', 0, '0100', '0102', '{0}', 33, 2, 1, 0, '00000001',"
        " '00000FFF', '');"
        "INSERT INTO actions VALUES(1, 1, '2026-12-05T09:00:01.000+00:00', '2026-12-05T09:00:01.000Z', '2026-12-05',"
        " 'Auto Program', 1, 'pass', 0, 'Auto Program OK', '00000FFF', 1500);"
        "INSERT INTO serials VALUES(1, '{0}', '00000FFF', '{1}', 'passed', 1, 1);"
        "INSERT INTO tallies VALUES(1, '2026-12-05', 1, 1, 0);",
        IniKeyOfFixture(), key));
  }

  std::string Layout() {
    RawDb raw(File());
    return raw.Text("PRAGMA user_version") + " queueing " + raw.Text("SELECT queueing FROM outbox_state");
  }
};

TEST_F(OlderRecordTest, AVersion1RecordIsUpgradedWithItsRowsKept) {
  const std::string key = MakeSerialValue(Value(0x1000), kShape).key;
  WriteVersion1(fmt::format(
      "INSERT INTO jobs VALUES(1, '2026-12-05T09:00:00.000+00:00', '2026-12-05T09:00:00.000Z', 'BENCH-OLD',"
      " 'VX3P1040', '/images/PART.VX3', '1A2B', '00FF', 0, '0100', '0102', '{0}', 33, 2, 1, 0, '00000001',"
      " '00001000', '');"
      "INSERT INTO actions VALUES(1, 1, '2026-12-05T09:00:01.000+00:00', '2026-12-05T09:00:01.000Z', '2026-12-05',"
      " 'Auto Program', 1, 'pass', 0, 'Auto Program OK', '00001000', 1500);"
      "INSERT INTO serials VALUES(1, '{0}', '00001000', '{1}', 'passed', 1, 1);"
      "INSERT INTO tallies VALUES(1, '2026-12-05', 1, 1, 0);",
      IniKeyOfFixture(), key));

  auto ledger = OpenOk();
  ASSERT_TRUE(ledger);
  EXPECT_EQ(Layout(), fmt::format("{} queueing 0", kLedgerSchemaVersion));
  std::string token;
  ASSERT_TRUE(ledger->Blocks()->StationToken(token).ok);
  EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{32}"))) << token;

  // The old rows are read as they were.
  CounterSet counters;
  ASSERT_TRUE(ledger->ReadCounters(1, counters).ok);
  EXPECT_EQ(counters.job.done, 1);
  EXPECT_EQ(counters.job.passed, 1);
  EXPECT_EQ(counters.job.lastSerial, "00001000");
  EXPECT_EQ(counters.today.passed, 1);
  std::optional<SerialValue> highest;
  ASSERT_TRUE(ledger->HighestIssued(ini, highest).ok);
  ASSERT_TRUE(highest.has_value());
  EXPECT_EQ(highest->digits, "00001000");
  const std::vector<std::string> lines = Lines(Export(*ledger));
  ASSERT_EQ(lines.size(), 2U);
  EXPECT_EQ(lines[1],
            "1,2026-12-05T09:00:01.000+00:00,2026-12-05T09:00:01.000Z,BENCH-OLD,1,VX3P1040,/images/PART.VX3,"
            "Auto Program,pass,00001000,1500,Auto Program OK");
  // The old passed value is never given again, and the new rows are not queued: the station
  // has not joined a series.
  const IssuedSerial next = ledger->IssueSerial(1, ActionKind::AutoProgram, Value(0x1000));
  ASSERT_TRUE(next.status.ok) << next.status.error;
  EXPECT_EQ(next.value.digits, "00001001");
  ASSERT_EQ(next.skipped.size(), 1U);
  ASSERT_TRUE(ledger->FinishAction(next.action, Outcome::Pass, "Auto Program OK", 1200).ok);
  std::int64_t queued = -1;
  ASSERT_TRUE(ledger->Outbox()->QueuedCount(queued).ok);
  EXPECT_EQ(queued, 0);

  // Joining later queues the old rows with the new, and blocks can be held.
  HeldBlock held;
  ASSERT_TRUE(ledger->Blocks()->AddBlock(kSeries, {7, 0x2000, 100}, held).ok);
  ASSERT_TRUE(ledger->Outbox()->StartQueueing().ok);
  std::vector<OutboxRow> rows;
  ASSERT_TRUE(ledger->Outbox()->ReadQueued(100, rows).ok);
  std::vector<std::string> tables;
  for (const OutboxRow& row : rows) tables.push_back(fmt::format("{}:{}", row.table, row.rowId));
  EXPECT_EQ(tables, (std::vector<std::string>{"jobs:1", "actions:1", "actions:2", "serials:1", "serials:2", "blocks:1"}));
}

TEST_F(OlderRecordTest, AVersion2RecordKeepsItsOutboxAndGetsAToken) {
  // A station of the second layout that had joined a series: its rows queued by that layout's
  // triggers, a block held.
  const std::string key = MakeSerialValue(Value(0x1000), kShape).key;
  WriteLayout(2, fmt::format(
      "UPDATE outbox_state SET queueing = 1;"
      "INSERT INTO jobs VALUES(1, '2026-12-05T09:00:00.000+00:00', '2026-12-05T09:00:00.000Z', 'BENCH-1',"
      " 'VX3P1040', '/images/PART.VX3', '1A2B', '00FF', 0, '0100', '0102', '{0}', 33, 2, 1, 0, '00000001',"
      " '00001000', '');"
      "INSERT INTO actions VALUES(1, 1, '2026-12-05T09:00:01.000+00:00', '2026-12-05T09:00:01.000Z', '2026-12-05',"
      " 'Auto Program', 1, 'pass', 0, 'Auto Program OK', '00001000', 1500);"
      "INSERT INTO serials VALUES(1, '{0}', '00001000', '{1}', 'passed', 1, 1);"
      "INSERT INTO tallies VALUES(1, '2026-12-05', 1, 1, 0);"
      "INSERT INTO blocks(id, time_local, series, server_id, first_value, span, used, state)"
      " VALUES(1, '2026-12-05T09:00:02.000+00:00', '{2}', 7, 8192, 100, 0, 'open');",
      IniKeyOfFixture(), key, kSeries));
  const HeldBlock held{1, std::string(kSeries), {7, 0x2000, 100}, 0, BlockState::Open};
  std::int64_t queuedBefore = 0;
  {
    RawDb raw(File());
    queuedBefore = std::stoll(raw.Text("SELECT count(*) FROM outbox"));
    ASSERT_EQ(queuedBefore, 4);
  }
  auto ledger = OpenOk();
  ASSERT_TRUE(ledger);
  EXPECT_EQ(Layout(), fmt::format("{} queueing 1", kLedgerSchemaVersion));
  std::string token;
  ASSERT_TRUE(ledger->Blocks()->StationToken(token).ok);
  EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{32}"))) << token;
  std::int64_t queued = 0;
  ASSERT_TRUE(ledger->Outbox()->QueuedCount(queued).ok);
  EXPECT_EQ(queued, queuedBefore);
  std::optional<HeldBlock> latest;
  ASSERT_TRUE(ledger->Blocks()->LatestBlock(kSeries, latest).ok);
  ASSERT_TRUE(latest.has_value());
  EXPECT_EQ(latest->localId, held.localId);
  // Still queueing: a new chip's rows (action and serial, issued and finished) join the outbox.
  Chip(*ledger, 1, Value(0x1000), Outcome::Pass);
  ASSERT_TRUE(ledger->Outbox()->QueuedCount(queued).ok);
  EXPECT_EQ(queued, queuedBefore + 4);
  // The token is made once: the next open keeps it.
  ledger.reset();
  ledger = OpenOk();
  std::string again;
  ASSERT_TRUE(ledger->Blocks()->StationToken(again).ok);
  EXPECT_EQ(again, token);
}

TEST_F(OlderRecordTest, AVersion3RecordTakesThisMachineAndPathAsItsHomeAtItsFirstOpen) {
  WriteVersion3();
  {
    RawDb raw(File());
    ASSERT_EQ(raw.Text("PRAGMA user_version"), "3");
  }
  const std::string token = [this] {
    RawDb raw(File());
    return raw.Text("SELECT station_token FROM outbox_state");
  }();
  {
    OpenedLedger opened = Open();
    ASSERT_TRUE(opened.status.ok) << opened.status.error;
    EXPECT_EQ(opened.copiedFrom, "");
    const IssuedSerial issued = opened.ledger->IssueSerial(1, ActionKind::AutoProgram, Value(0x1000));
    EXPECT_TRUE(issued.status.ok) << issued.status.error;
  }
  RawDb raw(File());
  EXPECT_EQ(raw.Text("PRAGMA user_version"), std::to_string(kLedgerSchemaVersion));
  EXPECT_EQ(raw.Text("SELECT machine_id || ' ' || record_path || ' ' || station_token FROM outbox_state"),
            std::string(kHereMachine) + " " + PathKeyOf(File()) + " " + token);
  // Its home is kept from then on: another machine finds a copy.
  OpenedLedger elsewhere =
      Open(LedgerOptions{.station = {}, .busyTimeoutMs = 2000, .vfsName = {}, .machineId = "another-machine", .owner = {}, .ownerHeld = {}});
  EXPECT_EQ(elsewhere.copiedFrom, fmt::format("made on machine 01234567... at {}", PathKeyOf(File())));
}

// A record of layout 4 (stand-alone runs on record) takes the actions that reached no chip: its
// rows, their outbox triggers and its uniqueness of passed values are all as they were.
TEST_F(OlderRecordTest, AVersion4RecordKeepsItsRowsAndTakesActionsThatReachedNoChip) {
  const std::string key = MakeSerialValue(Value(0x0FFF), kShape).key;
  WriteLayout(4, fmt::format(
      "INSERT INTO jobs(id, time_local, time_utc, station, device, image_path, checksum, secured_checksum, security,"
      " iap_version, driver_version, rolling_ini, rolling_address, rolling_length, rolling_low_first,"
      " rolling_byte_words, rolling_step, rolling_first, rolling_note) VALUES(1, '2026-12-05T09:00:00.000+00:00',"
      " '2026-12-05T09:00:00.000Z', 'BENCH-1', 'VX3P1040', '/images/PART.VX3', '1A2B', '00FF', 0, '0100', '0102',"
      " '{0}', 33, 2, 1, 0, '00000001', '00000FFF', '');"
      "INSERT INTO actions(id, job_id, time_local, time_utc, day, action, chip, result, open, message, rolling_value,"
      " duration_ms, owner) VALUES(1, 1, '2026-12-05T09:00:01.000+00:00', '2026-12-05T09:00:01.000Z', '2026-12-05',"
      " 'Auto Program', 1, 'pass', 0, 'Auto Program OK', '00000FFF', 1500, 'lock-a');"
      "INSERT INTO serials(id, ini, value, value_key, state, action_id, once) VALUES(1, '{0}', '00000FFF', '{1}',"
      " 'passed', 1, 1);"
      "INSERT INTO tallies(job_id, day, done, passed, failed) VALUES(1, '2026-12-05', 1, 1, 0);"
      "UPDATE outbox_state SET queueing = 1;",
      IniKeyOfFixture(), key));
  {
    OpenedLedger opened = Open();
    ASSERT_TRUE(opened.status.ok) << opened.status.error;
    const IssuedSerial issued = opened.ledger->IssueSerial(1, ActionKind::AutoProgram, Value(0x0FFF));
    ASSERT_TRUE(issued.status.ok) << issued.status.error;
    EXPECT_EQ(issued.value.digits, "00001000") << "the passed value stays taken";
    ASSERT_TRUE(opened.ledger->FinishAction(issued.action, Outcome::NoChip, "No IC in socket !!", 30).ok);
  }
  RawDb raw(File());
  EXPECT_EQ(raw.Text("PRAGMA user_version"), std::to_string(kLedgerSchemaVersion));
  EXPECT_EQ(raw.Text("SELECT group_concat(id || ':' || result || ':' || owner, ' ') FROM actions"),
            "1:pass:lock-a 2:no chip:");
  EXPECT_EQ(raw.Text("SELECT group_concat(value || ':' || state, ' ') FROM serials"),
            "00000FFF:passed 00001000:unused");
  // The rows written since the upgrade went to the outbox with the triggers made again.
  EXPECT_EQ(raw.Text("SELECT json_extract(row, '$.result') FROM outbox WHERE table_name = 'actions'"
                     " ORDER BY seq DESC LIMIT 1"),
            "no chip");
  EXPECT_EQ(raw.Text("SELECT json_extract(row, '$.state') FROM outbox WHERE table_name = 'serials'"
                     " ORDER BY seq DESC LIMIT 1"),
            "unused");
  EXPECT_EQ(raw.Text("PRAGMA foreign_key_check"), "");
}

}  // namespace
}  // namespace vx3::ledger
