#include "reader_tools/tool_transact.h"

#include <algorithm>

#include "platform/clock.h"
#include "reader_link/frame.h"
#include "reader_link/transport.h"
#include "reader_tools/tool_port_state.h"

namespace flashwright {
std::vector<std::uint8_t> BuildToolFrame(std::uint8_t start,
                                         const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> frame(payload.size() + 5);
  std::copy(payload.begin(), payload.end(), frame.begin() + 3);
  BuildFrame(start, static_cast<std::uint16_t>(payload.size() + 2), frame.data());
  return frame;
}

ToolResult ToolTransact(const std::vector<std::uint8_t>& request, const ToolReplyParser& parser,
                        int time_limit_ms, std::optional<std::uint32_t> settings_reader_version) {
  platform::SerialPort* port = ReaderPortHandle();
  if (port == nullptr) return kLinkPortNotOpen;
  if (settings_reader_version && !HasD6Tools(*settings_reader_version)) {
    return kToolNotSupported;
  }
  if (request.size() > 0xFFFF) return kLinkShortWrite;

  // SendBytes purges the input queue first (its failure is not reported) and turns a failed or
  // short write into the error code after clearing the port's error state.
  LinkError sent = SendBytes(static_cast<std::uint16_t>(request.size()), true, request.data());
  if (sent != 0) return sent;

  const std::uint32_t limit = static_cast<std::uint32_t>(std::max(time_limit_ms, 0));
  const std::uint32_t start_tick = platform::TickCount();
  std::vector<std::uint8_t> reply;
  ToolResult result = 0;
  bool woke_for_input = false;

  while (result == 0) {
    std::uint32_t queued = 0;
    LinkError code = QueuedInputCount(port, &queued);
    if (code != 0) {
      if (code > 0) port->ClearError();
      result = code;
      break;
    }
    if (queued > 0) {
      // Bytes beyond the longest possible frame cannot belong to the reply; they stay queued
      // and the next request's purge drops them.
      std::size_t take = std::min<std::size_t>(queued, kMaxToolReplyBytes - reply.size());
      std::size_t old_size = reply.size();
      reply.resize(old_size + take);
      code = ReadExactly(0, port, reply.data() + old_size, take);
      if (code != 0) {
        if (code > 0) port->ClearError();
        result = code;
        break;
      }
      ToolResult parsed = 0;
      if (parser(reply.data(), reply.size(), &parsed)) {
        result = parsed;
        break;
      }
      if (reply.size() >= kMaxToolReplyBytes) {
        result = kLinkRxOverflow;
        break;
      }
    }
    std::uint32_t elapsed = ElapsedMs(start_tick);
    if (elapsed > limit) {
      result = kLinkTimeout;
      break;
    }
    if (queued == 0) {
      if (woke_for_input) {
        // The wait said input was there but none is queued: the far end hung up. Pause
        // briefly instead of waking up at once again until the limit passes.
        platform::SleepMs(1);
        woke_for_input = false;
      } else {
        // Wake up as soon as bytes arrive, or just after the limit has passed.
        woke_for_input = port->WaitForInput(static_cast<int>(limit - elapsed + 1));
      }
    } else {
      woke_for_input = false;
    }
  }
  return result;
}

}  // namespace flashwright
