// INI profile files: the Windows profile rules for reading a value and for changing one key,
// on UTF-8 and UTF-16 files, with an atomic replace so that a crash never loses a stored value.
#include "platform/ini_profile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#undef WriteProfileString  // a windows.h macro; see ini_profile.h
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vx3::platform {
namespace {

namespace fs = std::filesystem;

constexpr char32_t kReplacement = 0xFFFD;

// ---------------------------------------------------------------------------------------------
// Text encodings

enum class Encoding { Utf8, Utf8Bom, Utf16Le, Utf16Be };

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one code point from UTF-8 at `pos` and advances `pos`. A broken sequence gives
// U+FFFD and advances past its longest valid beginning (at least one byte), so that the bytes
// after it are decoded in their own right.
char32_t NextUtf8(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  std::size_t length = 0;
  char32_t cp = 0;
  unsigned char low = 0x80;  // allowed range of the second byte, which rules out overlong
  unsigned char high = 0xBF; // forms, surrogates and values above U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    ++pos;
    return kReplacement;
  }
  ++pos;
  for (std::size_t i = 1; i < length; ++i) {
    if (pos >= text.size()) return kReplacement;
    const unsigned char next = byte(pos);
    const unsigned char lo = i == 1 ? low : 0x80;
    const unsigned char hi = i == 1 ? high : 0xBF;
    if (next < lo || next > hi) return kReplacement;
    cp = (cp << 6) | (next & 0x3F);
    ++pos;
  }
  return cp;
}

// Decodes one code point from UTF-16 units; an unpaired surrogate gives U+FFFD.
char32_t NextUtf16(std::u16string_view text, std::size_t& pos) {
  const char16_t unit = text[pos++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit <= 0xDBFF && pos < text.size() && text[pos] >= 0xDC00 && text[pos] <= 0xDFFF) {
    const char16_t trail = text[pos++];
    return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (static_cast<char32_t>(trail) - 0xDC00);
  }
  return kReplacement;
}

// Valid UTF-8 from file units, at most `maxChars` code points.
std::string ToUtf8(std::string_view units, std::size_t maxChars) {
  std::string out;
  std::size_t pos = 0;
  for (std::size_t count = 0; pos < units.size() && count < maxChars; ++count) {
    AppendUtf8(out, NextUtf8(units, pos));
  }
  return out;
}

std::string ToUtf8(std::u16string_view units, std::size_t maxChars) {
  std::string out;
  std::size_t pos = 0;
  for (std::size_t count = 0; pos < units.size() && count < maxChars; ++count) {
    AppendUtf8(out, NextUtf16(units, pos));
  }
  return out;
}

// Caller texts in the file's own units: UTF-8 as it is (broken sequences repaired), or UTF-16.
template <class Unit>
std::basic_string<Unit> ToUnits(std::string_view utf8);

template <>
std::string ToUnits<char>(std::string_view utf8) {
  return ToUtf8(utf8, utf8.size());
}

template <>
std::u16string ToUnits<char16_t>(std::string_view utf8) {
  std::u16string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t cp = NextUtf8(utf8, pos);
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

struct DecodedFile {
  Encoding encoding = Encoding::Utf8;
  std::string_view utf8;      // the text after any BOM, for the UTF-8 encodings
  std::u16string utf16;       // the units after the BOM, for the UTF-16 encodings
  bool danglingByte = false;  // a UTF-16 file of odd length
};

DecodedFile Decode(std::string_view bytes) {
  DecodedFile file;
  const auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  if (starts("\xEF\xBB\xBF")) {
    file.encoding = Encoding::Utf8Bom;
    file.utf8 = bytes.substr(3);
  } else if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
    file.encoding = starts("\xFF\xFE") ? Encoding::Utf16Le : Encoding::Utf16Be;
    const bool little = file.encoding == Encoding::Utf16Le;
    const std::string_view body = bytes.substr(2);
    file.utf16.reserve(body.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
      const auto first = static_cast<unsigned char>(body[i]);
      const auto second = static_cast<unsigned char>(body[i + 1]);
      file.utf16.push_back(static_cast<char16_t>(little ? (second << 8) | first : (first << 8) | second));
    }
    file.danglingByte = body.size() % 2 != 0;
  } else {
    file.utf8 = bytes;
  }
  return file;
}

std::string EncodeUtf16(std::u16string_view units, Encoding encoding) {
  const bool little = encoding == Encoding::Utf16Le;
  std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
  out.reserve(2 + units.size() * 2);
  for (const char16_t unit : units) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    out.push_back(little ? low : high);
    out.push_back(little ? high : low);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Lines, sections and keys. The structure of an INI file is all ASCII ('[', ']', '=', ';',
// blanks, line ends), and neither UTF-8 nor UTF-16 uses those values inside a multi-unit
// character, so the scan runs on the file's own units and every unit it does not edit is kept.

template <class Unit>
using Text = std::basic_string_view<Unit>;

template <class Unit>
bool IsBlank(Unit c) {
  return c == Unit(' ') || c == Unit('\t');
}

template <class Unit>
Text<Unit> Trim(Text<Unit> s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

template <class Unit>
Unit FoldAscii(Unit c) {
  return (c >= Unit('A') && c <= Unit('Z')) ? Unit(c - Unit('A') + Unit('a')) : c;
}

template <class Unit>
bool SameName(Text<Unit> a, Text<Unit> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

struct Line {
  std::size_t begin = 0;
  std::size_t end = 0;   // end of the content, before the line end
  std::size_t next = 0;  // start of the following line
};

template <class Unit>
bool NextLine(Text<Unit> text, std::size_t& pos, Line& line) {
  if (pos >= text.size()) return false;
  line.begin = pos;
  std::size_t i = pos;
  while (i < text.size() && text[i] != Unit('\n') && text[i] != Unit('\r')) ++i;
  line.end = i;
  if (i < text.size()) {
    if (text[i] == Unit('\r') && i + 1 < text.size() && text[i + 1] == Unit('\n')) {
      i += 2;
    } else {
      ++i;
    }
  }
  line.next = i;
  pos = i;
  return true;
}

enum class LineKind { Blank, Section, Key, Other };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::size_t nameBegin = 0;  // trimmed section or key name, as offsets into the text
  std::size_t nameEnd = 0;
  std::size_t equals = 0;     // position of '=' on a key line
};

// A line is a section header when its first non-blank unit is '[' and a ']' follows; the name
// is the trimmed text between them and anything after the ']' is ignored. A line that begins
// with ';' is a comment, a line with '=' is a key, anything else is kept but means nothing.
template <class Unit>
ParsedLine Classify(Text<Unit> text, const Line& line) {
  ParsedLine parsed;
  const Text<Unit> content = text.substr(line.begin, line.end - line.begin);
  std::size_t first = 0;
  while (first < content.size() && IsBlank(content[first])) ++first;
  if (first == content.size()) {
    parsed.kind = LineKind::Blank;
    return parsed;
  }
  if (content[first] == Unit(';')) return parsed;
  if (content[first] == Unit('[')) {
    const std::size_t close = content.find(Unit(']'), first + 1);
    if (close == Text<Unit>::npos) return parsed;
    std::size_t b = first + 1;
    std::size_t e = close;
    while (b < e && IsBlank(content[b])) ++b;
    while (e > b && IsBlank(content[e - 1])) --e;
    parsed.kind = LineKind::Section;
    parsed.nameBegin = line.begin + b;
    parsed.nameEnd = line.begin + e;
    return parsed;
  }
  const std::size_t equals = content.find(Unit('='), first);
  if (equals == Text<Unit>::npos) return parsed;
  std::size_t e = equals;
  while (e > first && IsBlank(content[e - 1])) --e;
  parsed.kind = LineKind::Key;
  parsed.nameBegin = line.begin + first;
  parsed.nameEnd = line.begin + e;
  parsed.equals = line.begin + equals;
  return parsed;
}

struct Lookup {
  bool sectionFound = false;
  Line lastFilledLine;  // the last non-blank line of the section, its header included
  bool keyFound = false;
  Line keyLine;
  std::size_t equals = 0;
};

// Finds the first section of that name and the first key of that name inside it. Later
// sections of the same name are not searched, as the Windows functions do not.
template <class Unit>
Lookup Find(Text<Unit> text, Text<Unit> section, Text<Unit> key) {
  Lookup found;
  std::size_t pos = 0;
  Line line;
  while (NextLine(text, pos, line)) {
    const ParsedLine parsed = Classify(text, line);
    if (parsed.kind == LineKind::Section) {
      if (found.sectionFound) break;
      if (SameName(text.substr(parsed.nameBegin, parsed.nameEnd - parsed.nameBegin), section)) {
        found.sectionFound = true;
        found.lastFilledLine = line;
      }
      continue;
    }
    if (!found.sectionFound) continue;
    if (parsed.kind != LineKind::Blank) found.lastFilledLine = line;
    if (parsed.kind == LineKind::Key &&
        SameName(text.substr(parsed.nameBegin, parsed.nameEnd - parsed.nameBegin), key)) {
      found.keyFound = true;
      found.keyLine = line;
      found.equals = parsed.equals;
      break;
    }
  }
  return found;
}

// The value as the profile functions give it: trimmed, one pair of enclosing quotes dropped,
// cut at the buffer's length in characters.
template <class Unit>
std::string ValueOf(Text<Unit> text, const Lookup& found) {
  Text<Unit> value = Trim(text.substr(found.equals + 1, found.keyLine.end - found.equals - 1));
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == Unit('"') || value.front() == Unit('\''))) {
    value = value.substr(1, value.size() - 2);
  }
  return ToUtf8(value, kProfileValueMaxChars);
}

template <class Unit>
std::optional<std::string> ReadValue(Text<Unit> text, std::string_view section, std::string_view key) {
  const std::basic_string<Unit> sectionUnits = ToUnits<Unit>(section);
  const std::basic_string<Unit> keyUnits = ToUnits<Unit>(key);
  const Lookup found = Find<Unit>(text, sectionUnits, keyUnits);
  if (!found.keyFound) return std::nullopt;
  return ValueOf(text, found);
}

// The line end the file already uses (its first one), or CR LF for a file without any.
template <class Unit>
std::basic_string<Unit> LineEndOf(Text<Unit> text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == Unit('\n')) return {Unit('\n')};
    if (text[i] == Unit('\r')) {
      if (i + 1 < text.size() && text[i + 1] == Unit('\n')) return {Unit('\r'), Unit('\n')};
      return {Unit('\r')};
    }
  }
  return {Unit('\r'), Unit('\n')};
}

template <class Unit>
std::basic_string<Unit> Concat(std::initializer_list<Text<Unit>> parts) {
  std::size_t total = 0;
  for (const auto part : parts) total += part.size();
  std::basic_string<Unit> out;
  out.reserve(total);
  for (const auto part : parts) out.append(part);
  return out;
}

// The whole text with the key set: its own line rewritten, or a line added at the end of its
// section, or the section added at the end of the text.
template <class Unit>
std::basic_string<Unit> SetValue(Text<Unit> text, std::string_view section, std::string_view key,
                                 std::string_view value) {
  const std::basic_string<Unit> sectionUnits = ToUnits<Unit>(section);
  const std::basic_string<Unit> keyUnits = ToUnits<Unit>(key);
  const std::basic_string<Unit> valueUnits = ToUnits<Unit>(value);
  const Lookup found = Find<Unit>(text, sectionUnits, keyUnits);
  const std::basic_string<Unit> eol = LineEndOf(text);
  const std::basic_string<Unit> equals(1, Unit('='));

  if (found.keyFound) {
    // The text before '=' stays as it was (its spelling and spacing); only the value changes.
    return Concat<Unit>({text.substr(0, found.equals + 1), valueUnits, text.substr(found.keyLine.end)});
  }
  if (found.sectionFound) {
    const Line& last = found.lastFilledLine;
    // A last line without its own line end gets one before the new line.
    const std::basic_string<Unit> before = last.next > last.end ? std::basic_string<Unit>() : eol;
    return Concat<Unit>({text.substr(0, last.next), before, keyUnits, equals, valueUnits, eol,
                         text.substr(last.next)});
  }
  const bool endsWithLineEnd = text.empty() || text.back() == Unit('\n') || text.back() == Unit('\r');
  const std::basic_string<Unit> before = endsWithLineEnd ? std::basic_string<Unit>() : eol;
  const std::basic_string<Unit> open(1, Unit('['));
  const std::basic_string<Unit> close(1, Unit(']'));
  return Concat<Unit>({text, before, open, sectionUnits, close, eol, keyUnits, equals, valueUnits, eol});
}

// ---------------------------------------------------------------------------------------------
// Files

enum class ReadResult { Ok, Missing, Failed };

// Reads the whole file. Chunked so that a file that grows or shrinks while being read still
// gives whatever was there, and so that a huge file fails cleanly on memory instead of on size.
ReadResult ReadAll(const fs::path& file, std::string& bytes) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (status.type() == fs::file_type::not_found) return ReadResult::Missing;
  // Only plain files: a folder cannot be read, and a device or pipe might never end.
  if (ec || status.type() != fs::file_type::regular) return ReadResult::Failed;
#ifdef _WIN32
  std::FILE* in = _wfopen(file.c_str(), L"rb");
#else
  std::FILE* in = std::fopen(file.c_str(), "rb");
#endif
  if (in == nullptr) return ReadResult::Failed;
  bytes.clear();
  char chunk[65536];
  bool failed = false;
  try {
    for (;;) {
      const std::size_t n = std::fread(chunk, 1, sizeof chunk, in);
      bytes.append(chunk, n);
      if (n < sizeof chunk) {
        failed = std::ferror(in) != 0;
        break;
      }
    }
  } catch (...) {
    failed = true;
  }
  std::fclose(in);
  return failed ? ReadResult::Failed : ReadResult::Ok;
}

std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
  const unsigned long process = GetCurrentProcessId();
#else
  const auto process = static_cast<unsigned long>(::getpid());
#endif
  return std::to_string(process) + "-" + std::to_string(static_cast<unsigned long long>(ticks)) + "-" +
         std::to_string(counter.fetch_add(1));
}

#ifndef _WIN32
bool WriteFully(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}
#endif

// Writes `bytes` to a new file beside `target`, flushes it to disk and renames it over
// `target`. On any failure the temporary file is removed and `target` is left as it was.
bool ReplaceAtomically(const fs::path& target, std::string_view bytes, bool targetExists) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
#ifdef _WIN32
  // CREATE_NEW fails on a name that exists, as O_EXCL does; the data is flushed to the disk
  // before the replace, and the replace itself is written through. The new file keeps the
  // hidden and system marks of the old one.
  const DWORD original = targetExists ? GetFileAttributesW(target.c_str()) : INVALID_FILE_ATTRIBUTES;
  const DWORD kept = original == INVALID_FILE_ATTRIBUTES ? 0 : original & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fs::path temp;
  HANDLE out = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 16 && out == INVALID_HANDLE_VALUE; ++attempt) {
    temp = folder / (target.filename().native() + fs::path(".tmp-" + UniqueSuffix()).native());
    out = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (out == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (std::string_view rest = bytes; ok && !rest.empty();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 30));
    DWORD written = 0;
    ok = WriteFile(out, rest.data(), chunk, &written, nullptr) != 0 && written > 0;
    rest.remove_prefix(written);
  }
  ok = FlushFileBuffers(out) != 0 && ok;
  ok = CloseHandle(out) != 0 && ok;
  if (!ok || MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    DeleteFileW(temp.c_str());
    return false;
  }
  return true;
#else
  std::error_code ec;
  struct stat original {};
  const bool haveOriginal = targetExists && ::stat(target.c_str(), &original) == 0;
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = folder / (target.filename().native() + ".tmp-" + UniqueSuffix());
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  if (haveOriginal) {
    // Keep the file's permissions and, where allowed, its owner; failing that is no reason
    // to lose the write.
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
    }
    if (::fchmod(fd, original.st_mode & 07777) != 0) {
    }
  }
  bool ok = WriteFully(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    fs::remove(temp, ec);
    return false;
  }
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
#endif
}

// Whether the existing file may be changed. A read-only file is refused, as the Windows
// function refuses it, although the rename alone would get past it.
bool MayChange(const fs::path& file) {
#ifdef _WIN32
  std::error_code ec;
  const fs::perms perms = fs::status(file, ec).permissions();
  return !ec && (perms & fs::perms::owner_write) != fs::perms::none;
#else
  return ::access(file.c_str(), W_OK) == 0;
#endif
}

bool ValidName(std::string_view name, std::string_view forbidden) {
  return !name.empty() && name.find_first_of(forbidden) == std::string_view::npos;
}

}  // namespace

bool ReadFileBytes(const std::filesystem::path& file, std::string& bytes) {
  try {
    return ReadAll(file, bytes) == ReadResult::Ok;
  } catch (...) {
    return false;
  }
}

// Links followed one after the other before a name is taken as a loop (the system's own limit).
constexpr int kMaxLinkHops = 40;

bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes, std::string* why) {
  const auto fail = [why](std::string reason) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  };
  std::error_code ec;
  // A link stands for its target: the target is what gets the bytes, in its own folder.
  fs::path target = file;
  for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
    // As many hops as the system follows; a loop of links ends here as it ends there.
    if (hops >= kMaxLinkHops) return fail(std::make_error_code(std::errc::too_many_symbolic_link_levels).message());
    const fs::path to = fs::read_symlink(target, ec);
    if (ec) return fail(ec.message());
    target = to.is_absolute() ? to : target.parent_path() / to;
  }
  const fs::file_status status = fs::status(target, ec);
  const bool exists = !ec && fs::exists(status);
  if (ec && ec != std::errc::no_such_file_or_directory) return fail(ec.message());
  if (exists && fs::is_directory(status)) return fail(std::make_error_code(std::errc::is_a_directory).message());
#ifndef _WIN32
  if (exists && !fs::is_regular_file(status)) {
    // A device or a pipe takes the bytes as they come; swapping it for a file would lose them.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return fail(std::error_code(errno, std::generic_category()).message());
    errno = 0;
    const bool written = WriteFully(fd, bytes);
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written) return fail(std::error_code(writeError != 0 ? writeError : EIO, std::generic_category()).message());
    if (!closed) return fail(std::error_code(errno, std::generic_category()).message());
    return true;
  }
#endif
  if (exists && !MayChange(target)) return fail(std::make_error_code(std::errc::permission_denied).message());
  errno = 0;
  if (!ReplaceAtomically(target, bytes, exists)) {
    return fail(std::error_code(errno != 0 ? errno : EIO, std::generic_category()).message());
  }
  return true;
}

bool MayReplaceFile(const std::filesystem::path& file) {
  std::error_code ec;
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec) || ec) return false;
#ifndef _WIN32
  // The temporary file is made in the folder.
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return false;
#endif
  const bool exists = fs::exists(file, ec);
  return !ec && (!exists || (!fs::is_directory(file, ec) && MayChange(file)));
}

std::optional<std::string> ReadProfileString(const std::filesystem::path& file, std::string_view section,
                                             std::string_view key) {
  try {
    std::string bytes;
    if (ReadAll(file, bytes) != ReadResult::Ok) return std::nullopt;
    return ReadProfileStringFromBytes(bytes, section, key);
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<std::string> ReadProfileStringFromBytes(std::string_view bytes, std::string_view section,
                                                      std::string_view key) {
  try {
    section = Trim<char>(section);
    key = Trim<char>(key);
    if (key.empty()) return std::nullopt;
    DecodedFile decoded = Decode(bytes);
    if (decoded.encoding == Encoding::Utf16Le || decoded.encoding == Encoding::Utf16Be) {
      if (decoded.danglingByte) decoded.utf16.push_back(static_cast<char16_t>(kReplacement));
      return ReadValue<char16_t>(decoded.utf16, section, key);
    }
    return ReadValue<char>(decoded.utf8, section, key);
  } catch (...) {
    return std::nullopt;
  }
}

int ReadProfileInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
                   int fallback) {
  const std::optional<std::string> value = ReadProfileString(file, section, key);
  if (!value) return fallback;
  const std::string& s = *value;
  std::size_t i = 0;
  // Like the Windows conversion: control characters and spaces before the number are skipped.
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= 0x20) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  unsigned base = 10;
  bool anyDigit = false;
  if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    anyDigit = true;  // "0x" alone reads as 0, its '0' being a digit
    i += 2;
  }
  // The Windows conversion gathers the digits in an unsigned 32-bit number, so a value too
  // large for it wraps modulo 2^32, and then negates it for '-': "4294967297" gives 1 and
  // "2147483648" gives INT_MIN.
  std::uint32_t result = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      break;
    }
    result = result * base + digit;
    anyDigit = true;
  }
  if (!anyDigit) return fallback;
  if (negative) result = 0u - result;
  return static_cast<int>(result);
}

bool WriteProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                        std::string_view value) {
  try {
    section = Trim<char>(section);
    key = Trim<char>(key);
    // Anything that would read back as a different line or name is refused before writing.
    if (value.find_first_of("\r\n") != std::string_view::npos) return false;
    if (!ValidName(section, "\r\n]") || !ValidName(key, "\r\n=")) return false;
    if (key.front() == ';' || key.front() == '[') return false;

    fs::path target = file;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(file, ec))) {
      // Write through a link to the file it names, so that the link stays a link.
      target = fs::canonical(file, ec);
      if (ec) return false;
    }

    std::string bytes;
    const ReadResult read = ReadAll(target, bytes);
    if (read == ReadResult::Failed) return false;
    const bool exists = read == ReadResult::Ok;
    if (exists && !MayChange(target)) return false;

    const DecodedFile decoded = Decode(bytes);
    std::string out;
    switch (decoded.encoding) {
      case Encoding::Utf8:
        out = SetValue<char>(decoded.utf8, section, key, value);
        break;
      case Encoding::Utf8Bom:
        out = "\xEF\xBB\xBF" + SetValue<char>(decoded.utf8, section, key, value);
        break;
      case Encoding::Utf16Le:
      case Encoding::Utf16Be:
        // A UTF-16 file of odd length is damaged; rewriting it would mean guessing.
        if (decoded.danglingByte) return false;
        out = EncodeUtf16(SetValue<char16_t>(decoded.utf16, section, key, value), decoded.encoding);
        break;
    }
    return ReplaceAtomically(target, out, exists);
  } catch (...) {
    return false;
  }
}

}  // namespace vx3::platform
