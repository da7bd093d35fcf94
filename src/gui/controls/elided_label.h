// ElidedLabel: a one-line label for a path whose end is what matters. A text too long for the
// label is cut at its left ("...\dir\IMAGE.VX3"), so the file name stays in view; the whole text
// is the tool tip.
#pragma once

#include <QLabel>
#include <QString>

namespace vx3::gui {

class ElidedLabel final : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(const QString& text, QWidget* parent = nullptr);

  // The whole text: shown cut at the left when it does not fit, and always the tool tip.
  void setFullText(const QString& text);
  const QString& fullText() const { return fullText_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Shows as much of the end of the whole text as the label's width holds.
  void Elide();

  QString fullText_;
};

}  // namespace vx3::gui
