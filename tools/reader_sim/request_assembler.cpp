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
  bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<long>(count));
  done_.erase(done_.begin(), done_.begin() + static_cast<long>(count));
}

void RequestAssembler::DropFirstByte() {
  if (bytes_.empty()) return;
  Drop(1);
  ++skipped_;
}

void RequestAssembler::Clear() {
  bytes_.clear();
  done_.clear();
}

std::optional<AssembledRequest> RequestAssembler::Next(bool download_mode) {
  for (;;) {
    std::size_t start = 0;
    while (start < bytes_.size() && bytes_[start] != kStartD5 && bytes_[start] != kStartD6) {
      ++start;
    }
    skipped_ += start;
    Drop(start);
    if (bytes_.size() < 3) return std::nullopt;

    const std::size_t length = (static_cast<std::size_t>(bytes_[1]) << 8) | bytes_[2];
    AssembledRequest::Kind kind = AssembledRequest::Kind::Frame;
    if (download_mode && bytes_[0] == kStartD5) {
      // A record frame is told from a CRC frame by its length field, which counts the record
      // count byte, address, type, data and checksum.
      if (bytes_.size() < 4) return std::nullopt;
      if (length == static_cast<std::size_t>(bytes_[3]) + 5) kind = AssembledRequest::Kind::Record;
    }
    if (length < 2 || length > kMaxLength) {
      DropFirstByte();
      continue;
    }
    const std::size_t total = length + 3;
    if (bytes_.size() < total) return std::nullopt;

    AssembledRequest request;
    request.kind = kind;
    request.bytes.assign(bytes_.begin(), bytes_.begin() + static_cast<long>(total));
    request.complete = done_[total - 1];
    request.crc_ok = kind == AssembledRequest::Kind::Frame && FrameCrcGood(request.bytes);
    Drop(total);
    return request;
  }
}

}  // namespace flashwright::sim
