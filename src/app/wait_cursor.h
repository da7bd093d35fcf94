// The wait cursor for as long as a command runs, whichever way the command ends.
#pragma once

#include "app/main_view.h"

namespace vx3::app {

class WaitCursor {
 public:
  explicit WaitCursor(MainView& view) : view_(view) { view_.SetWaitCursor(true); }
  ~WaitCursor() { view_.SetWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  MainView& view_;
};

}  // namespace vx3::app
