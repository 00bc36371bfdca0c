#include "reader_link/commands.h"

#include <cstring>

#include "platform/clock.h"
#include "reader_link/transport.h"

namespace flashwright {
namespace {

constexpr std::uint8_t kCmdVersion = 0x11;
constexpr std::uint8_t kCmdHardwareQuery = 0x13;
constexpr std::uint8_t kCmdResetConfiguration = 0x32;
constexpr std::uint8_t kCmdPowerLevel = 0x3E;
constexpr std::uint8_t kCmdPowerRange = 0x12;

constexpr std::uint8_t kAckBusy = 0xFE;

// One CRC-framed request: start byte and payload.
struct FrameRequest {
  std::uint8_t start;
  const std::uint8_t* payload;
  std::uint16_t payload_size;
};

LinkError SendFrameRequest(const void* argument) {
  const auto* request = static_cast<const FrameRequest*>(argument);
  std::uint8_t frame[64];
  std::memcpy(frame + 3, request->payload, request->payload_size);
  const std::uint16_t length = static_cast<std::uint16_t>(request->payload_size + 2);
  BuildFrame(request->start, length, frame);
  return SendBytes(static_cast<std::uint16_t>(length + 3), true, frame);
}

LinkError Exchange(const FrameRequest& request, ReplyScanner scanner, int time_limit_ms,
                   ReplyResult* result) {
  return Transact(SendFrameRequest, &request, scanner, time_limit_ms, 1, result);
}

// Version reply: D5 frame of at least 12 bytes, version in payload bytes 3 to 6.
bool ReadVersionFields(const FrameView& frame, ReplyResult* result) {
  if (frame.frame_size < 12) return false;
  const std::uint8_t* p = frame.payload();
  result->value = static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[4]) << 16 |
                  static_cast<std::uint32_t>(p[5]) << 8 | p[6];
  return true;
}

// Hardware query reply: status, item count, then items (id, length, value bytes). Item 6 holds
// the bootloader version and the capability byte, item 10 the platform byte.
bool ReadHardwareFields(const FrameView& frame, ReplyResult* result) {
  const std::uint8_t* f = frame.frame;
  result->status = f[4];
  std::uint8_t boot_high = 0xFF, boot_low = 0xFF, extra = 0, platform_byte = 0;
  if (result->status == 0 && frame.frame_size >= 8) {
    const std::size_t crc_at = frame.frame_size - 2;
    const std::size_t items = f[5];
    std::size_t at = 6;
    for (std::size_t seen = 0; seen < items && at < crc_at; ++seen) {
      const std::uint8_t id = f[at];
      const std::size_t length = at + 1 < crc_at ? f[at + 1] : 0;
      const std::size_t value_at = at + 2;
      if (value_at + length <= crc_at) {
        if (id == 6 && length >= 2) {
          boot_high = f[value_at];
          boot_low = f[value_at + 1];
          if (boot_high == 0xFF && boot_low == 0xFF) {
            boot_high = 0x01;  // a reader that reports FF FF has bootloader 1.00
            boot_low = 0x00;
          }
          if (length >= 3) extra = f[value_at + 2];
        } else if (id == 10 && length >= 1) {
          platform_byte = f[value_at];
        }
      }
      at = value_at + length;
    }
  }
  result->value = static_cast<std::uint32_t>(boot_high) << 24 |
                  static_cast<std::uint32_t>(boot_low) << 16 |
                  static_cast<std::uint32_t>(extra) << 8 | platform_byte;
  return true;
}

bool ReadStatusAndByte(const FrameView& frame, ReplyResult* result) {
  result->status = frame.frame[4];
  result->value = frame.frame[5];
  return true;
}

bool ReadStatusAndByteIfOk(const FrameView& frame, ReplyResult* result) {
  result->status = frame.frame[4];
  result->value = result->status == 0 ? frame.frame[5] : 0;
  return true;
}

LinkError ReadOneByte(std::uint8_t command, ReplyScanner scanner, std::uint8_t* out) {
  *out = 0;
  const std::uint8_t payload[] = {command};
  ReplyResult result;
  const LinkError error = Exchange({kStartD6, payload, 1}, scanner, kCommandTimeLimitMs, &result);
  if (error != 0) return error;
  if (result.status != 0) return StatusError(result.status);
  *out = static_cast<std::uint8_t>(result.value);
  return 0;
}

// A firmware record, sent as a RecordFrame in three writes: header (purging input first),
// data, checksum.
struct RecordRequest {
  std::uint8_t count;
  std::uint16_t address;
  std::uint8_t type;
  const std::uint8_t* data;
  std::uint8_t checksum;
};

LinkError SendRecordFrame(const void* argument) {
  const auto* record = static_cast<const RecordRequest*>(argument);
  std::uint8_t frame[7 + 255 + 1];
  BuildRecordFrame(record->count, record->address, record->type, record->data, record->checksum,
                   frame);
  constexpr std::uint16_t kHeaderSize = 7;
  if (const LinkError error = SendBytes(kHeaderSize, true, frame); error != 0) return error;
  if (record->count > 0) {
    if (const LinkError error = SendBytes(record->count, false, frame + kHeaderSize);
        error != 0) {
      return error;
    }
  }
  return SendBytes(1, false, frame + kHeaderSize + record->count);
}

// One record exchange; on success *status is the acknowledgement status.
LinkError RecordExchange(const RecordRequest& record, std::uint8_t* status) {
  ReplyResult result;
  const LinkError error =
      Transact(SendRecordFrame, &record, ScanDownloadAck, kDownloadTimeLimitMs, 1, &result);
  *status = static_cast<std::uint8_t>(result.value);
  return error;
}

LinkError AckOutcome(std::uint8_t status) {
  switch (status) {
    case 0: return 0;
    case 1: platform::SleepMs(kDownloadPauseMs); return 0;
    case 2: return kLinkRejected;
    default: return status;
  }
}

}  // namespace

std::size_t ScanVersionReply(const std::uint8_t* buffer, std::size_t count, ReplyResult* result) {
  return ScanCrcReply(buffer, count, result, kStartD5, kCmdVersion, ReadVersionFields);
}

std::size_t ScanHardwareQueryReply(const std::uint8_t* buffer, std::size_t count,
                                   ReplyResult* result) {
  return ScanCrcReply(buffer, count, result, kStartD6, kCmdHardwareQuery, ReadHardwareFields);
}

std::size_t ScanResetConfigurationReply(const std::uint8_t* buffer, std::size_t count,
                                        ReplyResult* result) {
  return ScanCrcReply(buffer, count, result, kStartD6, kCmdResetConfiguration,
                      ReadStatusAndByte);
}

std::size_t ScanPowerLevelReply(const std::uint8_t* buffer, std::size_t count,
                                ReplyResult* result) {
  return ScanCrcReply(buffer, count, result, kStartD6, kCmdPowerLevel, ReadStatusAndByteIfOk);
}

std::size_t ScanPowerRangeReply(const std::uint8_t* buffer, std::size_t count,
                                ReplyResult* result) {
  return ScanCrcReply(buffer, count, result, kStartD6, kCmdPowerRange, ReadStatusAndByteIfOk);
}

LinkError ReadReaderVersion(std::uint32_t* version, std::uint16_t* bootloader,
                            std::uint8_t* flags) {
  static constexpr std::uint8_t kVersionQuery[] = {0x04, 0x00, kCmdVersion};
  ReplyResult result;
  const LinkError error =
      Exchange({kStartD5, kVersionQuery, sizeof kVersionQuery}, ScanVersionReply,
               kCommandTimeLimitMs, &result);
  const std::uint32_t found = error == 0 ? result.value : 0;
  if (version != nullptr) *version = found;
  if (bootloader != nullptr) *bootloader = kBootloaderUnknown;
  if (flags != nullptr) *flags = 0;

  if (error == 0 && (bootloader != nullptr || flags != nullptr) &&
      found >= kHardwareQueryVersion) {
    static constexpr std::uint8_t kHardwareQuery[] = {kCmdHardwareQuery, 0x02, 0x06,
                                                      0x00, 0x0A, 0x00};
    ReplyResult hardware;
    // The reader's answer here is optional: without it the defaults stand.
    if (Exchange({kStartD6, kHardwareQuery, sizeof kHardwareQuery}, ScanHardwareQueryReply,
                 kCommandTimeLimitMs, &hardware) == 0 &&
        hardware.status == 0) {
      if (bootloader != nullptr) *bootloader = static_cast<std::uint16_t>(hardware.value >> 16);
      if (flags != nullptr) {
        *flags = static_cast<std::uint8_t>(((hardware.value >> 8) & 0x1F) |
                                           ((hardware.value & 0xFF) << 5));
      }
    }
  }
  return error;
}

LinkError ResetConfiguration(std::uint8_t selection) {
  const std::uint8_t payload[] = {kCmdResetConfiguration,
                                  static_cast<std::uint8_t>(selection & (kTechTagIt | kTechIso))};
  ReplyResult result;
  const LinkError error = Exchange({kStartD6, payload, sizeof payload},
                                   ScanResetConfigurationReply, kCommandTimeLimitMs, &result);
  if (error != 0) return error;
  return result.status != 0 ? StatusError(result.status) : 0;
}

LinkError ReadPowerLevel(std::uint8_t* level) {
  return ReadOneByte(kCmdPowerLevel, ScanPowerLevelReply, level);
}

LinkError ReadPowerRange(std::uint8_t* power_class) {
  return ReadOneByte(kCmdPowerRange, ScanPowerRangeReply, power_class);
}

LinkError EnterDownloadMode() {
  static constexpr std::uint8_t kEnterDownload[] = {0x04, 0x00, 0x3C, 0x08, 0x00};
  ReplyResult result;
  const LinkError error = Exchange({kStartD5, kEnterDownload, sizeof kEnterDownload},
                                   ScanDownloadAck, kDownloadTimeLimitMs, &result);
  if (error != 0) return error;
  const std::uint8_t status = static_cast<std::uint8_t>(result.value);
  if (status == 0 || status == 1) {
    platform::SleepMs(kDownloadPauseMs);
    return 0;
  }
  return status == 2 ? LinkError{kLinkRejected} : LinkError{status};
}

LinkError SendRecord(bool first, std::uint8_t count, std::uint16_t address, std::uint8_t type,
                     const std::uint8_t* data, std::uint8_t checksum) {
  const RecordRequest record{count, address, type, data, checksum};
  std::uint8_t status = 0;
  if (const LinkError error = RecordExchange(record, &status); error != 0) return error;
  if (status == kAckBusy) {
    platform::SleepMs(kDownloadPauseMs);
    if (const LinkError error = RecordExchange(record, &status); error != 0) return error;
  }
  if (const LinkError outcome = AckOutcome(status); outcome != 0) return outcome;
  if (!first) return 0;

  // The reader takes the first record of a download twice.
  if (const LinkError error = RecordExchange(record, &status); error != 0) return error;
  if (status == kAckBusy) {
    if (const LinkError error = RecordExchange(record, &status); error != 0) return error;
  }
  return AckOutcome(status);
}

std::size_t BuildRecordFrame(std::uint8_t count, std::uint16_t address, std::uint8_t type,
                             const std::uint8_t* data, std::uint8_t checksum,
                             std::uint8_t* frame) {
  const std::uint16_t length = static_cast<std::uint16_t>(count + 5);
  frame[0] = kStartD5;
  frame[1] = static_cast<std::uint8_t>(length >> 8);
  frame[2] = static_cast<std::uint8_t>(length);
  frame[3] = count;
  frame[4] = static_cast<std::uint8_t>(address >> 8);
  frame[5] = static_cast<std::uint8_t>(address);
  frame[6] = type;
  if (count > 0) std::memcpy(frame + 7, data, count);
  frame[7 + count] = checksum;
  return static_cast<std::size_t>(count) + 8;
}

}  // namespace flashwright
