#include "platform/command_processor.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vx3::platform {

std::string QuoteCommandPath(std::string_view path) {
#ifdef _WIN32
  // A Windows path cannot hold a double quote, so nothing inside needs escaping.
  return "\"" + std::string(path) + "\"";
#else
  std::string quoted = "'";
  for (const char c : path) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += "'";
  return quoted;
#endif
}

int SystemCommandProcessor::Run(std::string_view commandLine) {
  // Whatever this process still buffers for its files goes out first, so that the command sees it.
  std::fflush(nullptr);
  const std::string line(commandLine);
  const int status = std::system(line.c_str());
  std::fflush(nullptr);
  return status;
}

}  // namespace vx3::platform
