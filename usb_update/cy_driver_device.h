// A device served by the CyUSB driver: the n-th present member of a device-interface class,
// opened for overlapped requests, with the identity read at open (device descriptor, language,
// strings, driver version, configuration descriptors) and one endpoint object per endpoint.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/usb_driver_io.h"
#include "usb_update/cy_usb_endpoint.h"

namespace flashwright {

inline constexpr std::uint16_t kCyEnglishUs = 0x0409;
inline constexpr std::uint32_t kCyIdentityTimeoutMs = 5000;
inline constexpr std::size_t kCyStringSize = 256;  // bytes of UTF-16LE text, zero-filled

class CCyDriverDevice {
 public:
  explicit CCyDriverDevice(const platform::InterfaceClassId& interface_class);
  ~CCyDriverDevice();
  CCyDriverDevice(const CCyDriverDevice&) = delete;
  CCyDriverDevice& operator=(const CCyDriverDevice&) = delete;

  // The present members of the interface class.
  std::uint32_t CountInterfaces() const;
  // Opens member `index` (closing a device that is open first). True when the device is open;
  // the identity reads that fail leave their fields as they were.
  bool OpenInterface(std::uint32_t index);
  // Closes the handle and releases the endpoint objects and configuration data. The result is
  // the driver layer's code for the close (0 also when nothing was open); a failing close
  // still leaves the object closed.
  std::uint32_t Close();

  bool IsOpen() const { return handle_ != platform::kInvalidDriverHandle; }
  platform::DriverHandle handle() const { return handle_; }

  std::uint16_t VendorId() const;
  std::uint16_t ProductId() const;
  const std::array<std::uint8_t, 18>& device_descriptor() const { return device_descriptor_; }
  // UTF-16LE text, zero-terminated (a descriptor holds at most 253 bytes of text).
  const std::array<std::uint8_t, kCyStringSize>& product_string() const { return product_; }
  const std::array<std::uint8_t, kCyStringSize>& manufacturer_string() const { return manufacturer_; }
  const std::array<std::uint8_t, kCyStringSize>& serial_number_string() const { return serial_number_; }
  std::uint16_t language_id() const { return language_id_; }
  // Major, minor, build, revision from the most significant byte down.
  std::uint32_t driver_version() const { return driver_version_; }

  // Null while no device has been opened.
  CCyControlEndPoint* ControlEndPoint() { return control_endpoint_.get(); }
  // The endpoints of every configuration, in descriptor order.
  const std::vector<std::unique_ptr<CCyUSBEndPoint>>& EndPoints() const { return endpoints_; }
  const std::vector<std::vector<std::uint8_t>>& ConfigurationDescriptors() const {
    return configurations_;
  }

 private:
  // One standard GET_DESCRIPTOR read on endpoint 0, synchronous; true only when all `length`
  // bytes came back.
  bool ReadDescriptor(std::uint16_t value, std::uint16_t index, std::uint8_t* buffer,
                      std::uint16_t length);
  // A string descriptor or the language list: the first 2 bytes, then bLength bytes.
  bool ReadStringDescriptor(std::uint8_t string_index, std::uint16_t language,
                            std::vector<std::uint8_t>* descriptor);
  void ReadIdentity();
  void ReadLanguage();
  void ReadString(std::uint8_t string_index, std::array<std::uint8_t, kCyStringSize>* text);
  void ReadDriverVersion();
  void ReadConfigurations();
  void AddEndPoints(const std::vector<std::uint8_t>& configuration);

  platform::InterfaceClassId interface_class_;
  platform::DriverHandle handle_ = platform::kInvalidDriverHandle;
  std::array<std::uint8_t, 18> device_descriptor_{};
  std::uint16_t language_id_ = 0;
  std::array<std::uint8_t, kCyStringSize> manufacturer_{};
  std::array<std::uint8_t, kCyStringSize> product_{};
  std::array<std::uint8_t, kCyStringSize> serial_number_{};
  std::uint32_t driver_version_ = 0;
  std::vector<std::vector<std::uint8_t>> configurations_;
  std::unique_ptr<CCyControlEndPoint> control_endpoint_;
  std::vector<std::unique_ptr<CCyUSBEndPoint>> endpoints_;
};

}  // namespace flashwright
