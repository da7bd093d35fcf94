#include "gui/gui_app.h"

#include <QApplication>
#include <QMessageBox>

#include "app/main_presenter.h"
#include "app/startup.h"
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
    MainWindow window;
    app::MainPresenter presenter(context, window);
    window.ConnectPresenter(presenter);
    presenter.OnInitWindow();
    window.exec();
  }
};

}  // namespace

int RunGui(int argc, char** argv) {
  QApplication application(argc, argv);
  // The program reads no command line and keeps no settings of its own.
  platform::SystemThreadLocale locale(platform::RefusedLocalesFromEnvironment());
  platform::SystemClock clock;
  app::AppContext context(locale, clock);
  QtStartupHost host;
  return app::RunApplication(host, context, platform::ExecutablePath());
}

}  // namespace vx3::gui
