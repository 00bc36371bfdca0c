// The system's driver layer on Linux: the CyUSB driver's requests served over libusb-1.0.
//
// The members of the CyUSB device-interface class are the USB devices that
// FLASHWRIGHT_USB_IDS matches, in bus and address order; a member's path is "usb:<bus>:<address>".
// Its location is the kernel's name for its place, from its bus and hub port numbers ("1-3.2").
// A control transfer block becomes an asynchronous libusb control transfer with the block's
// time-out; it completes the caller's overlapped request from the layer's event thread, which
// runs while any device is open. There is no legacy EZ-USB driver on Linux: its device names
// never open.
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"
#include "platform/usb_id_filter.h"

namespace flashwright::platform {
namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::size_t kNameBufferSize = 256;
constexpr char kPathFormat[] = "usb:%u:%u";

std::uint32_t OpenErrorCode(int libusb_error) {
  switch (libusb_error) {
    case LIBUSB_ERROR_ACCESS: return kErrorAccessDenied;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return kErrorFileNotFound;
    case LIBUSB_ERROR_NO_MEM: return kErrorNotEnoughMemory;
    default: return kErrorGenFailure;
  }
}

// What a finished transfer leaves in the block's status words and as the request's code.
struct TransferOutcome {
  std::uint32_t error = 0;
  std::uint32_t usbd_status = 0;
  std::uint32_t nt_status = 0;
};

TransferOutcome OutcomeOf(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return {};
    case LIBUSB_TRANSFER_STALL:
      return {kErrorGenFailure, kUsbdStatusStallPid, kNtStatusUnsuccessful};
    case LIBUSB_TRANSFER_NO_DEVICE:
      return {kErrorDeviceNotConnected, kUsbdStatusDeviceGone, kNtStatusNoSuchDevice};
    case LIBUSB_TRANSFER_TIMED_OUT:
      return {kErrorSemTimeout, kUsbdStatusCanceled, kNtStatusUnsuccessful};
    case LIBUSB_TRANSFER_CANCELLED:
      return {kErrorOperationAborted, kUsbdStatusCanceled, kNtStatusCancelled};
    default: return {kErrorGenFailure, kUsbdStatusCanceled, kNtStatusUnsuccessful};
  }
}

// libusb counts in milliseconds, 0 being no limit; a limit too long for that is no limit either.
unsigned TimeoutMs(std::uint32_t seconds) {
  const std::uint64_t ms = static_cast<std::uint64_t>(seconds) * 1000u;
  return ms > std::numeric_limits<unsigned>::max() ? 0 : static_cast<unsigned>(ms);
}

struct MemberDevice {
  libusb_device* device = nullptr;
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
};

class LibusbDriverIo;

// One control transfer in flight.
struct PendingTransfer {
  LibusbDriverIo* owner = nullptr;
  DriverHandle handle = kInvalidDriverHandle;
  libusb_transfer* transfer = nullptr;
  std::vector<unsigned char> buffer;  // setup packet and data, as libusb wants them
  std::uint8_t* block = nullptr;      // the caller's transfer block
  std::uint32_t data_offset = 0;
  bool input = false;
  DriverOverlapped* overlapped = nullptr;
  // A synchronous request's own overlapped, shared with its waiting caller so that it lives
  // until both are done with it.
  std::shared_ptr<DriverOverlapped> own_overlapped;
};

struct OpenDevice {
  libusb_device_handle* device = nullptr;
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
  std::set<PendingTransfer*> pending;
  // Requests that are using `device` now; Close lets it go only when none is left.
  unsigned users = 0;
  // Close has begun: no new request may use the handle.
  bool closing = false;
};

class LibusbDriverIo : public UsbDriverIo {
 public:
  ~LibusbDriverIo() override {
    std::vector<DriverHandle> open;
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      for (const auto& entry : handles_) open.push_back(entry.first);
    }
    for (const DriverHandle handle : open) Close(handle);
  }

  std::uint32_t InterfaceMemberPath(const InterfaceClassId& cls, std::uint32_t index,
                                    std::string* path) override {
    if (path != nullptr) path->clear();
    if (!(cls == kCyUsbInterfaceClass)) return kErrorNoMoreItems;
    std::uint32_t result = kErrorNoMoreItems;
    std::uint32_t position = 0;
    ForEachMember([&](const MemberDevice& member) {
      if (position++ < index) return true;
      char text[32];
      std::snprintf(text, sizeof text, kPathFormat, member.bus, member.address);
      if (path != nullptr) *path = text;
      result = 0;
      return false;
    });
    return result;
  }

  std::uint32_t DeviceLocation(const std::string& path, std::string* location) override {
    if (location != nullptr) location->clear();
    unsigned bus = 0;
    unsigned address = 0;
    char tail = 0;
    if (std::sscanf(path.c_str(), "usb:%u:%u%c", &bus, &address, &tail) != 2) {
      return kErrorFileNotFound;
    }
    std::uint32_t result = kErrorFileNotFound;
    ForEachMember([&](const MemberDevice& member) {
      if (member.bus != bus || member.address != address) return true;
      result = LocationOf(member, location);
      return false;
    });
    return result;
  }

  DriverHandle Open(const std::string& path, bool /*overlapped*/, std::uint32_t* error) override {
    std::uint32_t code = kErrorFileNotFound;
    DriverHandle handle = kInvalidDriverHandle;
    unsigned bus = 0;
    unsigned address = 0;
    char tail = 0;
    if (std::sscanf(path.c_str(), "usb:%u:%u%c", &bus, &address, &tail) == 2) {
      std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
      if (AcquireContext()) {
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        if (count >= 0) {
          for (const MemberDevice& member : Members(list, count)) {
            if (member.bus != bus || member.address != address) continue;
            libusb_device_handle* device = nullptr;
            const int opened = libusb_open(member.device, &device);
            if (opened != 0) {
              code = OpenErrorCode(opened);
              break;
            }
            std::lock_guard<std::mutex> lock(state_mutex_);
            handle = next_handle_++;
            OpenDevice& entry = handles_[handle];
            entry.device = device;
            entry.bus = member.bus;
            entry.address = member.address;
            code = 0;
            break;
          }
          libusb_free_device_list(list, 1);
        }
        if (handle != kInvalidDriverHandle) {
          StartEventThread();
        } else {
          ReleaseContextIfIdle();
        }
      }
    }
    if (error != nullptr) *error = code;
    return handle;
  }

  std::uint32_t Close(DriverHandle handle) override {
    std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
    libusb_device_handle* device = nullptr;
    {
      std::unique_lock<std::mutex> lock(state_mutex_);
      auto found = handles_.find(handle);
      if (found == handles_.end() || found->second.closing) return kErrorInvalidHandle;
      found->second.closing = true;
      for (PendingTransfer* pending : found->second.pending) {
        libusb_cancel_transfer(pending->transfer);
      }
      // The event thread completes what was cancelled, and the requests under way end (a
      // transfer they submit from now on is cancelled by themselves); only then may the
      // device handle go.
      drained_.wait(lock, [&] {
        return found->second.pending.empty() && found->second.users == 0;
      });
      device = found->second.device;
      handles_.erase(found);
    }
    libusb_close(device);
    bool idle = false;
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      idle = handles_.empty();
    }
    if (idle) {
      StopEventThread();
      ReleaseContextIfIdle();
    }
    return 0;
  }

  std::uint32_t IoControl(DriverHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t in_size, void* out, std::uint32_t out_size,
                          std::uint32_t* returned, DriverOverlapped* overlapped) override {
    std::uint32_t dummy = 0;
    if (returned == nullptr) returned = &dummy;
    *returned = 0;
    libusb_device_handle* device = nullptr;
    std::string path;
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      const auto found = handles_.find(handle);
      if (found == handles_.end() || found->second.closing) return kErrorInvalidHandle;
      ++found->second.users;
      device = found->second.device;
      char text[32];
      std::snprintf(text, sizeof text, kPathFormat, found->second.bus, found->second.address);
      path = text;
    }
    // `device` stays open until this request has ended.
    const UseOfHandle use(this, handle);
    const auto* input = static_cast<const std::uint8_t*>(in);
    auto* output = static_cast<std::uint8_t*>(out);

    switch (code) {
      case kCySendEp0Control:
        return ControlTransfer(handle, device, input, in_size, output, out_size, returned,
                               overlapped);
      case kCyResetPipe:
        if (input == nullptr || in_size < 1) return kErrorInvalidParameter;
        // A control endpoint's halt clears with the next setup packet, so endpoint 0 needs
        // no request of its own.
        if ((input[0] & 0x7F) == 0) return Finish(overlapped, 0, 0);
        return Finish(overlapped,
                      libusb_clear_halt(device, input[0]) == 0 ? 0 : kErrorGenFailure, 0);
      case kCyAbortPipe:
        if (input == nullptr || in_size < 1) return kErrorInvalidParameter;
        Abort(handle, input[0]);
        return Finish(overlapped, 0, 0);
      default:
        break;
    }

    // The queries fill exactly their buffer.
    std::vector<std::uint8_t> answer;
    libusb_device* usb_device = libusb_get_device(device);
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(usb_device, &descriptor);
    switch (code) {
      case kCyGetDriverVersion: {
        const libusb_version* version = libusb_get_version();
        const std::uint32_t packed = static_cast<std::uint32_t>(version->major & 0xFF) << 24 |
                                     static_cast<std::uint32_t>(version->minor & 0xFF) << 16 |
                                     static_cast<std::uint32_t>(version->micro & 0xFF) << 8 |
                                     static_cast<std::uint32_t>(version->nano & 0xFF);
        answer.resize(4);
        WriteLe32(answer.data(), packed);
        break;
      }
      case kCyGetUsbdiVersion:
        answer.resize(4);
        WriteLe32(answer.data(), descriptor.bcdUSB);
        break;
      case kCyGetAltInterface:
        answer.assign(1, 0);
        break;
      case kCyGetAddress:
        answer.assign(1, libusb_get_device_address(usb_device));
        break;
      case kCyGetDeviceName:
      case kCyGetFriendlyName: {
        char text[kNameBufferSize] = {};
        if (code == kCyGetDeviceName) {
          std::snprintf(text, sizeof text, "%s", path.c_str());
        } else {
          std::snprintf(text, sizeof text, "USB device %04x:%04x", descriptor.idVendor,
                        descriptor.idProduct);
        }
        answer.assign(text, text + sizeof text);
        break;
      }
      case kCyGetSpeed: {
        answer.resize(4);
        const int speed = libusb_get_device_speed(usb_device);
        WriteLe32(answer.data(), speed >= LIBUSB_SPEED_HIGH ? 2 : 1);
        break;
      }
      default:
        return kErrorNotSupported;
    }
    if (output == nullptr || out_size != answer.size()) return kErrorInvalidParameter;
    std::memcpy(output, answer.data(), answer.size());
    *returned = static_cast<std::uint32_t>(answer.size());
    return Finish(overlapped, 0, *returned);
  }

 private:
  // Ends a request's use of its handle when the request returns.
  class UseOfHandle {
   public:
    UseOfHandle(LibusbDriverIo* io, DriverHandle handle) : io_(io), handle_(handle) {}
    ~UseOfHandle() { io_->EndUse(handle_); }
    UseOfHandle(const UseOfHandle&) = delete;
    UseOfHandle& operator=(const UseOfHandle&) = delete;

   private:
    LibusbDriverIo* io_;
    DriverHandle handle_;
  };

  void EndUse(DriverHandle handle) {
    std::lock_guard<std::mutex> lock(state_mutex_);
    const auto found = handles_.find(handle);
    if (found != handles_.end() && found->second.users > 0) --found->second.users;
    drained_.notify_all();
  }

  static std::uint32_t Finish(DriverOverlapped* overlapped, std::uint32_t error,
                              std::uint32_t returned) {
    if (overlapped != nullptr) {
      overlapped->Start();
      overlapped->Complete(error, returned);
    }
    return error;
  }

  std::uint32_t ControlTransfer(DriverHandle handle, libusb_device_handle* device,
                                const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* block,
                                std::uint32_t block_size, std::uint32_t* returned,
                                DriverOverlapped* overlapped) {
    if (block == nullptr || block_size < kTransferHeaderSize) return kErrorInvalidParameter;
    if (in != nullptr && in != block) {
      std::memcpy(block, in, std::min(in_size, block_size));
    }
    const TransferHeader header = ReadTransferHeader(block);
    const std::uint32_t length = header.setup.length;
    // The data area must lie inside the block and hold the whole data stage.
    if (header.data_offset < kTransferHeaderSize || header.data_offset > block_size ||
        header.data_length > block_size - header.data_offset || length > header.data_length) {
      return kErrorInvalidParameter;
    }

    auto pending = std::make_unique<PendingTransfer>();
    pending->owner = this;
    pending->handle = handle;
    pending->block = block;
    pending->data_offset = header.data_offset;
    pending->input = (header.setup.request_type & LIBUSB_ENDPOINT_IN) != 0;
    pending->buffer.resize(LIBUSB_CONTROL_SETUP_SIZE + length);
    libusb_fill_control_setup(pending->buffer.data(), header.setup.request_type,
                              header.setup.request, header.setup.value, header.setup.index,
                              static_cast<std::uint16_t>(length));
    if (!pending->input && length > 0) {
      std::memcpy(pending->buffer.data() + LIBUSB_CONTROL_SETUP_SIZE, block + header.data_offset,
                  length);
    }
    pending->transfer = libusb_alloc_transfer(0);
    if (pending->transfer == nullptr) return kErrorNotEnoughMemory;

    std::shared_ptr<DriverOverlapped> local;
    if (overlapped == nullptr) {
      local = std::make_shared<DriverOverlapped>();
      pending->own_overlapped = local;
    }
    pending->overlapped = overlapped != nullptr ? overlapped : local.get();
    libusb_fill_control_transfer(pending->transfer, device, pending->buffer.data(),
                                 &LibusbDriverIo::TransferDone, pending.get(),
                                 TimeoutMs(header.timeout_seconds));
    pending->overlapped->Start();
    PendingTransfer* raw = pending.get();
    {
      // Listed before it is submitted, so that its completion always finds it.
      std::lock_guard<std::mutex> lock(state_mutex_);
      const auto found = handles_.find(handle);
      if (found == handles_.end() || found->second.closing) {
        libusb_free_transfer(raw->transfer);
        raw->overlapped->Complete(kErrorInvalidHandle, 0);
        return kErrorInvalidHandle;
      }
      found->second.pending.insert(raw);
    }
    const int submitted = libusb_submit_transfer(raw->transfer);
    if (submitted != 0) {
      // Never sent: the block says why, as it would for a transfer that failed on the bus.
      const TransferOutcome outcome = OutcomeOf(submitted == LIBUSB_ERROR_NO_DEVICE
                                                    ? LIBUSB_TRANSFER_NO_DEVICE
                                                    : LIBUSB_TRANSFER_ERROR);
      WriteLe32(block + kTransferNtStatusOffset, outcome.nt_status);
      WriteLe32(block + kTransferUsbdStatusOffset, outcome.usbd_status);
      raw->overlapped->Complete(outcome.error, 0);
      Unlist(raw);
      libusb_free_transfer(raw->transfer);
      return outcome.error;
    }
    pending.release();  // the completion frees it
    {
      // A Close that began meanwhile may have missed this transfer, which was listed but not
      // yet submitted when it cancelled the others: cancelled here, unless it has ended.
      std::lock_guard<std::mutex> lock(state_mutex_);
      const auto found = handles_.find(handle);
      if (found != handles_.end() && found->second.closing &&
          found->second.pending.count(raw) != 0) {
        libusb_cancel_transfer(raw->transfer);
      }
    }
    if (overlapped != nullptr) return kErrorIoPending;
    local->Wait(kWaitForever);
    return local->Result(returned);
  }

  // Takes a transfer that has ended off its handle's list; Close waits for the list to empty.
  void Unlist(PendingTransfer* pending) {
    std::lock_guard<std::mutex> lock(state_mutex_);
    auto found = handles_.find(pending->handle);
    if (found != handles_.end()) found->second.pending.erase(pending);
    drained_.notify_all();
  }

  static void LIBUSB_CALL TransferDone(libusb_transfer* transfer) {
    auto* pending = static_cast<PendingTransfer*>(transfer->user_data);
    pending->owner->Completed(pending);
  }

  void Completed(PendingTransfer* pending) {
    libusb_transfer* transfer = pending->transfer;
    TransferOutcome outcome = OutcomeOf(transfer->status);
    std::uint32_t moved = 0;
    if (outcome.error == 0 && transfer->actual_length > 0) {
      moved = static_cast<std::uint32_t>(transfer->actual_length);
      if (pending->input) {
        std::memcpy(pending->block + pending->data_offset,
                    pending->buffer.data() + LIBUSB_CONTROL_SETUP_SIZE, moved);
      }
    }
    WriteLe32(pending->block + kTransferNtStatusOffset, outcome.nt_status);
    WriteLe32(pending->block + kTransferUsbdStatusOffset, outcome.usbd_status);
    const std::uint32_t returned = outcome.error == 0 ? pending->data_offset + moved : 0;
    // The caller may free the block once the overlapped is completed; the handle stays open
    // (and Close may still cancel the transfer) until the transfer is off its list.
    pending->overlapped->Complete(outcome.error, returned);
    Unlist(pending);
    libusb_free_transfer(transfer);
    delete pending;
  }

  void Abort(DriverHandle handle, std::uint8_t endpoint) {
    std::lock_guard<std::mutex> lock(state_mutex_);
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return;
    for (PendingTransfer* pending : found->second.pending) {
      if ((pending->transfer->endpoint & 0x7F) == (endpoint & 0x7F)) {
        libusb_cancel_transfer(pending->transfer);
      }
    }
  }

  // Shows `visit` the members present now, in order, until it answers false.
  void ForEachMember(const std::function<bool(const MemberDevice&)>& visit) {
    std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
    if (!AcquireContext()) return;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    if (count >= 0) {
      for (const MemberDevice& member : Members(list, count)) {
        if (!visit(member)) break;
      }
      libusb_free_device_list(list, 1);
    }
    ReleaseContextIfIdle();
  }

  // The name the kernel gives the device's place: the bus, then the port on each hub from the
  // root hub down ("1-3.2"); a root hub itself is "usb<bus>".
  static std::uint32_t LocationOf(const MemberDevice& member, std::string* location) {
    std::uint8_t ports[8] = {};  // hubs go at most seven tiers deep
    const int depth = libusb_get_port_numbers(member.device, ports, sizeof ports);
    if (depth < 0) return kErrorGenFailure;
    std::string text = depth == 0 ? "usb" + std::to_string(member.bus)
                                  : std::to_string(member.bus);
    for (int i = 0; i < depth; ++i) {
      text += (i == 0 ? '-' : '.');
      text += std::to_string(ports[i]);
    }
    if (location != nullptr) *location = text;
    return 0;
  }

  std::vector<MemberDevice> Members(libusb_device** list, ssize_t count) const {
    const UsbIdFilter filter = UsbIdFilter::FromEnvironment();
    std::vector<MemberDevice> members;
    for (ssize_t i = 0; i < count; ++i) {
      libusb_device_descriptor descriptor{};
      if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
      if (!filter.Matches(descriptor.idVendor, descriptor.idProduct)) continue;
      members.push_back({list[i], libusb_get_bus_number(list[i]),
                         libusb_get_device_address(list[i])});
    }
    std::sort(members.begin(), members.end(), [](const MemberDevice& a, const MemberDevice& b) {
      return a.bus != b.bus ? a.bus < b.bus : a.address < b.address;
    });
    return members;
  }

  // Under lifecycle_mutex_. A context lives while devices are open; between uses it is
  // released, so that every listing sees the devices present now.
  bool AcquireContext() {
    if (context_ != nullptr) return true;
    if (libusb_init(&context_) != 0) {
      context_ = nullptr;
      return false;
    }
    return true;
  }

  void ReleaseContextIfIdle() {
    if (context_ == nullptr || events_.joinable()) return;
    libusb_exit(context_);
    context_ = nullptr;
  }

  void StartEventThread() {
    if (events_.joinable()) return;
    stop_events_ = false;
    events_ = std::thread([this] {
      while (!stop_events_) {
        timeval slice{0, 200000};
        libusb_handle_events_timeout_completed(context_, &slice, nullptr);
      }
    });
  }

  void StopEventThread() {
    if (!events_.joinable()) return;
    stop_events_ = true;
    libusb_interrupt_event_handler(context_);
    events_.join();
  }

  std::mutex lifecycle_mutex_;  // context, event thread, opening and closing
  std::mutex state_mutex_;      // handles and their transfers in flight
  std::condition_variable drained_;
  libusb_context* context_ = nullptr;
  std::map<DriverHandle, OpenDevice> handles_;
  DriverHandle next_handle_ = 1;
  std::thread events_;
  std::atomic<bool> stop_events_{false};
};

}  // namespace

UsbDriverIo& SystemUsbDriverIo() {
  static LibusbDriverIo io;
  return io;
}

}  // namespace flashwright::platform
