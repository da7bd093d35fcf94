// The About box: the program icon, what the program does, its version, and OK; in English or in
// Chinese after the language in force.
#pragma once

#include <QDialog>

namespace vx3::gui {

class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(bool chinese, QWidget* parent);
};

}  // namespace vx3::gui
