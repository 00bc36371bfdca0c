// Security method: shows the tag security method the reader uses with its value, and sets a
// new method and value (AFI, EAS with 0 or 1, DSFID, or None without a value).
#pragma once

#include <cstdint>

#include "reader_tools/reader_tool_dialog.h"

namespace flashwright {

class CChuteSecurityMethod : public CReaderToolDialog {
 public:
  CChuteSecurityMethod();

  void ReadCurrentSetting();
  void SetMethodAndValue();

 protected:
  void OnInitDialog() override;
  void OnControl(int control_id, ui::Notification notification) override;

 private:
  void OnMethodSelected(int position);
  void ShowSetting(std::uint8_t method, std::uint8_t value);
};

}  // namespace flashwright
