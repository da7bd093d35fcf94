// UI texts by key: the lookup rules, the built-in fallback and formatted texts.
#include <gtest/gtest.h>

#include "platform/utf8_path.h"
#include "support/code_page_text.h"
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

// ---------------------------------------------------------------------------------------------
// Language files in the encodings editors save them in

struct EncodingCase {
  const char* name;
  const char* fileName;  // the code page follows the name: GBK for UIChina.ini, else Windows-1252
  std::string fileBytes;
  const char* key;
  bool found;
  std::string text;
  bool unreadable;  // lines in neither UTF-8 nor the code page: one warning at start
};

// "校验" (verify), "读取" (read) and "合格" (pass) as a Chinese editor saves them in GBK.
const std::string kGbkVerify = "\xD0\xA3\xD1\xE9";
const std::string kGbkRead = "\xB6\xC1\xC8\xA1";

const EncodingCase kEncodingCases[] = {
    {"Chinese file in UTF-8 without byte-order mark", "UIChina.ini", "[STRING TABLE]\r\nIDS_Verify=校验\r\n",
     "IDS_Verify", true, "校验", false},
    {"Chinese file in UTF-8 with byte-order mark", "UIChina.ini",
     "\xEF\xBB\xBF[STRING TABLE]\r\nIDS_Verify=校验\r\n", "IDS_Verify", true, "校验", false},
    {"Chinese file in GBK", "UIChina.ini", "[STRING TABLE]\r\nIDS_Read=" + kGbkRead + "\r\nIDS_Verify=" + kGbkVerify + "\r\n",
     "IDS_Verify", true, "校验", false},
    {"Chinese file in GBK with the euro sign of code page 936", "UIChina.ini",
     "[STRING TABLE]\nIDS_Verify=" + kGbkVerify + " \x80\n", "IDS_Verify", true, "校验 €", false},
    {"Chinese file in UTF-16 with byte-order mark", "UIChina.ini",
     Utf16LeWithBom(u"[STRING TABLE]\r\nIDS_Verify=校验\r\n"), "IDS_Verify", true, "校验", false},
    {"file name in other letter case", "uichina.INI", "[STRING TABLE]\r\nIDS_Verify=" + kGbkVerify + "\r\n",
     "IDS_Verify", true, "校验", false},
    {"English file in Windows-1252", "UIEng.ini", "[STRING TABLE]\r\nIDS_Verify=V\xE9rifier \xB1" "1 \x80\r\n",
     "IDS_Verify", true, "Vérifier ±1 €", false},
    {"English file in UTF-8 keeps its accents", "UIEng.ini", "[STRING TABLE]\r\nIDS_Verify=Vérifier ±1\r\n",
     "IDS_Verify", true, "Vérifier ±1", false},
    {"GBK bytes in the English file are read as Windows-1252", "UIEng.ini",
     "[STRING TABLE]\r\nIDS_Verify=" + kGbkVerify + "\r\n", "IDS_Verify", true, "Ð£Ñé", false},
    {"English file: a byte Windows-1252 leaves undefined", "UIEng.ini",
     "[STRING TABLE]\r\nIDS_Verify=Check \x81\r\nIDS_Read=Read it\r\n", "IDS_Verify", false, "unchanged", true},
    {"English file: the other lines are read", "UIEng.ini",
     "[STRING TABLE]\r\nIDS_Verify=Check \x81\r\nIDS_Read=Read it\r\n", "IDS_Read", true, "Read it", true},
    {"GBK file: a byte in neither encoding", "UIChina.ini",
     "[STRING TABLE]\r\nIDS_Verify=" + kGbkVerify + "\r\nIDS_Read=" + kGbkRead + "\xFF\r\n", "IDS_Read", false,
     "unchanged", true},
    {"GBK file: the other lines are read in GBK", "UIChina.ini",
     "[STRING TABLE]\r\nIDS_Verify=" + kGbkVerify + "\r\nIDS_Read=" + kGbkRead + "\xFF\r\n", "IDS_Verify", true,
     "校验", true},
    {"GBK file: a lead byte without its trail byte at the end", "UIChina.ini",
     "[STRING TABLE]\r\nIDS_Read=" + kGbkRead + "\r\nIDS_Verify=" + kGbkVerify + "\xD0", "IDS_Verify", false,
     "unchanged", true},
    {"UTF-8 file with byte-order mark: a GBK line is not guessed at", "UIChina.ini",
     "\xEF\xBB\xBF[STRING TABLE]\r\nIDS_Verify=校验\r\nIDS_Read=" + kGbkRead + "\r\n", "IDS_Read", false,
     "unchanged", true},
    {"UTF-8 file with byte-order mark: its UTF-8 lines are read", "UIChina.ini",
     "\xEF\xBB\xBF[STRING TABLE]\r\nIDS_Verify=校验\r\nIDS_Read=" + kGbkRead + "\r\n", "IDS_Verify", true, "校验",
     true},
    {"mostly UTF-8 file: a broken line is left out, the rest read as UTF-8", "UIChina.ini",
     "[STRING TABLE]\r\nIDS_Verify=校验程序\r\nIDS_Read=读取程序\xFF\r\nIDS_Erase=擦除\r\n", "IDS_Erase", true,
     "擦除", true},
};

class LanguageEncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(LanguageEncodingTest, ReadsUtf8ElseTheCodePageAndLeavesOutWhatDecodesInNeither) {
  const EncodingCase& c = GetParam();
  testing::TempDir dir;
  const auto file = dir.WriteFile(platform::PathFromUtf8(std::string("language/") + c.fileName), c.fileBytes);
  std::string text = "unchanged";
  EXPECT_EQ(LookupUIText(file, c.key, text), c.found) << c.name;
  EXPECT_EQ(text, c.text) << c.name;
  EXPECT_EQ(LanguageFileHasUnreadableText(file), c.unreadable) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Encodings, LanguageEncodingTest, ::testing::ValuesIn(kEncodingCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// An edit counts at once in a file read from its code page too, a damage and its repair included.
TEST(LanguageTest, AFileInItsCodePageIsReadAnewWhenItChanges) {
  testing::TempDir dir;
  const Language language(dir.WriteFile("UIChina.ini", "[STRING TABLE]\r\nIDS_Verify=" + kGbkVerify + "\r\n"));
  EXPECT_EQ(language.Text(IDS_Verify), "校验");
  dir.WriteFile("UIChina.ini", "[STRING TABLE]\r\nIDS_Verify=" + kGbkRead + "\r\n");
  EXPECT_EQ(language.Text(IDS_Verify), "读取");
  EXPECT_FALSE(language.HasUnreadableText());
  dir.WriteFile("UIChina.ini", "[STRING TABLE]\r\nIDS_Verify=" + kGbkRead + "\xFF\r\n");
  EXPECT_EQ(language.Text(IDS_Verify), "Verify");
  EXPECT_TRUE(language.HasUnreadableText());
  dir.WriteFile("UIChina.ini", "[STRING TABLE]\r\nIDS_Verify=校验\r\n");
  EXPECT_EQ(language.Text(IDS_Verify), "校验");
  EXPECT_FALSE(language.HasUnreadableText());
}

TEST(LanguageTest, AMissingFileHasNothingUnreadable) {
  testing::TempDir dir;
  EXPECT_FALSE(LanguageFileHasUnreadableText(dir.path() / "UIChina.ini"));
  EXPECT_FALSE(Language(dir.path() / "UIChina.ini").HasUnreadableText());
}

// The shipped files saved again in the code pages that Windows editors save as "ANSI": every
// text reads as it does from the UTF-8 file, the band's PASS and FAIL included.
TEST(LanguageTest, TheShippedFilesReadTheSameInTheirCodePage) {
  struct Shipped {
    const char* fileName;
    platform::LegacyCodePage page;
  };
  for (const Shipped& shipped : {Shipped{"UIChina.ini", platform::LegacyCodePage::Gbk},
                                 Shipped{"UIEng.ini", platform::LegacyCodePage::Windows1252}}) {
    const std::filesystem::path original =
        std::filesystem::path(VX3WT_SOURCE_DIR) / "data" / "language" / shipped.fileName;
    const std::optional<std::string> saved = testing::Utf8ToCodePage(testing::ReadFileBytes(original), shipped.page);
    ASSERT_TRUE(saved.has_value()) << shipped.fileName;
    testing::TempDir dir;
    const Language utf8(original);
    const Language ansi(dir.WriteFile(shipped.fileName, *saved));
    EXPECT_FALSE(ansi.HasUnreadableText()) << shipped.fileName;
    EXPECT_EQ(UnreadableTextLine(ansi), "") << shipped.fileName;
    for (const UiText& entry : {IDS_Ledger_Pass, IDS_Ledger_Fail, IDS_Ledger_Unknown, IDS_STR_PROMPT,
                                IDS_MESSAGE_Error, IDS_EDIT_List, IDS_Ledger_JobTally}) {
      EXPECT_EQ(ansi.Text(entry), utf8.Text(entry)) << shipped.fileName << " " << entry.key;
    }
  }
  const Language chinese(std::filesystem::path(VX3WT_SOURCE_DIR) / "data" / "language" / "UIChina.ini");
  EXPECT_EQ(chinese.Text(IDS_Ledger_Pass), "合格");
  EXPECT_EQ(chinese.Text(IDS_Ledger_Fail), "不合格");
}

// A GBK file damaged in one value: that text is the built-in English one, the others Chinese.
TEST(LanguageTest, ADamagedValueOfAGbkFileFallsBackToTheBuiltInText) {
  const std::filesystem::path original =
      std::filesystem::path(VX3WT_SOURCE_DIR) / "data" / "language" / "UIChina.ini";
  const std::optional<std::string> gbk =
      testing::Utf8ToCodePage(testing::ReadFileBytes(original), platform::LegacyCodePage::Gbk);
  ASSERT_TRUE(gbk.has_value());
  testing::TempDir dir;
  const Language language(dir.WriteFile("UIChina.ini", testing::InsertAfter(*gbk, "\nIDS_Ledger_Pass=", "\xFF")));
  EXPECT_TRUE(language.HasUnreadableText());
  EXPECT_EQ(language.Text(IDS_Ledger_Pass), "PASS");
  EXPECT_EQ(language.Text(IDS_Ledger_Fail), "不合格");
  EXPECT_EQ(UnreadableTextLine(language),
            "语言文件 UIChina.ini 中有些行既不是 UTF-8 也不是 GBK：这些行的文字以英文显示。");
}

TEST(LanguageTest, AVeryLongFileTextIsCutAndStillFormats) {
  testing::TempDir dir;
  dir.WriteFile("UIEng.ini", "[STRING TABLE]\nIDS_EPROM_CheckSum=" + std::string(5000, '%') + "\n");
  const Language language(dir.path() / "UIEng.ini");
  // 259 percent signs end in a lone %, which is refused: the built-in text stands in.
  EXPECT_EQ(language.Format(IDS_EPROM_CheckSum, {0xBEEF}), "The EPROM check sum is BEEF");
}

}  // namespace
}  // namespace vx3::text
