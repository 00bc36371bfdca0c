// Texts of the application shell's resources: menus, About box, title formats, start failure.
#pragma once

namespace flashwright::texts {

inline constexpr const char kFileMenu[] = "&File";
inline constexpr const char kViewMenu[] = "&View";
inline constexpr const char kToolsMenu[] = "&Tools";
inline constexpr const char kDeviceMenu[] = "&Device";
inline constexpr const char kHelpMenu[] = "&Help";

inline constexpr const char kExit[] = "E&xit";
inline constexpr const char kBasic[] = "&Basic";
inline constexpr const char kAdvanced[] = "&Advanced";
inline constexpr const char kRecover[] = "Recover from Download Error";
inline constexpr const char kDiagnostics[] = "&Diagnostics...";
inline constexpr const char kCopyFirmware[] = "&Copy Firmware To Memory Card...";
inline constexpr const char kPortalAfi[] = "&Portal AFI Value...";
inline constexpr const char kSecurityMethod[] = "Q-Series Security Method...";
inline constexpr const char kTransmitMode[] = "RF Transmit Mode...";
inline constexpr const char kPowerLevel[] = "Power Level...";
inline constexpr const char kAllowNonMatching[] = "Allow Update On Non-Matching Devices";
inline constexpr const char kUsbDevice[] = "&USB Device";
inline constexpr const char kRfidReader[] = "&RFID Reader";
inline constexpr const char kAboutPlaceholder[] = "about";
inline constexpr const char kAboutItemFormat[] = "&About %s...";

inline constexpr const char kTitleFormat[] = "%s";
inline constexpr const char kTitleDeviceFormat[] = "%s [%s]";
inline constexpr const char kTitleProgressFormat[] = "%s %d%%";

inline constexpr const char kAboutTitleFormat[] = "About %s";
inline constexpr const char kAboutVersionFormat[] = "Version %s";
inline constexpr const char kProductVersion[] = "1.50.001.0";
inline constexpr const char kAboutNotice[] = "Copyright (C) Orvane Folio Systems. All rights reserved.";
inline constexpr const char kOk[] = "OK";

// The framework's message when the shell command cannot create the document, the frame or
// the first view; the program ends after it.
inline constexpr const char kCreateDocumentFailed[] = "Failed to create empty document.";

}  // namespace flashwright::texts
