// Text between the core (UTF-8, lines ending in "\r\n") and Qt widgets (QString, "\n").
#pragma once

#include <QString>
#include <string>
#include <string_view>

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

}  // namespace vx3::gui
