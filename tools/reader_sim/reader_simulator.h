// A simulated RFID reader on a pseudo-terminal. It publishes the pty's slave as COM<n> in a
// port folder (the folder FLASHWRIGHT_PORT_DIR names) and answers the reader protocol on its
// own thread: version and hardware query, power range and level, reset configuration, download
// mode with firmware records, and the reader tool commands (tag inventory and block reads in D6
// and both D5 variants, portal AFI, security method, RF transmit mode, RF power level).
//
// Faults are set at run time and apply to the requests that follow.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace flashwright::sim {

struct SimTag {
  std::vector<std::uint8_t> id;  // 8 bytes for D6 readers, 4 bytes for D5 readers
  std::uint32_t block0 = 0;
};

struct ReaderSimOptions {
  std::uint32_t version = 0x0A04F108;   // family, major, minor, build
  std::uint16_t bootloader = 0x0203;    // reported in hardware query item 6 (0xFFFF: FF FF)
  std::uint8_t capability = 0x01;       // item 6, third byte (bit 0 is the "*" capability)
  std::uint8_t platform = 0;            // item 10, first byte (0 520/530, 1 Desklet)
  std::uint8_t power_class = 1;         // answer to the power range query
  std::uint8_t power_level = 1;         // answer to the power level query; set by 0x3A
  std::uint8_t portal_afi = 0xDA;
  std::uint8_t security_method = 0x09;
  std::uint8_t security_value = 0xDA;
  std::uint8_t transmit_flags = 0x01;   // bit 0: the reader supports the transmit mode setting
  std::uint8_t transmit_value = 0x00;
  std::vector<SimTag> tags;             // tags in the field
  bool d5_extra_byte = true;            // the D5 variant an older reader speaks
  bool paced = false;                   // bytes take their 19200 baud 8N1 time on the wire
  bool start_in_download_mode = false;  // the reader already waits for records (recover)
  std::optional<std::uint32_t> version_after_download;  // version once an image is complete
};

// One record as the reader received it in download mode.
struct SimRecord {
  std::uint8_t count = 0;
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  std::vector<std::uint8_t> data;
  std::uint8_t checksum = 0;
  bool operator==(const SimRecord&) const = default;
};

// One request as it arrived (a whole frame, or a record frame), with its arrival time.
struct SimRequest {
  std::vector<std::uint8_t> bytes;
  std::chrono::steady_clock::time_point arrived;
  bool is_record = false;  // a record frame of download mode (no CRC)
  bool crc_ok = true;      // frames only; a frame with a bad CRC is logged but not answered
};

enum class SimFault {
  None,
  NoAnswer,            // requests are read and not answered
  BadCrc,              // replies carry a wrong CRC
  WrongEcho,           // replies answer another command (the echo byte is changed)
  Busy,                // acknowledgements carry status 0xFE
  AckStatus1,          // acknowledgements carry status 1
  AckStatus2,          // acknowledgements carry status 2 (rejected)
  SplitReplies,        // replies are written in several pieces with pauses between
  GarbageBeforeFrame,  // a few garbage bytes (and a stray start byte) precede each reply
};

class ReaderSimulator {
 public:
  explicit ReaderSimulator(ReaderSimOptions options = {});
  ~ReaderSimulator();  // stops the thread, closes the pty, removes the port entry
  ReaderSimulator(const ReaderSimulator&) = delete;
  ReaderSimulator& operator=(const ReaderSimulator&) = delete;

  // Opens a pty and publishes its slave as <port_dir>/COM<com> (a symbolic link). When
  // `link_target` is given, COM<com> links to it instead and it links to the slave (so a test
  // can give the port a tty name such as ../dev/ttyUSB0). False when the pty cannot be made.
  bool Start(const std::string& port_dir, unsigned com, const std::string& link_target = {});
  void Stop();
  std::string SlavePath() const;

  // Faults. `count` < 0 keeps the fault until it is changed; otherwise it applies to that many
  // replies or acknowledgements and then ends.
  void SetFault(SimFault fault, int count = -1);
  // The next reply to `command` (the echo byte of a request) is exactly `bytes`.
  // (The request then has no other effect: nothing is stored, the mode does not change.)
  void SetReplyOverride(std::uint8_t command, std::vector<std::uint8_t> bytes);
  // Every D6 reply to `command` carries `status` (0 restores normal answers).
  void SetCommandStatus(std::uint8_t command, std::uint8_t status);
  // Acknowledgement status for record number `record_index` (0-based, duplicates counted).
  // (The index is a position in RecordLog, counted from the simulator's start. It wins over
  // an acknowledgement fault.)
  void SetRecordAckStatus(std::size_t record_index, std::uint8_t status);
  // After `records` record frames, the pty is closed (as when the cable is pulled) and a new
  // one is published under the same name, still in download mode.
  // (Counted from this call; the line goes once the host has read the last acknowledgement.
  // 0 hangs up at once. The mode is kept: a reader hung up mid-download awaits a recover run.)
  void HangUpAfterRecords(std::size_t records);

  // (start_in_download_mode counts only at construction.)
  void SetOptions(const ReaderSimOptions& options);
  ReaderSimOptions Options() const;

  // What arrived. The image is the records of the last download in order, the doubled first
  // record counted once; all record frames (duplicates included) are in RecordLog.
  std::vector<SimRequest> Requests() const;
  std::size_t RequestCount(std::uint8_t command) const;  // by echo byte; 0x3C for enter download
  std::vector<SimRecord> Image() const;
  std::vector<SimRecord> RecordLog() const;
  bool InDownloadMode() const;
  std::string ImageAsIntelHex() const;
  bool WriteIntelHex(const std::string& path) const;
  // Time at which the last byte of the latest reply was written (for latency benchmarks).
  std::chrono::steady_clock::time_point LastReplyEnd() const;
  // Waits until `count` requests have arrived in total or `timeout` passes.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

  // Every image that ended with its end-of-file record, oldest first.
  std::vector<std::vector<SimRecord>> CompletedImages() const;
  std::size_t CompletedDownloads() const;
  // The published port entry, <port_dir>/COM<com>; empty when not started.
  std::string PortPath() const;
  // How many times the line was hung up (HangUpAfterRecords).
  std::size_t HangUps() const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace flashwright::sim
