#include "platform/system_text.h"

#include <climits>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx3::platform {

#ifdef _WIN32
namespace {

// One pass through UTF-16, the encoding every Windows conversion goes through. Texts beyond
// INT_MAX bytes cannot be handed to the conversion functions and are given back unchanged.
std::string Convert(std::string_view text, UINT from, UINT to) {
  if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX) || from == to) return std::string(text);
  const int size = static_cast<int>(text.size());
  const int wideSize = MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
  if (wideSize <= 0) return std::string(text);
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(from, 0, text.data(), size, wide.data(), wideSize);
  const int outSize = WideCharToMultiByte(to, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  if (outSize <= 0) return std::string(text);
  std::string out(static_cast<std::size_t>(outSize), '\0');
  WideCharToMultiByte(to, 0, wide.data(), wideSize, out.data(), outSize, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Utf8ToSystemText(std::string_view utf8) { return Convert(utf8, CP_UTF8, GetACP()); }

std::string SystemTextToUtf8(std::string_view bytes) { return Convert(bytes, GetACP(), CP_UTF8); }
#else
std::string Utf8ToSystemText(std::string_view utf8) { return std::string(utf8); }

std::string SystemTextToUtf8(std::string_view bytes) { return std::string(bytes); }
#endif

}  // namespace vx3::platform
