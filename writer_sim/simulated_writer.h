// The simulated Writer's protocol engine: it takes the program's 64-byte packets and queues the
// 16-byte replies a Writer would send, acting on its firmware, its EEPROM job and the chip in
// its socket. No USB, no files: the bridge entry points feed it and keep its state on disk.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/command_codes.h"
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
}  // namespace message

class SimulatedWriter {
 public:
  SimulatedWriter(WriterState& state, const Settings& settings) : state_(state), settings_(settings) {}

  // A packet from the program; the replies it causes are queued (unread earlier ones dropped).
  void Receive(const link::Packet& packet);
  // The next reply, or nothing: the program's read then times out.
  std::optional<link::Reply> NextReply();

  // The USB device was opened again: an unfinished job, action or read is abandoned.
  void Abandon();
  // Takes over what changed in the settings since the last time (all of it when `fresh`):
  // firmware values, and a new chip for changed chip settings.
  void ApplySettings(bool fresh);

  // True once after each change of the state, so that it is saved.
  bool TakeChanged() {
    const bool changed = changed_;
    changed_ = false;
    return changed;
  }

 private:
  enum class Mode { Idle, EepromProgram, EepromVerify, IapProgram, IapVerify, DriverProgram, DriverVerify };

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

  void BeginCommand(std::uint8_t code);
  std::uint8_t Queue(link::Reply reply);
  std::uint8_t QueueStatus(std::uint8_t status);

  void StartBlocks(Mode mode, std::uint32_t blocks, std::uint16_t checksum);
  void ReceiveBlock(const link::Packet& packet);

  static bool IsPortBatch(const link::Packet& packet);
  void RunPortBatch(const link::Packet& packet);

  link::Reply ReadChunk(std::uint8_t code, std::uint32_t index) const;
  link::Reply QueryReply(std::uint8_t code, const link::Packet& packet);

  void BuildChipAction(std::uint8_t code, const link::Packet& packet);
  void AddMessage(std::string_view text, const std::vector<std::uint8_t>& arguments = {});
  void AddStatus(std::uint8_t status);
  bool BlankCheck();
  bool Erase();
  bool Program();
  bool Verify();

  std::string JobChipType() const;
  std::string EffectiveChipType() const;
  bool ChipTypeMatches() const;
  bool ErasableChip() const;
  Rolling ParseRolling() const;
  void InsertNewChip();
  void FitChipToJob();

  WriterState& state_;
  const Settings& settings_;
  bool changed_ = false;
  std::deque<link::Reply> replies_;

  int command_ = -1;  // the command whose replies are being counted
  std::uint32_t replyIndex_ = 0;

  Mode mode_ = Mode::Idle;
  std::uint32_t blocksExpected_ = 0;
  std::uint32_t blockIndex_ = 0;
  std::uint16_t updateChecksum_ = 0;
  std::vector<std::uint8_t> incoming_;

  std::deque<link::Reply> script_;  // the rest of a chip action's replies
  std::uint32_t readTotal_ = 0;
  std::uint32_t readCursor_ = 0;

  std::string rollingMessage_;  // the value a Program just wrote, told after its result
  std::vector<std::uint8_t> rollingArguments_;

  std::uint8_t portData_ = 0;
};

}  // namespace vx3::sim
