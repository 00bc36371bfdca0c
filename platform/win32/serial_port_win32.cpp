// The serial COM port through the system's communications calls. The handle is opened for
// overlapped I/O only so that the wait for input can be bounded; every read and write is
// waited for at once, so to the reader link they are synchronous.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace flashwright::platform {
namespace {

int LastError() {
  const DWORD error = ::GetLastError();
  return error != 0 ? static_cast<int>(error) : static_cast<int>(ERROR_GEN_FAILURE);
}

// A manual-reset event for one overlapped request at a time.
class RequestEvent {
 public:
  RequestEvent() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~RequestEvent() {
    if (event_ != nullptr) ::CloseHandle(event_);
  }
  RequestEvent(const RequestEvent&) = delete;
  RequestEvent& operator=(const RequestEvent&) = delete;

  bool valid() const { return event_ != nullptr; }
  OVERLAPPED Fresh() const {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_;
    ::ResetEvent(event_);
    return overlapped;
  }

 private:
  HANDLE event_;
};

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(HANDLE handle) : handle_(handle), can_signal_(ReportsLineState(handle)) {}
  ~Win32SerialPort() override { ::CloseHandle(handle_); }

  int SaveSettings() override {
    saved_ = DCB{};
    saved_.DCBlength = sizeof saved_;
    if (!::GetCommState(handle_, &saved_)) return LastError();
    return 0;
  }

  int ApplyReaderSettings() override {
    // Every setting not named here stays as the port had it.
    DCB settings = saved_;
    settings.DCBlength = sizeof settings;
    settings.BaudRate = CBR_19200;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDtrControl = DTR_CONTROL_DISABLE;
    settings.fRtsControl = RTS_CONTROL_DISABLE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    if (!::SetCommState(handle_, &settings)) return LastError();
    // Reads return at once with whatever is queued; writes have no time-out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(handle_, &timeouts)) return LastError();
    return 0;
  }

  int RestoreSettings() override {
    if (!::SetCommState(handle_, &saved_)) return LastError();
    return 0;
  }

  int PurgeInput() override {
    if (!::PurgeComm(handle_, PURGE_RXCLEAR)) return LastError();
    return 0;
  }

  int QueuedInput(std::uint32_t* count) override {
    DWORD errors = 0;
    COMSTAT status{};
    *count = 0;
    if (!::ClearCommError(handle_, &errors, &status)) return LastError();
    *count = status.cbInQue;
    return 0;
  }

  void ClearError() override {
    DWORD errors = 0;
    ::ClearCommError(handle_, &errors, nullptr);
  }

  int Read(std::uint8_t* destination, std::size_t count, std::size_t* got) override {
    *got = 0;
    if (count == 0) return 0;
    DWORD transferred = 0;
    const int error = Transfer(
        [&](OVERLAPPED* overlapped) {
          return ::ReadFile(handle_, destination, static_cast<DWORD>(count), &transferred,
                            overlapped);
        },
        &transferred);
    *got = transferred;
    return error;
  }

  int Write(const std::uint8_t* bytes, std::size_t count, std::size_t* written) override {
    *written = 0;
    if (count == 0) return 0;
    DWORD transferred = 0;
    const int error = Transfer(
        [&](OVERLAPPED* overlapped) {
          return ::WriteFile(handle_, bytes, static_cast<DWORD>(count), &transferred, overlapped);
        },
        &transferred);
    *written = transferred;
    return error;
  }

  bool WaitForInput(int timeout_ms) override {
    if (timeout_ms < 0) timeout_ms = 0;
    const DWORD start = ::GetTickCount();
    auto left = [&]() -> DWORD {
      const DWORD elapsed = ::GetTickCount() - start;
      return elapsed >= static_cast<DWORD>(timeout_ms) ? 0 : static_cast<DWORD>(timeout_ms) - elapsed;
    };
    std::uint32_t queued = 0;
    DWORD slice = 1;
    for (;;) {
      // Input already waiting, or a failing port: the next look at the queue tells which.
      if (QueuedInput(&queued) != 0 || queued > 0) return true;
      const DWORD remaining = left();
      if (remaining == 0) return false;
      if (!can_signal_) {
        ::Sleep(remaining < slice ? remaining : slice);
        slice = slice * 2 < kPollSliceMs ? slice * 2 : kPollSliceMs;
        continue;
      }
      switch (WaitForEvent(remaining)) {
        case Waited::Input: return true;
        case Waited::TimedOut: return QueuedInput(&queued) != 0 || queued > 0;
        case Waited::Unsupported: can_signal_ = false; break;
      }
    }
  }

 private:
  // Where the port cannot signal arriving input (Wine's serial layer on a pseudo-terminal ends
  // every event wait at once with an error), the queue is looked at in short slices instead:
  // 1 ms first, as a reply to a request mostly follows within a few, growing to 5 ms.
  static constexpr DWORD kPollSliceMs = 5;

  // A port whose driver cannot report the modem lines cannot signal events either: there the
  // system would start a helper thread for each event wait only to fail it, and under Wine a
  // library loaded while such a thread ends can hang the loader. Such a port is polled from
  // the start and no event wait is ever asked for.
  static bool ReportsLineState(HANDLE handle) {
    DWORD lines = 0;
    return ::GetCommModemStatus(handle, &lines) != FALSE;
  }

  enum class Waited { Input, TimedOut, Unsupported };

  // One overlapped WaitCommEvent for arriving input, bounded by `timeout_ms`.
  Waited WaitForEvent(DWORD timeout_ms) {
    if (!event_.valid()) return Waited::Unsupported;
    if (!mask_set_) {
      if (!::SetCommMask(handle_, EV_RXCHAR)) return Waited::Unsupported;
      mask_set_ = true;
    }
    OVERLAPPED overlapped = event_.Fresh();
    DWORD mask = 0;
    if (::WaitCommEvent(handle_, &mask, &overlapped)) return Waited::Input;
    if (::GetLastError() != ERROR_IO_PENDING) return Waited::Unsupported;
    // Bytes that arrived between the queue look and the start of the wait do not raise
    // the event: look once more before waiting.
    std::uint32_t queued = 0;
    if (QueuedInput(&queued) != 0 || queued > 0) {
      EndWait(&overlapped);
      return Waited::Input;
    }
    if (::WaitForSingleObject(overlapped.hEvent, timeout_ms) != WAIT_OBJECT_0) {
      EndWait(&overlapped);
      return Waited::TimedOut;
    }
    DWORD ignored = 0;
    if (!::GetOverlappedResult(handle_, &overlapped, &ignored, FALSE)) return Waited::Unsupported;
    return Waited::Input;
  }

  // Starts an overlapped read or write and waits for its end.
  template <typename Start>
  int Transfer(Start start, DWORD* transferred) {
    if (!event_.valid()) return static_cast<int>(ERROR_NOT_ENOUGH_MEMORY);
    OVERLAPPED overlapped = event_.Fresh();
    if (start(&overlapped)) {
      // Done at once; the count is the request's.
      ::GetOverlappedResult(handle_, &overlapped, transferred, FALSE);
      return 0;
    }
    if (::GetLastError() != ERROR_IO_PENDING) return LastError();
    if (!::GetOverlappedResult(handle_, &overlapped, transferred, TRUE)) return LastError();
    return 0;
  }

  // Ends a pending wait for an event: setting the mask again completes it, and the request
  // must have ended before its OVERLAPPED goes away.
  void EndWait(OVERLAPPED* overlapped) {
    ::SetCommMask(handle_, EV_RXCHAR);
    DWORD ignored = 0;
    if (!::GetOverlappedResult(handle_, overlapped, &ignored, FALSE) &&
        ::GetLastError() == ERROR_IO_INCOMPLETE) {
      ::CancelIo(handle_);
      ::GetOverlappedResult(handle_, overlapped, &ignored, TRUE);
    }
  }

  HANDLE handle_;
  DCB saved_{};
  RequestEvent event_;
  bool mask_set_ = false;
  bool can_signal_;
};

}  // namespace

int OpenSerialPort(unsigned port, std::unique_ptr<SerialPort>* opened) {
  opened->reset();
  const std::string name = WindowsPortName(port);
  // Read and write, not shared, existing devices only.
  HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  *opened = std::make_unique<Win32SerialPort>(handle);
  return 0;
}

}  // namespace flashwright::platform
