// The system's hot-plug notices on Windows: device-change messages for the CyUSB
// device-interface class. The system sends them to a window, so the source keeps a hidden
// message-only window on a thread of its own while anybody is registered; an arrival or a
// removal of a member of the class is announced to the registrations from that thread.
#include <windows.h>
#include <dbt.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/usb_driver_io.h"
#include "platform/usb_hotplug.h"

namespace flashwright::platform {
namespace {

constexpr char kWindowClass[] = "FlashwrightUsbNotices";

class Win32HotplugSource : public UsbHotplugSource {
 public:
  std::unique_ptr<UsbHotplugRegistration> Register(UsbHotplugFunction notice) override {
    std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
    if (!StartLocked()) return nullptr;
    return listeners_.Add(std::move(notice), [this] { StopIfUnused(); });
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DEVICECHANGE &&
        (wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE)) {
      const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lparam);
      auto* source = reinterpret_cast<Win32HotplugSource*>(
          ::GetWindowLongPtrA(window, GWLP_USERDATA));
      if (source != nullptr && header != nullptr &&
          header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        source->listeners_.Announce();
      }
      return TRUE;
    }
    return ::DefWindowProcA(window, message, wparam, lparam);
  }

  // The window thread: the window, its registration for the class, then its messages until
  // it is told to stop.
  void Run() {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = &Win32HotplugSource::WindowProc;
    window_class.hInstance = instance;
    window_class.lpszClassName = kWindowClass;
    ::RegisterClassA(&window_class);  // fails harmlessly when registered before
    HWND window = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    instance, nullptr);
    HDEVNOTIFY notify = nullptr;
    if (window != nullptr) {
      ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      DEV_BROADCAST_DEVICEINTERFACE_A filter{};
      filter.dbcc_size = sizeof filter;
      filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      filter.dbcc_classguid.Data1 = kCyUsbInterfaceClass.data1;
      filter.dbcc_classguid.Data2 = kCyUsbInterfaceClass.data2;
      filter.dbcc_classguid.Data3 = kCyUsbInterfaceClass.data3;
      std::memcpy(filter.dbcc_classguid.Data4, kCyUsbInterfaceClass.data4,
                  sizeof filter.dbcc_classguid.Data4);
      notify = ::RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    {
      std::lock_guard<std::mutex> lock(start_mutex_);
      window_ = notify != nullptr ? window : nullptr;
      started_ = true;
    }
    start_signal_.notify_all();
    if (notify != nullptr) {
      MSG message;
      while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
      ::UnregisterDeviceNotification(notify);
    }
    if (window != nullptr) ::DestroyWindow(window);
  }

  bool StartLocked() {
    if (thread_.joinable()) return true;
    {
      std::lock_guard<std::mutex> lock(start_mutex_);
      started_ = false;
      window_ = nullptr;
    }
    thread_ = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(start_mutex_);
    start_signal_.wait(lock, [this] { return started_; });
    if (window_ == nullptr) {
      lock.unlock();
      thread_.join();
      return false;
    }
    return true;
  }

  void StopIfUnused() {
    std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
    if (!thread_.joinable() || listeners_.Count() != 0) return;
    HWND window = nullptr;
    {
      std::lock_guard<std::mutex> lock(start_mutex_);
      window = window_;
    }
    // WM_QUIT ends the window thread's loop; posted to the window, it reaches that thread.
    ::PostMessageA(window, WM_QUIT, 0, 0);
    thread_.join();
  }

  std::mutex lifecycle_mutex_;
  UsbHotplugListeners listeners_;
  std::mutex start_mutex_;
  std::condition_variable start_signal_;
  bool started_ = false;
  HWND window_ = nullptr;
  std::thread thread_;
};

}  // namespace

UsbHotplugSource& SystemUsbHotplugSource() {
  // Never destroyed: a registration may outlive the static objects at the end of the program.
  static Win32HotplugSource* source = new Win32HotplugSource;
  return *source;
}

}  // namespace flashwright::platform
