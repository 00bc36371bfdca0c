// Writing a reply onto the simulated line.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "tools/reader_sim/line_timing.h"

namespace flashwright::sim {

// Writes `pieces` to `fd` (the pty master) with `pause` between two pieces. Unpaced, each piece
// is one write. Paced, every byte is written alone at the moment its last bit would arrive at
// 19200 baud, counted from the start of the reply. `last_write` is the time after the last
// byte went out. False when the line would not take the bytes.
bool WriteReply(int fd, const std::vector<std::vector<std::uint8_t>>& pieces, bool paced,
                std::chrono::milliseconds pause, SimClock::time_point& last_write);

}  // namespace flashwright::sim
