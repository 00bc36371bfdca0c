// The About box (template 100): product name, version and a notice line.
#pragma once

#include <QDialog>

namespace flashwright {

class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  bool OnInitDialog();
};

}  // namespace flashwright
