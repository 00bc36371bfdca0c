// The CyUSB driver's requests (0x2200xx) served for the simulated devices: the queries made at
// open, pipe reset and abort, and control transfers on endpoint 0 with their transfer blocks,
// which end from the simulator's thread once the device has answered.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/usb_driver_io.h"
#include "tools/usb_sim/device_firmware.h"
#include "tools/usb_sim/pending_transfers.h"
#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::usbsim {

// The device a request goes to, through which handle.
struct CyUsbTarget {
  platform::DriverHandle handle = platform::kInvalidDriverHandle;
  DeviceFirmware* device = nullptr;
  const DeviceProfile* profile = nullptr;
  std::uint8_t address = 1;  // the device's USB address
};

class CyUsbDriver {
 public:
  explicit CyUsbDriver(PendingTransfers& pending) : pending_(pending) {}

  void CompleteAtOnce(bool on) { complete_at_once_ = on; }

  // As UsbDriverIo::IoControl.
  std::uint32_t Request(const CyUsbTarget& target, std::uint32_t code, const void* in,
                        std::uint32_t in_size, void* out, std::uint32_t out_size,
                        std::uint32_t* returned, platform::DriverOverlapped* overlapped);

 private:
  std::uint32_t Query(const CyUsbTarget& target, std::uint32_t code, const void* in,
                      std::uint32_t in_size, void* out, std::uint32_t out_size,
                      std::uint32_t* returned);
  std::uint32_t ControlTransfer(const CyUsbTarget& target, const void* in, std::uint32_t in_size,
                                void* out, std::uint32_t out_size, std::uint32_t* returned,
                                platform::DriverOverlapped* overlapped);

  PendingTransfers& pending_;
  std::atomic<bool> complete_at_once_{false};
};

}  // namespace flashwright::usbsim
