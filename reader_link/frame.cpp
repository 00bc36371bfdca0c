#include "reader_link/frame.h"

namespace flashwright {

std::uint16_t FrameCrc16(const std::uint8_t* bytes, std::uint16_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint16_t i = 0; i < count; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool feedback = (((bytes[i] >> bit) & 1) != 0) != ((crc & 0x8000) != 0);
      crc = static_cast<std::uint16_t>(crc << 1);
      if (feedback) crc ^= 0x1021;
    }
  }
  return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

std::uint8_t* BuildFrame(std::uint8_t start, std::uint16_t length, std::uint8_t* buffer) {
  buffer[0] = start;
  buffer[1] = static_cast<std::uint8_t>(length >> 8);
  buffer[2] = static_cast<std::uint8_t>(length);
  const std::uint16_t crc = FrameCrc16(buffer + 1, length);
  buffer[length + 1] = static_cast<std::uint8_t>(crc >> 8);
  buffer[length + 2] = static_cast<std::uint8_t>(crc);
  return buffer + length + 3;
}

FrameCheck CheckFrame(const std::uint8_t* bytes, std::size_t available) {
  FrameCheck check;
  if (available <= 2) return check;
  const std::uint16_t length = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
  const std::size_t size = static_cast<std::size_t>(length) + 3;
  if (available < size) return check;
  const std::uint16_t received = static_cast<std::uint16_t>(bytes[length + 1] << 8 | bytes[length + 2]);
  check.size = size;
  check.crc_ok = received == FrameCrc16(bytes + 1, length);
  return check;
}

std::size_t ScanCrcReply(const std::uint8_t* buffer, std::size_t count, ReplyResult* result,
                         std::uint8_t start, std::uint8_t echo, FrameFieldReader read_fields) {
  std::size_t at = 0;
  while (at < count && buffer[at] != start) ++at;
  if (at == count) return count;

  const FrameCheck check = CheckFrame(buffer + at, count - at);
  if (check.size == 0) return at;  // wait for the rest of the frame

  // A whole frame is consumed whatever it holds; only a good reply to our command counts.
  const std::size_t length = check.size - 3;
  const std::size_t payload_size = length >= 2 ? length - 2 : 0;
  const std::size_t echo_offset = start == kStartD5 ? 2 : 0;
  if (check.crc_ok && payload_size > echo_offset && buffer[at + 3 + echo_offset] == echo) {
    const FrameView frame{buffer + at, payload_size, check.size};
    if (read_fields(frame, result)) result->received = 1;
  }
  return at + check.size;
}

std::size_t ScanDownloadAck(const std::uint8_t* buffer, std::size_t count, ReplyResult* result) {
  std::size_t at = 0;
  while (at < count && buffer[at] != kAckStart) ++at;
  if (at == count) return count;
  if (count - at < 5) return at;
  const std::uint8_t* ack = buffer + at;
  const bool well_formed = ack[1] == 0x00 && ack[2] == 0x02 && ack[3] == 0xA2;
  result->received = 1;
  result->value = well_formed ? ack[4] : 0xFF;
  return at + 5;
}

}  // namespace flashwright
