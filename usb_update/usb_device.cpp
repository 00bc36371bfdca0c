#include "usb_update/usb_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/usb_driver_requests.h"
#include "usb_update/cy_driver_device.h"

namespace flashwright {
namespace {

using platform::DriverHandle;
using platform::kInvalidDriverHandle;

constexpr std::uint8_t kVendorRequestType = 2;
constexpr std::uint8_t kDeviceRecipient = 0;
constexpr std::size_t kLegacyDescriptorSize = 18;
constexpr std::size_t kLegacyStringReplySize = 256;
constexpr std::size_t kLegacyVersionSize = 6;
constexpr std::uint8_t kFaultMarker[2] = {0xDE, 0xAD};

// The one device the program works with. The handle of a CyUSB device belongs to its device
// object; a legacy device has the handle alone.
struct UsbCurrentDevice {
  DriverHandle handle = kInvalidDriverHandle;
  std::unique_ptr<CCyDriverDevice> device;
};

UsbCurrentDevice& Current() {
  static UsbCurrentDevice current;
  return current;
}

void FormatLegacyName(std::uint16_t index, char* name, std::size_t size) {
  std::snprintf(name, size, platform::kEzusbDeviceNameFormat, static_cast<short>(index));
}

// Closes what UsbOpenAt handed out.
void Release(DriverHandle handle, std::unique_ptr<CCyDriverDevice> device) {
  if (device != nullptr) {
    device.reset();
  } else if (handle != kInvalidDriverHandle) {
    platform::CurrentUsbDriverIo().Close(handle);
  }
}

// UTF-16LE text (up to a zero unit or the end of `bytes`) to 8-bit text of at most size - 1
// characters. Characters up to 0xFF are kept as they are (Latin-1); a character above 0xFF,
// which 8-bit text cannot hold, becomes '?' so that no byte of a multi-unit character leaks
// into the text as a different character. A surrogate pair is one character, one '?'.
void Utf16LeToText(const std::uint8_t* bytes, std::size_t byte_count, char* text,
                   std::size_t size) {
  if (text == nullptr || size == 0) return;
  std::size_t written = 0;
  for (std::size_t offset = 0; offset + 2 <= byte_count && written + 1 < size; offset += 2) {
    const std::uint16_t unit = platform::ReadLe16(bytes + offset);
    if (unit == 0) break;
    if (unit >= 0xDC00 && unit <= 0xDFFF) continue;  // second half of a pair already counted
    text[written++] = unit <= 0xFF ? static_cast<char>(unit) : '?';
  }
  text[written] = '\0';
}

// Steps 2 to 4 of a request with retry: an attempt that fails is followed by a reset; a device
// that is gone (by the attempt's code or the reset's) ends the attempts, else one more follows.
UsbError WithRetry(const std::function<UsbError()>& attempt) {
  UsbError code = 0;
  for (int round = 0; round < 2; ++round) {
    code = attempt();
    if (code == 0) return 0;
    if (!UsbIsDeviceGone(code)) {
      const UsbError reset = UsbResetDevice();
      if (UsbIsDeviceGone(reset)) code = reset;
    }
    if (UsbIsDeviceGone(code)) break;
  }
  return code;
}

// One legacy request on the current device's handle.
UsbError LegacyRequest(std::uint32_t code, const void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size, std::uint32_t* returned) {
  std::uint32_t count = 0;
  const std::uint32_t result = platform::CurrentUsbDriverIo().IoControl(
      Current().handle, code, in, in_size, out, out_size, &count, nullptr);
  // A driver cannot have filled more than the buffer it was given.
  if (returned != nullptr) *returned = std::min(count, out_size);
  return static_cast<UsbError>(result);
}

UsbError CyVendorAttempt(std::uint8_t direction, std::uint8_t request, std::uint16_t value,
                         std::uint16_t index, std::uint8_t* data, std::uint32_t length,
                         std::uint32_t* transferred) {
  CCyControlEndPoint* endpoint = Current().device->ControlEndPoint();
  if (endpoint == nullptr) return kUsbNoControlEndpoint;
  endpoint->recipient = kDeviceRecipient;
  endpoint->request_type = kVendorRequestType;
  endpoint->direction = direction;
  endpoint->request_code = request;
  endpoint->value = value;
  endpoint->index = index;
  // The endpoint refuses a length beyond what a setup packet can carry.
  std::int32_t count = length > 0xFFFF ? -1 : static_cast<std::int32_t>(length);
  const bool ok = direction == kDirectionIn ? endpoint->TransferIn(data, &count)
                                            : endpoint->TransferOut(data, &count);
  if (!ok) return kUsbTransferFailed;
  *transferred = static_cast<std::uint32_t>(std::max(count, 0));
  return 0;
}

UsbError LegacyVendorAttempt(std::uint8_t direction, std::uint8_t request, std::uint16_t value,
                             std::uint16_t index, std::uint8_t* data, std::uint32_t length,
                             std::uint32_t* transferred) {
  platform::EzusbVendorBlock block;
  block.direction = direction;
  block.request_type = kVendorRequestType;
  block.recipient = kDeviceRecipient;
  block.request = request;
  block.value = value;
  block.index = index;
  std::uint8_t bytes[platform::kEzusbVendorBlockSize] = {};
  platform::WriteEzusbVendorBlock(block, bytes);
  return LegacyRequest(platform::kEzusbVendorRequest, bytes, sizeof bytes, data, length,
                       transferred);
}

}  // namespace

std::string UsbErrorName(UsbError code) {
  const char* name = nullptr;
  switch (code) {
    case 0: name = "success"; break;
    case kUsbEmpty: name = "usb empty image"; break;
    case kUsbNoMemory: name = "usb no memory"; break;
    case kUsbNotOpen: name = "usb not open"; break;
    case kUsbAlreadyOpen: name = "usb already open"; break;
    case kUsbOpenFailed: name = "usb open failed"; break;
    case kUsbBadIndex: name = "usb bad index"; break;
    case kUsbDeviceFault: name = "usb device fault"; break;
    case kUsbTooLarge: name = "usb image too large"; break;
    case kUsbTransferFailed: name = "usb transfer failed"; break;
    case kUsbNoControlEndpoint: name = "usb no control endpoint"; break;
    case kUsbDeviceNotConnected: name = "usb device not connected"; break;
    case kUsbDeviceRemoved: name = "usb device removed"; break;
    default: break;
  }
  const std::string number = " (" + std::to_string(code) + ")";
  if (name != nullptr) return name + number;
  if (code > 0) return "system error " + std::to_string(code);
  return "usb code" + number;
}

bool UsbIsDeviceGone(UsbError code) {
  return code == kUsbDeviceRemoved || code == kUsbDeviceNotConnected;
}

bool UsbLegacyDriverPresent() {
  char name[32] = {};
  FormatLegacyName(0, name, sizeof name);
  platform::UsbDriverIo& io = platform::CurrentUsbDriverIo();
  std::uint32_t error = 0;
  const DriverHandle handle = io.Open(name, /*overlapped=*/false, &error);
  if (handle == kInvalidDriverHandle) return false;
  io.Close(handle);
  return true;
}

UsbError UsbOpenAt(std::uint16_t index, DriverHandle* handle,
                   std::unique_ptr<CCyDriverDevice>* device, bool* no_more_devices) {
  *handle = kInvalidDriverHandle;
  device->reset();
  *no_more_devices = false;
  if (index >= kUsbIndexLimit) return kUsbBadIndex;

  if (UsbLegacyDriverPresent()) {
    char name[32] = {};
    FormatLegacyName(index, name, sizeof name);
    std::uint32_t error = 0;
    *handle = platform::CurrentUsbDriverIo().Open(name, /*overlapped=*/false, &error);
    return *handle == kInvalidDriverHandle ? kUsbOpenFailed : 0;
  }

  auto opened = std::make_unique<CCyDriverDevice>(platform::kCyUsbInterfaceClass);
  opened->OpenInterface(index);
  if (!opened->IsOpen()) {
    *no_more_devices = true;
    return kUsbOpenFailed;
  }
  *handle = opened->handle();
  *device = std::move(opened);
  return 0;
}

UsbError UsbOpenDevice(std::uint16_t index) {
  if (UsbCurrentDeviceIsOpen()) return kUsbAlreadyOpen;
  DriverHandle handle = kInvalidDriverHandle;
  std::unique_ptr<CCyDriverDevice> device;
  bool no_more_devices = false;
  const UsbError result = UsbOpenAt(index, &handle, &device, &no_more_devices);
  if (result != 0) return result;
  Current().handle = handle;
  Current().device = std::move(device);
  return 0;
}

UsbError UsbCloseDevice() {
  UsbCurrentDevice& current = Current();
  Release(current.handle, std::move(current.device));
  current.device.reset();
  current.handle = kInvalidDriverHandle;
  return 0;
}

bool UsbCurrentDeviceIsOpen() { return Current().handle != kInvalidDriverHandle; }

CCyDriverDevice* UsbCurrentDeviceObject() { return Current().device.get(); }

std::uint16_t UsbFindNextDevice(std::int16_t previous) {
  const int start = previous < 0 ? 0 : previous + 1;
  for (int index = start; index < kUsbIndexLimit; ++index) {
    DriverHandle handle = kInvalidDriverHandle;
    std::unique_ptr<CCyDriverDevice> device;
    bool no_more_devices = false;
    if (UsbOpenAt(static_cast<std::uint16_t>(index), &handle, &device, &no_more_devices) == 0) {
      Release(handle, std::move(device));
      return static_cast<std::uint16_t>(index);
    }
    if (no_more_devices) break;
  }
  return kUsbNoDevice;
}

UsbError UsbDeviceName(std::uint16_t index, char* text, std::size_t size) {
  if (text == nullptr || size == 0) return index >= kUsbIndexLimit ? kUsbBadIndex : 0;
  text[0] = '\0';
  if (index >= kUsbIndexLimit) return kUsbBadIndex;
  std::snprintf(text, size, UsbLegacyDriverPresent() ? "Ezusb-%hd" : "Cyusb-%hd",
                static_cast<short>(index));
  return 0;
}

UsbError UsbGetIds(std::uint16_t* vendor_id, std::uint16_t* product_id) {
  *vendor_id = 0;
  *product_id = 0xFFFF;
  if (!UsbCurrentDeviceIsOpen()) return kUsbNotOpen;
  if (CCyDriverDevice* device = UsbCurrentDeviceObject()) {
    *vendor_id = device->VendorId();
    *product_id = device->ProductId();
    return 0;
  }
  UsbResetDevice();
  std::uint8_t descriptor[kLegacyDescriptorSize] = {};
  std::uint32_t returned = 0;
  const UsbError result = LegacyRequest(platform::kEzusbGetDeviceDescriptor, descriptor,
                                        sizeof descriptor, descriptor, sizeof descriptor, &returned);
  if (result != 0) return result;
  // A reply too short to hold the IDs would otherwise pass off zeros as the device's IDs.
  if (returned < 12) return kUsbTransferFailed;
  *vendor_id = platform::ReadLe16(descriptor + 8);
  *product_id = platform::ReadLe16(descriptor + 10);
  return 0;
}

UsbError UsbGetProductString(char* text, std::size_t size) {
  if (text != nullptr && size > 0) std::memset(text, 0, size);
  if (!UsbCurrentDeviceIsOpen()) return kUsbNotOpen;
  if (CCyDriverDevice* device = UsbCurrentDeviceObject()) {
    const auto& product = device->product_string();
    Utf16LeToText(product.data(), product.size(), text, size);
    return 0;
  }
  const std::uint8_t request[platform::kEzusbStringRequestSize] = {
      platform::kProductStringIndex, 0, platform::kEzusbStringLanguage & 0xFF,
      platform::kEzusbStringLanguage >> 8};
  std::uint8_t reply[kLegacyStringReplySize] = {};
  std::uint32_t returned = 0;
  const UsbError result = WithRetry([&] {
    std::memset(reply, 0, sizeof reply);
    return LegacyRequest(platform::kEzusbGetStringDescriptor, request, sizeof request, reply,
                         sizeof reply, &returned);
  });
  if (result != 0) return result;
  // The text ends where the descriptor says, but never beyond what the driver returned.
  const std::size_t descriptor_size = std::min<std::size_t>(reply[0], returned);
  if (descriptor_size > 2) Utf16LeToText(reply + 2, descriptor_size - 2, text, size);
  return 0;
}

UsbError UsbReadFirstByte(std::uint8_t* first_byte) {
  *first_byte = 0;
  if (!UsbCurrentDeviceIsOpen()) return kUsbNotOpen;
  std::uint8_t head[5] = {};
  const UsbError result = UsbEepromRead(0, head, sizeof head);
  if (result == 0) *first_byte = head[0];
  return result;
}

UsbError UsbGetDriverVersion(std::uint16_t* major, std::uint16_t* minor, std::uint16_t* build,
                             bool* has_revision, std::uint16_t* revision) {
  *major = *minor = *build = *revision = 0;
  *has_revision = false;
  if (!UsbCurrentDeviceIsOpen()) return kUsbNotOpen;
  if (CCyDriverDevice* device = UsbCurrentDeviceObject()) {
    const std::uint32_t version = device->driver_version();
    *major = static_cast<std::uint16_t>(version >> 24 & 0xFF);
    *minor = static_cast<std::uint16_t>(version >> 16 & 0xFF);
    *build = static_cast<std::uint16_t>(version >> 8 & 0xFF);
    *revision = static_cast<std::uint16_t>(version & 0xFF);
    *has_revision = true;
    return 0;
  }
  std::uint8_t reply[kLegacyVersionSize] = {};
  std::uint32_t returned = 0;
  const UsbError result = WithRetry([&] {
    return LegacyRequest(platform::kEzusbGetDriverVersion, nullptr, 0, reply, sizeof reply,
                         &returned);
  });
  if (result != 0) return result;
  if (returned < sizeof reply) return kUsbTransferFailed;  // not a version, whatever it was
  *major = platform::ReadLe16(reply);
  *minor = platform::ReadLe16(reply + 2);
  *build = platform::ReadLe16(reply + 4);
  return 0;
}

UsbError UsbEepromWrite(std::uint16_t address, const std::uint8_t* data, std::uint32_t length) {
  if (length == 0) return kUsbEmpty;
  if (data == nullptr) return static_cast<UsbError>(platform::kErrorInvalidParameter);
  // The driver requests take a writable buffer for either direction; the caller's data is
  // sent from a copy so that it stays untouched whatever the driver does with the buffer.
  std::vector<std::uint8_t> sent(data, data + length);
  return UsbVendorRequest(kDirectionOut, kEepromRequest, address, 0, sent.data(), length);
}

UsbError UsbEepromRead(std::uint16_t address, std::uint8_t* data, std::uint32_t length) {
  return UsbVendorRequest(kDirectionIn, kEepromRequest, address, 0, data, length);
}

UsbError UsbVendorRequest(std::uint8_t direction, std::uint8_t request, std::uint16_t value,
                          std::uint16_t index, std::uint8_t* data, std::uint32_t length) {
  if (length == 0) return kUsbEmpty;
  if (data == nullptr) return static_cast<UsbError>(platform::kErrorInvalidParameter);
  std::uint32_t transferred = 0;
  const UsbError result = WithRetry([&] {
    transferred = 0;
    const UsbError attempt =
        UsbCurrentDeviceObject() != nullptr
            ? CyVendorAttempt(direction, request, value, index, data, length, &transferred)
            : LegacyVendorAttempt(direction, request, value, index, data, length, &transferred);
    // A transfer that moved fewer bytes than asked has failed: counted as done, a short write
    // would leave part of an image unwritten, and a short read would hand out bytes that never
    // came from the device.
    if (attempt == 0 && transferred < length) return kUsbTransferFailed;
    return attempt;
  });
  if (result != 0) return result;
  if (transferred >= 2 && data[0] == kFaultMarker[0] && data[1] == kFaultMarker[1]) {
    return kUsbDeviceFault;
  }
  return 0;
}

UsbError UsbResetDevice() {
  if (CCyDriverDevice* device = UsbCurrentDeviceObject()) {
    CCyControlEndPoint* endpoint = device->ControlEndPoint();
    if (endpoint == nullptr) return 0;
    return endpoint->ResetEndpoint() ? 0 : kUsbTransferFailed;
  }
  return LegacyRequest(platform::kEzusbResetPipe, nullptr, 0, nullptr, 0, nullptr);
}

}  // namespace flashwright
