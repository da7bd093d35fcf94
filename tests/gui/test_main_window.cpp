// The Qt main window with its presenter and the shipped language files, offscreen.
#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QAction>
#include <QDialog>
#include <gtest/gtest.h>

#include "support/test_ledger.h"
#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "gui/main_window.h"
#include "gui/progress_dialog.h"
#include "ui_text/message_box.h"
#include "support/fake_clock.h"

namespace vx3::gui {
namespace {

namespace ctl = app::ctl;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : context_(locale_, clock_), presenter_(context_, window_) {
    context_.ledgerOpener = testing::LedgerOpenerForTests();
    locale_.Set(platform::kLocaleEnglishUs);
    context_.state.programPath = std::filesystem::path(VX3WT_PROGRAM_DIR) / "vx3wt";
    context_.state.programDir = VX3WT_PROGRAM_DIR;
    window_.ConnectPresenter(presenter_);
    presenter_.OnInitWindow();
    window_.show();
  }

  QWidget* Control(int id) { return window_.Control(id); }
  QAbstractButton* Button(int id) { return qobject_cast<QAbstractButton*>(Control(id)); }

  // Every visible caption fits its control: nothing is clipped in the language in force.
  void ExpectNoClippedCaptions() {
    for (QWidget* widget : window_.findChildren<QWidget*>()) {
      if (!widget->isVisible()) continue;
      const QFontMetrics metrics(widget->font());
      const QString name = widget->objectName();
      if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        EXPECT_LE(metrics.horizontalAdvance(group->title()) + 16, group->width()) << name.toStdString();
      } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        EXPECT_LE(radio->sizeHint().width(), radio->width()) << name.toStdString();
      } else if (auto* push = qobject_cast<QPushButton*>(widget); push != nullptr && !push->text().isEmpty()) {
        EXPECT_LE(metrics.horizontalAdvance(push->text()) + 8, push->width()) << name.toStdString();
      } else if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && !label->text().isEmpty()) {
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << name.toStdString();
        EXPECT_LE(metrics.height(), label->height() + 2) << name.toStdString();
      }
    }
  }

  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  app::AppContext context_;
  MainWindow window_;
  app::MainPresenter presenter_;
};

TEST_F(MainWindowTest, StartState) {
  EXPECT_EQ(window_.windowTitle(), "vx3wt");
  for (const int id : ctl::kOperationButtons) {
    EXPECT_FALSE(Control(id)->isEnabled()) << id;
    EXPECT_TRUE(Control(id)->isVisible()) << id;
  }
  for (const int id : {ctl::kDeviceLoad, ctl::kOneKeyLoad, ctl::kFunction0, ctl::kFunction6, ctl::kChinese,
                       ctl::kEnglish, ctl::kStatusBox}) {
    EXPECT_TRUE(Control(id)->isEnabled() && Control(id)->isVisible()) << id;
  }
  for (const int id : {ctl::kLoadOtp, ctl::kProgramMcu, ctl::kOperateEeprom, ctl::kChooseDevice, ctl::kLoadVx3,
                       ctl::kAbout, ctl::kIcon}) {
    EXPECT_FALSE(Control(id)->isVisible()) << id;
  }
  EXPECT_TRUE(Button(ctl::kFunction6)->isChecked());
  EXPECT_FALSE(Button(ctl::kFunction0)->isChecked());
  EXPECT_EQ(window_.ControlText(ctl::kDeviceLoad), "Device / Load VX3");
  EXPECT_EQ(window_.ControlText(ctl::kFileName), "-----");
  EXPECT_EQ(window_.ControlText(ctl::kStatusValue), "------");
  EXPECT_EQ(window_.ControlText(ctl::kDeviceName), "");
  EXPECT_EQ(window_.StatusText(), "This program can download VX3 file into the Orvel Writer !!!\r\n\r\n"
                                  "Orvel Writer website: https://www.orvel.example/writer/download");
  EXPECT_EQ(window_.ControlText(ctl::kOneKeyLoad), "OneKeyLoadVX3");
  EXPECT_FALSE(window_.windowIcon().pixmap(32, 32).isNull());
  auto* statusBox = qobject_cast<QPlainTextEdit*>(Control(ctl::kStatusBox));
  ASSERT_NE(statusBox, nullptr);
  EXPECT_TRUE(statusBox->isReadOnly());
  EXPECT_EQ(statusBox->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  const QFontMetrics fixed(statusBox->font());
  EXPECT_EQ(fixed.horizontalAdvance(QStringLiteral("iiii")), fixed.horizontalAdvance(QStringLiteral("WWWW")));
}

TEST_F(MainWindowTest, LayoutKeepsTheDialogUnitProportions) {
  const QRect window = window_.rect();
  const QRect statusBox = Control(ctl::kStatusBox)->geometry();
  // The historic 501 x 308 units, and the production record's band under them.
  EXPECT_EQ(window.size(), window_.DialogUnitsToPixels(0, 0, 501, 388).size());
  EXPECT_EQ(statusBox, window_.DialogUnitsToPixels(153, 63, 340, 231));
  for (QWidget* widget : window_.findChildren<QWidget*>()) {
    if (widget->parent() == &window_ && widget->isVisible()) {
      EXPECT_TRUE(window.contains(widget->geometry())) << widget->objectName().toStdString();
    }
  }
}

TEST_F(MainWindowTest, FunctionRadiosAndLanguageButtons) {
  Button(ctl::kFunction0)->click();
  EXPECT_EQ(context_.state.offlineFunction, app::kOfflineFunction0);
  EXPECT_FALSE(Button(ctl::kFunction6)->isChecked());

  Button(ctl::kChinese)->click();
  EXPECT_FALSE(context_.state.isEnglish);
  EXPECT_TRUE(Button(ctl::kFunction0)->isChecked());
  EXPECT_EQ(context_.state.offlineFunction, app::kOfflineFunction0);
  EXPECT_NE(window_.ControlText(ctl::kDeviceLoad), "Device / Load VX3");
  EXPECT_NE(window_.StatusText().find("VX3"), std::string::npos);

  Button(ctl::kEnglish)->click();
  EXPECT_TRUE(context_.state.isEnglish);
  EXPECT_EQ(window_.ControlText(ctl::kDeviceLoad), "Device / Load VX3");
  Button(ctl::kFunction6)->click();
  EXPECT_EQ(context_.state.offlineFunction, app::kOfflineFunction6);
  EXPECT_FALSE(Button(ctl::kFunction0)->isChecked());
}

TEST_F(MainWindowTest, NoCaptionIsClippedInEitherLanguage) {
  ExpectNoClippedCaptions();
  Button(ctl::kChinese)->click();
  ExpectNoClippedCaptions();
}

// The file name label keeps the end of a long path, the file name, in view: cut at the left, the
// whole path its tool tip and what the window reads back.
TEST_F(MainWindowTest, TheFileNameLabelShowsTheEndOfALongPath) {
  auto* label = qobject_cast<QLabel*>(Control(ctl::kFileName));
  ASSERT_NE(label, nullptr);
  const QFontMetrics metrics(label->font());
  struct PathCase {
    const char* name;
    const char* path;
    const char* end;  // what the shown text ends with; nullptr: the path is shown whole
  };
  const PathCase cases[] = {
      {"long Windows path",
       "C:\\Users\\operator\\Documents\\Production lines\\Line 3 remote 433 MHz\\Customer ACME\\2026 December\\"
       "firmware release candidates\\approved\\IMAGE.VX3",
       "\\approved\\IMAGE.VX3"},
      {"long path of Chinese folders",
       "/home/operator/生产线/三号线 遥控器 433 MHz/客户 ACME/2026 年 12 月/固件发布候选版本/已批准的版本/"
       "VX3P1020.VX3",
       "/VX3P1020.VX3"},
      {"long path without separators near its end",
       "/srv/images/VX3P1020_customer_ACME_line_3_remote_433_MHz_release_candidate_2026_12_approved_by_quality_"
       "final.VX3",
       "_final.VX3"},
      {"short path", "D:\\IMAGE.VX3", nullptr},
      {"nothing loaded", "-----", nullptr},
  };
  for (const PathCase& c : cases) {
    const QString path = QString::fromUtf8(c.path);
    window_.SetControlText(ctl::kFileName, c.path);
    EXPECT_EQ(window_.ControlText(ctl::kFileName), c.path) << c.name;
    EXPECT_EQ(label->toolTip(), path) << c.name;
    EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width()) << c.name;
    if (c.end == nullptr) {
      EXPECT_EQ(label->text(), path) << c.name;
      continue;
    }
    const QString shown = label->text();
    EXPECT_TRUE(shown.endsWith(QString::fromUtf8(c.end))) << c.name << ": " << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(QChar(0x2026)) || shown.startsWith(QStringLiteral("..."))) << c.name;
    // Cut at the left only: what is shown after the ellipsis is the path's own end.
    EXPECT_TRUE(path.endsWith(shown.mid(shown.startsWith(QChar(0x2026)) ? 1 : 3))) << c.name;
    EXPECT_LT(shown.size(), path.size()) << c.name;
  }
}

TEST_F(MainWindowTest, TheFileNameLabelElidesAgainWhenItIsResized) {
  auto* label = qobject_cast<QLabel*>(Control(ctl::kFileName));
  ASSERT_NE(label, nullptr);
  const QString path = QStringLiteral("/home/operator/production/line 3/remote 433 MHz/customer ACME/2026 December/"
                                      "firmware release candidates/IMAGE.VX3");
  window_.SetControlText(ctl::kFileName, path.toStdString());
  const QString narrow = label->text();
  ASSERT_NE(narrow, path);
  const QSize size = label->size();
  label->resize(QFontMetrics(label->font()).horizontalAdvance(path) + 20, size.height());
  EXPECT_EQ(label->text(), path);
  label->resize(size.width() / 2, size.height());
  EXPECT_TRUE(label->text().endsWith(QStringLiteral("/IMAGE.VX3"))) << label->text().toStdString();
  EXPECT_LT(label->text().size(), narrow.size());
  label->resize(size);
  EXPECT_EQ(label->text(), narrow);
  EXPECT_EQ(window_.ControlText(ctl::kFileName), path.toStdString());
}

// Long status lines wrap at the box's width, a sentence between its words and a long path
// anywhere, and nothing scrolls sideways. The text read back is the text given.
TEST_F(MainWindowTest, LongStatusLinesWrapWithoutASidewaysScrollBar) {
  auto* box = qobject_cast<QPlainTextEdit*>(Control(ctl::kStatusBox));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  const std::string sentence =
      "Err: The production record cannot be used: the record file is locked by another program on this PC. "
      "Commands that write a serial number are stopped.";
  const std::string path = "Read-back listing written to /home/operator/production_lines/line_3_remote_433_MHz/"
                           "customer_ACME/2026_December/firmware_release_candidates/approved/VX3P1020.BBB";
  window_.SetStatusText("");
  context_.reporter.ReportStatus(sentence, text::Severity::NoteLine);
  context_.reporter.ReportStatus(path, text::Severity::NoteLine);
  QCoreApplication::processEvents();
  EXPECT_FALSE(box->horizontalScrollBar()->isVisible());
  EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(window_.StatusText(), sentence + "\r\n" + path + "\r\n");
  // Each line takes more than one row of the box.
  const QTextDocument* document = box->document();
  ASSERT_EQ(document->blockCount(), 3);  // the two lines and the empty one after the last line end
  for (int block = 0; block < 2; ++block) {
    EXPECT_GT(document->findBlockByNumber(block).lineCount(), 1) << block;
  }
  // The sentence breaks between words: every row but the last ends at a space.
  const QTextBlock first = document->findBlockByNumber(0);
  const QString firstText = first.text();
  for (int row = 0; row + 1 < first.layout()->lineCount(); ++row) {
    const QTextLine line = first.layout()->lineAt(row);
    EXPECT_EQ(firstText.at(line.textStart() + line.textLength() - 1), QLatin1Char(' ')) << row;
  }
}

TEST_F(MainWindowTest, StatusLinesAreAppended) {
  window_.SetStatusText("");
  for (int i = 0; i < 1000; ++i) context_.reporter.ReportStatus("line " + std::to_string(i), text::Severity::NoteLine);
  const std::string text = window_.StatusText();
  EXPECT_EQ(text.substr(0, 16), "line 0\r\nline 1\r\n");
  EXPECT_EQ(text.substr(text.size() - 10), "line 999\r\n");
}

TEST_F(MainWindowTest, ALineShowsAtOnceAndABurstShowsWhenTheEventLoopRuns) {
  auto* box = qobject_cast<QPlainTextEdit*>(Control(ctl::kStatusBox));
  window_.SetStatusText("");
  context_.reporter.ReportStatus("first", text::Severity::NoteLine);
  EXPECT_EQ(box->toPlainText(), "first\n");  // in the box at once, without the event loop
  for (int i = 0; i < 500; ++i) context_.reporter.ReportStatus("burst", text::Severity::NoteLine);
  QCoreApplication::processEvents();
  EXPECT_EQ(box->toPlainText().count(QStringLiteral("burst")), 500);
  EXPECT_EQ(box->verticalScrollBar()->value(), box->verticalScrollBar()->maximum());
}

TEST_F(MainWindowTest, EscapeAndEnterCloseTheWindow) {
  for (const int key : {Qt::Key_Escape, Qt::Key_Return}) {
    window_.show();
    Control(ctl::kStatusBox)->setFocus();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&window_, &press);
    EXPECT_FALSE(window_.isVisible()) << key;
  }
}

TEST_F(MainWindowTest, EnterOnAFocusedPushButtonClicksIt) {
  int clicks = 0;
  QObject::connect(Button(ctl::kDeviceLoad), &QAbstractButton::clicked, [&clicks] { ++clicks; });
  Control(ctl::kDeviceLoad)->setFocus();
  // The load opens Choose Device; the operator cancels it.
  auto* cancel = new QTimer(&window_);
  QObject::connect(cancel, &QTimer::timeout, [cancel] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      cancel->stop();
      dialog->reject();
    }
  });
  cancel->start(10);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&window_, &press);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(window_.isVisible());
}

TEST_F(MainWindowTest, EnterOnALanguageButtonPressesItAndKeepsTheWindow) {
  Control(ctl::kChinese)->setFocus();
  ASSERT_EQ(window_.focusWidget(), Control(ctl::kChinese));
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&window_, &press);
  EXPECT_TRUE(window_.isVisible());
  EXPECT_EQ(locale_.Current(), platform::kLocaleChineseSimplified);
  Control(ctl::kEnglish)->setFocus();
  QApplication::sendEvent(&window_, &press);
  EXPECT_TRUE(window_.isVisible());
  EXPECT_EQ(locale_.Current(), platform::kLocaleEnglishUs);
}

TEST_F(MainWindowTest, FocusComesBackAfterAMessageBoxSoEnterKeepsItsMeaning) {
  Control(ctl::kEnglish)->setFocus();
  QTimer::singleShot(0, [] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QDialog*>(top); box != nullptr && box->isVisible() && box->isModal()) box->accept();
    }
  });
  window_.ShowMessageBox("A warning", "VX3WT", text::box::kIconExclamation);
  EXPECT_EQ(window_.focusWidget(), Control(ctl::kEnglish));
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&window_, &press);
  EXPECT_TRUE(window_.isVisible());
}

TEST_F(MainWindowTest, HeldBackLinesAreShownBeforeTheWindowWaitsOnTheWriter) {
  auto* box = qobject_cast<QPlainTextEdit*>(Control(ctl::kStatusBox));
  window_.SetStatusText("");
  for (int i = 0; i < 500; ++i) context_.reporter.ReportStatus("burst", text::Severity::NoteLine);
  context_.reporter.ReportStatus("the line before the wait", text::Severity::NoteLine);
  // No event loop runs between the burst and the wait.
  context_.reporter.ShowPendingStatus();
  EXPECT_TRUE(box->toPlainText().endsWith(QStringLiteral("the line before the wait\n")));
}

TEST_F(MainWindowTest, CloseWaitsForTheWorkerAndHappensWhenItEnds) {
  context_.state.workerBusy = true;
  window_.close();
  EXPECT_TRUE(window_.isVisible());
  EXPECT_NE(window_.StatusText().find("Waiting for the Writer job to end"), std::string::npos);
  context_.state.workerBusy = false;
  window_.WriterJobEnded();
  EXPECT_TRUE(window_.isVisible());  // the close comes through the event loop
  QCoreApplication::processEvents();
  EXPECT_FALSE(window_.isVisible());
}

TEST_F(MainWindowTest, AboutItemIsAddedOnceAndOpensTheAboutBoxOfTheLocale) {
  const QList<QAction*> items = window_.findChildren<QAction*>(QStringLiteral("aboutAction"));
  ASSERT_EQ(items.size(), 1);
  EXPECT_EQ(items.front()->text(), "About Quill_Wt(&A)...");
  window_.AddAboutMenuItem("again");
  EXPECT_EQ(window_.findChildren<QAction*>(QStringLiteral("aboutAction")).size(), 1);

  for (const bool chinese : {false, true}) {
    if (chinese) Button(ctl::kChinese)->click();
    QString purpose;
    // The About box is modal: read it and close it as soon as it is up.
    QTimer::singleShot(0, [&purpose] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "AboutDialog" && top->isVisible()) {
          purpose = top->findChild<QLabel*>(QStringLiteral("purpose"))->text();
          qobject_cast<QDialog*>(top)->accept();
        }
      }
    });
    items.front()->trigger();
    EXPECT_EQ(purpose.startsWith(QStringLiteral("This program downloads VX3 file to writer's EEPROM and MCU")),
              !chinese)
        << purpose.toStdString();
    EXPECT_FALSE(purpose.isEmpty());
  }
}

TEST_F(MainWindowTest, ProgressWindowIsHiddenUntilAJobShowsItAndTakesNoFocus) {
  ProgressDialog* progress = window_.progressDialog();
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(progress->isVisible());
  context_.progress.ShowProgress(4, "Program", "Writer");
  EXPECT_TRUE(progress->isVisible());
  EXPECT_TRUE(progress->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_EQ(progress->windowTitle(), "Writer");
  EXPECT_EQ(progress->text(), "Program");
  context_.progress.StepProgress(3, "Program : 000100");
  EXPECT_EQ(progress->percent(), 75);
  EXPECT_EQ(progress->text(), "Program : 000100");
  context_.progress.HideProgress();
  EXPECT_FALSE(progress->isVisible());
}

}  // namespace
}  // namespace vx3::gui
