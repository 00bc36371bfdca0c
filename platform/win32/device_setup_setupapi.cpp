// The present devices through the system's device setup interface.
#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "platform/device_setup.h"

namespace flashwright::platform {
namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}: the Ports (COM and LPT) setup class.
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE,
                          {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// A string property of a device, the buffer grown as the system asks. Empty when the device
// does not have it or it cannot be read; a multi-string gives its first string.
std::string ReadProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
  std::vector<BYTE> buffer;
  DWORD needed = 0;
  DWORD type = 0;
  if (::SetupDiGetDeviceRegistryPropertyA(set, device, property, &type, nullptr, 0, &needed)) {
    return {};  // an empty property
  }
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return {};
  buffer.assign(static_cast<std::size_t>(needed) * 2 + 2, 0);
  if (!::SetupDiGetDeviceRegistryPropertyA(set, device, property, &type, buffer.data(),
                                           static_cast<DWORD>(buffer.size() - 2), nullptr)) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(buffer.data()));
}

// Walks a device set into the model: every device with its friendly name, first hardware ID
// and service.
DeviceSet ReadDeviceSet(HDEVINFO set) {
  DeviceSet result;
  if (set == INVALID_HANDLE_VALUE) {
    result.open_error = static_cast<int>(::GetLastError());
    if (result.open_error == 0) result.open_error = ERROR_GEN_FAILURE;
    return result;
  }
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!::SetupDiEnumDeviceInfo(set, index, &device)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_NO_MORE_ITEMS) result.end_error = static_cast<int>(error);
      break;
    }
    DeviceRecord record;
    record.friendly_name = ReadProperty(set, &device, SPDRP_FRIENDLYNAME);
    record.hardware_id = ReadProperty(set, &device, SPDRP_HARDWAREID);
    record.service = ReadProperty(set, &device, SPDRP_SERVICE);
    result.devices.push_back(std::move(record));
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return result;
}

}  // namespace

DeviceSet PortsClassDevices() {
  return ReadDeviceSet(::SetupDiGetClassDevsExA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT,
                                                nullptr, nullptr, nullptr));
}

DeviceSet DevicesOfEnumerator(std::string_view enumerator) {
  const std::string name(enumerator);
  return ReadDeviceSet(::SetupDiGetClassDevsA(nullptr, name.c_str(), nullptr,
                                              DIGCF_ALLCLASSES | DIGCF_PRESENT));
}

}  // namespace flashwright::platform
