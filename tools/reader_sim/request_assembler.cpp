#include "tools/reader_sim/request_assembler.h"

#include "tools/reader_sim/sim_frame.h"

namespace flashwright::sim {

void RequestAssembler::Feed(const std::uint8_t* bytes, std::size_t count, TimePoint first_done,
                            std::chrono::nanoseconds byte_time) {
  for (std::size_t i = 0; i < count; ++i) {
    bytes_.push_back(bytes[i]);
    done_.push_back(first_done + byte_time * static_cast<long>(i));
  }
}

void RequestAssembler::Drop(std::size_t count) {
  // Dropping moves a read position; the storage is compacted only now and then, so that a
  // long run of noise is not shifted once per byte.
  head_ += count;
  if (head_ == bytes_.size()) {
    Clear();
  } else if (head_ >= 1024 && head_ * 2 >= bytes_.size()) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<long>(head_));
    done_.erase(done_.begin(), done_.begin() + static_cast<long>(head_));
    head_ = 0;
  }
}

void RequestAssembler::DropFirstByte() {
  if (!HasPartial()) return;
  Drop(1);
  ++skipped_;
}

void RequestAssembler::Clear() {
  bytes_.clear();
  done_.clear();
  head_ = 0;
}

std::optional<AssembledRequest> RequestAssembler::Next(bool download_mode) {
  for (;;) {
    std::size_t skip = 0;
    while (head_ + skip < bytes_.size() && bytes_[head_ + skip] != kStartD5 &&
           bytes_[head_ + skip] != kStartD6) {
      ++skip;
    }
    skipped_ += skip;
    Drop(skip);
    const std::uint8_t* at = bytes_.data() + head_;
    const std::size_t available = bytes_.size() - head_;
    if (available < 3) return std::nullopt;

    const std::size_t length = (static_cast<std::size_t>(at[1]) << 8) | at[2];
    AssembledRequest::Kind kind = AssembledRequest::Kind::Frame;
    if (download_mode && at[0] == kStartD5) {
      // A record frame is told from a CRC frame by its length field, which counts the record
      // count byte, address, type, data and checksum.
      if (available < 4) return std::nullopt;
      if (length == static_cast<std::size_t>(at[3]) + 5) kind = AssembledRequest::Kind::Record;
    }
    if (length < 2 || length > kMaxLength) {
      DropFirstByte();
      continue;
    }
    const std::size_t total = length + 3;
    if (available < total) return std::nullopt;

    AssembledRequest request;
    request.kind = kind;
    request.bytes.assign(at, at + total);
    request.complete = done_[head_ + total - 1];
    request.crc_ok = kind == AssembledRequest::Kind::Frame && FrameCrcGood(request.bytes);
    Drop(total);
    return request;
  }
}

}  // namespace flashwright::sim
