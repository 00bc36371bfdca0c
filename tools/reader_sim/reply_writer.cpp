#include "tools/reader_sim/reply_writer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

namespace flashwright::sim {
namespace {

// The master is non-blocking; a host that does not read for a second loses the reply rather
// than stopping the simulator.
bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t written = write(fd, bytes, count);
    if (written > 0) {
      bytes += written;
      count -= static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EAGAIN) {
      pollfd out{fd, POLLOUT, 0};
      if (poll(&out, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

bool WriteReply(int fd, const std::vector<std::vector<std::uint8_t>>& pieces, bool paced,
                std::chrono::milliseconds pause,
                const std::function<void(SimClock::time_point)>& before_last_write) {
  const SimClock::time_point start = SimClock::now();
  std::chrono::nanoseconds pauses{0};
  std::size_t sent = 0;
  bool ok = true;
  for (std::size_t k = 0; k < pieces.size() && ok; ++k) {
    if (k > 0) {
      pauses += pause;
      if (!paced) SleepUntil(SimClock::now() + pause);
    }
    const bool last_piece = k + 1 == pieces.size();
    if (!paced) {
      if (last_piece) before_last_write(SimClock::now());
      ok = WriteAll(fd, pieces[k].data(), pieces[k].size());
      continue;
    }
    for (std::size_t b = 0; b < pieces[k].size(); ++b) {
      const std::uint8_t byte = pieces[k][b];
      ++sent;
      SleepUntil(start + pauses + ByteTimes(sent));
      if (last_piece && b + 1 == pieces[k].size()) before_last_write(SimClock::now());
      if (!WriteAll(fd, &byte, 1)) {
        ok = false;
        break;
      }
    }
  }
  return ok;
}

}  // namespace flashwright::sim
