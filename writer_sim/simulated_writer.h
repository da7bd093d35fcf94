// The simulated Writer's protocol engine: it takes the host's 64-byte packets and queues the
// 16-byte replies a Writer would send, acting on its firmware, its EEPROM job and the chip in
// its socket. What it expects next is an explicit state set by the command that opened it; a
// packet that does not fit gets the bad-command reply and a line naming what was expected.
// No USB, no files: the bridge entry points feed it, trace it and keep its state on disk.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol.h"
#include "sim_settings.h"
#include "sim_state.h"

namespace vx3::sim {

// The Writer's own texts, sent 15 bytes at a time with status 2, arguments with status 3.
namespace message {
inline constexpr std::string_view kBlankCheckOk = "Blank check OK\r\n";
inline constexpr std::string_view kBlankCheckFail = "Blank check fail at %02X%02X\r\n";
inline constexpr std::string_view kEraseOk = "Erase OK\r\n";
inline constexpr std::string_view kProgramOk = "Program OK\r\n";
inline constexpr std::string_view kProgramFail = "Program fail at %02X%02X\r\n";
inline constexpr std::string_view kVerifyOk = "Verify OK\r\n";
inline constexpr std::string_view kVerifyFail = "Verify fail at %02X%02X\r\n";
inline constexpr std::string_view kAutoProgramOk = "Auto Program OK\r\n";
inline constexpr std::string_view kRollingCode = "Rolling Code : ";
inline constexpr std::string_view kRollingAddressError = "Rolling Code address error !!\r\n";
inline constexpr std::string_view kNoChip = "No IC in socket !!\r\n";
inline constexpr std::string_view kNoJob = "No data in EEPROM, please load again !!\r\n";
inline constexpr std::string_view kJobDiffers = "EEPROM data differ from PC, please load again !!\r\n";
inline constexpr std::string_view kChipTypeError = "IC Error!IC Typis different wih VX3!\r\nPlease check it again";
inline constexpr std::string_view kBusy = "Working ...\r\n";  // one round of an action that never ends
}  // namespace message

// A reply with what the trace says of it, and how long the Writer works before it is ready.
struct QueuedReply {
  protocol::Reply bytes{};
  int delayMs = 0;
  std::string what;
};

// A chip the Writer programmed (or tried to): the command, the rolling value it was given as the
// status box shows it without spaces (empty with the rolling code off), and whether it passed.
struct ProgrammedChip {
  std::uint8_t command = 0;
  std::string rollingValue;
  bool passed = false;
};

// What the Writer made of a packet: the trace's decoding, and when the packet did not fit the
// protocol's state, what was expected instead.
struct TakenPacket {
  std::string what;
  std::string violation;
};

class SimulatedWriter {
 public:
  SimulatedWriter(WriterState& state, const Settings& settings) : state_(state), settings_(settings) {}

  // A packet from the host; the replies it causes are queued (unread earlier ones dropped).
  TakenPacket Receive(const protocol::Packet& packet);
  // The next reply, or nothing: the host's read then times out.
  std::optional<QueuedReply> NextReply();

  // The USB device was opened again: an unfinished job, action or read is abandoned. Gives
  // what was abandoned, or empty.
  std::string Abandon();
  // Takes over what changed in the settings since the last time (all of it when `fresh`):
  // firmware values, and a new chip for changed chip settings.
  void ApplySettings(bool fresh);

  // Waiting for a command: the last one has finished.
  bool Idle() const { return expect_ == Expect::Command; }
  // The chips whose command has been answered (or abandoned) since the last call.
  std::vector<ProgrammedChip> TakeProgrammedChips() { return std::exchange(programmed_, {}); }
  // Programs `count` chips stand-alone, as an operator does with the Writer off-line: each gets
  // the job's rolling value, which advances by the step, and passes. Nothing without a job.
  void RunStandalone(int count);

  // True once after each change of the state, so that it is saved.
  bool TakeChanged() {
    const bool changed = changed_;
    changed_ = false;
    return changed;
  }

 private:
  // What the Writer expects next, set by the command that opened it and by nothing else.
  enum class Expect { Command, Blocks, ReadRequest, ActionRepeat };
  enum class Job { EepromProgram, EepromVerify, IapProgram, IapVerify, DriverProgram, DriverVerify };

  // The rolling record in the job header, as far as the Writer uses it.
  struct Rolling {
    bool on = false;
    bool valid = false;        // the record fits the header and the ROM
    bool bytePerWord = false;  // the chip model whose rolling words carry one byte each
    bool lowWordFirst = false;
    std::uint32_t address = 0;  // word address
    std::uint32_t length = 0;   // words
    std::size_t valueAt = 0;
    std::size_t stepAt = 0;
  };

  std::string ExpectedText() const;
  std::string TakeCommand(const protocol::Packet& packet);
  std::string BadPacket(const protocol::Packet& packet, TakenPacket& taken);
  void Queue(QueuedReply reply);
  void QueueStatus(std::uint8_t status, std::string what);

  std::string StartBlocks(Job job, const protocol::Packet& packet);
  std::string ReceiveBlock(const protocol::Packet& packet);
  void FinishBlocks();

  static bool IsPortBatch(const protocol::Packet& packet);
  std::string RunPortBatch(const protocol::Packet& packet);

  std::string StartRead(const protocol::Packet& packet);
  std::string NextChunk();
  protocol::Reply QueryReply(std::uint8_t code, const protocol::Packet& packet, std::string& what);

  std::string StartChipAction(const protocol::Packet& packet);
  std::string NextActionReply();
  void BuildChipAction(std::uint8_t code, const protocol::Packet& packet);
  void AddMessage(std::string_view text, const std::vector<std::uint8_t>& arguments = {});
  void AddStatus(std::uint8_t status);
  void AddWork(int msPerKb);
  bool BlankCheck();
  bool Erase();
  bool Program();
  bool Verify();

  std::string JobChipType() const;
  std::string EffectiveChipType() const;
  bool ChipTypeMatches() const;
  bool ErasableChip() const;
  Rolling ParseRolling() const;
  std::string RollingValueText(const Rolling& rolling) const;
  void AdvanceRolling(const Rolling& rolling);
  void InsertNewChip();
  void FitChipToJob();

  WriterState& state_;
  const Settings& settings_;
  bool changed_ = false;
  std::deque<QueuedReply> replies_;

  Expect expect_ = Expect::Command;
  protocol::Packet command_{};  // the packet that opened the expectation
  std::uint32_t total_ = 0;     // blocks of the job, requests of the read
  std::uint32_t next_ = 0;      // the next block or request, from 0
  std::uint32_t replyIndex_ = 0;  // replies of the command so far, for the status fault

  Job job_ = Job::EepromProgram;
  std::uint16_t updateChecksum_ = 0;
  std::vector<std::uint8_t> incoming_;

  std::deque<protocol::Reply> script_;  // the rest of a chip action's replies
  std::deque<int> scriptDelays_;
  int pendingWorkMs_ = 0;  // the time of the work whose message is added next
  bool hanging_ = false;   // the action sends text rounds without end

  // After a reset the Writer takes no command until this time.
  std::chrono::steady_clock::time_point restartUntil_{};

  std::string rollingMessage_;  // the value a Program just wrote, told after its result
  std::vector<std::uint8_t> rollingArguments_;

  std::uint8_t portData_ = 0;

  // The chip of the action under way, until its final answer; then those answered.
  std::optional<ProgrammedChip> pendingChip_;
  std::vector<ProgrammedChip> programmed_;
};

}  // namespace vx3::sim
