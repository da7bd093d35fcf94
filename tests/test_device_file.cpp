// The device description reader: file syntax, number rules, option lines, include lines.
#include <gtest/gtest.h>

#include <string>

#include "image/device_file.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace vx3::image {
namespace {

namespace fs = std::filesystem;

class DeviceFileTest : public ::testing::Test {
 protected:
  void Write(std::string_view device, std::string_view text) { testing::WriteDescription(dir_.path(), device, text); }

  // The text value of `key` in section ".ASSEMBLY" of device "DEV", or "<none>".
  std::string Value(std::string_view key, std::string_view device = "DEV") {
    std::string value = "<none>";
    IncLookup(dir_.path(), device, kAssemblySection, key, value);
    return value;
  }
  std::int32_t Number(std::string_view key, std::string_view device = "DEV") {
    return IncNumber(dir_.path(), device, kAssemblySection, key);
  }
  std::uint32_t Option(std::string_view option, std::string_view value = kValueEnable) {
    return IncOption(dir_.path(), "DEV", kAssemblySection, kKeyOption, option, value);
  }

  testing::TempDir dir_;
};

// --- Numbers ---------------------------------------------------------------------------------

struct NumberCase {
  const char* text;
  std::int32_t expected;
};

class IncNumberRulesTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(IncNumberRulesTest, ReadsTheValueText) { EXPECT_EQ(ParseIncNumber(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Table, IncNumberRulesTest,
                         ::testing::Values(NumberCase{"1000h", 4096}, NumberCase{"0x1000", 4096},
                                           NumberCase{"1000", 1000},
                                           // the comment stands at the end, so no H ends the text
                                           NumberCase{"1000h ; x", 1000}, NumberCase{"1000h ", 1000},
                                           NumberCase{"0X1f", 31}, NumberCase{"1fH", 31}, NumberCase{"7ffh", 2047},
                                           NumberCase{"0x1000h", 4096}, NumberCase{"0x12G4", 0x12},
                                           NumberCase{"12AB", 12}, NumberCase{"abc", 0}, NumberCase{"h", 0},
                                           NumberCase{"0x", 0}, NumberCase{"-5", -5}, NumberCase{"", -1},
                                           NumberCase{"FFFFFFFFh", -1}, NumberCase{"4294967297", 1}));

struct NumberLineCase {
  const char* line;
  std::int32_t expected;
};

class IncNumberLineTest : public DeviceFileTest, public ::testing::WithParamInterface<NumberLineCase> {};

TEST_P(IncNumberLineTest, ReadsTheNumberOfTheLine) {
  Write("DEV", GetParam().line);
  EXPECT_EQ(Number(kKeyBodySize), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IncNumberLineTest,
    ::testing::Values(NumberLineCase{".ASSEMBLY OTP_BODY_SIZE 1000h\n", 4096},
                      NumberLineCase{".ASSEMBLY OTP_BODY_SIZE 0x1000\n", 4096},
                      NumberLineCase{".ASSEMBLY OTP_BODY_SIZE 1000\n", 1000},
                      NumberLineCase{".ASSEMBLY OTP_BODY_SIZE 1000h ; eight K\n", 1000},
                      NumberLineCase{"\t  .ASSEMBLY\tOTP_BODY_SIZE\t\t800h\r\n", 2048},
                      NumberLineCase{".ASSEMBLY OTP_BODY_SIZE 800h", 2048},  // no line end at the end
                      NumberLineCase{".ASSEMBLY OTP_BODY_SIZE\n", -1},     // empty value
                      NumberLineCase{".ASSEMBLY OTP_BODY_SIZE ; none yet\n", -1},
                      NumberLineCase{".ASSEMBLY PGM_TYPE 3\n", -1}));  // key absent

// --- Comments and the characters the scanner drops ---------------------------------------------

struct SyntaxCase {
  const char* name;
  const char* file;
  const char* expected;  // text value of PGM_TYPE, or "<none>"
};

class IncSyntaxTest : public DeviceFileTest, public ::testing::WithParamInterface<SyntaxCase> {};

TEST_P(IncSyntaxTest, FindsOrMissesTheKey) {
  Write("DEV", GetParam().file);
  EXPECT_EQ(Value(kKeyProgramType), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IncSyntaxTest,
    ::testing::Values(
        SyntaxCase{"SemicolonComment", "; .ASSEMBLY PGM_TYPE 1\n.ASSEMBLY PGM_TYPE 2\n", "2"},
        SyntaxCase{"SlashComment", "// .ASSEMBLY PGM_TYPE 1\n.ASSEMBLY PGM_TYPE 2\n", "2"},
        SyntaxCase{"BlockCommentOverLines", "/* start\n.ASSEMBLY PGM_TYPE 1\n end */\n", "<none>"},
        SyntaxCase{"BlockCommentThenLine", "/* start\n.ASSEMBLY PGM_TYPE 1\n */ .ASSEMBLY PGM_TYPE 2\n", "2"},
        SyntaxCase{"BlockCommentBetweenTokens", ".ASSEMBLY /* key: */ PGM_TYPE 3\n", "3"},
        SyntaxCase{"BlockCommentEndsTheSection", ".ASSEMBLY/**/PGM_TYPE 3\n", "3"},
        SyntaxCase{"UnclosedBlockComment", "/* .ASSEMBLY PGM_TYPE 1\n", "<none>"},
        SyntaxCase{"SkippedLineWithBlockComment", ".ASSEMBLY OTHER 1 /* to\n.ASSEMBLY PGM_TYPE 1\n*/\n.ASSEMBLY PGM_TYPE 2\n", "2"},
        SyntaxCase{"TrailingCommentStaysInTheValue", ".ASSEMBLY PGM_TYPE 3 ; three\n", "3 ; three"},
        SyntaxCase{"TrailingBlanksStayInTheValue", ".ASSEMBLY PGM_TYPE 3  \n", "3  "},
        SyntaxCase{"ValueStartingWithSemicolon", ".ASSEMBLY PGM_TYPE ;3\n", ""},
        SyntaxCase{"EmptyValue", ".ASSEMBLY PGM_TYPE\n", ""},
        SyntaxCase{"LoneSlashDropped", "/.ASSEMBLY PGM_TYPE 4\n", "4"},
        SyntaxCase{"SlashInsideTokenDropped", ".ASSEM/BLY PGM_/TYPE 4\n", "4"},
        SyntaxCase{"SlashInValueKept", ".ASSEMBLY PGM_TYPE 4/5\n", "4/5"},
        SyntaxCase{"CarriageReturnBeforeLineFeedDropped", ".ASSEMBLY PGM_TYPE 5\r\n", "5"},
        SyntaxCase{"ByteFFEndsTheFile", ".ASSEMBLY OTHER 1\n\xFF.ASSEMBLY PGM_TYPE 5\n", "<none>"},
        SyntaxCase{"ByteFFEndsTheValue", ".ASSEMBLY PGM_TYPE 5\xFF" "6\n", "5"},
        SyntaxCase{"OtherSectionSkipped", ".LINK PGM_TYPE 1\nPGM_TYPE 2\n.ASSEMBLY PGM_TYPE 3\n", "3"},
        SyntaxCase{"SectionAloneOnItsLine", ".ASSEMBLY\nPGM_TYPE 1\n", "<none>"},
        SyntaxCase{"FirstLineWins", ".ASSEMBLY PGM_TYPE 1\n.ASSEMBLY PGM_TYPE 2\n", "1"},
        SyntaxCase{"CommaEndsTheSection", ".ASSEMBLY,PGM_TYPE 6\n", "6"},
        SyntaxCase{"EmptyFile", "", "<none>"}),
    [](const ::testing::TestParamInfo<SyntaxCase>& info) { return std::string(info.param.name); });

TEST_F(DeviceFileTest, ValueIsCutAt255Characters) {
  const std::string longValue(300, 'A');
  Write("DEV", ".ASSEMBLY INSTRUMENT " + longValue + "\n.ASSEMBLY PGM_TYPE 2\n");
  EXPECT_EQ(Value(kKeyInstrument), std::string(255, 'A'));
  EXPECT_EQ(Number(kKeyProgramType), 2);
}

TEST_F(DeviceFileTest, BinaryGarbageFindsNothingAndEnds) {
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) % 255));  // no 0xFF
  Write("DEV", garbage);
  EXPECT_EQ(Number(kKeyBodySize), -1);
  EXPECT_EQ(Option(kOptionSecurity), 0u);
}

// --- Tokens ----------------------------------------------------------------------------------

struct TokenCase {
  const char* token;
  const char* name;
  bool matches;
};

class TokenMatchTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenMatchTest, ComparesThroughBit5) {
  EXPECT_EQ(TokenMatches(GetParam().token, GetParam().name), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(Table, TokenMatchTest,
                         ::testing::Values(TokenCase{"OPTION", "OPTION", true}, TokenCase{"option", "OPTION", true},
                                           TokenCase{"OPTIONS", "OPTION", false}, TokenCase{"OPTIO", "OPTION", false},
                                           TokenCase{".assembly", ".ASSEMBLY", true},
                                           // '_' and DEL differ in bit 5 alone
                                           TokenCase{"PGM\x7FTYPE", "PGM_TYPE", true},
                                           TokenCase{"PGM-TYPE", "PGM_TYPE", false}, TokenCase{"", "", true}));

TEST_F(DeviceFileTest, LongerFileTokenDoesNotMatch) {
  Write("DEV", ".ASSEMBLY OPTIONS 3 Security Enable Disable\n.ASSEMBLY OTP_BODY_SIZE2 10\n");
  EXPECT_EQ(Option(kOptionSecurity), 0u);
  EXPECT_EQ(Number(kKeyBodySize), -1);
}

TEST_F(DeviceFileTest, LowerCaseKeysAreFound) {
  Write("DEV", ".assembly otp_body_size 800h\n.Assembly Option 3 security enable disable\n");
  EXPECT_EQ(Number(kKeyBodySize), 0x800);
  EXPECT_EQ(Option(kOptionSecurity), 0x103u);
}

// --- Options ---------------------------------------------------------------------------------

struct OptionCase {
  const char* line;
  const char* valueName;
  std::uint32_t descriptor;
};

class IncOptionTest : public DeviceFileTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(IncOptionTest, GivesTheDescriptor) {
  Write("DEV", GetParam().line);
  EXPECT_EQ(Option(kOptionSecurity, GetParam().valueName), GetParam().descriptor);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IncOptionTest,
    ::testing::Values(
        OptionCase{".ASSEMBLY OPTION 3 Security Enable\n", "Enable", 0x00'01'03},            // 1 name: mask 1
        OptionCase{".ASSEMBLY OPTION 3 Security Disable Enable\n", "Enable", 0x01'01'03},    // 2 names: mask 1
        OptionCase{".ASSEMBLY OPTION 12 Security Off Low Enable\n", "Enable", 0x02'03'0C},   // 3: mask 3
        OptionCase{".ASSEMBLY OPTION 6 Security A B C Enable E\n", "Enable", 0x03'07'06},    // 5: mask 7
        OptionCase{".ASSEMBLY OPTION 0 Security A B C D E F G H Enable\n", "Enable", 0x08'0F'00},  // 9: mask 15
        OptionCase{".ASSEMBLY OPTION 0 Security A B C D\n", "C", 0x02'03'00},                // 4: mask 3
        OptionCase{".ASSEMBLY OPTION 7 Security A B C D E F G H\n", "H", 0x07'07'07},        // 8: mask 7
        OptionCase{".ASSEMBLY OPTION Security Disable Enable\n", "Enable", 0x01'01'00},      // no bit position
        OptionCase{".ASSEMBLY OPTION 2 Security Enable Disable Enable\n", "Enable", 0x02'03'02},  // the later one
        OptionCase{".ASSEMBLY OPTION 3 Security Disable,Enable\n", "Enable", 0x01'01'03},
        OptionCase{".ASSEMBLY OPTION 3 Security Disable Enable ; Enable Enable\n", "Enable", 0x01'01'03},
        OptionCase{".ASSEMBLY OPTION 3 Security Disable /* Enable */ Enable\n", "Enable", 0x01'01'03},
        OptionCase{".ASSEMBLY OPTION 3 Security Disable Enabled\n", "Enable", 0},
        OptionCase{".ASSEMBLY OPTION 3 Security Disable enable\n", "Enable", 0x01'01'03},
        OptionCase{".ASSEMBLY OPTION 3 Securities Disable Enable\n", "Enable", 0},
        OptionCase{".ASSEMBLY OPTION 3\n.ASSEMBLY OPTION 4 Security Disable Enable\n", "Enable", 0x01'01'04},
        OptionCase{".ASSEMBLY OPTION\n", "Enable", 0},
        OptionCase{".ASSEMBLY OPTION 3 Security\n", "Enable", 0}));

TEST_F(DeviceFileTest, SeveralOptionLinesAreEachFound) {
  Write("DEV",
        ".ASSEMBLY OPTION 4 Security0 Enable Disable\n"
        ".ASSEMBLY OPTION 0 Oscillator HXT LXT IRC ERC RC\n"
        ".ASSEMBLY OPTION 11 Security Disable Enable\n"
        ".ASSEMBLY OPTION 5 Security1 Disable Read Enable\n");
  EXPECT_EQ(Option(kOptionSecurity0), 0x00'01'04u);
  EXPECT_EQ(Option(kOptionSecurity), 0x01'01'0Bu);
  EXPECT_EQ(Option(kOptionSecurity1), 0x02'03'05u);
  EXPECT_EQ(Option("Oscillator", "IRC"), 0x02'07'00u);
  EXPECT_EQ(Option("Watchdog"), 0u);
}

TEST(OptionMaskTest, FollowsTheValueCount) {
  const std::uint32_t expected[] = {0, 1, 1, 3, 3, 7, 7, 7, 7, 15, 15, 15};
  for (std::uint32_t n = 0; n < std::size(expected); ++n) EXPECT_EQ(OptionMask(n), expected[n]) << n;
  EXPECT_EQ(OptionMask(1000), 15u);
}

// --- Include lines ---------------------------------------------------------------------------

TEST_F(DeviceFileTest, LookupFailingInTheDeviceFileIsAnsweredFromItsInclude) {
  Write("DEV", ".ASSEMBLY OTP_BODY_SIZE 800h\nINCLUDE FAMILY.INC\n");
  Write("FAMILY", ".ASSEMBLY PGM_TYPE 2\n.ASSEMBLY OTP_BODY_SIZE 400h\n.ASSEMBLY OPTION 3 Security Enable Disable\n");
  EXPECT_EQ(Number(kKeyBodySize), 0x800);  // the device's own line comes first
  EXPECT_EQ(Number(kKeyProgramType), 2);
  EXPECT_EQ(Option(kOptionSecurity), 0x103u);
}

TEST_F(DeviceFileTest, IncludeChainsAreFollowed) {
  Write("DEV", "include Family.inc\n");
  Write("Family", "INCLUDE CORE.INC\n");
  Write("CORE", ".ASSEMBLY PGM_TYPE 4\n");
  EXPECT_EQ(Number(kKeyProgramType), 4);
}

TEST_F(DeviceFileTest, IncludeInAFolderWithBackslash) {
  Write("DEV", "INCLUDE common\\CORE.INC\n");
  testing::WriteFileBytes(dir_.path() / "USE_INC2" / "common" / "CORE.INC", ".ASSEMBLY PGM_TYPE 4\n");
  EXPECT_EQ(Number(kKeyProgramType), 4);
}

struct IncludeLineCase {
  const char* name;
  const char* line;
  bool followed;
};

class IncludeLineTest : public DeviceFileTest, public ::testing::WithParamInterface<IncludeLineCase> {};

TEST_P(IncludeLineTest, FollowsOnlyAPlainIncludeLine) {
  Write("DEV", GetParam().line);
  Write("BASE", ".ASSEMBLY PGM_TYPE 7\n");
  Write("OTHER", ".ASSEMBLY PGM_TYPE 8\n");
  EXPECT_EQ(Number(kKeyProgramType), GetParam().followed ? 7 : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IncludeLineTest,
    ::testing::Values(IncludeLineCase{"Plain", "INCLUDE BASE.INC\n", true},
                      IncludeLineCase{"Indented", "   INCLUDE\tBASE.INC\r\n", true},
                      IncludeLineCase{"TrailingComment", "INCLUDE BASE.INC ; the base\n", false},
                      IncludeLineCase{"TrailingBlank", "INCLUDE BASE.INC \n", false},
                      IncludeLineCase{"NotAnIncFile", "INCLUDE BASE.H\n", false},
                      IncludeLineCase{"NameTooShort", "INCLUDE .INC\n", false},
                      IncludeLineCase{"OnlyTheFirstIncludeLine", "INCLUDE BASE.INC\nINCLUDE OTHER.INC\n", true},
                      IncludeLineCase{"SecondLineNotFollowed", "INCLUDE MISSING.INC\nINCLUDE BASE.INC\n", false},
                      IncludeLineCase{"InsideAComment", "; INCLUDE BASE.INC\n", false}),
    [](const ::testing::TestParamInfo<IncludeLineCase>& info) { return std::string(info.param.name); });

TEST_F(DeviceFileTest, IncludeLoopEndsAtAFileSeenBefore) {
  Write("DEV", ".ASSEMBLY OTP_BODY_SIZE 800h\nINCLUDE A.INC\n");
  Write("A", ".ASSEMBLY PGM_TYPE 1\nINCLUDE B.INC\n");
  Write("B", "INCLUDE A.INC\n");
  EXPECT_EQ(Number(kKeyProgramType), 1);
  EXPECT_EQ(Number(kKeyUserRomSize), -1);  // goes round DEV, A, B and stops at A
  EXPECT_EQ(Option(kOptionSecurity), 0u);
  Write("SELF", "INCLUDE SELF.INC\n");
  EXPECT_EQ(Number(kKeyProgramType, "SELF"), -1);
}

TEST_F(DeviceFileTest, IncludeSectionLookupDoesNotFollowIncludes) {
  Write("DEV", ".ASSEMBLY PGM_TYPE 1\n");
  Write("OTHER", "INCLUDE DEV.INC\n");
  std::string text = "<none>";
  EXPECT_FALSE(IncLookup(dir_.path(), "DEV", kIncludeSection, std::nullopt, text));
  EXPECT_EQ(text, "<none>");
  EXPECT_TRUE(IncLookup(dir_.path(), "OTHER", kIncludeSection, std::nullopt, text));
  EXPECT_EQ(text, "DEV.INC");
}

// --- Locating files and the missing-file flag -------------------------------------------------

TEST_F(DeviceFileTest, MissingDescriptionSetsTheFlagAndFindsNothing) {
  bool incMissing = false;
  std::string text = "kept";
  EXPECT_FALSE(IncLookup(dir_.path(), "NONE", kAssemblySection, kKeyInstrument, text, &incMissing));
  EXPECT_TRUE(incMissing);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(IncNumber(dir_.path(), "NONE", kAssemblySection, kKeyBodySize), -1);
  EXPECT_EQ(IncOption(dir_.path(), "NONE", kAssemblySection, kKeyOption, kOptionSecurity, kValueEnable), 0u);
}

TEST_F(DeviceFileTest, AbsentKeyLeavesTheFlagClear) {
  Write("DEV", ".ASSEMBLY PGM_TYPE 1\n");
  bool incMissing = false;
  EXPECT_EQ(IncNumber(dir_.path(), "DEV", kAssemblySection, kKeyBodySize, &incMissing), -1);
  EXPECT_FALSE(incMissing);
}

TEST_F(DeviceFileTest, IncludeOfAMissingFileSetsTheFlag) {
  Write("DEV", "INCLUDE GONE.INC\n");
  bool incMissing = false;
  EXPECT_EQ(IncNumber(dir_.path(), "DEV", kAssemblySection, kKeyBodySize, &incMissing), -1);
  EXPECT_TRUE(incMissing);
}

struct LocateCase {
  const char* name;
  const char* folder;
  bool found;
  bool flagged;
};

class LocateDeviceFileTest : public DeviceFileTest, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(LocateDeviceFileTest, FindsOrFlags) {
  Write("DEV", "");
  testing::WriteFileBytes(dir_.path() / "Symbol" / "VXT.BOL", "NOP\x01");
  bool flag = false;
  const auto path = LocateDeviceFile(dir_.path(), GetParam().name, GetParam().folder, &flag);
  EXPECT_EQ(path.has_value(), GetParam().found);
  EXPECT_EQ(flag, GetParam().flagged);
}

INSTANTIATE_TEST_SUITE_P(Table, LocateDeviceFileTest,
                         ::testing::Values(LocateCase{"DEV.INC", "USE_INC2", true, false},
                                           LocateCase{"/DEV.INC", "USE_INC2", true, false},  // root dropped
                                           LocateCase{"VXT.BOL", "Symbol", true, false},
                                           LocateCase{"NONE.INC", "USE_INC2", false, true},
                                           LocateCase{"NONE.INC.BAK", "USE_INC2", false, true},
                                           LocateCase{".INC", "USE_INC2", false, false},  // ".INC" first
                                           LocateCase{"dev.inc", "USE_INC2", true, false},  // letter case
                                           LocateCase{"Vxt.bol", "Symbol", true, false},
                                           LocateCase{"NONE.inc", "USE_INC2", false, false},
                                           LocateCase{"NONE.BOL", "Symbol", false, false},
                                           LocateCase{"USE_INC2", "", false, false}));  // a folder

TEST_F(DeviceFileTest, DeviceNameInAnyCaseFindsItsFile) {
  Write("VX3P1020", ".ASSEMBLY PGM_TYPE 1\nINCLUDE vx3p_family.inc\n");
  Write("VX3P_FAMILY", ".ASSEMBLY OTP_BODY_SIZE 800h\n");
  EXPECT_EQ(Number(kKeyProgramType, "vx3p1020"), 1);
  EXPECT_EQ(Number(kKeyBodySize, "Vx3P1020"), 0x800);
}

TEST_F(DeviceFileTest, LocatedPathLiesInTheSubFolder) {
  Write("DEV", "");
  EXPECT_EQ(LocateDeviceFile(dir_.path(), "DEV.INC", kDescriptionFolder), dir_.path() / "USE_INC2" / "DEV.INC");
}

}  // namespace
}  // namespace vx3::image
