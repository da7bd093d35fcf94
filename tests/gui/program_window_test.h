// The real main window with its presenter over a copy of the built program folder (simulated
// Writer and sample images included), offscreen, with the modal dialogs answered as an operator would.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "app/main_presenter.h"
#include "gui/main_window.h"
#include "platform/utf8_path.h"
#include "support/test_ledger.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace vx3::gui {

inline constexpr int kPollMs = 10;
inline constexpr qint64 kWorkerWaitMs = 60000;
// A modal dialog that nobody answers within this time fails the test and is closed, so that a
// fault ends in a failure instead of a test that never returns.
inline constexpr qint64 kDialogWaitMs = 20000;

inline QString Utf8(const std::filesystem::path& path) { return QString::fromStdString(platform::PathToUtf8(path)); }
// A path as the window shows it: with the platform's own separators.
inline QString Shown(const std::filesystem::path& path) { return QDir::toNativeSeparators(Utf8(path)); }
// The same folder, however its separators are written.
inline bool SameFolder(const QString& folder, const std::filesystem::path& expected) {
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
inline void TypeFileName(QFileDialog* dialog, const std::filesystem::path& path) {
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(name, nullptr);
  name->setText(Utf8(path));
  QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
}

class ProgramWindowTest : public ::testing::Test {
 protected:
  ProgramWindowTest()
      : programDir_(CopyProgramFolder(dir_.path() / platform::PathFromUtf8("Writer 程序 v1.2"))),
        context_(locale_, clock_),
        presenter_(context_, window_) {
    testing::SetSimFolder(dir_.path());
    context_.ledgerOpener = testing::LedgerOpenerForTests();
    locale_.Set(platform::kLocaleEnglishUs);
    context_.state.programPath = programDir_ / "vx3wt";
    context_.state.programDir = programDir_;
    window_.ConnectPresenter(presenter_);
    presenter_.OnInitWindow();
    window_.show();
    WatchForUnansweredDialogs();
  }
  ~ProgramWindowTest() override { WaitForWriterJobs(); }

  static std::filesystem::path CopyProgramFolder(const std::filesystem::path& target) {
    std::filesystem::create_directories(target);
    for (const char* folder : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"}) {
      std::filesystem::copy(std::filesystem::path(VX3WT_PROGRAM_DIR) / folder, target / folder,
                            std::filesystem::copy_options::recursive);
    }
    return target;
  }

  // A command runs as a Writer job and may start the worker; this returns once every job (the
  // worker's rolling-code download included) has ended, or fails the test when one has not
  // within the time limit.
  void WaitForWriterJobs() {
    QElapsedTimer waited;
    waited.start();
    // The window learns of a job's end through its queue, after the job has ended.
    while ((presenter_.WriterJobActive() || window_.ShowsWriterJob()) && waited.elapsed() < kWorkerWaitMs) {
      QApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    }
    EXPECT_FALSE(presenter_.WriterJobActive()) << "a Writer job still runs after " << kWorkerWaitMs << " ms";
    EXPECT_FALSE(window_.ShowsWriterJob());
  }

  // What a control shows, whatever kind of control it is.
  QString Text(int id) { return QString::fromStdString(window_.ControlText(id)); }
  QAbstractButton* Button(int id) { return qobject_cast<QAbstractButton*>(window_.Control(id)); }
  void Click(int id) {
    Button(id)->click();
    WaitForWriterJobs();
  }

  testing::TempDir dir_;
  std::filesystem::path programDir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  app::AppContext context_;
  MainWindow window_;
  app::MainPresenter presenter_;

 private:
  // A modal dialog that stays open too long (no answer was arranged for it) fails the test and
  // is closed; the test then goes on to its own failures instead of hanging.
  void WatchForUnansweredDialogs() {
    auto* timer = new QTimer(&window_);
    timer->setInterval(kPollMs);
    QObject::connect(timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != watched_) {
        watched_ = modal;
        watchedFor_.start();
        return;
      }
      if (modal == nullptr || watchedFor_.elapsed() < kDialogWaitMs) return;
      ADD_FAILURE() << "a dialog stayed open unanswered: " << modal->windowTitle().toStdString();
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
    timer->start();
  }

  QPointer<QWidget> watched_;
  QElapsedTimer watchedFor_;
};

}  // namespace vx3::gui
