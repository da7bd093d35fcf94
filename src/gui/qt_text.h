// Text between the core (UTF-8, lines ending in "\r\n") and Qt widgets (QString, "\n").
#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "gui/controls/elided_label.h"

namespace vx3::gui {

inline QString FromStatusText(std::string_view text) {
  QString result = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return result;
}

inline std::string ToStatusText(const QString& text) {
  QString result = text;
  result.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return result.toStdString();
}

// The caption of a group box, line edit, label (an elided label's whole text) or button; false
// for other widgets.
inline bool SetCaption(QWidget* widget, const QString& text) {
  if (auto* elided = qobject_cast<ElidedLabel*>(widget)) {
    elided->setFullText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text);
  } else {
    return false;
  }
  return true;
}

inline std::optional<QString> Caption(const QWidget* widget) {
  // The whole text, not the part an elided label shows.
  if (const auto* elided = qobject_cast<const ElidedLabel*>(widget)) return elided->fullText();
  if (const auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  return std::nullopt;
}

}  // namespace vx3::gui
