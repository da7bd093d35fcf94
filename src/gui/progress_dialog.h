// The progress window: caption, a 0-100 bar and one text line; modeless, shown without taking
// the focus, centred on the screen, and kept hidden between jobs for the whole run.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace vx3::gui {

class ProgressDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit ProgressDialog(QWidget* parent);

  void Start(const QString& caption, const QString& label);
  void Step(int percent, const QString& text);

  int percent() const;
  QString text() const;

 private:
  QProgressBar* bar_;
  QLabel* text_;
};

}  // namespace vx3::gui
