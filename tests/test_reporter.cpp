// Status lines, message boxes and the operation log.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/temp_dir.h"
#include "ui_text/message_box.h"
#include "ui_text/reporter.h"

namespace vx3::text {
namespace {

namespace fs = std::filesystem;
using testing::FakeClock;
using testing::FakeView;
using testing::ReadFileBytes;
using testing::TempDir;

const std::string kEol(kLogLineEnd);

// True when every character of `text` is whole (its lead byte and all its continuation bytes).
bool IsWholeUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

class ReporterTest : public ::testing::Test {
 protected:
  ReporterTest() : language_(dir_.path() / "language" / "UIEng.ini"), reporter_(language_, clock_) {
    fs::create_directory(dir_.path() / "Writer_Log");
    reporter_.SetProgramDir(dir_.path());
    reporter_.AttachView(&view_);
  }

  fs::path LogFile(const char* name = "WT12050803.LOG") const { return dir_.path() / "Writer_Log" / name; }
  void SetEventNumber(std::uint32_t number) {
    while (reporter_.eventNumber() < number) reporter_.OpenNewEvent();
  }

  TempDir dir_;
  FakeClock clock_;
  Language language_;
  Reporter reporter_;
  FakeView view_;
};

TEST(LogFormatTest, FileNameAndTimeLayout) {
  FakeClock clock;
  EXPECT_EQ(LogFileName(clock.LocalNow()), "WT12050803.LOG");
  EXPECT_EQ(CtimeText(clock.LocalNow()), "Sat Dec  5 08:03:16 2026");
  clock.Set(2027, 1, 12, 23, 59, 5);
  EXPECT_EQ(LogFileName(clock.LocalNow()), "WT01122359.LOG");
  EXPECT_EQ(CtimeText(clock.LocalNow()), "Tue Jan 12 23:59:05 2027");
}

TEST_F(ReporterTest, ErrorAndNoteLines) {
  reporter_.ReportStatus("USB not detected !!!", Severity::ErrorLine);
  reporter_.ReportStatus("Program OK", Severity::NoteLine);
  EXPECT_EQ(view_.status, "Err: USB not detected !!!\r\nProgram OK\r\n");
}

TEST_F(ReporterTest, WriterTextIsAppendedAsItStands) {
  reporter_.AppendStatusText("Blank check fail at ");
  reporter_.AppendStatusText("0010\r\n");
  EXPECT_EQ(view_.status, "Blank check fail at 0010\r\n");
}

// The transcript the record keeps of one action: whole while short; a long one keeps what the
// Writer said first and the lines that ended it, with how much was left out between.
TEST_F(ReporterTest, ALongTranscriptKeepsItsBeginningAndItsEnd) {
  reporter_.StartTranscript();
  reporter_.AppendStatusText("Blank check OK\r\n");
  EXPECT_EQ(reporter_.Transcript(), "Blank check OK\r\n");
  // A line of the window about itself is no part of the action.
  reporter_.ReportAside("Waiting for the Writer job to end, then the program closes ...", Severity::NoteLine);
  EXPECT_EQ(reporter_.Transcript(), "Blank check OK\r\n");
  EXPECT_NE(view_.status.find("Waiting for the Writer job"), std::string::npos);

  constexpr std::string_view kBusy = "Working ... \xE5\xB7\xA5\r\n";  // a character of three bytes in it
  constexpr int kRounds = 2000;
  for (int round = 0; round < kRounds; ++round) reporter_.AppendStatusText(kBusy);
  reporter_.ReportStatus("The Writer did not finish Auto Program in 120 s", Severity::ErrorLine);
  const std::string transcript = reporter_.Transcript();
  EXPECT_EQ(transcript.rfind("Blank check OK\r\nWorking ... ", 0), 0U);
  EXPECT_TRUE(transcript.ends_with("Err: The Writer did not finish Auto Program in 120 s\r\n")) << transcript;
  EXPECT_LE(transcript.size(), Reporter::kTranscriptMaxBytes + 64);
  const std::size_t gap = transcript.find(" bytes left out ...]\r\n");
  ASSERT_NE(gap, std::string::npos);
  const std::size_t numberAt = transcript.rfind("[... ", gap) + 5;
  const std::size_t leftOut = std::stoul(transcript.substr(numberAt, gap - numberAt));
  const std::size_t said = std::string_view("Blank check OK\r\n").size() + kRounds * kBusy.size() +
                           std::string_view("Err: The Writer did not finish Auto Program in 120 s\r\n").size();
  const std::size_t gapLine = transcript.find("\r\n", gap) + 2 - (numberAt - 7);
  EXPECT_EQ(transcript.size() - gapLine + leftOut, said);
  // Both parts are whole characters.
  EXPECT_TRUE(IsWholeUtf8(transcript));

  reporter_.StartTranscript();
  EXPECT_EQ(reporter_.Transcript(), "");
}

TEST_F(ReporterTest, ErrorPrefixIsLookedUpEachTime) {
  dir_.WriteFile("language/UIEng.ini", "[STRING TABLE]\r\nIDS_MESSAGE_Error=\"错误: \"\r\n");
  reporter_.ReportStatus("USB read data fail !!!", Severity::ErrorLine);
  EXPECT_EQ(view_.status, "错误: USB read data fail !!!\r\n");
}

TEST_F(ReporterTest, NoWindowNoStatusLines) {
  reporter_.AttachView(nullptr);
  reporter_.ReportStatus("Can't find VX3WT.EXE path", Severity::ErrorLine);
  reporter_.AppendStatusText("Program OK\r\n");
  reporter_.LogEvent(1, "USB Connect O.K");
  EXPECT_EQ(view_.status, "");
  EXPECT_EQ(ReadFileBytes(LogFile()), "USB Connect O.K" + kEol + kEol);
}

struct LogCase {
  int kind;
  std::uint32_t eventNumber;
  std::string text;
  std::vector<std::string> statusLines;  // "%s" stands for the log path
  bool numbered;
};

class LogEventTest : public ReporterTest, public ::testing::WithParamInterface<LogCase> {};

TEST_P(LogEventTest, StatusLinesEntryAndEventNumber) {
  const LogCase& c = GetParam();
  SetEventNumber(c.eventNumber);
  reporter_.LogEvent(c.kind, c.text);

  const std::string path = LogFile().string();
  std::string expectedStatus;
  for (std::string line : c.statusLines) {
    if (const auto at = line.find("%s"); at != std::string::npos) line.replace(at, 2, path);
    expectedStatus += line + "\r\n";
  }
  EXPECT_EQ(view_.status, expectedStatus);
  const std::string number = fmt::format("{:05d}", c.eventNumber);
  const std::string entry = c.numbered ? number + "    Sat Dec  5 08:03:16 2026" + kEol + kEol + c.text + kEol + kEol
                                       : c.text + kEol + kEol;
  EXPECT_EQ(ReadFileBytes(LogFile()), entry);
  EXPECT_EQ(reporter_.eventNumber(), c.numbered ? c.eventNumber + 1 : c.eventNumber);
  EXPECT_EQ(reporter_.logPath(), LogFile());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LogEventTest,
    ::testing::Values(
        LogCase{1, 3, "USB Connect O.K", {"USB Connect O.K"}, false},
        LogCase{0, 3, "The EPROM check sum is 1A2B", {"The EPROM check sum is 1A2B"}, false},
        LogCase{2, 7, "Chip type 5 programmed", {}, true},
        LogCase{3, 12, "IC or socket problem at 0010",
                {"Error !! IC or Socket has some problems !!",
                 "   (Check item 12 of %s for detailed information)"},
                true},
        LogCase{9, 4, "EEPROM verify fail at block 3",
                {"EEPROM has some problems !!", "   (Check %s for detailed information)"}, true},
        LogCase{15, 1, "Only .BIN", {"Device only supports \".BIN\" file !!", "   (Check %s for detailed information)"},
                true}),
    [](const auto& info) { return "kind" + std::to_string(info.param.kind); });

TEST_F(ReporterTest, TheFileNameStaysForTheWholeRunEvenAfterMidnight) {
  reporter_.LogEvent(1, "first");
  clock_.Set(2026, 12, 6, 0, 1, 0);
  reporter_.LogEvent(2, "second");
  EXPECT_FALSE(fs::exists(LogFile("WT12060001.LOG")));
  EXPECT_EQ(ReadFileBytes(LogFile()), "first" + kEol + kEol + "00001    Sun Dec  6 00:01:00 2026" + kEol + kEol +
                                          "second" + kEol + kEol);
}

TEST_F(ReporterTest, AMissingLogFolderLosesTheEntryButNotTheStatusLines) {
  fs::remove(dir_.path() / "Writer_Log");
  dir_.WriteFile("Writer_Log", "a file where the folder should be");
  reporter_.LogEvent(9, "EEPROM fail");
  EXPECT_EQ(view_.status, "EEPROM has some problems !!\r\n   (Check " + LogFile().string() +
                              " for detailed information)\r\n");
  EXPECT_EQ(reporter_.eventNumber(), 2u);
}

TEST_F(ReporterTest, ALongProgramFolderStillGetsItsLog) {
  fs::path deep = dir_.path();
  for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
  fs::create_directories(deep / "Writer_Log");
  reporter_.SetProgramDir(deep);
  reporter_.LogEvent(1, "USB Connect O.K");
  EXPECT_GT(reporter_.logPath().string().size(), 260u);
  EXPECT_EQ(ReadFileBytes(deep / "Writer_Log" / "WT12050803.LOG"), "USB Connect O.K" + kEol + kEol);
}

TEST_F(ReporterTest, ALongEntryIsWrittenWhole) {
  const std::string text(20000, 'L');
  reporter_.LogEvent(1, text);
  EXPECT_EQ(ReadFileBytes(LogFile()), text + kEol + kEol);
}

TEST_F(ReporterTest, MessageBoxesCaptionsAndOrder) {
  view_.answers = {answer::kYes};
  EXPECT_EQ(reporter_.ShowMessage("Overwrite?", box::kYesNo | box::kIconQuestion), answer::kYes);
  reporter_.WarnAndReport("The .VX3 file format is unknown !!!");
  reporter_.WarnAndLog(12, "Header damaged");
  ASSERT_EQ(view_.messages.size(), 3u);
  EXPECT_EQ(view_.messages[0].caption, "Writer");
  EXPECT_EQ(view_.messages[0].type, box::kYesNo | box::kIconQuestion);
  EXPECT_EQ(view_.messages[1].caption, "VX3WT");
  EXPECT_EQ(view_.messages[1].type, box::kOk | box::kIconExclamation);
  EXPECT_EQ(view_.messages[2].text, "Header damaged");
  EXPECT_EQ(view_.status, "Err: The .VX3 file format is unknown !!!\r\n.VX3 file has some problems !!\r\n"
                          "   (Check " + LogFile().string() + " for detailed information)\r\n");
  EXPECT_NE(ReadFileBytes(LogFile()).find("Header damaged"), std::string::npos);
}

}  // namespace
}  // namespace vx3::text
