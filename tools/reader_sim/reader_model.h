// What the simulated reader does with each request: its commands and settings, download mode
// and the image it receives. No I/O and no locking; the simulator makes the calls one at a time.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "tools/reader_sim/reader_simulator.h"

namespace flashwright::sim {

// Thresholds on the whole version word: above the first the reader has the settings and D6
// tag commands, from the second on the bootloader and hardware query.
inline constexpr std::uint32_t kLastVersionWithoutTools = 0x0A02FFFF;
inline constexpr std::uint32_t kFirstVersionWithHardwareQuery = 0x0A04F108;

inline constexpr std::uint8_t kStatusUnknownCommand = 2;
inline constexpr std::uint8_t kStatusNotSupported = 49;

struct ModelReply {
  enum class Kind { None, Frame, Ack };
  Kind kind = Kind::None;
  std::vector<std::uint8_t> bytes;
};

class ReaderModel {
 public:
  explicit ReaderModel(ReaderSimOptions options);

  // The command byte a request is known by: D5 payload byte 2, D6 payload byte 0.
  static std::optional<std::uint8_t> CommandOf(const std::vector<std::uint8_t>& frame);
  // The switch into download mode, which is answered with an acknowledgement.
  static bool IsEnterDownload(const std::vector<std::uint8_t>& frame);
  static std::optional<SimRecord> ParseRecordFrame(const std::vector<std::uint8_t>& bytes);

  // A CRC-good frame outside download mode; `ack_status` is used when it is answered with an
  // acknowledgement.
  ModelReply HandleFrame(const std::vector<std::uint8_t>& frame, std::uint8_t ack_status);
  // A record frame in download mode, answered with `ack_status`. Only accepted records
  // (status 0 or 1) become part of the image.
  ModelReply HandleRecord(const SimRecord& record, std::uint8_t ack_status);
  // The host gives up on a record that got no answer, so its next record starts a new run.
  void NoteRecordUnanswered() { run_broken_ = true; }
  // After a hang-up the host can only go on with a recover run, which starts a fresh image.
  void NoteHangUp() { fresh_image_pending_ = true; }

  void SetCommandStatus(std::uint8_t command, std::uint8_t status);
  void SetOptions(const ReaderSimOptions& options) { options_ = options; }
  const ReaderSimOptions& Options() const { return options_; }
  bool InDownloadMode() const { return download_mode_; }
  const std::vector<SimRecord>& Image() const { return image_; }
  const std::vector<std::vector<SimRecord>>& CompletedImages() const { return completed_images_; }

 private:
  ModelReply D6Reply(const std::vector<std::uint8_t>& payload);
  ModelReply D5Reply(const std::vector<std::uint8_t>& payload, std::uint8_t ack_status);
  void StartFreshImage();

  ReaderSimOptions options_;
  std::map<std::uint8_t, std::uint8_t> command_status_;
  bool download_mode_ = false;
  bool fresh_image_pending_ = true;
  bool run_broken_ = false;
  std::optional<SimRecord> busy_record_;  // the record last answered "busy"
  std::size_t accepted_in_run_ = 0;
  std::vector<SimRecord> image_;
  std::vector<std::vector<SimRecord>> completed_images_;
};

}  // namespace flashwright::sim
