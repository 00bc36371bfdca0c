// Reader frames: start byte, big-endian length L (payload + 2 CRC bytes), payload, CRC-16
// over the L bytes from offset 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader_link/link_error.h"

namespace flashwright {

inline constexpr std::uint8_t kStartD5 = 0xD5;
inline constexpr std::uint8_t kStartD6 = 0xD6;
inline constexpr std::uint8_t kAckStart = 0xA5;

// CRC-16/GENIBUS: polynomial 0x1021, initial 0xFFFF, no reflection, final XOR 0xFFFF.
std::uint16_t FrameCrc16(const std::uint8_t* bytes, std::uint16_t count);

// The payload is already at buffer + 3; writes the start byte, L and the CRC and returns
// buffer + L + 3. Callers pass L = payload length + 2 and send L + 3 bytes.
std::uint8_t* BuildFrame(std::uint8_t start, std::uint16_t length, std::uint8_t* buffer);

// What CheckFrame found at a start byte: size 0 while the frame is incomplete, else the frame
// size L + 3 and whether its CRC is good.
struct FrameCheck {
  std::size_t size = 0;
  bool crc_ok = false;
};
FrameCheck CheckFrame(const std::uint8_t* bytes, std::size_t available);

// Filled by a reply scanner; all zero when a receive starts.
struct ReplyResult {
  std::uint8_t received = 0;
  std::uint8_t status = 0;
  std::uint32_t value = 0;
};

// Recognises one expected reply in the receive buffer (always starting at the oldest
// unconsumed byte). Returns how many bytes from the front are consumed (0 to count) and sets
// result->received once the reply is recognised.
using ReplyScanner = std::size_t (*)(const std::uint8_t* buffer, std::size_t count,
                                     ReplyResult* result);

// A CRC-good frame with the expected echo, handed to a reply reader. The reader returns false
// when the frame is not the expected reply after all (too short for its fields); the frame is
// then dropped like any other.
struct FrameView {
  const std::uint8_t* frame;  // the start byte
  std::size_t payload_size;   // L - 2
  std::size_t frame_size;     // L + 3
  const std::uint8_t* payload() const { return frame + 3; }
};
using FrameFieldReader = bool (*)(const FrameView& frame, ReplyResult* result);

// The common rule of every CRC-frame scanner: resynchronise on `start`, drop incomplete
// prefixes, bad frames and frames with another echo; on a good frame call `read_fields`.
// The echo is payload byte 2 of a D5 reply and payload byte 0 of a D6 reply.
std::size_t ScanCrcReply(const std::uint8_t* buffer, std::size_t count, ReplyResult* result,
                         std::uint8_t start, std::uint8_t echo, FrameFieldReader read_fields);

// The download acknowledgement A5 00 02 A2 status; five other bytes after A5 give 0xFF.
std::size_t ScanDownloadAck(const std::uint8_t* buffer, std::size_t count, ReplyResult* result);

}  // namespace flashwright
