// The Writer commands of the main window's operation buttons.
#include "app/control_ids.h"
#include "app/load_image_flow.h"
#include "app/main_presenter.h"
#include "app/read_command.h"
#include "app/rolling_dialog_command.h"

namespace vx3::app {

// Until the worker and the connect step are in, a load runs the load flow alone.
void MainPresenter::OnDeviceLoad() {
  RunState& state = context_.state;
  if (!state.directLoad) state.useChooser = true;
  state.loadAttempted = true;
  if (state.workerBusy) return;
  context_.image.loadOk = true;
  LoadImageFlow(context_, view_);
  state.useChooser = false;
}

void MainPresenter::OnOneKeyLoad() {
  context_.state.directLoad = true;
  context_.state.useChooser = false;
  OnDeviceLoad();
  context_.state.directLoad = false;
}

void MainPresenter::OnAutoProgram() {}
void MainPresenter::OnBlankCheck() {}
void MainPresenter::OnProgram() {}
void MainPresenter::OnVerify() {}
void MainPresenter::OnRead() { ReadCommand(context_, view_); }
void MainPresenter::OnRollingCode() { OpenRollingCodeDialog(context_, view_); }
void MainPresenter::OnLoadOtp() {}

}  // namespace vx3::app
