#include "platform/program_path.h"

#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx3::platform {

std::optional<std::filesystem::path> ExecutablePath() {
#ifdef _WIN32
  // Long program paths work: grow the buffer until the whole path fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) return std::filesystem::path(std::wstring(buffer.data(), length));
    if (buffer.size() >= 32768) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
#else
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || path.empty()) return std::nullopt;
  return path;
#endif
}

}  // namespace vx3::platform
