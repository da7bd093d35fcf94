#include "ui_text/language.h"

#include "platform/ini_profile.h"
#include "ui_text/builtin_strings.h"

namespace vx3::text {

bool LookupUIText(const std::filesystem::path& languageFile, std::string_view key, std::string& text) {
  auto value = platform::ReadProfileString(languageFile, kLanguageSection, key);
  if (!value || value->empty()) return false;
  text = std::move(*value);
  return true;
}

void Language::SetFile(std::filesystem::path file) {
  std::lock_guard lock(mutex_);
  file_ = std::move(file);
}

std::filesystem::path Language::File() const {
  std::lock_guard lock(mutex_);
  return file_;
}

bool Language::Lookup(std::string_view key, std::string& text) const { return LookupUIText(File(), key, text); }

std::string Language::Text(UiText entry) const {
  std::string text;
  if (!Lookup(entry.key, text)) text = std::string(BuiltInString(entry.builtinId));
  return text;
}

std::string Language::Format(UiText entry, std::initializer_list<FormatArg> args) const {
  std::string text;
  if (Lookup(entry.key, text)) {
    if (auto formatted = SafeFormat(text, args)) return std::move(*formatted);
  }
  const std::string_view builtin = BuiltInString(entry.builtinId);
  if (auto formatted = SafeFormat(builtin, args)) return std::move(*formatted);
  // Our own table always fits its callers; should one ever not, show it as it stands.
  return std::string(builtin);
}

}  // namespace vx3::text
