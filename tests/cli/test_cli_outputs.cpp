// What --out and --csv name stays what it is, through the built executable: a link's target gets
// the bytes and the link stays, a pipe's reader gets them, a device is written to and its failure
// is reported with the command's exit code, "-" is standard output.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "support/temp_dir.h"

namespace vx3::cli {
namespace {

namespace fs = std::filesystem;
using testing::CliFolder;
using testing::CliRunResult;

// The first row of every read-back listing of the sample's job.
constexpr std::string_view kListingStart = "000000 : ";

class CliOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.SimSettings();
    ASSERT_EQ(folder_.Run("load samples/VX3P1020.VX3").exitCode, 0);
    ASSERT_EQ(folder_.Run("auto-program --no-wait").exitCode, 0);
    folder_.SimSettings("[Chip]\nContent=job\n");
  }
  fs::path In(std::string_view name) const { return folder_.programDir() / name; }

  CliFolder folder_;
};

TEST_F(CliOutputTest, ADeviceThatTakesNothingIsAFailureAndStaysADevice) {
  const std::string noSpace = std::make_error_code(std::errc::no_space_on_device).message();
  const CliRunResult read = folder_.Run("read --out /dev/full");
  EXPECT_EQ(read.exitCode, ToInt(ExitCode::ReadFailed)) << read.out << read.err;
  EXPECT_NE(read.err.find("/dev/full could not be written: " + noSpace), std::string::npos) << read.err;
  EXPECT_EQ(read.out.find("written to /dev/full"), std::string::npos) << read.out;
  const CliRunResult exported = folder_.Run("ledger export --all --csv /dev/full");
  EXPECT_NE(exported.exitCode, 0) << exported.out;
  EXPECT_NE(exported.err.find(noSpace), std::string::npos) << exported.err;
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(CliOutputTest, ALinkIsFollowedAndStaysALink) {
  fs::create_directories(In("kept"));
  fs::create_symlink(In("kept") / "listing.txt", In("listing-link.txt"));
  fs::create_symlink(In("kept") / "record.csv", In("record-link.csv"));
  ASSERT_EQ(folder_.Run("read --out listing-link.txt").exitCode, 0);
  ASSERT_EQ(folder_.Run("ledger export --all --csv record-link.csv").exitCode, 0);
  EXPECT_TRUE(fs::is_symlink(In("listing-link.txt")));
  EXPECT_TRUE(fs::is_symlink(In("record-link.csv")));
  EXPECT_EQ(testing::ReadFileBytes(In("kept") / "listing.txt").rfind(kListingStart, 0), 0U);
  EXPECT_EQ(testing::ReadFileBytes(In("kept") / "record.csv").rfind("action_id,", 0), 0U);
}

TEST_F(CliOutputTest, APipesReaderGetsTheListing) {
  const fs::path fifo = In("listing.pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string read;
  std::thread reader([&fifo, &read] { read = testing::ReadFileBytes(fifo); });
  const CliRunResult run = folder_.Run("read --out listing.pipe");
  reader.join();
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(read.rfind(kListingStart, 0), 0U) << read.substr(0, 80);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(CliOutputTest, ADashIsStandardOutput) {
  const CliRunResult run = folder_.Run("read --out -");
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find(std::string("\n") + std::string(kListingStart)), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(In("-")));
}

}  // namespace
}  // namespace vx3::cli
