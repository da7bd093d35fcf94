// UI texts by key: the lookup rules, the built-in fallback and formatted texts.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "ui_text/builtin_strings.h"
#include "ui_text/language.h"

namespace vx3::text {
namespace {

struct LookupCase {
  const char* name;
  std::string fileBytes;  // the language file; empty string: no file at all
  const char* key;
  bool found;
  std::string text;
};

std::string Utf16LeWithBom(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

const std::string kLongValue(300, 'x');

const LookupCase kLookupCases[] = {
    {"plain", "[STRING TABLE]\r\nIDS_Verify=Check it\r\n", "IDS_Verify", true, "Check it"},
    {"key and section without regard to case", "[string table]\r\nids_verify=Check it\r\n", "IDS_Verify", true,
     "Check it"},
    {"spaces around the value dropped", "[STRING TABLE]\r\nIDS_Verify =   Check it  \r\n", "IDS_Verify", true,
     "Check it"},
    {"one pair of double quotes dropped", "[STRING TABLE]\r\nIDS_DriverVersion=\"DRV Ver : \"\r\n",
     "IDS_DriverVersion", true, "DRV Ver : "},
    {"one pair of single quotes dropped", "[STRING TABLE]\r\nIDS_Verify='\"quoted\"'\r\n", "IDS_Verify", true,
     "\"quoted\""},
    {"nothing unescaped", "[STRING TABLE]\r\nIDS_Verify=a\\nb %s\r\n", "IDS_Verify", true, "a\\nb %s"},
    {"empty value counts as missing", "[STRING TABLE]\r\nIDS_Verify=\r\n", "IDS_Verify", false, "unchanged"},
    {"quotes around nothing count as missing", "[STRING TABLE]\r\nIDS_Verify=\"\"\r\n", "IDS_Verify", false,
     "unchanged"},
    {"missing key", "[STRING TABLE]\r\nIDS_Read=Read\r\n", "IDS_Verify", false, "unchanged"},
    {"key in another section", "[OTHER]\r\nIDS_Verify=Check it\r\n", "IDS_Verify", false, "unchanged"},
    {"missing file", "", "IDS_Verify", false, "unchanged"},
    {"value cut at 259 characters", "[STRING TABLE]\r\nIDS_Verify=" + kLongValue + "\r\n", "IDS_Verify", true,
     std::string(259, 'x')},
    {"UTF-16 file with byte-order mark", Utf16LeWithBom(u"[STRING TABLE]\r\nIDS_Verify=校验\r\n"), "IDS_Verify",
     true, "校验"},
    {"UTF-8 file with byte-order mark", "\xEF\xBB\xBF[STRING TABLE]\r\nIDS_Verify=校验\r\n", "IDS_Verify", true,
     "校验"},
};

class LookupUITextTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LookupUITextTest, FollowsTheProfileRules) {
  const LookupCase& c = GetParam();
  testing::TempDir dir;
  const auto file = dir.path() / "language" / "UIEng.ini";
  if (!c.fileBytes.empty()) dir.WriteFile("language/UIEng.ini", c.fileBytes);
  std::string text = "unchanged";
  EXPECT_EQ(LookupUIText(file, c.key, text), c.found) << c.name;
  EXPECT_EQ(text, c.text) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rules, LookupUITextTest, ::testing::ValuesIn(kLookupCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(LanguageTest, FallsBackToTheBuiltInTextAndReadsTheFileAnewEachTime) {
  testing::TempDir dir;
  Language language(dir.path() / "UIEng.ini");
  EXPECT_EQ(language.Text(IDS_MESSAGE_Error), "Err: ");
  EXPECT_EQ(language.Text(IDS_STR_PROMPT), "Device / Load VX3");
  dir.WriteFile("UIEng.ini", "[STRING TABLE]\nIDS_MESSAGE_Error=Error: \n");
  EXPECT_EQ(language.Text(IDS_MESSAGE_Error), "Error:");  // spaces around a bare value go
  dir.WriteFile("UIEng.ini", "[STRING TABLE]\nIDS_MESSAGE_Error=\"错误：\"\n");
  EXPECT_EQ(language.Text(IDS_MESSAGE_Error), "错误：");
}

struct FormatCase {
  const char* name;
  const char* fileValue;  // nullptr: the key is missing
  std::string expected;
};

class LanguageFormatTest : public ::testing::TestWithParam<FormatCase> {};

// "IDS_CheckSum_Format_VX3" is formatted with the checksum and the security text.
TEST_P(LanguageFormatTest, UsesTheBuiltInTextWhenTheFileTextDoesNotFitTheArguments) {
  const FormatCase& c = GetParam();
  testing::TempDir dir;
  if (c.fileValue != nullptr) {
    dir.WriteFile("UIEng.ini", std::string("[STRING TABLE]\nIDS_CheckSum_Format_VX3=\"") + c.fileValue + "\"\n");
  }
  const Language language(dir.path() / "UIEng.ini");
  EXPECT_EQ(language.Format(IDS_CheckSum_Format_VX3, {0x1A2B, "(Security option enable)"}), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LanguageFormatTest,
    ::testing::Values(FormatCase{"built-in", nullptr, " 1A2B (Security option enable)"},
                      FormatCase{"file text", "校验和 %04x %s", "校验和 1a2b (Security option enable)"},
                      FormatCase{"fewer conversions", "sum %04X", "sum 1A2B"},
                      FormatCase{"swapped types", " %s %04X", " 1A2B (Security option enable)"},
                      FormatCase{"pointer conversion", "%p %s", " 1A2B (Security option enable)"},
                      FormatCase{"store conversion", "%n%s", " 1A2B (Security option enable)"},
                      FormatCase{"huge precision", "%.99999999d %s", " 1A2B (Security option enable)"},
                      FormatCase{"too many conversions", "%X %s %s", " 1A2B (Security option enable)"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(LanguageTest, AVeryLongFileTextIsCutAndStillFormats) {
  testing::TempDir dir;
  dir.WriteFile("UIEng.ini", "[STRING TABLE]\nIDS_EPROM_CheckSum=" + std::string(5000, '%') + "\n");
  const Language language(dir.path() / "UIEng.ini");
  // 259 percent signs end in a lone %, which is refused: the built-in text stands in.
  EXPECT_EQ(language.Format(IDS_EPROM_CheckSum, {0xBEEF}), "The EPROM check sum is BEEF");
}

}  // namespace
}  // namespace vx3::text
