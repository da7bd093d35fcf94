// How the last Writer command or load ended, in the kinds a script or a test tells apart: the
// window shows the same in its status box; the command line turns it into its exit code.
#pragma once

#include <cstdint>

namespace vx3::app {

enum class CommandResult : std::uint8_t {
  Ok,
  ImageError,      // the image or a device file could not be loaded
  NoWriter,        // no Writer answered the connect
  FirmwareFailed,  // the Writer's firmware could not be brought up to date
  JobFailed,       // the EEPROM job (or its rolling record) was not written and verified
  ChipFailed,      // the Writer said the chip action failed
  ChipUnknown,     // the action broke off (a transfer failed): the chip may have been programmed
  NoChip,          // the Writer found no chip in its socket: nothing was programmed
  TimedOut,        // the Writer did not finish the action in time
  SerialRefused,   // the rolling code or the production record refused the command
  NotReady,        // nothing loaded for the command, or a Writer job still runs
};

}  // namespace vx3::app
