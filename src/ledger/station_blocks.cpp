#include "ledger/station_blocks.h"

namespace vx3::ledger {

std::string_view BlockStateName(BlockState state) {
  switch (state) {
    case BlockState::Open: return "open";
    case BlockState::Used: return "used";
    case BlockState::Returned: return "returned";
    case BlockState::Beyond: break;
  }
  return "beyond";
}

}  // namespace vx3::ledger
