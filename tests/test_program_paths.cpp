// Paths inside the program folder.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "ui_text/program_paths.h"

namespace vx3::text {
namespace {

namespace fs = std::filesystem;

struct ComposeCase {
  const char* folder;
  const char* name;
  const char* extension;
  const char* expected;  // relative to the program folder
};

class ComposeProgramPathTest : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(ComposeProgramPathTest, JoinsFolderNameAndExtension) {
  const ComposeCase& c = GetParam();
  EXPECT_EQ(ComposeProgramPath("/opt/w", c.folder, c.name, c.extension), fs::path("/opt/w") / c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ComposeProgramPathTest,
                         ::testing::Values(ComposeCase{"DLL", "VX3USBOV3Wt", ".DLL", "DLL/VX3USBOV3Wt.DLL"},
                                           ComposeCase{"Writer_Log", "WT12050803.LOG", "", "Writer_Log/WT12050803.LOG"},
                                           ComposeCase{"", "VX3WT", ".INI", "VX3WT.INI"},
                                           ComposeCase{"", "History", "", "History"}));

TEST(ComposeProgramPathTest, UnknownProgramFolderGivesAPathRelativeToTheCurrentFolder) {
  EXPECT_EQ(ComposeProgramPath({}, "Writer_Log", "WT.LOG"), fs::path("Writer_Log/WT.LOG"));
}

TEST(ComposeProgramSubdirPathTest, MovesThePathUnderTheFolderWithoutItsRoot) {
  EXPECT_EQ(ComposeProgramSubdirPath("/opt/w", "/home/op/images/A.BBB", "Load_OTP"),
            fs::path("/opt/w/Load_OTP/home/op/images/A.BBB"));
  EXPECT_EQ(ComposeProgramSubdirPath("/opt/w", "A.LOD", "Load_OTP"), fs::path("/opt/w/Load_OTP/A.LOD"));
}

TEST(MakeSubdirectoryTest, CreatesTheFolderBesideTheBaseFileAndAcceptsAnExistingOne) {
  testing::TempDir dir;
  fs::path made;
  EXPECT_TRUE(MakeSubdirectory(dir.path() / "vx3wt", "Writer_Log", &made));
  EXPECT_EQ(made, dir.path() / "Writer_Log");
  EXPECT_TRUE(fs::is_directory(made));
  EXPECT_TRUE(MakeSubdirectory(dir.path() / "", "Writer_Log"));  // a folder path, made before
}

TEST(MakeSubdirectoryTest, FailsWhenAFileStandsInTheWay) {
  testing::TempDir dir;
  dir.WriteFile("Load_OTP", "not a folder");
  EXPECT_FALSE(MakeSubdirectory(dir.path() / "vx3wt", "Load_OTP"));
}

TEST(MakeProgramSubfolderTest, MakesTheFolderInsideTheProgramFolder) {
  testing::TempDir dir;
  // A program folder as the start-up stores it: no trailing separator; spaces, a dot, Chinese.
  const fs::path programDir = dir.path() / fs::path(u8"Writer 程序 v1.2");
  fs::create_directories(programDir);
  fs::path made;
  EXPECT_TRUE(MakeProgramSubfolder(programDir, "Writer_Log", &made));
  EXPECT_TRUE(fs::is_directory(programDir / "Writer_Log"));
  EXPECT_TRUE(fs::equivalent(made, programDir / "Writer_Log"));
  EXPECT_FALSE(fs::exists(dir.path() / "Writer_Log"));
  EXPECT_TRUE(MakeProgramSubfolder(programDir, "Writer_Log"));  // made before
}

TEST(FileExistsTest, TellsReadableFilesOnly) {
  testing::TempDir dir;
  const fs::path file = dir.WriteFile("a.VX3", "x");
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(FileExists(dir.WriteFile("empty.BIN", "")));
  EXPECT_FALSE(FileExists(dir.path() / "missing.VX3"));
  EXPECT_FALSE(FileExists(dir.path()));
}

}  // namespace
}  // namespace vx3::text
