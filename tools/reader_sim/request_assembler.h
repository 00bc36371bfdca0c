// Cuts the byte stream that the host writes into requests: CRC frames, and in download mode
// the record frames (D5, L = n + 5, n, address, type, n data bytes, checksum; no CRC).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace flashwright::sim {

struct AssembledRequest {
  enum class Kind { Frame, Record };
  Kind kind = Kind::Frame;
  std::vector<std::uint8_t> bytes;
  std::chrono::steady_clock::time_point complete;  // when its last byte was on the line
  bool crc_ok = false;                             // frames only; records carry no CRC
};

class RequestAssembler {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // Longest length field taken for a request; a start byte followed by a larger one is noise.
  static constexpr std::size_t kMaxLength = 300;

  // Appends bytes whose first one is complete at `first_done`, each further one `byte_time`
  // later (zero when the line is not paced).
  void Feed(const std::uint8_t* bytes, std::size_t count, TimePoint first_done,
            std::chrono::nanoseconds byte_time);
  // The next whole request, if one is there. Bytes before a start byte are dropped.
  std::optional<AssembledRequest> Next(bool download_mode);
  bool HasPartial() const { return head_ < bytes_.size(); }
  // Gives up on a request that never completed, so that a later start byte can be found.
  void DropFirstByte();
  void Clear();
  std::size_t SkippedBytes() const { return skipped_; }

 private:
  void Drop(std::size_t count);

  std::vector<std::uint8_t> bytes_;
  std::vector<TimePoint> done_;
  std::size_t head_ = 0;  // first byte not yet consumed
  std::size_t skipped_ = 0;
};

}  // namespace flashwright::sim
