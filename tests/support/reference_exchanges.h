// The reference exchanges of the Writer protocol (tests/data/reference_exchanges.txt): byte
// sequences taken from the protocol's description, checked separately against the program's
// link and against the simulated Writer, so that neither side can drift with the other.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vx3::testing {

struct ExchangeStep {
  bool fromHost = true;             // a 64-byte packet to the Writer, else a 16-byte reply
  std::vector<std::uint8_t> bytes;  // padded with zeros to 64 or 16 bytes
};

struct ReferenceExchange {
  std::string name;
  std::vector<ExchangeStep> steps;

  std::vector<std::vector<std::uint8_t>> HostPackets() const;
  std::vector<std::vector<std::uint8_t>> Replies() const;
};

// Every exchange of the file by name; a line the format does not allow fails the test that
// reads it (ADD_FAILURE) and is skipped.
std::map<std::string, ReferenceExchange> ReadReferenceExchanges(const std::filesystem::path& file);

// The file in the source tree (VX3WT_SOURCE_DIR is defined for the test programs).
#ifdef VX3WT_SOURCE_DIR
inline std::filesystem::path ReferenceExchangesFile() {
  return std::filesystem::path(VX3WT_SOURCE_DIR) / "tests" / "data" / "reference_exchanges.txt";
}
#endif

}  // namespace vx3::testing
