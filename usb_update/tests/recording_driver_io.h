// A driver layer that passes every call on to another one (the simulated bus) and records what
// the program sent: the paths it opened and the exact bytes of every request. It can also bend
// a few answers to show how the program copes with a driver that misbehaves.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"

namespace flashwright::usbtest {

struct RecordedRequest {
  std::uint32_t code = 0;
  std::vector<std::uint8_t> in;
  std::uint32_t out_size = 0;
  bool overlapped = false;
};

class RecordingDriverIo : public platform::UsbDriverIo {
 public:
  explicit RecordingDriverIo(platform::UsbDriverIo* inner) : inner_(inner) {}

  std::vector<RecordedRequest> requests;
  std::vector<std::string> opened_paths;  // every Open, successful or not

  // The legacy driver's device 0 is still being released right after its handle was closed:
  // the open that follows at once fails. The presence check opens and closes it, so device 0
  // itself, opened right after that check, cannot be opened while the driver counts as present.
  bool legacy_device_zero_claimed = false;
  // The returned count of control transfers and legacy requests with this code is replaced
  // (a driver claiming more, or fewer, bytes than it moved).
  std::uint32_t bend_code = 0;
  std::uint32_t bent_returned = 0;
  // Requests with this code fail with `forced_result` without reaching the device.
  std::uint32_t force_code = 0;
  std::uint32_t forced_result = 0;

  std::vector<RecordedRequest> RequestsWithCode(std::uint32_t code) const {
    std::vector<RecordedRequest> found;
    for (const RecordedRequest& request : requests) {
      if (request.code == code) found.push_back(request);
    }
    return found;
  }

  std::uint32_t InterfaceMemberPath(const platform::InterfaceClassId& cls, std::uint32_t index,
                                    std::string* path) override {
    return inner_->InterfaceMemberPath(cls, index, path);
  }

  platform::DriverHandle Open(const std::string& path, bool overlapped,
                              std::uint32_t* error) override {
    opened_paths.push_back(path);
    const bool zero = path == "\\\\.\\Ezusb-0";
    const bool releasing = zero_just_closed_;
    zero_just_closed_ = false;
    if (legacy_device_zero_claimed && zero && releasing) {
      *error = 5;  // access denied
      return platform::kInvalidDriverHandle;
    }
    const platform::DriverHandle handle = inner_->Open(path, overlapped, error);
    if (zero && handle != platform::kInvalidDriverHandle) zero_handles_.insert(handle);
    return handle;
  }

  std::uint32_t Close(platform::DriverHandle handle) override {
    zero_just_closed_ = zero_handles_.erase(handle) > 0;
    return inner_->Close(handle);
  }

  std::uint32_t IoControl(platform::DriverHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t in_size, void* out, std::uint32_t out_size,
                          std::uint32_t* returned, platform::DriverOverlapped* overlapped) override {
    RecordedRequest request;
    request.code = code;
    if (in != nullptr) {
      const auto* bytes = static_cast<const std::uint8_t*>(in);
      request.in.assign(bytes, bytes + in_size);
    }
    request.out_size = out_size;
    request.overlapped = overlapped != nullptr;
    requests.push_back(request);

    if (code == force_code) {
      if (returned != nullptr) *returned = 0;
      return forced_result;
    }
    const std::uint32_t result =
        inner_->IoControl(handle, code, in, in_size, out, out_size, returned, overlapped);
    if (code == bend_code && result == 0) {
      *returned = bent_returned;
      if (overlapped != nullptr) overlapped->Complete(0, bent_returned);
    }
    return result;
  }

 private:
  platform::UsbDriverIo* inner_;
  std::set<platform::DriverHandle> zero_handles_;
  bool zero_just_closed_ = false;
};

}  // namespace flashwright::usbtest
