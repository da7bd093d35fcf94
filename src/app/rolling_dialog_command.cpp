#include "app/rolling_dialog_command.h"

namespace vx3::app {

bool OpenRollingCodeDialog(AppContext& /*context*/, MainView& /*view*/) { return false; }

}  // namespace vx3::app
