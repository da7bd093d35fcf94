#include "support/code_page_text.h"

#include <array>
#include <climits>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace vx3::testing {

std::optional<std::string> Utf8ToCodePage(std::string_view utf8, platform::LegacyCodePage page) {
  if (utf8.empty()) return std::string();
#ifdef _WIN32
  const UINT codePage = page == platform::LegacyCodePage::Gbk ? 936 : 1252;
  if (utf8.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const int size = static_cast<int>(utf8.size());
  const int wideSize = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (wideSize <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), wideSize);
  BOOL lost = FALSE;
  const int outSize = WideCharToMultiByte(codePage, 0, wide.data(), wideSize, nullptr, 0, nullptr, &lost);
  if (outSize <= 0 || lost) return std::nullopt;
  std::string out(static_cast<std::size_t>(outSize), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideSize, out.data(), outSize, nullptr, nullptr);
  return out;
#else
  iconv_t cd = iconv_open(page == platform::LegacyCodePage::Gbk ? "CP936" : "CP1252", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  std::array<char, 4096> chunk{};
  bool ok = true;
  while (inLeft > 0) {
    char* to = chunk.data();
    std::size_t toLeft = chunk.size();
    const std::size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
    out.append(chunk.data(), chunk.size() - toLeft);
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  return out;
#endif
}

std::string InsertAfter(std::string bytes, std::string_view after, std::string_view inserted) {
  const std::size_t at = bytes.find(after);
  if (at == std::string::npos) throw std::invalid_argument("InsertAfter: text not found");
  bytes.insert(at + after.size(), inserted);
  return bytes;
}

}  // namespace vx3::testing
