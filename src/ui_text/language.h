// UI texts by key: the language file in force, the lookup with its built-in fallback, and the
// formatting of looked-up texts that carry printf-style conversions.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/legacy_text.h"
#include "ui_text/safe_format.h"
#include "ui_text/ui_texts.h"

namespace vx3::text {

inline constexpr std::string_view kLanguageSection = "STRING TABLE";
inline constexpr std::string_view kLanguageFolder = "language";
inline constexpr std::string_view kEnglishFileName = "UIEng.ini";
inline constexpr std::string_view kChineseFileName = "UIChina.ini";

// The 8-bit code page a language file is read in when it is not UTF-8: GBK for the Chinese file
// (what Chinese editors save as "ANSI"), Windows-1252 for the English one and any other.
platform::LegacyCodePage LanguageCodePage(const std::filesystem::path& languageFile);

// A language file's bytes made readable by the profile lookup.
struct DecodedLanguageFile {
  std::string bytes;        // UTF-8 (or UTF-16 with its byte-order mark, which the lookup reads)
  bool unreadable = false;  // some lines decode in neither encoding and were left out
};

// The file is read as UTF-8 when it is valid UTF-8 (with or without byte-order mark), as UTF-16
// when it begins with a UTF-16 byte-order mark, else in `page`. A file valid in neither is read
// line by line in the encoding that more of its lines fit (UTF-8 after a UTF-8 byte-order mark):
// a line that does not fit it is left out, so its key falls back to the built-in text, and
// `unreadable` is set.
DecodedLanguageFile DecodeLanguageFile(std::string_view bytes, platform::LegacyCodePage page);

// Whether `languageFile` holds lines that decode in neither UTF-8 nor its code page (false for a
// missing or unreadable file, which simply gives the built-in texts).
bool LanguageFileHasUnreadableText(const std::filesystem::path& languageFile);

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

  // Whether the file in force holds lines in neither UTF-8 nor its code page.
  bool HasUnreadableText() const { return LanguageFileHasUnreadableText(File()); }

  // The text of `entry`: the language file's, else the built-in one.
  std::string Text(UiText entry) const;

  // The text of `entry` formatted with `args`. A language text that does not fit the arguments
  // (a wrong or extra conversion, an oversized width) is replaced by the built-in text.
  std::string Format(UiText entry, std::initializer_list<FormatArg> args) const;

 private:
  mutable std::mutex mutex_;
  std::filesystem::path file_;
};

// The one line that says the language file in force holds lines in neither UTF-8 nor its code
// page, in that file's language where that text can be read; empty when it holds none. The
// window's status box and the command line say it at start.
std::string UnreadableTextLine(const Language& language);

}  // namespace vx3::text
