// Names derived from the program file: language file, tail length, window caption.
#include <gtest/gtest.h>

#include "app/program_names.h"

namespace vx3::app {
namespace {

struct LanguageCase {
  const char* programPath;
  const char* expectedFile;
  std::size_t expectedTail;
};

class LanguageFileTest : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageFileTest, ReplacesTheFileNameByTheLanguageFolder) {
  const LanguageCase& c = GetParam();
  const LanguageFileName derived = DeriveLanguageFile(c.programPath, "UIEng.ini");
  EXPECT_EQ(derived.path, c.expectedFile);
  EXPECT_EQ(derived.tailLength, c.expectedTail);
  // Each language switch replaces the same tail of the program path.
  EXPECT_EQ(ReplaceLanguageTail(c.programPath, derived.tailLength, "UIEng.ini"), c.expectedFile);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, LanguageFileTest,
    ::testing::Values(LanguageCase{R"(C:\W\prog.exe)", R"(C:\W\language\UIEng.ini)", 9},
                      LanguageCase{"/opt/vx3wt/bin/vx3wt", "/opt/vx3wt/bin/language/UIEng.ini", 6},
                      LanguageCase{"/opt/v1.2/vx3wt", "/opt/v1.2/language/UIEng.ini", 6},
                      LanguageCase{"vx3wt", "language/UIEng.ini", 5},
                      LanguageCase{"", "language/UIEng.ini", 0}));

TEST(LanguageFileTest, SwitchKeepsTheFolderAndChangesTheFile) {
  const LanguageFileName derived = DeriveLanguageFile(R"(C:\W\prog.exe)", "UIEng.ini");
  EXPECT_EQ(ReplaceLanguageTail(R"(C:\W\prog.exe)", derived.tailLength, "UIChina.ini"), R"(C:\W\language\UIChina.ini)");
}

TEST(LanguageFileTest, LongProgramPathsWork) {
  const std::string folder = "/" + std::string(400, 'd');
  EXPECT_EQ(DeriveLanguageFile(folder + "/vx3wt", "UIChina.ini").path, folder + "/language/UIChina.ini");
}

struct CaptionCase {
  const char* programPath;
  const char* caption;
};

class CaptionTest : public ::testing::TestWithParam<CaptionCase> {};

TEST_P(CaptionTest, FollowsTheBaseNameRule) {
  EXPECT_EQ(DeriveWindowCaption(GetParam().programPath), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CaptionTest,
    ::testing::Values(CaptionCase{R"(C:\W\prog.exe)", "prog"},
                      CaptionCase{R"(C:\W\W01_2345.exe)", "01_"},
                      CaptionCase{"/opt/bin/W09ABCDEFG", "09ABC"},
                      CaptionCase{R"(C:\W\W0A_2345.exe)", "W0A_2345"},   // third character a letter
                      CaptionCase{R"(C:\W\W11_2345.exe)", "W11_2345"},   // second character not 0
                      CaptionCase{"/opt/bin/vx3wt", "vx3wt"},            // no extension at all
                      CaptionCase{"/opt/v1.2/vx3wt", "vx3wt"},           // a dot in a folder name
                      CaptionCase{"/opt/bin/W01_2", "W01_2"},            // too short to lose five
                      CaptionCase{"prog.exe", "prog"}));

}  // namespace
}  // namespace vx3::app
