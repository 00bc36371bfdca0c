// The system's driver layer on Linux: the CyUSB driver's requests served over libusb-1.0.
// (Being written: for now it lists no devices.)
#include "platform/usb_driver_io.h"

namespace flashwright::platform {
namespace {

class LibusbDriverIo : public UsbDriverIo {
 public:
  std::uint32_t InterfaceMemberPath(const InterfaceClassId&, std::uint32_t, std::string*) override {
    return kErrorNoMoreItems;
  }
  DriverHandle Open(const std::string&, bool, std::uint32_t* error) override {
    if (error != nullptr) *error = kErrorFileNotFound;
    return kInvalidDriverHandle;
  }
  std::uint32_t Close(DriverHandle) override { return kErrorInvalidHandle; }
  std::uint32_t IoControl(DriverHandle, std::uint32_t, const void*, std::uint32_t, void*,
                          std::uint32_t, std::uint32_t* returned, DriverOverlapped*) override {
    if (returned != nullptr) *returned = 0;
    return kErrorInvalidHandle;
  }
};

}  // namespace

UsbDriverIo& SystemUsbDriverIo() {
  static LibusbDriverIo io;
  return io;
}

}  // namespace flashwright::platform
