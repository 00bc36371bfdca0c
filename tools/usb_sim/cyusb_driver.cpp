#include "tools/usb_sim/cyusb_driver.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/usb_driver_requests.h"
#include "tools/usb_sim/legacy_ezusb_driver.h"
#include "tools/usb_sim/usb_descriptors.h"

namespace flashwright::usbsim {
namespace {

using namespace platform;

constexpr std::uint32_t kUsbdiVersion = 0x00000600;
constexpr std::uint32_t kHighSpeed = 2;
constexpr std::uint32_t kNameSize = 256;

bool KnownEndpoint(std::uint8_t address) {
  return address == 0 || address == kBulkOutEndpoint || address == kBulkInEndpoint ||
         address == kInterruptInEndpoint;
}

// The driver's fixed-size answers: the caller checks that the returned count equals the size
// it asked for, so a larger buffer gets the same count as an exact one.
std::uint32_t FixedAnswer(const void* answer, std::uint32_t size, void* out,
                          std::uint32_t out_size, std::uint32_t* returned) {
  if (out == nullptr || out_size < size) return kErrorInsufficientBuffer;
  std::memcpy(out, answer, size);
  *returned = size;
  return 0;
}

std::uint32_t NameAnswer(const std::string& name, void* out, std::uint32_t out_size,
                         std::uint32_t* returned) {
  char text[kNameSize] = {};
  std::memcpy(text, name.data(), std::min<std::size_t>(name.size(), kNameSize - 1));
  return FixedAnswer(text, kNameSize, out, out_size, returned);
}

TransferOutcome OutcomeOf(DeviceAnswer& answer) {
  TransferOutcome outcome;
  switch (answer.reply) {
    case DeviceReply::kDone:
      outcome.data = std::move(answer.data);
      outcome.moved = answer.moved;
      break;
    case DeviceReply::kStall:
      outcome.error = kErrorGenFailure;
      outcome.nt_status = kNtStatusUnsuccessful;
      outcome.usbd_status = kUsbdStatusStallPid;
      break;
    case DeviceReply::kGone:
    case DeviceReply::kNever:  // ends as gone only if the device leaves before an abort
      outcome = DeviceGoneOutcome();
      break;
    case DeviceReply::kFailed:
      outcome.error = answer.code;
      outcome.nt_status = kNtStatusUnsuccessful;
      outcome.usbd_status =
          answer.code == kErrorDeviceRemoved || answer.code == kErrorDeviceNotConnected
              ? kUsbdStatusDeviceGone
              : kUsbdStatusStallPid;
      break;
  }
  return outcome;
}

}  // namespace

std::uint32_t CyUsbDriver::Request(const CyUsbTarget& target, std::uint32_t code, const void* in,
                                   std::uint32_t in_size, void* out, std::uint32_t out_size,
                                   std::uint32_t* returned, DriverOverlapped* overlapped) {
  *returned = 0;
  if (code == kCySendEp0Control) {
    return ControlTransfer(target, in, in_size, out, out_size, returned, overlapped);
  }
  // Everything else ends before the call returns.
  const std::uint32_t error = Query(target, code, in, in_size, out, out_size, returned);
  if (overlapped != nullptr) {
    overlapped->Start();
    overlapped->Complete(error, *returned);
  }
  return error;
}

std::uint32_t CyUsbDriver::Query(const CyUsbTarget& target, std::uint32_t code, const void* in,
                                 std::uint32_t in_size, void* out, std::uint32_t out_size,
                                 std::uint32_t* returned) {
  DeviceFirmware& device = *target.device;
  const DeviceProfile& profile = *target.profile;
  switch (code) {
    case kCyResetPipe:
    case kCyAbortPipe: {
      if (in == nullptr || in_size < 1) return kErrorInvalidParameter;
      const std::uint8_t endpoint = *static_cast<const std::uint8_t*>(in);
      if (!KnownEndpoint(endpoint)) return kErrorInvalidParameter;
      if (code == kCyResetPipe) return device.Reset() ? 0 : kErrorDeviceNotConnected;
      const bool plugged = device.Abort();
      pending_.CancelEndpoint(&device, endpoint);
      return plugged ? 0 : kErrorDeviceNotConnected;
    }
    default:
      break;
  }
  if (!device.Plugged()) return kErrorDeviceNotConnected;
  std::uint8_t word[4];
  switch (code) {
    case kCyGetDriverVersion:
      WriteLe32(word, profile.driver_version);
      return FixedAnswer(word, 4, out, out_size, returned);
    case kCyGetUsbdiVersion:
      WriteLe32(word, kUsbdiVersion);
      return FixedAnswer(word, 4, out, out_size, returned);
    case kCyGetAltInterface:
      word[0] = 0;
      return FixedAnswer(word, 1, out, out_size, returned);
    case kCyGetAddress:
      return FixedAnswer(&target.address, 1, out, out_size, returned);
    case kCyGetDeviceName:
      return NameAnswer(profile.product, out, out_size, returned);
    case kCyGetFriendlyName:
      return NameAnswer(profile.manufacturer.empty() ? profile.product
                                                  : profile.manufacturer + " " + profile.product,
                        out, out_size, returned);
    case kCyGetSpeed:
      WriteLe32(word, kHighSpeed);
      return FixedAnswer(word, 4, out, out_size, returned);
    default:
      // Transfers on the other endpoints (buffered and direct) are not served: the device's
      // firmware does all its work on endpoint 0.
      return kErrorInvalidFunction;
  }
}

std::uint32_t CyUsbDriver::ControlTransfer(const CyUsbTarget& target, const void* in,
                                           std::uint32_t in_size, void* out,
                                           std::uint32_t out_size, std::uint32_t* returned,
                                           DriverOverlapped* overlapped) {
  // A malformed block fails at once; the overlapped carries the failure too, so that a caller
  // that asks it for the outcome does not take the request for a success.
  const auto refuse = [overlapped] {
    if (overlapped != nullptr) {
      overlapped->Start();
      overlapped->Complete(kErrorInvalidParameter, 0);
    }
    return kErrorInvalidParameter;
  };
  if (in == nullptr || out == nullptr || in_size < kTransferHeaderSize ||
      out_size < kTransferHeaderSize) {
    return refuse();
  }
  const auto* request = static_cast<const std::uint8_t*>(in);
  const TransferHeader header = ReadTransferHeader(request);
  const std::uint64_t data_end = std::uint64_t{header.data_offset} + header.setup.length;
  if (header.endpoint != 0 || header.data_offset < kTransferHeaderSize ||
      header.setup.length > header.data_length || data_end > in_size || data_end > out_size) {
    return refuse();
  }

  const bool to_device = (header.setup.request_type & 0x80) == 0;
  DeviceAnswer answer =
      target.device->Control(header.setup, to_device ? request + header.data_offset : nullptr);

  PendingTransfers::Transfer transfer;
  transfer.handle = target.handle;
  transfer.device = target.device;
  transfer.endpoint = 0;
  transfer.block = static_cast<std::uint8_t*>(out);
  transfer.data_offset = header.data_offset;
  transfer.answered = answer.reply != DeviceReply::kNever;
  transfer.due = answer.ready;
  transfer.outcome = OutcomeOf(answer);

  // A request without an overlapped structure is waited for here, however it ends.
  DriverOverlapped own;
  transfer.overlapped = overlapped != nullptr ? overlapped : &own;
  transfer.overlapped->Start();

  if (complete_at_once_ && transfer.answered) {
    // Some systems' sleeps end a little early: the answer is never given before it is due.
    while (std::chrono::steady_clock::now() < transfer.due) {
      std::this_thread::sleep_until(transfer.due);
    }
    *returned = WriteOutcome(transfer.outcome, transfer.block, transfer.data_offset);
    transfer.overlapped->Complete(transfer.outcome.error, *returned);
    return transfer.outcome.error;
  }
  pending_.Add(std::move(transfer));
  if (overlapped != nullptr) return kErrorIoPending;
  own.Wait(kWaitForever);
  return own.Result(returned);
}

}  // namespace flashwright::usbsim
