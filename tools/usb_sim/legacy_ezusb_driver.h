// The legacy EZ-USB driver's requests (synchronous, 0x2220xx) served for one simulated device.
#pragma once

#include <cstdint>

#include "tools/usb_sim/device_firmware.h"
#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::usbsim {

// The system's code for a request the driver does not know.
inline constexpr std::uint32_t kErrorInvalidFunction = 1;

// One request; the result is the system error code the driver gives (0 for success), with the
// bytes placed in `out` in `*returned`. Blocks until the device has answered (and, with real
// time, for the modelled time).
std::uint32_t LegacyEzusbRequest(DeviceFirmware& device, const DeviceProfile& profile,
                                 std::uint32_t code, const void* in, std::uint32_t in_size,
                                 void* out, std::uint32_t out_size, std::uint32_t* returned);

}  // namespace flashwright::usbsim
