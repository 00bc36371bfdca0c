// Device-I/O control requests to the kernel drivers of EZ-USB devices: open a device by its
// name or as a member of a device-interface class, send it control requests (synchronous, or
// overlapped with an event that can be waited for with a time limit), close it.
//
// Two drivers answer these requests: the legacy EZ-USB driver (devices named "\\.\Ezusb-<n>")
// and the CyUSB driver (members of its device-interface class). The request codes and their
// buffer layouts are in usb_driver_requests.h. On Linux the system's driver layer serves the
// CyUSB requests over libusb-1.0; tests and the simulated device install a layer of their own.
//
// Results are the system's error codes: 0 for success, else one of the kError values below.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace flashwright::platform {

using DriverHandle = std::intptr_t;
inline constexpr DriverHandle kInvalidDriverHandle = -1;

// The system's error codes that the USB layers produce or look at.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorSemTimeout = 121;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorOperationAborted = 995;
inline constexpr std::uint32_t kErrorIoIncomplete = 996;
inline constexpr std::uint32_t kErrorIoPending = 997;
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
inline constexpr std::uint32_t kErrorDeviceRemoved = 1617;

// Results of DriverOverlapped::Wait.
inline constexpr std::uint32_t kWaitSignalled = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;

// A device-interface class: the 128-bit GUID of the system's device setup.
struct InterfaceClassId {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};

  friend bool operator==(const InterfaceClassId&, const InterfaceClassId&) = default;
};

// {AE18AA60-7F6A-11D4-97DD-00010229B959}: the devices served by the CyUSB driver.
inline constexpr InterfaceClassId kCyUsbInterfaceClass = {
    0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

// An overlapped request: its auto-reset event and, once it has ended, its outcome. The caller
// owns it and keeps it (and the request's buffers) alive until the request has ended; the
// driver layer completes it, from any thread.
class DriverOverlapped {
 public:
  DriverOverlapped() = default;
  DriverOverlapped(const DriverOverlapped&) = delete;
  DriverOverlapped& operator=(const DriverOverlapped&) = delete;

  // Waits for the event at most `timeout_ms` (kWaitForever: without limit): kWaitSignalled,
  // which resets the event, or kWaitTimeout.
  std::uint32_t Wait(std::uint32_t timeout_ms);

  // The outcome without waiting: kErrorIoIncomplete while the request runs, else its error
  // code (0 for success), with the bytes the driver returned in `*returned`.
  std::uint32_t Result(std::uint32_t* returned) const;

  // Driver side. Start marks the request as running (and resets the event); Complete records
  // its outcome and sets the event.
  void Start();
  void Complete(std::uint32_t error, std::uint32_t returned);

 private:
  mutable std::mutex mutex_;
  std::condition_variable signalled_;
  bool event_ = false;
  bool running_ = false;
  std::uint32_t error_ = 0;
  std::uint32_t returned_ = 0;
};

// The driver layer. Every operation blocks its caller until done, apart from an overlapped
// IoControl that answers kErrorIoPending.
class UsbDriverIo {
 public:
  virtual ~UsbDriverIo() = default;

  // The device path of member `index` of the present devices of interface class `cls`
  // (members counted from 0). kErrorNoMoreItems past the last member.
  virtual std::uint32_t InterfaceMemberPath(const InterfaceClassId& cls, std::uint32_t index,
                                            std::string* path) = 0;

  // Opens a device by name ("\\.\Ezusb-0") or by interface member path, for reading and
  // writing, shared, existing devices only. `overlapped` asks for a handle that takes
  // overlapped requests. kInvalidDriverHandle with `*error` set on failure.
  virtual DriverHandle Open(const std::string& path, bool overlapped, std::uint32_t* error) = 0;

  // Closes a handle; an overlapped request still running on it is cancelled first.
  virtual std::uint32_t Close(DriverHandle handle) = 0;

  // One device-I/O control request. `in` is sent, `out` receives up to `out_size` bytes (they
  // may be the same buffer); `*returned` is the count of bytes placed in `out`.
  // Without `overlapped` the request runs to its end and the result is its code. With one, the
  // result is 0 when it ended at once (the overlapped is completed too), kErrorIoPending when
  // it goes on (the overlapped completes later), or the code of a request that failed at once.
  virtual std::uint32_t IoControl(DriverHandle handle, std::uint32_t code, const void* in,
                                  std::uint32_t in_size, void* out, std::uint32_t out_size,
                                  std::uint32_t* returned, DriverOverlapped* overlapped) = 0;

  // Where the device that `path` names (a device name or an interface member path) sits on the
  // system's USB buses, as the system names the place: "1-3.2" is port 2 of the hub at port 3
  // of bus 1. Unlike a member's index or path it stays the same while other devices come and
  // go, and when the device is plugged in again at the same port. The device is not opened.
  // kErrorFileNotFound when no present device has that path; kErrorNotSupported (the default)
  // where the layer cannot tell.
  virtual std::uint32_t DeviceLocation(const std::string& path, std::string* location);
};

// The driver layer the process uses: the one installed, else the system's.
UsbDriverIo& CurrentUsbDriverIo();

// Installs `io` for the whole process (tests, the simulated device) and returns the layer that
// was installed before; null restores the system's. Install only while no device is open.
UsbDriverIo* InstallUsbDriverIo(UsbDriverIo* io);

// The system's driver layer. On Linux: the CyUSB requests served over libusb-1.0 for the USB
// devices that FLASHWRIGHT_USB_IDS matches (a comma-separated list of "vvvv:pppp" or
// "vvvv:*" in hexadecimal; default "04b4:*"); no legacy EZ-USB driver.
UsbDriverIo& SystemUsbDriverIo();

// Installs a layer for the scope and puts back the previous one at its end.
class ScopedUsbDriverIo {
 public:
  explicit ScopedUsbDriverIo(UsbDriverIo* io) : previous_(InstallUsbDriverIo(io)) {}
  ~ScopedUsbDriverIo() { InstallUsbDriverIo(previous_); }
  ScopedUsbDriverIo(const ScopedUsbDriverIo&) = delete;
  ScopedUsbDriverIo& operator=(const ScopedUsbDriverIo&) = delete;

 private:
  UsbDriverIo* previous_;
};

}  // namespace flashwright::platform
