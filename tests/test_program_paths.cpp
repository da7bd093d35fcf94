// Paths inside the program folder.
#include <gtest/gtest.h>

#include "platform/environment.h"
#include "support/fake_environment.h"
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

// Where the folders of a run lie, for a portable folder and for an installed program.
enum class Layout { Portable, Installed, BothKits, NoKit, Missing };

struct FoldersCase {
  const char* name;
  Layout layout;
  bool binWritable;
  bool homeKnown;
  // Expected, relative to the scratch folder ("" for none):
  const char* programDir;
  const char* bridgeDir;
  const char* dataDir;
  bool installed;
  bool dataMoved;
};

class ResolveProgramFoldersTest : public ::testing::TestWithParam<FoldersCase> {};

TEST_P(ResolveProgramFoldersTest, DecidesKitBridgeAndDataFolders) {
  const FoldersCase& c = GetParam();
  testing::TempDir dir;
  const fs::path root = dir.path();
  const fs::path bin = root / "usr" / "bin";
  if (c.layout != Layout::Missing) fs::create_directories(bin);
  if (c.layout == Layout::Portable || c.layout == Layout::BothKits || c.layout == Layout::NoKit) {
    if (c.layout != Layout::NoKit) fs::create_directories(bin / "language");
  }
  if (c.layout == Layout::Installed || c.layout == Layout::BothKits) {
    fs::create_directories(root / "usr" / "share" / "vx3wt" / "language");
    fs::create_directories(root / "usr" / "lib" / "vx3wt" / "DLL");
  }
  testing::FakeEnvironment environment;
  if (!c.binWritable) environment.readOnly.insert(bin);
  if (c.homeKnown) environment.home = root / "home" / "op";

  const ProgramFolders folders = ResolveProgramFolders(bin, {"../share/vx3wt", "../lib/vx3wt"}, environment);
  EXPECT_EQ(folders.programDir, root / c.programDir);
  EXPECT_EQ(folders.bridgeDir, root / c.bridgeDir);
  EXPECT_EQ(folders.dataDir, root / c.dataDir);
  EXPECT_EQ(folders.installed, c.installed);
  EXPECT_EQ(folders.dataMoved, c.dataMoved);
}

constexpr const char* kBin = "usr/bin";
constexpr const char* kKit = "usr/share/vx3wt";
constexpr const char* kLib = "usr/lib/vx3wt";
constexpr const char* kUserData = "home/op/.local/share/vx3wt";

INSTANTIATE_TEST_SUITE_P(
    Table, ResolveProgramFoldersTest,
    ::testing::Values(
        FoldersCase{"PortableWritableStaysWhole", Layout::Portable, true, true, kBin, kBin, kBin, false, false},
        FoldersCase{"PortableReadOnlyMovesItsData", Layout::Portable, false, true, kBin, kBin, kUserData, false, true},
        FoldersCase{"PortableReadOnlyWithoutHomeStays", Layout::Portable, false, false, kBin, kBin, kBin, false, false},
        FoldersCase{"InstalledReadsTheKitAndWritesTheUsersFolder", Layout::Installed, false, true, kKit, kLib,
                    kUserData, true, true},
        // An administrator's run of an installed program writes nothing under the prefix either.
        FoldersCase{"InstalledWritableStillWritesTheUsersFolder", Layout::Installed, true, true, kKit, kLib,
                    kUserData, true, true},
        FoldersCase{"InstalledWithoutHomeKeepsToTheKit", Layout::Installed, false, false, kKit, kLib, kKit, true, false},
        // A copied program folder that happens to lie beside an install is still portable.
        FoldersCase{"KitBesideTheProgramWinsOverAnInstall", Layout::BothKits, true, true, kBin, kBin, kBin, false, false},
        FoldersCase{"NoKitAnywhereIsTreatedAsPortable", Layout::NoKit, true, true, kBin, kBin, kBin, false, false},
        // A program path that names no existing folder moves nothing.
        FoldersCase{"MissingFolderMovesNothing", Layout::Missing, false, true, kBin, kBin, kBin, false, false}),
    [](const ::testing::TestParamInfo<FoldersCase>& info) { return std::string(info.param.name); });

TEST(ResolveProgramFoldersTest, UnknownProgramFolderStaysEmpty) {
  testing::FakeEnvironment environment;
  environment.home = "/home/op";
  const ProgramFolders folders = ResolveProgramFolders({}, {"../share/vx3wt", "../lib/vx3wt"}, environment);
  EXPECT_TRUE(folders.programDir.empty());
  EXPECT_TRUE(folders.dataDir.empty());
  EXPECT_FALSE(folders.dataMoved);
}

// POSIX paths: on Windows an absolute path needs a drive, and LOCALAPPDATA comes first.
#ifndef _WIN32
struct DataHomeCase {
  const char* name;
  const char* xdgDataHome;  // nullptr: not set
  const char* home;         // nullptr: unknown
  const char* expected;     // "" for none
};

class UserDataHomeTest : public ::testing::TestWithParam<DataHomeCase> {};

TEST_P(UserDataHomeTest, FollowsTheBaseDirectoryRules) {
  const DataHomeCase& c = GetParam();
  testing::FakeEnvironment environment;
  if (c.xdgDataHome != nullptr) environment.variables["XDG_DATA_HOME"] = c.xdgDataHome;
  if (c.home != nullptr) environment.home = fs::path(c.home);
  const std::optional<fs::path> found = platform::UserDataHome(environment);
  if (std::string_view(c.expected).empty()) {
    EXPECT_FALSE(found.has_value());
  } else {
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, fs::path(c.expected));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, UserDataHomeTest,
    ::testing::Values(DataHomeCase{"Named", "/data/op", "/home/op", "/data/op"},
                      DataHomeCase{"NotSet", nullptr, "/home/op", "/home/op/.local/share"},
                      DataHomeCase{"EmptyIsNotSet", "", "/home/op", "/home/op/.local/share"},
                      DataHomeCase{"RelativeIsIgnored", "data", "/home/op", "/home/op/.local/share"},
                      DataHomeCase{"NamedWithoutHome", "/data/op", nullptr, "/data/op"},
                      DataHomeCase{"NeitherKnown", nullptr, nullptr, ""}),
    [](const ::testing::TestParamInfo<DataHomeCase>& info) { return std::string(info.param.name); });
#endif

}  // namespace
}  // namespace vx3::text
