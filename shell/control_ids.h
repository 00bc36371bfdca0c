// Identifiers of the program's dialog templates and of their controls, shared by the templates
// (shell/view_templates.cpp, shell/tool_dialog_templates.cpp) and the classes that drive them.
// Controls that are never addressed (labels, frames) have no identifier.
#pragma once

namespace flashwright {

// Dialog templates.
inline constexpr int kIddAbout = 100;
inline constexpr int kIddReaderUpdateForm = 101;
inline constexpr int kIddDiagnostics = 103;
inline constexpr int kIddUsbUpdateForm = 104;
inline constexpr int kIddPortalAfi = 129;
inline constexpr int kIddSecurityMethod = 130;
inline constexpr int kIddTransmitMode = 131;
inline constexpr int kIddPowerLevel = 132;

// Template 100, the About box ("OK" is control 1).
enum AboutControl : int {
  kIdcAboutProduct = 1011,
  kIdcAboutVersion = 1012,
  kIdcAboutNotice = 1013,
};

// Template 101, the reader update view's form.
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

// Template 104, the USB update view's form.
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

// Templates 103 and 129 to 132, the reader tool dialogs. Every one of them has "Done"
// (control 1), the port 1019, the version 1020 and the status line 1018.
enum ToolDialogControl : int {
  kIdcReadOnce = 1014,
  kIdcTagList = 1016,
  kIdcReadContinuously = 1017,
  kIdcToolStatus = 1018,
  kIdcToolPort = 1019,
  kIdcToolVersion = 1020,
  // Template 129.
  kIdcSetAfi = 1030,
  kIdcCurrentAfi = 1031,
  kIdcAfiEntry = 1032,
  // Templates 130 to 132: the current setting's name, the list of choices and the button that
  // stores the chosen one.
  kIdcCurrentSetting = 1033,
  kIdcSettingList = 1034,
  kIdcSetSetting = 1035,
  // Template 130 only.
  kIdcSecurityValueEntry = 1036,
  kIdcCurrentSecurityValue = 1037,
};

}  // namespace flashwright
