#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ledger/series_server.h"

namespace vx3::ledger {
namespace {

constexpr std::string_view kPasswordKeyword = "password";
constexpr std::string_view kUriSchemes[] = {"postgresql://", "postgres://"};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// The password of a postgresql:// address: between ':' and '@' of the part before the host,
// and any password= of its query. Each is given as its place in `uri` (start, length).
void UriPasswords(std::string_view uri, std::vector<std::pair<std::size_t, std::size_t>>& places) {
  std::size_t start = 0;
  for (const auto scheme : kUriSchemes) {
    if (StartsWith(uri, scheme)) start = scheme.size();
  }
  const std::size_t authorityEnd = uri.find_first_of("/?", start);
  const std::string_view authority = uri.substr(start, authorityEnd == std::string_view::npos ? uri.npos : authorityEnd - start);
  // The last '@' ends the user part (a password may hold an '@' written as %40 only, but be safe).
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    const std::size_t colon = authority.substr(0, at).find(':');
    if (colon != std::string_view::npos) places.emplace_back(start + colon + 1, at - colon - 1);
  }
  const std::size_t query = uri.find('?', start);
  if (query == std::string_view::npos) return;
  std::size_t pos = query + 1;
  while (pos <= uri.size()) {
    std::size_t end = uri.find('&', pos);
    if (end == std::string_view::npos) end = uri.size();
    const std::string_view pair = uri.substr(pos, end - pos);
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && SameWord(pair.substr(0, equals), kPasswordKeyword)) {
      places.emplace_back(pos + equals + 1, pair.size() - equals - 1);
    }
    pos = end + 1;
  }
}

// The values of password= in keyword=value pairs: a bare word, or a quoted text with \' and \\.
void PairPasswords(std::string_view text, std::vector<std::pair<std::size_t, std::size_t>>& places) {
  std::size_t pos = 0;
  const auto skipSpace = [&] {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  };
  while (true) {
    skipSpace();
    if (pos >= text.size()) return;
    const std::size_t keyStart = pos;
    while (pos < text.size() && text[pos] != '=' && !std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    const std::string_view keyword = text.substr(keyStart, pos - keyStart);
    skipSpace();
    if (pos >= text.size() || text[pos] != '=') {
      // Not a pair: the client refuses such a string; nothing after it is read as a password,
      // so hide the rest, which may hold one.
      places.emplace_back(keyStart, text.size() - keyStart);
      return;
    }
    ++pos;
    skipSpace();
    const std::size_t valueStart = pos;
    if (pos < text.size() && text[pos] == '\'') {
      ++pos;
      while (pos < text.size() && text[pos] != '\'') pos += (text[pos] == '\\' && pos + 1 < text.size()) ? 2 : 1;
      if (pos < text.size()) ++pos;
    } else {
      while (pos < text.size() && !std::isspace(static_cast<unsigned char>(text[pos]))) {
        pos += (text[pos] == '\\' && pos + 1 < text.size()) ? 2 : 1;
      }
    }
    if (SameWord(keyword, kPasswordKeyword)) places.emplace_back(valueStart, pos - valueStart);
  }
}

std::vector<std::pair<std::size_t, std::size_t>> PasswordPlaces(std::string_view connection) {
  std::vector<std::pair<std::size_t, std::size_t>> places;
  bool uri = false;
  for (const auto scheme : kUriSchemes) uri = uri || StartsWith(connection, scheme);
  if (uri) UriPasswords(connection, places); else PairPasswords(connection, places);
  return places;
}

// The password as the server and the client would see it (quotes and escapes taken off).
std::string Unquoted(std::string_view value) {
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') value = value.substr(1, value.size() - 2);
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) ++i;
    out += value[i];
  }
  return out;
}

}  // namespace

std::string MaskConnectionPassword(std::string_view connection) {
  std::string masked;
  std::size_t copied = 0;
  for (const auto& [start, length] : PasswordPlaces(connection)) {
    masked.append(connection.substr(copied, start - copied));
    masked.append(kPasswordMask);
    copied = start + length;
  }
  masked.append(connection.substr(copied));
  return masked;
}

std::string WithoutPassword(std::string_view text, std::string_view connection) {
  std::string out(text);
  for (const auto& [start, length] : PasswordPlaces(connection)) {
    const std::string_view raw = connection.substr(start, length);
    for (const std::string& secret : {std::string(raw), Unquoted(raw)}) {
      if (secret.empty()) continue;
      for (std::size_t at = out.find(secret); at != std::string::npos; at = out.find(secret, at + kPasswordMask.size())) {
        out.replace(at, secret.size(), kPasswordMask);
      }
    }
  }
  return out;
}

}  // namespace vx3::ledger
