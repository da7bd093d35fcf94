#include "platform/clock.h"

#include <thread>

namespace vx3::platform {

std::tm SystemClock::LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

void SystemClock::SleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace vx3::platform
