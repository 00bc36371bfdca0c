// Flashes a 32 KiB image (2,048 data records of 16 bytes) into the reader simulator, paced at
// 19200 baud 8N1, once with each wait policy of the transport, and once more waiting for input
// with the wire trace of flashwright-cli writing every byte to a log file, and prints each
// total time against the wire-time limit: every byte of both directions at 10 bits per byte,
// plus the pauses the protocol demands.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/prctl.h>

#include "app/cli/trace_log.h"
#include "platform/wire_trace.h"
#include "reader_link/commands.h"
#include "reader_link/transport.h"
#include "reader_update/download_engine.h"
#include "reader_update/firmware_folder.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/intel_hex_text.h"
#include "tools/test_support/test_support.h"

namespace {

using flashwright::UpdateJob;
using flashwright::WaitPolicy;
namespace hex = flashwright::test;

constexpr int kDataRecords = 2048;
constexpr int kRecordBytes = 16;
constexpr unsigned kCom = 1;
constexpr double kBitsPerByte = 10.0;
constexpr double kBaud = 19200.0;
constexpr std::size_t kEnterDownloadRequest = 10;
constexpr std::size_t kAcknowledgement = 5;
constexpr std::size_t kRecordFrameOverhead = 8;  // D5, length, count, address, type, checksum

// The image, and the bytes its download puts on the wire in both directions.
std::string BuildImage(std::size_t* wire_bytes) {
  std::string text;
  std::size_t bytes = kEnterDownloadRequest + kAcknowledgement;
  for (int r = 0; r < kDataRecords; ++r) {
    std::vector<std::uint8_t> data(kRecordBytes);
    for (int i = 0; i < kRecordBytes; ++i) data[i] = static_cast<std::uint8_t>(r * 31 + i);
    if (r == 0) {
      // Header: start bytes, descriptor byte 6 = class 1, platform 0.
      const std::uint8_t header[8] = {0x0C, 0xEF, 0x00, 0xF0, 0x00, 0x00, 0x40, 0x00};
      for (int i = 0; i < 8; ++i) data[i] = header[i];
    }
    text += hex::IntelHexRecord(static_cast<std::uint16_t>(r * kRecordBytes), hex::kHexData, data);
    const std::size_t exchange = kRecordFrameOverhead + kRecordBytes + kAcknowledgement;
    bytes += r == 0 ? 2 * exchange : exchange;  // the first record goes out twice
  }
  text += hex::IntelHexRecord(0, hex::kHexEndOfFile, {});
  bytes += kRecordFrameOverhead + kAcknowledgement;
  *wire_bytes = bytes;
  return text;
}

struct Measured {
  double seconds = 0;
  double median_gap_us = 0;  // per exchange, beyond the wire time of request and answer
  double mean_gap_us = 0;
  std::int32_t result = -1;
  std::uint32_t line = 0;
  std::size_t records_received = 0;
};

Measured Flash(WaitPolicy policy, const flashwright::test::ScopedPortDir& ports) {
  flashwright::sim::ReaderSimOptions options;
  options.paced = true;
  flashwright::sim::ReaderSimulator reader(options);
  Measured measured;
  if (!reader.Start(ports.path(), kCom)) return measured;
  flashwright::SetWaitPolicy(policy);

  UpdateJob job;
  job.port = kCom;
  job.bootloader = 0x0203;
  job.flags = 0x01;
  job.base_name = "bench32k";
  job.run_inline = true;
  const auto start = std::chrono::steady_clock::now();
  flashwright::ImageWorker(&job);
  measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  measured.result = job.result;
  measured.line = job.line;
  measured.records_received = reader.Image().size();

  // Time between the ends of consecutive record requests beyond their wire time: what the
  // host (and the machine's scheduling) adds to each exchange.
  const std::vector<flashwright::sim::SimRequest> requests = reader.Requests();
  std::vector<double> gaps;
  for (std::size_t i = 2; i < requests.size(); ++i) {
    if (!requests[i].is_record || !requests[i - 1].is_record) continue;
    const double seconds =
        std::chrono::duration<double>(requests[i].arrived - requests[i - 1].arrived).count();
    const double wire = (requests[i].bytes.size() + kAcknowledgement) * kBitsPerByte / kBaud;
    gaps.push_back((seconds - wire) * 1e6);
  }
  if (!gaps.empty()) {
    std::sort(gaps.begin(), gaps.end());
    double sum = 0;
    for (double gap : gaps) sum += gap;
    measured.median_gap_us = gaps[gaps.size() / 2];
    measured.mean_gap_us = sum / static_cast<double>(gaps.size());
  }
  return measured;
}

}  // namespace

int main() {
  // The simulator paces its line with absolute sleeps; the default 50 us timer slack would add
  // to every one of them, a cost of the simulation and not of the link. Threads started from
  // here on inherit the setting.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  flashwright::test::TempDir firmware;
  flashwright::test::ScopedPortDir ports;
  std::size_t wire_bytes = 0;
  const std::string image = BuildImage(&wire_bytes);
  if (!flashwright::test::WriteFile(firmware.Join("bench32k.hex"), image)) {
    std::fprintf(stderr, "cannot write the image\n");
    return 1;
  }
  flashwright::SetFirmwareFolder(firmware.path());

  const double pauses = flashwright::kDownloadPauseMs / 1000.0;  // after enter download
  const double limit = wire_bytes * kBitsPerByte / kBaud + pauses;
  std::printf("image: %d data records of %d bytes (%zu bytes of HEX text)\n", kDataRecords,
              kRecordBytes, image.size());
  std::printf("wire-time limit: %zu bytes both ways at 10 bits/byte, 19200 baud = %.3f s, "
              "plus %.3f s of pauses = %.3f s\n",
              wire_bytes, wire_bytes * kBitsPerByte / kBaud, pauses, limit);

  int status = 0;
  std::FILE* log = std::fopen(firmware.Join("trace.log").c_str(), "w");
  if (log == nullptr) {
    std::fprintf(stderr, "cannot write the trace log\n");
    return 1;
  }
  flashwright::cli::TraceLog trace(nullptr, 0, log);
  const struct {
    WaitPolicy policy;
    bool traced;
    const char* name;
  } policies[] = {{WaitPolicy::WaitForInput, false, "wait-for-input"},
                  {WaitPolicy::FixedSleep, false, "fixed 20 ms sleep"},
                  {WaitPolicy::WaitForInput, true, "traced (--log)"}};
  double untraced_seconds = 0;
  for (const auto& p : policies) {
    flashwright::platform::SetWireTrace(p.traced ? &trace : nullptr);
    const Measured m = Flash(p.policy, ports);
    flashwright::platform::SetWireTrace(nullptr);
    if (m.result != 0) {
      std::printf("%-18s failed: result %d at line %u\n", p.name, m.result, m.line);
      status = 1;
      continue;
    }
    std::printf("%-18s total %.3f s  ratio %.4f x limit  (%zu records received; per exchange "
                "beyond wire time: median %.0f us, mean %.0f us)\n",
                p.name, m.seconds, m.seconds / limit, m.records_received, m.median_gap_us,
                m.mean_gap_us);
    if (p.policy == WaitPolicy::WaitForInput && !p.traced) untraced_seconds = m.seconds;
    if (p.traced && untraced_seconds > 0) {
      std::printf("trace on / trace off: %.4f (the whole trace in a log file, %ld bytes)\n",
                  m.seconds / untraced_seconds, std::ftell(log));
    }
  }
  std::fclose(log);
  std::printf("target: wait-for-input at most 1.03 x limit, trace off and on alike\n");
  return status;
}
