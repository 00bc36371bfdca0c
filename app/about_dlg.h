// The About box (template 100): product name, version and a notice line.
#pragma once

#include "windowing/dialog.h"

namespace flashwright {

class CAboutDlg : public ui::Dialog {
 public:
  CAboutDlg();

 protected:
  void OnInitDialog() override;
};

}  // namespace flashwright
