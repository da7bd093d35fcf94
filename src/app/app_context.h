// The services and shared state of one run, handed to the start-up, the window's presenter and
// (later) the worker, instead of process-wide globals, so that no test leaks into the next.
#pragma once

#include "app/run_state.h"
#include "platform/clock.h"
#include "platform/thread_locale.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"
#include "writer_ops/progress_window.h"

namespace vx3::app {

struct AppContext {
  AppContext(platform::ThreadLocale& threadLocale, platform::Clock& systemClock)
      : locale(threadLocale), clock(systemClock) {}

  platform::ThreadLocale& locale;
  platform::Clock& clock;
  RunState state;
  text::Language language;
  text::Reporter reporter{language, clock};
  writer_ops::ProgressWindow progress{clock};
};

}  // namespace vx3::app
