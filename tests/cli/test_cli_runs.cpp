// Whole runs of the command line: a batch of chips with a serial each, the same packets on the
// wire as the window sends, the read-back listing, the operator's texts, and Ctrl-C.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include "app/main_presenter.h"
#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "platform/clock.h"
#include "platform/machine_id.h"
#include "platform/thread_locale.h"
#include "support/code_page_text.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/test_ledger.h"

namespace vx3::cli {
namespace {

namespace fs = std::filesystem;
using testing::CliFolder;
using testing::CliRunResult;

// The chips of the batch test; the README names the variable for the full thousand.
constexpr std::string_view kChipCountVariable = "VX3WT_CLI_CHIPS";
constexpr int kDefaultChips = 20;
constexpr std::string_view kTraceFile = "VX3USBOV3Wt.trace";
constexpr std::string_view kChipsFile = "VX3USBOV3Wt.chips";
// Rows of the read-back listing: the VX3P1020's ROM of 2,048 words in 16-byte rows.
constexpr std::size_t kListingRows = 2048 * 2 / 16;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int ChipCount() {
  const char* text = std::getenv(std::string(kChipCountVariable).c_str());
  const int count = text == nullptr ? 0 : std::atoi(text);
  return count > 0 ? count : kDefaultChips;
}

TEST(CliRunTest, EveryChipOfABatchIsRecordedWithASerialOfItsOwn) {
  CliFolder folder;
  ASSERT_EQ(folder.Run("load samples/VX3P1020.VX3 --json").exitCode, 0);
  const int chips = ChipCount();
  const CliRunResult run = folder.Run("auto-program --count " + std::to_string(chips) + " --no-wait --json");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

  const std::vector<std::string> events = run.Events("chip");
  ASSERT_EQ(events.size(), static_cast<std::size_t>(chips));
  std::set<std::string> serials;
  for (int i = 0; i < chips; ++i) {
    const nlohmann::json chip = nlohmann::json::parse(events[static_cast<std::size_t>(i)]);
    EXPECT_EQ(chip["index"], i + 1);
    EXPECT_EQ(chip["result"], "pass");
    ASSERT_TRUE(chip["serial"].is_string()) << events[static_cast<std::size_t>(i)];
    // The Writer's run of values: 0000 1000 on.
    EXPECT_EQ(std::stoul(chip["serial"].get<std::string>(), nullptr, 16), 0x1000U + static_cast<unsigned>(i));
    serials.insert(chip["serial"].get<std::string>());
  }
  EXPECT_EQ(serials.size(), static_cast<std::size_t>(chips));

  // What the Writer says each chip got is what the record says.
  const std::vector<std::string> programmed = Lines(ReadAll(folder.simDir() / kChipsFile));
  ASSERT_EQ(programmed.size(), static_cast<std::size_t>(chips));
  for (const std::string& line : programmed) {
    EXPECT_NE(line.find("\tPASS"), std::string::npos) << line;
  }
  const CliRunResult stats = folder.Run("ledger stats --json");
  ASSERT_EQ(stats.exitCode, 0) << stats.err;
  const nlohmann::json counters = nlohmann::json::parse(stats.Events("stats").at(0));
  EXPECT_EQ(counters["job"]["done"], chips);
  EXPECT_EQ(counters["job"]["passed"], chips);
  EXPECT_EQ(counters["job"]["last_serial"], *serials.rbegin());
  EXPECT_NE(ReadAll(folder.programDir() / "Writer_Log" / "cli_session.ini").find("Job=1"), std::string::npos);
}

// The window's side is the presenter on a scripted view: every packet the window sends comes from
// the presenter and the core, the Qt window only forwards the clicks and shows what it is told.
TEST(CliRunTest, WindowAndCommandLineSendTheSamePacketsForALoad) {
  CliFolder window;
  CliFolder commandLine;
  {
    platform::StandInThreadLocale locale;
    platform::SystemClock clock;
    app::AppContext context(locale, clock);
    context.ledgerOpener = testing::LedgerOpenerForTests();
    testing::SetSimFolder(window.simDir());
    locale.Set(platform::kLocaleEnglishUs);
    context.state.programPath = window.programDir() / "vx3wt";
    context.state.programDir = window.programDir();
    context.reporter.SetProgramDir(window.programDir());
    testing::FakeView view;
    view.rollingScript = [](rolling::RollingDialog&, testing::FakeView::RollingControls&) { return true; };
    app::MainPresenter presenter(context, view);
    presenter.OnInitWindow();
    view.fileAnswers.push_back(window.Sample("VX3P1020.VX3"));
    presenter.OnOneKeyLoad();
    presenter.WaitForWriterJobs();
    ASSERT_EQ(context.state.lastResult.load(), app::CommandResult::Ok) << view.status;
    testing::SetSimFolder("");
  }
  const CliRunResult run = commandLine.Run("load samples/VX3P1020.VX3");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

  const std::string windowTrace = ReadAll(window.simDir() / kTraceFile);
  EXPECT_GT(Lines(windowTrace).size(), 100U);
  EXPECT_EQ(windowTrace, ReadAll(commandLine.simDir() / kTraceFile));
}

TEST(CliRunTest, ReadWritesTheWholeListingAndShowsTheChecksum) {
  CliFolder folder;
  ASSERT_EQ(folder.Run("load samples/VX3P1020.VX3").exitCode, 0);
  folder.SimSettings("[Chip]\nContent=job\n");
  const CliRunResult run = folder.Run("read --out listing.txt");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("OTP Check Sum :   F158"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Read-back listing written to listing.txt\n"), std::string::npos) << run.out;
  const std::vector<std::string> listing = Lines(ReadAll(folder.programDir() / "listing.txt"));
  ASSERT_EQ(listing.size(), kListingRows);
  // The rows, not the status lines around them.
  for (const std::string& row : listing) EXPECT_EQ(row.find("Check "), std::string::npos) << row;
}

// --version answers with one line and success, alone or before a command.
TEST(CliRunTest, VersionIsOneLineAndSuccess) {
  CliFolder folder;
  for (const char* args : {"--version", "--version info samples/VX3P1020.VX3"}) {
    const CliRunResult run = folder.Run(args);
    EXPECT_EQ(run.exitCode, 0) << args << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("vx3wt-cli [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << args << run.out;
    EXPECT_EQ(run.err, "") << args;
  }
}

TEST(CliRunTest, InfoShowsTheImageInTheOperatorsWords) {
  CliFolder folder;
  const CliRunResult run = folder.Run("info samples/VX3P1020.VX3");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string expected =
      "Device           : VX3P1020\n"
      "File             : samples/VX3P1020.VX3\n"
      "Checksum         : F158\n"
      "Secured checksum : 725C\n"
      "Security         : disabled\n"
      "Format version   : 6\n"
      "Rolling code     : auto-inc at 0x101, 2 words, L2H, value 0000 1000 , step 0000 0001 \n";
  ASSERT_GE(run.out.size(), expected.size());
  EXPECT_EQ(run.out.substr(run.out.size() - expected.size()), expected);

  const CliRunResult json = folder.Run("info samples/VX3P1020.VX3 --json");
  const std::vector<std::string> image = json.Events("image");
  ASSERT_EQ(image.size(), 1U) << json.out;
  EXPECT_EQ(image[0],
            "{\"event\":\"image\",\"device\":\"VX3P1020\",\"file\":\"samples/VX3P1020.VX3\",\"checksum\":\"F158\","
            "\"secured_checksum\":\"725C\",\"security\":false,\"rom_words\":2048,\"format_version\":6,"
            "\"rolling\":{\"on\":true,\"method\":\"auto-inc\",\"address\":\"0x101\",\"word_length\":2,"
            "\"order\":\"L2H\",\"value\":\"0000 1000 \",\"step\":\"0000 0001 \",\"verify_without_rolling\":false,"
            "\"ini\":\"samples/VX3P1020.INI\"}}");
}

TEST(CliRunTest, TextsComeFromTheLanguageFileAskedFor) {
  CliFolder folder;
  const CliRunResult english = folder.Run("auto-program --no-wait");
  EXPECT_EQ(english.exitCode, ToInt(ExitCode::NotLoaded));
  EXPECT_EQ(english.err, "Nothing is loaded for the Writer: run \"vx3wt-cli load IMAGE\" first.\n");
  const CliRunResult chinese = folder.Run("auto-program --no-wait --lang zh");
  EXPECT_EQ(chinese.exitCode, ToInt(ExitCode::NotLoaded));
  EXPECT_EQ(chinese.err, "尚未载入任何映像文件：请先执行 \"vx3wt-cli load 映像文件\"。\n");
}

// The Chinese file saved in GBK reads as the UTF-8 one. Damaged in one value, that text is the
// built-in English one, and one status line says so before anything else.
TEST(CliRunTest, ALanguageFileInGbkReadsAndOneInNeitherEncodingIsSaid) {
  CliFolder folder;
  const fs::path file = folder.programDir() / "language" / "UIChina.ini";
  const std::optional<std::string> gbk = testing::Utf8ToCodePage(ReadAll(file), platform::LegacyCodePage::Gbk);
  ASSERT_TRUE(gbk.has_value());
  testing::WriteFileBytes(file, *gbk);
  const CliRunResult readable = folder.Run("auto-program --no-wait --lang zh");
  EXPECT_EQ(readable.exitCode, ToInt(ExitCode::NotLoaded));
  EXPECT_EQ(readable.err, "尚未载入任何映像文件：请先执行 \"vx3wt-cli load 映像文件\"。\n");
  EXPECT_EQ(readable.out, "");

  testing::WriteFileBytes(file, testing::InsertAfter(*gbk, "\nIDS_Cli_NothingLoaded=", "\xFF"));
  const std::string warning = "语言文件 UIChina.ini 中有些行既不是 UTF-8 也不是 GBK：这些行的文字以英文显示。";
  const CliRunResult damaged = folder.Run("auto-program --no-wait --lang zh");
  EXPECT_EQ(damaged.exitCode, ToInt(ExitCode::NotLoaded));
  EXPECT_EQ(damaged.err, "Nothing is loaded for the Writer: run \"vx3wt-cli load IMAGE\" first.\n");
  EXPECT_EQ(damaged.out, warning + "\n");
  const CliRunResult json = folder.Run("auto-program --no-wait --lang zh --json");
  EXPECT_EQ(json.Events("status"), std::vector<std::string>{"{\"event\":\"status\",\"text\":\"" + warning + "\"}"});
  // The English file in force is read whole: nothing to say.
  EXPECT_EQ(folder.Run("auto-program --no-wait").out, "");
}

TEST(CliRunTest, TheImageChangedSinceTheLoadIsRefused) {
  CliFolder folder;
  ASSERT_EQ(folder.Run("load samples/VX3P1020.VX3").exitCode, 0);
  const fs::path image = folder.Sample("VX3P1020.VX3");
  std::string bytes = ReadAll(image);
  bytes[bytes.size() - 3] = static_cast<char>(bytes[bytes.size() - 3] ^ 0x01);
  std::ofstream(image, std::ios::binary | std::ios::trunc) << bytes;
  const CliRunResult run = folder.Run("auto-program --no-wait");
  EXPECT_EQ(run.exitCode, ToInt(ExitCode::ImageError));
  EXPECT_NE(run.err.find("has changed since it was loaded into the Writer: load it again."), std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(folder.simDir() / kChipsFile));
}

TEST(CliRunTest, EnterPutsTheNextChipInAndTheEndOfInputStopsTheBatch) {
  CliFolder folder;
  ASSERT_EQ(folder.Run("load samples/VX3P1020.VX3").exitCode, 0);
  const CliRunResult all = folder.Run("auto-program --count 3 --json", "\n\n");
  EXPECT_EQ(all.exitCode, 0) << all.out << all.err;
  EXPECT_EQ(all.Events("prompt").size(), 2U);
  EXPECT_EQ(all.Events("chip").size(), 3U);
  const CliRunResult cut = folder.Run("auto-program --count 3 --json", "\n");
  EXPECT_EQ(cut.exitCode, ToInt(ExitCode::Interrupted)) << cut.out;
  EXPECT_EQ(cut.Events("chip").size(), 2U);
}

// Ctrl-C while the batch waits for the next chip: the chip done stays recorded, the run ends
// with its own code and a summary of what passed.
TEST(CliRunTest, CtrlCBetweenChipsStopsTheBatchWithItsCode) {
  CliFolder folder;
  ASSERT_EQ(folder.Run("load samples/VX3P1020.VX3").exitCode, 0);
  int toChild[2];
  int fromChild[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(fromChild), 0);
  const std::string program = (folder.programDir() / "vx3wt-cli").string();
  const std::string simVariable = "VX3WT_SIM_DIR=" + folder.simDir().string();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(toChild[0], STDIN_FILENO);
    dup2(fromChild[1], STDOUT_FILENO);
    close(toChild[1]);
    close(fromChild[0]);
    if (chdir(folder.programDir().c_str()) != 0) _exit(127);
    putenv(const_cast<char*>(simVariable.c_str()));
    execl(program.c_str(), program.c_str(), "auto-program", "--count", "3", "--json", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  // The batch asks for the second chip: it is waiting for Enter now.
  std::string out;
  char buffer[4096];
  while (out.find("\"event\":\"prompt\"") == std::string::npos) {
    const ssize_t got = read(fromChild[0], buffer, sizeof buffer);
    ASSERT_GT(got, 0) << out;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  kill(child, SIGINT);
  for (ssize_t got = read(fromChild[0], buffer, sizeof buffer); got > 0; got = read(fromChild[0], buffer, sizeof buffer)) {
    out.append(buffer, static_cast<std::size_t>(got));
  }
  int status = 0;
  waitpid(child, &status, 0);
  close(toChild[1]);
  close(fromChild[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), ToInt(ExitCode::Interrupted)) << out;
  EXPECT_NE(out.find("{\"event\":\"summary\",\"command\":\"auto-program\",\"exit_code\":12,\"result\":\"interrupted\","
                     "\"chips\":1,\"passed\":1,\"failed\":0,\"unknown\":0,\"not_run\":0,\"no_chip\":0}"),
            std::string::npos)
      << out;
  const CliRunResult stats = folder.Run("ledger stats --json");
  EXPECT_NE(stats.out.find("\"job\":{\"done\":1,\"passed\":1"), std::string::npos) << stats.out;
}

// The serials of a batch's chip events, in order.
std::vector<std::string> SerialsOf(const CliRunResult& run) {
  std::vector<std::string> serials;
  for (const std::string& line : run.Events("chip")) {
    const nlohmann::json chip = nlohmann::json::parse(line);
    if (chip["serial"].is_string()) serials.push_back(chip["serial"].get<std::string>());
  }
  return serials;
}

// A program folder copied as PCs are set up (cp -a, after a load and some chips) holds the
// original's record: it sends nothing to the Writer until it is adopted, then it is a station
// of its own, and the original goes on.
TEST(CliRunTest, ACopiedProgramFolderIssuesNothingUntilItIsAdopted) {
  if (!testing::kBuildKeepsRecord) GTEST_SKIP() << "this build keeps no production record";
  CliFolder folder;
  ASSERT_EQ(folder.Run("load samples/VX3P1020.VX3").exitCode, 0);
  const CliRunResult first = folder.Run("auto-program --count 3 --no-wait --json");
  ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
  const std::vector<std::string> original = SerialsOf(first);
  ASSERT_EQ(original, (std::vector<std::string>{"00001000", "00001001", "00001002"}));

  const fs::path copy = folder.programDir().parent_path() / "Copied station";
  ASSERT_EQ(std::system(("cp -a '" + folder.programDir().string() + "' '" + copy.string() + "'").c_str()), 0);
  const std::string chipsBefore = ReadAll(folder.simDir() / kChipsFile);
  const std::string machine = platform::MachineId();
  const std::string where =
      (machine.empty() ? std::string("made at ")
                       : "made on machine " + machine.substr(0, 8) + (machine.size() > 8 ? "..." : "") + " at ") +
      fs::weakly_canonical(folder.programDir() / "Writer_Log" / "production.db").string();

  const CliRunResult refused = folder.RunIn(copy, "auto-program --no-wait");
  EXPECT_EQ(refused.exitCode, ToInt(ExitCode::SerialRefused)) << refused.out << refused.err;
  const std::string note = "This production record was made on another PC or in another folder (" + where +
                           "): it gives no serial numbers until it is adopted as a new station.";
  const std::string line =
      "Err: Serial numbers cannot be recorded: the production record is a copy (" + where +
      ") and gives no serial numbers until it is adopted as a new station (answer Yes at the start of the program, "
      "or run \"vx3wt-cli ledger adopt\"). Auto Program is stopped so that no value is used twice.";
  const std::vector<std::string> lines = Lines(refused.out);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), note), 1) << refused.out;
  EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << refused.out;
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("Err: "); }), 1)
      << refused.out;
  EXPECT_EQ(ReadAll(folder.simDir() / kChipsFile), chipsBefore);
  // Nothing to send either: the rows queued are the original's.
  EXPECT_EQ(folder.RunIn(copy, "ledger sync").exitCode, ToInt(ExitCode::SerialRefused));

  const CliRunResult adopted = folder.RunIn(copy, "ledger adopt --station 'Copied station' --json");
  ASSERT_EQ(adopted.exitCode, 0) << adopted.out << adopted.err;
  EXPECT_EQ(adopted.Events("adopt"),
            (std::vector<std::string>{"{\"event\":\"adopt\",\"adopted\":true,\"text\":\"The production record is now a "
                                      "new station here: its rows before stay as history, and its serial values are "
                                      "never given again.\"}"}));
  EXPECT_NE(ReadAll(copy / "Writer_Log" / "production.ini").find("Station=Copied station"), std::string::npos);
  const CliRunResult again = folder.RunIn(copy, "ledger adopt");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.out, "The production record was made here: it is no copy, and nothing was changed.\n");

  const CliRunResult copied = folder.RunIn(copy, "auto-program --count 2 --no-wait --json");
  ASSERT_EQ(copied.exitCode, 0) << copied.out << copied.err;
  const std::vector<std::string> copySerials = SerialsOf(copied);
  ASSERT_EQ(copySerials.size(), 2U);
  for (const std::string& serial : copySerials) {
    EXPECT_EQ(std::count(original.begin(), original.end(), serial), 0) << serial;
  }
  EXPECT_EQ(Lines(ReadAll(folder.simDir() / kChipsFile)).size(), 5U);

  // The original is at home and goes on.
  const CliRunResult later = folder.Run("auto-program --no-wait --json");
  ASSERT_EQ(later.exitCode, 0) << later.out << later.err;
  ASSERT_EQ(SerialsOf(later).size(), 1U);
  EXPECT_EQ(std::count(copySerials.begin(), copySerials.end(), SerialsOf(later)[0]), 0);
  EXPECT_EQ(later.out.find("another PC"), std::string::npos) << later.out;
}

}  // namespace
}  // namespace vx3::cli
