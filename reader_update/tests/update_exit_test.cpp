// The program never ends under a running update worker: asked to stop, a run ends after the
// record it is sending, closes the port and completes; the exit waits for it, whether the
// program takes its way out or simply leaves main. Against the reader simulator on a pty, on a
// line paced at 19200 baud so that the runs are still going when the stop comes.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/posted_messages.h"
#include "reader_link/transport.h"
#include "reader_update/download_engine.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/tests/hex_text.h"
#include "reader_update/update_workers.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using sim::ReaderSimOptions;
using sim::ReaderSimulator;
using sim::SimFault;

constexpr unsigned kCom = 4;
constexpr int kImageRecords = 402;  // header, 400 data records, end of file

class UpdateExitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFirmwareFolder(firmware_.path());
    // Header and 400 records of 16 bytes: several seconds on a paced line.
    ASSERT_TRUE(test::WriteFile(firmware_.Join("long.hex"),
                                test::DataRecord(0, test::HeaderData(1, 0)) +
                                    test::Filler(0x0010, 400) + test::EndRecord()));
    ReaderSimOptions options;
    options.paced = true;
    reader_ = std::make_unique<ReaderSimulator>(options);
    ASSERT_TRUE(reader_->Start(ports_.path(), kCom));
  }
  void TearDown() override { EXPECT_TRUE(StopUpdateWorkers()); }

  std::unique_ptr<UpdateJob> Job() {
    auto job = std::make_unique<UpdateJob>();
    job->target = queue_.handle();
    job->port = kCom;
    job->bootloader = 0x0203;
    job->flags = 0x01;
    job->base_name = "long";
    return job;
  }

  // Waits for the programming note of `line` or later; false if the run ended first.
  bool WaitForLine(std::uint32_t line) {
    const auto deadline = Clock::now() + 60s;
    while (Clock::now() < deadline) {
      MessageId message = 0;
      std::unique_ptr<PostedRecord> record;
      if (!queue_.Pump(&message, &record, 1s)) continue;
      if (message == UpdateCompleteMessage()) {
        completion_ = TakeRecord<UpdateJob>(std::move(record));
        return false;
      }
      const auto* note = dynamic_cast<const ProgressNote*>(record.get());
      if (message == ProgramProgressMessage() && note != nullptr && note->line >= line) {
        return true;
      }
    }
    return false;
  }

  std::unique_ptr<UpdateJob> Completion(std::chrono::milliseconds limit = 30s) {
    if (completion_) return std::move(completion_);
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      MessageId message = 0;
      std::unique_ptr<PostedRecord> record;
      if (queue_.Pump(&message, &record, 100ms) && message == UpdateCompleteMessage()) {
        return TakeRecord<UpdateJob>(std::move(record));
      }
    }
    return nullptr;
  }

  test::ScopedPortDir ports_;
  test::TempDir firmware_;
  QueuePostTarget queue_;
  std::unique_ptr<ReaderSimulator> reader_;
  std::unique_ptr<UpdateJob> completion_;
};

TEST_F(UpdateExitTest, StoppedRunEndsAfterItsRecordAndTheNextRunGoesOn) {
  ASSERT_EQ(StartUpdateWorker(Job()), 0);
  ASSERT_TRUE(WaitForLine(24));
  EXPECT_EQ(RunningUpdateWorkers(), 1u);

  const auto asked = Clock::now();
  ASSERT_TRUE(StopUpdateWorkers());
  EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(kWorkerStopLimitMs));
  EXPECT_EQ(RunningUpdateWorkers(), 0u);
  EXPECT_EQ(ReaderPortHandle(), nullptr) << "the worker closed the port before it ended";

  auto job = Completion();
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(job->result, kErrorRunStopped);
  EXPECT_FALSE(job->failed_in_check);
  EXPECT_EQ(job->phase, kPhaseSend);
  EXPECT_GE(job->line, 24u);
  EXPECT_LT(job->line, static_cast<std::uint32_t>(kImageRecords));
  // Every record before the stopped one went out whole and was answered (the first twice);
  // nothing followed.
  EXPECT_EQ(reader_->RecordLog().size(), job->line);
  EXPECT_EQ(reader_->CompletedDownloads(), 0u);
  EXPECT_TRUE(reader_->InDownloadMode()) << "the reader awaits a recover run";

  // The stop request ended with the workers: a recover run finishes the reader.
  auto recover = Job();
  recover->recover = true;
  recover->bootloader = kBootloaderUnknown;
  recover->flags = 0;
  ASSERT_EQ(StartUpdateWorker(std::move(recover)), 0);
  auto done = Completion(120s);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(done->result, 0);
  EXPECT_EQ(reader_->CompletedDownloads(), 1u);
}

TEST_F(UpdateExitTest, WaitIsBoundedAndNoRunStartsWhileAWorkerIsLeft) {
  ASSERT_EQ(StartUpdateWorker(Job()), 0);
  ASSERT_TRUE(WaitForLine(8));
  // The reader stops answering: the worker sits in a record exchange of 2000 ms.
  reader_->SetFault(SimFault::NoAnswer);
  // Records follow one another every few milliseconds; once the log stands still for half a
  // second, the worker waits for the answer to its last record.
  std::size_t sent = reader_->RecordLog().size();
  for (auto still_since = Clock::now(); Clock::now() - still_since < 500ms;) {
    std::this_thread::sleep_for(20ms);
    const std::size_t now = reader_->RecordLog().size();
    if (now != sent) {
      sent = now;
      still_since = Clock::now();
    }
  }

  const auto asked = Clock::now();
  EXPECT_FALSE(StopUpdateWorkers(150ms));
  const auto waited = Clock::now() - asked;
  EXPECT_GE(waited, 150ms);
  EXPECT_LT(waited, 1500ms);
  EXPECT_EQ(RunningUpdateWorkers(), 1u);

  // The program is on its way out: a new run is completed at once, never started.
  auto late = Job();
  EXPECT_EQ(StartUpdateWorker(std::move(late)), kErrorRunStopped);

  ASSERT_TRUE(StopUpdateWorkers());
  EXPECT_EQ(RunningUpdateWorkers(), 0u);
  std::unique_ptr<UpdateJob> first = Completion();
  std::unique_ptr<UpdateJob> second = Completion();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  // The queue holds them in the order they completed: the refused run at once, then the run
  // whose record timed out.
  EXPECT_EQ(first->result, kErrorRunStopped);
  EXPECT_TRUE(first->failed_in_check);
  EXPECT_EQ(first->phase, kPhasePortNotOpen);
  EXPECT_EQ(second->result, kLinkTimeout);
  EXPECT_EQ(second->phase, kPhaseSend);
  EXPECT_EQ(reader_->RecordLog().size(), sent) << "no record after the stop";
  EXPECT_EQ(Completion(300ms), nullptr) << "each job completes once";
}

// The probe program ends in the middle of a run, once through the programs' way out and once
// by leaving main. Either way the exit waits for the worker, which stops after its record,
// closes the port and posts its completion; under AddressSanitizer a worker left running into
// the teardown of the program's statics would fail the probe.
TEST_F(UpdateExitTest, ProgramEndingMidRunWaitsForItsWorker) {
  for (const char* mode : {"explicit", "return"}) {
    SCOPED_TRACE(mode);
    const std::size_t before = reader_->RecordLog().size();
    const test::ProgramResult probe = test::RunProgram(
        {FW_EXIT_PROBE, firmware_.path(), "long", std::to_string(kCom), mode, "40"}, {}, 90);
    ASSERT_EQ(probe.exit_status, 0) << probe.out << probe.err;

    // The completion comes after the program began to end, with the port already closed.
    const std::size_t at = probe.out.find("exiting\ncomplete ");
    ASSERT_NE(at, std::string::npos) << probe.out;
    int result = 0;
    int phase = 0;
    unsigned line = 0;
    int port_open = 1;
    ASSERT_EQ(std::sscanf(probe.out.c_str() + at, "exiting\ncomplete result=%d phase=%d line=%u "
                                                  "port_open=%d",
                          &result, &phase, &line, &port_open),
              4)
        << probe.out;
    EXPECT_EQ(result, kErrorRunStopped);
    EXPECT_EQ(phase, kPhaseSend);
    EXPECT_EQ(port_open, 0);
    EXPECT_GE(line, 40u);
    EXPECT_LT(line, static_cast<unsigned>(kImageRecords));
    if (std::string(mode) == "explicit") {
      EXPECT_NE(probe.out.find("ended running=0 port_open=0\n"), std::string::npos) << probe.out;
    }
    // The last record went out whole and was answered; nothing came after the exit.
    EXPECT_EQ(reader_->RecordLog().size() - before, line);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(reader_->RecordLog().size() - before, line);
    EXPECT_EQ(reader_->CompletedDownloads(), 0u);
    EXPECT_TRUE(probe.err.find("AddressSanitizer") == std::string::npos) << probe.err;
    // The next probe starts over with the enter-download request; the simulator takes it only
    // outside download mode.
    reader_->Stop();
    reader_ = std::make_unique<ReaderSimulator>(reader_->Options());
    ASSERT_TRUE(reader_->Start(ports_.path(), kCom));
  }
}

}  // namespace
}  // namespace flashwright
