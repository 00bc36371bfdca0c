// RF Power Level: shows the reader's RF output power and sets one of 100 mW, 200 mW, 400 mW
// and 1 Watt.
#pragma once

#include "reader_tools/reader_tool_dialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace flashwright {

class CRFPowerLevel : public CReaderToolDialog {
  Q_OBJECT

 public:
  explicit CRFPowerLevel(QWidget* parent = nullptr);

  void ReadCurrentLevel();
  void SetLevel();

 protected:
  void OnInitDialog() override;

 private:
  QLineEdit* current_;
  QComboBox* levels_;
  QPushButton* set_;
};

}  // namespace flashwright
