#include "writer_ops/progress_window.h"

namespace vx3::writer_ops {

// The view is called outside the lock: it may wait for the window's thread, which may itself be
// about to step the progress.

void ProgressWindow::AttachView(ProgressView* view) {
  std::lock_guard lock(mutex_);
  view_ = view;
}

int ProgressWindow::Percent(std::uint32_t index, std::uint32_t total) {
  if (total == 0) return 0;
  return static_cast<int>(static_cast<std::uint64_t>(index) * 100U / total);
}

void ProgressWindow::ShowProgress(std::uint32_t total, std::string_view label, std::string_view caption) {
  ProgressView* view = nullptr;
  {
    std::lock_guard lock(mutex_);
    total_ = total;
    shownPercent_ = 0;
    shownAt_ = clock_.SteadyNow();
    view = view_;
  }
  if (view != nullptr) view->ShowProgressWindow(caption, label);
}

void ProgressWindow::StepProgress(std::uint32_t index, std::string_view text) {
  ProgressView* view = nullptr;
  int percent = 0;
  {
    std::lock_guard lock(mutex_);
    percent = Percent(index, total_);
    const auto now = clock_.SteadyNow();
    const bool last = index + 1 >= total_;
    if (percent == shownPercent_ && !last && now - shownAt_ < kProgressRefreshInterval) return;
    shownPercent_ = percent;
    shownAt_ = now;
    view = view_;
  }
  if (view != nullptr) view->SetProgress(percent, text);
}

void ProgressWindow::HideProgress() {
  ProgressView* view = nullptr;
  {
    std::lock_guard lock(mutex_);
    view = view_;
  }
  if (view != nullptr) view->HideProgressWindow();
}

}  // namespace vx3::writer_ops
