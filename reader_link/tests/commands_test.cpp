// The reader commands end to end against the reader simulator on a pty.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/serial_port.h"
#include "reader_link/reader_link.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using sim::ReaderSimOptions;
using sim::ReaderSimulator;
using sim::SimFault;

class CommandsTest : public ::testing::Test {
 protected:
  void StartReader(ReaderSimOptions options) {
    reader_ = std::make_unique<ReaderSimulator>(options);
    ASSERT_TRUE(reader_->Start(ports_.path(), 3));
    ASSERT_EQ(OpenReaderPort(3), 0);
  }
  void TearDown() override {
    CloseReaderPort();
    SetWaitPolicy(WaitPolicy::WaitForInput);
  }
  std::vector<Bytes> RequestBytes() const {
    std::vector<Bytes> all;
    for (const auto& request : reader_->Requests()) all.push_back(request.bytes);
    return all;
  }

  test::ScopedPortDir ports_;
  std::unique_ptr<ReaderSimulator> reader_;
};

TEST_F(CommandsTest, VersionWithHardwareQuery) {
  ReaderSimOptions options;
  options.version = 0x0A04F108;
  options.bootloader = 0x0203;
  options.capability = 0x01;
  options.platform = 1;
  StartReader(options);
  std::uint32_t version = 0;
  std::uint16_t bootloader = 0;
  std::uint8_t flags = 0;
  ASSERT_EQ(ReadReaderVersion(&version, &bootloader, &flags), 0);
  EXPECT_EQ(version, 0x0A04F108u);
  EXPECT_EQ(bootloader, 0x0203);
  EXPECT_EQ(flags, 0x21);
  const std::vector<Bytes> expected = {
      {0xD5, 0x00, 0x05, 0x04, 0x00, 0x11, 0x8C, 0x66},
      {0xD6, 0x00, 0x08, 0x13, 0x02, 0x06, 0x00, 0x0A, 0x00, 0x05, 0xD9}};
  EXPECT_EQ(RequestBytes(), expected);
}

TEST_F(CommandsTest, VersionJustBelowTheThresholdGetsNoHardwareQuery) {
  ReaderSimOptions options;
  options.version = 0x0A04F107;
  StartReader(options);
  std::uint32_t version = 0;
  std::uint16_t bootloader = 0;
  std::uint8_t flags = 0xAA;
  ASSERT_EQ(ReadReaderVersion(&version, &bootloader, &flags), 0);
  EXPECT_EQ(version, 0x0A04F107u);
  EXPECT_EQ(bootloader, kBootloaderUnknown);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(reader_->RequestCount(0x13), 0u);

  // Only the version wanted: no hardware query at any version.
  reader_->SetOptions([&] { auto o = reader_->Options(); o.version = 0x0A050000; return o; }());
  ASSERT_EQ(ReadReaderVersion(&version, nullptr, nullptr), 0);
  EXPECT_EQ(reader_->RequestCount(0x13), 0u);
}

TEST_F(CommandsTest, HardwareQueryAnswers) {
  ReaderSimOptions options;
  options.bootloader = 0xFFFF;  // reported as FF FF
  options.capability = 0x00;
  StartReader(options);
  std::uint32_t version = 0;
  std::uint16_t bootloader = 0;
  std::uint8_t flags = 0;
  ASSERT_EQ(ReadReaderVersion(&version, &bootloader, &flags), 0);
  EXPECT_EQ(bootloader, 0x0100);

  // A refused hardware query is not an error of the version read.
  reader_->SetCommandStatus(0x13, 5);
  ASSERT_EQ(ReadReaderVersion(&version, &bootloader, &flags), 0);
  EXPECT_EQ(version, options.version);
  EXPECT_EQ(bootloader, kBootloaderUnknown);
  EXPECT_EQ(flags, 0);
}

TEST_F(CommandsTest, ResetConfigurationAndPowerQueries) {
  ReaderSimOptions options;
  options.power_class = 2;
  options.power_level = 10;
  StartReader(options);
  EXPECT_EQ(ResetConfiguration(0xFF), 0);
  EXPECT_EQ(RequestBytes().back(), (Bytes{0xD6, 0x00, 0x04, 0x32, 0x03, 0xF4, 0x6B}));

  std::uint8_t value = 0;
  EXPECT_EQ(ReadPowerRange(&value), 0);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(ReadPowerLevel(&value), 0);
  EXPECT_EQ(value, 10);
  EXPECT_EQ(ReadPowerText(options.version, nullptr), "100mW");
  EXPECT_EQ(ReadPowerText(0x0A02FFFF, nullptr), "NA");

  reader_->SetCommandStatus(0x32, 1);
  EXPECT_EQ(ResetConfiguration(kTechTagIt | kTechIso), -33);
  reader_->SetCommandStatus(0x3E, 4);
  value = 99;
  EXPECT_EQ(ReadPowerLevel(&value), -36);
  EXPECT_EQ(value, 0);
  LinkError error = 0;
  EXPECT_EQ(ReadPowerText(options.version, &error), "(err -36)");
  EXPECT_EQ(error, -36);
}

TEST_F(CommandsTest, FaultyRepliesEndInTimeout) {
  StartReader({});
  std::uint32_t version = 1;
  for (SimFault fault : {SimFault::NoAnswer, SimFault::BadCrc, SimFault::WrongEcho}) {
    reader_->SetFault(fault);
    const auto started = Clock::now();
    EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), kLinkTimeout);
    const auto waited = Clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(kCommandTimeLimitMs - 1));
    // "About 1250 ms": a receive that ran on well past its limit is a fault too.
    EXPECT_LT(waited, std::chrono::milliseconds(kCommandTimeLimitMs) + test::kTimeLimitOverrun);
    EXPECT_EQ(version, 0u);
  }
  reader_->SetFault(SimFault::None);
  EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), 0);
}

TEST_F(CommandsTest, SplitAndGarbledRepliesAreGathered) {
  StartReader({});
  for (WaitPolicy policy : {WaitPolicy::WaitForInput, WaitPolicy::FixedSleep}) {
    SetWaitPolicy(policy);
    for (SimFault fault : {SimFault::SplitReplies, SimFault::GarbageBeforeFrame}) {
      reader_->SetFault(fault);
      std::uint32_t version = 0;
      std::uint16_t bootloader = 0;
      std::uint8_t flags = 0;
      EXPECT_EQ(ReadReaderVersion(&version, &bootloader, &flags), 0)
          << "fault " << static_cast<int>(fault) << " policy " << static_cast<int>(policy);
      EXPECT_EQ(version, 0x0A04F108u);
      EXPECT_EQ(bootloader, 0x0203);
    }
  }
}

TEST_F(CommandsTest, OversizedReplyOverflows) {
  StartReader({});
  Bytes huge(330, 0x00);
  huge[0] = 0xD5;
  huge[1] = 0x01;
  huge[2] = 0x50;
  reader_->SetReplyOverride(0x11, huge);
  std::uint32_t version = 0;
  EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), kLinkRxOverflow);
}

TEST_F(CommandsTest, EnterDownloadAndRecords) {
  StartReader({});
  EXPECT_EQ(EnterDownloadMode(), 0);
  EXPECT_EQ(RequestBytes().back(),
            (Bytes{0xD5, 0x00, 0x07, 0x04, 0x00, 0x3C, 0x08, 0x00, 0x76, 0x1B}));
  EXPECT_TRUE(reader_->InDownloadMode());

  const std::uint8_t data[] = {0x00, 0xF0, 0x0C, 0xEF, 0x00, 0xF0, 0x48, 0x00};
  EXPECT_EQ(SendRecord(true, 8, 0x0000, 0x00, data, 0x2D), 0);
  EXPECT_EQ(reader_->RecordLog().size(), 2u) << "the first record goes out twice";
  EXPECT_EQ(SendRecord(false, 8, 0x0008, 0x00, data, 0x25), 0);
  EXPECT_EQ(SendRecord(false, 0, 0x0000, 0x01, nullptr, 0xFF), 0);
  EXPECT_EQ(reader_->RecordLog().size(), 4u);
  const auto image = reader_->Image();
  ASSERT_EQ(image.size(), 3u);
  EXPECT_EQ(image[0].data, Bytes(data, data + 8));
  EXPECT_EQ(image[1].address, 0x0008);
  EXPECT_EQ(image[2].type, 0x01);
  EXPECT_FALSE(reader_->InDownloadMode());
}

TEST_F(CommandsTest, AcknowledgementStatuses) {
  ReaderSimOptions options;
  options.start_in_download_mode = true;
  StartReader(options);
  const std::uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8};

  reader_->SetFault(SimFault::AckStatus2, 1);
  EXPECT_EQ(SendRecord(false, 8, 0x0100, 0x00, data, 0x00), kLinkRejected);

  // Busy twice in a row is passed up as the raw status.
  reader_->SetFault(SimFault::Busy, 2);
  EXPECT_EQ(SendRecord(false, 8, 0x0100, 0x00, data, 0x00), 254);

  // Busy once is retried and accepted.
  reader_->SetFault(SimFault::Busy, 1);
  EXPECT_EQ(SendRecord(false, 8, 0x0100, 0x00, data, 0x00), 0);

  // A first record whose second copy is refused fails as a whole.
  const std::size_t before = reader_->RecordLog().size();
  reader_->SetRecordAckStatus(before + 1, 2);
  EXPECT_EQ(SendRecord(true, 8, 0x0000, 0x00, data, 0x00), kLinkRejected);
  EXPECT_EQ(reader_->RecordLog().size(), before + 2);

  reader_->SetRecordAckStatus(before + 2, 7);
  EXPECT_EQ(SendRecord(false, 8, 0x0000, 0x00, data, 0x00), 7);
}

TEST_F(CommandsTest, EnterDownloadRefused) {
  StartReader({});
  reader_->SetFault(SimFault::AckStatus2);
  EXPECT_EQ(EnterDownloadMode(), kLinkRejected);
  reader_->SetFault(SimFault::NoAnswer);
  EXPECT_EQ(EnterDownloadMode(), kLinkTimeout);
}

// The arrival times of the record frames, as the reader saw them.
std::vector<Clock::time_point> RecordArrivals(const ReaderSimulator& reader) {
  std::vector<Clock::time_point> arrivals;
  for (const auto& request : reader.Requests()) {
    if (request.is_record) arrivals.push_back(request.arrived);
  }
  return arrivals;
}

constexpr auto kPause = std::chrono::milliseconds(kDownloadPauseMs);
// A repeat "at once" comes well before the pause would have ended.
constexpr auto kAtOnce = std::chrono::milliseconds(kDownloadPauseMs / 2);

TEST_F(CommandsTest, StatusOneAndBusyPauseASecondButTheFirstRecordsBusyCopyIsRepeatedAtOnce) {
  ReaderSimOptions options;
  options.start_in_download_mode = true;
  StartReader(options);
  const std::uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8};

  // Status 1: accepted, and the reader needs a second before the next record.
  reader_->SetFault(SimFault::AckStatus1, 1);
  auto started = Clock::now();
  EXPECT_EQ(SendRecord(false, 8, 0x0100, 0x00, data, 0x00), 0);
  auto took = Clock::now() - started;
  EXPECT_GE(took, kPause);
  EXPECT_LT(took, kPause + test::kTimeLimitOverrun);
  EXPECT_EQ(SendRecord(false, 8, 0x0108, 0x00, data, 0x00), 0);
  auto arrivals = RecordArrivals(*reader_);
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_GE(arrivals[1] - arrivals[0], kPause);

  // Busy: the same record again after a second, and its answer counts.
  reader_->SetFault(SimFault::Busy, 1);
  started = Clock::now();
  EXPECT_EQ(SendRecord(false, 8, 0x0110, 0x00, data, 0x00), 0);
  took = Clock::now() - started;
  EXPECT_GE(took, kPause);
  EXPECT_LT(took, kPause + test::kTimeLimitOverrun);
  arrivals = RecordArrivals(*reader_);
  ASSERT_EQ(arrivals.size(), 4u);
  EXPECT_GE(arrivals[3] - arrivals[2], kPause);
  EXPECT_EQ(reader_->RecordLog()[2], reader_->RecordLog()[3]);

  // The first record of a download: its second copy meets busy and is sent a third time at
  // once, without the pause.
  reader_->SetRecordAckStatus(5, 0xFE);
  started = Clock::now();
  EXPECT_EQ(SendRecord(true, 8, 0x0000, 0x00, data, 0x00), 0);
  took = Clock::now() - started;
  EXPECT_LT(took, kAtOnce);
  arrivals = RecordArrivals(*reader_);
  ASSERT_EQ(arrivals.size(), 7u);
  EXPECT_LT(arrivals[6] - arrivals[5], kAtOnce);
  EXPECT_EQ(reader_->RecordLog()[4], reader_->RecordLog()[6]);

  // Its second copy answered with status 1: a second's pause before the call returns.
  reader_->SetRecordAckStatus(8, 1);
  started = Clock::now();
  EXPECT_EQ(SendRecord(true, 8, 0x0000, 0x00, data, 0x00), 0);
  took = Clock::now() - started;
  EXPECT_GE(took, kPause);
  EXPECT_LT(took, kPause + test::kTimeLimitOverrun);
  EXPECT_EQ(RecordArrivals(*reader_).size(), 9u);

  // The repeat after busy is made once: busy twice on the second copy is its outcome.
  reader_->SetRecordAckStatus(10, 0xFE);
  reader_->SetRecordAckStatus(11, 0xFE);
  EXPECT_EQ(SendRecord(true, 8, 0x0000, 0x00, data, 0x00), 254);
  EXPECT_EQ(RecordArrivals(*reader_).size(), 12u);
}

TEST_F(CommandsTest, EnterDownloadModeWaitsASecondAfterStatusZeroOrOne) {
  StartReader({});
  for (SimFault fault : {SimFault::None, SimFault::AckStatus1}) {
    reader_->SetFault(fault, 1);
    const auto started = Clock::now();
    EXPECT_EQ(EnterDownloadMode(), 0);
    const auto took = Clock::now() - started;
    EXPECT_GE(took, kPause);
    EXPECT_LT(took, kPause + test::kTimeLimitOverrun);
    // Back out of download mode for the next round: the end-of-file record ends it.
    EXPECT_EQ(SendRecord(false, 0, 0x0000, 0x01, nullptr, 0xFF), 0);
  }
}

// A port that records, in order, what the link does to the input queue and writes, and passes
// every call on to the real pty.
struct PortEvent {
  enum Kind { Purge, Write } kind;
  Bytes bytes;
  bool operator==(const PortEvent&) const = default;
};
std::vector<PortEvent> g_port_events;

class RecordingPort : public platform::SerialPort {
 public:
  explicit RecordingPort(std::unique_ptr<platform::SerialPort> port) : port_(std::move(port)) {}
  int SaveSettings() override { return port_->SaveSettings(); }
  int ApplyReaderSettings() override { return port_->ApplyReaderSettings(); }
  int RestoreSettings() override { return port_->RestoreSettings(); }
  int PurgeInput() override {
    g_port_events.push_back({PortEvent::Purge, {}});
    return port_->PurgeInput();
  }
  int QueuedInput(std::uint32_t* count) override { return port_->QueuedInput(count); }
  void ClearError() override { port_->ClearError(); }
  int Read(std::uint8_t* destination, std::size_t count, std::size_t* got) override {
    return port_->Read(destination, count, got);
  }
  int Write(const std::uint8_t* bytes, std::size_t count, std::size_t* written) override {
    g_port_events.push_back({PortEvent::Write, Bytes(bytes, bytes + count)});
    return port_->Write(bytes, count, written);
  }
  bool WaitForInput(int timeout_ms) override { return port_->WaitForInput(timeout_ms); }

 private:
  std::unique_ptr<platform::SerialPort> port_;
};

int OpenRecordingPort(unsigned port, std::unique_ptr<platform::SerialPort>* opened) {
  std::unique_ptr<platform::SerialPort> real;
  if (const int error = platform::OpenSerialPort(port, &real); error != 0) return error;
  *opened = std::make_unique<RecordingPort>(std::move(real));
  return 0;
}

// Written into the pty, the three writes of a record may reach the reader as one chunk; the
// link's own calls show them apart.
TEST_F(CommandsTest, RecordFrameIsWrittenAsHeaderAfterAPurgeThenDataThenChecksum) {
  ReaderSimOptions options;
  options.start_in_download_mode = true;
  reader_ = std::make_unique<ReaderSimulator>(options);
  ASSERT_TRUE(reader_->Start(ports_.path(), 3));
  SetSerialPortOpenerForTesting(OpenRecordingPort);
  const LinkError opened = OpenReaderPort(3);
  SetSerialPortOpenerForTesting(nullptr);
  ASSERT_EQ(opened, 0);
  g_port_events.clear();

  const std::uint8_t data[] = {0x00, 0xF0, 0x0C, 0xEF, 0x00, 0xF0, 0x48, 0x00};
  ASSERT_EQ(SendRecord(true, 8, 0x1230, 0x00, data, 0x2D), 0);
  ASSERT_EQ(SendRecord(false, 0, 0x0000, 0x01, nullptr, 0xFF), 0);

  const PortEvent purge{PortEvent::Purge, {}};
  const PortEvent header{PortEvent::Write, {0xD5, 0x00, 0x0D, 0x08, 0x12, 0x30, 0x00}};
  const PortEvent body{PortEvent::Write, Bytes(data, data + 8)};
  const PortEvent checksum{PortEvent::Write, {0x2D}};
  const std::vector<PortEvent> expected = {
      purge, header, body, checksum,  // the first record
      purge, header, body, checksum,  // and its second copy
      purge, {PortEvent::Write, {0xD5, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01}},
      {PortEvent::Write, {0xFF}}};  // the end-of-file record: no data bytes
  EXPECT_EQ(g_port_events, expected);
  // The reader took the frames whole.
  const auto log = reader_->RecordLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].address, 0x1230);
  EXPECT_EQ(log[0].data, Bytes(data, data + 8));
  EXPECT_EQ(log[0].checksum, 0x2D);
  EXPECT_EQ(log[2].type, 0x01);
}

}  // namespace
}  // namespace flashwright
