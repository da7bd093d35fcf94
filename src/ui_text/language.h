// UI texts by key: the language file in force, the lookup with its built-in fallback, and the
// formatting of looked-up texts that carry printf-style conversions.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

#include "ui_text/safe_format.h"
#include "ui_text/ui_texts.h"

namespace vx3::text {

inline constexpr std::string_view kLanguageSection = "STRING TABLE";
inline constexpr std::string_view kLanguageFolder = "language";
inline constexpr std::string_view kEnglishFileName = "UIEng.ini";
inline constexpr std::string_view kChineseFileName = "UIChina.ini";

// Reads `key` from section "STRING TABLE" of `languageFile`. True, with `text` set, when the
// file has a non-empty value for it; false, with `text` untouched, when the file, the section or
// the key is missing or the value is empty. The file is read anew at every lookup, so an edit
// takes effect at once.
bool LookupUIText(const std::filesystem::path& languageFile, std::string_view key, std::string& text);

// The language file in force, shared by the user-interface thread and the worker.
class Language {
 public:
  Language() = default;
  explicit Language(std::filesystem::path file) : file_(std::move(file)) {}

  void SetFile(std::filesystem::path file);
  std::filesystem::path File() const;

  bool Lookup(std::string_view key, std::string& text) const;

  // The text of `entry`: the language file's, else the built-in one.
  std::string Text(UiText entry) const;

  // The text of `entry` formatted with `args`. A language text that does not fit the arguments
  // (a wrong or extra conversion, an oversized width) is replaced by the built-in text.
  std::string Format(UiText entry, std::initializer_list<FormatArg> args) const;

 private:
  mutable std::mutex mutex_;
  std::filesystem::path file_;
};

}  // namespace vx3::text
