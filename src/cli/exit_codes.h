// The exit codes of vx3wt-cli: one code for each way a command can end, so that a script tells a
// failed chip from a missing Writer without reading the output. The README's table is this one.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/command_result.h"

namespace vx3::cli {

enum class ExitCode : int {
  Success = 0,
  Internal = 1,          // an unexpected error in the program itself
  Usage = 2,             // unknown command or option, missing or malformed argument
  ImageError = 3,        // the image or a device file could not be loaded, or changed since the load
  NoWriter = 4,          // no Writer answered, or the bridge library is missing
  FirmwareFailed = 5,    // the Writer's firmware could not be brought up to date
  JobFailed = 6,         // the EEPROM job (or its rolling record) was not written and verified
  BlankCheckFailed = 7,  // the chip is not blank (or the erase failed)
  ProgramFailed = 8,     // Program or Auto Program failed on the chip
  VerifyFailed = 9,      // the chip does not hold the image
  SerialRefused = 10,    // the rolling code or the production record refused the command
  TimedOut = 11,         // the Writer did not finish the action in time
  Interrupted = 12,      // Ctrl-C: the exchange under way was finished and recorded, then the run stopped
  NotLoaded = 13,        // nothing loaded: run "load" first
  ChipUnknown = 14,      // the action broke off: the chip may or may not have been programmed
  ReadFailed = 15,       // the read-back failed or its listing could not be written
  NoRecord = 16,         // this build keeps no production record (ledger commands)
  WriterInUse = 17,      // another VX3WT holds the Writer: nothing was sent to it
  NoChip = 18,           // the Writer found no chip in its socket: nothing was programmed, the serial stays free
};

// The chip command that ran, to tell a failed blank check from a failed verify.
enum class ChipCommand : std::uint8_t { None, AutoProgram, BlankCheck, Program, Verify, Read };

// The exit code of a command that ended with `result`.
constexpr ExitCode ExitCodeOf(app::CommandResult result, ChipCommand command) {
  using app::CommandResult;
  switch (result) {
    case CommandResult::Ok: return ExitCode::Success;
    case CommandResult::ImageError: return ExitCode::ImageError;
    case CommandResult::NoWriter: return ExitCode::NoWriter;
    case CommandResult::FirmwareFailed: return ExitCode::FirmwareFailed;
    case CommandResult::JobFailed: return ExitCode::JobFailed;
    case CommandResult::ChipFailed:
      switch (command) {
        case ChipCommand::BlankCheck: return ExitCode::BlankCheckFailed;
        case ChipCommand::Verify: return ExitCode::VerifyFailed;
        case ChipCommand::Read: return ExitCode::ReadFailed;
        case ChipCommand::AutoProgram:
        case ChipCommand::Program:
        case ChipCommand::None: break;
      }
      return ExitCode::ProgramFailed;
    case CommandResult::ChipUnknown: return ExitCode::ChipUnknown;
    case CommandResult::NoChip: return ExitCode::NoChip;
    case CommandResult::TimedOut: return ExitCode::TimedOut;
    case CommandResult::SerialRefused: return ExitCode::SerialRefused;
    case CommandResult::NotReady: return ExitCode::NotLoaded;
  }
  return ExitCode::Internal;
}

constexpr int ToInt(ExitCode code) { return static_cast<int>(code); }

// The code's name in the JSON summary ("program_failed").
constexpr std::string_view ExitCodeName(ExitCode code) {
  switch (code) {
    case ExitCode::Success: return "success";
    case ExitCode::Internal: return "internal_error";
    case ExitCode::Usage: return "usage";
    case ExitCode::ImageError: return "image_error";
    case ExitCode::NoWriter: return "no_writer";
    case ExitCode::FirmwareFailed: return "firmware_failed";
    case ExitCode::JobFailed: return "job_failed";
    case ExitCode::BlankCheckFailed: return "blank_check_failed";
    case ExitCode::ProgramFailed: return "program_failed";
    case ExitCode::VerifyFailed: return "verify_failed";
    case ExitCode::SerialRefused: return "serial_refused";
    case ExitCode::TimedOut: return "timed_out";
    case ExitCode::Interrupted: return "interrupted";
    case ExitCode::NotLoaded: return "not_loaded";
    case ExitCode::ChipUnknown: return "chip_unknown";
    case ExitCode::ReadFailed: return "read_failed";
    case ExitCode::NoRecord: return "no_record";
    case ExitCode::WriterInUse: return "writer_in_use";
    case ExitCode::NoChip: return "no_chip";
  }
  return "internal_error";
}

}  // namespace vx3::cli
