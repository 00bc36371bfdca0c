#include "windowing/qt/native_window_qt.h"

namespace flashwright::ui {

QString ToWidgetText(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return out;
}

std::string FromWidgetText(const QString& text) {
  QString out = text;
  out.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return out.toStdString();
}

}  // namespace flashwright::ui
