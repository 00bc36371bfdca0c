// The ways a faulty line or reader spoils a reply.
#pragma once

#include <cstdint>
#include <vector>

namespace flashwright::sim {

// The frame with its CRC damaged.
std::vector<std::uint8_t> WithBadCrc(std::vector<std::uint8_t> frame);
// A well-formed frame answering another command: the echo byte changed, the CRC made to fit.
std::vector<std::uint8_t> WithWrongEcho(std::vector<std::uint8_t> frame);
// Noise to send before `reply`: a few bytes and, for frames, a stray start byte of the reply's
// family whose length field makes a short bad-CRC frame that ends within the noise, so that a
// receiver which hunts for start bytes and skips bad frames still finds the real reply. Noise
// before an acknowledgement holds no 0xA5.
std::vector<std::uint8_t> GarbageBefore(const std::vector<std::uint8_t>& reply);
// The bytes cut into pieces of 1, 2, 3, 1, 2, 3 ... bytes.
std::vector<std::vector<std::uint8_t>> SplitIntoPieces(const std::vector<std::uint8_t>& bytes);

}  // namespace flashwright::sim
