// The reader commands of the update side: version and hardware query, reset configuration,
// the two RF power queries, the switch into download mode and one firmware record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader_link/frame.h"
#include "reader_link/tag_technology.h"

namespace flashwright {

// Whole-version thresholds (family byte included).
inline constexpr std::uint32_t kHardwareQueryVersion = 0x0A04F108;  // version >= this
inline constexpr std::uint32_t kSettingsVersionFloor = 0x0A02FFFF;  // version > this
inline constexpr std::uint16_t kBootloaderUnknown = 0xFFFF;

inline constexpr int kCommandTimeLimitMs = 1250;
inline constexpr int kDownloadTimeLimitMs = 2000;
inline constexpr std::uint32_t kDownloadPauseMs = 1000;

// Optional outputs may be null. The hardware query runs only when bootloader or flags are
// wanted and the version is at least 0x0A04F108; its failure is not reported.
LinkError ReadReaderVersion(std::uint32_t* version, std::uint16_t* bootloader,
                            std::uint8_t* flags);
LinkError ResetConfiguration(std::uint8_t selection);
LinkError ReadPowerLevel(std::uint8_t* level);
LinkError ReadPowerRange(std::uint8_t* power_class);
LinkError EnterDownloadMode();
// Sends one firmware record as a RecordFrame; the first record of a download goes out twice.
LinkError SendRecord(bool first, std::uint8_t count, std::uint16_t address, std::uint8_t type,
                     const std::uint8_t* data, std::uint8_t checksum);

// The reply scanners of the commands above, reachable without a port for tests and fuzzing.
std::size_t ScanVersionReply(const std::uint8_t* buffer, std::size_t count, ReplyResult* result);
std::size_t ScanHardwareQueryReply(const std::uint8_t* buffer, std::size_t count,
                                   ReplyResult* result);
std::size_t ScanResetConfigurationReply(const std::uint8_t* buffer, std::size_t count,
                                        ReplyResult* result);
std::size_t ScanPowerLevelReply(const std::uint8_t* buffer, std::size_t count,
                                ReplyResult* result);
std::size_t ScanPowerRangeReply(const std::uint8_t* buffer, std::size_t count,
                                ReplyResult* result);

// Writes the RecordFrame of one record into `frame` (room for count + 8 bytes) and returns
// its size: D5, L = count + 5 (high byte first), count, address, type, data, checksum.
std::size_t BuildRecordFrame(std::uint8_t count, std::uint16_t address, std::uint8_t type,
                             const std::uint8_t* data, std::uint8_t checksum,
                             std::uint8_t* frame);

}  // namespace flashwright
