// Texts that flashwright-cli shows besides the string table: those of the reader update view,
// the sentences of the reader tool dialogs, and the program's own lines.
#pragma once

#include "reader_tools/tool_texts.h"
#include "reader_update/view_texts.h"

namespace flashwright::cli::texts {

// The reader update view's texts (kVerifyLine, kFoundVersion, ...).
using namespace ::flashwright::texts;

// The reader tool dialogs' sentences (kAfiSetTo, kReaderError, ...) and their field labels.
using namespace ::flashwright::tool_texts;
inline constexpr char kPortLine[] = "Port: %d";
inline constexpr char kVersionLine[] = "Version: %s";
inline constexpr char kCurrentAfi[] = "Current AFI Value : ";
inline constexpr char kCurrentSecurityMethod[] = "Current Security Method : ";
inline constexpr char kCurrentSecurityValue[] = "Current Value : ";
inline constexpr char kCurrentMode[] = "Current Mode : ";
inline constexpr char kCurrentLevel[] = "Current Level : ";

// flashwright-cli's own.
inline constexpr char kReaderLine[] = "Reader on COM %d: %s";
inline constexpr char kFoundUsing[] = " (found using %s)";
inline constexpr char kPowerLine[] = "Power Level: %s";
inline constexpr char kCheckPassed[] =
    "Firmware file %s passed the check for the reader on COM %d. Nothing was sent.";
inline constexpr char kCheckPassedRecover[] =
    "Firmware file %s passed the check for recover mode. Nothing was sent.";
inline constexpr char kResetNeedsNewerReader[] =
    "Reset configuration (%s) not sent: the reader on COM %d has version %s.";
inline constexpr char kHoldOn[] =
    "The update cannot be interrupted. Wait for it to end; the reader must not lose power.";
inline constexpr char kRetryAnswer[] = " [y/N] ";
inline constexpr char kRecoverHint[] =
    "To try again in recover mode: flashwright-cli update --recover --port %d --firmware %s";
inline constexpr char kNoPorts[] = "No COM ports.";
inline constexpr char kAutoDetectLabel[] = "auto-detect: ";
inline constexpr char kUsageHint[] = "Run with --help for more information.";
inline constexpr char kVersionText[] = "%s %s";

// Waiting for a device (--wait).
inline constexpr char kWaitingFor[] = "Waiting up to %d seconds for %s to appear...";
inline constexpr char kWaitTimedOut[] =
    "%s did not appear within %d seconds. Nothing was sent.";
inline constexpr char kWaitingForAnswer[] =
    "Waiting up to %d seconds for the reader on COM %d to answer again...";
inline constexpr char kNoAnswerAfter[] =
    "The reader on COM %d did not answer within %d seconds after the update.";
inline constexpr char kVersionAfter[] = "Reader version after the update: %s";
inline constexpr char kAnyPort[] = "a COM port";
inline constexpr char kComPort[] = "COM %d";
inline constexpr char kNoComNumber[] =
    "%s is no COM port: it leads to no device that the port map names.";

// The cause of a port that cannot be opened, and its remedy (%s the device, then the system's
// error name and code).
inline constexpr char kCausePermission[] =
    "Cause: permission denied on %s (%s %d). Remedy: join the group dialout with "
    "'sudo usermod -aG dialout $USER', then log out and in again: a new group counts from the "
    "next login.";
inline constexpr char kCauseInUse[] =
    "Cause: %s is in use by another program (%s %d). Remedy: close that program and try again.";
inline constexpr char kCauseNoDevice[] =
    "Cause: no such device %s (%s %d). Remedy: check the cable and the adapter; "
    "flashwright-cli ports lists the ports there are.";
inline constexpr char kCauseOther[] = "Cause: %s cannot be opened: %s (%s %d).";
// A USB device that the user may not open (%s the device, the error name and code, the rule).
inline constexpr char kCauseUsbPermission[] =
    "Cause: permission denied on %s (%s %d). Remedy: the udev rule %s grants access to the user "
    "logged in at the machine and to the group plugdev; install it (the flashwright package "
    "does), run 'sudo udevadm control --reload', then unplug the device and plug it in again.";
inline constexpr char kUsbDeviceNamed[] = "USB device %s";

// flashwright-cli usb.
inline constexpr char kUsbDeviceLine[] = "%s  %04X:%04X  first byte %02X  %s";
inline constexpr char kUsbNoSuchDevice[] = "No USB device %d. Run flashwright-cli usb list.";
inline constexpr char kUsbBadIndex[] = "--device must be 0 to 255, not %d.";
inline constexpr char kUsbNoDeviceAt[] = "No USB device at %s. Run flashwright-cli usb list.";
inline constexpr char kUsbNoBusPaths[] =
    "This build cannot tell where USB devices are plugged in: give --device the index that "
    "flashwright-cli usb list shows.";
inline constexpr char kUsbDeviceMoved[] =
    "The USB device at %s is no longer device %d: devices came or went. Nothing was written.";
inline constexpr char kUsbNameAt[] = "%s at %s";
inline constexpr char kUsbDeviceNumber[] = "USB device %d";
inline constexpr char kUsbWaitTimedOut[] =
    "%s did not appear within %d seconds. Nothing was written.";
inline constexpr char kUsbWaitingForReattach[] =
    "The firmware is written. Detach the USB cable of %s, reset power on the device and "
    "re-attach the cable: waiting up to %d seconds for it...";
inline constexpr char kUsbNotBackAfter[] =
    "%s was not attached again within %d seconds after the update.";
inline constexpr char kUsbProductAfter[] = "Product string after the update: %s";
inline constexpr char kUsbInfoBusPath[] = "Bus path: %s";
inline constexpr char kUsbInfoDevice[] = "Device: %s";
inline constexpr char kUsbInfoProduct[] = "Product: %s";
inline constexpr char kUsbInfoIds[] = "Vendor ID: %04X\nProduct ID: %04X\nFirst byte: %02X";
inline constexpr char kUsbInfoDriver[] = "Driver: %hu.%hu.%hu";
inline constexpr char kUsbInfoRevision[] = ".%hu";
inline constexpr char kUsbHoldOn[] =
    "The update cannot be interrupted. Wait for it to end; the device must not lose power.";
inline constexpr char kUsbCheckPassed[] =
    "Firmware file %s passed the check for %s. Nothing was written.";
inline constexpr char kUsbQuestionRefused[] =
    "The check needs an answer to go on (--json without --yes):\n%s";
inline constexpr char kUsbAnsweredYes[] = "%s yes (--yes)";
inline constexpr char kUsbVerifyStatus[] = "Read back (%lu of %lu)";
inline constexpr char kUsbVerified[] = "Read back: the %lu bytes on %s equal firmware file %s.";
inline constexpr char kUsbVerifyMismatch[] =
    "Verify error. EEPROM byte %lu (0x%04lX) is 0x%02X, firmware file %s has 0x%02X.";
inline constexpr char kUsbVerifyReadError[] =
    "Verify error. Reading the EEPROM back at byte %lu failed. (Err:%ld)";
inline constexpr char kUsbBackupExists[] =
    "%s exists. Give --force to replace it, or another --output.";
inline constexpr char kUsbBackupDone[] = "Saved the %lu bytes of the EEPROM of %s to %s.";
inline constexpr char kUsbBackupReadError[] =
    "Backup error. Reading the EEPROM of %s at byte %lu failed. Nothing was saved. (Err:%ld)";
inline constexpr char kUsbBackupWriteError[] = "Backup error. Cannot write %s: %s. Nothing was saved.";
inline constexpr char kUsbBackupStatus[] = "Backup (%lu of %lu)";

}  // namespace flashwright::cli::texts
