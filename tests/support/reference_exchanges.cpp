// Reading the reference exchanges file.
#include "support/reference_exchanges.h"

#include <fstream>
#include <string_view>

#include <gtest/gtest.h>

namespace vx3::testing {
namespace {

constexpr std::size_t kHostPacketSize = 64;
constexpr std::size_t kReplySize = 16;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "01 82 00", and "text" for its ASCII bytes with \r, \n, \" and \\ inside.
bool ParseBytes(std::string_view text, std::vector<std::uint8_t>& bytes) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t') {
      ++i;
    } else if (c == '#') {
      return true;
    } else if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] != '\\') {
          bytes.push_back(static_cast<std::uint8_t>(text[i]));
          continue;
        }
        if (++i >= text.size()) return false;
        const char escaped = text[i];
        bytes.push_back(static_cast<std::uint8_t>(escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped));
      }
      if (i >= text.size()) return false;
      ++i;
    } else if (i + 1 < text.size() && HexValue(c) >= 0 && HexValue(text[i + 1]) >= 0) {
      bytes.push_back(static_cast<std::uint8_t>(HexValue(c) * 16 + HexValue(text[i + 1])));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<std::vector<std::uint8_t>> ReferenceExchange::HostPackets() const {
  std::vector<std::vector<std::uint8_t>> packets;
  for (const ExchangeStep& step : steps) {
    if (step.fromHost) packets.push_back(step.bytes);
  }
  return packets;
}

std::vector<std::vector<std::uint8_t>> ReferenceExchange::Replies() const {
  std::vector<std::vector<std::uint8_t>> replies;
  for (const ExchangeStep& step : steps) {
    if (!step.fromHost) replies.push_back(step.bytes);
  }
  return replies;
}

std::map<std::string, ReferenceExchange> ReadReferenceExchanges(const std::filesystem::path& file) {
  std::map<std::string, ReferenceExchange> exchanges;
  std::ifstream in(file);
  if (!in.is_open()) {
    ADD_FAILURE() << "cannot read " << file;
    return exchanges;
  }
  ReferenceExchange* current = nullptr;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string_view text(line);
    if (text.empty() || text.front() == '#') continue;
    if (text.starts_with("exchange ")) {
      const std::string name(text.substr(9));
      current = &exchanges[name];
      current->name = name;
      continue;
    }
    ExchangeStep step;
    std::vector<std::uint8_t> bytes;
    const bool known = current != nullptr && text.size() >= 2 && (text[0] == '>' || text[0] == '<') && text[1] == ' ';
    if (!known || !ParseBytes(text.substr(2), bytes)) {
      ADD_FAILURE() << file << ":" << number << ": not a line of the format: " << line;
      continue;
    }
    step.fromHost = text[0] == '>';
    const std::size_t size = step.fromHost ? kHostPacketSize : kReplySize;
    if (bytes.size() > size) {
      ADD_FAILURE() << file << ":" << number << ": more than " << size << " bytes";
      continue;
    }
    bytes.resize(size, 0);
    step.bytes = std::move(bytes);
    current->steps.push_back(std::move(step));
  }
  return exchanges;
}

}  // namespace vx3::testing
