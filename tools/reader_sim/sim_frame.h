// Frames as the simulated reader sends and checks them. The simulator carries its own copy of
// the frame rules so that it stays an independent peer of the host's reader link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flashwright::sim {

inline constexpr std::uint8_t kStartD5 = 0xD5;
inline constexpr std::uint8_t kStartD6 = 0xD6;

// CRC-16/GENIBUS: polynomial 0x1021, initial 0xFFFF, no reflection, final XOR 0xFFFF.
std::uint16_t Crc16Genibus(const std::uint8_t* bytes, std::size_t count);

// Start byte, big-endian L (payload + 2), payload, CRC over the L bytes after the start byte.
std::vector<std::uint8_t> MakeFrame(std::uint8_t start, const std::vector<std::uint8_t>& payload);

// True when `frame` is a whole frame whose length field and CRC agree with its bytes.
bool FrameCrcGood(const std::vector<std::uint8_t>& frame);

// The download acknowledgement A5 00 02 A2 <status>.
std::vector<std::uint8_t> MakeDownloadAck(std::uint8_t status);

}  // namespace flashwright::sim
