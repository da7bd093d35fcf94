#include "platform/thread_locale.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx3::platform {

bool StandInThreadLocale::Set(int localeId) {
  const bool known = localeId == kLocaleEnglishUs || localeId == kLocaleChineseSimplified;
  if (!known || std::find(refused_.begin(), refused_.end(), localeId) != refused_.end()) return false;
  current_.store(localeId);
  return true;
}

#ifdef _WIN32
bool WindowsThreadLocale::Set(int localeId) {
  if (std::find(refused_.begin(), refused_.end(), localeId) != refused_.end()) return false;
  if (localeId <= 0 || SetThreadLocale(MAKELCID(static_cast<LANGID>(localeId), SORT_DEFAULT)) == 0) return false;
  current_.store(localeId);
  return true;
}
#endif

std::vector<int> RefusedLocalesFromEnvironment() {
  std::vector<int> ids;
  const char* value = std::getenv("VX3WT_REFUSE_LOCALE");
  if (value == nullptr) return ids;
  std::string_view rest(value);
  while (!rest.empty()) {
    const auto comma = rest.find(',');
    const std::string item(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    char* end = nullptr;
    const long id = std::strtol(item.c_str(), &end, 0);
    if (end != item.c_str() && id > 0 && id <= 0xFFFF) ids.push_back(static_cast<int>(id));
  }
  return ids;
}

}  // namespace vx3::platform
