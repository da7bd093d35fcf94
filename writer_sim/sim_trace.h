// The simulated Writer's trace: a text file beside its settings in which support staff and
// tests read the conversation, one line per call, packet and reply, flushed line by line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

namespace vx3::sim {

class Trace {
 public:
  // `calls`: every call, packet and reply; `violations`: the lines on packets out of the
  // protocol's order (also without `calls`). The file is appended to, never truncated, and
  // made only when there is a line for it.
  void Configure(const std::filesystem::path& file, bool calls, bool violations);
  bool calls() const { return calls_; }

  void Call(std::string_view line);
  void Violation(std::string_view line);

 private:
  void Write(std::string_view line);

  std::filesystem::path file_;
  bool calls_ = false;
  bool violations_ = false;
};

#if defined(__GNUC__)
#define VX3SIM_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define VX3SIM_PRINTF_LIKE
#endif
// A trace text from one of the simulator's own printf formats (checked by the compiler).
std::string Printf(const char* format, ...) VX3SIM_PRINTF_LIKE;

// The bytes as two-digit upper-case hex numbers separated by spaces.
std::string Hex(std::span<const std::uint8_t> bytes);
// A message text as the trace shows it: printable ASCII as it is, the rest escaped.
std::string Printable(std::span<const std::uint8_t> bytes);

}  // namespace vx3::sim
