// Choose Device in Qt widgets: the chip series list (1054) and chip type list (1057) with their
// captions (1055, 1056), OK and Cancel, showing and driving a DeviceChooser.
#pragma once

#include <QDialog>

class QListWidget;

namespace vx3::device_select {
class DeviceChooser;
}

namespace vx3::gui {

class ChooseDeviceDialog final : public QDialog {
  Q_OBJECT

 public:
  // `chooser` has been opened; it receives the selections and, on OK, the choice.
  ChooseDeviceDialog(device_select::DeviceChooser& chooser, QWidget* parent);

  // The control with the layout id `id` (null for an unknown id).
  QWidget* Control(int id) const;

 private:
  void ShowTypes();
  void Confirm();

  device_select::DeviceChooser& chooser_;
  QListWidget* series_ = nullptr;
  QListWidget* types_ = nullptr;
};

}  // namespace vx3::gui
