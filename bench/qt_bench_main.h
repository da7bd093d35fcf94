// The main of the Qt window benchmarks: Qt on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise, and `release` run before the application object goes, so that no widget outlives it.
#pragma once

#include <QApplication>
#include <QtGlobal>
#include <benchmark/benchmark.h>

#include <functional>

namespace vx3::bench {

inline int RunQtBenchmarks(int argc, char** argv, const std::function<void()>& release) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  release();
  return 0;
}

}  // namespace vx3::bench
