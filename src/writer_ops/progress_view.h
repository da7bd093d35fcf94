// What the Writer jobs need of the progress window: a small modeless window with a caption, a
// 0-100 bar and one text line. The main view implements it; calls may come from the worker.
#pragma once

#include <string_view>

namespace vx3::writer_ops {

class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // Shows the window without taking the focus: caption, bar at 0, text line = label.
  virtual void ShowProgressWindow(std::string_view caption, std::string_view label) = 0;
  virtual void SetProgress(int percent, std::string_view text) = 0;
  virtual void HideProgressWindow() = 0;
};

}  // namespace vx3::writer_ops
