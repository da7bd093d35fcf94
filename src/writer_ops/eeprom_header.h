// The Writer's 128-byte EEPROM job header as the program holds it: one buffer for the run, all
// zero at start, filled by the EEPROM download and overwritten whole by the header read-back.
// The field offsets are the Writer's, so the simulated Writer reads them from here too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vx3::writer_ops {

inline constexpr std::size_t kEepromHeaderSize = 128;
inline constexpr std::size_t kEepromBlockSize = 64;  // the header goes out as two such blocks

namespace header_offset {
inline constexpr std::size_t kRollingRecord = 0;  // the rolling record, up to offset 25
inline constexpr std::size_t kVerifyWithoutRolling = 26;
inline constexpr std::size_t kEepromInfoWord = 80;  // 2 bytes, low byte first
inline constexpr std::size_t kChipName = 96;        // 16 bytes: the image header's chip name
inline constexpr std::size_t kChipNameSize = 16;
inline constexpr std::size_t kReservedZero = 112;
inline constexpr std::size_t kSecuredChecksum = 121;  // 2 bytes, low byte first
inline constexpr std::size_t kProgramType = 123;      // low 8 bits of PGM_TYPE
inline constexpr std::size_t kLastRomWord = 124;      // romWords - 1, 2 bytes, low byte first
inline constexpr std::size_t kChecksum = 126;         // 2 bytes, low byte first
}  // namespace header_offset

struct EepromHeader {
  std::array<std::uint8_t, kEepromHeaderSize> bytes{};
};

}  // namespace vx3::writer_ops
