// Loading the rolling INI: every outcome of the checks as a table (methods, addresses, lengths,
// orders, the byte-per-word model), the summary lines, the one-shot zero-step box, and the
// generator program that writes Count, scripted and as a real script run by the system.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/command_processor.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_record.h"
#include "rolling/rolling_settings.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"
#include "ui_text/message_box.h"
#include "ui_text/reporter.h"

namespace vx3::rolling {
namespace {

namespace fs = std::filesystem;
using testing::RollingIniFields;

// A command processor that records the command lines and runs the test's stand-in program.
class ScriptedCommands final : public platform::CommandProcessor {
 public:
  int Run(std::string_view commandLine) override {
    lines.emplace_back(commandLine);
    if (program) program();
    return 0;
  }
  std::vector<std::string> lines;
  std::function<void()> program;
};

// What the load told the operator.
enum class Told { Nothing, OlderEdition, FormatQuestion, GeneratorMissing, NotHex };

class RollingLoadFixture {
 protected:
  RollingLoadFixture() : language_(dir_.path() / "language" / "UIEng.ini"), reporter_(language_, clock_) {
    reporter_.AttachView(&view_);
    reporter_.SetProgramDir(dir_.path());
    fs::create_directories(dir_.path() / "Writer_Log");
    settings_.iniPath = dir_.path() / "CODE.INI";
  }

  void Load(std::uint32_t romWords, bool report = false, std::string_view device = "VX3P1020") {
    LoadRollingSettings(settings_, romWords, report, device, {reporter_, language_, commands_});
  }

  std::string LogText() const { return testing::ReadFileBytes(reporter_.logPath()); }

  testing::TempDir dir_;
  testing::FakeClock clock_;
  text::Language language_;
  text::Reporter reporter_;
  testing::FakeView view_;
  ScriptedCommands commands_;
  RollingSettings settings_;
};

struct LoadCase {
  const char* name;
  RollingIniFields ini;
  std::uint32_t romWords;
  std::string_view device;
  RollingMethod method;
  std::uint32_t address;
  std::uint32_t wordLength;
  Told told;
  std::vector<std::uint32_t> value;
  std::vector<std::uint32_t> step;
};

class RollingLoadTest : public RollingLoadFixture, public ::testing::TestWithParam<LoadCase> {};

TEST_P(RollingLoadTest, Outcome) {
  const LoadCase& c = GetParam();
  testing::WriteRollingIni(settings_.iniPath, c.ini);
  Load(c.romWords, false, c.device);

  EXPECT_EQ(settings_.method, c.method);
  EXPECT_EQ(settings_.address, c.address);
  EXPECT_EQ(settings_.wordLength, c.wordLength);
  EXPECT_EQ(settings_.usable, c.told != Told::OlderEdition && c.told != Told::NotHex);
  for (std::size_t i = 0; i < c.value.size(); ++i) EXPECT_EQ(settings_.value[i], c.value[i]) << "value " << i;
  for (std::size_t i = 0; i < c.step.size(); ++i) EXPECT_EQ(settings_.step[i], c.step[i]) << "step " << i;
  // Whatever the INI's length, a load that turned the code off sends the record of no INI.
  if (c.method == RollingMethod::NotUsed) {
    EXPECT_EQ(BuildRollingRecord(settings_, IsByteWordDevice(c.device)), std::vector<std::uint8_t>(8, 0));
  }

  switch (c.told) {
    case Told::Nothing:
      EXPECT_EQ(view_.status, "");
      EXPECT_TRUE(view_.messages.empty());
      break;
    case Told::OlderEdition:
      ASSERT_EQ(view_.messages.size(), 1U);
      EXPECT_EQ(view_.messages[0].text, kMessageOlderEdition);
      EXPECT_EQ(view_.messages[0].caption, "VX3WT");
      EXPECT_EQ(view_.status, "Err: " + std::string(kMessageOlderEdition) + "\r\n");
      break;
    case Told::FormatQuestion:
    case Told::GeneratorMissing: {
      const std::string_view message =
          c.told == Told::FormatQuestion ? kMessageFormatQuestion : kMessageGeneratorMissing;
      EXPECT_TRUE(view_.messages.empty());
      EXPECT_NE(LogText().find(message), std::string::npos) << LogText();
      EXPECT_NE(view_.status.find("Rolling Code control file has some problems !!"), std::string::npos) << view_.status;
      break;
    }
    case Told::NotHex: {
      // The line names the key and the INI; the log keeps it.
      const std::string key = c.ini.count.find_first_not_of("0123456789ABCDEFabcdef ") != std::string::npos ? "Count" : "Step";
      const std::string line = key + " of Rolling Code in " + platform::PathToUtf8(settings_.iniPath) +
                               " holds other than hexadecimal digits: the rolling code is off until it is mended !!!";
      EXPECT_NE(view_.status.find("Err: " + line + "\r\n"), std::string::npos) << view_.status;
      EXPECT_NE(LogText().find(line), std::string::npos) << LogText();
      break;
    }
  }
}

constexpr auto kAutoInc = RollingMethod::AutoInc;
constexpr auto kNotUsed = RollingMethod::NotUsed;

RollingIniFields Ini(std::string way, std::string order, std::string address, std::string length,
                     std::string count = "", std::string step = "") {
  RollingIniFields f;
  f.way = std::move(way);
  f.order = std::move(order);
  f.address = std::move(address);
  f.wordLength = std::move(length);
  f.count = std::move(count);
  f.step = std::move(step);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RollingLoadTest,
    ::testing::Values(
        LoadCase{"Valid", Ini("INI", "L2H", "0x101", "2", "12 34"), 0x800, "VX3P1020", kAutoInc, 0x101, 2,
                 Told::Nothing, {0x1234, 0}, {1, 0}},
        LoadCase{"DecimalAddressAndCaseOfKeywords", Ini("ini", "l2h", "257", "2", "00020001", "00000003"), 0x800,
                 "VX3P1020", kAutoInc, 0x101, 2, Told::Nothing, {1, 2}, {3, 0}},
        LoadCase{"LongCountLosesLeadingDigits", Ini("INI", "L2H", "0x101", "2", "ABCD12345678"), 0x800, "VX3P1020",
                 kAutoInc, 0x101, 2, Told::Nothing, {0x5678, 0x1234}, {1, 0}},
        LoadCase{"WayAbsentWithAddressIsAutoInc", Ini("", "L2H", "0x101", "1"), 0x800, "VX3P1020", kAutoInc, 0x101, 1,
                 Told::Nothing, {0}, {1}},
        LoadCase{"WayAbsentWithoutAddressIsSilent", Ini("", "", "", "2"), 0x800, "VX3P1020", kNotUsed, 0, 2,
                 Told::Nothing, {}, {}},
        LoadCase{"Custom", Ini("CUSTOM", "L2H", "0x101", "2", "5"), 0x800, "VX3P1020", RollingMethod::Custom, 0x101, 2,
                 Told::Nothing, {5, 0}, {1, 0}},
        LoadCase{"DisabledWithValidAddress", Ini("DISABLE", "L2H", "0x101", "2"), 0x800, "VX3P1020", kNotUsed, 0x101, 2,
                 Told::Nothing, {}, {}},
        LoadCase{"DisabledWithoutAddressIsOlderEdition", Ini("DISABLE", "L2H", "", ""), 0x800, "VX3P1020", kNotUsed, 0,
                 0, Told::OlderEdition, {}, {}},
        LoadCase{"EvenAddress", Ini("INI", "L2H", "4", "2"), 0x800, "VX3P1020", kNotUsed, 0, 2, Told::OlderEdition, {},
                 {}},
        LoadCase{"EndsOnReservedWord", Ini("INI", "L2H", "5", "4"), 0x800, "VX3P1020", kNotUsed, 0, 4,
                 Told::OlderEdition, {}, {}},
        LoadCase{"EndsBeforeReservedWord", Ini("INI", "L2H", "5", "3"), 0x800, "VX3P1020", kAutoInc, 5, 3,
                 Told::Nothing, {}, {1, 0, 0}},
        LoadCase{"StartsAfterReservedWord", Ini("INI", "L2H", "9", "4"), 0x800, "VX3P1020", kAutoInc, 9, 4,
                 Told::Nothing, {}, {1, 0, 0, 0}},
        LoadCase{"FiveWords", Ini("INI", "L2H", "0x101", "5"), 0x800, "VX3P1020", kNotUsed, 0, 5, Told::OlderEdition,
                 {}, {}},
        LoadCase{"OrderHighFirst", Ini("INI", "h2l", "0x101", "2"), 0x800, "VX3P1020", kNotUsed, 0, 2,
                 Told::OlderEdition, {}, {}},
        LoadCase{"OrderAbsent", Ini("INI", "", "0x101", "2"), 0x800, "VX3P1020", kNotUsed, 0, 2, Told::OlderEdition,
                 {}, {}},
        LoadCase{"ReachesRomEnd", Ini("INI", "L2H", "0x7FF", "1"), 0x800, "VX3P1020", kNotUsed, 0, 1,
                 Told::FormatQuestion, {}, {}},
        LoadCase{"EndsOneBeforeRomEnd", Ini("INI", "L2H", "0x7FD", "2"), 0x800, "VX3P1020", kAutoInc, 0x7FD, 2,
                 Told::Nothing, {}, {1, 0}},
        LoadCase{"ZeroLength", Ini("INI", "L2H", "0x101", "0"), 0x800, "VX3P1020", kNotUsed, 0, 0,
                 Told::FormatQuestion, {}, {}},
        // A negative address must not wrap around the end-of-ROM check.
        LoadCase{"NegativeAddress", Ini("INI", "L2H", "-1", "2"), 0x800, "VX3P1020", kNotUsed, 0, 2,
                 Told::FormatQuestion, {}, {}},
        LoadCase{"UnknownWay", Ini("SOMETIMES", "L2H", "0x101", "100"), 0x800, "VX3P1020", kNotUsed, 0, 0,
                 Told::FormatQuestion, {}, {}},
        LoadCase{"ByteWordsNineAreEight", Ini("INI", "L2H", "0x301", "9", "0011002200330044005500660077008800AA"),
                 0x400, "VXTERN", kAutoInc, 0x301, 8, Told::Nothing, {0xAA, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22},
                 {1, 0, 0, 0, 0, 0, 0, 0}},
        LoadCase{"ByteWordsFour", Ini("INI", "L2H", "0x301", "4", "0012003400560078", "0000000000000002"), 0x400,
                 "VXTERN", kAutoInc, 0x301, 4, Told::Nothing, {0x78, 0x56, 0x34, 0x12}, {2, 0, 0, 0}},
        LoadCase{"ByteWordsEight", Ini("INI", "L2H", "0x301", "8"), 0x400, "VXTERN", kAutoInc, 0x301, 8, Told::Nothing,
                 {0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}},
        LoadCase{"ByteWordsOne", Ini("INI", "L2H", "0x301", "1"), 0x400, "VXTERN", kNotUsed, 0, 1, Told::OlderEdition,
                 {}, {}},
        LoadCase{"ByteWordsSeven", Ini("INI", "L2H", "0x301", "7"), 0x400, "VXTERN", kNotUsed, 0, 7,
                 Told::OlderEdition, {}, {}},
        LoadCase{"ByteWordsTen", Ini("INI", "L2H", "0x301", "10"), 0x400, "VXTERN", kNotUsed, 0, 10,
                 Told::OlderEdition, {}, {}},
        // The record carries the address in 16 bits: a larger one is a question, never cut.
        LoadCase{"AddressAbove16Bits", Ini("INI", "L2H", "0x10101", "2"), 0x20000, "VX3P1020", kNotUsed, 0, 2,
                 Told::FormatQuestion, {}, {}},
        LoadCase{"AddressAt16Bits", Ini("INI", "L2H", "0xFFFD", "2"), 0x20000, "VX3P1020", kAutoInc, 0xFFFD, 2,
                 Told::Nothing, {}, {1, 0}},
        // A counter that is no number is an error, never serial 0.
        LoadCase{"CountNotHex", Ini("INI", "L2H", "0x101", "2", "12ZZ#!junk"), 0x800, "VX3P1020", kNotUsed, 0, 2,
                 Told::NotHex, {}, {}},
        LoadCase{"StepNotHex", Ini("INI", "L2H", "0x101", "2", "1000", "1G"), 0x800, "VX3P1020", kNotUsed, 0, 2,
                 Told::NotHex, {}, {}},
        LoadCase{"CountWithSpacesIsHex", Ini("INI", "L2H", "0x101", "2", "0000 1234", "0000 0002"), 0x800, "VX3P1020",
                 kAutoInc, 0x101, 2, Told::Nothing, {0x1234, 0}, {2, 0}},
        // Spaces that group the digits are dropped before a byte-per-word value is reduced.
        LoadCase{"ByteWordsCountWithSpaces", Ini("INI", "L2H", "0x301", "4", "0012 0034 0056 0078", "0000 0000 0000 0002"),
                 0x400, "VXTERN", kAutoInc, 0x301, 4, Told::Nothing, {0x78, 0x56, 0x34, 0x12}, {2, 0, 0, 0}},
        // The name is compared with case: another spelling is an ordinary chip.
        LoadCase{"ByteWordNameWithOtherCase", Ini("INI", "L2H", "0x301", "6"), 0x400, "VXtern", kNotUsed, 0, 6,
                 Told::OlderEdition, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });


class RollingLoadSingle : public RollingLoadFixture, public ::testing::Test {};

TEST_F(RollingLoadSingle, NoIniIsSilentlyOff) {
  settings_.wordLength = 3;
  Load(0x800);
  EXPECT_EQ(settings_.method, RollingMethod::NotUsed);
  EXPECT_EQ(settings_.address, 0U);
  EXPECT_TRUE(settings_.usable);
  EXPECT_EQ(view_.status, "");
  EXPECT_TRUE(commands_.lines.empty());
}

TEST_F(RollingLoadSingle, UsableComesBackWithTheNextLoad) {
  testing::WriteRollingIni(settings_.iniPath, Ini("INI", "L2H", "4", "2"));
  Load(0x800);
  EXPECT_FALSE(settings_.usable);
  testing::WriteRollingIni(settings_.iniPath, Ini("INI", "L2H", "5", "2"));
  Load(0x800);
  EXPECT_TRUE(settings_.usable);
  EXPECT_EQ(settings_.method, RollingMethod::AutoInc);
}

TEST_F(RollingLoadSingle, SummaryLinesWithTheirTexts) {
  testing::WriteRollingIni(settings_.iniPath, Ini("INI", "L2H", "0x101", "2", "0002ABCD", "00000010"));
  Load(0x800, true);
  const std::string ini = platform::PathToUtf8(settings_.iniPath);
  EXPECT_EQ(view_.status, "Rolling Code address 101, Length 2 words\r\n"
                          "Rolling Value : 0002 ABCD \r\n"
                          "Rolling Step  : 0000 0010 \r\n"
                          "Rolling File : " + ini + "\r\n"
                          "Word alignment : Lowest word is low address\r\n");
}

TEST_F(RollingLoadSingle, SummaryShowsBytesAsWordsAndNamesTheMethod) {
  struct Row {
    const char* way;
    std::string_view device;
    const char* length;
    const char* line4;
    const char* value;
  };
  const Row rows[] = {
      {"INI", "VXTERN", "2", "Rolling File : ", "Rolling Value : 0012 0034 \r\n"},
      {"CUSTOM", "VX3P1020", "2", "Rolling Format : ???", "Rolling Value : 0012 0034 \r\n"},
      {"DISABLE", "VX3P1020", "2", "Rolling Code disable", "Rolling Value : 0012 0034 \r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.way);
    view_.status.clear();
    testing::WriteRollingIni(settings_.iniPath, Ini(row.way, "L2H", "0x101", row.length, "00120034"));
    Load(0x800, true, row.device);
    EXPECT_NE(view_.status.find(row.value), std::string::npos) << view_.status;
    EXPECT_NE(view_.status.find(row.line4), std::string::npos) << view_.status;
    EXPECT_FALSE(settings_.forceWordDisplay);
  }
}

TEST_F(RollingLoadSingle, NoSummaryAfterAProblem) {
  testing::WriteRollingIni(settings_.iniPath, Ini("INI", "L2H", "0x7FF", "2"));
  Load(0x800, true);
  EXPECT_EQ(view_.status.find("Rolling Value"), std::string::npos) << view_.status;
}

TEST_F(RollingLoadSingle, ZeroStepBoxOnceAfterTheDialogOpened) {
  testing::WriteRollingIni(settings_.iniPath, Ini("INI", "L2H", "0x101", "2", "1", "0000 0000"));
  Load(0x800);
  EXPECT_TRUE(view_.messages.empty());  // the dialog was not opened

  settings_.confirmZeroStep = true;
  Load(0x800);
  ASSERT_EQ(view_.messages.size(), 1U);
  EXPECT_EQ(view_.messages[0].text, kMessageZeroStep);
  EXPECT_EQ(view_.messages[0].caption, "Writer");
  EXPECT_EQ(view_.messages[0].type, text::box::kOk | text::box::kIconInformation);
  EXPECT_FALSE(settings_.confirmZeroStep);
  Load(0x800);
  EXPECT_EQ(view_.messages.size(), 1U);

  // Another method, or a step that is not zero: no box.
  settings_.confirmZeroStep = true;
  testing::WriteRollingIni(settings_.iniPath, Ini("CUSTOM", "L2H", "0x101", "2", "1", "0"));
  Load(0x800);
  testing::WriteRollingIni(settings_.iniPath, Ini("INI", "L2H", "0x101", "2", "1", "00010000"));
  Load(0x800);
  EXPECT_EQ(view_.messages.size(), 1U);
  EXPECT_TRUE(settings_.confirmZeroStep);
}

// --- the generator program -------------------------------------------------------------------

TEST_F(RollingLoadSingle, GeneratorRunsWhileCountIsEmptyAndItsCountIsRead) {
  const fs::path generator = dir_.WriteFile("gen tool/RollCode.exe", "stand-in");
  RollingIniFields ini = Ini("EXE", "L2H", "0x101", "2");
  ini.exeFile = platform::PathToUtf8(generator);
  testing::WriteRollingIni(settings_.iniPath, ini);
  commands_.program = [this] {
    platform::WriteProfileString(settings_.iniPath, kRollingSection, key::kCount, "0000BEEF");
  };
  Load(0x800);
  ASSERT_EQ(commands_.lines.size(), 1U);
  EXPECT_EQ(commands_.lines[0], platform::QuoteCommandPath(platform::PathToUtf8(generator)));
  EXPECT_EQ(settings_.method, RollingMethod::RunExe);
  EXPECT_EQ(settings_.exeCommand, platform::PathToUtf8(generator));
  EXPECT_EQ(settings_.value[0], 0xBEEFU);

  // Count now holds a value: the generator does not run again.
  Load(0x800);
  EXPECT_EQ(commands_.lines.size(), 1U);
}

TEST_F(RollingLoadSingle, GeneratorThatWritesNothingGivesZero) {
  const fs::path generator = dir_.WriteFile("RollCode.exe", "stand-in");
  RollingIniFields ini = Ini("EXE", "L2H", "0x101", "2");
  ini.exeFile = platform::PathToUtf8(generator);
  testing::WriteRollingIni(settings_.iniPath, ini);
  settings_.value.fill(7);
  Load(0x800);
  EXPECT_EQ(commands_.lines.size(), 1U);
  EXPECT_EQ(settings_.method, RollingMethod::RunExe);
  EXPECT_EQ(settings_.value[0], 0U);
  EXPECT_EQ(settings_.value[1], 0U);
}

TEST_F(RollingLoadSingle, MissingGeneratorIsNotRun) {
  RollingIniFields ini = Ini("EXE", "L2H", "0x101", "2");
  ini.exeFile = platform::PathToUtf8(dir_.path() / "missing.exe");
  testing::WriteRollingIni(settings_.iniPath, ini);
  Load(0x800);
  EXPECT_TRUE(commands_.lines.empty());
  EXPECT_EQ(settings_.method, RollingMethod::NotUsed);
  EXPECT_TRUE(settings_.usable);
}

#ifndef _WIN32
TEST_F(RollingLoadSingle, RealGeneratorScriptWritesCount) {
  // A generator as a shell script in a folder whose name has a space and a quote in it: the
  // system's command processor runs it as one program.
  const fs::path generator = dir_.path() / "it's gen" / "rollcode.sh";
  const std::string iniText = platform::PathToUtf8(settings_.iniPath);
  dir_.WriteFile("it's gen/rollcode.sh",
                 "#!/bin/sh\n"
                 "printf '[Rolling Code]\\r\\nWay=EXE\\r\\nExeFile=%s\\r\\nOrder=L2H\\r\\nAddress=0x101\\r\\n"
                 "Word_Length=2\\r\\nCount=00031234\\r\\n' \"$0\" > '" + iniText + "'\n");
  fs::permissions(generator, fs::perms::owner_all);
  RollingIniFields ini = Ini("EXE", "L2H", "0x101", "2");
  ini.exeFile = platform::PathToUtf8(generator);
  testing::WriteRollingIni(settings_.iniPath, ini);

  platform::SystemCommandProcessor system;
  LoadRollingSettings(settings_, 0x800, false, "VX3P1020", {reporter_, language_, system});
  EXPECT_EQ(settings_.method, RollingMethod::RunExe);
  EXPECT_EQ(settings_.value[0], 0x1234U);
  EXPECT_EQ(settings_.value[1], 0x0003U);
}
#endif

TEST(RollingCommandPath, QuotedAsOneWord) {
#ifdef _WIN32
  EXPECT_EQ(platform::QuoteCommandPath("C:\\gen tool\\RollCode.exe"), "\"C:\\gen tool\\RollCode.exe\"");
#else
  EXPECT_EQ(platform::QuoteCommandPath("/gen tool/RollCode.exe"), "'/gen tool/RollCode.exe'");
  EXPECT_EQ(platform::QuoteCommandPath("/a'b;rm x"), "'/a'\\''b;rm x'");
#endif
}

}  // namespace
}  // namespace vx3::rolling
