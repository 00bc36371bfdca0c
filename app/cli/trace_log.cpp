#include "app/cli/trace_log.h"

#include <cstring>

#include "platform/system_error.h"
#include "platform/usb_driver_io.h"

namespace flashwright::cli {

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

TraceLog::TraceLog(std::FILE* console, int console_level, std::FILE* file)
    : console_(console),
      console_level_(console_level),
      file_(file),
      start_(std::chrono::steady_clock::now()) {}

void TraceLog::Line(int level, const char* direction, const std::string& text) {
  const bool to_console = console_ != nullptr && level <= console_level_;
  if (!to_console && file_ == nullptr) return;
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "wire %10.3f ms %-7s ", ms, direction);
  const std::string line = stamp + text + "\n";
  const std::lock_guard<std::mutex> lock(mutex_);
  if (to_console) {
    std::fputs(line.c_str(), console_);
    std::fflush(console_);
  }
  if (file_ != nullptr) {
    std::fputs(line.c_str(), file_);
    std::fflush(file_);
  }
}

void TraceLog::PortOpened(unsigned port, const std::string& device, int result) {
  std::string text = "COM" + std::to_string(port) + " " + device;
  if (result != 0) {
    text += " failed: " + platform::SystemErrorText(result) + " (" +
            platform::SystemErrorName() + " " + std::to_string(result) + ")";
  }
  Line(1, "open", text);
}

void TraceLog::PortClosed() { Line(1, "close", ""); }

void TraceLog::Written(const std::uint8_t* bytes, std::size_t count, int result) {
  std::string text = HexBytes(bytes, count);
  if (result != 0) text += (count > 0 ? " " : "") + std::string("failed: ") +
                           platform::SystemErrorText(result);
  Line(2, "write", text);
}

void TraceLog::Read(const std::uint8_t* bytes, std::size_t count) {
  Line(2, "read", HexBytes(bytes, count));
}

void TraceLog::Purged(int result) {
  Line(1, "purge", result == 0 ? "input" : "input failed: " + platform::SystemErrorText(result));
}

void TraceLog::TimedOut(int time_limit_ms) {
  Line(1, "timeout", "no reply within " + std::to_string(time_limit_ms) + " ms");
}

void TraceLog::UsbRequest(const platform::UsbTraceRequest& request) {
  char head[96];
  std::snprintf(head, sizeof head, "code 0x%08X setup ", static_cast<unsigned>(request.code));
  char tail[96];
  std::snprintf(tail, sizeof tail, " asked %u moved %u result %u",
                static_cast<unsigned>(request.asked), static_cast<unsigned>(request.moved),
                static_cast<unsigned>(request.result));
  const std::string setup =
      request.setup_size > 0 ? HexBytes(request.setup, request.setup_size) : std::string("-");
  // An overlapped request that goes on has not failed.
  const bool failed = request.result != 0 && request.result != platform::kErrorIoPending;
  Line(failed ? 1 : 2, "usb", head + setup + tail);
}

}  // namespace flashwright::cli
