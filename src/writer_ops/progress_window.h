// The progress window of the Writer jobs: it keeps the step count of the running transfer and
// turns steps into the bar's percentage, passing them to the view no more often than the eye
// can follow, so that a transfer never waits on the window for each block.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "writer_ops/progress_view.h"

namespace vx3::writer_ops {

// How often at most a step that changes only the text line reaches the window.
inline constexpr std::chrono::milliseconds kProgressRefreshInterval{30};

class ProgressWindow {
 public:
  explicit ProgressWindow(platform::Clock& clock) : clock_(clock) {}

  // The window that shows the progress; null while there is none.
  void AttachView(ProgressView* view);

  // Shows the window: caption, bar at 0, text line = label; remembers the step count.
  void ShowProgress(std::uint32_t total, std::string_view label, std::string_view caption);
  // Bar = index x 100 / total, text line = text. A step reaches the window when the bar moves,
  // when it is the last one, or when the last update is older than the refresh interval.
  void StepProgress(std::uint32_t index, std::string_view text);
  void HideProgress();

  // The bar position of step `index` of `total` (0 when there are no steps).
  static int Percent(std::uint32_t index, std::uint32_t total);

 private:
  platform::Clock& clock_;
  std::mutex mutex_;
  ProgressView* view_ = nullptr;
  std::uint32_t total_ = 0;
  int shownPercent_ = -1;
  std::chrono::steady_clock::time_point shownAt_{};
};

}  // namespace vx3::writer_ops
