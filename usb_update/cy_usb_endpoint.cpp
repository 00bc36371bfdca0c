#include "usb_update/cy_usb_endpoint.h"

#include <algorithm>
#include <cstring>

#include "platform/usb_driver_requests.h"

namespace flashwright {

using platform::DriverOverlapped;
using platform::kTransferHeaderSize;

std::uint32_t CyTimeoutSeconds(std::uint32_t timeout_ms) {
  if (timeout_ms >= 1 && timeout_ms <= 999) return 1;
  return timeout_ms / 1000;
}

CCyUSBEndPoint::CCyUSBEndPoint(platform::DriverHandle handle, const std::uint8_t* descriptor)
    : device_handle(handle) {
  descriptor_length = descriptor[0];
  descriptor_type = descriptor[1];
  address = descriptor[2];
  attributes = descriptor[3];
  const std::uint16_t packet_field = platform::ReadLe16(descriptor + 4);
  transactions_per_microframe = static_cast<std::uint16_t>(1 + ((packet_field >> 11) & 0x3));
  max_packet_size = static_cast<std::uint16_t>((packet_field & 0x7FF) * transactions_per_microframe);
  interval = descriptor[6];
  is_input = (address & 0x80) != 0;
}

CCyUSBEndPoint::CCyUSBEndPoint(platform::DriverHandle handle, std::uint16_t max_packet)
    : device_handle(handle), descriptor_length(7), descriptor_type(5), max_packet_size(max_packet) {}

std::unique_ptr<CyTransferBlock> CCyUSBEndPoint::StartDirectTransfer(std::uint8_t*, std::int32_t,
                                                                     DriverOverlapped*) {
  last_error = platform::kErrorNotSupported;
  return nullptr;
}

std::unique_ptr<CyTransferBlock> CCyUSBEndPoint::StartBufferedTransfer(std::uint8_t*,
                                                                       std::int32_t,
                                                                       DriverOverlapped*) {
  last_error = platform::kErrorNotSupported;
  return nullptr;
}

void CCyUSBEndPoint::IssueRequest(std::uint32_t code, CyTransferBlock& block,
                                  DriverOverlapped* overlapped) {
  const auto size = static_cast<std::uint32_t>(block.size());
  sync_returned_ = 0;
  std::uint32_t returned = 0;
  last_error = platform::CurrentUsbDriverIo().IoControl(device_handle, code, block.data(), size,
                                                        block.data(), size, &returned, overlapped);
  if (overlapped == nullptr) sync_returned_ = returned;
}

bool CCyUSBEndPoint::CompleteTransfer(std::uint8_t* buffer, std::int32_t* length,
                                      DriverOverlapped* overlapped,
                                      std::unique_ptr<CyTransferBlock> block) {
  bytes_transferred = 0;
  if (length != nullptr) *length = 0;
  if (block == nullptr) return false;

  std::uint32_t returned = sync_returned_;
  std::uint32_t result = last_error;
  if (overlapped != nullptr) {
    result = overlapped->Result(&returned);
    if (result == platform::kErrorIoIncomplete) {
      // The block must not be freed while the driver still writes into it.
      overlapped->Wait(platform::kWaitForever);
      result = overlapped->Result(&returned);
    }
  }

  // The count is taken against the data area this block really has, whatever the driver
  // claims, so that a bad count can neither underflow nor reach past the block.
  const std::uint32_t data_capacity = static_cast<std::uint32_t>(block->size() - kTransferHeaderSize);
  std::uint32_t count = returned > kTransferHeaderSize ? returned - kTransferHeaderSize : 0;
  count = std::min(count, data_capacity);
  bytes_transferred = static_cast<std::int32_t>(count);
  if (length != nullptr) *length = bytes_transferred;

  const platform::TransferHeader header = platform::ReadTransferHeader(block->data());
  usbd_status = header.usbd_status;
  nt_status = header.nt_status;
  if (is_input && transfer_mode == kCyBufferedMode && count > 0 && buffer != nullptr) {
    std::memcpy(buffer, block->data() + kTransferHeaderSize, count);
  }
  return result == 0 && usbd_status == 0 && nt_status == 0;
}

bool CCyUSBEndPoint::AwaitTransfer(DriverOverlapped* overlapped) {
  if (last_error == 0) return true;
  if (last_error != platform::kErrorIoPending || overlapped == nullptr) return false;
  if (overlapped->Wait(timeout) == platform::kWaitSignalled) return true;
  AbortEndpoint();
  overlapped->Wait(platform::kWaitForever);
  return false;
}

bool CCyUSBEndPoint::RunTransfer(std::uint8_t* buffer, std::int32_t* length) {
  DriverOverlapped overlapped;
  std::unique_ptr<CyTransferBlock> block =
      StartTransfer(buffer, length != nullptr ? *length : 0, &overlapped);
  const bool waited = block != nullptr && AwaitTransfer(&overlapped);
  const bool completed = CompleteTransfer(buffer, length, &overlapped, std::move(block));
  return waited && completed;
}

bool CCyUSBEndPoint::AddressRequest(std::uint32_t code) {
  if (device_handle == platform::kInvalidDriverHandle) return false;
  std::uint8_t endpoint = address;
  std::uint32_t returned = 0;
  const std::uint32_t result = platform::CurrentUsbDriverIo().IoControl(
      device_handle, code, &endpoint, 1, nullptr, 0, &returned, nullptr);
  return result == 0 && returned == 0;
}

bool CCyUSBEndPoint::ResetEndpoint() { return AddressRequest(platform::kCyResetPipe); }

bool CCyUSBEndPoint::AbortEndpoint() { return AddressRequest(platform::kCyAbortPipe); }

CCyControlEndPoint::CCyControlEndPoint(platform::DriverHandle handle, std::uint16_t max_packet_size0)
    : CCyUSBEndPoint(handle, max_packet_size0) {
  transfer_mode = kCyBufferedMode;
}

std::unique_ptr<CyTransferBlock> CCyControlEndPoint::StartTransfer(std::uint8_t* buffer,
                                                                   std::int32_t length,
                                                                   DriverOverlapped* overlapped) {
  if (device_handle == platform::kInvalidDriverHandle) {
    last_error = platform::kErrorInvalidHandle;
    return nullptr;
  }
  // wLength is 16 bits wide; a length that does not fit, or data that is not there, is refused
  // before anything reaches the driver.
  if (length < 0 || length > 0xFFFF || (length > 0 && buffer == nullptr)) {
    last_error = platform::kErrorInvalidParameter;
    return nullptr;
  }
  const auto count = static_cast<std::uint32_t>(length);
  auto block = std::make_unique<CyTransferBlock>(kTransferHeaderSize + count, 0);

  platform::TransferHeader header;
  header.setup.request_type = static_cast<std::uint8_t>(direction << 7 | (request_type << 5 & 0x60) |
                                                        (recipient & 0x1F));
  header.setup.request = request_code;
  header.setup.value = value;
  header.setup.index = index;
  header.setup.length = static_cast<std::uint16_t>(count);
  header.timeout_seconds = CyTimeoutSeconds(timeout);
  header.endpoint = 0;
  header.data_offset = static_cast<std::uint32_t>(kTransferHeaderSize);
  header.data_length = count;
  platform::WriteTransferHeader(header, block->data());
  if (count > 0) std::memcpy(block->data() + kTransferHeaderSize, buffer, count);

  is_input = direction == 1;
  IssueRequest(platform::kCySendEp0Control, *block, overlapped);
  return block;
}

bool CCyControlEndPoint::TransferIn(std::uint8_t* buffer, std::int32_t* length) {
  direction = 1;
  return RunTransfer(buffer, length);
}

bool CCyControlEndPoint::TransferOut(std::uint8_t* buffer, std::int32_t* length) {
  direction = 0;
  return RunTransfer(buffer, length);
}

namespace {

std::unique_ptr<CyTransferBlock> StartDataTransfer(CCyUSBEndPoint& endpoint, std::uint8_t* buffer,
                                                   std::int32_t length,
                                                   DriverOverlapped* overlapped) {
  return endpoint.transfer_mode == kCyDirectMode
             ? endpoint.StartDirectTransfer(buffer, length, overlapped)
             : endpoint.StartBufferedTransfer(buffer, length, overlapped);
}

}  // namespace

std::unique_ptr<CyTransferBlock> CCyBulkEndPoint::StartTransfer(std::uint8_t* buffer,
                                                                std::int32_t length,
                                                                DriverOverlapped* overlapped) {
  return StartDataTransfer(*this, buffer, length, overlapped);
}

std::unique_ptr<CyTransferBlock> CCyInterruptEndPoint::StartTransfer(std::uint8_t* buffer,
                                                                     std::int32_t length,
                                                                     DriverOverlapped* overlapped) {
  return StartDataTransfer(*this, buffer, length, overlapped);
}

std::unique_ptr<CyTransferBlock> CCyIsocEndPoint::StartTransfer(std::uint8_t* buffer,
                                                                std::int32_t length,
                                                                DriverOverlapped* overlapped) {
  return StartDataTransfer(*this, buffer, length, overlapped);
}

std::unique_ptr<CCyUSBEndPoint> MakeCyEndPoint(platform::DriverHandle handle,
                                               const std::uint8_t* descriptor) {
  switch (descriptor[3] & 0x3) {
    case kCyIsochronousType:
      return std::make_unique<CCyIsocEndPoint>(handle, descriptor);
    case kCyBulkType:
      return std::make_unique<CCyBulkEndPoint>(handle, descriptor);
    case kCyInterruptType:
      return std::make_unique<CCyInterruptEndPoint>(handle, descriptor);
    default: {
      auto control = std::make_unique<CCyControlEndPoint>(
          handle, static_cast<std::uint16_t>(platform::ReadLe16(descriptor + 4) & 0x7FF));
      control->descriptor_length = descriptor[0];
      control->descriptor_type = descriptor[1];
      control->address = descriptor[2];
      control->attributes = descriptor[3];
      control->interval = descriptor[6];
      return control;
    }
  }
}

}  // namespace flashwright
