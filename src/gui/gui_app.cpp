#include "gui/gui_app.h"

#ifdef VX3WT_HAS_LEDGER
#include "ledger/sqlite_ledger.h"
#endif
#ifdef VX3WT_HAS_SERIES
#include "ledger/series_server.h"
#endif

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <cstdlib>

#include "app/main_presenter.h"
#include "app/startup.h"
#include "app/writer_access.h"
#include "gui/main_window.h"
#include "platform/clock.h"
#include "platform/program_path.h"
#include "platform/thread_locale.h"

namespace vx3::gui {

namespace {

class QtStartupHost final : public app::StartupHost {
 public:
  void ShowStartupMessage(std::string_view text, std::string_view caption) override {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok);
    box.exec();
  }

  void RunMainWindow(app::AppContext& context) override {
    // The Writer is this window's for its whole run; the window also runs when another program
    // holds it (its status box says so, its Writer commands refuse).
    context.writerAccess.Take(context.state.DataDir(), *context.environment);
    MainWindow window;
    app::MainPresenter presenter(context, window);
    window.ConnectPresenter(presenter);
    presenter.OnInitWindow();
    window.exec();
    if (presenter.ClosedAnyway()) LeaveStuckWriterJob(presenter);
    // The station closes: its block's unused values are given back, its rows sent if they can be.
    context.series.Close(context, false);
  }

 private:
  // The operator closed the window on a Writer that does not answer. A job that ends within a
  // moment ends normally; one stuck in the bridge is left behind: the process ends without it,
  // since waiting for it is what the operator refused. Its files are written whole or replaced
  // atomically, and the log entry of the close is on disk.
  static void LeaveStuckWriterJob(app::MainPresenter& presenter) {
    QElapsedTimer waited;
    waited.start();
    while (presenter.WriterJobActive() && waited.elapsed() < kStuckJobGraceMs) {
      // The job's last calls to the window are carried out, so that it can end.
      QCoreApplication::processEvents(QEventLoop::AllEvents, kStuckJobPollMs);
      QThread::msleep(kStuckJobPollMs);
    }
    if (presenter.WriterJobActive()) std::_Exit(0);
  }
  static constexpr qint64 kStuckJobGraceMs = 2000;
  static constexpr int kStuckJobPollMs = 10;
};

}  // namespace

int RunGui(int argc, char** argv) {
  QApplication application(argc, argv);
  // The program reads no command line and keeps no settings of its own.
  platform::SystemThreadLocale locale(platform::RefusedLocalesFromEnvironment());
  platform::SystemClock clock;
  app::AppContext context(locale, clock);
#ifdef VX3WT_HAS_LEDGER
  context.ledgerOpener = [&context](const std::filesystem::path& dataDir, platform::Clock& recordClock) {
    // The values are issued under the lock of the Writer this window talks to.
    ledger::LedgerOptions options;
    options.owner = app::WriterLockName(*context.environment);
    options.ownerHeld = app::OwnerHeldElsewhere(dataDir);
    return ledger::OpenSqliteLedger(dataDir, recordClock, options);
  };
#endif
#ifdef VX3WT_HAS_SERIES
  context.seriesOpener = [](const std::string& connection) { return ledger::OpenSeriesServer(connection); };
#endif
  QtStartupHost host;
  return app::RunApplication(host, context, platform::ExecutablePath());
}

}  // namespace vx3::gui
