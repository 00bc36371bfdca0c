// RF Power Level: shows the reader's RF output power and sets one of 100 mW, 200 mW, 400 mW
// and 1 Watt.
#pragma once

#include "reader_tools/reader_tool_dialog.h"

namespace flashwright {

class CRFPowerLevel : public CReaderToolDialog {
 public:
  CRFPowerLevel();

  void ReadCurrentLevel();
  void SetLevel();

 protected:
  void OnInitDialog() override;
  void OnControl(int control_id, ui::Notification notification) override;
};

}  // namespace flashwright
