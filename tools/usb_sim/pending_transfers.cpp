#include "tools/usb_sim/pending_transfers.h"

#include <algorithm>
#include <utility>

#include "platform/usb_driver_requests.h"

namespace flashwright::usbsim {

TransferOutcome CancelledOutcome() {
  TransferOutcome outcome;
  outcome.error = platform::kErrorOperationAborted;
  outcome.nt_status = platform::kNtStatusCancelled;
  outcome.usbd_status = platform::kUsbdStatusCanceled;
  return outcome;
}

TransferOutcome DeviceGoneOutcome() {
  TransferOutcome outcome;
  outcome.error = platform::kErrorDeviceNotConnected;
  outcome.nt_status = platform::kNtStatusNoSuchDevice;
  outcome.usbd_status = platform::kUsbdStatusDeviceGone;
  return outcome;
}

std::uint32_t WriteOutcome(const TransferOutcome& outcome, std::uint8_t* block,
                           std::uint32_t data_offset) {
  platform::WriteLe32(block + platform::kTransferNtStatusOffset, outcome.nt_status);
  platform::WriteLe32(block + platform::kTransferUsbdStatusOffset, outcome.usbd_status);
  if (outcome.error != 0) return platform::kTransferHeaderSize;
  std::copy(outcome.data.begin(), outcome.data.end(), block + data_offset);
  return data_offset + outcome.moved;
}

PendingTransfers::PendingTransfers() : thread_([this] { Run(); }) {}

PendingTransfers::~PendingTransfers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (Transfer& transfer : transfers_) End(transfer, CancelledOutcome());
    transfers_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

void PendingTransfers::Add(Transfer transfer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || open_handles_.count(transfer.handle) == 0) {
      End(transfer, CancelledOutcome());
      return;
    }
    transfers_.push_back(std::move(transfer));
  }
  changed_.notify_all();
}

void PendingTransfers::HandleOpened(platform::DriverHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  open_handles_.insert(handle);
}

void PendingTransfers::HandleClosed(platform::DriverHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  open_handles_.erase(handle);
  std::erase_if(transfers_, [&](Transfer& transfer) {
    if (transfer.handle != handle) return false;
    End(transfer, CancelledOutcome());
    return true;
  });
}

void PendingTransfers::CancelEndpoint(const DeviceFirmware* device, std::uint8_t endpoint) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(transfers_, [&](Transfer& transfer) {
    if (transfer.device != device || transfer.endpoint != endpoint) return false;
    End(transfer, CancelledOutcome());
    return true;
  });
}

void PendingTransfers::DeviceGone(const DeviceFirmware* device) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(transfers_, [&](Transfer& transfer) {
    if (transfer.device != device || transfer.answered) return false;
    End(transfer, DeviceGoneOutcome());
    return true;
  });
}

// Called with the lock held: the caller's block and overlapped stay valid until the transfer
// has ended, and a close waits for the lock, so nothing is written after the close returned.
void PendingTransfers::End(Transfer& transfer, const TransferOutcome& outcome) {
  const std::uint32_t returned = WriteOutcome(outcome, transfer.block, transfer.data_offset);
  transfer.overlapped->Complete(outcome.error, returned);
}

void PendingTransfers::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    auto next = transfers_.end();
    for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
      if (it->answered && (next == transfers_.end() || it->due < next->due)) next = it;
    }
    if (next == transfers_.end()) {
      changed_.wait(lock);
    } else if (Clock::now() < next->due) {
      changed_.wait_until(lock, next->due);
    } else {
      End(*next, next->outcome);
      transfers_.erase(next);
    }
  }
}

}  // namespace flashwright::usbsim
