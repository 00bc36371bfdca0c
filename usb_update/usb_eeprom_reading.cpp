#include "usb_update/usb_eeprom_reading.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "usb_update/usb_image.h"

namespace flashwright {
namespace {

// One vendor request each, well inside the 16-bit length of a control transfer.
constexpr std::uint32_t kReadPiece = 2048;

// Stored data may begin DE AD like any other bytes, but a vendor request whose data begin
// DE AD counts as the firmware's fault marker. Such a piece is read again from one byte
// earlier (or, at address 0, its first byte alone): those data cannot begin DE AD when the
// piece's own first bytes are DE AD, so only a device that really answers with its fault
// marker fails again.
UsbError ReadPiece(std::uint32_t address, std::uint8_t* data, std::uint32_t length) {
  const UsbError read = UsbEepromRead(static_cast<std::uint16_t>(address), data, length);
  if (read != kUsbDeviceFault) return read;
  if (address == 0) {
    if (const UsbError first = UsbEepromRead(0, data, 1); first != 0) return first;
    return length > 1 ? UsbEepromRead(1, data + 1, length - 1) : 0;
  }
  std::vector<std::uint8_t> shifted(length + 1);
  const UsbError again =
      UsbEepromRead(static_cast<std::uint16_t>(address - 1), shifted.data(), length + 1);
  if (again == 0) std::copy(shifted.begin() + 1, shifted.end(), data);
  return again;
}

// Opens `device`, reads `length` bytes into `data` and closes it again.
UsbError ReadFromDevice(std::uint16_t device, std::uint8_t* data, std::uint32_t length,
                        const UsbReadProgress& progress, std::uint32_t* failed_at) {
  *failed_at = 0;
  UsbError read = UsbOpenDevice(device);
  if (read == 0) {
    read = ReadUsbEeprom(data, length, progress, failed_at);
    UsbCloseDevice();
  }
  return read;
}

}  // namespace

UsbError ReadUsbEeprom(std::uint8_t* data, std::uint32_t length, const UsbReadProgress& progress,
                       std::uint32_t* failed_at) {
  for (std::uint32_t offset = 0; offset < length;) {
    const std::uint32_t n = std::min(kReadPiece, length - offset);
    const UsbError read = ReadPiece(offset, data + offset, n);
    if (read != 0) {
      *failed_at = offset;
      return read;
    }
    offset += n;
    if (progress) progress(offset, length);
  }
  return 0;
}

UsbVerifyResult VerifyUsbImage(std::uint16_t device, const std::string& image_name,
                               const UsbReadProgress& progress) {
  UsbVerifyResult result;
  std::string path;
  std::vector<std::uint8_t> image;
  if (BuildUsbImagePath(UsbFirmwareFolder(), image_name, &path)) {
    std::ifstream file(path, std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  result.size = static_cast<std::uint32_t>(std::min<std::size_t>(image.size(), kUsbEepromSize));
  std::vector<std::uint8_t> back(result.size);
  result.error = ReadFromDevice(device, back.data(), result.size, progress, &result.offset);
  if (result.error != 0) return result;
  const auto differ = std::mismatch(back.begin(), back.end(), image.begin());
  if (differ.first != back.end()) {
    result.offset = static_cast<std::uint32_t>(differ.first - back.begin());
    result.expected = *differ.second;
    result.found = *differ.first;
    return result;
  }
  result.matches = true;
  return result;
}

UsbBackupResult BackupUsbEeprom(std::uint16_t device, const std::string& file,
                                const UsbReadProgress& progress) {
  namespace fs = std::filesystem;
  UsbBackupResult result;
  std::vector<std::uint8_t> eeprom(kUsbEepromSize);
  result.error = ReadFromDevice(device, eeprom.data(), kUsbEepromSize, progress, &result.offset);
  if (result.error != 0) return result;

  const std::string temporary = file + ".part";
  bool written = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(eeprom.data()),
              static_cast<std::streamsize>(eeprom.size()));
    out.close();
    written = static_cast<bool>(out);
  }
  std::error_code error;
  if (written) {
    fs::rename(temporary, file, error);
    written = !error;
  }
  if (!written) {
    result.write_error = error ? error.message() : std::strerror(errno);
    fs::remove(temporary, error);
    return result;
  }
  result.size = kUsbEepromSize;
  return result;
}

}  // namespace flashwright
