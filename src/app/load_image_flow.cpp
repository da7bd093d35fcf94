#include "app/load_image_flow.h"

namespace vx3::app {

void LoadImageFlow(AppContext& /*context*/, MainView& /*view*/) {}

}  // namespace vx3::app
