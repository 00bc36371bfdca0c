// The wire trace of flashwright-cli: each write, read, purge and time-out of the reader port
// and each USB driver request, as a line with a monotonic time stamp in milliseconds since the
// program started tracing, the direction and the bytes in hexadecimal.
//
// -v shows the port's openings, closings, purges and time-outs on stderr, -vv every byte too;
// --log FILE receives the whole trace whatever the level.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/wire_trace.h"

namespace flashwright::cli {

class TraceLog final : public platform::WireTrace {
 public:
  // `console` receives lines up to `console_level` (0 none, 1 port events, 2 bytes too);
  // `file` (may be null) every line.
  TraceLog(std::FILE* console, int console_level, std::FILE* file);

  void PortOpened(unsigned port, const std::string& device, int result) override;
  void PortClosed() override;
  void Written(const std::uint8_t* bytes, std::size_t count, int result) override;
  void Read(const std::uint8_t* bytes, std::size_t count) override;
  void Purged(int result) override;
  void TimedOut(int time_limit_ms) override;
  void UsbRequest(const platform::UsbTraceRequest& request) override;

 private:
  // `level` 1 for a port event, 2 for bytes.
  void Line(int level, const char* direction, const std::string& text);

  std::FILE* console_;
  int console_level_;
  std::FILE* file_;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;  // the update worker traces while the main thread writes progress
};

// "D5 00 05": the bytes in hexadecimal, apart by a space.
std::string HexBytes(const std::uint8_t* bytes, std::size_t count);

}  // namespace flashwright::cli
