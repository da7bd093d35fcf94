// The simulated Writer, loaded from the program folder like any bridge library and driven
// through its four entry points: its EEPROM job, its chip, its firmware, its faults, its
// memory between runs; and the program's own link and chip actions against it.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "link/bridge_library.h"
#include "link/command_codes.h"
#include "link/writer_link.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/temp_dir.h"
#include "writer_ops/chip_actions.h"

namespace vx3::link {
namespace {

namespace fs = std::filesystem;
namespace cmd = command;
using Bytes = std::vector<std::uint8_t>;
using Header = std::array<std::uint8_t, 128>;

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
    if (Send(MakeCommandPacket(code, blocks)) != 64) return {-1};
    for (std::size_t block = 0; block < blocks; ++block) {
      const std::uint8_t* from = block < 2 ? job.header.data() + block * 64 : job.body.data() + (block - 2) * 64;
      statuses.push_back(Exchange(Bytes(from, from + 64)));
      if (statuses.back() != status::kOk) break;  // the program stops at a refused block
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
      if ((*reply)[0] == status::kMessageText) {
        for (std::size_t k = 1; k < 16 && (*reply)[k] != 0; ++k) pending += static_cast<char>((*reply)[k]);
      } else if ((*reply)[0] == status::kMessageArguments) {
        action.shown +=
            writer_ops::FormatWriterMessage(pending, std::span<const std::uint8_t, 15>(reply->data() + 1, 15));
        pending.clear();
      } else {
        action.ok = (*reply)[0] == status::kOk;
        return action;
      }
    }
    return action;
  }

  Bytes Read(std::uint8_t code, std::uint16_t chunks) {
    Bytes data;
    for (std::uint16_t i = 0; i < chunks; ++i) {
      if (Send(MakeCommandPacket(code, chunks)) != 64) return data;
      const auto reply = Receive();
      if (!reply) return data;
      data.insert(data.end(), reply->begin(), reply->end());
    }
    return data;
  }
  Header ReadHeader() {
    const Bytes bytes = Read(cmd::kReadHeader, 8);
    Header header{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), header.size()), header.begin());
    return header;
  }

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
  EXPECT_EQ(Send(MakeCommandPacket(cmd::kIapStatusQuery, 0)), 0);
  Settings("[Writer]\nOpenDeviceResult=2\n");
  EXPECT_EQ(Open(), 2);
}

TEST_F(SimulatedWriterTest, LatencyDelaysEveryTransfer) {
  Settings("[Writer]\nLatencyMs=30\n");
  ASSERT_EQ(Open(), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange({cmd::kIapStatusQuery}), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

// --- the EEPROM job ---

TEST_F(SimulatedWriterTest, KeepsTheJobAndVerifiesItBlockByBlock) {
  ASSERT_EQ(Open(), 1);
  Job job;
  EXPECT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(Download(cmd::kVerifyEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(ReadHeader(), job.header);

  Job other = job;
  other.body[200] ^= 0x01;  // in body block 3, the job's sixth block
  EXPECT_EQ(Download(cmd::kVerifyEeprom, other), (std::vector<int>{1, 1, 1, 1, 1, 0}));
  other = job;
  other.header[70] ^= 0x01;  // in the second header block
  const std::vector<int> statuses = Download(cmd::kVerifyEeprom, other);
  EXPECT_EQ(statuses.at(1), 0);
}

TEST_F(SimulatedWriterTest, TheJobAndTheChipOutliveTheProgramRun) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0x0010}, {0x0001});
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(cmd::kProgramChip, job).ok);

  // Another machine, another folder: the Writer is what its state file says.
  testing::TempDir moved;
  fs::copy_file(dir_.path() / kStateFile, moved.path() / kStateFile);
  testing::SetSimFolder(moved.path());
  ASSERT_EQ(Open(), 1);
  Header advanced = job.header;
  advanced[6] = 0x11;
  EXPECT_EQ(ReadHeader(), advanced);
  EXPECT_EQ(Run(cmd::kVerifyChip, job).shown, "Verify OK\r\n");
}

TEST_F(SimulatedWriterTest, ADamagedStateFileGivesANewWriter) {
  dir_.WriteFile(kStateFile, std::string("VX3WTSIM\x01\0\0\0", 12) + "garbage");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(ReadHeader(), Header{});
  Job job;
  EXPECT_EQ(Run(cmd::kProgramChip, job).shown, "No data in EEPROM, please load again !!\r\n");
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
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  const Action action = Run(GetParam().action, job);
  EXPECT_EQ(action.ok, GetParam().ok);
  EXPECT_EQ(action.shown, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimulatedChipActionTest,
    ::testing::Values(
        MessageCase{"BlankCheckOfABlankChip", "", cmd::kBlankCheckChip, true, "Blank check OK\r\n"},
        MessageCase{"BlankCheckOfAFilledChip", "[Chip]\nContent=00\n", cmd::kBlankCheckChip, false,
                    "Blank check fail at 0000\r\n"},
        MessageCase{"ProgramOfABlankChip", "", cmd::kProgramChip, true, "Program OK\r\n"},
        MessageCase{"ProgramOfAChipThatCannotTakeIt", "[Chip]\nContent=00\n", cmd::kProgramChip, false,
                    "Program fail at 0000\r\n"},
        MessageCase{"VerifyOfABlankChip", "", cmd::kVerifyChip, false, "Verify fail at 0000\r\n"},
        MessageCase{"VerifyOfAProgrammedChip", "[Chip]\nContent=job\n", cmd::kVerifyChip, true, "Verify OK\r\n"},
        MessageCase{"AutoProgram", "", cmd::kAutoProgramChip, true, "Auto Program OK\r\n"},
        MessageCase{"AutoProgramOfAUsedChip", "[Chip]\nContent=job\n", cmd::kAutoProgramChip, false,
                    "Blank check fail at 0000\r\n"},
        MessageCase{"CheckBeforeRead", "", cmd::kCheckBeforeRead, true, ""},
        MessageCase{"SecurityCheckOfAnOpenChip", "", cmd::kSecurityCheck, true, ""},
        MessageCase{"SecurityCheckOfAProtectedChip", "[Chip]\nSecured=1\n", cmd::kSecurityCheck, false, ""},
        MessageCase{"EmptySocket", "[Chip]\nInSocket=0\n", cmd::kProgramChip, false, "No IC in socket !!\r\n"},
        MessageCase{"AnotherChipType", "[Chip]\nType=VX3B5678\n", cmd::kAutoProgramChip, false,
                    "IC Error!IC Typis different wih VX3!\r\nPlease check it again"},
        MessageCase{"TheSameTypeWithAnOtpEnding", "[Chip]\nType=vx3a1234otp\n", cmd::kBlankCheckChip, true,
                    "Blank check OK\r\n"},
        MessageCase{"AGivenMessageFirst", "[Faults]\nMessageText=Socket %d: %02X\\r\\n\nMessageArgs=3 a5\n",
                    cmd::kBlankCheckChip, true, "Socket 3: A5\r\nBlank check OK\r\n"},
        MessageCase{"AGivenMessageThatIsNoFormat", "[Faults]\nMessageText=Name %s\\r\\n\n", cmd::kCheckBeforeRead, true,
                    "Name %s\r\n"},
        MessageCase{"AGivenMessageWithBytesThatAreNoText", "[Faults]\nMessageText=\\xFF!\n", cmd::kCheckBeforeRead,
                    true, "\xEF\xBF\xBD!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedWriterTest, ActionsNeedTheJobThatThePcHasLoaded) {
  ASSERT_EQ(Open(), 1);
  Job job;
  EXPECT_EQ(Run(cmd::kProgramChip, job).shown, "No data in EEPROM, please load again !!\r\n");
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  Job changed = job;
  changed.header[126] ^= 0xFF;  // the PC's checksum is another
  const Action action = Run(cmd::kVerifyChip, changed);
  EXPECT_FALSE(action.ok);
  EXPECT_EQ(action.shown, "EEPROM data differ from PC, please load again !!\r\n");
  // Reading a chip needs no job of the same image.
  EXPECT_TRUE(Run(cmd::kCheckBeforeRead, changed).ok);
}

TEST_F(SimulatedWriterTest, ARunOfChipsGetsARunOfRollingValues) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0xFFFE, 0x0000}, {0x0001, 0x0000});
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));

  const char* const expected[] = {"0000 FFFE", "0000 FFFF", "0001 0000"};
  for (const char* value : expected) {
    const Action action = Run(cmd::kAutoProgramChip, job);
    EXPECT_TRUE(action.ok);
    EXPECT_EQ(action.shown, std::string("Auto Program OK\r\nRolling Code : ") + value + "\r\n");
    // The chip holds the value it was given at words 9 and 10, low word first.
    const Bytes chip = Read(cmd::kReadChip, 16);
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

TEST_F(SimulatedWriterTest, TheRollingValueWrapsAtTheTop) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0xFFFF, 0xFFFF}, {0x0002, 0x0000});
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(cmd::kProgramChip, job).ok);
  const Header header = ReadHeader();
  EXPECT_EQ(Bytes(header.begin() + 6, header.begin() + 10), (Bytes{0x01, 0x00, 0x00, 0x00}));
}

TEST_F(SimulatedWriterTest, OneBytePerWordChipCarriesItsValueInLowBytes) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetChipName("VXTERN");
  // Two entries of one byte each: value 0x00FF, step 1, order byte after them.
  job.header[0] = 1;
  job.header[2] = 9;
  job.header[4] = 2;
  job.header[6] = 0xFF;
  job.header[7] = 0x00;
  job.header[8] = 0x01;
  job.header[9] = 0x00;
  job.header[10] = 1;
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  const Action action = Run(cmd::kProgramChip, job);
  EXPECT_TRUE(action.ok);
  EXPECT_EQ(action.shown, "Program OK\r\nRolling Code : 00 FF\r\n");
  const Bytes chip = Read(cmd::kReadChip, 16);
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
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(cmd::kProgramChip, job).ok);
  EXPECT_EQ(Run(cmd::kVerifyChip, job).shown, "Verify OK\r\n");
  // 0xFE cannot become 0xFF in a one-time programmable cell.
  const Action again = Run(cmd::kProgramChip, job);
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.shown, "Program fail at 0009\r\n");
}

TEST_F(SimulatedWriterTest, VerifyAfterProgramSeesTheProgrammedChip) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0x1234}, {0x0001});
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(cmd::kProgramChip, job).ok);
  EXPECT_EQ(Run(cmd::kVerifyChip, job).shown, "Verify OK\r\n");
  // The next programming action gets a new chip.
  EXPECT_EQ(Run(cmd::kBlankCheckChip, job).shown, "Blank check OK\r\n");
}

TEST_F(SimulatedWriterTest, VerifyWithoutTheRollingCodeSkipsItsWords) {
  Settings("[Chip]\nContent=job\n");
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetRolling(9, {0x1234}, {0x0001});
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  // A chip programmed elsewhere with the job's own words where the rolling code goes.
  EXPECT_EQ(Run(cmd::kVerifyChip, job).shown, "Verify OK\r\n");
  job.header[26] = 1;
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  dir_.WriteFile("chip.bin", std::string(job.body.begin(), job.body.end()).replace(18, 2, "\x01\x02"));
  Settings("[Chip]\nContent=file:chip.bin\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Run(cmd::kVerifyChip, job).shown, "Verify OK\r\n");
  job.header[26] = 0;
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(Run(cmd::kVerifyChip, job).shown, "Verify fail at 0009\r\n");
}

TEST_F(SimulatedWriterTest, ProgrammingTheSecurityOptionProtectsTheChip) {
  ASSERT_EQ(Open(), 1);
  Job job;
  job.body[255] = 0xF7;  // bit 11 of the last word clear
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_TRUE(Run(cmd::kSecurityCheck, job).ok);
  ASSERT_TRUE(Run(cmd::kProgramChip, job).ok);
  EXPECT_FALSE(Run(cmd::kSecurityCheck, job).ok);
  // Program type 3 looks at bit 1 instead.
  job.header[123] = 3;
  job.body[254] = 0xFF;
  job.body[255] = 0xFF;
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  ASSERT_TRUE(Run(cmd::kAutoProgramChip, job).ok);  // a new chip
  EXPECT_TRUE(Run(cmd::kSecurityCheck, job).ok);
}

TEST_F(SimulatedWriterTest, FlashChipsAreErasedByTheBlankCheckButton) {
  Settings("[Chip]\nContent=job\n");
  ASSERT_EQ(Open(), 1);
  Job job;
  job.SetChipName("VX3F0100");
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(Run(cmd::kBlankCheckChip, job).shown, "Erase OK\r\n");
  EXPECT_EQ(Read(cmd::kReadChip, 16), Bytes(256, 0xFF));
}

TEST_F(SimulatedWriterTest, ReadsGiveTheChipSixteenBytesAtATime) {
  std::string content;
  for (int i = 0; i < 40; ++i) content += static_cast<char>(0xA0 + i);
  dir_.WriteFile("chip.bin", content);
  Settings("[Chip]\nContent=file:chip.bin\n");
  ASSERT_EQ(Open(), 1);
  Bytes expected(content.begin(), content.end());
  expected.resize(64, 0xFF);  // past the chip's end
  EXPECT_EQ(Read(cmd::kReadChip, 4), expected);
  EXPECT_EQ(Read(cmd::kReadChipForLoadOtp, 4), expected);
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
      if (statuses.back() != status::kOk) break;
    }
    return statuses;
  };
  std::vector<int> lastFails(56, 1);
  lastFails.back() = 0;
  EXPECT_EQ(send(cmd::kProgramIap, static_cast<std::uint16_t>(checksum + 1), file), lastFails);
  EXPECT_EQ(Query({0x09}), (Reply{0x00}));  // the IAP is broken now

  EXPECT_EQ(send(cmd::kProgramIap, checksum, file), std::vector<int>(56, 1));
  EXPECT_EQ(Query({0x04}), (Reply{0x03, 0x05, 0x00, 0x00, 0xA1, 0x45}));
  EXPECT_EQ(Query({0x09}), (Reply{0x01}));
  EXPECT_EQ(send(cmd::kVerifyIap, checksum, file), std::vector<int>(56, 1));
  Bytes changed = file;
  changed[64 * 10 + 3] ^= 0x10;
  std::vector<int> failsAtTen(10, 1);
  failsAtTen.push_back(0);
  EXPECT_EQ(send(cmd::kVerifyIap, checksum, changed), failsAtTen);
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
  EXPECT_EQ(send(cmd::kProgramDriver), std::vector<int>(65, 1));
  EXPECT_EQ(Query({0x06, 0x5A}), (Reply{0x02, 0x07, 0x24, 0x12, 0xA1, 0x45}));
  EXPECT_EQ(send(cmd::kVerifyDriver), std::vector<int>(65, 1));
  EXPECT_EQ(Send(MakeCommandPacket(cmd::kResetWriter, 0)), 64);
  EXPECT_FALSE(Receive().has_value());  // a reset has no reply
  EXPECT_EQ(Exchange({cmd::kCheckDriver}), 1);

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
    EXPECT_EQ(Exchange({cmd::kIapStatusQuery}), 1);                  // write 1, read 1
    EXPECT_EQ(Send(MakeCommandPacket(cmd::kIapStatusQuery, 0)), 0);  // write 2 fails
    EXPECT_EQ(Exchange({cmd::kIapStatusQuery}), 1);                  // write 3, read 2
    EXPECT_EQ(Exchange({cmd::kIapStatusQuery}), -1);                 // write 4, read 3 fails
    EXPECT_EQ(Exchange({cmd::kIapStatusQuery}), 1);
  }
}

TEST_F(SimulatedWriterTest, AGivenStatusAtAGivenReply) {
  Settings("[Faults]\nStatusCommand=0x01\nStatusReply=3\nStatus=0\n");
  ASSERT_EQ(Open(), 1);
  Job job;
  EXPECT_EQ(Download(cmd::kProgramEeprom, job), (std::vector<int>{1, 1, 1, 0}));
  // The refused block ended the job: there is none.
  EXPECT_EQ(Run(cmd::kBlankCheckChip, job).shown, "No data in EEPROM, please load again !!\r\n");

  Settings("[Faults]\nStatusCommand=0x84\nStatusReply=0\nStatus=7\n");
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(Download(cmd::kProgramEeprom, job), std::vector<int>(6, 1));
  EXPECT_EQ(Run(cmd::kAutoProgramChip, job).status, 7);
  EXPECT_EQ(Run(cmd::kBlankCheckChip, job).shown, "Blank check OK\r\n");
}

// --- port-access batches ---

TEST_F(SimulatedWriterTest, PortBatchesLoopTheDataNibbleBackOnTheStatusPort) {
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Send(Bytes{0x05, 0x00, 0x09, 0x02, 0x55, 0x0A}), 64);
  EXPECT_FALSE(Receive().has_value());  // writes only: no reply
  EXPECT_EQ(Exchange({0x02, 0x00, 0x02}), 0x80 | (0x0A << 3));
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
  WriterLink link(std::make_unique<DynamicBridgeLibrary>(), reporter, language);
  const writer_ops::WriterServices writer{link, reporter, language};

  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  // The job, as the EEPROM download sends it.
  Job job;
  job.SetRolling(9, {0x0041, 0x0000}, {0x0001, 0x0000});
  ASSERT_TRUE(link.SendWriterCommand(cmd::kProgramEeprom, 6));
  for (std::size_t block = 0; block < 6; ++block) {
    const std::uint8_t* from = block < 2 ? job.header.data() + block * 64 : job.body.data() + (block - 2) * 64;
    ASSERT_NE(link.UsbWrite(std::span<const std::uint8_t>(from, 64)), 0);
    Reply reply{};
    ASSERT_NE(link.UsbRead(reply), 0);
    ASSERT_EQ(reply[0], 1);
  }

  const writer_ops::ChipActionImage image{256, 0x1234};
  EXPECT_TRUE(writer_ops::ChipAction(writer, cmd::kBlankCheckChip, image));
  EXPECT_TRUE(writer_ops::ChipAction(writer, cmd::kAutoProgramChip, image));
  EXPECT_EQ(view.status, "Blank check OK\r\nAuto Program OK\r\nRolling Code : 0000 0041\r\n");

  writer_ops::EepromHeader header;
  EXPECT_TRUE(writer_ops::ReadBackHeader(writer, cmd::kReadHeader, header));
  EXPECT_EQ(header.bytes[6], 0x42);

  // A chip of another type: the Writer's sentence in the language of the window.
  link.ClearConnected();
  std::ofstream(simFolder.path() / "VX3USBOV3Wt.ini") << "[Chip]\nType=VX3C0001\n";
  ASSERT_TRUE(link.UsbConnect(kProgramDir));
  view.status.clear();
  EXPECT_FALSE(writer_ops::ChipAction(writer, cmd::kProgramChip, image));
  EXPECT_EQ(view.status, "IC Error!IC Typis different wih VX3!\r\nPlease check it again\r\n");

  // The port table drives the same Writer once connected.
  link.portAccess().writeByte(kDataPort, 0x06);
  EXPECT_EQ(link.portAccess().readByte(kStatusPort), 0x80 | (0x06 << 3));
  testing::SetSimFolder("");
}

}  // namespace
}  // namespace vx3::link
