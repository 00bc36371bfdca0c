// Portal AFI Value: shows the reader's portal AFI value and stores a new one, both as two
// hexadecimal digits.
#pragma once

#include "reader_tools/reader_tool_dialog.h"

class QLineEdit;
class QPushButton;

namespace flashwright {

class CPortalAFIDefault : public CReaderToolDialog {
  Q_OBJECT

 public:
  explicit CPortalAFIDefault(QWidget* parent = nullptr);

  void ReadCurrentValue();
  void SetAfiValue();

 protected:
  void OnInitDialog() override;

 private:
  QLineEdit* current_;
  QLineEdit* entry_;
  QPushButton* set_;
};

}  // namespace flashwright
