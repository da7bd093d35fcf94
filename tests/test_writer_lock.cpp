// The Writer's lock: taken, refused and given up as the holder lives and ends; the file's name
// for each Writer; the record's test of a value left open by another running program.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "app/writer_access.h"
#include "platform/writer_lock.h"
#include "support/fake_environment.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"

namespace vx3::platform {
namespace {

namespace fs = std::filesystem;

// Who else holds the lock when this process tries it.
enum class Other {
  None,           // no file at all
  StaleFile,      // a file a program that ended left, with its id
  ThisProcess,    // this process, through another handle of its own
  ChildProcess,   // a child process that is still running
  ChildEnded,     // a child process that took it and ended without letting it go
};

struct LockCase {
  const char* name;
  Other other;
  bool taken;             // this process takes the lock
  bool holderIsChild;     // a refused try names the child (else this process)
};

#if !defined(_WIN32)
// A child process that holds the lock of `file` until the pipe from the parent closes; it tells
// through the other pipe that it holds it. Ends at once (no lock left) when `endAtOnce`.
struct Holder {
  pid_t pid = -1;
  int release = -1;

  void Start(const fs::path& file, bool endAtOnce) {
    int taken[2];
    int wait[2];
    ASSERT_EQ(::pipe(taken), 0);
    ASSERT_EQ(::pipe(wait), 0);
    pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(taken[0]);
      ::close(wait[1]);
      const WriterLockAttempt attempt = TakeWriterLock(file);
      const char result = attempt.lock ? 'y' : 'n';
      (void)!::write(taken[1], &result, 1);
      if (endAtOnce) ::_exit(0);  // the system lets the lock go with the process
      char ignored = 0;
      (void)!::read(wait[0], &ignored, 1);
      ::_exit(0);
    }
    ::close(taken[1]);
    ::close(wait[0]);
    release = wait[1];
    char result = 0;
    ASSERT_EQ(::read(taken[0], &result, 1), 1);
    ::close(taken[0]);
    ASSERT_EQ(result, 'y') << "the child could not take the lock";
    if (endAtOnce) Stop();
  }
  void Stop() {
    if (release >= 0) ::close(release);
    release = -1;
    if (pid > 0) ::waitpid(pid, nullptr, 0);
  }
  ~Holder() { Stop(); }
};
#endif

class WriterLockTest : public ::testing::TestWithParam<LockCase> {};

TEST_P(WriterLockTest, IsTakenOnlyWhenNoRunningProgramHoldsIt) {
  const LockCase& test = GetParam();
  testing::TempDir dir;
  const fs::path file = dir.path() / "DLL-0.lock";
  std::unique_ptr<WriterLock> mine;
#if !defined(_WIN32)
  Holder child;
#endif
  switch (test.other) {
    case Other::None: break;
    case Other::StaleFile: dir.WriteFile("DLL-0.lock", "999999999           \n"); break;
    case Other::ThisProcess:
      mine = TakeWriterLock(file).lock;
      ASSERT_NE(mine, nullptr);
      break;
    case Other::ChildProcess:
    case Other::ChildEnded:
#if defined(_WIN32)
      GTEST_SKIP() << "a child that holds the lock is a POSIX test";
#else
      child.Start(file, test.other == Other::ChildEnded);
#endif
      break;
  }
  const bool heldBefore = test.other == Other::ThisProcess || test.other == Other::ChildProcess;
  EXPECT_EQ(WriterLockHeld(file), heldBefore);

  const WriterLockAttempt attempt = TakeWriterLock(file);
  EXPECT_EQ(attempt.lock != nullptr, test.taken);
  EXPECT_EQ(attempt.heldElsewhere, !test.taken);
  EXPECT_EQ(attempt.error, "");
  if (test.taken) {
    // Taken: held for everyone else, and the file names this process.
    EXPECT_TRUE(WriterLockHeld(file));
    EXPECT_EQ(WriterLockHolder(file), CurrentProcessId());
    EXPECT_FALSE(TakeWriterLock(file).lock);
  } else {
#if !defined(_WIN32)
    const std::int64_t expected = test.holderIsChild ? static_cast<std::int64_t>(child.pid) : CurrentProcessId();
#else
    const std::int64_t expected = CurrentProcessId();
#endif
    EXPECT_EQ(attempt.holder, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Holders, WriterLockTest,
    ::testing::Values(LockCase{"Free", Other::None, true, false},
                      LockCase{"StaleFileIsNotHeld", Other::StaleFile, true, false},
                      LockCase{"HeldByThisProcessThroughAnotherHandle", Other::ThisProcess, false, false},
                      LockCase{"HeldByAChildProcess", Other::ChildProcess, false, true},
                      LockCase{"ReleasedWhenTheHolderDies", Other::ChildEnded, true, false}),
    [](const ::testing::TestParamInfo<LockCase>& info) { return std::string(info.param.name); });

TEST(WriterLock, IsFreeAgainOnceTheHolderLetsGo) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "DLL-0.lock";
  {
    const WriterLockAttempt first = TakeWriterLock(file);
    ASSERT_NE(first.lock, nullptr);
  }
  EXPECT_TRUE(fs::exists(file));
  EXPECT_FALSE(WriterLockHeld(file));
  EXPECT_NE(TakeWriterLock(file).lock, nullptr);
}

TEST(WriterLock, AFileThatCannotBeMadeIsNeitherTakenNorHeld) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "no such folder" / "DLL-0.lock";
  const WriterLockAttempt attempt = TakeWriterLock(file);
  EXPECT_EQ(attempt.lock, nullptr);
  EXPECT_FALSE(attempt.heldElsewhere);
  EXPECT_NE(attempt.error, "");
  EXPECT_FALSE(WriterLockHeld(file));
  EXPECT_EQ(WriterLockHolder(file), std::nullopt);
}

TEST(WriterLock, AFileWithoutAProcessIdNamesNoHolder) {
  testing::TempDir dir;
  for (const char* text : {"", "   \n", "pid\n", "0\n", "-12\n"}) {
    const fs::path file = dir.WriteFile("DLL-0.lock", text);
    EXPECT_EQ(WriterLockHolder(file), std::nullopt) << "\"" << text << "\"";
  }
}

}  // namespace
}  // namespace vx3::platform

namespace vx3::app {
namespace {

namespace fs = std::filesystem;

TEST(WriterLockName, TheBridgeFolderAndTheDeviceAndASimulatedWritersOwnFolder) {
  testing::TempDir dir;
  testing::FakeEnvironment environment;
  EXPECT_EQ(WriterLockName(environment), "DLL-0.lock");
  EXPECT_EQ(WriterLockName(environment, 3), "DLL-3.lock");
  environment.variables["VX3WT_SIM_DIR"] = "";
  EXPECT_EQ(WriterLockName(environment), "DLL-0.lock");

  fs::create_directories(dir.path() / "a");
  fs::create_directories(dir.path() / "b");
  environment.variables["VX3WT_SIM_DIR"] = (dir.path() / "a").string();
  const std::string a = WriterLockName(environment);
  EXPECT_EQ(a.size(), std::string("DLL-0-0123456789abcdef.lock").size()) << a;
  EXPECT_TRUE(a.starts_with("DLL-0-")) << a;
  // The same folder however it is spelled; another folder, another Writer.
  environment.variables["VX3WT_SIM_DIR"] = (dir.path() / "b" / ".." / "a" / "").string();
  EXPECT_EQ(WriterLockName(environment), a);
  environment.variables["VX3WT_SIM_DIR"] = (dir.path() / "b").string();
  EXPECT_NE(WriterLockName(environment), a);
}

TEST(WriterAccess, RefusesWithTheHoldersProcessIdAndTakesTheLockOnceItIsFree) {
  testing::TempDir dir;
  testing::FakeEnvironment environment;
  const fs::path file = WriterLockFile(dir.path(), "DLL-0.lock");
  EXPECT_EQ(file, dir.path() / "Writer_Log" / "DLL-0.lock");

  WriterAccess never;
  EXPECT_TRUE(never.Usable()) << "a run that never asks for the lock refuses nothing";
  EXPECT_FALSE(never.Refused());

  WriterAccess first;
  ASSERT_TRUE(first.Take(dir.path(), environment));
  EXPECT_TRUE(first.Usable());
  EXPECT_TRUE(platform::WriterLockHeld(file));

  WriterAccess second;
  EXPECT_FALSE(second.Take(dir.path(), environment));
  EXPECT_TRUE(second.Refused());
  EXPECT_FALSE(second.Usable());
  text::Language english;
  EXPECT_EQ(second.RefusalText(english),
            "The Writer is in use by another VX3WT (process " + std::to_string(platform::CurrentProcessId()) + ")");
  // Another device is another Writer.
  WriterAccess otherDevice;
  EXPECT_TRUE(otherDevice.Take(dir.path(), environment, 1));
}

TEST(OwnerHeldElsewhere, OnlyARunningOtherProgramsLockKeepsAValueOpen) {
  testing::TempDir dir;
  const std::function<bool(std::string_view)> held = OwnerHeldElsewhere(dir.path());
  fs::create_directories(dir.path() / "Writer_Log");
  EXPECT_FALSE(held("")) << "rows from before owners were kept";
  EXPECT_FALSE(held("DLL-0.lock")) << "no such file";
  dir.WriteFile("Writer_Log/DLL-0.lock", "999999999\n");
  EXPECT_FALSE(held("DLL-0.lock")) << "a file left behind";
  EXPECT_FALSE(held("../DLL-0.lock"));
  {
    // Held by this very program: what is open under it was left by a run before this one.
    const platform::WriterLockAttempt mine = platform::TakeWriterLock(dir.path() / "Writer_Log" / "DLL-0.lock");
    ASSERT_NE(mine.lock, nullptr);
    EXPECT_FALSE(held("DLL-0.lock"));
  }
#if !defined(_WIN32)
  // Held by another process.
  int ready[2];
  int done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    ::close(done[1]);
    const platform::WriterLockAttempt theirs = platform::TakeWriterLock(dir.path() / "Writer_Log" / "DLL-0.lock");
    const char result = theirs.lock ? 'y' : 'n';
    (void)!::write(ready[1], &result, 1);
    char ignored = 0;
    (void)!::read(done[0], &ignored, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(done[0]);
  char result = 0;
  ASSERT_EQ(::read(ready[0], &result, 1), 1);
  ASSERT_EQ(result, 'y');
  EXPECT_TRUE(held("DLL-0.lock"));
  ::close(done[1]);
  ::waitpid(child, nullptr, 0);
  EXPECT_FALSE(held("DLL-0.lock")) << "the holder ended";
#endif
}

}  // namespace
}  // namespace vx3::app
