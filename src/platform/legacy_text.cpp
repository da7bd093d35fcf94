#include "platform/legacy_text.h"

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace vx3::platform {
namespace {

// Windows-1252 leaves these bytes without a character; both conversions below would pass some of
// them through as C1 controls, so they are refused here, the same on every platform.
constexpr std::array<unsigned char, 5> kUndefinedIn1252 = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool HasUndefined1252Byte(std::string_view bytes) {
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    for (const unsigned char undefined : kUndefinedIn1252) {
      if (byte == undefined) return true;
    }
  }
  return false;
}

#ifdef _WIN32
constexpr UINT kGbkCodePage = 936;
constexpr UINT k1252CodePage = 1252;

std::optional<std::string> Convert(std::string_view bytes, UINT codePage) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const int size = static_cast<int>(bytes.size());
  // MB_ERR_INVALID_CHARS: a byte sequence the code page does not define fails the whole call.
  const int wideSize = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (wideSize <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), wideSize) != wideSize) {
    return std::nullopt;
  }
  const int outSize = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  if (outSize <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(outSize), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, out.data(), outSize, nullptr, nullptr);
  return out;
}
#else
// glibc's names of the two Windows code pages.
constexpr const char* kGbkName = "CP936";
constexpr const char* k1252Name = "CP1252";

std::optional<std::string> Convert(std::string_view bytes, const char* from) {
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() * 3 / 2 + 16);
  char* in = const_cast<char*>(bytes.data());  // iconv's interface; it does not write there
  std::size_t inLeft = bytes.size();
  std::array<char, 4096> chunk{};
  bool ok = true;
  while (inLeft > 0) {
    char* to = chunk.data();
    std::size_t toLeft = chunk.size();
    const std::size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
    out.append(chunk.data(), chunk.size() - toLeft);
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      ok = false;  // EILSEQ: no character of the page; EINVAL: a lead byte cut off at the end
      break;
    }
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  return out;
}
#endif

}  // namespace

std::string_view LegacyCodePageName(LegacyCodePage page) {
  return page == LegacyCodePage::Gbk ? "GBK" : "Windows-1252";
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  while (i < bytes.size()) {
    // Most of a language file is ASCII: eight bytes at a time while none has its top bit set.
    while (i + 8 <= bytes.size()) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes.data() + i, sizeof word);
      if ((word & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    if (i >= bytes.size()) break;
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // the second byte's range rules out overlong forms, surrogates
    unsigned char high = 0xBF; // and values beyond U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = at(i + k);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

std::optional<std::string> LegacyToUtf8(std::string_view bytes, LegacyCodePage page) {
  if (bytes.empty()) return std::string();
  try {
    if (page == LegacyCodePage::Windows1252) {
      if (HasUndefined1252Byte(bytes)) return std::nullopt;
#ifdef _WIN32
      return Convert(bytes, k1252CodePage);
#else
      return Convert(bytes, k1252Name);
#endif
    }
#ifdef _WIN32
    return Convert(bytes, kGbkCodePage);
#else
    return Convert(bytes, kGbkName);
#endif
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace vx3::platform
