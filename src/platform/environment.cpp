#include "platform/environment.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "platform/utf8_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace vx3::platform {

namespace {

constexpr std::string_view kDataHomeVariable = "XDG_DATA_HOME";
constexpr std::string_view kHomeVariable = "HOME";
#ifdef _WIN32
constexpr std::string_view kLocalAppDataVariable = "LOCALAPPDATA";
#endif
constexpr std::string_view kProbePrefix = ".vx3wt-write-probe-";

std::optional<std::filesystem::path> AbsoluteFromVariable(Environment& environment, std::string_view name) {
  const std::optional<std::string> value = environment.Variable(name);
  if (!value || value->empty()) return std::nullopt;
  std::filesystem::path path = PathFromUtf8(*value);
  // A relative value is invalid for these variables and is ignored, as other programs do.
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

#ifdef _WIN32
std::wstring Wide(std::string_view text) {
  const std::filesystem::path path = PathFromUtf8(text);
  return path.wstring();
}
#endif

}  // namespace

bool SystemEnvironment::CanWriteIn(const std::filesystem::path& folder) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return false;
  // A name no other run picks at the same moment; the probe is removed at once.
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const std::filesystem::path probe =
      folder / PathFromUtf8(std::string(kProbePrefix) + std::to_string(random()) + "-" + std::to_string(counter++));
  bool made = false;
  {
    std::ofstream file(probe, std::ios::binary | std::ios::app);
    made = file.is_open();
  }
  if (made) std::filesystem::remove(probe, ec);
  return made;
}

std::optional<std::string> SystemEnvironment::Variable(std::string_view name) {
#ifdef _WIN32
  // The wide environment: the narrow one holds only what the ANSI code page can spell.
  const wchar_t* value = _wgetenv(Wide(name).c_str());
  if (value == nullptr) return std::nullopt;
  return PathToUtf8(std::filesystem::path(std::wstring(value)));
#else
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
#endif
}

void SystemEnvironment::SetVariable(std::string_view name, std::string_view value) {
#ifdef _WIN32
  _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
#else
  setenv(std::string(name).c_str(), std::string(value).c_str(), 1);
#endif
}

std::optional<std::filesystem::path> SystemEnvironment::HomeFolder() {
  if (auto home = AbsoluteFromVariable(*this, kHomeVariable)) return home;
#ifndef _WIN32
  // A session without HOME (a service, sudo -i with a cleared environment): the account's own.
  if (const passwd* account = getpwuid(getuid()); account != nullptr && account->pw_dir != nullptr) {
    std::filesystem::path home(account->pw_dir);
    if (home.is_absolute()) return home;
  }
#endif
  return std::nullopt;
}

std::optional<std::filesystem::path> UserDataHome(Environment& environment) {
  if (auto dataHome = AbsoluteFromVariable(environment, kDataHomeVariable)) return dataHome;
#ifdef _WIN32
  if (auto local = AbsoluteFromVariable(environment, kLocalAppDataVariable)) return local;
#endif
  const std::optional<std::filesystem::path> home = environment.HomeFolder();
  if (!home) return std::nullopt;
  return *home / ".local" / "share";
}

}  // namespace vx3::platform
