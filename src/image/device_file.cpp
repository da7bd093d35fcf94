#include "image/device_file.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <system_error>

#include "image/loaded_image.h"
#include "platform/ascii_case.h"
#include "platform/file_lookup.h"
#include "platform/utf8_path.h"
#include "ui_text/program_paths.h"

namespace vx3::image {

namespace fs = std::filesystem;

namespace {

constexpr int kEnd = -1;

bool IsWhite(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
// Blanks between tokens of one line; a "," separates as a blank does.
bool IsLineBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == ','; }
bool EndsToken(int c) { return c == kEnd || IsWhite(c) || c == ','; }
bool LineEnded(int c) { return c == '\n' || c == kEnd; }

bool SameThroughBit5(int a, int b) { return ((a ^ b) & ~0x20) == 0; }

using platform::EqualsIgnoringCase;

// Reads a description file the way the tool chain's own scanner reads it: bytes in text mode
// (a carriage return before a line feed is dropped), and a byte 0xFF ends the file, since the
// tool chain's files were made by programs that took it for the end-of-file mark. The file is
// read through one small buffer, so any size is fine.
class IncScanner {
 public:
  explicit IncScanner(std::filebuf& file) : file_(file) {}

  // The next character as stored, or kEnd.
  int Raw() {
    if (rawBack_ != kNone) {
      const int c = rawBack_;
      rawBack_ = kNone;
      return c;
    }
    const int c = Byte();
    if (c == '\r' && PeekByte() == '\n') {
      Byte();
      return '\n';
    }
    return c;
  }

  // The next character with comments taken out: ";" and "//" comments vanish up to their line
  // end, a "/* */" comment reads as one blank whatever lines it spans, and a "/" followed by
  // any other character is dropped.
  int Next() {
    if (back_ != kNone) {
      const int c = back_;
      back_ = kNone;
      return c;
    }
    int c = Raw();
    while (c == '/') {
      const int d = Raw();
      if (d == '/') return SkipToLineEnd();
      if (d == '*') return SkipBlockComment();
      c = d;  // the slash is dropped; what follows it is read as usual
    }
    if (c == ';') return SkipToLineEnd();
    return c;
  }

  // Gives `c` back to the next Next() (or, for the text value, to the next raw read).
  void Back(int c) { back_ = c; }

  // The next character on the same line that is not a blank, tab or comment.
  int NextOnLine() {
    int c = Next();
    while (IsLineBlank(c)) c = Next();
    return c;
  }

  // The next significant character: blanks, tabs, line ends and comments skipped.
  int NextSignificant() {
    int c = Next();
    while (c != kEnd && (IsWhite(c) || c == ',')) c = Next();
    return c;
  }

  // Skips what is left of the line that `c` belongs to (nothing when `c` ended it).
  void SkipLine(int c) {
    while (!LineEnded(c)) c = Next();
  }

  // Reads the token that starts with `first` and tells whether it matches `name`; the character
  // that ended it is given back.
  bool MatchToken(int first, std::string_view name) {
    bool same = true;
    std::size_t length = 0;
    int c = first;
    while (!EndsToken(c)) {
      if (length >= name.size() || !SameThroughBit5(c, static_cast<unsigned char>(name[length]))) same = false;
      ++length;
      c = Next();
    }
    Back(c);
    return same && length == name.size();
  }

  // The text value: from the first character after the key that is not a blank or tab to the
  // end of the line, comments included; empty when it starts with ";". Cut at the limit.
  std::string TextValue() {
    int c = back_ != kNone ? back_ : Raw();
    back_ = kNone;
    while (c == ' ' || c == '\t') c = Raw();
    std::string value;
    if (c == ';') return value;
    while (!LineEnded(c)) {
      if (value.size() < kIncValueMaxChars) value.push_back(static_cast<char>(c));
      c = Raw();
    }
    return value;
  }

 private:
  static constexpr int kNone = -2;

  int Byte() {
    if (ended_) return kEnd;
    if (pos_ == size_ && !Fill()) return kEnd;
    const int c = static_cast<unsigned char>(buffer_[pos_++]);
    if (c == 0xFF) {
      ended_ = true;
      return kEnd;
    }
    return c;
  }

  int PeekByte() {
    if (ended_) return kEnd;
    if (pos_ == size_ && !Fill()) return kEnd;
    return static_cast<unsigned char>(buffer_[pos_]);
  }

  bool Fill() {
    const std::streamsize got = file_.sgetn(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    pos_ = 0;
    size_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (size_ == 0) ended_ = true;
    return size_ > 0;
  }

  int SkipToLineEnd() {
    int c = Raw();
    while (!LineEnded(c)) c = Raw();
    return c;
  }

  int SkipBlockComment() {
    int previous = 0;
    for (int c = Raw(); c != kEnd; c = Raw()) {
      if (previous == '*' && c == '/') return ' ';
      previous = c;
    }
    return kEnd;
  }

  std::filebuf& file_;
  std::array<char, 4096> buffer_{};
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  bool ended_ = false;
  int rawBack_ = kNone;
  int back_ = kNone;
};

struct Question {
  std::string_view section;
  std::optional<std::string_view> key;
  OptionQuery* option = nullptr;  // option mode when set
};

// Parses the rest of an option line (after its key). True when it is the option asked for.
bool ParseOptionLine(IncScanner& scanner, OptionQuery& option) {
  int c = scanner.NextOnLine();
  if (LineEnded(c)) return false;
  // A bit position beyond any option word is kept from growing without bound; it then
  // describes no bit (see the security decision).
  std::uint32_t bitPosition = 0;
  while (c >= '0' && c <= '9') {
    bitPosition = std::min<std::uint32_t>(bitPosition * 10 + static_cast<std::uint32_t>(c - '0'), 0xFF);
    c = scanner.Next();
  }
  if (IsLineBlank(c)) c = scanner.NextOnLine();
  if (LineEnded(c)) return false;
  if (!scanner.MatchToken(c, option.optionName)) {
    scanner.SkipLine(scanner.Next());
    return false;
  }
  std::uint32_t count = 0;
  std::optional<std::uint32_t> index;
  for (c = scanner.NextOnLine(); !LineEnded(c); c = scanner.NextOnLine()) {
    if (scanner.MatchToken(c, option.valueName)) index = count;
    if (count < 0xFFFF) ++count;
  }
  if (!index) return false;
  option.descriptor = MakeDescriptor(bitPosition, OptionMask(count), *index);
  return true;
}

// One scan of one file from its start. True when the question is answered.
bool ScanFile(const fs::path& path, const Question& question, std::string& result) {
  std::filebuf file;
  if (file.open(path, std::ios::in | std::ios::binary) == nullptr) return false;
  IncScanner scanner(file);
  for (int c = scanner.NextSignificant(); c != kEnd; c = scanner.NextSignificant()) {
    if (!scanner.MatchToken(c, question.section)) {
      scanner.SkipLine(scanner.Next());
      continue;
    }
    if (!question.key) {
      result = scanner.TextValue();
      return true;
    }
    c = scanner.NextOnLine();
    if (LineEnded(c)) continue;
    if (!scanner.MatchToken(c, *question.key)) {
      scanner.SkipLine(scanner.Next());
      continue;
    }
    if (question.option == nullptr) {
      result = scanner.TextValue();
      return true;
    }
    if (ParseOptionLine(scanner, *question.option)) return true;
  }
  return false;
}

bool Lookup(const fs::path& programDir, std::string_view device, const Question& question, std::string& result,
            bool* incMissing) {
  // Include lines are followed from file to file; a chain that comes back to a file it has
  // already read ends there instead of going round for ever.
  std::set<fs::path> visited;
  std::string name(device);
  for (;;) {
    const auto path = LocateDeviceFile(programDir, name + std::string(kDescriptionExtension), kDescriptionFolder,
                                       incMissing);
    if (!path || !visited.insert(path->lexically_normal()).second) return false;
    if (ScanFile(*path, question, result)) return true;
    if (EqualsIgnoringCase(question.section, kIncludeSection)) return false;
    std::string include;
    if (!ScanFile(*path, Question{kIncludeSection, std::nullopt, nullptr}, include)) return false;
    const std::size_t ext = kDescriptionExtension.size();
    if (include.size() < ext + 1 || !EqualsIgnoringCase(std::string_view(include).substr(include.size() - ext), kDescriptionExtension)) {
      return false;
    }
    name = include.substr(0, include.size() - ext);
  }
}


}  // namespace

std::optional<fs::path> LocateDeviceFile(const fs::path& programDir, std::string_view name, std::string_view subFolder,
                                         bool* incMissing) {
  std::string relative(name);
  std::replace(relative.begin(), relative.end(), '\\', '/');
  const fs::path path = text::ComposeProgramSubdirPath(programDir, platform::PathFromUtf8(relative), subFolder);
  if (!relative.empty()) {
    // The device files come from a tool chain whose file system ignores letter case, and their
    // names reach us in any case (header chip names, include lines).
    const fs::path found = platform::FindFileIgnoringCase(path);
    if (text::FileExists(found)) return found;
  }
  const std::size_t at = name.find(kDescriptionExtension);
  if (incMissing != nullptr && at != std::string_view::npos && at != 0) *incMissing = true;
  return std::nullopt;
}

bool IncLookup(const fs::path& programDir, std::string_view device, std::string_view section,
               std::optional<std::string_view> key, std::string& result, bool* incMissing) {
  return Lookup(programDir, device, Question{section, key, nullptr}, result, incMissing);
}

bool IncLookup(const fs::path& programDir, std::string_view device, std::string_view section, std::string_view key,
               OptionQuery& option, bool* incMissing) {
  std::string unused;
  return Lookup(programDir, device, Question{section, key, &option}, unused, incMissing);
}

std::int32_t IncNumber(const fs::path& programDir, std::string_view device, std::string_view section,
                       std::string_view key, bool* incMissing) {
  std::string value;
  if (!IncLookup(programDir, device, section, key, value, incMissing)) return -1;
  return ParseIncNumber(value);
}

std::uint32_t IncOption(const fs::path& programDir, std::string_view device, std::string_view section,
                        std::string_view key, std::string_view optionName, std::string_view valueName,
                        bool* incMissing) {
  OptionQuery option{optionName, valueName, 0};
  return IncLookup(programDir, device, section, key, option, incMissing) ? option.descriptor : 0;
}

std::int32_t ParseIncNumber(std::string_view text) {
  if (text.empty()) return -1;
  unsigned base = 10;
  std::size_t pos = 0;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    pos = 2;
  } else if (text.back() == 'H' || text.back() == 'h') {
    base = 16;
  }
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  bool negative = false;
  if (base == 10 && pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  std::uint32_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
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
    value = value * base + digit;
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::uint32_t OptionMask(std::uint32_t valueCount) {
  if (valueCount > 8) return 15;
  if (valueCount > 4) return 7;
  if (valueCount > 2) return 3;
  if (valueCount == 2) return 1;
  return valueCount;
}

bool TokenMatches(std::string_view token, std::string_view name) {
  if (token.size() != name.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (!SameThroughBit5(static_cast<unsigned char>(token[i]), static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

}  // namespace vx3::image
