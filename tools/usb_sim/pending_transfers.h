// The CyUSB driver's transfers that have been accepted and not yet ended, and the thread that
// ends them once the device has answered. Everything that ends a transfer (the answer, an
// abort, a close, the device leaving, the driver layer going away) goes through here, under
// one lock, so a transfer ends exactly once and never after its handle is closed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/usb_driver_io.h"

namespace flashwright::usbsim {

class DeviceFirmware;

// What ends up in a transfer block and its overlapped.
struct TransferOutcome {
  std::uint32_t error = 0;  // the overlapped's result
  std::uint32_t nt_status = 0;
  std::uint32_t usbd_status = 0;
  std::vector<std::uint8_t> data;  // copied into the data area (device-to-host transfers)
  std::uint32_t moved = 0;         // data bytes transferred
};

TransferOutcome CancelledOutcome();
TransferOutcome DeviceGoneOutcome();

// Writes the status words (and on success the data) into the block and gives the byte count
// the driver returns: the header and the data moved.
std::uint32_t WriteOutcome(const TransferOutcome& outcome, std::uint8_t* block,
                           std::uint32_t data_offset);

class PendingTransfers {
 public:
  using Clock = std::chrono::steady_clock;

  struct Transfer {
    platform::DriverHandle handle = platform::kInvalidDriverHandle;
    const DeviceFirmware* device = nullptr;
    std::uint8_t endpoint = 0;
    platform::DriverOverlapped* overlapped = nullptr;  // started by the caller
    std::uint8_t* block = nullptr;
    std::uint32_t data_offset = 0;
    TransferOutcome outcome;
    bool answered = true;   // false: the device never answers; ends by abort, close or removal
    Clock::time_point due{};  // when an answered transfer ends
  };

  PendingTransfers();
  // Ends every transfer still pending as cancelled, so that no waiter is left hanging.
  ~PendingTransfers();
  PendingTransfers(const PendingTransfers&) = delete;
  PendingTransfers& operator=(const PendingTransfers&) = delete;

  // A transfer added for a handle that is not open (closed while the request was on its way)
  // ends at once, cancelled, as a close ends every transfer of its handle.
  void Add(Transfer transfer);
  void HandleOpened(platform::DriverHandle handle);
  // End the matching transfers at once: cancelled, or (DeviceGone) the device gone. Only
  // transfers the device has not answered end as gone; an answer already given is delivered.
  void HandleClosed(platform::DriverHandle handle);
  void CancelEndpoint(const DeviceFirmware* device, std::uint8_t endpoint);
  void DeviceGone(const DeviceFirmware* device);

 private:
  void Run();
  static void End(Transfer& transfer, const TransferOutcome& outcome);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Transfer> transfers_;
  std::set<platform::DriverHandle> open_handles_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace flashwright::usbsim
