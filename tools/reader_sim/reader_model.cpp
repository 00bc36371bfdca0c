#include "tools/reader_sim/reader_model.h"

#include "tools/reader_sim/sim_frame.h"
#include "tools/reader_sim/tag_replies.h"

namespace flashwright::sim {
namespace {

constexpr std::uint8_t kAckBusy = 0xFE;

ModelReply FrameReply(std::uint8_t start, std::vector<std::uint8_t> payload) {
  return {ModelReply::Kind::Frame, MakeFrame(start, payload)};
}

std::vector<std::uint8_t> PayloadOf(const std::vector<std::uint8_t>& frame) {
  return {frame.begin() + 3, frame.end() - 2};
}

}  // namespace

ReaderModel::ReaderModel(ReaderSimOptions options)
    : options_(std::move(options)), download_mode_(options_.start_in_download_mode) {}

std::optional<std::uint8_t> ReaderModel::CommandOf(const std::vector<std::uint8_t>& frame) {
  if (frame.size() >= 6 && frame[0] == kStartD6) return frame[3];
  if (frame.size() >= 8 && frame[0] == kStartD5) return frame[5];
  return std::nullopt;
}

bool ReaderModel::IsEnterDownload(const std::vector<std::uint8_t>& frame) {
  if (frame.empty() || frame[0] != kStartD5) return false;
  return PayloadOf(frame) == std::vector<std::uint8_t>{0x04, 0x00, 0x3C, 0x08, 0x00};
}

std::optional<SimRecord> ReaderModel::ParseRecordFrame(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 8 || bytes[0] != kStartD5) return std::nullopt;
  const std::size_t count = bytes[3];
  if (bytes.size() != count + 8) return std::nullopt;
  SimRecord record;
  record.count = bytes[3];
  record.address = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  record.type = bytes[6];
  record.data.assign(bytes.begin() + 7, bytes.begin() + 7 + static_cast<long>(count));
  record.checksum = bytes.back();
  return record;
}

void ReaderModel::SetCommandStatus(std::uint8_t command, std::uint8_t status) {
  if (status == 0) {
    command_status_.erase(command);
  } else {
    command_status_[command] = status;
  }
}

ModelReply ReaderModel::HandleFrame(const std::vector<std::uint8_t>& frame,
                                    std::uint8_t ack_status) {
  if (download_mode_ || frame.size() < 5) return {};
  const std::vector<std::uint8_t> payload = PayloadOf(frame);
  if (payload.empty()) return {};
  if (frame[0] == kStartD6) return D6Reply(payload);
  return D5Reply(payload, ack_status);
}

ModelReply ReaderModel::D5Reply(const std::vector<std::uint8_t>& payload,
                                std::uint8_t ack_status) {
  if (payload.size() >= 3 && payload[0] == 0x04 && payload[1] == 0x00 && payload[2] == 0x11) {
    const std::uint32_t v = options_.version;
    return FrameReply(kStartD5, {0x04, 0x00, 0x11, static_cast<std::uint8_t>(v >> 24),
                                 static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                 static_cast<std::uint8_t>(v)});
  }
  if (payload == std::vector<std::uint8_t>{0x04, 0x00, 0x3C, 0x08, 0x00}) {
    if (ack_status == 0 || ack_status == 1) {
      download_mode_ = true;
      fresh_image_pending_ = true;
    }
    return {ModelReply::Kind::Ack, MakeDownloadAck(ack_status)};
  }
  // Only the older readers answer the D5 tag commands; newer ones take D6 frames for them.
  if (options_.version <= kLastVersionWithoutTools) {
    if (auto reply = D5TagReply(options_, payload)) return FrameReply(kStartD5, std::move(*reply));
  }
  return {};
}

ModelReply ReaderModel::D6Reply(const std::vector<std::uint8_t>& p) {
  const std::uint8_t command = p[0];
  if (auto it = command_status_.find(command); it != command_status_.end()) {
    return FrameReply(kStartD6, {command, it->second});
  }
  const bool has_tools = options_.version > kLastVersionWithoutTools;
  const auto refuse = [&](std::uint8_t status) { return FrameReply(kStartD6, {command, status}); };
  const auto ok = [&](std::vector<std::uint8_t> data) {
    data.insert(data.begin(), {command, 0x00});
    return FrameReply(kStartD6, std::move(data));
  };

  if (command == 0x13) {
    if (options_.version < kFirstVersionWithHardwareQuery) return refuse(kStatusUnknownCommand);
    return ok({0x02, 0x06, 0x03, static_cast<std::uint8_t>(options_.bootloader >> 8),
               static_cast<std::uint8_t>(options_.bootloader), options_.capability, 0x0A, 0x01,
               options_.platform});
  }
  if (!has_tools) return refuse(kStatusUnknownCommand);
  switch (command) {
    case 0x12:
      return ok({options_.power_class});
    case 0x3E:
      return ok({options_.power_level});
    case 0x3A:
      if (p.size() < 2) break;
      options_.power_level = p[1];
      return ok({});
    case 0x32:
      if (p.size() < 2) break;
      return ok({});
    case 0x41:
      return ok({options_.portal_afi});
    case 0x40:
      if (p.size() < 2) break;
      options_.portal_afi = p[1];
      return ok({});
    case 0x43:
      return ok({options_.security_method, options_.security_value});
    case 0x42:
      if (p.size() < 3) break;
      options_.security_method = p[1];
      options_.security_value = p[2];
      return ok({});
    case 0x36:
      if (p.size() < 3 || p[1] != 0x01) break;
      if (p[2] == 0xFF) return ok({options_.transmit_flags, options_.transmit_value});
      // A reader without the transmit mode setting refuses to store one.
      if ((options_.transmit_flags & 0x01) == 0) return refuse(kStatusNotSupported);
      options_.transmit_value = p[2];
      return ok({});
    case 0xFE:
      return FrameReply(kStartD6, D6InventoryReply(options_));
    case 0x02:
      return FrameReply(kStartD6, D6BlockReadReply(options_, p));
    default:
      break;
  }
  // Unknown commands, and known ones with missing parameters, are not understood.
  return refuse(kStatusUnknownCommand);
}

void ReaderModel::StartFreshImage() {
  image_.clear();
  accepted_in_run_ = 0;
  fresh_image_pending_ = false;
  run_broken_ = false;
}

ModelReply ReaderModel::HandleRecord(const SimRecord& record, std::uint8_t ack_status) {
  if (!download_mode_) return {};
  ModelReply reply{ModelReply::Kind::Ack, MakeDownloadAck(ack_status)};
  if (ack_status == kAckBusy) {
    // The host sends a busy record once more; busy twice ends its run.
    if (busy_record_ && *busy_record_ == record) {
      run_broken_ = true;
      busy_record_.reset();
    } else {
      busy_record_ = record;
    }
    return reply;
  }
  if (ack_status != 0 && ack_status != 1) {
    run_broken_ = true;  // the host stops at a refused record
    busy_record_.reset();
    return reply;
  }
  if (busy_record_ && *busy_record_ != record) run_broken_ = true;
  busy_record_.reset();
  if (fresh_image_pending_ || run_broken_) StartFreshImage();
  ++accepted_in_run_;
  // Every run sends its first record twice; the image holds it once.
  const bool doubled_first =
      accepted_in_run_ == 2 && image_.size() == 1 && image_.front() == record;
  if (!doubled_first) image_.push_back(record);
  if (record.type == 0x01) {
    download_mode_ = false;
    fresh_image_pending_ = true;
    completed_images_.push_back(image_);
    if (options_.version_after_download) options_.version = *options_.version_after_download;
  }
  return reply;
}

}  // namespace flashwright::sim
