#include "gui/controls/elided_label.h"

#include <QEvent>
#include <QFontMetrics>
#include <QResizeEvent>

namespace vx3::gui {

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QLabel(parent) {
  // The label keeps its own width: a long text must not ask for more room.
  setMinimumWidth(0);
  setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
  // A path is never markup, whatever characters its names hold.
  setTextFormat(Qt::PlainText);
  setFullText(text);
}

void ElidedLabel::setFullText(const QString& text) {
  fullText_ = text;
  setToolTip(text);
  Elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  // Another font gives the same text another width.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) Elide();
}

void ElidedLabel::Elide() {
  const QString shown = QFontMetrics(font()).elidedText(fullText_, Qt::ElideLeft, contentsRect().width());
  if (shown != text()) setText(shown);
}

}  // namespace vx3::gui
