#include "usb_update/cy_driver_device.h"

#include <algorithm>
#include <string>

#include "platform/usb_driver_requests.h"

namespace flashwright {
namespace {

constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint16_t kDeviceDescriptorValue = 0x0100;
constexpr std::uint16_t kConfigurationValue = 0x0200;
constexpr std::uint16_t kStringValue = 0x0300;
constexpr std::uint8_t kStringType = 3;
constexpr std::uint8_t kEndpointType = 5;
constexpr std::size_t kConfigurationHeaderSize = 9;
constexpr std::size_t kEndpointDescriptorSize = 7;

}  // namespace

CCyDriverDevice::CCyDriverDevice(const platform::InterfaceClassId& interface_class)
    : interface_class_(interface_class) {}

CCyDriverDevice::~CCyDriverDevice() { Close(); }

std::uint32_t CCyDriverDevice::CountInterfaces() const {
  // Members are numbered without gaps, so the first one the driver layer cannot name ends the
  // count, whatever the reason.
  std::uint32_t count = 0;
  std::string path;
  while (platform::CurrentUsbDriverIo().InterfaceMemberPath(interface_class_, count, &path) == 0) {
    ++count;
  }
  return count;
}

bool CCyDriverDevice::OpenInterface(std::uint32_t index) {
  if (IsOpen()) Close();

  const std::uint32_t count = CountInterfaces();
  if (count == 0 || index > count - 1) return false;

  platform::UsbDriverIo& io = platform::CurrentUsbDriverIo();
  std::string path;
  if (io.InterfaceMemberPath(interface_class_, index, &path) != 0) return false;
  std::uint32_t error = 0;
  handle_ = io.Open(path, /*overlapped=*/true, &error);
  if (!IsOpen()) return false;

  ReadIdentity();
  control_endpoint_ = std::make_unique<CCyControlEndPoint>(handle_, device_descriptor_[7]);
  return true;
}

std::uint32_t CCyDriverDevice::Close() {
  control_endpoint_.reset();
  endpoints_.clear();
  configurations_.clear();
  if (!IsOpen()) return 0;
  const std::uint32_t result = platform::CurrentUsbDriverIo().Close(handle_);
  handle_ = platform::kInvalidDriverHandle;
  return result;
}

std::uint16_t CCyDriverDevice::VendorId() const {
  return platform::ReadLe16(device_descriptor_.data() + 8);
}

std::uint16_t CCyDriverDevice::ProductId() const {
  return platform::ReadLe16(device_descriptor_.data() + 10);
}

bool CCyDriverDevice::ReadDescriptor(std::uint16_t value, std::uint16_t index,
                                     std::uint8_t* buffer, std::uint16_t length) {
  CCyControlEndPoint reader(handle_, 0);
  reader.timeout = kCyIdentityTimeoutMs;
  reader.recipient = 0;     // device
  reader.request_type = 0;  // standard
  reader.direction = 1;
  reader.request_code = kGetDescriptor;
  reader.value = value;
  reader.index = index;
  std::int32_t count = length;
  std::unique_ptr<CyTransferBlock> block = reader.StartTransfer(buffer, count, nullptr);
  const bool completed = reader.CompleteTransfer(buffer, &count, nullptr, std::move(block));
  return completed && count == length;
}

bool CCyDriverDevice::ReadStringDescriptor(std::uint8_t string_index, std::uint16_t language,
                                           std::vector<std::uint8_t>* descriptor) {
  const auto value = static_cast<std::uint16_t>(kStringValue | string_index);
  std::uint8_t head[2] = {};
  if (!ReadDescriptor(value, language, head, sizeof head)) return false;
  if (head[0] <= sizeof head) {
    descriptor->assign(head, head + sizeof head);
    return true;
  }
  descriptor->assign(head[0], 0);
  return ReadDescriptor(value, language, descriptor->data(), head[0]);
}

void CCyDriverDevice::ReadIdentity() {
  std::array<std::uint8_t, 18> descriptor{};
  if (ReadDescriptor(kDeviceDescriptorValue, 0, descriptor.data(), descriptor.size())) {
    device_descriptor_ = descriptor;
  }
  ReadLanguage();
  ReadString(device_descriptor_[14], &manufacturer_);
  ReadString(device_descriptor_[15], &product_);
  ReadString(device_descriptor_[16], &serial_number_);
  ReadDriverVersion();
  ReadConfigurations();
}

void CCyDriverDevice::ReadLanguage() {
  std::vector<std::uint8_t> list;
  if (!ReadStringDescriptor(0, 0, &list) || list.size() < 4) return;
  language_id_ = platform::ReadLe16(list.data() + 2);
  for (std::size_t offset = 2; offset + 2 <= list.size(); offset += 2) {
    if (platform::ReadLe16(list.data() + offset) == kCyEnglishUs) language_id_ = kCyEnglishUs;
  }
}

void CCyDriverDevice::ReadString(std::uint8_t string_index,
                                 std::array<std::uint8_t, kCyStringSize>* text) {
  // Index 0 means the device has no such string; asking for it would fetch the language list.
  if (string_index == 0) return;
  std::vector<std::uint8_t> descriptor;
  if (!ReadStringDescriptor(string_index, language_id_, &descriptor)) return;
  if (descriptor.size() <= 2 || descriptor[1] != kStringType) return;
  text->fill(0);
  std::copy(descriptor.begin() + 2, descriptor.end(), text->begin());
}

void CCyDriverDevice::ReadDriverVersion() {
  std::uint8_t version[4] = {};
  std::uint32_t returned = 0;
  const std::uint32_t result = platform::CurrentUsbDriverIo().IoControl(
      handle_, platform::kCyGetDriverVersion, version, sizeof version, version, sizeof version,
      &returned, nullptr);
  if (result == 0 && returned == sizeof version) driver_version_ = platform::ReadLe32(version);
}

void CCyDriverDevice::ReadConfigurations() {
  const std::uint8_t configuration_count = device_descriptor_[17];
  for (std::uint8_t i = 0; i < configuration_count; ++i) {
    const auto value = static_cast<std::uint16_t>(kConfigurationValue | i);
    std::uint8_t head[kConfigurationHeaderSize] = {};
    if (!ReadDescriptor(value, 0, head, sizeof head)) continue;
    const std::uint16_t total = platform::ReadLe16(head + 2);
    if (total < sizeof head) continue;
    std::vector<std::uint8_t> configuration(total, 0);
    if (!ReadDescriptor(value, 0, configuration.data(), total)) continue;
    AddEndPoints(configuration);
    configurations_.push_back(std::move(configuration));
  }
}

void CCyDriverDevice::AddEndPoints(const std::vector<std::uint8_t>& configuration) {
  // Walk the descriptors by their length bytes; one that is too short or runs past the end
  // stops the walk rather than being read beyond the data.
  std::size_t offset = 0;
  while (offset + 2 <= configuration.size()) {
    const std::uint8_t length = configuration[offset];
    if (length < 2 || offset + length > configuration.size()) break;
    if (configuration[offset + 1] == kEndpointType && length >= kEndpointDescriptorSize) {
      endpoints_.push_back(MakeCyEndPoint(handle_, configuration.data() + offset));
    }
    offset += length;
  }
}

}  // namespace flashwright
