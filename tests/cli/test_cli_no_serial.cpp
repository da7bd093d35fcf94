// Serial numbers that the rolling INI asks for but that cannot be made, through the built
// command line: the load goes on and says so, the commands that program chips are refused with
// serial_refused unless --no-serial is given, and an INI that asks for none changes nothing.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "support/image_builder.h"

namespace vx3::cli {
namespace {

using testing::CliFolder;
using testing::CliRunResult;

// The image by its full path, so that the load names the INI as the later commands do.
std::string LoadCommand(const CliFolder& folder) { return "load '" + folder.Sample("VX3P1020.VX3").string() + "'"; }

// The sample's INI with `way` and `count`.
void WriteIni(const CliFolder& folder, const std::string& way, const std::string& count) {
  testing::RollingIniFields ini;
  ini.way = way;
  ini.order = "L2H";
  ini.address = "0x101";
  ini.wordLength = "2";
  ini.count = count;
  ini.step = "00000001";
  testing::WriteRollingIni(folder.Sample("VX3P1020.INI"), ini);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliNoSerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.SimSettings();
    WriteIni(folder_, "INI", "zz");
    const CliRunResult loaded = folder_.Run(LoadCommand(folder_));
    ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
    // The load's last line says what is missing.
    ASSERT_FALSE(loaded.Lines().empty());
    EXPECT_TRUE(Has(loaded.out, "EEPROM verify O.K")) << loaded.out;
    EXPECT_EQ(loaded.Lines().back(), Line()) << loaded.out;
  }
  std::string Line() const {
    return "Err: No serial numbers: Count of " + folder_.Sample("VX3P1020.INI").string() + " is not a number";
  }

  CliFolder folder_;
};

struct RefusalCase {
  const char* command;
};

class CliNoSerialRefusalTest : public CliNoSerialTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CliNoSerialRefusalTest, RefusedWithoutTheOptionProgrammedWithIt) {
  const std::string command = GetParam().command;
  const CliRunResult refused = folder_.Run(command + " --json --no-wait --count 2");
  EXPECT_EQ(refused.exitCode, ToInt(ExitCode::SerialRefused)) << refused.out << refused.err;
  EXPECT_TRUE(Has(refused.out, "{\"event\":\"status\",\"text\":\"" + Line() + "\"}")) << refused.out;
  // The question was answered No for the script; the batch stops at the first chip.
  EXPECT_TRUE(Has(refused.out, "\"text\":\"Program chips without serial numbers?\",\"answer\":\"no\"")) << refused.out;
  const std::vector<std::string> chips = refused.Events("chip");
  ASSERT_EQ(chips.size(), 1U) << refused.out;
  EXPECT_TRUE(Has(chips[0], "\"result\":\"not_run\"")) << chips[0];
  EXPECT_TRUE(Has(chips[0], "\"code_name\":\"serial_refused\",\"serial\":null")) << chips[0];
  EXPECT_TRUE(testing::ReadFileBytes(folder_.simDir() / "VX3USBOV3Wt.chips").empty());

  const CliRunResult programmed = folder_.Run(command + " --json --no-wait --count 2 --no-serial");
  EXPECT_EQ(programmed.exitCode, 0) << programmed.out << programmed.err;
  const std::vector<std::string> passed = programmed.Events("chip");
  ASSERT_EQ(passed.size(), 2U) << programmed.out;
  for (const std::string& chip : passed) {
    EXPECT_TRUE(Has(chip, "\"result\":\"pass\"")) << chip;
    EXPECT_TRUE(Has(chip, "\"serial\":null")) << chip;
  }

  // Text output: the same reason line, and the exit code.
  const CliRunResult text = folder_.Run(command + " --no-wait");
  EXPECT_EQ(text.exitCode, ToInt(ExitCode::SerialRefused)) << text.out << text.err;
  EXPECT_TRUE(Has(text.out, Line() + "\n")) << text.out;
}

INSTANTIATE_TEST_SUITE_P(Commands, CliNoSerialRefusalTest,
                         ::testing::Values(RefusalCase{"auto-program"}, RefusalCase{"program"}),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                           return std::string(info.param.command == std::string("program") ? "Program" : "AutoProgram");
                         });

// Commands that write no serial run as they always did.
TEST_F(CliNoSerialTest, BlankCheckAndVerifyAreNotAsked) {
  const CliRunResult blank = folder_.Run("blank-check --no-wait");
  EXPECT_EQ(blank.exitCode, 0) << blank.out << blank.err;
  EXPECT_FALSE(Has(blank.out, "without serial numbers")) << blank.out;
}

TEST(CliNoSerialQuietTest, AnIniThatAsksForNoSerialChangesNothing) {
  CliFolder folder;
  folder.SimSettings();
  WriteIni(folder, "DISABLE", "zz");
  const CliRunResult loaded = folder.Run(LoadCommand(folder));
  ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
  EXPECT_FALSE(Has(loaded.out, "No serial numbers")) << loaded.out;
  const CliRunResult run = folder.Run("auto-program --json --no-wait");
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_FALSE(Has(run.out, "without serial numbers")) << run.out;
}

}  // namespace
}  // namespace vx3::cli
