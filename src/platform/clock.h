// The clock seam: local time for log stamps and Writer queries, and waiting, so that tests can
// fix the time and skip the waits.
#pragma once

#include <chrono>
#include <ctime>

namespace vx3::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // The local calendar time now.
  virtual std::tm LocalNow() = 0;
  // Waits for `duration`.
  virtual void SleepFor(std::chrono::milliseconds duration) = 0;
  // A monotonic time for measuring intervals (never goes back when the wall clock is set).
  virtual std::chrono::steady_clock::time_point SteadyNow() { return std::chrono::steady_clock::now(); }
  // The calendar time now as a point in time, for records kept in local time and UTC.
  virtual std::chrono::system_clock::time_point WallNow() { return std::chrono::system_clock::now(); }
};

class SystemClock final : public Clock {
 public:
  std::tm LocalNow() override;
  void SleepFor(std::chrono::milliseconds duration) override;
};

}  // namespace vx3::platform
