// The Rolling Code dialog in Qt widgets: the controls of the dialog layout by their ids, laid
// out with Qt layouts; what they show and what clicks do is the presenter's (rolling/).
#pragma once

#include <QDialog>
#include <QHash>

#include "rolling/rolling_dialog.h"

namespace vx3::gui {

class RollingCodeDialog final : public QDialog, public rolling::RollingDialogView {
  Q_OBJECT

 public:
  // Builds the controls and lets `presenter` fill them.
  RollingCodeDialog(rolling::RollingDialog& presenter, QWidget* parent);

  // The control with the layout id `id` (null for an unknown id).
  QWidget* Control(int id) const { return controls_.value(id, nullptr); }

  // RollingDialogView
  void SetText(int id, std::string_view text) override;
  std::string Text(int id) const override;
  void Enable(int id, bool enabled) override;
  void SetChecked(int id, bool checked) override;
  bool IsChecked(int id) const override;

 private:
  void CreateControls();
  template <typename Widget>
  Widget* Add(int id, Widget* widget);

  rolling::RollingDialog& presenter_;
  QHash<int, QWidget*> controls_;
};

}  // namespace vx3::gui
