// Writing the trace file.
#include "sim_trace.h"

#include <cstdarg>
#include <cstdio>

namespace vx3::sim {

void Trace::Configure(const std::filesystem::path& file, bool calls, bool violations) {
  calls_ = calls;
  violations_ = violations;
  file_ = file;
}

void Trace::Call(std::string_view line) {
  if (calls_) Write(line);
}

void Trace::Violation(std::string_view line) {
  if (violations_) Write(line);
}

void Trace::Write(std::string_view line) {
  // Opened for each line and closed again: a Writer with nothing to say leaves no file, the
  // trace of a program that hangs or crashes is complete to its last call, and support staff
  // can remove the file to start a fresh trace at any time (Windows refuses to remove an open
  // file).
  std::ofstream out(file_, std::ios::binary | std::ios::app);
  if (!out.is_open()) return;
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
}

std::string Printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out;
  if (size > 0) {
    out.resize(static_cast<std::size_t>(size) + 1);
    std::vsnprintf(out.data(), out.size(), format, again);
    out.resize(static_cast<std::size_t>(size));
  }
  va_end(again);
  return out;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const std::uint8_t byte : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string Printable(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const std::uint8_t byte : bytes) {
    if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += static_cast<char>(byte);
    } else {
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace vx3::sim
