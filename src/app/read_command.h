// The main window's Read command: the chip in the Writer's socket is read into its read-back
// file, and its checksum, its security and a listing of every word are shown.
#pragma once

#include "app/app_context.h"
#include "app/main_view.h"
#include "writer_ops/chip_actions.h"

#include <optional>

namespace vx3::app {

// Nothing while the worker runs. Otherwise empties the status box and, under the wait cursor,
// connects ("USB not detected !!!" when no Writer answers), checks the chip with 0x85, reads it
// with 0x80 (the progress line "Read : %06X" in control 1010). A whole read replaces the
// read-back file, shows its checksum in 1009/1036 and is listed in the status box; a read that
// breaks off keeps the earlier file, the checksum and the security shown, and says how many
// bytes arrived. Returns how the chip was read (passed: the whole chip), or nullopt when the
// Writer was not reached.
std::optional<writer_ops::ChipActionResult> ReadCommand(AppContext& context, MainView& view);

}  // namespace vx3::app
