// The one reader port of the process: open, configure, restore and close it, write request
// bytes, and run the receive loop that hands reply bytes to a scanner until the expected reply
// is recognised or the time limit passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/serial_port.h"
#include "reader_link/frame.h"

namespace flashwright {

inline constexpr std::size_t kReceiveBufferSize = 320;

// Opens COM `port` with the reader's line settings. -6 while a port is open, -9 when the
// device cannot be opened, a system error code when it cannot be configured.
LinkError OpenReaderPort(std::uint16_t port);
// The system's reason for the last failed open, beside the link's kLinkPortOpenFailed: the port
// and its system error code (-1 when the opener gave no code). Cleared by a successful open.
struct PortOpenFailure {
  unsigned port = 0;
  int system_error = 0;
};
PortOpenFailure LastPortOpenFailure();
// Restores the port's previous settings and closes it; nothing when no port is open.
void CloseReaderPort();
// The open port, or nullptr (the invalid handle).
platform::SerialPort* ReaderPortHandle();

// Discards the open port's input queue; on failure clears the error state and returns the code.
LinkError PurgeReaderInput();
LinkError SendBytes(std::uint16_t count, bool purge_first, const std::uint8_t* bytes);
// Reads until `count` bytes have arrived or `time_limit_ms` has passed (at least one read).
LinkError ReadExactly(int time_limit_ms, platform::SerialPort* port, std::uint8_t* destination,
                      std::size_t count);
// The number of bytes waiting, as the clear-error call reports it.
LinkError QueuedInputCount(platform::SerialPort* port, std::uint32_t* count);

LinkError ReceiveReply(int time_limit_ms, ReplyScanner scanner, ReplyResult* result);

// Builds one request frame and sends it with SendBytes, purging input first.
using RequestBuilder = LinkError (*)(const void* argument);
LinkError Transact(RequestBuilder builder, const void* argument, ReplyScanner scanner,
                   int time_limit_ms, int attempts, ReplyResult* result);

// Milliseconds since `start_tick` of the tick counter, correct across its wrap-around.
std::uint32_t ElapsedMs(std::uint32_t start_tick);

// How the receive loop waits between looks at the input queue: for input to arrive (at most
// the 20 ms slice or the time left), or a plain 20 ms sleep. The sleep is what a port without
// an input wait could do; the tests run the link both ways and the benchmarks compare them.
enum class WaitPolicy { WaitForInput, FixedSleep };
void SetWaitPolicy(WaitPolicy policy);

// Waits as the policy says for at most `slice_ms` (the tool exchanges use this with their
// own slices). Returns at once when no port is open.
void WaitForReaderInput(int slice_ms);

// How OpenReaderPort opens the device. Tests put a port of their own between the link and the
// device, to see each purge and write in order; nullptr restores platform::OpenSerialPort.
using SerialPortOpener = int (*)(unsigned port, std::unique_ptr<platform::SerialPort>* opened);
void SetSerialPortOpenerForTesting(SerialPortOpener opener);

}  // namespace flashwright
