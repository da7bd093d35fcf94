// The image load flow behind Device / Load and the one-key load button: which device, which
// image file, the device's parameters and the image itself, and what the window shows of it.
#pragma once

#include "app/app_context.h"
#include "app/main_view.h"

namespace vx3::app {

// Runs the load flow, chooser first when context.state.useChooser is set, file first when
// context.state.directLoad is set. The caller sets image.loadOk before the call; the outcome
// is left in context.image (loadOk, fileMissing, deviceFilesMissing, deviceName, imagePath)
// and context.rolling.
void LoadImageFlow(AppContext& context, MainView& view);

// The checksum line of the loaded image: caption 1009 "VX3 Check Sum : " and, in 1036, the
// checksum with the security note, kept in image.checksumText for Verify to show again.
void ShowImageChecksum(AppContext& context, MainView& view);

}  // namespace vx3::app
