#include "reader_link/transport.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/clock.h"
#include "platform/port_map.h"
#include "platform/wire_trace.h"

namespace flashwright {
namespace {

constexpr std::uint32_t kPollSliceMs = 20;

// The one reader port of the process and its receive buffer.
struct ReaderPortState {
  std::unique_ptr<platform::SerialPort> port;
  std::uint8_t buffer[kReceiveBufferSize] = {};
  std::size_t buffered = 0;
  WaitPolicy policy = WaitPolicy::WaitForInput;
  SerialPortOpener opener = platform::OpenSerialPort;
  PortOpenFailure last_open_failure;
};

ReaderPortState& State() {
  static ReaderPortState state;
  return state;
}

// Between two looks at the input queue. Waiting for input sees a reply as soon as its bytes are
// queued, where a fixed sleep would add up to a slice to every reply.
void WaitSlice(platform::SerialPort* port, std::uint32_t slice_ms) {
  if (State().policy == WaitPolicy::FixedSleep) {
    platform::SleepMs(slice_ms);
  } else {
    port->WaitForInput(static_cast<int>(slice_ms));
  }
}

}  // namespace

LinkError OpenReaderPort(std::uint16_t port) {
  ReaderPortState& state = State();
  if (state.port) return kLinkPortAlreadyOpen;

  std::unique_ptr<platform::SerialPort> opened;
  int system_error = state.opener(port, &opened);
  if (system_error == 0 && !opened) system_error = -1;
  if (platform::WireTrace* trace = platform::ActiveWireTrace()) {
    trace->PortOpened(port, platform::PortDevicePath(port), system_error);
  }
  if (system_error != 0) {
    state.last_open_failure = PortOpenFailure{port, system_error};
    return kLinkPortOpenFailed;
  }
  state.last_open_failure = PortOpenFailure{};

  if (const int error = opened->SaveSettings(); error != 0) return error;
  if (const int error = opened->ApplyReaderSettings(); error != 0) {
    opened->RestoreSettings();
    return error;
  }
  state.port = std::move(opened);
  state.buffered = 0;
  PurgeReaderInput();
  return 0;
}

void CloseReaderPort() {
  ReaderPortState& state = State();
  if (!state.port) return;
  state.port->RestoreSettings();
  state.port.reset();
  state.buffered = 0;
  if (platform::WireTrace* trace = platform::ActiveWireTrace()) trace->PortClosed();
}

PortOpenFailure LastPortOpenFailure() { return State().last_open_failure; }

platform::SerialPort* ReaderPortHandle() { return State().port.get(); }

LinkError PurgeReaderInput() {
  platform::SerialPort* port = ReaderPortHandle();
  if (port == nullptr) return kLinkPortNotOpen;
  const int error = port->PurgeInput();
  if (platform::WireTrace* trace = platform::ActiveWireTrace()) trace->Purged(error);
  if (error != 0) {
    port->ClearError();
    return error;
  }
  return 0;
}

LinkError SendBytes(std::uint16_t count, bool purge_first, const std::uint8_t* bytes) {
  platform::SerialPort* port = ReaderPortHandle();
  if (port == nullptr) return kLinkPortNotOpen;
  if (purge_first) PurgeReaderInput();
  std::size_t written = 0;
  const int error = port->Write(bytes, count, &written);
  if (platform::WireTrace* trace = platform::ActiveWireTrace()) {
    trace->Written(bytes, written, error);
  }
  if (error != 0) {
    port->ClearError();
    return error;
  }
  if (written < count) {
    port->ClearError();
    return kLinkShortWrite;
  }
  return 0;
}

LinkError ReadExactly(int time_limit_ms, platform::SerialPort* port, std::uint8_t* destination,
                      std::size_t count) {
  if (port == nullptr) return kLinkPortNotOpen;
  const std::uint32_t limit = time_limit_ms > 0 ? static_cast<std::uint32_t>(time_limit_ms) : 0;
  const std::uint32_t start = platform::TickCount();
  std::size_t have = 0;
  for (;;) {
    std::size_t got = 0;
    if (const int error = port->Read(destination + have, count - have, &got); error != 0) {
      return error;
    }
    have += got;
    if (have >= count) return 0;
    const std::uint32_t elapsed = ElapsedMs(start);
    if (elapsed >= limit) return kLinkTimeout;
    port->WaitForInput(static_cast<int>(limit - elapsed));
  }
}

LinkError QueuedInputCount(platform::SerialPort* port, std::uint32_t* count) {
  *count = 0;
  if (port == nullptr) return kLinkPortNotOpen;
  return port->QueuedInput(count);
}

LinkError ReceiveReply(int time_limit_ms, ReplyScanner scanner, ReplyResult* result) {
  *result = ReplyResult{};
  ReaderPortState& state = State();
  platform::SerialPort* port = state.port.get();
  if (port == nullptr) return kLinkPortNotOpen;

  const std::uint32_t limit = time_limit_ms > 0 ? static_cast<std::uint32_t>(time_limit_ms) : 0;
  state.buffered = 0;  // bytes kept from an earlier receive are forgotten
  const std::uint32_t start = platform::TickCount();
  LinkError error = 0;

  for (;;) {
    const std::uint32_t elapsed = ElapsedMs(start);
    WaitSlice(port, elapsed < limit ? std::min(kPollSliceMs, limit - elapsed) : 0);

    std::uint32_t queued = 0;
    if ((error = QueuedInputCount(port, &queued)) != 0) break;
    if (queued > 0) {
      if (state.buffered + queued > kReceiveBufferSize) {
        error = kLinkRxOverflow;
        break;
      }
      if ((error = ReadExactly(0, port, state.buffer + state.buffered, queued)) != 0) break;
      if (platform::WireTrace* trace = platform::ActiveWireTrace()) {
        trace->Read(state.buffer + state.buffered, queued);
      }
      state.buffered += queued;
      // A scanner consumes at most one frame per call. When one batch holds a dropped frame
      // and then the reply, the reply must be looked at now: no further bytes may come.
      for (;;) {
        const std::size_t consumed =
            std::min(scanner(state.buffer, state.buffered, result), state.buffered);
        if (consumed == 0) break;
        std::memmove(state.buffer, state.buffer + consumed, state.buffered - consumed);
        state.buffered -= consumed;
        if (result->received != 0 || state.buffered == 0) break;
      }
    }
    if (result->received != 0 || ElapsedMs(start) >= limit) break;
  }

  if (error != 0) {
    port->ClearError();
    return error;
  }
  if (result->received != 0) return 0;
  if (platform::WireTrace* trace = platform::ActiveWireTrace()) {
    trace->TimedOut(static_cast<int>(limit));
  }
  return kLinkTimeout;
}

LinkError Transact(RequestBuilder builder, const void* argument, ReplyScanner scanner,
                   int time_limit_ms, int attempts, ReplyResult* result) {
  LinkError outcome = kLinkTimeout;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    outcome = builder(argument);
    if (outcome == 0) outcome = ReceiveReply(time_limit_ms, scanner, result);
    if (outcome == 0) break;
  }
  return outcome;
}

std::uint32_t ElapsedMs(std::uint32_t start_tick) {
  // Unsigned subtraction is exact across the counter's wrap-around.
  return platform::TickCount() - start_tick;
}

void SetWaitPolicy(WaitPolicy policy) { State().policy = policy; }

void SetSerialPortOpenerForTesting(SerialPortOpener opener) {
  State().opener = opener != nullptr ? opener : platform::OpenSerialPort;
}

void WaitForReaderInput(int slice_ms) {
  platform::SerialPort* port = ReaderPortHandle();
  if (port == nullptr) return;
  WaitSlice(port, slice_ms > 0 ? static_cast<std::uint32_t>(slice_ms) : 0);
}

}  // namespace flashwright
