// RF Transmit Mode: shows the reader's RF transmit mode and sets "1 out of 4" or
// "1 out of 256".
#pragma once

#include "reader_tools/reader_tool_dialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace flashwright {

class CRFTransmitMode : public CReaderToolDialog {
  Q_OBJECT

 public:
  explicit CRFTransmitMode(QWidget* parent = nullptr);

  void ReadCurrentMode();
  void SetMode();

 protected:
  void OnInitDialog() override;

 private:
  QLineEdit* current_;
  QComboBox* modes_;
  QPushButton* set_;
};

}  // namespace flashwright
