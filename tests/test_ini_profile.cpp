// Tests of the INI profile layer: the reading rules, the integer conversion and the byte-exact,
// atomic writing of one key.
#include "platform/ini_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/profile_cases.h"
#include "support/temp_dir.h"

namespace vx3::platform {
namespace {

namespace fs = std::filesystem;
using vx3::testing::ReadFileBytes;
using vx3::testing::TempDir;
using vx3::testing::kChinese;
using vx3::testing::kEmoji;
using vx3::testing::kEuro;
using vx3::testing::kReplacement;
using vx3::testing::ProfileReadCases;
using vx3::testing::Repeat;
using vx3::testing::RepeatUtf16;
using vx3::testing::Utf16File;
using ReadCase = vx3::testing::ProfileReadCase;

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// ---------------------------------------------------------------------------------------------
// Reading

class ReadProfileStringTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadProfileStringTest, GivesTheProfileValue) {
  const ReadCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.WriteFile("profile.ini", c.file);
  EXPECT_EQ(ReadProfileString(file, c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, ReadProfileStringTest, ::testing::ValuesIn(ProfileReadCases()),
                         [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST(ReadProfileString, MissingFileOrFolderGivesNothing) {
  TempDir dir;
  EXPECT_EQ(ReadProfileString(dir.path() / "absent.ini", "s", "k"), std::nullopt);
  EXPECT_EQ(ReadProfileString(dir.path() / "no folder" / "absent.ini", "s", "k"), std::nullopt);
  EXPECT_EQ(ReadProfileString(dir.path(), "s", "k"), std::nullopt);  // a folder, not a file
}

#ifndef _WIN32
TEST(ReadProfileString, DeviceIsNotReadForever) {
  if (!fs::exists("/dev/zero")) GTEST_SKIP() << "no /dev/zero here";
  EXPECT_EQ(ReadProfileString("/dev/zero", "s", "k"), std::nullopt);
  EXPECT_EQ(ReadProfileInt("/dev/zero", "s", "k", 5), 5);
  EXPECT_FALSE(WriteProfileString("/dev/zero", "s", "k", "v"));
}
#endif

TEST(ReadProfileString, ReadsTheFileAnewEachTime) {
  TempDir dir;
  const fs::path file = dir.WriteFile("lang.ini", "[STRING TABLE]\nIDS_OK=OK\n");
  EXPECT_EQ(ReadProfileString(file, "STRING TABLE", "IDS_OK"), "OK");
  dir.WriteFile("lang.ini", "[STRING TABLE]\nIDS_OK=Fine\n");
  EXPECT_EQ(ReadProfileString(file, "STRING TABLE", "IDS_OK"), "Fine");
}

TEST(ReadProfileString, BinaryGarbageHasNoSuchKey) {
  std::mt19937 random(20240611);
  const std::string alphabet = "[]=;'\" \t\r\nkKsS\xFF\xFE\xEF\xBB\xBF\xC3\xA9\xED\xA0\x80";
  TempDir dir;
  for (int round = 0; round < 200; ++round) {
    std::string bytes(static_cast<std::size_t>(random() % 4096), '\0');
    for (char& b : bytes) {
      b = (random() % 2) ? alphabet[random() % alphabet.size()] : static_cast<char>(random() & 0xFF);
    }
    const fs::path file = dir.WriteFile("garbage.bin", bytes);
    EXPECT_EQ(ReadProfileString(file, "Rolling Code", "IDS_NOT_THERE"), std::nullopt) << "round " << round;
    ReadProfileString(file, "s", "k");  // whatever it finds, it must come back
  }
}

TEST(ReadProfileString, LargeFileIsReadToTheEnd) {
  // Megabytes of other content, one very long line among it, and the key at the very end.
  std::string bytes = "[other]\n";
  for (int i = 0; i < 100000; ++i) bytes += "key" + std::to_string(i) + "=value\n";
  bytes += "junk=" + std::string(8 << 20, 'x') + "\n[s]\n";
  for (int i = 0; i < 100000; ++i) bytes += "key" + std::to_string(i) + "=value\n";
  bytes += "k=found";
  TempDir dir;
  const fs::path file = dir.WriteFile("large.ini", bytes);
  EXPECT_EQ(ReadProfileString(file, "s", "k"), "found");
  EXPECT_EQ(ReadProfileString(file, "s", "missing"), std::nullopt);
}

// ---------------------------------------------------------------------------------------------
// Integers

struct IntCase {
  const char* name;
  std::string value;  // the text after "k=" in the file
  int expected;
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << c.name; }

constexpr int kFallback = -777;

class ReadProfileIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ReadProfileIntTest, ConvertsLikeWindows) {
  const IntCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.WriteFile("int.ini", "[Rolling Code]\r\nk=" + c.value + "\r\n");
  EXPECT_EQ(ReadProfileInt(file, "rolling code", "K", kFallback), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadProfileIntTest,
    ::testing::Values(IntCase{"Decimal", "123", 123}, IntCase{"Zero", "0", 0}, IntCase{"Negative", "-45", -45},
                      IntCase{"ExplicitPlus", "+7", 7}, IntCase{"LeadingZerosAreDecimal", "0010", 10},
                      IntCase{"HexLower", "0x1f", 31}, IntCase{"HexUpperPrefix", "0X1F", 31},
                      IntCase{"NegativeHex", "-0x10", -16}, IntCase{"HexStopsAtNonHex", "0x1G", 1},
                      IntCase{"PrefixAloneIsZero", "0x", 0}, IntCase{"QuotedLeadingSpaces", "\"   42\"", 42},
                      IntCase{"TrailingJunk", "12abc", 12}, IntCase{"StopsAtDecimalPoint", "1.5", 1},
                      IntCase{"HexLettersNeedPrefix", "1F", 1}, IntCase{"NoDigits", "abc", kFallback},
                      IntCase{"EmptyValue", "", kFallback}, IntCase{"SignOnly", "-", kFallback},
                      IntCase{"SpaceAfterSign", "- 5", kFallback}, IntCase{"Largest", "2147483647", INT_MAX},
                      IntCase{"Smallest", "-2147483648", INT_MIN},
                      IntCase{"WrapsPastIntMax", "2147483648", INT_MIN},
                      IntCase{"WrapsModulo2To32", "4294967297", 1}, IntCase{"AllOnesHex", "0xFFFFFFFF", -1},
                      IntCase{"LongHexKeepsLow32Bits", "0x123456789", 0x23456789}),
    [](const ::testing::TestParamInfo<IntCase>& info) { return info.param.name; });

TEST(ReadProfileInt, MissingKeySectionOrFileGivesFallback) {
  TempDir dir;
  const fs::path file = dir.WriteFile("int.ini", "[s]\nk=5\n");
  EXPECT_EQ(ReadProfileInt(file, "s", "k", kFallback), 5);
  EXPECT_EQ(ReadProfileInt(file, "s", "j", kFallback), kFallback);
  EXPECT_EQ(ReadProfileInt(file, "t", "k", kFallback), kFallback);
  EXPECT_EQ(ReadProfileInt(dir.path() / "absent.ini", "s", "k", kFallback), kFallback);
}

// ---------------------------------------------------------------------------------------------
// Writing

struct WriteCase {
  const char* name;
  std::string before;
  std::string section;
  std::string key;
  std::string value;
  std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

const std::string kRolling =
    "; rolling settings\r\n"
    "[Rolling Code]\r\n"
    "Word_Length = 4  \r\n"
    "  Value=0012  \r\n"
    "\r\n"
    "[Other]\r\n"
    "Value=9";

std::vector<WriteCase> WriteCases() {
  return {
      {"ChangesOnlyTheKeysLine", kRolling, "rolling code", "VALUE", "0013",
       "; rolling settings\r\n"
       "[Rolling Code]\r\n"
       "Word_Length = 4  \r\n"
       "  Value=0013\r\n"
       "\r\n"
       "[Other]\r\n"
       "Value=9"},
      {"ChangesLastLineWithoutLineEnd", kRolling, "Other", "Value", "10",
       "; rolling settings\r\n"
       "[Rolling Code]\r\n"
       "Word_Length = 4  \r\n"
       "  Value=0012  \r\n"
       "\r\n"
       "[Other]\r\n"
       "Value=10"},
      {"AddsKeyAfterLastLineOfSection", kRolling, "Rolling Code", "Step", "1",
       "; rolling settings\r\n"
       "[Rolling Code]\r\n"
       "Word_Length = 4  \r\n"
       "  Value=0012  \r\n"
       "Step=1\r\n"
       "\r\n"
       "[Other]\r\n"
       "Value=9"},
      {"AddsKeyToLastSectionWithoutLineEnd", kRolling, "other", "Step", "1",
       "; rolling settings\r\n"
       "[Rolling Code]\r\n"
       "Word_Length = 4  \r\n"
       "  Value=0012  \r\n"
       "\r\n"
       "[Other]\r\n"
       "Value=9\r\n"
       "Step=1\r\n"},
      {"AddsSectionAfterLastLineWithoutLineEnd", kRolling, "New", "k", "v", kRolling + "\r\n[New]\r\nk=v\r\n"},
      {"AddsSectionAfterFinalLineEnd", "[a]\nx=1\n", "b", "k", "v", "[a]\nx=1\n[b]\nk=v\n"},
      {"EmptyFileGetsSectionWithCrLf", "", "Rolling Code", "Value", "0001", "[Rolling Code]\r\nValue=0001\r\n"},
      {"CommentCountsAsContentOfSection", "[a]\nx=1\n; end of a\n\n[b]\n", "a", "y", "2",
       "[a]\nx=1\n; end of a\ny=2\n\n[b]\n"},
      {"EmptySectionGetsKeyAfterHeader", "[a]\n\n\n[b]\nk=1\n", "a", "k", "2", "[a]\nk=2\n\n\n[b]\nk=1\n"},
      {"KeepsKeySpellingAndSpacing", "[s]\n\tWORD_length  =  1  ; old\n", "S", "word_length", "2",
       "[s]\n\tWORD_length  =2\n"},
      {"CommentedKeyIsNotTheKey", "[s]\n;k=1\n", "s", "k", "2", "[s]\n;k=1\nk=2\n"},
      {"FirstDuplicateSectionIsWritten", "[s]\nj=1\n[s]\nk=1\n", "s", "k", "2", "[s]\nj=1\nk=2\n[s]\nk=1\n"},
      {"CrOnlyLineEndsKept", "[a]\rx=1\r", "a", "y", "2", "[a]\rx=1\ry=2\r"},
      {"FirstLineEndOfFileIsUsed", "[a]\nx=1\r\n", "b", "k", "v", "[a]\nx=1\r\n[b]\nk=v\n"},
      {"Utf8BomKept", "\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "k", "\xE4\xB8\xAD", "\xEF\xBB\xBF[s]\r\nk=\xE4\xB8\xAD\r\n"},
      {"OtherBytesKeptEvenWhenInvalid", "[a]\n\xFF\xC0 junk \t\nx=1\n", "a", "x", "2", "[a]\n\xFF\xC0 junk \t\nx=2\n"},
      {"EmptyValue", "[s]\nk=1\n", "s", "k", "", "[s]\nk=\n"},
      {"NamesWrittenTrimmed", "", " s ", " k ", "v", "[s]\r\nk=v\r\n"},
      {"InvalidUtf8ValueRepaired", "[s]\nk=1\n", "s", "k", "a\xFF", "[s]\nk=a\xEF\xBF\xBD\n"},
  };
}

class WriteProfileStringTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteProfileStringTest, ChangesExactlyTheKey) {
  const WriteCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.WriteFile("profile.ini", c.before);
  ASSERT_TRUE(WriteProfileString(file, c.section, c.key, c.value));
  EXPECT_EQ(ReadFileBytes(file), c.after);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"profile.ini"}) << "temporary file left behind";
}

INSTANTIATE_TEST_SUITE_P(Edits, WriteProfileStringTest, ::testing::ValuesIn(WriteCases()),
                         [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST(WriteProfileString, CreatesMissingFile) {
  TempDir dir;
  const fs::path file = dir.path() / "Rolling.ini";
  ASSERT_TRUE(WriteProfileString(file, "Rolling Code", "Value", "0001"));
  EXPECT_EQ(ReadFileBytes(file), "[Rolling Code]\r\nValue=0001\r\n");
  ASSERT_TRUE(WriteProfileString(file, "Rolling Code", "Step", "2"));
  EXPECT_EQ(ReadFileBytes(file), "[Rolling Code]\r\nValue=0001\r\nStep=2\r\n");
  EXPECT_EQ(ReadProfileString(file, "rolling code", "value"), "0001");
  EXPECT_EQ(ReadProfileInt(file, "rolling code", "step", 0), 2);
}

TEST(WriteProfileString, Utf16FileKeepsItsByteOrder) {
  for (const bool little : {true, false}) {
    SCOPED_TRACE(little ? "little endian" : "big endian");
    TempDir dir;
    const fs::path file = dir.WriteFile("ui.ini", Utf16File(u"; \u8bf4\u660e\r\n[STRING TABLE]\r\nIDS_OK = \u597d\r\n", little));
    ASSERT_TRUE(WriteProfileString(file, "string table", "ids_ok", "\xE7\xA1\xAE\xE5\xAE\x9A"));  // U+786E U+5B9A
    EXPECT_EQ(ReadFileBytes(file), Utf16File(u"; \u8bf4\u660e\r\n[STRING TABLE]\r\nIDS_OK =\u786e\u5b9a\r\n", little));
    ASSERT_TRUE(WriteProfileString(file, "More", "Face", kEmoji));
    EXPECT_EQ(ReadFileBytes(file), Utf16File(u"; \u8bf4\u660e\r\n[STRING TABLE]\r\nIDS_OK =\u786e\u5b9a\r\n"
                                             u"[More]\r\nFace=\U0001F600\r\n",
                                             little));
    EXPECT_EQ(ReadProfileString(file, "STRING TABLE", "IDS_OK"), "\xE7\xA1\xAE\xE5\xAE\x9A");
    EXPECT_EQ(ReadProfileString(file, "more", "face"), kEmoji);
  }
}

TEST(WriteProfileString, ReadsBackWhatItWrote) {
  TempDir dir;
  const fs::path file = dir.path() / "round.ini";
  ASSERT_TRUE(WriteProfileString(file, "s", "long", std::string(300, 'z')));
  EXPECT_EQ(ReadProfileString(file, "s", "long"), std::string(259, 'z'));
  ASSERT_TRUE(WriteProfileString(file, "s", "quoted", "\" padded \""));
  EXPECT_EQ(ReadProfileString(file, "s", "quoted"), " padded ");
  ASSERT_TRUE(WriteProfileString(file, "s", "number", "-0x20"));
  EXPECT_EQ(ReadProfileInt(file, "s", "number", 0), -32);
}

struct RefusedCase {
  const char* name;
  std::string section;
  std::string key;
  std::string value;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class WriteProfileStringRefusedTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(WriteProfileStringRefusedTest, LeavesFileAsItWas) {
  const RefusedCase& c = GetParam();
  const std::string before = "[s]\r\nk=1\r\n";
  TempDir dir;
  const fs::path file = dir.WriteFile("profile.ini", before);
  EXPECT_FALSE(WriteProfileString(file, c.section, c.key, c.value));
  EXPECT_EQ(ReadFileBytes(file), before);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"profile.ini"});
  EXPECT_FALSE(WriteProfileString(dir.path() / "new.ini", c.section, c.key, c.value));
  EXPECT_FALSE(fs::exists(dir.path() / "new.ini"));
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, WriteProfileStringRefusedTest,
    ::testing::Values(RefusedCase{"ValueWithLineFeed", "s", "k", "a\nb"},
                      RefusedCase{"ValueWithCarriageReturn", "s", "k", "a\rb"},
                      RefusedCase{"ValueEndingInCrLf", "s", "k", "2\r\n"}, RefusedCase{"EmptyKey", "s", "", "2"},
                      RefusedCase{"BlankKey", "s", "  ", "2"}, RefusedCase{"KeyWithEquals", "s", "k=x", "2"},
                      RefusedCase{"KeyLikeAComment", "s", ";k", "2"}, RefusedCase{"KeyLikeASection", "s", "[k", "2"},
                      RefusedCase{"KeyWithLineFeed", "s", "k\nx", "2"}, RefusedCase{"EmptySection", "", "k", "2"},
                      RefusedCase{"SectionWithBracket", "s]x", "k", "2"},
                      RefusedCase{"SectionWithLineFeed", "s\n[t", "k", "2"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

TEST(WriteProfileString, OddLengthUtf16FileIsNotRewritten) {
  TempDir dir;
  const std::string before = Utf16File(u"[s]\r\nk=1\r\n", true) + "x";
  const fs::path file = dir.WriteFile("broken.ini", before);
  EXPECT_FALSE(WriteProfileString(file, "s", "k", "2"));
  EXPECT_EQ(ReadFileBytes(file), before);
}

TEST(WriteProfileString, FolderThatIsNotAFolderFails) {
  TempDir dir;
  const fs::path notFolder = dir.WriteFile("plain", "just a file");
  EXPECT_FALSE(WriteProfileString(notFolder / "profile.ini", "s", "k", "v"));
  EXPECT_FALSE(WriteProfileString(dir.path() / "missing folder" / "profile.ini", "s", "k", "v"));
  EXPECT_FALSE(fs::exists(dir.path() / "missing folder"));
  EXPECT_EQ(ReadFileBytes(notFolder), "just a file");
}

TEST(WriteProfileString, FolderInPlaceOfFileFails) {
  TempDir dir;
  fs::create_directory(dir.path() / "profile.ini");
  EXPECT_FALSE(WriteProfileString(dir.path() / "profile.ini", "s", "k", "v"));
  EXPECT_TRUE(fs::is_directory(dir.path() / "profile.ini"));
}

#ifndef _WIN32
// Whether permissions bind this process (they do not for the superuser).
bool PermissionsApply(const fs::path& readOnlyFolder) {
  const fs::path probe = readOnlyFolder / "probe";
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return true;
  ::close(fd);
  ::unlink(probe.c_str());
  return false;
}

TEST(WriteProfileString, UnwritableFolderFailsAndKeepsFile) {
  TempDir dir;
  const fs::path folder = dir.path() / "locked";
  const std::string before = "[s]\nk=1\n";
  const fs::path file = dir.WriteFile("locked/profile.ini", before);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  const bool applies = PermissionsApply(folder);
  const bool changed = applies && WriteProfileString(file, "s", "k", "2");
  const bool created = applies && WriteProfileString(folder / "new.ini", "s", "k", "2");
  fs::permissions(folder, fs::perms::owner_all);
  if (!applies) GTEST_SKIP() << "file permissions do not bind this user";
  EXPECT_FALSE(changed);
  EXPECT_FALSE(created);
  EXPECT_EQ(ReadFileBytes(file), before);
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"profile.ini"});
}

TEST(WriteProfileString, ReadOnlyFileIsRefused) {
  TempDir dir;
  const std::string before = "[s]\nk=1\n";
  const fs::path file = dir.WriteFile("profile.ini", before);
  fs::permissions(file, fs::perms::owner_read);
  if (::access(file.c_str(), W_OK) == 0) GTEST_SKIP() << "file permissions do not bind this user";
  EXPECT_FALSE(WriteProfileString(file, "s", "k", "2"));
  EXPECT_EQ(ReadFileBytes(file), before);
}

TEST(WriteProfileString, KeepsPermissions) {
  TempDir dir;
  const fs::path file = dir.WriteFile("profile.ini", "[s]\nk=1\n");
  const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(file, perms);
  ASSERT_TRUE(WriteProfileString(file, "s", "k", "2"));
  EXPECT_EQ(fs::status(file).permissions(), perms);
}

TEST(WriteProfileString, WritesThroughSymbolicLink) {
  TempDir dir;
  const fs::path real = dir.WriteFile("real.ini", "[s]\nk=1\n");
  const fs::path link = dir.path() / "link.ini";
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteProfileString(link, "s", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), "[s]\nk=2\n");
}
#endif

// Whatever a file holds, a write either refuses or leaves a file from which the value reads back.
TEST(WriteProfileString, GarbageFilesReadBackTheWrittenValue) {
  std::mt19937 random(7);
  const std::string alphabet = "[]=;'\" \t\r\nkKsS\xFF\xFE\xEF\xBB\xBF\xC3\xA9";
  TempDir dir;
  for (int round = 0; round < 300; ++round) {
    std::string bytes(static_cast<std::size_t>(random() % 512), '\0');
    for (char& b : bytes) {
      b = (random() % 4) ? alphabet[random() % alphabet.size()] : static_cast<char>(random() & 0xFF);
    }
    const fs::path file = dir.WriteFile("garbage.ini", bytes);
    if (WriteProfileString(file, "s", "k", "written")) {
      EXPECT_EQ(ReadProfileString(file, "s", "k"), "written") << "round " << round;
    } else {
      EXPECT_EQ(ReadFileBytes(file), bytes) << "round " << round;
    }
  }
}

// Whether a whole file could be put in place: asked before a read gathers the chip's bytes, so
// that nothing is sent to the Writer for a file that could not be written.
struct MayReplaceCase {
  const char* name;
  const char* made;  // "" nothing, "file" a file, "folder" a folder, at the name asked for
  const char* asked;
  bool may;
};

class MayReplaceFileTest : public ::testing::TestWithParam<MayReplaceCase> {};

TEST_P(MayReplaceFileTest, TellsWhetherTheFileCouldBeReplaced) {
  const MayReplaceCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.path() / c.asked;
  if (std::string_view(c.made) == "file") dir.WriteFile(c.asked, "earlier");
  if (std::string_view(c.made) == "folder") fs::create_directories(file);
  EXPECT_EQ(MayReplaceFile(file), c.may);
  // Asking leaves nothing behind.
  EXPECT_EQ(fs::exists(file), std::string_view(c.made) != "");
  if (std::string_view(c.made) == "file") {
    EXPECT_EQ(vx3::testing::ReadFileBytes(file), "earlier");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MayReplaceFileTest,
                         ::testing::Values(MayReplaceCase{"NewFileInAFolder", "", "code.BBB", true},
                                           MayReplaceCase{"EarlierFile", "file", "code.BBB", true},
                                           MayReplaceCase{"FolderMissing", "", "missing/code.BBB", false},
                                           MayReplaceCase{"NameIsAFolder", "folder", "code.BBB", false}),
                         [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32
// What a name given for the program's output is, it stays: a link stays a link and its target
// gets the bytes, a pipe's reader gets them, a device is written to and reports its failure.
TEST(ReplaceFileAtomicallyTest, ALinkIsFollowedAndADeviceOrPipeIsWrittenThroughNeverSwapped) {
  TempDir dir;
  // A link to a file in another folder: the target is replaced there; the link stays.
  dir.WriteFile("elsewhere/target.txt", "earlier");
  const fs::path link = dir.path() / "link.txt";
  fs::create_symlink(dir.path() / "elsewhere" / "target.txt", link);
  std::string why;
  EXPECT_TRUE(ReplaceFileAtomically(link, "listing", &why)) << why;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(dir.path() / "elsewhere" / "target.txt"), "listing");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "elsewhere"), fs::directory_iterator()), 1);

  // A link to a name not there yet: the file is made at the link's target.
  const fs::path dangling = dir.path() / "dangling.txt";
  fs::create_symlink(dir.path() / "elsewhere" / "new.txt", dangling);
  EXPECT_TRUE(ReplaceFileAtomically(dangling, "new", &why)) << why;
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(ReadFileBytes(dir.path() / "elsewhere" / "new.txt"), "new");

  // A device that takes nothing: the failure with the system's reason, the device as it was.
  EXPECT_FALSE(ReplaceFileAtomically("/dev/full", "listing", &why));
  EXPECT_EQ(why, std::make_error_code(std::errc::no_space_on_device).message());
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  // A device that takes everything.
  EXPECT_TRUE(ReplaceFileAtomically("/dev/null", "listing", &why)) << why;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  // A pipe: its reader gets the bytes.
  const fs::path fifo = dir.path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string read;
  std::thread reader([&fifo, &read] { read = ReadFileBytes(fifo); });
  EXPECT_TRUE(ReplaceFileAtomically(fifo, "through the pipe", &why)) << why;
  reader.join();
  EXPECT_EQ(read, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(fifo));

  // A folder is refused and left alone.
  fs::create_directories(dir.path() / "folder");
  EXPECT_FALSE(ReplaceFileAtomically(dir.path() / "folder", "listing", &why));
  EXPECT_FALSE(why.empty());
  EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));
}
#endif

}  // namespace
}  // namespace vx3::platform
