// Device-change notices on Win32: the frame registers for the interface class of the CyUSB
// driver's devices, and the system sends it WM_DEVICECHANGE, which the frame routes.

#include "windowing/win32/native_window_win32.h"

#include <dbt.h>

#include "windowing/device_change.h"

namespace flashwright::ui {

static_assert(kDeviceNodesChanged == DBT_DEVNODES_CHANGED);

namespace {

// {AE18AA60-7F6A-11D4-97DD-00010229B959}
constexpr GUID kCyUsbInterfaceClass = {
    0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

class DeviceNoticeRegistration final : public platform::UsbHotplugRegistration {
 public:
  explicit DeviceNoticeRegistration(HDEVNOTIFY notify) : notify_(notify) {}
  ~DeviceNoticeRegistration() override { UnregisterDeviceNotification(notify_); }
  DeviceNoticeRegistration(const DeviceNoticeRegistration&) = delete;
  DeviceNoticeRegistration& operator=(const DeviceNoticeRegistration&) = delete;

 private:
  HDEVNOTIFY notify_;
};

}  // namespace

std::unique_ptr<platform::UsbHotplugRegistration> RegisterDeviceNotice(WindowRef frame) {
  HWND window = HwndOf(frame);
  if (window == nullptr) return nullptr;
  // Simulated devices (the view tests, the demo) bring a source of their own: its notices reach
  // the frame as the system's message that the device nodes changed.
  platform::UsbHotplugSource& installed = platform::CurrentUsbHotplugSource();
  if (&installed != &platform::SystemUsbHotplugSource()) {
    return installed.Register(
        [window] { PostMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0); });
  }
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kCyUsbInterfaceClass;
  HDEVNOTIFY notify = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (notify == nullptr) return nullptr;
  return std::make_unique<DeviceNoticeRegistration>(notify);
}

}  // namespace flashwright::ui
