// Placing the controls of a form view's dialog template: each control at a fixed place, with
// its identifier as its objectName (0 for controls that are never looked up).
#pragma once

#include <QString>
#include <QWidget>

namespace flashwright::ui {

template <typename Control>
Control* PlaceControl(QWidget* form, int id, int x, int y, int width, int height) {
  auto* control = new Control(form);
  if (id != 0) control->setObjectName(QString::number(id));
  control->setGeometry(x, y, width, height);
  return control;
}

}  // namespace flashwright::ui
