// Requests to the simulated bus built by hand, the way a driver's client sends them: the
// tests speak the driver requests directly so that the simulator is checked on its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"
#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::usbsim::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kVendorOut = 0x40;
inline constexpr std::uint8_t kVendorIn = 0xC0;
inline constexpr std::uint8_t kEeprom = 0xA2;

inline platform::SetupPacket MakeSetup(std::uint8_t type, std::uint8_t request,
                                       std::uint16_t value, std::uint16_t index,
                                       std::uint16_t length) {
  platform::SetupPacket setup;
  setup.request_type = type;
  setup.request = request;
  setup.value = value;
  setup.index = index;
  setup.length = length;
  return setup;
}

inline platform::SetupPacket GetDescriptor(std::uint16_t value, std::uint16_t length,
                                           std::uint16_t language = 0) {
  return MakeSetup(0x80, 6, value, language, length);
}

inline bool SameSetup(const platform::SetupPacket& a, const platform::SetupPacket& b) {
  return a.request_type == b.request_type && a.request == b.request && a.value == b.value &&
         a.index == b.index && a.length == b.length;
}

// A control transfer on endpoint 0: its block (38-byte header, then the data) and overlapped.
class ControlTransfer {
 public:
  explicit ControlTransfer(const platform::SetupPacket& setup, const Bytes& data = {}) {
    block_.assign(platform::kTransferHeaderSize + setup.length, 0);
    platform::TransferHeader header;
    header.setup = setup;
    header.timeout_seconds = 10;
    header.data_offset = platform::kTransferHeaderSize;
    header.data_length = setup.length;
    platform::WriteTransferHeader(header, block_.data());
    std::copy(data.begin(), data.end(), block_.begin() + platform::kTransferHeaderSize);
  }

  // Issues the request: kErrorIoPending, or the code of a transfer that ended at once.
  std::uint32_t Start(platform::UsbDriverIo& io, platform::DriverHandle handle) {
    return io.IoControl(handle, platform::kCySendEp0Control, block_.data(), Size(), block_.data(),
                        Size(), &returned_, &overlapped_);
  }

  // Waits at most `timeout_ms` for the end; false when it has not ended by then.
  bool Await(std::uint32_t timeout_ms = 5000) {
    return overlapped_.Wait(timeout_ms) == platform::kWaitSignalled;
  }

  std::uint32_t Error() const { return overlapped_.Result(nullptr); }
  std::uint32_t Returned() const {
    std::uint32_t returned = 0;
    overlapped_.Result(&returned);
    return returned;
  }
  std::uint32_t NtStatus() const {
    return platform::ReadLe32(block_.data() + platform::kTransferNtStatusOffset);
  }
  std::uint32_t UsbdStatus() const {
    return platform::ReadLe32(block_.data() + platform::kTransferUsbdStatusOffset);
  }
  // The data area (what an input transfer received).
  Bytes Data() const { return Bytes(block_.begin() + platform::kTransferHeaderSize, block_.end()); }

  // Start and Await together; the overlapped's error code.
  std::uint32_t Run(platform::UsbDriverIo& io, platform::DriverHandle handle) {
    const std::uint32_t started = Start(io, handle);
    if (started != platform::kErrorIoPending) return started;
    if (!Await()) return platform::kWaitTimeout;
    return Error();
  }

  Bytes& block() { return block_; }
  std::uint32_t Size() const { return static_cast<std::uint32_t>(block_.size()); }

 private:
  Bytes block_;
  platform::DriverOverlapped overlapped_;
  std::uint32_t returned_ = 0;
};

// An opened CyUSB device: member `member` of the interface class.
inline platform::DriverHandle OpenMember(platform::UsbDriverIo& io, std::uint32_t member,
                                         std::uint32_t* error = nullptr) {
  std::string path;
  std::uint32_t code = io.InterfaceMemberPath(platform::kCyUsbInterfaceClass, member, &path);
  platform::DriverHandle handle = platform::kInvalidDriverHandle;
  if (code == 0) handle = io.Open(path, true, &code);
  if (error != nullptr) *error = code;
  return handle;
}

inline std::string LegacyName(int index) { return "\\\\.\\Ezusb-" + std::to_string(index); }

// A legacy vendor request: the 10-byte block in, the data buffer out.
inline std::uint32_t LegacyVendor(platform::UsbDriverIo& io, platform::DriverHandle handle,
                                  std::uint8_t direction, std::uint16_t address, Bytes& data,
                                  std::uint32_t* returned = nullptr) {
  platform::EzusbVendorBlock block;
  block.direction = direction;
  block.request = kEeprom;
  block.value = address;
  std::uint8_t encoded[platform::kEzusbVendorBlockSize];
  platform::WriteEzusbVendorBlock(block, encoded);
  std::uint32_t ignored = 0;
  return io.IoControl(handle, platform::kEzusbVendorRequest, encoded, sizeof encoded, data.data(),
                      static_cast<std::uint32_t>(data.size()),
                      returned != nullptr ? returned : &ignored, nullptr);
}

inline Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
  return bytes;
}

// Names the instances of the tests run on both drivers.
inline std::string DriverName(const ::testing::TestParamInfo<Driver>& param) {
  return param.param == Driver::kCyUsb ? "CyUsb" : "Legacy";
}

// The EEPROM of a device that was never written.
inline Bytes FreshEeprom(std::uint8_t first_byte) {
  Bytes bytes(kEepromSize, 0xFF);
  bytes[0] = first_byte;
  return bytes;
}

}  // namespace flashwright::usbsim::testing
