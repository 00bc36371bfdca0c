#include "tools/usb_sim/legacy_ezusb_driver.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"

namespace flashwright::usbsim {
namespace {

using namespace platform;

// The system error code the legacy driver turns a device's answer into.
std::uint32_t ErrorOf(const DeviceAnswer& answer) {
  switch (answer.reply) {
    case DeviceReply::kDone:
      return 0;
    case DeviceReply::kStall:
      return kErrorGenFailure;
    case DeviceReply::kGone:
      return kErrorDeviceNotConnected;
    case DeviceReply::kFailed:
      return answer.code;
    case DeviceReply::kNever:
      return kErrorSemTimeout;  // the driver's own time limit ran out
  }
  return kErrorGenFailure;
}

// Waits as long as the device takes to answer (the driver's own limit for one that never
// does) and gives the request's code.
std::uint32_t AwaitAnswer(const DeviceAnswer& answer) {
  if (answer.reply == DeviceReply::kNever) std::this_thread::sleep_for(answer.legacy_limit);
  // Some systems' sleeps end a little early: the answer is never given before it is ready.
  while (std::chrono::steady_clock::now() < answer.ready) {
    std::this_thread::sleep_until(answer.ready);
  }
  return ErrorOf(answer);
}

// Copies what the device answered into `out`.
std::uint32_t TakeData(const DeviceAnswer& answer, void* out, std::uint32_t out_size,
                       std::uint32_t* returned) {
  const auto count = std::min<std::uint32_t>(answer.moved, out_size);
  if (count > 0) std::copy_n(answer.data.begin(), count, static_cast<std::uint8_t*>(out));
  *returned = count;
  return 0;
}

// A descriptor request: the output buffer is where the descriptor goes.
std::uint32_t DescriptorRequest(DeviceFirmware& device, const SetupPacket& setup, void* out,
                                std::uint32_t out_size, std::uint32_t* returned) {
  if (out == nullptr || out_size == 0) return kErrorInvalidParameter;
  const DeviceAnswer answer = device.Control(setup, nullptr);
  const std::uint32_t error = AwaitAnswer(answer);
  return error != 0 ? error : TakeData(answer, out, out_size, returned);
}

std::uint32_t VendorRequest(DeviceFirmware& device, const void* in, std::uint32_t in_size,
                            void* out, std::uint32_t out_size, std::uint32_t* returned) {
  if (in == nullptr || in_size < kEzusbVendorBlockSize) return kErrorInvalidParameter;
  // The length of the data stage is the size of the output buffer; it has to fit wLength.
  if (out_size > 0xFFFF || (out == nullptr && out_size > 0)) return kErrorInvalidParameter;
  const EzusbVendorBlock block = ReadEzusbVendorBlock(static_cast<const std::uint8_t*>(in));
  SetupPacket setup;
  setup.request_type = static_cast<std::uint8_t>((block.direction & 1) << 7 |
                                                 (block.request_type & 3) << 5 |
                                                 (block.recipient & 0x1F));
  setup.request = block.request;
  setup.value = block.value;
  setup.index = block.index;
  setup.length = static_cast<std::uint16_t>(out_size);
  const bool to_device = block.direction == 0;
  const DeviceAnswer answer =
      device.Control(setup, to_device ? static_cast<const std::uint8_t*>(out) : nullptr);
  const std::uint32_t error = AwaitAnswer(answer);
  if (error != 0) return error;
  if (to_device) {
    *returned = answer.moved;
    return 0;
  }
  return TakeData(answer, out, out_size, returned);
}

std::uint32_t StringRequest(DeviceFirmware& device, const void* in, std::uint32_t in_size,
                            void* out, std::uint32_t out_size, std::uint32_t* returned) {
  if (in == nullptr || in_size < kEzusbStringRequestSize) return kErrorInvalidParameter;
  const auto* request = static_cast<const std::uint8_t*>(in);
  SetupPacket setup;
  setup.request_type = 0x80;
  setup.request = 6;
  setup.value = static_cast<std::uint16_t>(0x0300 | request[0]);
  setup.index = ReadLe16(request + 2);
  setup.length = static_cast<std::uint16_t>(std::min<std::uint32_t>(out_size, 0xFFFF));
  return DescriptorRequest(device, setup, out, out_size, returned);
}

}  // namespace

std::uint32_t LegacyEzusbRequest(DeviceFirmware& device, const DeviceProfile& profile,
                                 std::uint32_t code, const void* in, std::uint32_t in_size,
                                 void* out, std::uint32_t out_size, std::uint32_t* returned) {
  *returned = 0;
  switch (code) {
    case kEzusbGetDeviceDescriptor: {
      SetupPacket setup;
      setup.request_type = 0x80;
      setup.request = 6;
      setup.value = 0x0100;
      setup.length = 18;
      return DescriptorRequest(device, setup, out, out_size, returned);
    }
    case kEzusbResetPipe:
      return device.Reset() ? 0 : kErrorDeviceNotConnected;
    case kEzusbGetStringDescriptor:
      return StringRequest(device, in, in_size, out, out_size, returned);
    case kEzusbVendorRequest:
      return VendorRequest(device, in, in_size, out, out_size, returned);
    case kEzusbGetDriverVersion: {
      if (!device.Plugged()) return kErrorDeviceNotConnected;
      if (out == nullptr || out_size < 6) return kErrorInsufficientBuffer;
      auto* bytes = static_cast<std::uint8_t*>(out);
      for (int i = 0; i < 3; ++i) WriteLe16(bytes + 2 * i, profile.legacy_driver_version[i]);
      *returned = 6;
      return 0;
    }
    default:
      return kErrorInvalidFunction;
  }
}

}  // namespace flashwright::usbsim
