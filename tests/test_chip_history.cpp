// The chip history file: newest first, at most five names, no name twice.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "device_select/chip_history.h"
#include "support/temp_dir.h"

namespace vx3::device_select {
namespace {

struct HistoryCase {
  const char* name;
  const char* before;  // nullptr: no history file yet
  const char* added;
  const char* after;
};

class ChipHistoryTest : public ::testing::TestWithParam<HistoryCase> {};

TEST_P(ChipHistoryTest, RewritesTheFile) {
  const HistoryCase& c = GetParam();
  testing::TempDir dir;
  std::filesystem::create_directory(dir.path() / "Writer_Log");
  const auto file = HistoryPath(dir.path());
  EXPECT_EQ(file, dir.path() / "Writer_Log" / "History Chip.log");
  if (c.before != nullptr) dir.WriteFile("Writer_Log/History Chip.log", c.before);
  EXPECT_TRUE(AddChipToHistory(file, c.added)) << c.name;
  EXPECT_EQ(testing::ReadFileBytes(file), c.after) << c.name;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Writer_Log" / "History Chip.log.new"));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ChipHistoryTest,
    ::testing::Values(
        HistoryCase{"new file", nullptr, "VX3P1A20", "VX3P1A20\r\n"},
        HistoryCase{"new name first", "VX3P1A20\r\nVXN1B\r\n", "VX3F5E10", "VX3F5E10\r\nVX3P1A20\r\nVXN1B\r\n"},
        HistoryCase{"five names and a new one drop the oldest", "A1\r\nA2\r\nA3\r\nA4\r\nA5\r\n", "B1",
                    "B1\r\nA1\r\nA2\r\nA3\r\nA4\r\n"},
        HistoryCase{"a name in another letter case moves to the top in the new spelling",
                    "A1\r\nvx3p1a20\r\nA3\r\n", "VX3P1A20", "VX3P1A20\r\nA1\r\nA3\r\n"},
        HistoryCase{"the newest again changes nothing", "A1\r\nA2\r\n", "A1", "A1\r\nA2\r\n"},
        HistoryCase{"LF-only lines and empty lines are read too", "A1\n\nA2\n", "B1", "B1\r\nA1\r\nA2\r\n"},
        HistoryCase{"a line break in the name is not written", "A1\r\n", "B1\r\nX", "B1\r\nA1\r\n"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ChipHistoryTest, MissingLogFolderOrEmptyNameLeavesNothing) {
  testing::TempDir dir;
  const auto file = HistoryPath(dir.path());
  EXPECT_FALSE(AddChipToHistory(file, "VX3P1A20"));
  EXPECT_FALSE(std::filesystem::exists(file));
  std::filesystem::create_directory(dir.path() / "Writer_Log");
  EXPECT_FALSE(AddChipToHistory(file, ""));
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(ChipHistoryTest, ReadsNamesInFileOrder) {
  testing::TempDir dir;
  const auto file = dir.WriteFile("Writer_Log/History Chip.log", "VX3P1A20\r\nVXN1B\r\n");
  EXPECT_EQ(ReadChipHistory(file), (std::vector<std::string>{"VX3P1A20", "VXN1B"}));
  EXPECT_TRUE(ReadChipHistory(dir.path() / "missing.log").empty());
}

#ifndef _WIN32
class ChipHistoryModeTest : public ::testing::TestWithParam<std::filesystem::perms> {};

// The history is replaced as the INI files are: the file keeps its permissions, and one that the
// program may not change (read-only, for a user who is not the superuser) keeps its names too.
TEST_P(ChipHistoryModeTest, KeepsTheFilesMode) {
  namespace fs = std::filesystem;
  testing::TempDir dir;
  const auto file = dir.WriteFile("Writer_Log/History Chip.log", "A1\r\n");
  fs::permissions(file, GetParam());
  const bool writable = ::access(file.c_str(), W_OK) == 0;
  EXPECT_EQ(AddChipToHistory(file, "B1"), writable);
  EXPECT_EQ(fs::status(file).permissions(), GetParam());
  const std::vector<std::string> expected = writable ? std::vector<std::string>{"B1", "A1"} : std::vector<std::string>{"A1"};
  EXPECT_EQ(ReadChipHistory(file), expected);
  // Nothing is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, ChipHistoryModeTest,
                         ::testing::Values(std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                           std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read));
#endif

}  // namespace
}  // namespace vx3::device_select
