#include "image/image_checksum.h"

#include <algorithm>

namespace vx3::image {

namespace {

bool IsWordSumType(std::int32_t type) { return (type >= 3 && type <= 11) || (type >= 13 && type <= 15); }
bool IsHighByteType(std::int32_t type) { return type == 2 || type == 12; }

bool Matches(std::uint64_t value, std::uint32_t descriptor) {
  const std::uint32_t shift = DescriptorBitPosition(descriptor);
  // A bit position beyond the 64 option bits selects nothing: its field reads as 0.
  const std::uint64_t field = shift < 64 ? (value >> shift) : 0;
  return (field & DescriptorMask(descriptor)) == DescriptorValueIndex(descriptor);
}

}  // namespace

std::uint8_t SecuredByteType1(std::uint8_t byte) {
  std::uint8_t b = byte;
  if ((b & 0x02) == 0) b ^= 0x04;
  if ((b & 0xC0) == 0x40) b |= 0x80;
  return b;
}

PlainChecksum::PlainChecksum(const ChecksumRules& rules) : rules_(rules) {}

void PlainChecksum::AddBlock(std::span<const std::uint8_t> block) {
  const bool userLimit = rules_.newCodeOption && rules_.userRomWords >= 0;
  // With the newer option handling the reserved area after the user ROM (less the option words)
  // is left out of the byte sum, in the one block that starts where the user ROM ends.
  std::int64_t skipBytes = 0;
  if (userLimit && offset_ == 2 * static_cast<std::uint64_t>(rules_.userRomWords)) {
    skipBytes = 2 * static_cast<std::int64_t>(rules_.reservedWords) - 8;
  }
  const std::int64_t optionWordsStart = static_cast<std::int64_t>(rules_.bodyBytes / 2) - 4;
  const std::int32_t type = rules_.otpType;
  for (std::size_t j = 0; j < block.size(); ++j) {
    const std::uint8_t byte = block[j];
    if (static_cast<std::int64_t>(j) >= skipBytes) sum_ += byte;
    const std::uint64_t i = offset_ + j;
    if ((i & 1) == 0) {
      low_ = byte;
      continue;
    }
    // The secured sum is taken once per word, at its high byte.
    const std::uint8_t high = byte;
    if (type == 1) {
      secured_ += SecuredByteType1(low_) + SecuredByteType1(high);
    } else if (IsHighByteType(type)) {
      secured_ += high;
    } else if (IsWordSumType(type)) {
      const std::int64_t k = static_cast<std::int64_t>(i / 2);
      if ((k & 1) == 0) continue;
      if (userLimit && rules_.userRomWords < k && k < optionWordsStart) continue;
      secured_ += static_cast<std::uint32_t>(low_) + high;
    }
  }
  offset_ += block.size();
  sum_ &= 0xFFFF;
  secured_ &= 0xFFFF;
}

Checksums PlainChecksums(std::span<const std::uint8_t> body, const ChecksumRules& rules) {
  PlainChecksum sum(rules);
  for (std::size_t at = 0; at < body.size(); at += kChecksumBlockBytes) {
    sum.AddBlock(body.subspan(at, std::min(kChecksumBlockBytes, body.size() - at)));
  }
  return sum.result();
}

Checksums WrappedChecksums(std::span<const std::uint8_t> body) {
  std::uint32_t sum = 0;
  std::uint32_t secured = 0;
  for (std::size_t i = 0; i < body.size(); ++i) {
    sum += body[i];
    if ((i & 3) == 3) secured += static_cast<std::uint32_t>(body[i - 1]) + body[i];  // word k = i / 2 is odd
  }
  return {static_cast<std::uint16_t>(sum), static_cast<std::uint16_t>(secured)};
}

bool DecideSecurity(LoadedImage& image, std::span<const std::uint8_t, kSecurityTailBytes> last32) {
  const auto options = last32.subspan<24, 8>();
  auto word = [&](std::size_t n) {
    return static_cast<std::uint16_t>(options[2 * n] | (options[2 * n + 1] << 8));
  };
  const std::int32_t type = image.otpType;
  const bool pair = image.security0Option != 0 && image.security1Option != 0;
  bool enabled = false;
  if (!pair && image.securityOption == 0) {
    // Nothing described: the chip's fixed protect bit of the last option word, active low.
    const unsigned bit = type == 3 ? 1 : 11;
    enabled = ((word(3) >> bit) & 1) == 0;
  } else {
    std::uint64_t value = 0;
    if (type == 3 || (type >= 6 && type <= 15)) {
      value = (std::uint64_t{word(0)} << 48) | (std::uint64_t{word(1)} << 32) | (std::uint64_t{word(2)} << 16) | word(3);
    } else {
      for (std::size_t b = 0; b < 8; ++b) value = (value << 8) | options[b];
    }
    enabled = pair ? (Matches(value, image.security0Option) || Matches(value, image.security1Option))
                   : Matches(value, image.securityOption);
  }
  image.securityEnabled = enabled;
  return enabled;
}

}  // namespace vx3::image
