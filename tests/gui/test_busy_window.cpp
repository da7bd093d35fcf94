// The real window while the Writer works: clicks during a chip action are dropped, not carried
// out afterwards; the window keeps painting and shows the job with its time; a Writer that never
// ends an action is given up after the time limit; a second close asks whether to close anyway.
#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <string>

#include "app/control_ids.h"
#include "program_window_test.h"
#include "support/image_builder.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace ctl = app::ctl;

// The sample without a rolling INI: its load opens no dialog after the file.
constexpr const char* kImageName = "VXHERON.VX3";
// How long the slow Writer takes over Auto Program.
constexpr qint64 kSlowActionMs = 1500;

class BusyWindowTest : public ProgramWindowTest {
 protected:
  void SetUp() override {
    context_.reporter.SetProgramDir(programDir_);
    const fs::path image = programDir_ / "samples" / kImageName;
    AnswerNext<QFileDialog>(&window_, [image](QFileDialog* dialog) { TypeFileName(dialog, image); });
    Click(ctl::kOneKeyLoad);
    ASSERT_TRUE(context_.image.loadOk) << window_.StatusText();
    ASSERT_TRUE(Button(ctl::kAutoProgram)->isEnabled());
  }

  void SimSettings(const std::string& text) { testing::WriteFileBytes(dir_.path() / "VX3USBOV3Wt.ini", text); }
  // Chips the Writer started to act on with Auto Program (its trace names each start once).
  int AutoProgramsStarted() {
    const std::string trace = testing::ReadFileBytes(dir_.path() / "VX3USBOV3Wt.trace");
    int count = 0;
    for (std::size_t at = trace.find("Auto Program (0x84), ROM"); at != std::string::npos;
         at = trace.find("Auto Program (0x84), ROM", at + 1)) {
      ++count;
    }
    return count;
  }
  int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }
  QString StatusLine() { return qobject_cast<QLabel*>(window_.Control(ctl::kStatusValue))->text(); }
};

TEST_F(BusyWindowTest, ClicksDuringAutoProgramAreDroppedAndTheWindowShowsTheJob) {
  const qint64 msPerKb = kSlowActionMs * 1024 / std::max<qint64>(context_.image.romBytes, 1);
  SimSettings("[Writer]\nTrace=1\n[Timing]\nProgramMsPerKB=" + std::to_string(msPerKb) + "\n");
  Button(ctl::kAutoProgram)->click();

  QElapsedTimer sinceLoop;
  sinceLoop.start();
  qint64 longestStall = 0;
  bool clicked = false;
  QString busyLine;
  while (presenter_.WriterJobActive()) {
    QApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    longestStall = std::max(longestStall, sinceLoop.restart());
    if (clicked) continue;
    clicked = true;
    busyLine = StatusLine();
    for (const int id : ctl::kWriterCommandButtons) EXPECT_FALSE(window_.Control(id)->isEnabled()) << id;
    // The production record's controls too: the job is writing the record they act on.
    EXPECT_FALSE(window_.Control(ctl::kResetCounters)->isEnabled());
    EXPECT_FALSE(window_.findChild<QAction*>(QStringLiteral("exportRecordAction"))->isEnabled());
    // A double click, and the other buttons, as an impatient operator presses them.
    for (const int id : {ctl::kAutoProgram, ctl::kAutoProgram, ctl::kBlankCheck, ctl::kRead, ctl::kProgram}) {
      Button(id)->click();
    }
    // A click that reached a handler all the same is dropped there.
    presenter_.OnAutoProgram();
    presenter_.OnBlankCheck();
    presenter_.OnRead();
    // The language switch is not a Writer command: it is carried out at once.
    Button(ctl::kChinese)->click();
    EXPECT_EQ(Text(ctl::kAutoProgram), QStringLiteral("自动烧录"));
    Button(ctl::kEnglish)->click();
  }
  WaitForWriterJobs();

  EXPECT_TRUE(busyLine.startsWith(QStringLiteral("Auto Program ... "))) << busyLine.toStdString();
  EXPECT_TRUE(busyLine.endsWith(QStringLiteral(" s"))) << busyLine.toStdString();
  EXPECT_EQ(AutoProgramsStarted(), 1);
  EXPECT_LT(longestStall, 250) << "the window's event loop stalled while the Writer worked";
  for (const int id : {ctl::kAutoProgram, ctl::kBlankCheck, ctl::kProgram, ctl::kVerify, ctl::kRead,
                       ctl::kResetCounters}) {
    EXPECT_TRUE(window_.Control(id)->isEnabled()) << id;
  }
  EXPECT_TRUE(window_.findChild<QAction*>(QStringLiteral("exportRecordAction"))->isEnabled());
  EXPECT_FALSE(StatusLine().contains(QStringLiteral(" ... "))) << StatusLine().toStdString();
  EXPECT_EQ(window_.StatusText().find("Err: "), std::string::npos) << window_.StatusText();
}

TEST_F(BusyWindowTest, AnActionThatNeverEndsIsGivenUpWithOneLine) {
  SimSettings("[Faults]\nHangAction=0x84\n");
  // Each round of the busy Writer takes a second of the test's clock.
  clock_.tick = std::chrono::seconds(1);
  Click(ctl::kAutoProgram);
  clock_.tick = std::chrono::milliseconds(0);

  const std::string status = window_.StatusText();
  EXPECT_EQ(Occurrences(status, "Err: The Writer did not finish Auto Program in 120 s\r\n"), 1) << status;
  EXPECT_EQ(status.find("OK"), std::string::npos) << status;
  EXPECT_TRUE(Button(ctl::kAutoProgram)->isEnabled());
}

TEST_F(BusyWindowTest, SecondCloseWhileTheWriterHangsAsksAndYesCloses) {
  SimSettings("[Faults]\nHangAction=0x84\n");
  Button(ctl::kAutoProgram)->click();
  QApplication::processEvents(QEventLoop::AllEvents, kPollMs);
  ASSERT_TRUE(presenter_.WriterJobActive());

  window_.close();
  EXPECT_TRUE(window_.isVisible());
  EXPECT_NE(window_.StatusText().find("Waiting for the Writer job to end"), std::string::npos);
  QString question;
  AnswerNext<QMessageBox>(&window_, [&question](QMessageBox* box) {
    question = box->text();
    box->button(QMessageBox::Yes)->click();
  });
  window_.close();
  EXPECT_EQ(question, QStringLiteral("The Writer is not answering. Close anyway? The Writer's EEPROM job may be "
                                     "incomplete."));
  EXPECT_FALSE(window_.isVisible());
  EXPECT_TRUE(presenter_.ClosedAnyway());
  EXPECT_NE(testing::ReadFileBytes(context_.reporter.logPath()).find("Closed while the Writer was not answering"),
            std::string::npos);
  // The hung action meets its time limit, so that the test can end.
  clock_.tick = std::chrono::seconds(1);
  WaitForWriterJobs();
}

}  // namespace
}  // namespace vx3::gui
