// The simulated reader driven over its pty the way a host drives a real one: the test opens the
// published COM link, writes request bytes and reads the reply bytes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/reader_sim/intel_hex_writer.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/reader_sim/request_assembler.h"
#include "tools/reader_sim/sim_arguments.h"
#include "tools/reader_sim/sim_frame.h"
#include "tools/test_support/test_support.h"

namespace flashwright::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

Bytes Hex(const std::string& text) {
  Bytes bytes;
  std::istringstream in(text);
  std::string item;
  while (in >> item) bytes.push_back(static_cast<std::uint8_t>(std::stoul(item, nullptr, 16)));
  return bytes;
}

std::string ToHex(const Bytes& bytes) {
  std::string text;
  char cell[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(cell, sizeof cell, text.empty() ? "%02X" : " %02X", b);
    text += cell;
  }
  return text;
}

// The host's end: the published port opened like a serial port, in raw mode.
class HostLine {
 public:
  explicit HostLine(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios settings{};
    tcgetattr(fd_, &settings);
    cfmakeraw(&settings);
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    tcsetattr(fd_, TCSANOW, &settings);
  }
  ~HostLine() {
    if (fd_ >= 0) close(fd_);
  }
  HostLine(const HostLine&) = delete;
  HostLine& operator=(const HostLine&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool Write(const Bytes& bytes) {
    return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Reads until `count` bytes are there or `limit` passes; `reads` counts the reads that
  // returned data.
  Bytes Read(std::size_t count, std::chrono::milliseconds limit = 3000ms, int* reads = nullptr) {
    Bytes bytes;
    const auto deadline = Clock::now() + limit;
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      pollfd in{fd_, POLLIN, 0};
      if (poll(&in, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buffer[512];
      ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0) break;
      if (reads != nullptr) ++*reads;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

  // Whatever arrives within `quiet`.
  Bytes Drain(std::chrono::milliseconds quiet = 300ms) { return Read(4096, quiet); }

  Bytes Exchange(const Bytes& request, std::size_t reply_size,
                 std::chrono::milliseconds limit = 3000ms) {
    tcflush(fd_, TCIFLUSH);
    if (!Write(request)) return {};
    return Read(reply_size, limit);
  }

  // A record frame in the three writes that hosts use.
  Bytes SendRecord(const SimRecord& record) {
    const std::size_t length = record.data.size() + 5;
    Bytes header{0xD5, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                 record.count, static_cast<std::uint8_t>(record.address >> 8),
                 static_cast<std::uint8_t>(record.address), record.type};
    tcflush(fd_, TCIFLUSH);
    Write(header);
    if (!record.data.empty()) Write(record.data);
    Write({record.checksum});
    return Read(5);
  }

 private:
  int fd_ = -1;
};

SimRecord Record(std::uint16_t address, std::uint8_t type, Bytes data) {
  SimRecord record;
  record.count = static_cast<std::uint8_t>(data.size());
  record.address = address;
  record.type = type;
  record.data = std::move(data);
  unsigned sum = record.count + (address >> 8) + (address & 0xFF) + type;
  for (std::uint8_t b : record.data) sum += b;
  record.checksum = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
  return record;
}

const Bytes kVersionQuery = Hex("D5 00 05 04 00 11 8C 66");
const Bytes kEnterDownload = Hex("D5 00 07 04 00 3C 08 00 76 1B");
const Bytes kAckOk = Hex("A5 00 02 A2 00");
// How long a test waits to be sure that no reply comes.
constexpr auto kSilence = 400ms;

class SimulatorTest : public ::testing::Test {
 protected:
  ReaderSimulator& Start(ReaderSimOptions options = {}) {
    sim_ = std::make_unique<ReaderSimulator>(std::move(options));
    EXPECT_TRUE(sim_->Start(ports_.path(), 1));
    return *sim_;
  }
  std::unique_ptr<HostLine> Open(unsigned com = 1) {
    auto line = std::make_unique<HostLine>(ports_.path() + "/COM" + std::to_string(com));
    EXPECT_TRUE(line->ok());
    return line;
  }
  // Enters download mode and sends `records`, the first one twice, as a host does.
  void Download(HostLine& line, const std::vector<SimRecord>& records, bool enter = true) {
    if (enter) {
      ASSERT_EQ(ToHex(line.Exchange(kEnterDownload, 5)), ToHex(kAckOk));
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
      ASSERT_EQ(ToHex(line.SendRecord(records[i])), ToHex(kAckOk)) << "record " << i;
      if (i == 0) {
        ASSERT_EQ(ToHex(line.SendRecord(records[i])), ToHex(kAckOk));
      }
    }
  }

  test::ScopedPortDir ports_;
  std::unique_ptr<ReaderSimulator> sim_;
};

const std::vector<SimRecord> kImage = {
    Record(0x0000, 4, {0x00, 0x00}),
    Record(0x0010, 0, {0x01, 0x02, 0x03, 0x04}),
    Record(0x0014, 0, {0xAA, 0xBB}),
    Record(0x0000, 1, {}),
};

TEST(SimFrame, BuildsTheReaderFramesByteForByte) {
  const std::string digits = "123456789";
  EXPECT_EQ(Crc16Genibus(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()),
            0xD64E);
  struct Example {
    std::uint8_t start;
    const char* payload;
    const char* frame;
  };
  const Example examples[] = {
      {0xD5, "04 00 11", "D5 00 05 04 00 11 8C 66"},
      {0xD6, "13 02 06 00 0A 00", "D6 00 08 13 02 06 00 0A 00 05 D9"},
      {0xD6, "32 03", "D6 00 04 32 03 F4 6B"},
      {0xD6, "3E", "D6 00 03 3E B1 AD"},
      {0xD6, "12", "D6 00 03 12 54 43"},
      {0xD5, "04 00 3C 08 00", "D5 00 07 04 00 3C 08 00 76 1B"},
      {0xD6, "FE 00 05", "D6 00 05 FE 00 05 FA 40"},
      {0xD5, "03 00 FE 00 00 00 05", "D5 00 09 03 00 FE 00 00 00 05 C6 5D"},
      {0xD5, "03 00 FE 00 00 05", "D5 00 08 03 00 FE 00 00 05 FE 3E"},
      {0xD6, "02 E0 04 01 00 12 34 56 78 00 01",
       "D6 00 0D 02 E0 04 01 00 12 34 56 78 00 01 31 50"},
      {0xD5, "03 00 02 04 00 12 34 56 78 00 01", "D5 00 0D 03 00 02 04 00 12 34 56 78 00 01 54 0C"},
      {0xD5, "03 00 02 04 12 34 56 78 00 01", "D5 00 0C 03 00 02 04 12 34 56 78 00 01 50 66"},
      {0xD6, "41", "D6 00 03 41 3E D5"},
      {0xD6, "40 DA", "D6 00 04 40 DA C0 04"},
      {0xD6, "43", "D6 00 03 43 1E 97"},
      {0xD6, "42 09 DA", "D6 00 05 42 09 DA F1 D4"},
      {0xD6, "42 0C 01", "D6 00 05 42 0C 01 74 37"},
      {0xD6, "36 01 FF", "D6 00 05 36 01 FF 08 72"},
      {0xD6, "36 01 00", "D6 00 05 36 01 00 16 82"},
      {0xD6, "3A 0A", "D6 00 04 3A 0A EC EB"},
  };
  for (const Example& example : examples) {
    const Bytes frame = MakeFrame(example.start, Hex(example.payload));
    EXPECT_EQ(ToHex(frame), example.frame);
    EXPECT_TRUE(FrameCrcGood(frame)) << example.frame;
    Bytes damaged = frame;
    damaged[3] ^= 0x01;
    EXPECT_FALSE(FrameCrcGood(damaged)) << example.frame;
  }
}

TEST(RequestAssemblerTest, ResynchronisesOnStartBytesAndTellsRecordsFromFrames) {
  RequestAssembler assembler;
  const auto now = Clock::now();
  // Noise, a start byte with an absurd length, then a real frame.
  Bytes stream = Hex("00 11 D6 FF FF 42");
  stream.insert(stream.end(), kVersionQuery.begin(), kVersionQuery.end());
  assembler.Feed(stream.data(), stream.size(), now, 0ns);
  auto request = assembler.Next(false);
  ASSERT_TRUE(request);
  EXPECT_EQ(ToHex(request->bytes), ToHex(kVersionQuery));
  EXPECT_TRUE(request->crc_ok);
  EXPECT_EQ(assembler.SkippedBytes(), 6u);
  EXPECT_FALSE(assembler.HasPartial());

  // The same bytes are a record frame only in download mode.
  const Bytes record = Hex("D5 00 07 02 00 00 04 00 00 FA");
  assembler.Feed(record.data(), record.size(), now, 0ns);
  request = assembler.Next(true);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->kind, AssembledRequest::Kind::Record);
  assembler.Feed(record.data(), record.size(), now, 0ns);
  request = assembler.Next(false);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->kind, AssembledRequest::Kind::Frame);
  EXPECT_FALSE(request->crc_ok);

  // A long run of noise, start bytes with absurd lengths among it, then a frame.
  Bytes noise;
  for (int i = 0; i < 1500; ++i) noise.insert(noise.end(), {0xD6, 0xFF, 0x00});
  noise.insert(noise.end(), kVersionQuery.begin(), kVersionQuery.end());
  assembler.Feed(noise.data(), noise.size(), now, 0ns);
  request = assembler.Next(false);
  ASSERT_TRUE(request);
  EXPECT_EQ(ToHex(request->bytes), ToHex(kVersionQuery));
  EXPECT_FALSE(assembler.HasPartial());

  // A frame in pieces completes with its last piece, at that piece's time.
  assembler.Feed(kVersionQuery.data(), 4, now, 0ns);
  EXPECT_FALSE(assembler.Next(false));
  assembler.Feed(kVersionQuery.data() + 4, 4, now + 10ms, 1ms);
  request = assembler.Next(false);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->complete, now + 13ms);
}

TEST_F(SimulatorTest, AnswersVersionHardwarePowerAndResetQueries) {
  Start();
  auto line = Open();
  EXPECT_EQ(ToHex(line->Exchange(kVersionQuery, 12)), "D5 00 09 04 00 11 0A 04 F1 08 C4 DA");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 08 13 02 06 00 0A 00 05 D9"), 16)),
            "D6 00 0D 13 00 02 06 03 02 03 01 0A 01 00 96 C5");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 03 12 54 43"), 8)), "D6 00 05 12 00 01 6F 94");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 03 3E B1 AD"), 8)), "D6 00 05 3E 00 01 9C 33");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 04 32 03 F4 6B"), 7)), "D6 00 04 32 00 C4 08");
  EXPECT_EQ(sim_->RequestCount(0x11), 1u);
  EXPECT_EQ(sim_->RequestCount(0x32), 1u);
  EXPECT_EQ(sim_->Requests().size(), 5u);
  EXPECT_EQ(ToHex(sim_->Requests()[0].bytes), ToHex(kVersionQuery));
}

TEST_F(SimulatorTest, ReportsUnknownBootloaderAndThePlatformByte) {
  ReaderSimOptions options;
  options.bootloader = 0xFFFF;
  options.platform = 1;
  Start(options);
  auto line = Open();
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 08 13 02 06 00 0A 00 05 D9"), 16)),
            "D6 00 0D 13 00 02 06 03 FF FF 01 0A 01 01 ED 66");
}

TEST_F(SimulatorTest, OlderReadersLackTheNewerCommands) {
  ReaderSimOptions options;
  options.version = 0x0A04F107;
  Start(options);
  auto line = Open();
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 08 13 02 06 00 0A 00 05 D9"), 7)),
            ToHex(MakeFrame(0xD6, {0x13, 0x02})));
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 03 3E B1 AD"), 8)), "D6 00 05 3E 00 01 9C 33");

  options.version = 0x0A02FFFF;
  sim_->SetOptions(options);
  for (const char* request : {"D6 00 03 12 54 43", "D6 00 03 3E B1 AD", "D6 00 04 32 03 F4 6B",
                              "D6 00 03 41 3E D5", "D6 00 04 40 DA C0 04", "D6 00 03 43 1E 97",
                              "D6 00 05 36 01 FF 08 72", "D6 00 04 3A 0A EC EB",
                              "D6 00 05 FE 00 05 FA 40"}) {
    const Bytes frame = Hex(request);
    EXPECT_EQ(ToHex(line->Exchange(frame, 7)), ToHex(MakeFrame(0xD6, {frame[3], 0x02}))) << request;
  }
  // An unknown command, whatever the version.
  options.version = 0x0A04F108;
  sim_->SetOptions(options);
  EXPECT_EQ(ToHex(line->Exchange(MakeFrame(0xD6, {0x77, 0x01}), 7)),
            ToHex(MakeFrame(0xD6, {0x77, 0x02})));
}

TEST_F(SimulatorTest, IgnoresBadCrcAndNoiseAndStaysInStep) {
  Start();
  auto line = Open();
  EXPECT_TRUE(line->Exchange(Hex("D5 00 05 04 00 11 8C 67"), 12, kSilence).empty());
  // Noise before a request, and a request cut off halfway that is never finished.
  Bytes noisy = Hex("00 FF 13");
  noisy.insert(noisy.end(), kVersionQuery.begin(), kVersionQuery.end());
  EXPECT_EQ(line->Exchange(noisy, 12).size(), 12u);
  line->Write(Hex("D6 00 05 FE"));
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(ToHex(line->Exchange(kVersionQuery, 12)), "D5 00 09 04 00 11 0A 04 F1 08 C4 DA");
  EXPECT_EQ(sim_->RequestCount(0x11), 2u);  // the bad-CRC one is logged but not counted
  const auto requests = sim_->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_FALSE(requests.front().crc_ok);
}

TEST_F(SimulatorTest, DownloadKeepsTheDoubledFirstRecordOnce) {
  ReaderSimOptions options;
  options.version_after_download = 0x0A050000;
  Start(options);
  auto line = Open();
  Download(*line, kImage);
  EXPECT_FALSE(sim_->InDownloadMode());
  EXPECT_EQ(sim_->Image(), kImage);
  ASSERT_EQ(sim_->RecordLog().size(), kImage.size() + 1);
  EXPECT_EQ(sim_->RecordLog()[0], sim_->RecordLog()[1]);
  EXPECT_EQ(sim_->CompletedDownloads(), 1u);
  EXPECT_EQ(sim_->RequestCount(0x3C), 1u);
  EXPECT_EQ(sim_->ImageAsIntelHex(),
            ":020000040000FA\n:0400100001020304E2\n:02001400AABB85\n:00000001FF\n");
  EXPECT_EQ(ToHex(line->Exchange(kVersionQuery, 12)),
            ToHex(MakeFrame(0xD5, {0x04, 0x00, 0x11, 0x0A, 0x05, 0x00, 0x00})));

  test::TempDir out;
  ASSERT_TRUE(sim_->WriteIntelHex(out.Join("image.hex")));
  EXPECT_EQ(test::ReadFile(out.Join("image.hex")), sim_->ImageAsIntelHex());

  // A second download replaces the image; both stay among the completed ones.
  const std::vector<SimRecord> second = {Record(0x0100, 0, {0x11}), Record(0, 1, {})};
  Download(*line, second);
  EXPECT_EQ(sim_->Image(), second);
  ASSERT_EQ(sim_->CompletedImages().size(), 2u);
  EXPECT_EQ(sim_->CompletedImages()[0], kImage);
}

TEST_F(SimulatorTest, IdenticalLeadingRecordsAreNotMistakenForTheDoubledOne) {
  Start();
  auto line = Open();
  const std::vector<SimRecord> image = {Record(0, 0, {0x01}), Record(0, 0, {0x01}),
                                        Record(0, 1, {})};
  Download(*line, image);
  EXPECT_EQ(sim_->Image(), image);
}

TEST_F(SimulatorTest, CommandsAreNotAnsweredInDownloadMode) {
  ReaderSimOptions options;
  options.start_in_download_mode = true;
  Start(options);
  EXPECT_TRUE(sim_->InDownloadMode());
  auto line = Open();
  EXPECT_TRUE(line->Exchange(kVersionQuery, 12, kSilence).empty());
  EXPECT_TRUE(line->Exchange(kEnterDownload, 5, kSilence).empty());
  Download(*line, kImage, /*enter=*/false);
  EXPECT_EQ(sim_->Image(), kImage);
  EXPECT_FALSE(sim_->InDownloadMode());
}

TEST_F(SimulatorTest, RecordAcknowledgementStatusesDecideWhatIsKept) {
  Start();
  auto line = Open();
  ASSERT_EQ(ToHex(line->Exchange(kEnterDownload, 5)), ToHex(kAckOk));
  sim_->SetRecordAckStatus(2, 0x02);  // the third record frame, the doubled one counted
  EXPECT_EQ(ToHex(line->SendRecord(kImage[0])), ToHex(kAckOk));
  EXPECT_EQ(ToHex(line->SendRecord(kImage[0])), ToHex(kAckOk));
  EXPECT_EQ(ToHex(line->SendRecord(kImage[1])), "A5 00 02 A2 02");
  EXPECT_EQ(sim_->Image(), std::vector<SimRecord>{kImage[0]});
  EXPECT_TRUE(sim_->InDownloadMode());
  // The host gives up; its recover run starts over with the first record, sent twice.
  Download(*line, kImage, /*enter=*/false);
  EXPECT_EQ(sim_->Image(), kImage);
  EXPECT_EQ(sim_->RecordLog().size(), 3 + kImage.size() + 1);
}

TEST_F(SimulatorTest, BusyRecordSentAgainIsKeptOnce) {
  Start();
  auto line = Open();
  ASSERT_EQ(ToHex(line->Exchange(kEnterDownload, 5)), ToHex(kAckOk));
  EXPECT_EQ(ToHex(line->SendRecord(kImage[0])), ToHex(kAckOk));
  EXPECT_EQ(ToHex(line->SendRecord(kImage[0])), ToHex(kAckOk));
  sim_->SetFault(SimFault::Busy, 1);
  EXPECT_EQ(ToHex(line->SendRecord(kImage[1])), "A5 00 02 A2 FE");
  for (std::size_t i = 1; i < kImage.size(); ++i) {
    EXPECT_EQ(ToHex(line->SendRecord(kImage[i])), ToHex(kAckOk));
  }
  EXPECT_EQ(sim_->Image(), kImage);
}

TEST_F(SimulatorTest, AcknowledgementFaultsOnTheSwitchIntoDownloadMode) {
  Start();
  auto line = Open();
  sim_->SetFault(SimFault::Busy, 1);
  EXPECT_EQ(ToHex(line->Exchange(kEnterDownload, 5)), "A5 00 02 A2 FE");
  EXPECT_FALSE(sim_->InDownloadMode());
  sim_->SetFault(SimFault::AckStatus2, 1);
  EXPECT_EQ(ToHex(line->Exchange(kEnterDownload, 5)), "A5 00 02 A2 02");
  EXPECT_FALSE(sim_->InDownloadMode());
  sim_->SetFault(SimFault::AckStatus1, 1);
  EXPECT_EQ(ToHex(line->Exchange(kEnterDownload, 5)), "A5 00 02 A2 01");
  EXPECT_TRUE(sim_->InDownloadMode());
  // The fault was used up: records are accepted normally.
  EXPECT_EQ(ToHex(line->SendRecord(kImage[0])), ToHex(kAckOk));
}

TEST_F(SimulatorTest, ReplyFaultsSpoilRepliesAsDescribed) {
  Start();
  auto line = Open();
  sim_->SetFault(SimFault::NoAnswer, 1);
  EXPECT_TRUE(line->Exchange(kVersionQuery, 12, kSilence).empty());
  EXPECT_EQ(line->Exchange(kVersionQuery, 12).size(), 12u);

  sim_->SetFault(SimFault::BadCrc, 1);
  EXPECT_EQ(ToHex(line->Exchange(kVersionQuery, 12)), "D5 00 09 04 00 11 0A 04 F1 08 C4 25");

  sim_->SetFault(SimFault::WrongEcho, 1);
  const Bytes wrong = line->Exchange(kVersionQuery, 12);
  ASSERT_EQ(wrong.size(), 12u);
  EXPECT_EQ(wrong[5], 0x12);
  EXPECT_TRUE(FrameCrcGood(wrong));

  sim_->SetFault(SimFault::GarbageBeforeFrame, 2);
  EXPECT_EQ(ToHex(line->Exchange(kVersionQuery, 20)),
            "00 13 D5 00 03 7F 00 00 D5 00 09 04 00 11 0A 04 F1 08 C4 DA");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 03 3E B1 AD"), 16)),
            "00 13 D6 00 03 7F 00 00 D6 00 05 3E 00 01 9C 33");
  // The noise holds a start byte with a short frame of bad CRC that ends inside the noise.
  EXPECT_FALSE(FrameCrcGood(Hex("D5 00 03 7F 00 00")));

  sim_->SetFault(SimFault::SplitReplies, 1);
  tcflush(line->fd(), TCIFLUSH);
  line->Write(kVersionQuery);
  int reads = 0;
  const Bytes first = line->Read(1);
  const auto first_at = Clock::now();
  Bytes rest = line->Read(11, 3000ms, &reads);
  const auto last_at = Clock::now();
  rest.insert(rest.begin(), first.begin(), first.end());
  EXPECT_EQ(ToHex(rest), "D5 00 09 04 00 11 0A 04 F1 08 C4 DA");
  EXPECT_GT(reads, 1);
  // Six pieces (1, 2, 3, 1, 2, 3 bytes) with 5 ms between them.
  EXPECT_GE(last_at - first_at, 20ms);

  // Every fault above was limited to its count.
  EXPECT_EQ(ToHex(line->Exchange(kVersionQuery, 12)), "D5 00 09 04 00 11 0A 04 F1 08 C4 DA");
  EXPECT_TRUE(line->Drain(100ms).empty());
}

TEST_F(SimulatorTest, FaultWithoutCountStaysUntilChanged) {
  Start();
  auto line = Open();
  sim_->SetFault(SimFault::BadCrc);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(FrameCrcGood(line->Exchange(kVersionQuery, 12)));
  }
  sim_->SetFault(SimFault::None);
  EXPECT_TRUE(FrameCrcGood(line->Exchange(kVersionQuery, 12)));

  // Noise before an acknowledgement holds no acknowledgement start byte.
  sim_->SetFault(SimFault::GarbageBeforeFrame, 1);
  EXPECT_EQ(ToHex(line->Exchange(kEnterDownload, 9)), "00 13 D6 00 A5 00 02 A2 00");
}

TEST_F(SimulatorTest, OverridesAndCommandStatuses) {
  Start();
  auto line = Open();
  // A reply whose length field lies, sent once and verbatim.
  sim_->SetReplyOverride(0x11, Hex("D5 00 40 04 00 11"));
  EXPECT_EQ(ToHex(line->Exchange(kVersionQuery, 6)), "D5 00 40 04 00 11");
  EXPECT_TRUE(line->Drain(100ms).empty());
  EXPECT_EQ(line->Exchange(kVersionQuery, 12).size(), 12u);

  sim_->SetCommandStatus(0x13, 5);
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 08 13 02 06 00 0A 00 05 D9"), 7)),
            ToHex(MakeFrame(0xD6, {0x13, 0x05})));
  sim_->SetCommandStatus(0x40, 49);
  EXPECT_TRUE(line->Exchange(Hex("D6 00 04 40 07 00 00"), 7, kSilence).empty());  // bad CRC
  EXPECT_EQ(ToHex(line->Exchange(MakeFrame(0xD6, {0x40, 0x07}), 7)),
            ToHex(MakeFrame(0xD6, {0x40, 49})));
  EXPECT_EQ(sim_->Options().portal_afi, 0xDA);  // a refused set stores nothing
  sim_->SetCommandStatus(0x13, 0);
  EXPECT_EQ(line->Exchange(Hex("D6 00 08 13 02 06 00 0A 00 05 D9"), 16).size(), 16u);
}

TEST_F(SimulatorTest, SettingsCommandsReadWriteAndPersist) {
  Start();
  {
    auto line = Open();
    EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 03 41 3E D5"), 8)), "D6 00 05 41 00 DA 12 1C");
    EXPECT_EQ(ToHex(line->Exchange(MakeFrame(0xD6, {0x40, 0x07}), 7)),
              ToHex(MakeFrame(0xD6, {0x40, 0x00})));
    EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 05 42 0C 01 74 37"), 7)),
              ToHex(MakeFrame(0xD6, {0x42, 0x00})));
    EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 05 36 01 01 06 A3"), 7)),
              ToHex(MakeFrame(0xD6, {0x36, 0x00})));
    EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 04 3A 0A EC EB"), 7)),
              ToHex(MakeFrame(0xD6, {0x3A, 0x00})));
  }
  // A new opening of the port, as each tool operation makes, sees the stored values.
  auto line = Open();
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 03 41 3E D5"), 8)),
            ToHex(MakeFrame(0xD6, {0x41, 0x00, 0x07})));
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 03 43 1E 97"), 9)),
            ToHex(MakeFrame(0xD6, {0x43, 0x00, 0x0C, 0x01})));
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 05 36 01 FF 08 72"), 9)),
            ToHex(MakeFrame(0xD6, {0x36, 0x00, 0x01, 0x01})));
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 03 3E B1 AD"), 8)),
            ToHex(MakeFrame(0xD6, {0x3E, 0x00, 0x0A})));
  const ReaderSimOptions now = sim_->Options();
  EXPECT_EQ(now.portal_afi, 0x07);
  EXPECT_EQ(now.security_method, 0x0C);
  EXPECT_EQ(now.security_value, 0x01);
  EXPECT_EQ(now.transmit_value, 0x01);
  EXPECT_EQ(now.power_level, 0x0A);
}

TEST_F(SimulatorTest, ReaderWithoutTransmitModeRefusesToSetIt) {
  ReaderSimOptions options;
  options.transmit_flags = 0x02;
  Start(options);
  auto line = Open();
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 05 36 01 FF 08 72"), 9)),
            ToHex(MakeFrame(0xD6, {0x36, 0x00, 0x02, 0x00})));
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 05 36 01 01 06 A3"), 7)),
            ToHex(MakeFrame(0xD6, {0x36, 49})));
  EXPECT_EQ(sim_->Options().transmit_value, 0x00);
}

TEST_F(SimulatorTest, D6InventoryAndBlockRead) {
  ReaderSimOptions options;
  options.tags = {{Hex("E0 04 01 00 12 34 56 78"), 0xDEADBEEF},
                  {Hex("E0 04 01 00 AB CD EF 01"), 0x01020304}};
  Start(options);
  auto line = Open();
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 05 FE 00 05 FA 40"), 26)),
            "D6 00 17 FE 00 00 00 02 E0 04 01 00 12 34 56 78 E0 04 01 00 AB CD EF 01 D7 E0");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 0D 02 E0 04 01 00 12 34 56 78 00 01 31 50"), 22)),
            "D6 00 13 02 00 E0 04 01 00 12 34 56 78 00 00 00 DE AD BE EF 0D 10");
  // A tag that is not in the field.
  EXPECT_EQ(ToHex(line->Exchange(MakeFrame(0xD6, Hex("02 E0 04 01 00 00 00 00 01 00 01")), 7)),
            ToHex(MakeFrame(0xD6, {0x02, 0x06})));

  options.tags.clear();
  sim_->SetOptions(options);
  EXPECT_EQ(ToHex(line->Exchange(Hex("D6 00 05 FE 00 05 FA 40"), 7)), "D6 00 04 FE 06 F7 F7");
  // A D6 reader does not take the D5 tag requests.
  EXPECT_TRUE(line->Exchange(Hex("D5 00 09 03 00 FE 00 00 00 05 C6 5D"), 10, kSilence).empty());
}

TEST_F(SimulatorTest, D5ReaderWithTheExtraByte) {
  ReaderSimOptions options;
  options.version = 0x0A020105;
  options.tags = {{Hex("12 34 56 78"), 0xCAFEF00D}};
  Start(options);
  auto line = Open();
  EXPECT_EQ(ToHex(line->Exchange(Hex("D5 00 09 03 00 FE 00 00 00 05 C6 5D"), 16)),
            "D5 00 0D 03 00 FE 00 00 00 01 12 34 56 78 C3 63");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D5 00 0D 03 00 02 04 00 12 34 56 78 00 01 54 0C"), 21)),
            "D5 00 12 03 00 02 00 00 12 34 56 78 00 00 00 CA FE F0 0D 77 77");
  // The other variant is refused in this reader's own layout: flags bit 0, status 5.
  EXPECT_EQ(ToHex(line->Exchange(Hex("D5 00 08 03 00 FE 00 00 05 FE 3E"), 11)),
            "D5 00 08 03 00 FE 01 00 05 C9 0E");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D5 00 0C 03 00 02 04 12 34 56 78 00 01 50 66"), 15)),
            ToHex(MakeFrame(0xD5, Hex("03 00 02 01 00 12 34 56 78 05"))));
  // An unknown tag: flags bit 0 and status 6 behind the identifier.
  EXPECT_EQ(ToHex(line->Exchange(MakeFrame(0xD5, Hex("03 00 02 04 00 99 99 99 99 00 01")), 15)),
            ToHex(MakeFrame(0xD5, Hex("03 00 02 01 00 99 99 99 99 06"))));
  options.tags.clear();
  sim_->SetOptions(options);
  EXPECT_EQ(ToHex(line->Exchange(Hex("D5 00 09 03 00 FE 00 00 00 05 C6 5D"), 11)),
            ToHex(MakeFrame(0xD5, Hex("03 00 FE 01 00 06"))));
}

TEST_F(SimulatorTest, D5ReaderWithoutTheExtraByte) {
  ReaderSimOptions options;
  options.version = 0x0A020105;
  options.d5_extra_byte = false;
  // A longer identifier is reported by its last four bytes.
  options.tags = {{Hex("E0 04 01 00 12 34 56 78"), 0xCAFEF00D}};
  Start(options);
  auto line = Open();
  EXPECT_EQ(ToHex(line->Exchange(Hex("D5 00 08 03 00 FE 00 00 05 FE 3E"), 21)),
            "D5 00 12 03 00 FE 00 00 01 12 34 56 78 00 00 00 00 00 00 0C F2");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D5 00 0C 03 00 02 04 12 34 56 78 00 01 50 66"), 20)),
            "D5 00 11 03 00 02 00 12 34 56 78 00 00 00 CA FE F0 0D 36 B7");
  EXPECT_EQ(ToHex(line->Exchange(Hex("D5 00 09 03 00 FE 00 00 00 05 C6 5D"), 10)),
            "D5 00 07 03 00 FE 01 05 B3 65");
}

TEST_F(SimulatorTest, HangUpClosesTheLineAndPublishesANewOne) {
  Start();
  auto line = Open();
  const std::string first_slave = sim_->SlavePath();
  ASSERT_EQ(ToHex(line->Exchange(kEnterDownload, 5)), ToHex(kAckOk));
  sim_->HangUpAfterRecords(3);
  EXPECT_EQ(ToHex(line->SendRecord(kImage[0])), ToHex(kAckOk));
  EXPECT_EQ(ToHex(line->SendRecord(kImage[0])), ToHex(kAckOk));
  EXPECT_EQ(ToHex(line->SendRecord(kImage[1])), ToHex(kAckOk));

  // The old descriptor sees the line go: end of input or EIO on read, EIO on write.
  pollfd in{line->fd(), POLLIN, 0};
  ASSERT_EQ(poll(&in, 1, 5000), 1);
  std::uint8_t byte;
  const ssize_t got = read(line->fd(), &byte, 1);
  EXPECT_TRUE(got == 0 || (got < 0 && errno == EIO)) << got << " " << errno;
  // The kernel marks the other side closed a moment before it hangs the line up, and a write
  // in between still reaches the line's buffer: give the hang-up that moment.
  ssize_t wrote = 1;
  int write_error = 0;
  for (int attempt = 0; attempt < 200; ++attempt) {
    wrote = write(line->fd(), &byte, 1);
    write_error = errno;
    if (wrote == -1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(wrote, -1);
  EXPECT_EQ(write_error, EIO);
  EXPECT_EQ(sim_->HangUps(), 1u);
  EXPECT_TRUE(sim_->InDownloadMode());

  // The same port name now leads to the new line, which awaits a recover run.
  std::error_code error;
  const auto target = std::filesystem::read_symlink(ports_.path() + "/COM1", error);
  EXPECT_EQ(target.string(), sim_->SlavePath());
  EXPECT_NE(sim_->SlavePath(), first_slave);
  line.reset();
  auto fresh = Open();
  Download(*fresh, kImage, /*enter=*/false);
  EXPECT_EQ(sim_->Image(), kImage);
  EXPECT_EQ(sim_->RecordLog().size(), 3 + kImage.size() + 1);
}

TEST_F(SimulatorTest, LineStaysUpWhileTheHostClosesAndReopens) {
  Start();
  for (int i = 0; i < 3; ++i) {
    auto line = Open();
    EXPECT_EQ(line->Exchange(kVersionQuery, 12).size(), 12u) << "opening " << i;
  }
}

TEST_F(SimulatorTest, PacedLineTakesTheByteTimes) {
  ReaderSimOptions options;
  options.paced = true;
  Start(options);
  auto line = Open();
  const auto written = Clock::now();
  EXPECT_EQ(ToHex(line->Exchange(kVersionQuery, 12)), "D5 00 09 04 00 11 0A 04 F1 08 C4 DA");
  ASSERT_TRUE(sim_->WaitForRequests(1, 1000ms));
  const auto arrived = sim_->Requests()[0].arrived;
  // 10 bits a byte at 19200 baud: 8 request bytes, then 12 reply bytes.
  const auto byte_time = std::chrono::nanoseconds(520'833);
  EXPECT_GE(arrived - written, 8 * byte_time - 100us);
  EXPECT_GE(sim_->LastReplyEnd() - arrived, 12 * byte_time);
}

TEST_F(SimulatorTest, UnpacedRepliesRecordWhenTheyWereWritten) {
  Start();
  auto line = Open();
  const auto before = Clock::now();
  EXPECT_EQ(line->Exchange(kVersionQuery, 12).size(), 12u);
  EXPECT_GE(sim_->LastReplyEnd(), before);
  EXPECT_LE(sim_->LastReplyEnd(), Clock::now());
}

TEST(SimulatorPublishing, LinkTargetGivesThePortATtyNameAndStopRemovesIt) {
  test::TempDir root;
  const std::string ports = root.Join("ports");
  ReaderSimulator sim;
  ASSERT_TRUE(sim.Start(ports, 7, "../dev/ttyUSB0"));
  std::error_code error;
  EXPECT_EQ(std::filesystem::read_symlink(ports + "/COM7", error).string(), "../dev/ttyUSB0");
  EXPECT_EQ(std::filesystem::read_symlink(root.Join("dev/ttyUSB0"), error).string(),
            sim.SlavePath());
  EXPECT_EQ(sim.PortPath(), ports + "/COM7");
  {
    HostLine line(ports + "/COM7");
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(line.Exchange(kVersionQuery, 12).size(), 12u);
  }
  EXPECT_FALSE(sim.Start(ports, 8));  // already running
  sim.Stop();
  EXPECT_FALSE(std::filesystem::is_symlink(ports + "/COM7"));
  EXPECT_FALSE(std::filesystem::is_symlink(root.Join("dev/ttyUSB0")));
  sim.Stop();  // a second stop does nothing
}

TEST(SimulatorConcurrency, PublicCallsWhileTheLineIsBusy) {
  test::ScopedPortDir ports;
  ReaderSimulator sim;
  ASSERT_TRUE(sim.Start(ports.path(), 1));
  HostLine line(ports.path() + "/COM1");
  ASSERT_TRUE(line.ok());
  std::atomic<bool> done{false};
  std::thread poker([&] {
    while (!done) {
      sim.SetFault(SimFault::None);
      (void)sim.Requests();
      (void)sim.Options();
      (void)sim.LastReplyEnd();
    }
  });
  for (int i = 0; i < 50; ++i) EXPECT_EQ(line.Exchange(kVersionQuery, 12).size(), 12u);
  done = true;
  poker.join();
  EXPECT_TRUE(sim.WaitForRequests(50, 1000ms));
  EXPECT_FALSE(sim.WaitForRequests(51, 50ms));
}

TEST(IntelHex, RecordsAreWrittenInUpperCaseWithTheReceivedChecksum) {
  SimRecord odd = Record(0xABCD, 0, {0xde, 0xad});
  odd.checksum = 0x00;  // not the right one: written as received
  EXPECT_EQ(FormatIntelHex({odd, Record(0, 1, {})}), ":02ABCD00DEAD00\n:00000001FF\n");
  EXPECT_EQ(FormatIntelHex({}), "");
}

TEST(SimArguments, VersionsTagsNumbersAndFaults) {
  EXPECT_EQ(ParseVersionText("4.241.8"), 0x0A04F108u);
  EXPECT_EQ(ParseVersionText("0x0A02FFFF"), 0x0A02FFFFu);
  EXPECT_EQ(ParseVersionText("3.0.0"), 0x0A030000u);
  for (const char* bad : {"4.241", "4.256.1", "4..1", "a.b.c", "1.2.3.4", "", "0x"}) {
    EXPECT_FALSE(ParseVersionText(bad)) << bad;
  }
  EXPECT_EQ(ParseHexText("FFFF", 4), 0xFFFFu);
  EXPECT_EQ(ParseHexText("0x0203", 4), 0x0203u);
  EXPECT_FALSE(ParseHexText("12345", 4));
  EXPECT_EQ(ParseNumberText("0x0A", 255), 10u);
  EXPECT_EQ(ParseNumberText("49", 255), 49u);
  EXPECT_FALSE(ParseNumberText("256", 255));
  EXPECT_FALSE(ParseNumberText("-1", 255));

  auto tag = ParseTagText("E004010012345678:deadbeef");
  ASSERT_TRUE(tag);
  EXPECT_EQ(tag->id, Hex("E0 04 01 00 12 34 56 78"));
  EXPECT_EQ(tag->block0, 0xDEADBEEFu);
  tag = ParseTagText("12345678");
  ASSERT_TRUE(tag);
  EXPECT_EQ(tag->id.size(), 4u);
  EXPECT_EQ(tag->block0, 0u);
  for (const char* bad : {"123", "", "E004010012345678AA", "12G4", "1234:", "1234:123456789"}) {
    EXPECT_FALSE(ParseTagText(bad)) << bad;
  }
  EXPECT_EQ(ParseFaultName("garbage-before-frame"), SimFault::GarbageBeforeFrame);
  EXPECT_FALSE(ParseFaultName("Busy"));
}

#ifdef READER_SIM_PROGRAM
TEST(ReaderSimProgram, PublishesAnswersAndWritesTheImageOnSignal) {
  test::TempDir dir;
  const std::string ports = dir.Join("ports");
  const std::string hex = dir.Join("received.hex");
  test::RunningProgram program;
  ASSERT_TRUE(program.Start({READER_SIM_PROGRAM, "--port-dir", ports, "--com", "3", "--version",
                             "3.1.2", "--tag", "E004010012345678:DEADBEEF", "--hex-out", hex}));
  std::string line_text;
  ASSERT_TRUE(program.ReadLine(line_text, 10000));
  EXPECT_THAT(line_text, ::testing::MatchesRegex("reader-sim: COM3 -> /dev/pts/[0-9]+"));
  {
    HostLine line(ports + "/COM3");
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(ToHex(line.Exchange(kVersionQuery, 12)),
              ToHex(MakeFrame(0xD5, {0x04, 0x00, 0x11, 0x0A, 0x03, 0x01, 0x02})));
    EXPECT_EQ(ToHex(line.Exchange(Hex("D6 00 0D 02 E0 04 01 00 12 34 56 78 00 01 31 50"), 22)),
              "D6 00 13 02 00 E0 04 01 00 12 34 56 78 00 00 00 DE AD BE EF 0D 10");
    ASSERT_EQ(ToHex(line.Exchange(kEnterDownload, 5)), ToHex(kAckOk));
    for (std::size_t i = 0; i < kImage.size(); ++i) {
      ASSERT_EQ(ToHex(line.SendRecord(kImage[i])), ToHex(kAckOk));
      if (i == 0) {
        ASSERT_EQ(ToHex(line.SendRecord(kImage[i])), ToHex(kAckOk));
      }
    }
  }
  const std::string expected = FormatIntelHex(kImage);
  // Written when the download completes, before the program is told to stop.
  const auto deadline = Clock::now() + 10s;
  while (test::ReadFile(hex) != expected && Clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(test::ReadFile(hex), expected);
  std::filesystem::remove(hex);
  ASSERT_TRUE(program.Signal(SIGTERM));
  const test::ProgramResult result = program.Wait(30);
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(test::ReadFile(hex), expected);  // and again on exit
  EXPECT_FALSE(std::filesystem::is_symlink(ports + "/COM3"));
}

TEST(ReaderSimProgram, HelpAndBadArguments) {
  test::ProgramResult help = test::RunProgram({READER_SIM_PROGRAM, "--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_THAT(help.out, ::testing::HasSubstr("--port-dir"));
  EXPECT_THAT(help.out, ::testing::HasSubstr("--hex-out"));

  test::TempDir dir;
  test::ProgramResult bad =
      test::RunProgram({READER_SIM_PROGRAM, "--port-dir", dir.path(), "--version", "4.300.1"});
  EXPECT_EQ(bad.exit_status, 2);
  EXPECT_THAT(bad.err, ::testing::HasSubstr("--version"));

  EXPECT_EQ(test::RunProgram({READER_SIM_PROGRAM, "--port-dir", dir.path(), "--com", "0"}).exit_status,
            2);
  EXPECT_EQ(test::RunProgram({READER_SIM_PROGRAM, "--port-dir", dir.path(), "--tag", "12G4"})
                .exit_status,
            2);
  EXPECT_FALSE(std::filesystem::exists(dir.Join("COM1")));

  test::ProgramResult no_dir =
      test::RunProgram({READER_SIM_PROGRAM}, {"FLASHWRIGHT_PORT_DIR="});
  EXPECT_EQ(no_dir.exit_status, 2);
  EXPECT_THAT(no_dir.err, ::testing::HasSubstr("FLASHWRIGHT_PORT_DIR"));
}

TEST(ReaderSimProgram, TakesThePortFolderFromTheEnvironmentAndStopsOnInterrupt) {
  test::TempDir dir;
  test::RunningProgram program;
  ASSERT_TRUE(program.Start({READER_SIM_PROGRAM, "--fault", "bad-crc"},
                            {"FLASHWRIGHT_PORT_DIR=" + dir.path()}));
  std::string line_text;
  ASSERT_TRUE(program.ReadLine(line_text, 10000));
  EXPECT_THAT(line_text, ::testing::StartsWith("reader-sim: COM1 -> "));
  {
    HostLine line(dir.Join("COM1"));
    ASSERT_TRUE(line.ok());
    const Bytes reply = line.Exchange(kVersionQuery, 12);
    EXPECT_EQ(reply.size(), 12u);
    EXPECT_FALSE(FrameCrcGood(reply));
  }
  ASSERT_TRUE(program.Signal(SIGINT));
  EXPECT_EQ(program.Wait(30).exit_status, 0);
}
#endif

}  // namespace
}  // namespace flashwright::sim
