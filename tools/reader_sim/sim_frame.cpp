#include "tools/reader_sim/sim_frame.h"

namespace flashwright::sim {

std::uint16_t Crc16Genibus(const std::uint8_t* bytes, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= static_cast<std::uint16_t>(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) != 0 ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                : static_cast<std::uint16_t>(crc << 1);
    }
  }
  return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

std::vector<std::uint8_t> MakeFrame(std::uint8_t start, const std::vector<std::uint8_t>& payload) {
  const std::size_t length = payload.size() + 2;
  std::vector<std::uint8_t> frame;
  frame.reserve(length + 3);
  frame.push_back(start);
  frame.push_back(static_cast<std::uint8_t>(length >> 8));
  frame.push_back(static_cast<std::uint8_t>(length));
  frame.insert(frame.end(), payload.begin(), payload.end());
  const std::uint16_t crc = Crc16Genibus(frame.data() + 1, length);
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  frame.push_back(static_cast<std::uint8_t>(crc));
  return frame;
}

bool FrameCrcGood(const std::vector<std::uint8_t>& frame) {
  if (frame.size() < 5) return false;
  const std::size_t length = (static_cast<std::size_t>(frame[1]) << 8) | frame[2];
  if (length < 2 || frame.size() != length + 3) return false;
  const std::uint16_t crc = Crc16Genibus(frame.data() + 1, length);
  return frame[length + 1] == static_cast<std::uint8_t>(crc >> 8) &&
         frame[length + 2] == static_cast<std::uint8_t>(crc);
}

std::vector<std::uint8_t> MakeDownloadAck(std::uint8_t status) {
  return {0xA5, 0x00, 0x02, 0xA2, status};
}

}  // namespace flashwright::sim
