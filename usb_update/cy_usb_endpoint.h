// The endpoints of a device served by the CyUSB driver. Each object wraps the driver's transfer
// requests for one endpoint of the open device and shares the device's handle; the device
// object (CCyDriverDevice) owns them.
//
// A transfer is one driver request on a transfer block: a 38-byte header (setup packet,
// timeout, endpoint, the two status words the driver fills in, the data offset and length),
// followed by the data for control and buffered transfers. Control transfers on endpoint 0 are
// the only ones the program makes; the data transfers of the other endpoint kinds are not
// supported here and fail with kErrorNotSupported.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/usb_driver_io.h"

namespace flashwright {

// A transfer block, allocated by a start operation and freed by CompleteTransfer.
using CyTransferBlock = std::vector<std::uint8_t>;

inline constexpr std::uint32_t kCyDefaultTimeoutMs = 10000;
inline constexpr std::uint32_t kCyDirectMode = 1;    // the caller's buffer goes to the driver
inline constexpr std::uint32_t kCyBufferedMode = 0;  // the data travels inside the block

// Transfer types, bits 0-1 of bmAttributes.
inline constexpr std::uint8_t kCyControlType = 0;
inline constexpr std::uint8_t kCyIsochronousType = 1;
inline constexpr std::uint8_t kCyBulkType = 2;
inline constexpr std::uint8_t kCyInterruptType = 3;

// The timeout field of a transfer block: whole seconds, but never 0 for a timeout that is not
// 0 itself (the driver reads 0 as "no limit").
std::uint32_t CyTimeoutSeconds(std::uint32_t timeout_ms);

class CCyUSBEndPoint {
 public:
  // From a 7-byte endpoint descriptor.
  CCyUSBEndPoint(platform::DriverHandle handle, const std::uint8_t* descriptor);
  virtual ~CCyUSBEndPoint() = default;
  CCyUSBEndPoint(const CCyUSBEndPoint&) = delete;
  CCyUSBEndPoint& operator=(const CCyUSBEndPoint&) = delete;

  // Slot 0: a direct transfer (the caller's buffer is the request's output). Not supported.
  virtual std::unique_ptr<CyTransferBlock> StartDirectTransfer(std::uint8_t* buffer,
                                                               std::int32_t length,
                                                               platform::DriverOverlapped* overlapped);
  // Slot 1: a buffered transfer (the data travels in the block). Not supported.
  virtual std::unique_ptr<CyTransferBlock> StartBufferedTransfer(
      std::uint8_t* buffer, std::int32_t length, platform::DriverOverlapped* overlapped);
  // Slot 2: starts one transfer of `length` bytes and records the driver's code in last_error.
  // Null when nothing was started (invalid handle, bad length, not supported).
  virtual std::unique_ptr<CyTransferBlock> StartTransfer(std::uint8_t* buffer, std::int32_t length,
                                                         platform::DriverOverlapped* overlapped) = 0;
  // Slot 3: takes the outcome of a transfer that has ended (without an overlapped: of the
  // synchronous request just made), sets `*length` to the data count, copies input data of a
  // buffered transfer into `buffer`, and frees the block. True when the request succeeded and
  // both status words are 0.
  virtual bool CompleteTransfer(std::uint8_t* buffer, std::int32_t* length,
                                platform::DriverOverlapped* overlapped,
                                std::unique_ptr<CyTransferBlock> block);

  // Waits for a started transfer to end, at most `timeout` ms; one that does not end in time
  // is aborted (and then waited for until it has ended, since the driver still holds its
  // block) and counts as failed.
  bool AwaitTransfer(platform::DriverOverlapped* overlapped);
  // Start, await, complete: one transfer with its own event.
  bool RunTransfer(std::uint8_t* buffer, std::int32_t* length);

  bool ResetEndpoint();
  bool AbortEndpoint();

  platform::DriverHandle device_handle;
  std::uint8_t descriptor_length = 0;
  std::uint8_t descriptor_type = 0;
  std::uint8_t address = 0;
  std::uint8_t attributes = 0;
  std::uint16_t max_packet_size = 0;
  std::uint16_t transactions_per_microframe = 1;
  std::uint8_t interval = 0;
  std::uint32_t timeout = kCyDefaultTimeoutMs;
  std::uint32_t usbd_status = 0;
  std::uint32_t nt_status = 0;
  std::int32_t bytes_transferred = 0;
  std::uint32_t last_error = 0;
  bool is_input = false;
  std::uint32_t transfer_mode = kCyDirectMode;

 protected:
  CCyUSBEndPoint(platform::DriverHandle handle, std::uint16_t max_packet);
  // Issues a transfer request on `block` and records the code; without an overlapped the
  // request is synchronous and its returned byte count is kept for CompleteTransfer.
  void IssueRequest(std::uint32_t code, CyTransferBlock& block,
                    platform::DriverOverlapped* overlapped);
  // A request taking the endpoint address only (reset, abort).
  bool AddressRequest(std::uint32_t code);

 private:
  std::uint32_t sync_returned_ = 0;
};

// Endpoint 0. Set the parts of the setup packet, then TransferIn or TransferOut.
class CCyControlEndPoint : public CCyUSBEndPoint {
 public:
  CCyControlEndPoint(platform::DriverHandle handle, std::uint16_t max_packet_size0);

  std::unique_ptr<CyTransferBlock> StartTransfer(std::uint8_t* buffer, std::int32_t length,
                                                 platform::DriverOverlapped* overlapped) override;

  // Direction 1 (device to host) and 0 (host to device); `*length` in: the byte count,
  // out: the data count of the transfer.
  bool TransferIn(std::uint8_t* buffer, std::int32_t* length);
  bool TransferOut(std::uint8_t* buffer, std::int32_t* length);

  std::uint32_t recipient = 0;     // 0 device
  std::uint32_t request_type = 2;  // 2 vendor (0 standard, 1 class)
  std::uint32_t direction = 0;     // 0 host to device, 1 device to host
  std::uint8_t request_code = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
};

// Bulk, interrupt and isochronous endpoints start their transfers through slot 0 or 1, which
// this program does not support.
class CCyBulkEndPoint : public CCyUSBEndPoint {
 public:
  using CCyUSBEndPoint::CCyUSBEndPoint;
  std::unique_ptr<CyTransferBlock> StartTransfer(std::uint8_t* buffer, std::int32_t length,
                                                 platform::DriverOverlapped* overlapped) override;
};

class CCyInterruptEndPoint : public CCyUSBEndPoint {
 public:
  using CCyUSBEndPoint::CCyUSBEndPoint;
  std::unique_ptr<CyTransferBlock> StartTransfer(std::uint8_t* buffer, std::int32_t length,
                                                 platform::DriverOverlapped* overlapped) override;
};

class CCyIsocEndPoint : public CCyUSBEndPoint {
 public:
  using CCyUSBEndPoint::CCyUSBEndPoint;
  std::unique_ptr<CyTransferBlock> StartTransfer(std::uint8_t* buffer, std::int32_t length,
                                                 platform::DriverOverlapped* overlapped) override;
};

// The endpoint object for an endpoint descriptor, of the class its transfer type selects.
std::unique_ptr<CCyUSBEndPoint> MakeCyEndPoint(platform::DriverHandle handle,
                                               const std::uint8_t* descriptor);

}  // namespace flashwright
