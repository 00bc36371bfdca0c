// Writing a reply onto the simulated line.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/reader_sim/line_timing.h"

namespace flashwright::sim {

// Writes `pieces` to `fd` (the pty master) with `pause` between two pieces. Unpaced, each piece
// is one write. Paced, every byte is written alone at the moment its last bit would arrive at
// 19200 baud, counted from the start of the reply. `before_last_write` gets the time just
// before the last byte goes out: it is published before the host can have seen that byte.
// False when the line would not take the bytes.
bool WriteReply(int fd, const std::vector<std::vector<std::uint8_t>>& pieces, bool paced,
                std::chrono::milliseconds pause,
                const std::function<void(SimClock::time_point)>& before_last_write);

}  // namespace flashwright::sim
