// The Rolling Code dialog in Qt widgets, offscreen: every control of the layout with its id and
// text, fixed-pitch value fields, clicks reaching the presenter, nothing clipped in English or
// Chinese, and the dialog run from another thread as the worker runs it.
// With VX3WT_SHOT_DIR set, each language's dialog is also saved there as a PNG to look at.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "gui/main_window.h"
#include "gui/rolling_code_dialog.h"
#include "platform/thread_locale.h"
#include "support/fake_clock.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace dlg = rolling::dlg;

const fs::path kLanguageDir = fs::path(VX3WT_PROGRAM_DIR) / "language";

class RollingCodeDialogTest : public ::testing::TestWithParam<bool> {
 protected:
  RollingCodeDialogTest() : language_(kLanguageDir / (English() ? "UIEng.ini" : "UIChina.ini")), reporter_(language_, clock_) {
    settings_.method = rolling::RollingMethod::AutoInc;
    settings_.address = 0x101;
    settings_.wordLength = 4;
    settings_.lowWordFirst = true;
    settings_.value = {0x1234, 0xABCD, 0x0001, 0x0002};
    settings_.step = {1};
    settings_.iniPath = dir_.path() / "CODE.INI";
  }
  bool English() const { return GetParam(); }

  rolling::RollingDialog Presenter() {
    return rolling::RollingDialog({.settings = settings_,
                                   .romWords = 0x800,
                                   .autoIncWord = 1,
                                   .deviceName = "VX3P1020",
                                   .language = language_,
                                   .reporter = reporter_,
                                   .locale = locale_,
                                   .english = English(),
                                   .headerVerifyByte = verifyByte_});
  }

  // Every caption fits its control.
  static void ExpectNothingClipped(QWidget& dialog) {
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
      if (!widget->isVisible()) continue;
      const QFontMetrics metrics(widget->font());
      const std::string name = widget->objectName().toStdString();
      if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        EXPECT_LE(metrics.horizontalAdvance(group->title()) + 16, group->width()) << name;
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        EXPECT_LE(button->sizeHint().width(), button->width()) << name;
      } else if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && !label->wordWrap()) {
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << name;
      } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        EXPECT_LE(metrics.horizontalAdvance(edit->text()) + 8, edit->width()) << name;
      }
    }
  }

  testing::TempDir dir_;
  testing::FakeClock clock_;
  platform::StandInThreadLocale locale_;
  text::Language language_;
  text::Reporter reporter_;
  rolling::RollingSettings settings_;
  std::uint8_t verifyByte_ = 0;
};

TEST_P(RollingCodeDialogTest, ControlsTextsAndLayout) {
  rolling::RollingDialog presenter = Presenter();
  RollingCodeDialog dialog(presenter, nullptr);
  dialog.show();
  QApplication::processEvents();

  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Rolling Code"));
  for (const int id : {1, 1020, 1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029, 1030, 1035, 1036, 1037, 1038,
                       1039, 1040, 1041, 1042, 1043, 1047}) {
    EXPECT_NE(dialog.Control(id), nullptr) << id;
  }
  EXPECT_EQ(dialog.Text(dlg::kStartAddress), "0x101");
  EXPECT_EQ(dialog.Text(dlg::kValue), "0002 0001 ABCD 1234 ");
  EXPECT_EQ(dialog.Text(dlg::kStartAddressLabel), English() ? "Start Address :" : "起始地址 :");
  EXPECT_EQ(locale_.Current(), English() ? platform::kLocaleEnglishUs : platform::kLocaleChineseSimplified);
  for (const int id : {dlg::kValue, dlg::kStep, dlg::kAlignmentLine}) {
    EXPECT_TRUE(QFontInfo(dialog.Control(id)->font()).fixedPitch()) << id;
  }
  EXPECT_TRUE(qobject_cast<QLineEdit*>(dialog.Control(dlg::kStartAddress))->isReadOnly());
  EXPECT_TRUE(qobject_cast<QLineEdit*>(dialog.Control(dlg::kCustomText))->isReadOnly());
  EXPECT_FALSE(qobject_cast<QLineEdit*>(dialog.Control(dlg::kValue))->isReadOnly());
  EXPECT_FALSE(dialog.Control(dlg::kHighAtLowAddress)->isEnabled());
  EXPECT_FALSE(dialog.Control(dlg::kCustom)->isEnabled());
  EXPECT_FALSE(dialog.Control(dlg::kRunExe)->isEnabled());
  EXPECT_TRUE(dialog.IsChecked(dlg::kAutoInc));
  EXPECT_TRUE(dialog.IsChecked(dlg::kLowAtLowAddress));
  ExpectNothingClipped(dialog);

  if (const QByteArray shots = qgetenv("VX3WT_SHOT_DIR"); !shots.isEmpty()) {
    const QString file = QString::fromUtf8(shots) + (English() ? "/rolling-en.png" : "/rolling-zh.png");
    EXPECT_TRUE(dialog.grab().save(file));
  }
}

TEST_P(RollingCodeDialogTest, ClicksReachThePresenterAndOkTakesTheChoices) {
  rolling::RollingDialog presenter = Presenter();
  RollingCodeDialog dialog(presenter, nullptr);
  dialog.show();
  qobject_cast<QAbstractButton*>(dialog.Control(dlg::kNotUsed))->click();
  EXPECT_EQ(presenter.dialogMethod(), rolling::RollingMethod::NotUsed);
  qobject_cast<QAbstractButton*>(dialog.Control(dlg::kVerify))->click();
  qobject_cast<QLineEdit*>(dialog.Control(dlg::kValue))->setText(QStringLiteral("0000 0000 0000 0042"));
  qobject_cast<QAbstractButton*>(dialog.Control(dlg::kOk))->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(presenter.verifyChoice());
  EXPECT_EQ(verifyByte_, 1);
  EXPECT_EQ(presenter.valueText(), "0000 0000 0000 0042");
}

INSTANTIATE_TEST_SUITE_P(Languages, RollingCodeDialogTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "English" : "Chinese"; });

TEST(RollingCodeDialogThreads, RunFromAnotherThreadOnTheWindowsThread) {
  testing::TempDir dir;
  testing::FakeClock clock;
  platform::StandInThreadLocale locale;
  text::Language language(kLanguageDir / "UIEng.ini");
  text::Reporter reporter(language, clock);
  rolling::RollingSettings settings;
  settings.iniPath = dir.path() / "CODE.INI";
  std::uint8_t verifyByte = 0;
  rolling::RollingDialog presenter({.settings = settings,
                                    .romWords = 0x800,
                                    .deviceName = "VX3P1020",
                                    .language = language,
                                    .reporter = reporter,
                                    .locale = locale,
                                    .headerVerifyByte = verifyByte});
  MainWindow window;
  std::atomic<bool> done{false};
  std::atomic<bool> accepted{false};
  std::thread worker([&] {
    accepted = window.RunRollingCodeDialog(presenter);
    done = true;
  });
  // The operator presses OK once the dialog shows, on the window's thread: the timer fires inside
  // the dialog's own event loop. The outer loop runs until the worker is back, so that the
  // worker's blocking call is always served.
  bool clicked = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&clicked] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<RollingCodeDialog*>(widget);
      if (box == nullptr || !box->isVisible()) continue;
      EXPECT_EQ(box->thread(), QThread::currentThread());
      qobject_cast<QAbstractButton*>(box->Control(dlg::kOk))->click();
      clicked = true;
    }
  });
  timer.start(10);
  while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(accepted);
}

}  // namespace
}  // namespace vx3::gui
