// The simulated Writer, loaded from the program folder like any bridge library and driven
// through its four entry points: its EEPROM job, its chip, its firmware, its faults, its
// memory between runs; and the program's own link and chip actions against it.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <span>
#include <sstream>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "image/loaded_image.h"
#include "link/bridge_library.h"
#include "link/writer_link.h"
#include "platform/clock.h"
#include "rolling/rolling_settings.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/reference_exchanges.h"
#include "support/temp_dir.h"
#include "ui_text/ui_texts.h"
#include "writer_ops/chip_actions.h"
#include "writer_ops/eeprom_download.h"
#include "writer_ops/firmware_update.h"
#include "writer_ops/progress_window.h"

namespace vx3::sim_test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Header = std::array<std::uint8_t, 128>;
using link::DynamicBridgeLibrary;

// The protocol as these tests speak it, written from the protocol's description and not taken
// from the program, so that a wrong code or layout on one side cannot hide in the other.
namespace wire {
using Packet = std::array<std::uint8_t, 64>;
using Reply = std::array<std::uint8_t, 16>;
constexpr std::uint8_t kProgramEeprom = 0x01;
constexpr std::uint8_t kProgramDriver = 0x01;  // with the update checksum in bytes 3 and 4
constexpr std::uint8_t kVerifyEeprom = 0x02;
constexpr std::uint8_t kStatusQuery = 0x04;
constexpr std::uint8_t kVerifyDriver = 0x05;
constexpr std::uint8_t kVersionQuery = 0x06;
constexpr std::uint8_t kProgramIap = 0x07;
constexpr std::uint8_t kVerifyIap = 0x08;
constexpr std::uint8_t kIapStatusQuery = 0x09;
constexpr std::uint8_t kResetWriter = 0x0A;
constexpr std::uint8_t kCheckDriver = 0x0B;
constexpr std::uint8_t kReadHeader = 0x10;
constexpr std::uint8_t kReadChip = 0x80;
constexpr std::uint8_t kProgramChip = 0x81;
constexpr std::uint8_t kVerifyChip = 0x82;
constexpr std::uint8_t kBlankCheckChip = 0x83;
constexpr std::uint8_t kAutoProgramChip = 0x84;
constexpr std::uint8_t kCheckBeforeRead = 0x85;
constexpr std::uint8_t kReadChipForLoadOtp = 0xC0;
constexpr std::uint8_t kSecurityCheck = 0xC1;
constexpr std::uint8_t kFailed = 0;
constexpr std::uint8_t kOk = 1;
constexpr std::uint8_t kMessageText = 2;
constexpr std::uint8_t kMessageArguments = 3;
// The status query as the protocol gives it, for the date year 2000 + `year` and `month`.
inline std::vector<std::uint8_t> StatusQuery(std::uint8_t year = 26, std::uint8_t month = 12) {
  return {kStatusQuery, 0xF5, 0x5F, 0xA1, 0x45, year, month, 0x46};
}
// [code, argument low, argument high, 0], zero after.
inline Packet MakeCommand(std::uint8_t code, std::uint16_t argument) {
  Packet packet{};
  packet[0] = code;
  packet[1] = static_cast<std::uint8_t>(argument & 0xFF);
  packet[2] = static_cast<std::uint8_t>(argument >> 8);
  return packet;
}
}  // namespace wire
using wire::MakeCommand;
using wire::Packet;
using wire::Reply;

const fs::path kProgramDir = VX3WT_PROGRAM_DIR;
const fs::path kLibrary = kProgramDir / "DLL" / "VX3USBOV3Wt.DLL";
const fs::path kStateFile = "VX3USBOV3Wt.state";

// A job for a chip of 128 words: 256 bytes, all writable from blank; its last word keeps the
// security bit set unless a test clears it. Chip name VX3A1234, checksum 0x1234 as the program
// would have computed it, rolling code off.
struct Job {
  Job() {
    body.resize(256);
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(i * 7);
    body[254] = 0xFF;
    body[255] = 0xFF;
    SetChipName("VX3A1234");
    header[124] = 127;  // romWords - 1
    header[126] = 0x34;
    header[127] = 0x12;
  }
  void SetChipName(std::string_view name) {
    std::fill(header.begin() + 96, header.begin() + 112, 0);
    std::copy(name.begin(), name.end(), header.begin() + 96);
  }
  // Rolling code at word `address`, `words` words of value and step given least significant
  // word first, lowest word at the lowest address.
  void SetRolling(std::uint16_t address, const std::vector<std::uint16_t>& value,
                  const std::vector<std::uint16_t>& step) {
    header[0] = 1;
    header[2] = static_cast<std::uint8_t>(address);
    header[4] = static_cast<std::uint8_t>(value.size());
    std::size_t at = 6;
    for (const auto& words : {value, step}) {
      for (const std::uint16_t word : words) {
        header[at++] = static_cast<std::uint8_t>(word & 0xFF);
        header[at++] = static_cast<std::uint8_t>(word >> 8);
      }
    }
    header[at] = 1;
  }

  Header header{};
  Bytes body;
};

class SimulatedWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::SetSimFolder(dir_.path());
    ASSERT_TRUE(library_.Load(kLibrary)) << kLibrary;
  }
  void TearDown() override { testing::SetSimFolder(""); }

  void Settings(std::string_view text) { dir_.WriteFile("VX3USBOV3Wt.ini", text); }
  int Open() { return library_.OpenDevice(0); }

  int Send(Packet packet) { return library_.WriteOut(0, packet.data(), static_cast<int>(packet.size())); }
  int Send(const Bytes& bytes) {
    Packet packet{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), packet.size()), packet.begin());
    return Send(packet);
  }
  std::optional<Reply> Receive() {
    Reply reply{};
    if (library_.ReadIn(0, reply.data(), static_cast<int>(reply.size())) != 16) return std::nullopt;
    return reply;
  }
  // Status of one exchange, or -1 when the write or the read fails.
  int Exchange(const Bytes& packet) {
    if (Send(packet) != 64) return -1;
    const auto reply = Receive();
    return reply ? (*reply)[0] : -1;
  }

  // The EEPROM job as the program sends it: command, two header blocks, the body blocks; the
  // status of each block.
  std::vector<int> Download(std::uint8_t code, const Job& job) {
    const auto blocks = static_cast<std::uint16_t>(2 + job.body.size() / 64);
    std::vector<int> statuses;
    if (Send(MakeCommand(code, blocks)) != 64) return {-1};
    for (std::size_t block = 0; block < blocks; ++block) {
      const std::uint8_t* from = block < 2 ? job.header.data() + block * 64 : job.body.data() + (block - 2) * 64;
      statuses.push_back(Exchange(Bytes(from, from + 64)));
      if (statuses.back() != wire::kOk) break;  // the program stops at a refused block
    }
    return statuses;
  }

  struct Action {
    bool ok;
    std::string shown;
    int status;
  };
  // A chip action as the program runs it: the same packet until status 1 or 0.
  Action Run(std::uint8_t code, const Job& job) {
    Bytes packet(64, 0);
    packet[0] = code;
    packet[1] = static_cast<std::uint8_t>(job.body.size() & 0xFF);
    packet[2] = static_cast<std::uint8_t>(job.body.size() >> 8);
    packet[3] = job.header[126];
    packet[4] = job.header[127];
    std::string pending;
    Action action{false, "", -1};
    for (int round = 0; round < 1000; ++round) {
      if (Send(packet) != 64) return action;
      const auto reply = Receive();
      if (!reply) return action;
      action.status = (*reply)[0];
      if ((*reply)[0] == wire::kMessageText) {
        for (std::size_t k = 1; k < 16 && (*reply)[k] != 0; ++k) pending += static_cast<char>((*reply)[k]);
      } else if ((*reply)[0] == wire::kMessageArguments) {
        action.shown +=
            writer_ops::FormatWriterMessage(pending, std::span<const std::uint8_t, 15>(reply->data() + 1, 15));
        pending.clear();
      } else {
        action.ok = (*reply)[0] == wire::kOk;
        return action;
      }
    }
    return action;
  }

  Bytes Read(std::uint8_t code, std::uint16_t chunks) {
    Bytes data;
    for (std::uint16_t i = 0; i < chunks; ++i) {
      if (Send(MakeCommand(code, chunks)) != 64) return data;
      const auto reply = Receive();
      if (!reply) return data;
      data.insert(data.end(), reply->begin(), reply->end());
    }
    return data;
  }
  Header ReadHeader() {
    const Bytes bytes = Read(wire::kReadHeader, 8);
    Header header{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), header.size()), header.begin());
    return header;
  }

  // What the simulated Writer wrote into its trace file so far.
  std::string TraceText() const { return testing::ReadFileBytes(dir_.path() / "VX3USBOV3Wt.trace"); }

  Reply Query(const Bytes& packet) {
    EXPECT_EQ(Send(packet), 64);
    return Receive().value_or(Reply{});
  }

  testing::TempDir dir_;
  DynamicBridgeLibrary library_;
};

// --- presence and the transfers ---

TEST_F(SimulatedWriterTest, AnswersTheProbeAndOnlyDeviceZero) {
  EXPECT_EQ(Open(), 1);
  EXPECT_EQ(library_.CloseDevice(0), 1);
  EXPECT_EQ(library_.OpenDevice(1), 0);
  Packet packet{};
  EXPECT_EQ(library_.WriteOut(1, packet.data(), 64), 0);
  EXPECT_EQ(library_.WriteOut(0, packet.data(), 63), 0);
  EXPECT_EQ(library_.WriteOut(0, nullptr, 64), 0);
  Reply reply{};
  EXPECT_EQ(library_.ReadIn(0, reply.data(), 16), 0);  // nothing to answer: the read times out
  EXPECT_EQ(library_.ReadIn(0, reply.data(), 15), 0);
  EXPECT_TRUE(fs::exists(dir_.path() / kStateFile));
}

TEST_F(SimulatedWriterTest, NoWriterAndOtherProbeResults) {
  Settings("[Writer]\nPresent=0\n");
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(Send(MakeCommand(wire::kIapStatusQuery, 0)), 0);
  Settings("[Writer]\nOpenDeviceResult=2\n");
  EXPECT_EQ(Open(), 2);
}

TEST_F(SimulatedWriterTest, LatencyDelaysEveryTransfer) {
  Settings("[Writer]\nLatencyMs=30\n");
  ASSERT_EQ(Open(), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange({wire::kIapStatusQuery}), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

// --- the EEPROM job ---

TEST_F(SimulatedWriterTest, KeepsTheJobAndVerifiesItBlockByBlock) {
  ASSERT_EQ(Open(), 1);
  Job job;
  EXPECT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(Download(wire::kVerifyEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(ReadHeader(), job.header);

  Job other = job;
  other.body[200] ^= 0x01;  // in body block 3, the job's sixth block
  EXPECT_EQ(Download(wire::kVerifyEeprom, other), (std::vector<int>{1, 1, 1, 1, 1, 0}));
  other = job;
  other.header[70] ^= 0x01;  // in the second header block
  const std::vector<int> statuses = Download(wire::kVerifyEeprom, other);
  EXPECT_EQ(statuses.at(1), 0);
}

TEST_F(SimulatedWriterTest, TheJobAndTheChipOutliveTheProgramRun) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0x0010}, {0x0001});
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(wire::kProgramChip, job).ok);

  // Another machine, another folder: the Writer is what its state file says.
  testing::TempDir moved;
  fs::copy_file(dir_.path() / kStateFile, moved.path() / kStateFile);
  testing::SetSimFolder(moved.path());
  ASSERT_EQ(Open(), 1);
  Header advanced = job.header;
  advanced[6] = 0x11;
  EXPECT_EQ(ReadHeader(), advanced);
  EXPECT_EQ(Run(wire::kVerifyChip, job).shown, "Verify OK\r\n");
}

TEST_F(SimulatedWriterTest, ADamagedStateFileGivesANewWriter) {
  dir_.WriteFile(kStateFile, std::string("VX3WTSIM\x01\0\0\0", 12) + "garbage");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(ReadHeader(), Header{});
  Job job;
  EXPECT_EQ(Run(wire::kProgramChip, job).shown, "No data in EEPROM, please load again !!\r\n");
}

TEST_F(SimulatedWriterTest, TheStateIsWrittenOncePerFinishedCommandAndOnClose) {
  ASSERT_EQ(Open(), 1);
  Job job;
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  const std::string afterFirstJob = testing::ReadFileBytes(dir_.path() / kStateFile);
  ASSERT_FALSE(afterFirstJob.empty());

  // A second job, block by block: the file keeps the first job until the last block.
  Job other = job;
  std::fill(other.body.begin(), other.body.end(), 0x42);
  ASSERT_EQ(Send(MakeCommand(wire::kProgramEeprom, 6)), 64);
  for (std::size_t block = 0; block < 6; ++block) {
    EXPECT_EQ(testing::ReadFileBytes(dir_.path() / kStateFile), afterFirstJob) << "before block " << block;
    const std::uint8_t* from = block < 2 ? other.header.data() + block * 64 : other.body.data() + (block - 2) * 64;
    ASSERT_EQ(Exchange(Bytes(from, from + 64)), 1);
  }
  const std::string afterSecondJob = testing::ReadFileBytes(dir_.path() / kStateFile);
  EXPECT_NE(afterSecondJob, afterFirstJob);
  EXPECT_NE(afterSecondJob.find(std::string(64, 0x42)), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_.path() / "VX3USBOV3Wt.state.tmp"));

  // A job left half-way is kept (as the unfinished job it is) when the device is closed.
  ASSERT_EQ(Send(MakeCommand(wire::kProgramEeprom, 6)), 64);
  ASSERT_EQ(Exchange(Bytes(job.header.begin(), job.header.begin() + 64)), 1);
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / kStateFile), afterSecondJob);
  EXPECT_EQ(library_.CloseDevice(0), 1);
  EXPECT_NE(testing::ReadFileBytes(dir_.path() / kStateFile), afterSecondJob);
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Run(wire::kBlankCheckChip, job).shown, "No data in EEPROM, please load again !!\r\n");
}

// --- chip actions ---

struct MessageCase {
  const char* name;
  const char* settings;
  std::uint8_t action;
  bool ok;
  std::string shown;
};

class SimulatedChipActionTest : public SimulatedWriterTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(SimulatedChipActionTest, TellsWhatHappensAndEndsWithItsResult) {
  if (!testing::IsAscii(GetParam().shown) && !testing::SystemTextIsUtf8()) {
    GTEST_SKIP() << "the Writer's text is in the ANSI code page here";
  }
  Settings(GetParam().settings);
  ASSERT_EQ(Open(), 1);
  Job job;
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  const Action action = Run(GetParam().action, job);
  EXPECT_EQ(action.ok, GetParam().ok);
  EXPECT_EQ(action.shown, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimulatedChipActionTest,
    ::testing::Values(
        MessageCase{"BlankCheckOfABlankChip", "", wire::kBlankCheckChip, true, "Blank check OK\r\n"},
        MessageCase{"BlankCheckOfAFilledChip", "[Chip]\nContent=00\n", wire::kBlankCheckChip, false,
                    "Blank check fail at 0000\r\n"},
        MessageCase{"ProgramOfABlankChip", "", wire::kProgramChip, true, "Program OK\r\n"},
        MessageCase{"ProgramOfAChipThatCannotTakeIt", "[Chip]\nContent=00\n", wire::kProgramChip, false,
                    "Program fail at 0000\r\n"},
        MessageCase{"VerifyOfABlankChip", "", wire::kVerifyChip, false, "Verify fail at 0000\r\n"},
        MessageCase{"VerifyOfAProgrammedChip", "[Chip]\nContent=job\n", wire::kVerifyChip, true, "Verify OK\r\n"},
        MessageCase{"AutoProgram", "", wire::kAutoProgramChip, true, "Auto Program OK\r\n"},
        MessageCase{"AutoProgramOfAUsedChip", "[Chip]\nContent=job\n", wire::kAutoProgramChip, false,
                    "Blank check fail at 0000\r\n"},
        MessageCase{"CheckBeforeRead", "", wire::kCheckBeforeRead, true, ""},
        MessageCase{"SecurityCheckOfAnOpenChip", "", wire::kSecurityCheck, true, ""},
        MessageCase{"SecurityCheckOfAProtectedChip", "[Chip]\nSecured=1\n", wire::kSecurityCheck, false, ""},
        MessageCase{"EmptySocket", "[Chip]\nInSocket=0\n", wire::kProgramChip, false, "No IC in socket !!\r\n"},
        MessageCase{"AnotherChipType", "[Chip]\nType=VX3B5678\n", wire::kAutoProgramChip, false,
                    "IC Error!IC Typis different wih VX3!\r\nPlease check it again"},
        MessageCase{"SettingsWithoutRegardToCaseWithSpacesAndQuotes",
                    "\xEF\xBB\xBF; a comment\n[chip]\n  CONTENT = \"00\"  \ncontent=blank\n", wire::kBlankCheckChip,
                    false, "Blank check fail at 0000\r\n"},
        MessageCase{"TheSameTypeWithAnOtpEnding", "[Chip]\nType=vx3a1234otp\n", wire::kBlankCheckChip, true,
                    "Blank check OK\r\n"},
        MessageCase{"AGivenMessageFirst", "[Faults]\nMessageText=Socket %d: %02X\\r\\n\nMessageArgs=3 a5\n",
                    wire::kBlankCheckChip, true, "Socket 3: A5\r\nBlank check OK\r\n"},
        MessageCase{"AGivenMessageThatIsNoFormat", "[Faults]\nMessageText=Name %s\\r\\n\n", wire::kCheckBeforeRead, true,
                    "Name %s\r\n"},
        MessageCase{"AGivenMessageWithBytesThatAreNoText", "[Faults]\nMessageText=\\xFF!\n", wire::kCheckBeforeRead,
                    true, "\xEF\xBF\xBD!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedWriterTest, ActionsNeedTheJobThatThePcHasLoaded) {
  ASSERT_EQ(Open(), 1);
  Job job;
  EXPECT_EQ(Run(wire::kProgramChip, job).shown, "No data in EEPROM, please load again !!\r\n");
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  Job changed = job;
  changed.header[126] ^= 0xFF;  // the PC's checksum is another
  const Action action = Run(wire::kVerifyChip, changed);
  EXPECT_FALSE(action.ok);
  EXPECT_EQ(action.shown, "EEPROM data differ from PC, please load again !!\r\n");
  // Reading a chip needs no job of the same image.
  EXPECT_TRUE(Run(wire::kCheckBeforeRead, changed).ok);
}

TEST_F(SimulatedWriterTest, ARunOfChipsGetsARunOfRollingValues) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0xFFFE, 0x0000}, {0x0001, 0x0000});
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));

  const char* const expected[] = {"0000 FFFE", "0000 FFFF", "0001 0000"};
  for (const char* value : expected) {
    const Action action = Run(wire::kAutoProgramChip, job);
    EXPECT_TRUE(action.ok);
    EXPECT_EQ(action.shown, std::string("Auto Program OK\r\nRolling Code : ") + value + "\r\n");
    // The chip holds the value it was given at words 9 and 10, low word first.
    const Bytes chip = Read(wire::kReadChip, 16);
    ASSERT_EQ(chip.size(), 256U);
    const std::uint32_t given = chip[18] | (chip[19] << 8) | (chip[20] << 16) | (chip[21] << 24);
    EXPECT_EQ(fmt::format("{:04X} {:04X}", given >> 16, given & 0xFFFF), value);
    // The rest of the chip is the job.
    Bytes rest = chip;
    Bytes body = job.body;
    std::fill(rest.begin() + 18, rest.begin() + 22, 0);
    std::fill(body.begin() + 18, body.begin() + 22, 0);
    EXPECT_EQ(rest, body);
  }
  // The header the program reads back carries the next value.
  const Header header = ReadHeader();
  EXPECT_EQ(Bytes(header.begin() + 6, header.begin() + 10), (Bytes{0x01, 0x00, 0x01, 0x00}));
}

// The chips file's lines without their times, which are checked for their form.
std::vector<std::string> ChipLines(const fs::path& folder) {
  std::vector<std::string> lines;
  std::istringstream in(testing::ReadFileBytes(folder / "VX3USBOV3Wt.chips"));
  const std::regex time(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\t)");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(line, m, time)) << line;
    lines.push_back(m.empty() ? line : line.substr(static_cast<std::size_t>(m[0].length())));
  }
  return lines;
}

TEST_F(SimulatedWriterTest, EveryProgrammedChipGoesIntoTheChipsFileWhenTheCommandIsAnswered) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0xFFFE, 0x0000}, {0x0001, 0x0000});
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(wire::kAutoProgramChip, job).ok);
  ASSERT_TRUE(Run(wire::kProgramChip, job).ok);
  // Commands that program nothing add no line.
  ASSERT_TRUE(Run(wire::kVerifyChip, job).ok);
  // The same chip stays in the socket: Auto Program fails its blank check, Program its cells.
  Settings("[Chip]\nInsertNewAfterProgram=0\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_FALSE(Run(wire::kAutoProgramChip, job).ok);
  EXPECT_FALSE(Run(wire::kProgramChip, job).ok);
  EXPECT_EQ(ChipLines(dir_.path()), (std::vector<std::string>{"0x84\t0000FFFE\tPASS", "0x81\t0000FFFF\tPASS",
                                                               "0x84\t00010000\tFAIL", "0x81\t00010000\tFAIL"}));
}


// A job for the one-byte-per-word chip whose rolling record holds two entries of one byte each:
// the value `low`, `high`, step 1, the order byte after them.
Job OneBytePerWordJob(std::uint8_t low, std::uint8_t high) {
  Job job;
  job.SetChipName("VXTERN");
  job.header[0] = 1;
  job.header[2] = 9;
  job.header[4] = 2;
  job.header[6] = low;
  job.header[7] = high;
  job.header[8] = 0x01;
  job.header[9] = 0x00;
  job.header[10] = 1;
  return job;
}

TEST_F(SimulatedWriterTest, TheChipsFileHasNoValueWithTheRollingCodeOffAndBytesForTheByteDevice) {
  ASSERT_EQ(Open(), 1);
  Job plain;
  ASSERT_EQ(Download(wire::kProgramEeprom, plain), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(wire::kProgramChip, plain).ok);
  Job bytes = OneBytePerWordJob(0x01, 0x02);
  ASSERT_EQ(Download(wire::kProgramEeprom, bytes), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(wire::kAutoProgramChip, bytes).ok);
  EXPECT_EQ(ChipLines(dir_.path()), (std::vector<std::string>{"0x81\t\tPASS", "0x84\t0201\tPASS"}));
}

TEST_F(SimulatedWriterTest, StandaloneChipsAdvanceTheValueOnceAndGoIntoTheChipsFile) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0x1000, 0x0000}, {0x0002, 0x0000});
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_EQ(library_.CloseDevice(0), 1);

  Settings("; off-line run\r\n[Writer]\r\nLatencyMs=0\r\nStandaloneChips = 3\r\nTrace=0\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(ChipLines(dir_.path()), (std::vector<std::string>{"0x84\t00001000\tPASS", "0x84\t00001002\tPASS",
                                                               "0x84\t00001004\tPASS"}));
  // The key is cleared, nothing else in the file changes, and the chips are counted once.
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "VX3USBOV3Wt.ini"),
            "; off-line run\r\n[Writer]\r\nLatencyMs=0\r\nStandaloneChips =0\r\nTrace=0\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(ChipLines(dir_.path()).size(), 3U);
  const Header header = ReadHeader();
  EXPECT_EQ(Bytes(header.begin() + 6, header.begin() + 10), (Bytes{0x06, 0x10, 0x00, 0x00}));
  // The next chip on-line goes on from there.
  const Action action = Run(wire::kAutoProgramChip, job);
  EXPECT_EQ(action.shown, "Auto Program OK\r\nRolling Code : 0000 1006\r\n");
}

TEST_F(SimulatedWriterTest, StandaloneChipsWithoutAJobAreNone) {
  Settings("[Writer]\nStandaloneChips=5\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_FALSE(fs::exists(dir_.path() / "VX3USBOV3Wt.chips"));
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "VX3USBOV3Wt.ini"), "[Writer]\nStandaloneChips=0\n");
}

TEST_F(SimulatedWriterTest, TheRollingValueWrapsAtTheTop) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0xFFFF, 0xFFFF}, {0x0002, 0x0000});
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(wire::kProgramChip, job).ok);
  const Header header = ReadHeader();
  EXPECT_EQ(Bytes(header.begin() + 6, header.begin() + 10), (Bytes{0x01, 0x00, 0x00, 0x00}));
}

TEST_F(SimulatedWriterTest, OneBytePerWordChipCarriesItsValueInLowBytes) {
  ASSERT_EQ(Open(), 1);
  Job job = OneBytePerWordJob(0xFF, 0x00);
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  const Action action = Run(wire::kProgramChip, job);
  EXPECT_TRUE(action.ok);
  EXPECT_EQ(action.shown, "Program OK\r\nRolling Code : 00 FF\r\n");
  const Bytes chip = Read(wire::kReadChip, 16);
  ASSERT_EQ(chip.size(), 256U);
  EXPECT_EQ(Bytes(chip.begin() + 18, chip.begin() + 22), (Bytes{0xFF, job.body[19], 0x00, job.body[21]}));
  const Header header = ReadHeader();
  EXPECT_EQ(Bytes(header.begin() + 6, header.begin() + 8), (Bytes{0x00, 0x01}));
}

TEST_F(SimulatedWriterTest, WithoutANewChipTheSecondProgramFails) {
  Settings("[Chip]\nInsertNewAfterProgram=0\n");
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0x00FE}, {0x0001});
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(wire::kProgramChip, job).ok);
  EXPECT_EQ(Run(wire::kVerifyChip, job).shown, "Verify OK\r\n");
  // 0xFE cannot become 0xFF in a one-time programmable cell.
  const Action again = Run(wire::kProgramChip, job);
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.shown, "Program fail at 0009\r\n");
}

TEST_F(SimulatedWriterTest, VerifyAfterProgramSeesTheProgrammedChip) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0x1234}, {0x0001});
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(wire::kProgramChip, job).ok);
  EXPECT_EQ(Run(wire::kVerifyChip, job).shown, "Verify OK\r\n");
  // The next programming action gets a new chip.
  EXPECT_EQ(Run(wire::kBlankCheckChip, job).shown, "Blank check OK\r\n");
}

TEST_F(SimulatedWriterTest, VerifyWithoutTheRollingCodeSkipsItsWords) {
  Settings("[Chip]\nContent=job\n");
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0x1234}, {0x0001});
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  // A chip programmed elsewhere with the job's own words where the rolling code goes.
  EXPECT_EQ(Run(wire::kVerifyChip, job).shown, "Verify OK\r\n");
  job.header[26] = 1;
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  dir_.WriteFile("chip.bin", std::string(job.body.begin(), job.body.end()).replace(18, 2, "\x01\x02"));
  Settings("[Chip]\nContent=file:chip.bin\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Run(wire::kVerifyChip, job).shown, "Verify OK\r\n");
  job.header[26] = 0;
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(Run(wire::kVerifyChip, job).shown, "Verify fail at 0009\r\n");
}

TEST_F(SimulatedWriterTest, ProgrammingTheSecurityOptionProtectsTheChip) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.body[255] = 0xF7;  // bit 11 of the last word clear
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_TRUE(Run(wire::kSecurityCheck, job).ok);
  ASSERT_TRUE(Run(wire::kProgramChip, job).ok);
  EXPECT_FALSE(Run(wire::kSecurityCheck, job).ok);
  // Program type 3 looks at bit 1 instead.
  job.header[123] = 3;
  job.body[254] = 0xFF;
  job.body[255] = 0xFF;
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(wire::kAutoProgramChip, job).ok);  // a new chip
  EXPECT_TRUE(Run(wire::kSecurityCheck, job).ok);
}

TEST_F(SimulatedWriterTest, FlashChipsAreErasedByTheBlankCheckButton) {
  Settings("[Chip]\nContent=job\n");
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetChipName("VX3F0100");
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(Run(wire::kBlankCheckChip, job).shown, "Erase OK\r\n");
  EXPECT_EQ(Read(wire::kReadChip, 16), Bytes(256, 0xFF));
}

TEST_F(SimulatedWriterTest, ReadsGiveTheChipSixteenBytesAtATime) {
  std::string content;
  for (int i = 0; i < 40; ++i) content += static_cast<char>(0xA0 + i);
  dir_.WriteFile("chip.bin", content);
  Settings("[Chip]\nContent=file:chip.bin\n");
  ASSERT_EQ(Open(), 1);
  Bytes expected(content.begin(), content.end());
  expected.resize(64, 0xFF);  // past the chip's end
  EXPECT_EQ(Read(wire::kReadChip, 4), expected);
  EXPECT_EQ(Read(wire::kReadChipForLoadOtp, 4), expected);
}

// --- firmware ---

TEST_F(SimulatedWriterTest, QueriesAnswerTheFirmwareOfTheSettings) {
  Settings(
      "[Firmware]\nIapVersion=0x0203\nIapDate=0x2627\nDriverVersion=0x0105\nDriverDate=0x2406\nHostLevel=0xA146\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Query({0x04, 0xF5, 0x5F, 0xA1, 0x45, 31, 1, 0x46}), (Reply{0x02, 0x03, 0x26, 0x27, 0xA1, 0x46, 31, 1}));
  EXPECT_EQ(Query({0x06, 0xA5}), (Reply{0x01, 0x05, 0x24, 0x06, 0xA1, 0x46}));
  EXPECT_EQ(Query({0x09}), (Reply{0x01}));
}

Bytes UpdateFile(std::size_t size, std::size_t versionAt, std::uint16_t version) {
  Bytes file(size);
  for (std::size_t i = 0; i < size; ++i) file[i] = static_cast<std::uint8_t>(i * 13 + 5);
  file[versionAt] = static_cast<std::uint8_t>(version >> 8);
  file[versionAt + 1] = static_cast<std::uint8_t>(version & 0xFF);
  return file;
}

TEST_F(SimulatedWriterTest, IapUpdateTakesTheNewVersionWhenItsChecksumHolds) {
  ASSERT_EQ(Open(), 1);
  const Bytes file = UpdateFile(3600, 0xDF0, 0x0305);
  std::uint16_t checksum = 0;
  for (std::size_t i = 0; i < 0xDF0; ++i) checksum = static_cast<std::uint16_t>(checksum + file[i]);
  const auto send = [&](std::uint8_t code, std::uint16_t sum, const Bytes& data) {
    std::vector<int> statuses;
    EXPECT_EQ(Send(Bytes{code, 56, 0, static_cast<std::uint8_t>(sum & 0xFF), static_cast<std::uint8_t>(sum >> 8)}), 64);
    for (std::size_t block = 0; block < 56; ++block) {
      statuses.push_back(Exchange(Bytes(data.begin() + static_cast<std::ptrdiff_t>(block * 64),
                                        data.begin() + static_cast<std::ptrdiff_t>(block * 64 + 64))));
      if (statuses.back() != wire::kOk) break;
    }
    return statuses;
  };
  std::vector<int> lastFails(56, 1);
  lastFails.back() = 0;
  EXPECT_EQ(send(wire::kProgramIap, static_cast<std::uint16_t>(checksum + 1), file), lastFails);
  EXPECT_EQ(Query({0x09}), (Reply{0x00}));  // the IAP is broken now

  EXPECT_EQ(send(wire::kProgramIap, checksum, file), std::vector<int>(56, 1));
  EXPECT_EQ(Query(wire::StatusQuery()), (Reply{0x03, 0x05, 0x00, 0x00, 0xA1, 0x45, 26, 12}));
  EXPECT_EQ(Query({0x09}), (Reply{0x01}));
  EXPECT_EQ(send(wire::kVerifyIap, checksum, file), std::vector<int>(56, 1));
  Bytes changed = file;
  changed[64 * 10 + 3] ^= 0x10;
  std::vector<int> failsAtTen(10, 1);
  failsAtTen.push_back(0);
  EXPECT_EQ(send(wire::kVerifyIap, checksum, changed), failsAtTen);
}

TEST_F(SimulatedWriterTest, DriverUpdateResetAndCheck) {
  ASSERT_EQ(Open(), 1);
  Bytes file = UpdateFile(4102, 0x1000, 0x0207);
  file[0x1002] = 0x24;
  file[0x1003] = 0x12;
  file[0x1004] = 0xA1;
  file[0x1005] = 0x45;
  file.resize(65 * 64, 0xFF);  // the last block is filled up as the program sends it
  std::uint16_t checksum = 0;
  for (const std::uint8_t byte : file) checksum = static_cast<std::uint16_t>(checksum + byte);
  const auto send = [&](std::uint8_t code) {
    std::vector<int> statuses;
    EXPECT_EQ(
        Send(Bytes{code, 65, 0, static_cast<std::uint8_t>(checksum & 0xFF), static_cast<std::uint8_t>(checksum >> 8)}),
        64);
    for (std::size_t block = 0; block < 65; ++block) {
      statuses.push_back(Exchange(Bytes(file.begin() + static_cast<std::ptrdiff_t>(block * 64),
                                        file.begin() + static_cast<std::ptrdiff_t>(block * 64 + 64))));
    }
    return statuses;
  };
  EXPECT_EQ(send(wire::kProgramDriver), std::vector<int>(65, 1));
  EXPECT_EQ(Query({0x06, 0x5A}), (Reply{0x02, 0x07, 0x24, 0x12, 0xA1, 0x45}));
  EXPECT_EQ(send(wire::kVerifyDriver), std::vector<int>(65, 1));
  EXPECT_EQ(Send(MakeCommand(wire::kResetWriter, 0)), 64);
  EXPECT_FALSE(Receive().has_value());  // a reset has no reply
  EXPECT_EQ(Exchange({wire::kCheckDriver}), 1);

  // The Writer keeps the new driver across runs, until its setting is changed.
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Query({0x06, 0x5A}), (Reply{0x02, 0x07, 0x24, 0x12, 0xA1, 0x45}));
  Settings("[Firmware]\nDriverVersion=0x0101\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Query({0x06, 0x5A}), (Reply{0x01, 0x01, 0x24, 0x12, 0xA1, 0x45}));
}

// --- faults ---

TEST_F(SimulatedWriterTest, FailedTransfersAreCountedFromEachOpen) {
  Settings("[Faults]\nFailWriteAt=2\nFailReadAt=3\n");
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(Exchange({wire::kIapStatusQuery}), 1);                  // write 1, read 1
    EXPECT_EQ(Send(MakeCommand(wire::kIapStatusQuery, 0)), 0);  // write 2 fails
    EXPECT_EQ(Exchange({wire::kIapStatusQuery}), 1);                  // write 3, read 2
    EXPECT_EQ(Exchange({wire::kIapStatusQuery}), -1);                 // write 4, read 3 fails
    EXPECT_EQ(Exchange({wire::kIapStatusQuery}), 1);
  }
}

TEST_F(SimulatedWriterTest, AGivenStatusAtAGivenReply) {
  Settings("[Faults]\nStatusCommand=0x01\nStatusReply=3\nStatus=0\n");
  ASSERT_EQ(Open(), 1);
  Job job;
  EXPECT_EQ(Download(wire::kProgramEeprom, job), (std::vector<int>{1, 1, 1, 0}));
  // The refused block ended the job: there is none.
  EXPECT_EQ(Run(wire::kBlankCheckChip, job).shown, "No data in EEPROM, please load again !!\r\n");

  Settings("[Faults]\nStatusCommand=0x84\nStatusReply=0\nStatus=7\n");
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(Run(wire::kAutoProgramChip, job).status, 7);
  EXPECT_EQ(Run(wire::kBlankCheckChip, job).shown, "Blank check OK\r\n");

  // The final status made a text round: the action has nothing more, and ends with status 0.
  Settings("[Faults]\nStatusCommand=0x85\nStatusReply=0\nStatus=2\n");
  ASSERT_EQ(Open(), 1);
  const Action action = Run(wire::kCheckBeforeRead, job);
  EXPECT_FALSE(action.ok);
  EXPECT_EQ(action.status, wire::kFailed);
}

// --- port-access batches ---

TEST_F(SimulatedWriterTest, PortBatchesLoopTheDataNibbleBackOnTheStatusPort) {
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Send(Bytes{0x05, 0x00, 0x09, 0x02, 0x55, 0x0A}), 64);
  EXPECT_FALSE(Receive().has_value());  // writes only: no reply
  // Byte 0 is the code of the status query, but the query's marks are missing.
  EXPECT_EQ(Exchange({0x04, 0x00, 0x01, 0x03, 0x02}), 0x80 | (0x03 << 3));
}

// --- the program against it ---

TEST(ProgramWithSimulatedWriterTest, ConnectsFromTheProgramFolderAndRunsChipActions) {
  testing::TempDir simFolder;
  testing::SetSimFolder(simFolder.path());
  testing::FakeClock clock;
  text::Language language(simFolder.path() / "language" / "UIEng.ini");
  text::Reporter reporter(language, clock);
  testing::FakeView view;
  reporter.AttachView(&view);
  link::WriterLink link(std::make_unique<DynamicBridgeLibrary>(), reporter, language);
  const writer_ops::WriterServices writer{link, reporter, language};

  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  // The job, as the EEPROM download sends it.
  Job job;
  job.SetRolling(9, {0x0041, 0x0000}, {0x0001, 0x0000});
  ASSERT_TRUE(link.SendWriterCommand(wire::kProgramEeprom, 6));
  for (std::size_t block = 0; block < 6; ++block) {
    const std::uint8_t* from = block < 2 ? job.header.data() + block * 64 : job.body.data() + (block - 2) * 64;
    ASSERT_NE(link.UsbWrite(std::span<const std::uint8_t>(from, 64)), 0);
    Reply reply{};
    ASSERT_NE(link.UsbRead(reply), 0);
    ASSERT_EQ(reply[0], 1);
  }

  const writer_ops::ChipActionImage image{256, 0x1234};
  EXPECT_TRUE(writer_ops::ChipAction(writer, wire::kBlankCheckChip, image));
  EXPECT_TRUE(writer_ops::ChipAction(writer, wire::kAutoProgramChip, image));
  EXPECT_EQ(view.status, "Blank check OK\r\nAuto Program OK\r\nRolling Code : 0000 0041\r\n");

  writer_ops::EepromHeader header;
  EXPECT_TRUE(writer_ops::ReadBackHeader(writer, wire::kReadHeader, header));
  EXPECT_EQ(header.bytes[6], 0x42);

  // A chip of another type: the Writer's sentence in the language of the window.
  link.ClearConnected();
  std::ofstream(simFolder.path() / "VX3USBOV3Wt.ini") << "[Chip]\nType=VX3C0001\n";
  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  view.status.clear();
  EXPECT_FALSE(writer_ops::ChipAction(writer, wire::kProgramChip, image));
  EXPECT_EQ(view.status, "IC Error!IC Typis different wih VX3!\r\nPlease check it again\r\n");

  // The port table drives the same Writer once connected.
  link.portAccess().writeByte(link::kDataPort, 0x06);
  EXPECT_EQ(link.portAccess().readByte(link::kStatusPort), 0x80 | (0x06 << 3));
  testing::SetSimFolder("");
}

// --- the reference exchanges, answered by the simulated Writer ---

struct ReferenceCase {
  const char* exchange;
  const char* settings;
  bool withJob;  // the Job fixture is in the Writer's EEPROM
};

class SimulatedReferenceExchangeTest : public SimulatedWriterTest,
                                       public ::testing::WithParamInterface<ReferenceCase> {};

TEST_P(SimulatedReferenceExchangeTest, AnswersEveryPacketWithTheReferenceReply) {
  const auto exchanges = testing::ReadReferenceExchanges(testing::ReferenceExchangesFile());
  const auto found = exchanges.find(GetParam().exchange);
  ASSERT_NE(found, exchanges.end()) << GetParam().exchange;
  Settings(GetParam().settings);
  ASSERT_EQ(Open(), 1);
  if (GetParam().withJob) {
    ASSERT_EQ(Download(wire::kProgramEeprom, Job()), std::vector<int>(6, 1));
  }
  ASSERT_EQ(Open(), 1);
  std::size_t step = 0;
  for (const testing::ExchangeStep& expected : found->second.steps) {
    SCOPED_TRACE(::testing::Message() << "step " << step++);
    if (expected.fromHost) {
      ASSERT_EQ(Send(expected.bytes), 64);
    } else {
      const auto reply = Receive();
      ASSERT_TRUE(reply.has_value());
      EXPECT_EQ(Bytes(reply->begin(), reply->end()), expected.bytes);
    }
  }
  EXPECT_FALSE(Receive().has_value()) << "a reply more than the exchange has";
  EXPECT_EQ(TraceText(), "") << "no packet out of order";
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, SimulatedReferenceExchangeTest,
    ::testing::Values(ReferenceCase{"status_query_january_2031", "", false},
                      ReferenceCase{"version_query_fun6", "", false},
                      ReferenceCase{"auto_program_with_message", "[Chip]\nContent=job\n", true},
                      ReferenceCase{"blank_check_ok", "", true}, ReferenceCase{"header_read_back", "", true}),
    [](const auto& info) { return std::string(info.param.exchange); });

TEST_F(SimulatedWriterTest, TheReferenceEepromCommandOpensAJobOfItsBlockCount) {
  const auto exchanges = testing::ReadReferenceExchanges(testing::ReferenceExchangesFile());
  const auto found = exchanges.find("eeprom_program_command");
  ASSERT_NE(found, exchanges.end());
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(Send(found->second.HostPackets().at(0)), 64);
  for (int block = 0; block < 130; ++block) ASSERT_EQ(Exchange(Bytes(64, 0x3C)), 1) << block;
  // The job is complete: the next packet is a command again.
  EXPECT_EQ(Query({wire::kIapStatusQuery}), (Reply{1}));
  EXPECT_EQ(TraceText(), "");
}

// --- packets the Writer once misread ---

TEST_F(SimulatedWriterTest, AnEepromProgramWithBytesAfterByteThreeIsStillTheJob) {
  ASSERT_EQ(Open(), 1);
  Job job;
  Packet command = MakeCommand(wire::kProgramEeprom, 6);
  std::fill(command.begin() + 4, command.end(), 0xA5);  // bytes 4 to 63 carry nothing
  ASSERT_EQ(Send(command), 64);
  for (std::size_t block = 0; block < 6; ++block) {
    const std::uint8_t* from = block < 2 ? job.header.data() + block * 64 : job.body.data() + (block - 2) * 64;
    ASSERT_EQ(Exchange(Bytes(from, from + 64)), 1) << block;
  }
  EXPECT_EQ(ReadHeader(), job.header);
  EXPECT_TRUE(Run(wire::kBlankCheckChip, job).ok);
  EXPECT_EQ(Exchange({wire::kCheckDriver}), 1) << "the driver is untouched";
}

TEST_F(SimulatedWriterTest, AVerifyOf510BodyBlocksIsNoPortBatch) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.body.resize(510 * 64, 0x5A);
  job.header[124] = 0xBF;  // romWords - 1 = 16319
  job.header[125] = 0x3F;
  ASSERT_EQ(MakeCommand(wire::kVerifyEeprom, 512), (Packet{0x02, 0x00, 0x02}));
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(512, 1));
  EXPECT_EQ(Download(wire::kVerifyEeprom, job), std::vector<int>(512, 1));
  EXPECT_EQ(TraceText(), "");
}

TEST_F(SimulatedWriterTest, APortBatchWithBytesAfterItsUsedLengthIsOnlyThatBatch) {
  ASSERT_EQ(Open(), 1);
  // Eight used bytes (byte 0 = 7, the code of Program IAP): two data writes, a control write,
  // a status read; then what an earlier, longer batch left behind.
  Bytes batch{0x07, 0x00, 0x01, 0x05, 0x01, 0x06, 0x34, 0x02};
  batch.resize(64, 0xEE);
  EXPECT_EQ(Exchange(batch), 0x80 | (0x06 << 3));
  EXPECT_EQ(Query({wire::kIapStatusQuery}), (Reply{1})) << "the IAP was not opened for programming";
}

// --- packets out of the protocol's order ---

TEST_F(SimulatedWriterTest, APacketOutOfOrderGetsStatusZeroAndAStrictLine) {
  ASSERT_EQ(Open(), 1);
  Job job;
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_EQ(Send(MakeCommand(wire::kReadHeader, 8)), 64);
  ASSERT_TRUE(Receive().has_value());
  // A Blank Check in the middle of the header read-back.
  EXPECT_EQ(Run(wire::kBlankCheckChip, job).status, wire::kFailed);
  EXPECT_EQ(TraceText(),
            "! protocol: expected request 2 of 8 of Read Header (0x10) [10 08 00], got Blank Check (0x83) "
            "[83 00 01 34 12]\n");
  // The Writer waits for a command again.
  EXPECT_EQ(Run(wire::kBlankCheckChip, job).shown, "Blank check OK\r\n");

  // Something that is no command at all.
  fs::remove(dir_.path() / "VX3USBOV3Wt.trace");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Exchange(Bytes(64, 0x55)), 0);
  EXPECT_EQ(Exchange({wire::kStatusQuery, 0xF5, 0x5F, 0xA1}), 0);  // the query without its last marks
  EXPECT_EQ(TraceText(),
            "! protocol: expected a command, got a packet that is no command (byte 0 = 0x55)\n"
            "! protocol: expected a command, got Status Query (0x04) [04 F5 5F A1 00] in a layout it does not have\n");
}

TEST_F(SimulatedWriterTest, WithoutStrictModeTheSameAnswerAndNoLine) {
  Settings("[Writer]\nStrict=0\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Exchange(Bytes(64, 0x55)), 0);
  EXPECT_FALSE(fs::exists(dir_.path() / "VX3USBOV3Wt.trace"));
}

// --- the trace ---

TEST_F(SimulatedWriterTest, TheTraceShowsEveryCallPacketAndReply) {
  Settings("[Writer]\nTrace=1\n");
  ASSERT_EQ(Open(), 1);
  Job job;
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  fs::remove(dir_.path() / "VX3USBOV3Wt.trace");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(library_.CloseDevice(0), 1);
  ASSERT_TRUE(Run(wire::kBlankCheckChip, job).ok);
  const std::string zeros59 = [] {
    std::string text;
    for (int i = 0; i < 59; ++i) text += " 00";
    return text;
  }();
  EXPECT_EQ(TraceText(),
            "open 0 -> 1\n"
            "close 0 -> 1\n"
            "W 83 00 01 34 12" + zeros59 + " | Blank Check (0x83), ROM 256 bytes, checksum 0x1234\n"
            "R 02 42 6C 61 6E 6B 20 63 68 65 63 6B 20 4F 4B 0D | status 2 (text \"Blank check OK\\r\")\n"
            "W 83 00 01 34 12" + zeros59 + " | Blank Check (0x83) again\n"
            "R 02 0A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 | status 2 (text \"\\n\")\n"
            "W 83 00 01 34 12" + zeros59 + " | Blank Check (0x83) again\n"
            "R 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 | status 3 (arguments 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00)\n"
            "W 83 00 01 34 12" + zeros59 + " | Blank Check (0x83) again\n"
            "R 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 | status 1 (ok)\n");
}

TEST_F(SimulatedWriterTest, TheTraceNamesBlocksReadsAndFailedCalls) {
  Settings("[Writer]\nTrace=1\n[Faults]\nFailReadAt=2\n");
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(Send(MakeCommand(wire::kReadHeader, 8)), 64);
  ASSERT_TRUE(Receive().has_value());
  ASSERT_EQ(Send(MakeCommand(wire::kReadHeader, 8)), 64);
  EXPECT_FALSE(Receive().has_value());
  ASSERT_EQ(Open(), 1);
  const std::string trace = TraceText();
  EXPECT_NE(trace.find("| Read Header (0x10) request 1 of 8\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("| data 1 of 8\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("\nR -> 0 (failed by the settings)\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("\nopen 0 -> 1 (abandons the wait for request 3 of 8 of Read Header (0x10) [10 08 00])\n"),
            std::string::npos)
      << trace;
}

// --- faults through the program's own operations ---

// The program's link to the simulated Writer, and what it shows.
struct ProgramRig {
  explicit ProgramRig(const fs::path& folder)
      : language(kProgramDir / "language" / "UIEng.ini"),
        reporter(language, clock),
        progress(clock),
        link(std::make_unique<DynamicBridgeLibrary>(), reporter, language),
        update{{link, reporter, language}, progress, clock, firmware, kProgramDir, "VXHERON", 0x5A} {
    reporter.AttachView(&view);
    reporter.SetProgramDir(folder);
    progress.AttachView(&view);
  }
  writer_ops::WriterServices writer() { return {link, reporter, language, &clock}; }
  // What a command handler does first: reconnect, or report that there is no Writer.
  bool Connect() {
    link.ClearConnected();
    if (link.UsbConnect(kProgramDir)) return true;
    reporter.ReportStatus(language.Text(text::IDS_MESSAGE_USBNOTDETECTED), text::Severity::ErrorLine);
    return false;
  }

  testing::FakeClock clock;
  text::Language language;
  text::Reporter reporter;
  testing::FakeView view;
  writer_ops::ProgressWindow progress;
  link::WriterLink link;
  writer_ops::FirmwareState firmware;
  writer_ops::FirmwareUpdate update;
};

// A raw image of the Job fixture's body, loaded as the program would have it.
image::LoadedImage RawImage(const testing::TempDir& dir, const Job& job) {
  image::LoadedImage image;
  image.imagePath = dir.WriteFile("job.BIN", std::string(job.body.begin(), job.body.end()));
  image.deviceName = "VX3A1234";
  image.romWords = static_cast<std::uint32_t>(job.body.size() / 2);
  image.romBytes = static_cast<std::uint32_t>(job.body.size());
  image.bodyBytes = image.romBytes;
  image.checksum = 0x1234;
  return image;
}

struct FaultCase {
  const char* name;
  const char* settings;
  std::function<bool(ProgramRig&, const testing::TempDir&)> operation;
  bool ok;
  std::string shown;  // the status box, or a part of it after "..."
  int atLeastMs;
};

class SimulatedFaultTest : public SimulatedWriterTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimulatedFaultTest, TheProgramMeetsTheFaultAsAWritersFault) {
  // The job is in the Writer, then the fault is set.
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(Download(wire::kProgramEeprom, Job()), std::vector<int>(6, 1));
  Settings(GetParam().settings);
  ProgramRig rig(dir_.path());
  ASSERT_TRUE(rig.Connect());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(GetParam().operation(rig, dir_), GetParam().ok);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(GetParam().atLeastMs));
  const std::string& shown = GetParam().shown;
  if (shown.starts_with("...")) {
    EXPECT_NE(rig.view.status.find(shown.substr(3)), std::string::npos) << rig.view.status;
  } else {
    EXPECT_EQ(rig.view.status, shown);
  }
}

bool DownloadJob(ProgramRig& rig, const testing::TempDir& dir) {
  const image::LoadedImage image = RawImage(dir, Job());
  const rolling::RollingSettings rolling;
  writer_ops::EepromHeader header;
  const writer_ops::EepromDownload download{rig.writer(), image, rolling, header, rig.progress, dir.path(),
                                            dir.path()};
  return writer_ops::EepromAction(download, writer_ops::kEepromProgram, writer_ops::kEepromJobLabel);
}

bool ChipAction(ProgramRig& rig, std::uint8_t action) {
  return writer_ops::ChipAction(rig.writer(), action, {256, 0x1234});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimulatedFaultTest,
    ::testing::Values(
        // Transfer 6 is the write of the first body block (command, then two header blocks
        // with their replies); the Writer is gone, and the next command finds none.
        FaultCase{"UnplugDuringAnEepromDownload", "[Faults]\nUnplugAtTransfer=6\n",
                  [](ProgramRig& rig, const testing::TempDir& dir) {
                    const bool ok = DownloadJob(rig, dir);
                    return ok || rig.Connect();
                  },
                  false, std::string(testing::kWriteFailLines) + "Err: USB not detected !!!\r\n", 0},
        FaultCase{"ReadThatTimesOut", "[Faults]\nReadTimeoutAt=3\nReadTimeoutMs=60\n",
                  [](ProgramRig& rig, const testing::TempDir&) {
                    writer_ops::EepromHeader header;
                    return writer_ops::ReadBackHeader(rig.writer(), wire::kReadHeader, header);
                  },
                  false, "Err: USB read error on transfer !!!\r\nErr: USB read data fail !!!\r\n", 60},
        FaultCase{"ActionThatNeverEnds", "[Faults]\nHangAction=0x84\n",
                  [](ProgramRig& rig, const testing::TempDir&) {
                    // Every round of the busy Writer takes a second.
                    rig.clock.tick = std::chrono::seconds(1);
                    return ChipAction(rig, wire::kAutoProgramChip);
                  },
                  false, "...Err: The Writer did not finish Auto Program in 120 s\r\n", 0},
        FaultCase{"RestartWindowWithoutTheWait", "[Timing]\nRestartMs=5000\n",
                  [](ProgramRig& rig, const testing::TempDir&) {
                    return writer_ops::ResetStep(rig.update, wire::kResetWriter) &&
                           writer_ops::ResetStep(rig.update, wire::kCheckDriver);
                  },
                  false, "...Driver not ready after reset !!", 0},
        FaultCase{"ChipThatFailsVerifyAtAnAddress", "[Chip]\nContent=job\nVerifyFailAt=0x0010\n",
                  [](ProgramRig& rig, const testing::TempDir&) { return ChipAction(rig, wire::kVerifyChip); },
                  false, "Verify fail at 0010\r\n", 0},
        FaultCase{"OperationsTakeTheirTime",
                  "[Timing]\nBlankCheckMsPerKB=30\nProgramMsPerKB=40\nVerifyMsPerKB=50\n",
                  [](ProgramRig& rig, const testing::TempDir&) { return ChipAction(rig, wire::kAutoProgramChip); },
                  true, "Auto Program OK\r\n", 120}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedWriterTest, AnUnpluggedWriterComesBackWhenItsSettingChanges) {
  Settings("[Faults]\nUnplugAtTransfer=2\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Exchange({wire::kIapStatusQuery}), -1);  // the read is transfer 2
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(Open(), 0) << "still away at the next probe";
  Settings("[Faults]\nUnplugAtTransfer=0\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Exchange({wire::kIapStatusQuery}), 1);
}

TEST_F(SimulatedWriterTest, TheDriverRestartWaitOfTheProgramOutlastsTheRestartWindow) {
  // The driver of another date is sent, the Writer reset; the program's 30-second wait (here
  // a hundredth of it in real time) covers the restart, so the check after it succeeds.
  Settings("[Timing]\nRestartMs=150\n[Firmware]\nDriverDate=0x0001\n");
  ProgramRig rig(dir_.path());
  struct ScaledClock final : platform::Clock {
    std::tm LocalNow() override { return fixed.LocalNow(); }
    void SleepFor(std::chrono::milliseconds duration) override {
      slept += duration;
      std::this_thread::sleep_for(duration / 100);
    }
    testing::FakeClock fixed;
    std::chrono::milliseconds slept{0};
  } clock;
  const writer_ops::FirmwareUpdate update{rig.writer(), rig.progress, clock, rig.firmware, kProgramDir, "VXHERON",
                                          0x5A};
  ASSERT_TRUE(rig.Connect());
  EXPECT_TRUE(writer_ops::UpdateDriver(update)) << rig.view.status;
  EXPECT_TRUE(rig.firmware.updatePerformed);
  EXPECT_EQ(clock.slept, std::chrono::seconds(30));
}

// --- the shipped settings ---

TEST_F(SimulatedWriterTest, EveryShippedSettingIsDocumentedInTheFileAndTheReadme) {
  const fs::path source = VX3WT_SOURCE_DIR;
  const std::string ini = testing::ReadFileBytes(source / "writer_sim" / "VX3USBOV3Wt.ini");
  const std::string readme = testing::ReadFileBytes(source / "README.md");
  ASSERT_FALSE(ini.empty());
  std::size_t keys = 0;
  std::istringstream lines(ini);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (line.empty() || line[0] == ';' || line[0] == '[' || equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    ++keys;
    EXPECT_NE(ini.find(";   " + key + "="), std::string::npos) << key << " is not explained in the file";
    EXPECT_NE(readme.find("`" + key + "`"), std::string::npos) << key << " is not in the README";
  }
  EXPECT_GT(keys, 0U);
}

TEST_F(SimulatedWriterTest, TheShippedSettingsAreTheDefaultWriter) {
  fs::copy_file(fs::path(VX3WT_SOURCE_DIR) / "writer_sim" / "VX3USBOV3Wt.ini", dir_.path() / "VX3USBOV3Wt.ini");
  ASSERT_EQ(Open(), 1);
  Job job;
  ASSERT_EQ(Download(wire::kProgramEeprom, job), std::vector<int>(6, 1));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(wire::kAutoProgramChip, job).shown, "Auto Program OK\r\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_FALSE(fs::exists(dir_.path() / "VX3USBOV3Wt.trace"));
}

}  // namespace
}  // namespace vx3::sim_test
