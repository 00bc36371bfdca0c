// The Qt backend's windows behind ui::WindowRef: every reference it hands out is a QWidget.
#pragma once

#include <QWidget>

#include "windowing/window_ref.h"

namespace flashwright::ui {

inline QWidget* ToWidget(WindowRef window) {
  return reinterpret_cast<QWidget*>(window.native());
}

inline WindowRef RefOf(QWidget* widget) {
  return WindowRef(reinterpret_cast<NativeWindow*>(widget));
}

// Line breaks: "\r\n" in the interface's texts, "\n" in the widgets.
QString ToWidgetText(const std::string& text);
std::string FromWidgetText(const QString& text);

}  // namespace flashwright::ui
