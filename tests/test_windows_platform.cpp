// The Windows branches of the platform layer and the link, against Windows itself: wide program
// paths, loading the bridge, the thread locale, profile files as the system's own functions see
// them, and the operation log's line ends and code page. Built only for Windows.
#ifdef _WIN32

#include <windows.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/bridge_library.h"
#include "link/writer_link.h"
#include "platform/clock.h"
#include "platform/ini_profile.h"
#include "platform/program_path.h"
#include "platform/system_text.h"
#include "platform/thread_locale.h"
#include "platform/utf8_path.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/profile_cases.h"
#include "support/temp_dir.h"
#include "ui_text/reporter.h"
#include "writer_ops/chip_actions.h"
#include "writer_ops/writer_services.h"

namespace vx3 {
namespace {

namespace fs = std::filesystem;
using platform::PathFromUtf8;
using platform::PathToUtf8;
using testing::ReadFileBytes;
using testing::TempDir;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;
// A folder name with spaces and characters outside every 8-bit code page but the Chinese ones.
const char* const kWideFolder = "VX3 程序 文件夹";
// Set for the copy of this program that reports its own path.
const wchar_t* const kPathReportVariable = L"VX3WT_TEST_PATH_REPORT";

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

fs::path ThisProgram() {
  std::wstring name(32768, L'\0');
  name.resize(GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size())));
  return name;
}

// Runs `program` with `arguments`, waits at most a minute, and gives its exit code (-1 when it
// could not be started or did not end).
int RunAndWait(const fs::path& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program.native() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// --- program path ---

// Runs only in the copy that the test below starts: writes the program path as UTF-8.
TEST(WindowsProgramPathChild, ReportsItsOwnPath) {
  const wchar_t* report = _wgetenv(kPathReportVariable);
  if (report == nullptr) GTEST_SKIP() << "only in the copy started by WindowsProgramPath";
  const std::optional<fs::path> path = platform::ExecutablePath();
  ASSERT_TRUE(path.has_value());
  TempDir scratch;
  const fs::path written = scratch.WriteFile("path.txt", PathToUtf8(*path));
  fs::copy_file(written, fs::path(report), fs::copy_options::overwrite_existing);
}

TEST(WindowsProgramPath, IsWholeInAFolderWithSpacesAndChinese) {
  TempDir dir;
  const fs::path folder = dir.path() / PathFromUtf8(kWideFolder);
  fs::create_directories(folder);
  const fs::path copy = folder / "vx3wt 测试.exe";
  fs::copy_file(ThisProgram(), copy);
  const fs::path report = dir.path() / PathFromUtf8("报告.txt");
  ASSERT_EQ(_wputenv_s(kPathReportVariable, report.c_str()), 0);
  const int code = RunAndWait(copy, L"--gtest_filter=WindowsProgramPathChild.*");
  _wputenv_s(kPathReportVariable, L"");
  ASSERT_EQ(code, 0);
  EXPECT_EQ(ReadFileBytes(report), PathToUtf8(copy));
}

// --- clock ---

TEST(WindowsClock, LocalTimeIsTheSystemsLocalTime) {
  platform::SystemClock clock;
  SYSTEMTIME before{};
  GetLocalTime(&before);
  const std::tm now = clock.LocalNow();
  SYSTEMTIME after{};
  GetLocalTime(&after);
  // Read between two readings of the system's clock: equal to one of them to the minute.
  const auto same = [&](const SYSTEMTIME& t) {
    return now.tm_year + 1900 == t.wYear && now.tm_mon + 1 == t.wMonth && now.tm_mday == t.wDay &&
           now.tm_wday == t.wDayOfWeek && now.tm_hour == t.wHour && now.tm_min == t.wMinute;
  };
  EXPECT_TRUE(same(before) || same(after));
}

// --- bridge library ---

struct BridgeRig {
  BridgeRig() : language(dir.path() / "language" / "UIEng.ini"), reporter(language, clock) {
    reporter.AttachView(&view);
  }
  TempDir dir;
  testing::FakeClock clock;
  text::Language language;
  text::Reporter reporter;
  testing::FakeView view;
  link::WriterLink link{std::make_unique<link::DynamicBridgeLibrary>(), reporter, language};
};

TEST(WindowsBridge, LoadsFromAProgramFolderWithSpacesAndChineseAndReadsBack) {
  BridgeRig rig;
  const fs::path programDir = rig.dir.path() / PathFromUtf8(kWideFolder);
  fs::create_directories(programDir / "DLL");
  fs::copy_file(kProgramDir / "DLL" / "VX3USBOV3Wt.DLL", programDir / "DLL" / "VX3USBOV3Wt.DLL");
  // The Writer keeps its state in a folder that only the wide environment can name.
  const fs::path simFolder = rig.dir.path() / PathFromUtf8("模拟 状态");
  fs::create_directories(simFolder);
  testing::SetSimFolder(simFolder);

  ASSERT_TRUE(rig.link.UsbConnect(programDir)) << rig.view.status;
  const writer_ops::WriterServices writer{rig.link, rig.reporter, rig.language};
  writer_ops::EepromHeader header;
  EXPECT_TRUE(writer_ops::ReadBackHeader(writer, link::command::kReadHeader, header)) << rig.view.status;
  EXPECT_TRUE(fs::exists(simFolder / "VX3USBOV3Wt.state")) << "state file in the wide-named folder";
  testing::SetSimFolder("");
}

TEST(WindowsBridge, AWindowsLibraryWithoutTheEntryPointsIsNotLoaded) {
  BridgeRig rig;
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  fs::create_directories(rig.dir.path() / "DLL");
  fs::copy_file(fs::path(system) / "version.dll", rig.dir.path() / "DLL" / "VX3USBOV3Wt.DLL");
  link::DynamicBridgeLibrary library;
  EXPECT_FALSE(library.Load(rig.dir.path() / "DLL" / "VX3USBOV3Wt.DLL"));
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_FALSE(rig.link.UsbConnect(rig.dir.path()));
  EXPECT_EQ(rig.view.status, "Err: Can't find USB VX3USBOV3Wt.DLL ,please check again !!!\r\n");
}

// --- thread locale ---

class WindowsThreadLocaleTest : public ::testing::Test {
 protected:
  ~WindowsThreadLocaleTest() override { SetThreadLocale(before_); }
  LCID before_ = GetThreadLocale();
};

TEST_F(WindowsThreadLocaleTest, SwitchesTheSystemsThreadLocale) {
  platform::WindowsThreadLocale locale;
  ASSERT_TRUE(locale.Set(platform::kLocaleEnglishUs));
  EXPECT_EQ(GetThreadLocale(), MAKELCID(0x0409, SORT_DEFAULT));
  EXPECT_EQ(locale.Current(), platform::kLocaleEnglishUs);
  ASSERT_TRUE(locale.Set(platform::kLocaleChineseSimplified));
  EXPECT_EQ(GetThreadLocale(), MAKELCID(0x0804, SORT_DEFAULT));
  EXPECT_EQ(locale.Current(), platform::kLocaleChineseSimplified);
}

TEST_F(WindowsThreadLocaleTest, AnInjectedRefusalLeavesTheLocale) {
  platform::WindowsThreadLocale locale({platform::kLocaleEnglishUs});
  SetThreadLocale(MAKELCID(0x0804, SORT_DEFAULT));
  EXPECT_FALSE(locale.Set(platform::kLocaleEnglishUs));
  EXPECT_EQ(GetThreadLocale(), MAKELCID(0x0804, SORT_DEFAULT));
  EXPECT_EQ(locale.Current(), 0);
}

TEST_F(WindowsThreadLocaleTest, TheSystemRefusesALocaleItDoesNotHave) {
  platform::WindowsThreadLocale locale;
  ASSERT_TRUE(locale.Set(platform::kLocaleEnglishUs));
  // 0x0BFF is a language id no Windows defines; 0 and negative ids are no locales at all.
  for (const int id : {0x0BFF, 0, -1}) {
    EXPECT_FALSE(locale.Set(id)) << id;
    EXPECT_EQ(locale.Current(), platform::kLocaleEnglishUs) << id;
  }
  EXPECT_EQ(GetThreadLocale(), MAKELCID(0x0409, SORT_DEFAULT));
}

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// --- profile files: our layer against the system's profile functions ---

// The system's reading, or nullopt for its default (missing file, section or key).
std::optional<std::string> SystemProfileString(const fs::path& file, std::string_view section, std::string_view key) {
  const wchar_t* const missing = L"\x1 missing \x1";
  wchar_t buffer[260];
  GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), missing, buffer, 260, file.c_str());
  const std::wstring value(buffer);
  if (value == missing) return std::nullopt;
  return Utf8(value);
}

// The cases of the layer's own table where the system (Wine 8.0 here) reads otherwise, and why
// the program keeps its rule there. Every other case reads the same through both.
const std::string kAnsiFile =
    "the system reads a file without a byte-order mark in the ANSI code page; the program's files are UTF-8 "
    "(its language files hold Chinese), so the layer reads UTF-8 and marks broken bytes with U+FFFD";
const std::map<std::string, std::string, std::less<>> kSystemDiffers = {
    {"Utf8ValuePassedThrough", kAnsiFile},
    {"NonAsciiNamesMatchExactly", kAnsiFile},
    {"InvalidByteReplaced", kAnsiFile},
    {"TruncatedSequenceReplaced", kAnsiFile},
    {"OverlongFormReplaced", kAnsiFile},
    {"EncodedSurrogateReplaced", kAnsiFile},
    {"CutCountsCharactersNotBytes", kAnsiFile},
    {"CutNeverSplitsASequence", kAnsiFile},
    {"EmptyKeyNeverMatches",
     "the system lets an empty key name match a line \"=1\"; the program never asks for an empty key, and the "
     "layer gives nothing for one rather than the value of a nameless line"},
    {"LineWithoutEqualsIgnored",
     "the system takes a line \"k\" as key k without a value and gives the default, hiding the real k=2 below; "
     "the layer skips a line without '=' as no key at all"},
    {"Utf16OddLengthTolerated",
     "the system reads the dangling last byte of a UTF-16 file of odd length as a character; the layer marks it "
     "with U+FFFD, as it is half a character"},
    {"Utf16CutCountsCodePoints",
     "the system cuts at 259 UTF-16 units and so splits the last surrogate pair; the layer counts characters "
     "and never splits one"},
    {"CutAfterQuotesDropped",
     "the system cuts the raw value, quote included, at 259 and then drops the opening quote (258 left); the "
     "layer drops the pair first, so a quoted value of 259 characters survives whole"},
};

class ProfileAgainstSystemTest : public ::testing::TestWithParam<testing::ProfileReadCase> {};

TEST_P(ProfileAgainstSystemTest, ReadsWhatTheSystemReads) {
  const testing::ProfileReadCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.WriteFile(PathFromUtf8("设置 profile.ini"), c.file);
  ASSERT_EQ(platform::ReadProfileString(file, c.section, c.key), c.expected);
  const std::optional<std::string> system = SystemProfileString(file, c.section, c.key);
  const auto differs = kSystemDiffers.find(c.name);
  if (differs == kSystemDiffers.end()) {
    EXPECT_EQ(system, c.expected) << "the system's reading";
  } else {
    EXPECT_NE(system, c.expected) << "the system agrees now; out of date: " << differs->second;
  }
}

INSTANTIATE_TEST_SUITE_P(Rules, ProfileAgainstSystemTest, ::testing::ValuesIn(testing::ProfileReadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileAgainstSystemTest, AMissingFileGivesTheDefault) {
  TempDir dir;
  const fs::path file = dir.path() / "none.ini";
  EXPECT_EQ(platform::ReadProfileString(file, "S", "Key"), std::nullopt);
  EXPECT_EQ(SystemProfileString(file, "S", "Key"), std::nullopt);
}

// --- profile files: one-key writes on files the system made ---

TEST(WindowsProfileWrite, ChangesOneKeyOfAFileTheSystemWrote) {
  TempDir dir;
  const fs::path file = dir.path() / PathFromUtf8(kWideFolder) / "VX3P1020.INI";
  fs::create_directories(file.parent_path());
  ASSERT_TRUE(WritePrivateProfileStringW(L"Rolling Code", L"Start_Value", L"0x0041", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"Rolling Code", L"StepValue", L"1", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"Other", L"Key", L"kept", file.c_str()));
  const std::string before = ReadFileBytes(file);

  ASSERT_TRUE(platform::WriteProfileString(file, "rolling code", "start_value", "0x0042"));
  EXPECT_EQ(SystemProfileString(file, "Rolling Code", "Start_Value"), "0x0042");
  EXPECT_EQ(SystemProfileString(file, "Rolling Code", "StepValue"), "1");
  EXPECT_EQ(SystemProfileString(file, "Other", "Key"), "kept");
  std::string expected = before;
  expected.replace(expected.find("0x0041"), 6, "0x0042");
  EXPECT_EQ(ReadFileBytes(file), expected);
}

TEST(WindowsProfileWrite, KeepsAUtf16FileUtf16) {
  TempDir dir;
  const fs::path file = dir.WriteFile("UIChina.ini", testing::Utf16File(u"[STRING TABLE]\r\nIDS_A=旧\r\nIDS_B=留\r\n", true));
  ASSERT_TRUE(platform::WriteProfileString(file, "STRING TABLE", "IDS_A", "新的 值"));
  EXPECT_EQ(ReadFileBytes(file), testing::Utf16File(u"[STRING TABLE]\r\nIDS_A=新的 值\r\nIDS_B=留\r\n", true));
  EXPECT_EQ(SystemProfileString(file, "STRING TABLE", "IDS_A"), "新的 值");
  // And the other way round: the system's write on our file, read by our layer.
  ASSERT_TRUE(WritePrivateProfileStringW(L"STRING TABLE", L"IDS_B", L"改", file.c_str()));
  EXPECT_EQ(platform::ReadProfileString(file, "STRING TABLE", "IDS_B"), "改");
}

TEST(WindowsProfileWrite, CreatesAFileAndRefusesAReadOnlyOneAsTheSystemDoes) {
  TempDir dir;
  const fs::path file = dir.path() / "new.ini";
  ASSERT_TRUE(platform::WriteProfileString(file, "S", "Key", "1"));
  EXPECT_EQ(ReadFileBytes(file), "[S]\r\nKey=1\r\n");
  EXPECT_EQ(SystemProfileString(file, "S", "Key"), "1");

  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(platform::WriteProfileString(file, "S", "Key", "3"));
  EXPECT_EQ(ReadFileBytes(file), "[S]\r\nKey=1\r\n");
  // Windows refuses the write as well. Wine (8.0) writes a read-only file all the same; the
  // program keeps the Windows behaviour there.
  EXPECT_EQ(WritePrivateProfileStringW(L"S", L"Key", L"2", file.c_str()) != 0, RunningUnderWine());
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// --- the operation log ---

class WindowsLogTest : public ::testing::Test {
 protected:
  WindowsLogTest()
      : programDir_(dir_.path() / PathFromUtf8(kWideFolder)),
        language_(programDir_ / "language" / "UIEng.ini"),
        reporter_(language_, clock_) {
    fs::create_directories(programDir_ / "Writer_Log");
    reporter_.SetProgramDir(programDir_);
  }
  fs::path LogFile() const { return programDir_ / "Writer_Log" / "WT12050803.LOG"; }

  TempDir dir_;
  fs::path programDir_;
  testing::FakeClock clock_;
  text::Language language_;
  text::Reporter reporter_;
};

TEST_F(WindowsLogTest, LinesEndInCrLf) {
  reporter_.LogEvent(1, "Plain entry");
  reporter_.LogEvent(12, "Numbered entry");
  EXPECT_EQ(ReadFileBytes(LogFile()),
            "Plain entry\r\n\r\n"
            "00001    Sat Dec  5 08:03:16 2026\r\n\r\nNumbered entry\r\n\r\n");
}

// The bytes of a Chinese line in the code pages the program meets: the round trip holds where
// the code page has the characters, and the others get the system's default character.
struct CodePageCase {
  unsigned codePage;
  std::string bytes;
  bool roundTrip;
};

TEST_F(WindowsLogTest, AChineseLineIsWrittenInTheAnsiCodePage) {
  const std::string line = "芯片 VX3P1020 编程失败";
  const CodePageCase cases[] = {
      {936, "\xD0\xBE\xC6\xAC VX3P1020 \xB1\xE0\xB3\xCC\xCA\xA7\xB0\xDC", true},  // Chinese (GBK)
      {1252, "?? VX3P1020 ????", false},                                            // Western
      {65001, line, true},                                                          // UTF-8
  };
  reporter_.LogEvent(0, line);
  const std::string written = ReadFileBytes(LogFile());
  const unsigned codePage = GetACP();
  bool known = false;
  for (const CodePageCase& c : cases) {
    if (c.codePage != codePage) continue;
    known = true;
    EXPECT_EQ(written, c.bytes + "\r\n\r\n");
    EXPECT_EQ(platform::SystemTextToUtf8(written) == line + "\r\n\r\n", c.roundTrip);
  }
  if (!known) GTEST_SKIP() << "no expected bytes for code page " << codePage;
}

// The Writer's messages are 8-bit text in the ANSI code page; the status box shows them in UTF-8.
struct WriterTextCase {
  unsigned codePage;
  std::string sent;
  std::string shown;
};

TEST(WindowsSystemText, WriterMessagesAreReadInTheAnsiCodePage) {
  const WriterTextCase cases[] = {
      {936, "\xB3\xCC\xD0\xF2 OK at %02X\r\n", "程序 OK at 0A\r\n"},  // GBK
      {936, "\xD0\xBE\xC6\xAC", "芯片"},
      {1252, "\xC9tat %d \xFF", "État 10 ÿ"},
      {65001, "\xE7\xA8\x8B\xE5\xBA\x8F %d", "程序 10"},
  };
  std::array<std::uint8_t, writer_ops::kWriterArgumentCount> arguments{};
  arguments[0] = 10;
  bool any = false;
  for (const WriterTextCase& c : cases) {
    if (c.codePage != GetACP()) continue;
    any = true;
    EXPECT_EQ(writer_ops::FormatWriterMessage(c.sent, arguments), c.shown) << c.sent;
  }
  if (!any) GTEST_SKIP() << "no cases for code page " << GetACP();
}

TEST(WindowsSystemText, ChineseRoundTrip) {
  if (GetACP() != 936) GTEST_SKIP() << "needs the Chinese code page (LANG=zh_CN.UTF-8 under Wine)";
  EXPECT_EQ(platform::SystemTextToUtf8("\xD0\xBE\xC6\xAC OK"), "芯片 OK");
  EXPECT_EQ(platform::Utf8ToSystemText("芯片 OK"), "\xD0\xBE\xC6\xAC OK");
}

}  // namespace
}  // namespace vx3

#endif  // _WIN32
