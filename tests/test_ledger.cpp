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
  EXPECT_EQ(header.substr(60, 4), std::string("\0\0\0\3", 4)) << "version 3";
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
  const char* sql;
  const char* error;
};

TEST_F(LedgerTest, AFileOfANewerVersionOrOfAnotherProgramIsLeftAsItIs) {
  const RefusedFileCase cases[] = {
      {"newer", "PRAGMA application_id=1448620887; PRAGMA user_version=4; CREATE TABLE later(x);",
       "the record file was made by a newer version of this program (record version 4, this version reads up to 3)"},
      {"another program's", "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);",
       "is not a production record of this program"},
  };
  for (const RefusedFileCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(File().parent_path());
    {
      RawDb raw(File());
      ASSERT_EQ(raw.Exec(c.sql), SQLITE_OK);
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

}  // namespace
}  // namespace vx3::ledger
