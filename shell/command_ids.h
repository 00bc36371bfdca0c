// Menu and command identifiers of the program's resources.
#pragma once

namespace flashwright {

// Menus.
inline constexpr int kMenuBasic = 128;
inline constexpr int kMenuReaderAdvanced = 129;
inline constexpr int kMenuUsbAdvanced = 130;

// Commands.
inline constexpr int kCmdBasic = 32771;
inline constexpr int kCmdAdvanced = 32772;
inline constexpr int kCmdRecover = 32773;
inline constexpr int kCmdDiagnostics = 32774;
inline constexpr int kCmdCopyFirmware = 32775;
inline constexpr int kCmdRfidReader = 32776;
inline constexpr int kCmdUsbDevice = 32777;
inline constexpr int kCmdAllowNonMatching = 32778;
inline constexpr int kCmdPortalAfi = 32779;
inline constexpr int kCmdSecurityMethod = 32780;
inline constexpr int kCmdTransmitMode = 32781;
inline constexpr int kCmdPowerLevel = 32782;
inline constexpr int kCmdAbout = 57664;
inline constexpr int kCmdExit = 57665;

}  // namespace flashwright
