// The image checksums for every programming type, and the security decision.
//
// Expected checksums were reckoned apart from this code, from the written rules, by a few lines
// of Python over the same bodies (pattern byte i = ((i * 2654435761) >> 13) & 0xFF, then the
// option words), for example:
//   def t1(x):
//       if not (x >> 1) & 1: x ^= 4
//       if (x >> 6) == 1: x |= 0x80
//       return x
//   secured type 1 = sum(t1(b) for b in body) & 0xFFFF
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/image_checksum.h"
#include "support/image_builder.h"

namespace vx3::image {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// 0x800 words of pattern ending in the option words 3FFF 3FFF 3FF0 37F7: 4096 bytes, 8 blocks.
const std::vector<std::uint8_t>& BodyA() {
  static const auto body = Bytes(testing::MakeBody(0x800, {0x3FFF, 0x3FFF, 0x3FF0, 0x37F7}));
  return body;
}

struct TypeCase {
  std::int32_t otpType;
  std::uint16_t checksum;
  std::uint16_t secured;
};

class ChecksumByTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ChecksumByTypeTest, MatchesTheReckonedSums) {
  ChecksumRules rules;
  rules.otpType = GetParam().otpType;
  rules.bodyBytes = BodyA().size();
  const Checksums sums = PlainChecksums(BodyA(), rules);
  EXPECT_EQ(sums.checksum, GetParam().checksum);
  EXPECT_EQ(sums.securedChecksum, GetParam().secured);
}

INSTANTIATE_TEST_SUITE_P(Table, ChecksumByTypeTest,
                         ::testing::Values(TypeCase{-1, 0xF718, 0x0000}, TypeCase{0, 0xF718, 0x0000},
                                           TypeCase{1, 0xF718, 0xF61C}, TypeCase{2, 0xF718, 0xF955},
                                           TypeCase{3, 0xF718, 0xF688}, TypeCase{4, 0xF718, 0xF688},
                                           TypeCase{5, 0xF718, 0xF688}, TypeCase{6, 0xF718, 0xF688},
                                           TypeCase{7, 0xF718, 0xF688}, TypeCase{8, 0xF718, 0xF688},
                                           TypeCase{9, 0xF718, 0xF688}, TypeCase{10, 0xF718, 0xF688},
                                           TypeCase{11, 0xF718, 0xF688}, TypeCase{12, 0xF718, 0xF955},
                                           TypeCase{13, 0xF718, 0xF688}, TypeCase{14, 0xF718, 0xF688},
                                           TypeCase{15, 0xF718, 0xF688}, TypeCase{16, 0xF718, 0x0000}));

struct NewCodeCase {
  const char* name;
  std::int32_t otpType;
  bool newCodeOption;
  std::int32_t userRomWords;
  std::int32_t reservedWords;
  std::uint16_t checksum;
  std::uint16_t secured;
};

class NewCodeOptionTest : public ::testing::TestWithParam<NewCodeCase> {};

TEST_P(NewCodeOptionTest, LeavesOutTheReservedArea) {
  const NewCodeCase& c = GetParam();
  const Checksums sums = PlainChecksums(BodyA(), ChecksumRules{c.otpType, c.newCodeOption, c.userRomWords,
                                                               c.reservedWords, BodyA().size()});
  EXPECT_EQ(sums.checksum, c.checksum);
  EXPECT_EQ(sums.securedChecksum, c.secured);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NewCodeOptionTest,
    ::testing::Values(
        // User ROM ends at a block start (0xE00): 504 bytes of that block left out, and the odd
        // words between the user ROM and the option words.
        NewCodeCase{"Type3", 3, true, 0x700, 0x100, 0xFC4B, 0x7943},
        NewCodeCase{"Type1OnlyTheByteSum", 1, true, 0x700, 0x100, 0xFC4B, 0xF61C},
        NewCodeCase{"OptionOff", 3, false, 0x700, 0x100, 0xF718, 0xF688},
        // User ROM ending inside a block: no block starts there, so the byte sum is whole.
        NewCodeCase{"NotAtABlockStart", 3, true, 0x6F0, 0x110, 0xF718, 0x6F63},
        NewCodeCase{"NoUserRomSize", 3, true, -1, 0, 0xF718, 0xF688},
        // More reserved bytes than the block holds: the block alone is left out.
        NewCodeCase{"WholeBlock", 3, true, 0x600, 0x200, 0xF815, 0xF7F5},
        NewCodeCase{"BeyondTheLastBlock", 3, true, 0x700, 0x800, 0xF772, 0x7943}),
    [](const ::testing::TestParamInfo<NewCodeCase>& info) { return std::string(info.param.name); });

TEST(PlainChecksumTest, OddBodyLengthSumsItsLastByteOnce) {
  const std::vector<std::uint8_t> body(BodyA().begin(), BodyA().begin() + 1001);
  ChecksumRules rules{3, false, -1, 0, body.size()};
  EXPECT_EQ(PlainChecksums(body, rules).checksum, 0xF34E);
  EXPECT_EQ(PlainChecksums(body, rules).securedChecksum, 0xF5A7);
  rules.otpType = 1;
  EXPECT_EQ(PlainChecksums(body, rules).securedChecksum, 0x6FB4);
}

TEST(PlainChecksumTest, BlockByBlockEqualsWhole) {
  ChecksumRules rules{3, true, 0x700, 0x100, BodyA().size()};
  PlainChecksum sum(rules);
  for (std::size_t at = 0; at < BodyA().size(); at += kChecksumBlockBytes) {
    sum.AddBlock(std::span<const std::uint8_t>(BodyA()).subspan(at, kChecksumBlockBytes));
  }
  EXPECT_EQ(sum.result().checksum, 0xFC4B);
  EXPECT_EQ(sum.result().securedChecksum, 0x7943);
}

TEST(WrappedChecksumTest, SumsBytesAndOddWordsWhateverTheType) {
  const Checksums sums = WrappedChecksums(BodyA());
  EXPECT_EQ(sums.checksum, 0xF718);
  EXPECT_EQ(sums.securedChecksum, 0xF688);
}

struct ByteCase {
  std::uint8_t in;
  std::uint8_t out;
};

class SecuredByteTest : public ::testing::TestWithParam<ByteCase> {};

TEST_P(SecuredByteTest, TransformsType1Bytes) { EXPECT_EQ(SecuredByteType1(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(Table, SecuredByteTest,
                         ::testing::Values(ByteCase{0x00, 0x04}, ByteCase{0x02, 0x02}, ByteCase{0x40, 0xC4},
                                           ByteCase{0x42, 0xC2}, ByteCase{0x44, 0xC0}, ByteCase{0x46, 0xC6},
                                           ByteCase{0x80, 0x84}, ByteCase{0xC0, 0xC4}, ByteCase{0x7D, 0xF9},
                                           ByteCase{0xFF, 0xFF}));

// --- Security --------------------------------------------------------------------------------

struct SecurityCase {
  const char* name;
  std::int32_t otpType;
  std::uint32_t securityOption;
  std::uint32_t security0Option;
  std::uint32_t security1Option;
  std::array<std::uint16_t, 4> optionWords;
  bool enabled;
};

class DecideSecurityTest : public ::testing::TestWithParam<SecurityCase> {};

TEST_P(DecideSecurityTest, Decides) {
  const SecurityCase& c = GetParam();
  std::array<std::uint8_t, kSecurityTailBytes> last32{};
  last32.fill(0x5A);
  for (std::size_t n = 0; n < 4; ++n) {
    last32[24 + 2 * n] = static_cast<std::uint8_t>(c.optionWords[n] & 0xFF);
    last32[25 + 2 * n] = static_cast<std::uint8_t>(c.optionWords[n] >> 8);
  }
  LoadedImage image;
  image.otpType = c.otpType;
  image.securityOption = c.securityOption;
  image.security0Option = c.security0Option;
  image.security1Option = c.security1Option;
  image.securityEnabled = !c.enabled;
  EXPECT_EQ(DecideSecurity(image, last32), c.enabled);
  EXPECT_EQ(image.securityEnabled, c.enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecideSecurityTest,
    ::testing::Values(
        // No descriptors: bit 11 of the last word, active low; bit 1 for type 3.
        SecurityCase{"Bit11Clear", 1, 0, 0, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0x37FF}, true},
        SecurityCase{"Bit11Set", 1, 0, 0, 0, {0x0000, 0x0000, 0x0000, 0x0800}, false},
        SecurityCase{"Type3Bit1Clear", 3, 0, 0, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0x3FFD}, true},
        SecurityCase{"Type3Bit1SetBit11Clear", 3, 0, 0, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0x37FF}, false},
        SecurityCase{"Type12Bit11", 12, 0, 0, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0x37FF}, true},
        // One of the pair alone counts for nothing.
        SecurityCase{"OnlySecurity0", 1, 0, 0x000101, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0x37FF}, true},
        // "Security" at bit 3, value Enable = 0: for type 1 bit 3 of the last byte, bit 11 of w3.
        SecurityCase{"ByteOrderBit3Clear", 1, 0x000103, 0, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0x37FF}, true},
        SecurityCase{"ByteOrderBit3Set", 1, 0x000103, 0, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0x3FF7}, false},
        // Bit 56 is bit 0 of the first byte of the option words.
        SecurityCase{"ByteOrderFirstByte", 2, 0x010138, 0, 0, {0x3F01, 0, 0, 0}, true},
        SecurityCase{"ByteOrderFirstByteClear", 2, 0x010138, 0, 0, {0x3F00, 0, 0, 0}, false},
        // Two-bit option at bits 12-13: for type 4 the low byte of w3, for type 6 w3 itself.
        SecurityCase{"Type4TwoBits", 4, 0x02030C, 0, 0, {0, 0, 0, 0x3FE7}, true},
        SecurityCase{"Type6TwoBits", 6, 0x02030C, 0, 0, {0, 0, 0, 0x3FE7}, false},
        SecurityCase{"Type6TwoBitsMatch", 6, 0x02030C, 0, 0, {0, 0, 0, 0x2FE7}, true},
        // Word order for type 3: bits 6-7 of w3.
        SecurityCase{"Type3WordOrder", 3, 0x020306, 0, 0, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FBF}, true},
        SecurityCase{"Type3WordOrderOff", 3, 0x020306, 0, 0, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, false},
        // The pair: either one matching is enough, and it outranks "Security".
        SecurityCase{"PairFirst", 3, 0, 0x000101, 0x010111, {0, 0, 0xFFFD, 0xFFFD}, true},
        SecurityCase{"PairSecond", 3, 0, 0x000101, 0x010111, {0, 0, 0x0002, 0x0002}, true},
        SecurityCase{"PairNeither", 3, 0, 0x000101, 0x010111, {0, 0, 0xFFFD, 0x0002}, false},
        SecurityCase{"PairOutranksSecurity", 3, 0x000100, 0x000101, 0x010111, {0, 0, 0xFFFD, 0x0002}, false},
        // A bit position past the 64 option bits reads 0.
        SecurityCase{"BitPositionPastTheWords", 1, 0x0001FF, 0, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, true}),
    [](const ::testing::TestParamInfo<SecurityCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx3::image
