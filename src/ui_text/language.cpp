#include "ui_text/language.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "ui_text/builtin_strings.h"

namespace vx3::text {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

struct RawLine {
  std::string_view content;
  std::string_view end;  // "\r\n", "\n", "\r" or nothing
};

// Line ends are ASCII, and no GBK trail byte and no byte inside a UTF-8 sequence is CR or LF,
// so the file splits into lines the same way in every encoding it may be in.
std::vector<RawLine> SplitLines(std::string_view text) {
  std::vector<RawLine> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t stop = pos;
    while (stop < text.size() && text[stop] != '\n' && text[stop] != '\r') ++stop;
    std::size_t next = stop;
    if (next < text.size()) next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
    lines.push_back({text.substr(pos, stop - pos), text.substr(stop, next - stop)});
    pos = next;
  }
  return lines;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The file's lines one by one, in UTF-8 or in `page`; a line that does not fit is left out.
DecodedLanguageFile DecodeByLine(std::string_view body, platform::LegacyCodePage page, bool utf8Declared) {
  const std::vector<RawLine> lines = SplitLines(body);
  bool preferUtf8 = utf8Declared;
  if (!utf8Declared) {
    std::size_t utf8Misfits = 0;
    std::size_t pageMisfits = 0;
    for (const RawLine& line : lines) {
      if (IsAscii(line.content)) continue;
      if (!platform::IsValidUtf8(line.content)) ++utf8Misfits;
      if (!platform::LegacyToUtf8(line.content, page)) ++pageMisfits;
    }
    preferUtf8 = utf8Misfits <= pageMisfits;
  }
  DecodedLanguageFile decoded;
  decoded.bytes.reserve(body.size() * 3 / 2);
  for (const RawLine& line : lines) {
    std::optional<std::string> text;
    if (preferUtf8) {
      if (platform::IsValidUtf8(line.content)) text = std::string(line.content);
    } else {
      text = platform::LegacyToUtf8(line.content, page);
    }
    if (!text) {
      decoded.unreadable = true;
      continue;
    }
    decoded.bytes += *text;
    decoded.bytes += line.end;
  }
  return decoded;
}

}  // namespace

platform::LegacyCodePage LanguageCodePage(const std::filesystem::path& languageFile) {
  return platform::EqualsIgnoringCase(platform::PathToUtf8(languageFile.filename()), kChineseFileName)
             ? platform::LegacyCodePage::Gbk
             : platform::LegacyCodePage::Windows1252;
}

DecodedLanguageFile DecodeLanguageFile(std::string_view bytes, platform::LegacyCodePage page) {
  if (StartsWith(bytes, kUtf16LeBom) || StartsWith(bytes, kUtf16BeBom)) return {std::string(bytes), false};
  const bool utf8Declared = StartsWith(bytes, kUtf8Bom);
  const std::string_view body = utf8Declared ? bytes.substr(kUtf8Bom.size()) : bytes;
  if (platform::IsValidUtf8(body)) return {std::string(body), false};
  if (!utf8Declared) {
    if (std::optional<std::string> converted = platform::LegacyToUtf8(body, page)) return {std::move(*converted), false};
  }
  return DecodeByLine(body, page, utf8Declared);
}

namespace {

// UTF-16 with byte-order mark, or UTF-8 throughout: the profile lookup reads the bytes as they are.
bool ReadableAsItStands(std::string_view bytes) {
  if (StartsWith(bytes, kUtf16LeBom) || StartsWith(bytes, kUtf16BeBom)) return true;
  return platform::IsValidUtf8(StartsWith(bytes, kUtf8Bom) ? bytes.substr(kUtf8Bom.size()) : bytes);
}

// What the lookup reads, for the last file of each code page, kept while its bytes stay the same:
// the file is read at every lookup so that an edit counts at once, but checking and converting
// all of it each time would cost several times the reading.
struct DecodedEntry {
  bool filled = false;
  std::string raw;
  std::shared_ptr<const DecodedLanguageFile> decoded;  // null: read the bytes as they stand
};
std::mutex gDecodedMutex;
DecodedEntry gDecoded[2];

std::shared_ptr<const DecodedLanguageFile> Decoded(const std::string& bytes, platform::LegacyCodePage page) {
  DecodedEntry& entry = gDecoded[page == platform::LegacyCodePage::Gbk ? 0 : 1];
  {
    std::lock_guard lock(gDecodedMutex);
    if (entry.filled && entry.raw == bytes) return entry.decoded;
  }
  std::shared_ptr<const DecodedLanguageFile> decoded;
  if (!ReadableAsItStands(bytes)) decoded = std::make_shared<const DecodedLanguageFile>(DecodeLanguageFile(bytes, page));
  std::lock_guard lock(gDecodedMutex);
  entry.filled = true;
  entry.raw = bytes;
  entry.decoded = decoded;
  return decoded;
}

}  // namespace

bool LanguageFileHasUnreadableText(const std::filesystem::path& languageFile) {
  try {
    std::string bytes;
    if (!platform::ReadFileBytes(languageFile, bytes)) return false;
    const std::shared_ptr<const DecodedLanguageFile> decoded = Decoded(bytes, LanguageCodePage(languageFile));
    return decoded && decoded->unreadable;
  } catch (...) {
    return false;
  }
}

bool LookupUIText(const std::filesystem::path& languageFile, std::string_view key, std::string& text) {
  std::optional<std::string> value;
  try {
    std::string bytes;
    if (!platform::ReadFileBytes(languageFile, bytes)) return false;
    const std::shared_ptr<const DecodedLanguageFile> decoded = Decoded(bytes, LanguageCodePage(languageFile));
    value = platform::ReadProfileStringFromBytes(decoded ? decoded->bytes : bytes, kLanguageSection, key);
  } catch (...) {
    return false;
  }
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

std::string UnreadableTextLine(const Language& language) {
  const std::filesystem::path file = language.File();
  if (!LanguageFileHasUnreadableText(file)) return {};
  return language.Format(IDS_MESSAGE_LanguageUnreadable,
                         {platform::PathToUtf8(file.filename()), platform::LegacyCodePageName(LanguageCodePage(file))});
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
