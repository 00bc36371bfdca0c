// RF Transmit Mode: shows the reader's RF transmit mode and sets "1 out of 4" or
// "1 out of 256".
#pragma once

#include "reader_tools/reader_tool_dialog.h"

namespace flashwright {

class CRFTransmitMode : public CReaderToolDialog {
 public:
  CRFTransmitMode();

  void ReadCurrentMode();
  void SetMode();

 protected:
  void OnInitDialog() override;
  void OnControl(int control_id, ui::Notification notification) override;
};

}  // namespace flashwright
