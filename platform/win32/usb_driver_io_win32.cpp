// The system's driver layer on Windows: the kernel drivers' own device-I/O control requests.
//
// Interface members come from the device setup (present devices with their interfaces, the
// detail asked for its size first); devices open with CreateFileA for reading and writing,
// shared, existing only, overlapped when asked. A request on a handle opened for overlapped
// I/O always carries an OVERLAPPED of its own: the caller's overlapped requests end on a
// system wait thread that completes the caller's DriverOverlapped, and a request the caller
// issues without one is waited for here, bounded, and cancelled when the bound runs out.
// Closing cancels what is still in flight (CancelIoEx), waits for it to end, then closes.
// Results are the system's error codes themselves.
#include <windows.h>
#include <setupapi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/usb_driver_io.h"

namespace flashwright::platform {
namespace {

// A request issued without an overlapped on a handle that needs one is waited for this long,
// the longest time limit of a control transfer, before it is cancelled.
constexpr DWORD kSynchronousLimitMs = 10000;
// How long closing waits for cancelled requests to end before it closes anyway.
constexpr auto kCloseDrainLimit = std::chrono::seconds(10);
// The device list can change between the two detail calls; so many tries, then a clear code.
constexpr int kDetailAttempts = 4;

GUID ToGuid(const InterfaceClassId& cls) {
  GUID guid{};
  guid.Data1 = cls.data1;
  guid.Data2 = cls.data2;
  guid.Data3 = cls.data3;
  std::memcpy(guid.Data4, cls.data4, sizeof guid.Data4);
  return guid;
}

std::uint32_t LastError() {
  const DWORD error = ::GetLastError();
  return error != 0 ? error : kErrorGenFailure;
}

class Win32DriverIo;

// One overlapped request in flight for a caller's DriverOverlapped. Two references: the
// issuing call's and the wait callback's; the last one frees it.
struct PendingRequest {
  OVERLAPPED overlapped{};
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE wait = nullptr;
  DriverOverlapped* target = nullptr;
  std::uint32_t out_size = 0;
  Win32DriverIo* owner = nullptr;
  DriverHandle handle = kInvalidDriverHandle;
  std::atomic<int> references{2};
};

struct OpenFile {
  bool overlapped = false;
  std::set<PendingRequest*> pending;
};

class Win32DriverIo : public UsbDriverIo {
 public:
  std::uint32_t InterfaceMemberPath(const InterfaceClassId& cls, std::uint32_t index,
                                    std::string* path) override {
    if (path != nullptr) path->clear();
    const GUID guid = ToGuid(cls);
    HDEVINFO set = ::SetupDiGetClassDevsA(&guid, nullptr, nullptr,
                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return LastError();
    SP_DEVICE_INTERFACE_DATA member{};
    member.cbSize = sizeof member;
    std::uint32_t result = 0;
    if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &member)) {
      result = LastError();
    } else {
      result = DetailPath(set, &member, path);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return result;
  }

  DriverHandle Open(const std::string& path, bool overlapped, std::uint32_t* error) override {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (error != nullptr) *error = LastError();
      return kInvalidDriverHandle;
    }
    const auto handle = reinterpret_cast<DriverHandle>(file);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      files_[handle].overlapped = overlapped;
    }
    if (error != nullptr) *error = 0;
    return handle;
  }

  std::uint32_t Close(DriverHandle handle) override {
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    std::unique_lock<std::mutex> lock(mutex_);
    auto found = files_.find(handle);
    if (found == files_.end()) return kErrorInvalidHandle;
    if (!found->second.pending.empty()) {
      ::CancelIoEx(file, nullptr);
      // The wait callbacks take the requests off as they end; a driver that never lets go of
      // one does not hold the close up for ever (the request's memory stays ours until its
      // callback runs).
      drained_.wait_for(lock, kCloseDrainLimit, [&] { return found->second.pending.empty(); });
    }
    for (PendingRequest* request : found->second.pending) request->handle = kInvalidDriverHandle;
    files_.erase(found);
    lock.unlock();
    return ::CloseHandle(file) ? 0 : LastError();
  }

  std::uint32_t IoControl(DriverHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t in_size, void* out, std::uint32_t out_size,
                          std::uint32_t* returned, DriverOverlapped* overlapped) override {
    std::uint32_t dummy = 0;
    if (returned == nullptr) returned = &dummy;
    *returned = 0;
    bool overlapped_file = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = files_.find(handle);
      if (found == files_.end()) return kErrorInvalidHandle;
      overlapped_file = found->second.overlapped;
    }
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    if (!overlapped_file) {
      // Synchronous: the driver bounds its own requests.
      if (overlapped != nullptr) overlapped->Start();
      DWORD count = 0;
      std::uint32_t error = ::DeviceIoControl(file, code, const_cast<void*>(in), in_size, out,
                                              out_size, &count, nullptr)
                                ? 0
                                : LastError();
      error = Checked(error, count, out_size, returned);
      if (overlapped != nullptr) overlapped->Complete(error, *returned);
      return error;
    }
    if (overlapped == nullptr) return WaitedRequest(file, code, in, in_size, out, out_size, returned);
    return StartRequest(handle, file, code, in, in_size, out, out_size, returned, overlapped);
  }

 private:
  // The count the driver reports can never be more than the buffer it was given.
  static std::uint32_t Checked(std::uint32_t error, DWORD count, std::uint32_t out_size,
                               std::uint32_t* returned) {
    if (error == 0 && count > out_size) {
      *returned = 0;
      return kErrorGenFailure;
    }
    *returned = error == 0 ? count : 0;
    return error;
  }

  static std::uint32_t DetailPath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* member,
                                  std::string* path) {
    for (int attempt = 0; attempt < kDetailAttempts; ++attempt) {
      DWORD needed = 0;
      if (::SetupDiGetDeviceInterfaceDetailA(set, member, nullptr, 0, &needed, nullptr) ||
          ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return ::GetLastError() != 0 ? ::GetLastError() : kErrorGenFailure;
      }
      const DWORD header = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
      if (needed <= header) return kErrorGenFailure;
      // DWORD elements keep the detail's alignment.
      std::vector<DWORD> storage((needed + sizeof(DWORD)) / sizeof(DWORD) + 1, 0);
      const DWORD size = static_cast<DWORD>(storage.size() * sizeof(DWORD));
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (!::SetupDiGetDeviceInterfaceDetailA(set, member, detail, needed, nullptr, nullptr)) {
        if (::GetLastError() == ERROR_INSUFFICIENT_BUFFER) continue;  // it grew meanwhile
        return LastError();
      }
      // Only what lies inside the buffer counts, terminated or not.
      const char* text = detail->DevicePath;
      const std::size_t room = size - header;
      const std::size_t length = strnlen(text, room);
      if (length == room) return kErrorInsufficientBuffer;
      if (path != nullptr) path->assign(text, length);
      return 0;
    }
    return kErrorInsufficientBuffer;
  }

  // A request without the caller's overlapped on an overlapped handle: issued with one of its
  // own and waited for, at most kSynchronousLimitMs.
  std::uint32_t WaitedRequest(HANDLE file, std::uint32_t code, const void* in,
                              std::uint32_t in_size, void* out, std::uint32_t out_size,
                              std::uint32_t* returned) {
    OVERLAPPED own{};
    own.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (own.hEvent == nullptr) return LastError();
    DWORD count = 0;
    std::uint32_t error = 0;
    if (!::DeviceIoControl(file, code, const_cast<void*>(in), in_size, out, out_size, &count,
                           &own)) {
      error = ::GetLastError();
      if (error == ERROR_IO_PENDING) {
        error = 0;
        if (::WaitForSingleObject(own.hEvent, kSynchronousLimitMs) != WAIT_OBJECT_0) {
          ::CancelIoEx(file, &own);
          ::GetOverlappedResult(file, &own, &count, TRUE);
          error = kErrorSemTimeout;
        } else if (!::GetOverlappedResult(file, &own, &count, FALSE)) {
          error = LastError();
        }
      } else if (error == 0) {
        error = kErrorGenFailure;
      }
    }
    ::CloseHandle(own.hEvent);
    return Checked(error, count, out_size, returned);
  }

  std::uint32_t StartRequest(DriverHandle handle, HANDLE file, std::uint32_t code, const void* in,
                             std::uint32_t in_size, void* out, std::uint32_t out_size,
                             std::uint32_t* returned, DriverOverlapped* target) {
    auto* request = new PendingRequest;
    request->file = file;
    request->target = target;
    request->out_size = out_size;
    request->owner = this;
    request->handle = handle;
    request->overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (request->overlapped.hEvent == nullptr) {
      delete request;
      return Finish(target, LastError(), 0, returned);
    }
    // Running before the driver sees it: its completion may come at once.
    target->Start();
    DWORD count = 0;
    if (::DeviceIoControl(file, code, const_cast<void*>(in), in_size, out, out_size, &count,
                          &request->overlapped)) {
      Free(request);
      std::uint32_t error = Checked(0, count, out_size, returned);
      target->Complete(error, *returned);
      return error;
    }
    const std::uint32_t error = LastError();
    if (error != ERROR_IO_PENDING) {
      Free(request);
      return Finish(target, error, 0, returned);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto found = files_.find(handle);
      if (found != files_.end()) found->second.pending.insert(request);
    }
    if (!::RegisterWaitForSingleObject(&request->wait, request->overlapped.hEvent,
                                       &Win32DriverIo::RequestEnded, request, INFINITE,
                                       WT_EXECUTEONLYONCE)) {
      // No wait thread: the request is seen to its end here.
      request->wait = nullptr;
      ::WaitForSingleObject(request->overlapped.hEvent, INFINITE);
      RequestEnded(request, FALSE);
    }
    Release(request);
    return kErrorIoPending;
  }

  static std::uint32_t Finish(DriverOverlapped* target, std::uint32_t error, DWORD count,
                              std::uint32_t* returned) {
    *returned = count;
    target->Complete(error, count);
    return error;
  }

  static void CALLBACK RequestEnded(void* context, BOOLEAN /*timed_out*/) {
    auto* request = static_cast<PendingRequest*>(context);
    DWORD count = 0;
    std::uint32_t error = ::GetOverlappedResult(request->file, &request->overlapped, &count,
                                                FALSE)
                              ? 0
                              : LastError();
    std::uint32_t returned = 0;
    error = Checked(error, count, request->out_size, &returned);
    request->target->Complete(error, returned);
    request->owner->Unlist(request);
    Release(request);
  }

  void Unlist(PendingRequest* request) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = files_.find(request->handle);
    if (found != files_.end()) found->second.pending.erase(request);
    drained_.notify_all();
  }

  static void Release(PendingRequest* request) {
    if (request->references.fetch_sub(1) != 1) return;
    if (request->wait != nullptr) ::UnregisterWaitEx(request->wait, nullptr);
    Free(request);
  }

  static void Free(PendingRequest* request) {
    if (request->overlapped.hEvent != nullptr) ::CloseHandle(request->overlapped.hEvent);
    delete request;
  }

  std::mutex mutex_;
  std::condition_variable drained_;
  std::map<DriverHandle, OpenFile> files_;
};

}  // namespace

UsbDriverIo& SystemUsbDriverIo() {
  // Never destroyed: a wait callback may still run while the program ends.
  static Win32DriverIo* io = new Win32DriverIo;
  return *io;
}

}  // namespace flashwright::platform
