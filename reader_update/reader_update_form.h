// Dialog template 101, the form of the reader update view: its controls by identifier (each
// control's objectName is its identifier), at fixed places, so that hiding the advanced
// controls leaves the rest where it is.
#pragma once

class QWidget;

namespace flashwright {

enum ReaderFormControl : int {
  kIdcMessagePane = 1000,
  kIdcBeginUpdate = 1001,
  kIdcReaderInfoGroup = 1002,
  kIdcProgressBar = 1003,
  kIdcProgressStatus = 1004,
  kIdcResetConfiguration = 1005,
  kIdcVersionLabel = 1006,
  kIdcVersionText = 1007,
  kIdcPowerLabel = 1008,
  kIdcPowerText = 1009,
  kIdcPortSelector = 1010,
  kIdcFirmwareSelector = 1012,
  kIdcTagIt = 1038,
  kIdcIso = 1039,
};

// Creates the controls of the form as children of `form` and fixes the form's size.
void BuildReaderUpdateForm(QWidget* form);

}  // namespace flashwright
