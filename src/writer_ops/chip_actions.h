// On-line chip actions: the Writer acts on the chip in its socket and tells the operator what
// happens in message texts that the program formats and shows; and the read-back of the
// Writer's EEPROM header.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/command_codes.h"
#include "writer_ops/eeprom_header.h"
#include "writer_ops/writer_services.h"

namespace vx3::writer_ops {

// What a chip action's command packet carries of the loaded image.
struct ChipActionImage {
  std::uint32_t romBytes = 0;  // sent as 16 bits, as the packet's field is
  std::uint16_t checksum = 0;
};

// A message's text arrives 15 bytes per reply, its arguments as the 15 bytes of one reply.
inline constexpr std::size_t kWriterTextChunk = 15;
inline constexpr std::size_t kWriterArgumentCount = 15;
// A message is shown with at most this many characters.
inline constexpr std::size_t kWriterMessageMaxChars = 1000;
// The pending text keeps at most this many bytes: enough for the characters shown.
inline constexpr std::size_t kPendingTextMaxBytes = 4 * kWriterMessageMaxChars;
// A Writer that never ends an action must not hold the bench for ever. The longest real action,
// Auto Program of the family's largest chip (blank check, program and verify of 128 KB), ends
// well within a minute; twice that is long enough for any Writer that still works.
inline constexpr std::chrono::seconds kChipActionTimeLimit{120};
// The header read-back: eight requests of 16 bytes.
inline constexpr std::uint16_t kHeaderReadRequests = kEepromHeaderSize / link::kReplySize;

// The Writer's chip-type complaint, which is shown in the language of the window instead.
inline constexpr std::string_view kIcErrorSentence = "IC Error!IC Typis different wih VX3!\r\nPlease check it again";
inline constexpr std::string_view kOtpActionErrorText = "Error return value in OTP action!!";

// The pending text formatted with the fifteen argument bytes as unsigned numbers. A text that
// does not fit them (any conversion but an integer one, more than fifteen conversions, a width
// or precision over two digits) is used as it stands. Bytes that are not valid text are shown
// as U+FFFD, and the result is cut at kWriterMessageMaxChars characters.
std::string FormatWriterMessage(std::string_view pending,
                                std::span<const std::uint8_t, kWriterArgumentCount> arguments);

// Sends [action, romBytes low, high, checksum low, high, 0...]; on failure reports
// "IDS_MESSAGE_USBWriteDataFail" as an error line and returns false.
bool SendChipCommand(const WriterServices& writer, std::uint8_t action, const ChipActionImage& image);

// How a chip action ended: the Writer said it went well (status 1) or not (status 0), or the
// outcome is unknown (a transfer failed, an unknown status, the time limit): the chip may or may
// not have been programmed. NoChip: the Writer said its socket is empty and ended the action
// (status 0): no chip was touched. NotRun: the first command packet could not be sent, so the
// Writer never heard of the action.
enum class ChipOutcome { Pass, Fail, Unknown, NoChip, NotRun };

// The beginnings of the Writer's messages that say the socket holds no chip (compared without
// regard to case).
inline constexpr std::string_view kNoChipMessages[] = {"No IC in socket"};
// True when a Writer message, as shown, says that the socket holds no chip.
bool SaysNoChip(std::string_view message);

struct ChipActionResult {
  ChipOutcome outcome = ChipOutcome::Unknown;
  bool timedOut = false;
  // The Writer said during the action that its socket holds no chip.
  bool noChipSaid = false;
  bool Passed() const { return outcome == ChipOutcome::Pass; }
  // The action reached a chip: it passed, failed or may have done anything to it.
  bool ReachedChip() const { return outcome != ChipOutcome::NoChip && outcome != ChipOutcome::NotRun; }
};

// A text with each run of identical lines as one line with its count ("Working ... (240 times)",
// in the language in force); lines end as they did.
std::string CollapseRepeatedLines(std::string_view text, const text::Language& language);

// RunChipAction, with the result as the bool its callers test.
// Runs one chip action (0x81 to 0x85, 0xC1) until the Writer ends it: true for status 1,
// false for status 0, a failed transfer or any other status ("Error return value in OTP
// action!!", a new event, logged with kind 1). Status 2 adds text to the pending message,
// status 3 shows it formatted with its arguments; both are answered with the same packet.
// An action still going after kChipActionTimeLimit ends false with what the Writer had said and
// not yet shown (its repeated lines counted), then the error line "The Writer did not finish
// <action> in 120 s", also logged under a new event.
bool ChipAction(const WriterServices& writer, std::uint8_t action, const ChipActionImage& image);
ChipActionResult RunChipAction(const WriterServices& writer, std::uint8_t action, const ChipActionImage& image);

// The action's name as the window's buttons call it, for messages about it.
text::UiText ChipActionName(std::uint8_t action);

// Reads the Writer's copy of the EEPROM header: eight requests [code, 8], 16 data bytes each.
// Only a complete read replaces `header`; a failed one leaves it as it was and returns false.
bool ReadBackHeader(const WriterServices& writer, std::uint8_t code, EepromHeader& header);

}  // namespace vx3::writer_ops
