// Running a command line through the system's command processor and waiting for it to end: how
// the program starts the rolling-code generator named in a rolling INI.
#pragma once

#include <string>
#include <string_view>

namespace vx3::platform {

class CommandProcessor {
 public:
  virtual ~CommandProcessor() = default;
  // Runs `commandLine` and returns when it has ended. The result is the processor's exit status
  // (-1 when it could not be started); callers may ignore it.
  virtual int Run(std::string_view commandLine) = 0;
};

// The system's own command processor (sh -c on Linux, cmd /c on Windows).
class SystemCommandProcessor final : public CommandProcessor {
 public:
  int Run(std::string_view commandLine) override;
};

// `path` as one word of a command line for the system's command processor: single quotes on
// POSIX shells (a quote inside becomes '\''), double quotes on Windows.
std::string QuoteCommandPath(std::string_view path);

}  // namespace vx3::platform
