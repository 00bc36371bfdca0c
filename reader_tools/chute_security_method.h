// Security method: shows the tag security method the reader uses with its value, and sets a
// new method and value (AFI, EAS with 0 or 1, DSFID, or None without a value).
#pragma once

#include "reader_tools/reader_tool_dialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace flashwright {

class CChuteSecurityMethod : public CReaderToolDialog {
  Q_OBJECT

 public:
  explicit CChuteSecurityMethod(QWidget* parent = nullptr);

  void ReadCurrentSetting();
  void SetMethodAndValue();

 protected:
  void OnInitDialog() override;

 private:
  void OnMethodSelected(int position);
  void ShowSetting(std::uint8_t method, std::uint8_t value);

  QLineEdit* current_method_;
  QLineEdit* current_value_;
  QComboBox* methods_;
  QLineEdit* value_;
  QPushButton* set_;
};

}  // namespace flashwright
