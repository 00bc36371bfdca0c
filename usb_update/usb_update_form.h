// Dialog template 104, the form of the USB update view: its controls by identifier (each
// control's objectName is its identifier), at fixed places.
#pragma once

class QWidget;

namespace flashwright {

enum UsbFormControl : int {
  kIdcUsbInfoGroup = 1021,
  kIdcUsbProgressBar = 1022,
  kIdcUsbProgressStatus = 1023,
  kIdcUsbDeviceInfo = 1024,
  kIdcUsbBeginUpdate = 1025,
  kIdcUsbMessagePane = 1026,
  kIdcUsbDeviceList = 1027,
  kIdcUsbFirmwareList = 1028,
  // Lists the devices again; shown where the system does not report devices coming and going.
  kIdcUsbRefresh = 1029,
};

// Creates the controls of the form as children of `form` and fixes the form's size.
void BuildUsbUpdateForm(QWidget* form);

}  // namespace flashwright
