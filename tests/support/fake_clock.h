// A clock that stands still at a chosen local time and skips every wait.
#pragma once

#include <atomic>
#include <chrono>
#include <ctime>

#include "platform/clock.h"

namespace vx3::testing {

class FakeClock final : public platform::Clock {
 public:
  // Saturday 5 December 2026, 08:03:16, unless told otherwise.
  FakeClock() : FakeClock(2026, 12, 5, 8, 3, 16) {}
  FakeClock(int year, int month, int day, int hour, int minute, int second) { Set(year, month, day, hour, minute, second); }

  void Set(int year, int month, int day, int hour, int minute, int second) {
    now_ = std::tm{};
    now_.tm_year = year - 1900;
    now_.tm_mon = month - 1;
    now_.tm_mday = day;
    now_.tm_hour = hour;
    now_.tm_min = minute;
    now_.tm_sec = second;
    now_.tm_isdst = -1;
    // The weekday and the day of the year from the calendar (timegm is not on every platform).
    using namespace std::chrono;
    const sys_days date{year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                       std::chrono::day{static_cast<unsigned>(day)}}};
    now_.tm_wday = static_cast<int>(weekday{date}.c_encoding());
    now_.tm_yday = static_cast<int>((date - sys_days{std::chrono::year{year} / January / 1}).count());
  }

  std::tm LocalNow() override { return now_; }
  // Waiting advances the monotonic time too, as it would on a real clock.
  void SleepFor(std::chrono::milliseconds duration) override {
    slept += duration;
    steady += duration;
  }
  std::chrono::steady_clock::time_point SteadyNow() override { return steady += tick.load(); }

  std::chrono::milliseconds slept{0};
  std::chrono::steady_clock::time_point steady{};
  // How far the monotonic time moves at every look (a Writer that takes time over each round).
  // Set by a test while a job's thread reads it.
  std::atomic<std::chrono::milliseconds> tick{std::chrono::milliseconds(0)};

 private:
  std::tm now_{};
};

}  // namespace vx3::testing
