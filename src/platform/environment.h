// What the program asks of the user's session: whether a folder may be written, the user's home
// and data folders, and the environment variables the bridge library is loaded with.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vx3::platform {

class Environment {
 public:
  virtual ~Environment() = default;
  // True when a new file can be made in `folder` (tried, not guessed from permission bits, so a
  // read-only mount or an access list counts too).
  virtual bool CanWriteIn(const std::filesystem::path& folder) = 0;
  // An environment variable as UTF-8; nullopt when it is not set.
  virtual std::optional<std::string> Variable(std::string_view name) = 0;
  virtual void SetVariable(std::string_view name, std::string_view value) = 0;
  // The user's home folder: HOME, else the account's own; nullopt when neither is known.
  virtual std::optional<std::filesystem::path> HomeFolder() = 0;
};

class SystemEnvironment final : public Environment {
 public:
  bool CanWriteIn(const std::filesystem::path& folder) override;
  std::optional<std::string> Variable(std::string_view name) override;
  void SetVariable(std::string_view name, std::string_view value) override;
  std::optional<std::filesystem::path> HomeFolder() override;
};

// The base folder of the user's data files: XDG_DATA_HOME when it names an absolute path, else
// <home>/.local/share (on Windows: LOCALAPPDATA); nullopt when no home is known.
std::optional<std::filesystem::path> UserDataHome(Environment& environment);

}  // namespace vx3::platform
