// The .VX3 header fields and the extension test.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "image/image_header.h"
#include "support/image_builder.h"

namespace vx3::image {
namespace {

std::array<std::uint8_t, kHeaderBytes> HeaderOf(const testing::Vx3HeaderFields& fields) {
  const std::string text = testing::MakeHeader(fields);
  std::array<std::uint8_t, kHeaderBytes> bytes{};
  std::copy(text.begin(), text.end(), bytes.begin());
  return bytes;
}

std::array<std::uint8_t, kHeaderBytes> WithEndAddress(std::string raw) {
  testing::Vx3HeaderFields fields;
  fields.formatVersion = 6;
  fields.raw = {{0x20, std::move(raw)}};
  return HeaderOf(fields);
}

TEST(ImageHeaderTest, ReadsEveryFieldAsTheToolChainWritesIt) {
  testing::Vx3HeaderFields fields;
  fields.chipName = "VX3N2210";
  fields.calMarker = "CAL_V2";
  fields.endAddress = 0x17FF;
  fields.formatVersion = 5;
  fields.optionOverride = 0x3F7F;
  fields.romWordsField = 0x2000;
  fields.autoIncWord = 0x0002;
  fields.eepromInfoWord = 0xA5C3;
  const std::string header = testing::MakeHeader(fields);
  ASSERT_EQ(header.size(), kHeaderBytes);
  EXPECT_EQ(header.substr(0x20, 0x28), "000017FF00053F7F00002000    0002    A5C3");
  const ImageHeader h = ParseImageHeader(HeaderOf(fields));
  EXPECT_EQ(h.chipName, "VX3N2210");
  EXPECT_EQ(h.calMarker, "CAL_V2");
  EXPECT_EQ(h.endAddress, 0x17FFu);
  EXPECT_EQ(h.formatVersion, 5u);
  EXPECT_EQ(h.optionOverride, 0x3F7Fu);
  EXPECT_EQ(h.romWordsField, 0x2000u);
  EXPECT_EQ(h.autoIncWord, 2u);
  EXPECT_EQ(h.eepromInfoWord, 0xA5C3u);
}

struct NumberCase {
  const char* name;
  std::string raw;  // the 8 bytes of the end-address field
  std::uint32_t expected;
};

class HeaderNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(HeaderNumberTest, ReadsHexadecimalDigitsWithinTheField) {
  EXPECT_EQ(HeaderNumber(WithEndAddress(GetParam().raw), kFieldEndAddress), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HeaderNumberTest,
    ::testing::Values(NumberCase{"Full", "000005FF", 0x5FF}, NumberCase{"Eight", "FEDCBA98", 0xFEDCBA98},
                      NumberCase{"LowerCase", "00000abc", 0xABC}, NumberCase{"LeadingBlanks", "     7FF", 0x7FF},
                      NumberCase{"LeadingWhiteSpace", std::string("\t\n\r  1A2", 8), 0x1A2},
                      NumberCase{"StopsAtOtherCharacter", "1A2 B000", 0x1A2},
                      NumberCase{"StopsAtX", "0x10    ", 0}, NumberCase{"NoDigits", "ZZZZZZZZ", 0},
                      NumberCase{"AllBlanks", "        ", 0}, NumberCase{"Nul", std::string(8, '\0'), 0},
                      NumberCase{"Minus", "-0000001", 0}),
    [](const ::testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.name); });

TEST(ImageHeaderTest, BlankFieldDoesNotReachIntoTheNextField) {
  // The version field after a blank end address holds digits; they are not the end address.
  const auto header = WithEndAddress("        0006");
  EXPECT_EQ(HeaderNumber(header, kFieldEndAddress), 0u);
  EXPECT_EQ(HeaderNumber(header, kFieldFormatVersion), 6u);
  const auto shortOne = WithEndAddress("     7FF0006");
  EXPECT_EQ(HeaderNumber(shortOne, kFieldEndAddress), 0x7FFu);
}

struct TextCase {
  const char* name;
  std::string raw;  // the 16 bytes of the chip name field
  const char* expected;
};

class HeaderTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(HeaderTextTest, ReadsTheFirstToken) {
  testing::Vx3HeaderFields fields;
  fields.raw = {{0x00, GetParam().raw}};
  EXPECT_EQ(HeaderText(HeaderOf(fields), kFieldChipName), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HeaderTextTest,
    ::testing::Values(TextCase{"BlankPadded", "VX3P1020        ", "VX3P1020"},
                      TextCase{"NulEnds", std::string("VXA\0VXB         ", 16), "VXA"},
                      TextCase{"LeadingBlanks", "  VXTERN        ", "VXTERN"},
                      TextCase{"TwoWords", "VX3F2040 OTP    ", "VX3F2040"},
                      TextCase{"FillsTheField", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"},
                      TextCase{"Empty", std::string(16, ' '), ""}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(ImageHeaderTest, ChipNameFillingItsFieldStopsThere) {
  testing::Vx3HeaderFields fields;
  fields.chipName = "ABCDEFGHIJKLMNOP";
  fields.calMarker = "CAL";
  EXPECT_EQ(ParseImageHeader(HeaderOf(fields)).chipName, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(ParseImageHeader(HeaderOf(fields)).calMarker, "CAL");
}

struct ExtensionCase {
  const char* path;
  bool vx3;
};

class HasExtensionTest : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(HasExtensionTest, ComparesTheFileNamesExtension) {
  EXPECT_EQ(HasExtension(GetParam().path, {".VX3"}), GetParam().vx3);
}

INSTANTIATE_TEST_SUITE_P(Table, HasExtensionTest,
                         ::testing::Values(ExtensionCase{"/img/a.VX3", true}, ExtensionCase{"/img/a.vx3", true},
                                           ExtensionCase{"/img/a.Vx3", true}, ExtensionCase{"a.b.VX3", true},
                                           ExtensionCase{"/img/a.BIN", false}, ExtensionCase{"/img/a.VX3.BIN", false},
                                           ExtensionCase{"/img/a.VX", false}, ExtensionCase{"/img.VX3/a", false},
                                           ExtensionCase{"/img/VX3", false}, ExtensionCase{"/img/.VX3", true},
                                           ExtensionCase{"", false}));

TEST(HasExtensionTest, AnyOfSeveral) {
  EXPECT_TRUE(HasExtension("a.bin", {".VX3", ".BIN"}));
  EXPECT_FALSE(HasExtension("a.hex", {".VX3", ".BIN"}));
}

}  // namespace
}  // namespace vx3::image
