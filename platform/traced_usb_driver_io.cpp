#include "platform/traced_usb_driver_io.h"

#include <algorithm>
#include <cstring>

#include "platform/usb_driver_requests.h"
#include "platform/wire_trace.h"

namespace flashwright::platform {
namespace {

// How many bytes at the start of a request's input are its setup: the setup packet of a
// control transfer's header, the vendor request block of the legacy driver; none for requests
// that only read a value of the driver.
std::size_t SetupBytes(std::uint32_t code) {
  switch (code) {
    case kCySendEp0Control:
    case kCyBufferedTransfer:
    case kCyDirectTransfer:
      return kSetupPacketSize;
    case kEzusbVendorRequest:
      return kEzusbVendorBlockSize;
    default:
      return 0;
  }
}

class TracingLayer final : public UsbDriverIo {
 public:
  explicit TracingLayer(UsbDriverIo& (*underlying)()) : underlying_(underlying) {}

  std::uint32_t InterfaceMemberPath(const InterfaceClassId& cls, std::uint32_t index,
                                    std::string* path) override {
    return underlying_().InterfaceMemberPath(cls, index, path);
  }

  DriverHandle Open(const std::string& path, bool overlapped, std::uint32_t* error) override {
    return underlying_().Open(path, overlapped, error);
  }

  std::uint32_t Close(DriverHandle handle) override { return underlying_().Close(handle); }

  std::uint32_t DeviceLocation(const std::string& path, std::string* location) override {
    return underlying_().DeviceLocation(path, location);
  }

  std::uint32_t IoControl(DriverHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t in_size, void* out, std::uint32_t out_size,
                          std::uint32_t* returned, DriverOverlapped* overlapped) override {
    // The request's head before the call: `in` and `out` may be one buffer.
    std::uint8_t setup[kEzusbVendorBlockSize] = {};
    const std::size_t head = SetupBytes(code);
    const std::size_t setup_size = in != nullptr ? std::min<std::size_t>(in_size, head) : 0;
    if (setup_size > 0) std::memcpy(setup, in, setup_size);
    const std::uint32_t result =
        underlying_().IoControl(handle, code, in, in_size, out, out_size, returned, overlapped);
    if (WireTrace* trace = ActiveWireTrace()) {
      UsbTraceRequest request;
      request.code = code;
      request.setup = setup;
      request.setup_size = setup_size;
      request.asked = out_size;
      request.moved = returned != nullptr && result == 0 ? *returned : 0;
      request.result = result;  // kErrorIoPending for an overlapped request that goes on
      trace->UsbRequest(request);
    }
    return result;
  }

 private:
  UsbDriverIo& (*underlying_)();
};

}  // namespace

UsbDriverIo& TracedUsbDriverIo(UsbDriverIo& (*underlying)()) {
  static TracingLayer layer(underlying);
  return layer;
}

}  // namespace flashwright::platform
