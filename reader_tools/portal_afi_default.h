// Portal AFI Value: shows the reader's portal AFI value and stores a new one, both as two
// hexadecimal digits.
#pragma once

#include "reader_tools/reader_tool_dialog.h"

namespace flashwright {

class CPortalAFIDefault : public CReaderToolDialog {
 public:
  CPortalAFIDefault();

  void ReadCurrentValue();
  void SetAfiValue();

 protected:
  void OnInitDialog() override;
  void OnControl(int control_id, ui::Notification notification) override;
};

}  // namespace flashwright
