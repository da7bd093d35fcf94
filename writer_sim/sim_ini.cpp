// Reading the settings INI (UTF-8, with or without a byte-order mark), and clearing a one-shot key.
#include "sim_ini.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <system_error>

namespace vx3::sim {
namespace {

// A settings file larger than this is not one.
constexpr std::uintmax_t kMaxIniBytes = 1024U * 1024U;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

IniFile IniFile::Read(const std::filesystem::path& file) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec || size > kMaxIniBytes) return {};
  std::ifstream stream(file, std::ios::binary);
  if (!stream.is_open()) return {};
  const std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  return Parse(text);
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  std::map<std::string, std::string>* section = nullptr;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      section = close == std::string_view::npos ? nullptr : &ini.sections_[Lower(Trim(line.substr(1, close - 1)))];
      continue;
    }
    const std::size_t equals = line.find('=');
    if (section == nullptr || equals == std::string_view::npos) continue;
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    section->emplace(Lower(Trim(line.substr(0, equals))), std::string(value));
  }
  return ini;
}

std::optional<std::string> IniFile::Text(std::string_view section, std::string_view key) const {
  const auto found = sections_.find(Lower(section));
  if (found == sections_.end()) return std::nullopt;
  const auto value = found->second.find(Lower(key));
  if (value == found->second.end()) return std::nullopt;
  return value->second;
}

int IniFile::Int(std::string_view section, std::string_view key, int fallback) const {
  const std::optional<std::string> text = Text(section, key);
  if (!text) return fallback;
  std::string_view s = *text;
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  unsigned base = 10;
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  std::uint32_t value = 0;
  bool any = false;
  for (const char c : s) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = static_cast<unsigned>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    } else {
      break;
    }
    value = value * base + digit;  // wraps like the usual profile conversion
    any = true;
  }
  if (!any) return fallback;
  return static_cast<int>(negative ? 0U - value : value);
}

bool SetIniValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                 std::string_view value) {
  std::string text;
  {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string current;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + from, end - from);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.front() == '[') {
      const std::size_t close = trimmed.find(']');
      current = close == std::string_view::npos ? std::string() : Lower(Trim(trimmed.substr(1, close - 1)));
    } else if (const std::size_t equals = line.find('='); current == Lower(section) &&
                                                          !trimmed.empty() && trimmed.front() != ';' &&
                                                          equals != std::string_view::npos &&
                                                          Lower(Trim(line.substr(0, equals))) == Lower(key)) {
      const std::string replaced = std::string(line.substr(0, equals + 1)) + std::string(value);
      text.replace(from, line.size(), replaced);
      std::filesystem::path temporary = file;
      temporary += ".tmp";
      {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) return false;
      }
      std::error_code ec;
      std::filesystem::rename(temporary, file, ec);
      if (!ec) return true;
      std::filesystem::remove(temporary, ec);
      return false;
    }
    from = end + 1;
  }
  return false;
}

}  // namespace vx3::sim
