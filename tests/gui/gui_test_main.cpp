// The GUI tests run inside one QApplication on the offscreen platform.
#include <QApplication>
#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// The system's Qt is not built with the thread sanitizer: its own locks and waits (the posted
// event queue, the blocking queued call, the file dialog's helper threads, its thread pool) are
// invisible to the checker, so memory that Qt allocates on one thread and frees on another looks
// like a race. The checker's interceptors called from Qt (allocation, copies, lock objects) are
// therefore not checked; every access of the program's own code on either thread still is.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so\n"
         "called_from_lib:libQt6Gui.so\n"
         "called_from_lib:libQt6Widgets.so\n";
}
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
