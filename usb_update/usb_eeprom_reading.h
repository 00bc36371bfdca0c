// Reading a device's EEPROM back: the read-back that verifies a written image and the backup
// of the whole EEPROM to a file. Device knowledge for either front end, which shows the
// progress and the outcome in its own way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "usb_update/usb_device.h"

namespace flashwright {

inline constexpr std::uint32_t kUsbEepromSize = 65536;

// Called after each piece read, with the bytes read so far and the bytes to read.
using UsbReadProgress = std::function<void(std::uint32_t done, std::uint32_t total)>;

// Reads `length` bytes of the EEPROM of the open device from address 0 into `data`, in pieces
// of one vendor request each. 0, or the code of the failing read with `*failed_at` its address.
// A piece whose data begin DE AD (the firmware's fault marker) is read again so that stored
// bytes that happen to begin so are told apart from a device that answers with its marker.
UsbError ReadUsbEeprom(std::uint8_t* data, std::uint32_t length, const UsbReadProgress& progress,
                       std::uint32_t* failed_at);

struct UsbVerifyResult {
  UsbError error = 0;        // of opening the device or reading back; 0 when all was read
  std::uint32_t offset = 0;  // where the read failed, or the first byte that differs
  bool matches = false;
  std::uint8_t expected = 0;  // the image's byte at `offset` when they differ
  std::uint8_t found = 0;     // the device's byte there
  std::uint32_t size = 0;     // the image's length
};

// Opens `device`, reads back as many bytes as the image `image_name` of UsbFirmwareFolder()
// holds, closes the device and compares.
UsbVerifyResult VerifyUsbImage(std::uint16_t device, const std::string& image_name,
                               const UsbReadProgress& progress);

struct UsbBackupResult {
  UsbError error = 0;        // of opening the device or reading; 0 when all was read
  std::uint32_t offset = 0;  // where the read failed
  std::string write_error;   // not empty: the file could not be written, and why
  std::uint32_t size = 0;    // bytes saved
};

// Reads the whole EEPROM of `device` and saves it to `file`. The file is written beside its
// place and renamed over it, so that a failure of either step leaves no file.
UsbBackupResult BackupUsbEeprom(std::uint16_t device, const std::string& file,
                                const UsbReadProgress& progress);

}  // namespace flashwright
