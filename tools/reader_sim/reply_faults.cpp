#include "tools/reader_sim/reply_faults.h"

#include <algorithm>

#include "tools/reader_sim/sim_frame.h"

namespace flashwright::sim {

std::vector<std::uint8_t> WithBadCrc(std::vector<std::uint8_t> frame) {
  if (!frame.empty()) frame.back() ^= 0xFF;
  return frame;
}

std::vector<std::uint8_t> WithWrongEcho(std::vector<std::uint8_t> frame) {
  if (frame.size() < 5) return frame;
  const std::size_t echo_at = frame[0] == kStartD6 ? 3 : 5;
  if (frame.size() < echo_at + 3) return frame;
  std::vector<std::uint8_t> payload(frame.begin() + 3, frame.end() - 2);
  payload[echo_at - 3] = static_cast<std::uint8_t>(payload[echo_at - 3] + 1);
  return MakeFrame(frame[0], payload);
}

std::vector<std::uint8_t> GarbageBefore(const std::vector<std::uint8_t>& reply) {
  if (!reply.empty() && (reply[0] == kStartD5 || reply[0] == kStartD6)) {
    // Start byte, L = 3, one byte, and a CRC of 00 00 where 00 03 7F would need E9 48.
    return {0x00, 0x13, reply[0], 0x00, 0x03, 0x7F, 0x00, 0x00};
  }
  return {0x00, 0x13, kStartD6, 0x00};
}

std::vector<std::vector<std::uint8_t>> SplitIntoPieces(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::vector<std::uint8_t>> pieces;
  std::size_t at = 0;
  std::size_t size = 1;
  while (at < bytes.size()) {
    const std::size_t take = std::min(size, bytes.size() - at);
    pieces.emplace_back(bytes.begin() + static_cast<long>(at),
                        bytes.begin() + static_cast<long>(at + take));
    at += take;
    size = size % 3 + 1;
  }
  return pieces;
}

}  // namespace flashwright::sim
