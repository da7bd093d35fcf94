// Paths and UTF-8 text: the core keeps text in UTF-8, and these convert at the file system's
// edge the same way on every platform.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vx3::platform {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace vx3::platform
