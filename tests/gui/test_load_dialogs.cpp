// Loading in the real window, offscreen: the load buttons open Choose Device and the image
// file-open dialog, which are answered as the operator would, and the window shows the file name
// and the checksum line. The program folder is a copy of the built one, simulated Writer included.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "gui/choose_device_dialog.h"
#include "gui/main_window.h"
#include "platform/utf8_path.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace ctl = app::ctl;
namespace ids = app::chooser_ctl;

constexpr int kPollMs = 10;
constexpr qint64 kWorkerWaitMs = 60000;

QString Utf8(const fs::path& path) { return QString::fromStdString(platform::PathToUtf8(path)); }
// A path as the window shows it: with the platform's own separators.
QString Shown(const fs::path& path) { return QDir::toNativeSeparators(Utf8(path)); }
// The same folder, however its separators are written.
bool SameFolder(const QString& folder, const fs::path& expected) {
  return QFileInfo(folder).canonicalFilePath() == QFileInfo(Utf8(expected)).canonicalFilePath();
}

// Answers the next modal dialog of type T as soon as it is the active modal widget; a dialog that
// never comes is no longer waited for once `owner` is gone.
template <typename T>
void AnswerNext(QObject* owner, std::function<void(T*)> answer) {
  auto* timer = new QTimer(owner);
  timer->setInterval(kPollMs);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    timer->stop();
    timer->deleteLater();
    answer(dialog);
  });
  timer->start();
}

// Types `path` into the file-name box, as an operator types a name the filter does not list.
void TypeFileName(QFileDialog* dialog, const fs::path& path) {
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(name, nullptr);
  name->setText(Utf8(path));
  QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
}

class LoadDialogsTest : public ::testing::Test {
 protected:
  LoadDialogsTest()
      : programDir_(CopyProgramFolder(dir_.path() / platform::PathFromUtf8("Writer 程序 v1.2"))),
        context_(locale_, clock_),
        presenter_(context_, window_) {
    testing::SetSimFolder(dir_.path());
    locale_.Set(platform::kLocaleEnglishUs);
    context_.state.programPath = programDir_ / "vx3wt";
    context_.state.programDir = programDir_;
    window_.ConnectPresenter(presenter_);
    presenter_.OnInitWindow();
    window_.show();
  }
  ~LoadDialogsTest() override { WaitForWorker(); }

  static fs::path CopyProgramFolder(const fs::path& target) {
    fs::create_directories(target);
    for (const char* folder : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"}) {
      fs::copy(fs::path(VX3WT_PROGRAM_DIR) / folder, target / folder, fs::copy_options::recursive);
    }
    return target;
  }

  // A load may start the worker; the test ends only after it has.
  void WaitForWorker() {
    QElapsedTimer waited;
    waited.start();
    while (presenter_.WorkerActive() && waited.elapsed() < kWorkerWaitMs) {
      QApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    }
  }

  QString Text(int id) { return qobject_cast<QLabel*>(window_.Control(id))->text(); }
  void Click(int id) {
    qobject_cast<QAbstractButton*>(window_.Control(id))->click();
    WaitForWorker();
  }

  void ExpectImageShown(const fs::path& file) {
    EXPECT_EQ(Text(ctl::kFileName), Shown(file));
    EXPECT_EQ(Text(ctl::kChecksumCaption), QStringLiteral("VX3 Check Sum : "));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ [0-9A-F]{4} ")).match(Text(ctl::kChecksum)).hasMatch())
        << Text(ctl::kChecksum).toStdString();
    EXPECT_EQ(Text(ctl::kChecksum).toStdString(), context_.image.checksumText);
  }

  testing::TempDir dir_;
  fs::path programDir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  app::AppContext context_;
  MainWindow window_;
  app::MainPresenter presenter_;
};

TEST_F(LoadDialogsTest, ChooserFirstThenFileFirst) {
  const fs::path samples = programDir_ / "samples";
  QStringList seen;
  AnswerNext<ChooseDeviceDialog>(&window_, [&seen](ChooseDeviceDialog* dialog) {
    auto* series = qobject_cast<QListWidget*>(dialog->Control(ids::kSeriesList));
    auto* types = qobject_cast<QListWidget*>(dialog->Control(ids::kTypeList));
    ASSERT_NE(series, nullptr);
    ASSERT_NE(types, nullptr);
    seen << dialog->windowTitle() << qobject_cast<QLabel*>(dialog->Control(ids::kSeriesCaption))->text()
         << qobject_cast<QLabel*>(dialog->Control(ids::kTypeCaption))->text();
    const auto found = series->findItems(QStringLiteral("VXLARK (BIN) Series"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    series->setCurrentItem(found.front());
    ASSERT_EQ(types->count(), 1);
    EXPECT_EQ(types->item(0)->text(), QStringLiteral("VXLARK (BIN)"));
    qobject_cast<QPushButton*>(dialog->Control(ids::kOk))->click();
  });
  AnswerNext<QFileDialog>(&window_, [&seen, samples](QFileDialog* dialog) {
    seen << dialog->nameFilters().join(QStringLiteral("|"));
    EXPECT_TRUE(SameFolder(dialog->directory().absolutePath(), samples));
    TypeFileName(dialog, samples / "VXLARK.BIN");
  });
  Click(ctl::kDeviceLoad);

  EXPECT_EQ(seen, (QStringList{"CHIP LIST", "Chip Series :", "Chip Type:", "VX3 File(*.VX3)"}));
  EXPECT_EQ(context_.image.deviceName, "VXLARK (BIN)");
  ExpectImageShown(samples / "VXLARK.BIN");

  // The one-key button: the file first.
  AnswerNext<QFileDialog>(&window_, [samples](QFileDialog* dialog) {
    EXPECT_TRUE(SameFolder(dialog->directory().absolutePath(), samples));
    TypeFileName(dialog, samples / "VXHERON.VX3");
  });
  Click(ctl::kOneKeyLoad);
  EXPECT_EQ(context_.image.deviceName, "VXHERON");
  ExpectImageShown(samples / "VXHERON.VX3");
}

TEST_F(LoadDialogsTest, ChooserInChineseDoubleClickChoosesAndNothingIsClipped) {
  qobject_cast<QAbstractButton*>(window_.Control(ctl::kChinese))->click();
  const fs::path file = programDir_ / "samples" / "VX3E1610.VX3";
  QString caption;
  AnswerNext<ChooseDeviceDialog>(&window_, [&caption](ChooseDeviceDialog* dialog) {
    caption = dialog->windowTitle();
    for (const int id : {ids::kSeriesCaption, ids::kTypeCaption}) {
      auto* label = qobject_cast<QLabel*>(dialog->Control(id));
      EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width()) << id;
    }
    for (const int id : {ids::kOk, ids::kCancel}) {
      auto* button = qobject_cast<QPushButton*>(dialog->Control(id));
      EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 8, button->width()) << id;
    }
    auto* series = qobject_cast<QListWidget*>(dialog->Control(ids::kSeriesList));
    auto* types = qobject_cast<QListWidget*>(dialog->Control(ids::kTypeList));
    for (QListWidget* list : {series, types}) {
      for (int row = 0; row < list->count(); ++row) {
        EXPECT_LE(QFontMetrics(list->font()).horizontalAdvance(list->item(row)->text()), list->viewport()->width())
            << list->item(row)->text().toStdString();
      }
    }
    series->setCurrentItem(series->findItems(QStringLiteral("VX3E1610 Series"), Qt::MatchExactly).front());
    emit types->itemDoubleClicked(types->item(0));
  });
  AnswerNext<QFileDialog>(&window_, [file](QFileDialog* dialog) { TypeFileName(dialog, file); });
  Click(ctl::kDeviceLoad);
  EXPECT_EQ(caption, QStringLiteral("芯片列表"));
  EXPECT_EQ(context_.image.deviceName, "VX3E1610");
  EXPECT_EQ(Text(ctl::kFileName), Shown(file));
  EXPECT_EQ(Text(ctl::kChecksumCaption), QStringLiteral("VX3 校验和: "));
}

TEST_F(LoadDialogsTest, CancelInTheChooserOpensNoFileDialog) {
  bool fileDialogShown = false;
  AnswerNext<ChooseDeviceDialog>(&window_, [](ChooseDeviceDialog* dialog) {
    qobject_cast<QPushButton*>(dialog->Control(ids::kCancel))->click();
  });
  // A file dialog after the cancel would be answered here, and the flag would tell.
  AnswerNext<QFileDialog>(&window_, [&fileDialogShown](QFileDialog* dialog) {
    fileDialogShown = true;
    dialog->reject();
  });
  Click(ctl::kDeviceLoad);
  QApplication::processEvents(QEventLoop::AllEvents, 5 * kPollMs);
  EXPECT_FALSE(fileDialogShown);
  EXPECT_EQ(context_.image.deviceName, "");
  EXPECT_EQ(Text(ctl::kFileName), QStringLiteral("-----"));
}

}  // namespace
}  // namespace vx3::gui
