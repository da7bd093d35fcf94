// The two 16-bit checksums of an image body (the byte sum, and the sum a protected chip reports)
// and the decision whether the image's option words switch code security on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "image/loaded_image.h"

namespace vx3::image {

// The plain layout's body is summed in blocks of this size; one rule of the newer option
// handling is tied to them.
inline constexpr std::size_t kChecksumBlockBytes = 512;
// The last four words of the body are the option words; security is read from the last 32 bytes.
inline constexpr std::size_t kSecurityTailBytes = 32;

// What the plain layout's checksums depend on besides the body.
struct ChecksumRules {
  std::int32_t otpType = kUnknownOtpType;
  bool newCodeOption = false;
  std::int32_t userRomWords = kNoUserRomSize;  // negative: no user-ROM limit
  std::int32_t reservedWords = 0;
  std::uint64_t bodyBytes = 0;  // the whole body, for the option words at its end
};

struct Checksums {
  std::uint16_t checksum = 0;
  std::uint16_t securedChecksum = 0;
};

// The plain layout's checksums, fed block by block as the body streams past.
class PlainChecksum {
 public:
  explicit PlainChecksum(const ChecksumRules& rules);
  // The next block of the body; every block but the last holds kChecksumBlockBytes bytes.
  void AddBlock(std::span<const std::uint8_t> block);
  Checksums result() const { return {static_cast<std::uint16_t>(sum_), static_cast<std::uint16_t>(secured_)}; }

 private:
  ChecksumRules rules_;
  std::uint64_t offset_ = 0;  // body offset of the next block
  std::uint8_t low_ = 0;      // low byte of the word being read
  std::uint32_t sum_ = 0;
  std::uint32_t secured_ = 0;
};

// Both checksums of a whole body in memory, by the plain layout's rules.
Checksums PlainChecksums(std::span<const std::uint8_t> body, const ChecksumRules& rules);

// The wrapped layout's checksums: the byte sum, and lo + hi of every word with an odd index.
Checksums WrappedChecksums(std::span<const std::uint8_t> body);

// What a type-1 chip reports for a stored byte when its code is protected.
std::uint8_t SecuredByteType1(std::uint8_t byte);

// Whether the option words (bytes 24 to 31 of the last 32 bytes of the ROM image) switch
// security on, by the image's option descriptors and otpType; stored in image.securityEnabled.
bool DecideSecurity(LoadedImage& image, std::span<const std::uint8_t, kSecurityTailBytes> last32);

}  // namespace vx3::image
