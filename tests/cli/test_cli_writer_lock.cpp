// One program at a time talks to a Writer: a second command line on the same Writer is refused
// with its own code before anything reaches the Writer, and reading the record meanwhile leaves
// the running program's value open. A series settings file that is named but missing or
// unreadable stops the command before the Writer.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "support/chips_file.h"
#include "support/image_builder.h"
#include "support/record_query.h"

namespace vx3::cli {
namespace {

namespace fs = std::filesystem;
using testing::CliFolder;
using testing::CliRunResult;

constexpr std::string_view kLoad = "load samples/VX3P1020.VX3";
// A Writer slow enough that a chip takes about a second: the other commands run while it works.
constexpr std::string_view kSlowWriter = "[Writer]\nLatencyMs=8\n";
constexpr int kFirstChips = 5;
constexpr auto kLongestWait = std::chrono::seconds(60);

// vx3wt-cli started in the background in the folder, standard output to `out`.
pid_t StartCli(const CliFolder& folder, const std::vector<std::string>& args, const fs::path& out) {
  const std::string program = (folder.programDir() / "vx3wt-cli").string();
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int input = ::open("/dev/null", O_RDONLY);
    const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input < 0 || output < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0) ::_exit(127);
    if (::chdir(folder.programDir().c_str()) != 0) ::_exit(127);
    ::setenv("VX3WT_SIM_DIR", folder.simDir().c_str(), 1);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return child;
}

// Waits until `done` holds, at most kLongestWait; false when it never did.
template <typename Check>
bool WaitUntil(Check done) {
  const auto end = std::chrono::steady_clock::now() + kLongestWait;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string InUseLine(pid_t holder) {
  return "The Writer is in use by another VX3WT (process " + std::to_string(holder) + ")";
}

TEST(CliWriterLockTest, ASecondProgramIsRefusedAndReadingTheRecordLeavesTheFirstsValueOpen) {
  CliFolder folder;
  ASSERT_EQ(folder.Run(std::string(kLoad)).exitCode, 0);
  folder.SimSettings(kSlowWriter);
  const fs::path db = folder.programDir() / "Writer_Log" / "production.db";
  const fs::path firstOut = folder.programDir() / "first.txt";
  const pid_t first = StartCli(
      folder, {"auto-program", "--count", std::to_string(kFirstChips), "--no-wait", "--json"}, firstOut);
  ASSERT_GT(first, 0);
  // The first is in the middle of a chip: its value is issued and its action open.
  ASSERT_TRUE(WaitUntil([&] {
    return testing::RecordRows(db, "SELECT count(*) FROM actions WHERE open = 1 AND rolling_value IS NOT NULL") ==
           std::vector<std::string>{"1"};
  }));

  // Reading the record takes no lock and leaves the value open.
  const CliRunResult stats = folder.Run("ledger stats --json");
  EXPECT_EQ(stats.exitCode, 0) << stats.out << stats.err;
  EXPECT_EQ(stats.err, "");
  // No value of unknown outcome was found: the running chip's value is not the reader's to judge.
  EXPECT_TRUE(stats.Events("status").empty()) << stats.out;
  EXPECT_EQ(testing::RecordRows(db, "SELECT count(*) FROM actions WHERE result = 'unknown' AND open = 0"),
            std::vector<std::string>{"0"});

  // A second chip batch, as text and as JSON; a read and a load too.
  const CliRunResult second = folder.Run("auto-program --count 5 --no-wait");
  EXPECT_EQ(second.exitCode, ToInt(ExitCode::WriterInUse)) << second.out;
  EXPECT_EQ(second.err, InUseLine(first) + "\n");
  EXPECT_EQ(second.out, "");
  const CliRunResult json = folder.Run("read --out listing.txt --json");
  EXPECT_EQ(json.exitCode, ToInt(ExitCode::WriterInUse));
  EXPECT_EQ(json.out, "{\"event\":\"error\",\"text\":\"" + InUseLine(first) +
                          "\"}\n"
                          "{\"event\":\"summary\",\"command\":\"read\",\"exit_code\":17,\"result\":\"writer_in_use\"}\n");
  EXPECT_FALSE(fs::exists(folder.programDir() / "listing.txt"));
  const CliRunResult load = folder.Run(std::string(kLoad));
  EXPECT_EQ(load.exitCode, ToInt(ExitCode::WriterInUse)) << load.out << load.err;
  // Information about an image talks to no Writer.
  EXPECT_EQ(folder.Run("info samples/VX3P1020.VX3").exitCode, 0);

  int status = 0;
  ASSERT_EQ(::waitpid(first, &status, 0), first);
  ASSERT_TRUE(WIFEXITED(status));
  const std::string firstRun = testing::ReadFileBytes(firstOut);
  EXPECT_EQ(WEXITSTATUS(status), 0) << firstRun;
  EXPECT_NE(firstRun.find("\"chips\":5,\"passed\":5,\"failed\":0,\"unknown\":0,\"not_run\":0,\"no_chip\":0}"), std::string::npos) << firstRun;

  // The Writer programmed the first's chips only, and the record tells the same.
  const std::vector<testing::ChipLine> chips = testing::ChipsFile(folder.simDir());
  ASSERT_EQ(chips.size(), static_cast<std::size_t>(kFirstChips));
  std::vector<std::string> passedOnWriter;
  for (const testing::ChipLine& chip : chips) {
    EXPECT_EQ(chip.result, "PASS");
    passedOnWriter.push_back(chip.value);
  }
  EXPECT_EQ(testing::RecordRows(db, "SELECT value FROM serials WHERE state = 'passed' ORDER BY id"), passedOnWriter);
  EXPECT_EQ(testing::RecordRows(db, "SELECT count(*) FROM serials WHERE state <> 'passed'"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(testing::RecordRows(db, "SELECT count(*) FROM actions WHERE result = 'unknown' OR open = 1"),
            std::vector<std::string>{"0"});

  // Once the first has ended, the Writer is free again.
  folder.SimSettings();
  const CliRunResult after = folder.Run("auto-program --no-wait");
  EXPECT_EQ(after.exitCode, 0) << after.out << after.err;
}

// A value left open by a program that ended (killed mid-chip) is unknown at the next start,
// whoever opens the record first.
TEST(CliWriterLockTest, AValueLeftOpenByAProgramThatEndedIsUnknownAtTheNextStart) {
  CliFolder folder;
  ASSERT_EQ(folder.Run(std::string(kLoad)).exitCode, 0);
  folder.SimSettings(kSlowWriter);
  const fs::path db = folder.programDir() / "Writer_Log" / "production.db";
  const pid_t first = StartCli(folder, {"auto-program", "--no-wait"}, folder.programDir() / "first.txt");
  ASSERT_GT(first, 0);
  ASSERT_TRUE(WaitUntil([&] {
    return testing::RecordRows(db, "SELECT count(*) FROM actions WHERE open = 1 AND rolling_value IS NOT NULL") ==
           std::vector<std::string>{"1"};
  }));
  ::kill(first, SIGKILL);
  ASSERT_EQ(::waitpid(first, nullptr, 0), first);
  const CliRunResult stats = folder.Run("ledger stats");
  EXPECT_EQ(stats.exitCode, 0) << stats.out << stats.err;
  EXPECT_EQ(testing::RecordRows(db, "SELECT result, open FROM actions WHERE id = (SELECT max(id) FROM actions)"),
            std::vector<std::string>{"unknown|0"});
  EXPECT_EQ(testing::RecordRows(db, "SELECT state FROM serials ORDER BY id DESC LIMIT 1"),
            std::vector<std::string>{"unknown"});
}

// --- a series settings file named on the command line that cannot be used ---

struct SeriesCase {
  const char* name;
  std::string args;  // {} stands where the --series option goes
};

class CliSeriesFileTest : public ::testing::TestWithParam<SeriesCase> {};

TEST_P(CliSeriesFileTest, AMissingOrUnreadableFileStopsTheCommandBeforeTheWriter) {
  CliFolder folder;
  ASSERT_EQ(folder.Run(std::string(kLoad)).exitCode, 0);
  const std::string traceBefore = testing::ReadFileBytes(folder.simDir() / "VX3USBOV3Wt.trace");
  const fs::path folderFile = folder.programDir() / "series-folder.ini";
  fs::create_directories(folderFile);
  const struct {
    std::string file;
    std::string reason;
  } files[] = {{"/nonexistent/line-7.SERIES.INI", "there is no such file"},
               {"missing.SERIES.INI", "there is no such file"},
               {folderFile.string(), "it is a folder"}};
  for (const auto& file : files) {
    std::string args = GetParam().args;
    args.replace(args.find("{}"), 2, "--series '" + file.file + "'");
    const CliRunResult run = folder.Run(args);
    EXPECT_EQ(run.exitCode, ToInt(ExitCode::ImageError)) << args << "\n" << run.out << run.err;
    EXPECT_EQ(run.err, "The series settings file " + file.file + " cannot be read: " + file.reason + "\n") << args;
  }
  // Nothing reached the Writer, nothing was issued.
  EXPECT_EQ(testing::ReadFileBytes(folder.simDir() / "VX3USBOV3Wt.trace"), traceBefore);
  EXPECT_TRUE(testing::ChipsFile(folder.simDir()).empty());
  EXPECT_EQ(testing::RecordRows(folder.programDir() / "Writer_Log" / "production.db", "SELECT count(*) FROM serials"),
            std::vector<std::string>{"0"});
}

INSTANTIATE_TEST_SUITE_P(Commands, CliSeriesFileTest,
                         ::testing::Values(SeriesCase{"AutoProgram", "auto-program {} --no-wait"},
                                           SeriesCase{"Program", "program --no-wait {}"},
                                           SeriesCase{"Verify", "verify {}"},
                                           SeriesCase{"BlankCheck", "blank-check {}"},
                                           SeriesCase{"Read", "read --out listing.txt {}"},
                                           SeriesCase{"Load", "load samples/VX3P1020.VX3 {}"},
                                           SeriesCase{"Info", "info samples/VX3P1020.VX3 {}"},
                                           SeriesCase{"LedgerSync", "ledger sync {}"},
                                           SeriesCase{"BeforeTheCommand", "{} auto-program --no-wait"}),
                         [](const ::testing::TestParamInfo<SeriesCase>& info) { return std::string(info.param.name); });


// --- the series settings file beside the rolling INI that is there but cannot be read ---

constexpr uid_t kNobody = 65534;

// Opens the folders of a run to a user who is not root: root reads any file, so a file without
// read permission is tried as another user. The executable, linked from the build, stays as it is.
void OpenToEveryone(const CliFolder& folder) {
  for (const fs::path& top : {folder.programDir().parent_path(), folder.simDir()}) {
    fs::permissions(top, fs::perms::all, fs::perm_options::add);
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      if (entry.path().filename() == "vx3wt-cli") continue;
      fs::permissions(entry.path(),
                      entry.is_directory() ? fs::perms::all : fs::perms::owner_read | fs::perms::owner_write |
                                                                  fs::perms::group_read | fs::perms::group_write |
                                                                  fs::perms::others_read | fs::perms::others_write,
                      fs::perm_options::add);
    }
  }
}

// Runs the command line as an unprivileged user when the tests run as root (the folder opened to
// it first with OpenToEveryone), else as the tests' own user.
CliRunResult RunAsUser(const CliFolder& folder, const std::string& args) {
  if (::geteuid() != 0) return folder.Run(args);
  const fs::path result = folder.programDir().parent_path() / "exit.txt";
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(90);
    const CliRunResult run = folder.Run(args);
    testing::WriteFileBytes(result, std::to_string(run.exitCode));
    std::fflush(nullptr);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  CliRunResult run;
  run.exitCode = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::atoi(testing::ReadFileBytes(result).c_str()) : -1;
  run.out = testing::ReadFileBytes(folder.programDir().parent_path() / "stdout.txt");
  run.err = testing::ReadFileBytes(folder.programDir().parent_path() / "stderr.txt");
  return run;
}

struct UnreadableCase {
  const char* name;
  bool folder;  // a folder of the file's name; else a file without read permission
  const char* reason;
};

class CliUnreadableSeriesTest : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(CliUnreadableSeriesTest, ChipsThatWriteASerialAreRefusedWithTheReason) {
  const UnreadableCase& c = GetParam();
  CliFolder folder;
  if (::geteuid() == 0) OpenToEveryone(folder);
  const fs::path file = folder.programDir() / "samples" / "VX3P1020.SERIES.INI";
  if (c.folder) {
    fs::create_directories(file);
  } else {
    testing::WriteFileBytes(file, "[Series]\nName=line-7\nServer=host=127.0.0.1\n");
    fs::permissions(file, fs::perms::none);
  }
  const CliRunResult load = RunAsUser(folder, std::string(kLoad));
  // The load names the file as the rolling INI does, beside the image given (relative here).
  const std::string reason = std::string(" cannot be read: ") + c.reason;
  EXPECT_NE(load.out.find("the series settings file samples/VX3P1020.SERIES.INI" + reason), std::string::npos)
      << load.out << load.err;
  const CliRunResult run = RunAsUser(folder, "auto-program --no-wait");
  EXPECT_EQ(run.exitCode, ToInt(ExitCode::SerialRefused)) << run.out << run.err;
  EXPECT_EQ(run.Lines().at(0), "Err: Serial numbers cannot be recorded: the series settings file " + file.string() +
                                   reason + ". Auto Program is stopped so that no value is used twice.");
  EXPECT_TRUE(testing::ChipsFile(folder.simDir()).empty());
  EXPECT_EQ(testing::RecordRows(folder.programDir() / "Writer_Log" / "production.db", "SELECT count(*) FROM serials"),
            std::vector<std::string>{"0"});
}

INSTANTIATE_TEST_SUITE_P(Files, CliUnreadableSeriesTest,
                         ::testing::Values(UnreadableCase{"AFolderOfThatName", true, "it is a folder"},
                                           UnreadableCase{"NoReadPermission", false, "Permission denied"}),
                         [](const ::testing::TestParamInfo<UnreadableCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx3::cli
