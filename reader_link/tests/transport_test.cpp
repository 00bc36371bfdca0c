// The serial port transport on real pseudo-terminals: a bare pty stands in for the reader so
// that each test controls exactly which bytes arrive and when the line goes away.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/port_map.h"
#include "platform/serial_port.h"
#include "reader_link/reader_link.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// The far end of a pty published as COM<n> in the port folder.
class BarePty {
 public:
  BarePty(const std::string& port_dir, unsigned com) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(::grantpt(master_), 0);
    EXPECT_EQ(::unlockpt(master_), 0);
    slave_path_ = ::ptsname(master_);
    link_ = port_dir + "/COM" + std::to_string(com);
    EXPECT_EQ(::symlink(slave_path_.c_str(), link_.c_str()), 0);
    // Hold the slave open so that the line stays up between the host's opens.
    keep_ = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
  }
  ~BarePty() {
    HangUp();
    ::unlink(link_.c_str());
  }

  void Write(const Bytes& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  Bytes ReadAvailable(std::chrono::milliseconds wait = std::chrono::milliseconds(200)) {
    Bytes got;
    const auto until = Clock::now() + wait;
    std::uint8_t chunk[512];
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
    while (Clock::now() < until) {
      const ssize_t n = ::read(master_, chunk, sizeof chunk);
      if (n > 0) {
        got.insert(got.end(), chunk, chunk + n);
        continue;
      }
      if (!got.empty()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return got;
  }
  void HangUp() {
    if (keep_ >= 0) ::close(keep_);
    if (master_ >= 0) ::close(master_);
    keep_ = master_ = -1;
  }
  const std::string& slave_path() const { return slave_path_; }

 private:
  int master_ = -1;
  int keep_ = -1;
  std::string slave_path_;
  std::string link_;
};

class TransportTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseReaderPort();
    SetWaitPolicy(WaitPolicy::WaitForInput);
  }
  test::ScopedPortDir ports_;
};

TEST(PortNames, WindowsNameRuleChangesAtComTen) {
  EXPECT_EQ(platform::WindowsPortName(1), "COM1");
  EXPECT_EQ(platform::WindowsPortName(9), "COM9");
  EXPECT_EQ(platform::WindowsPortName(10), "\\\\.\\COM10");
  EXPECT_EQ(platform::WindowsPortName(32), "\\\\.\\COM32");
}

TEST(PortMap, FixedRuleWithoutPortFolder) {
  test::ScopedEnv no_dir("FLASHWRIGHT_PORT_DIR", nullptr);
  EXPECT_EQ(platform::PortDevicePath(1), "/dev/ttyUSB0");
  EXPECT_EQ(platform::PortDevicePath(16), "/dev/ttyUSB15");
  EXPECT_EQ(platform::PortDevicePath(17), "/dev/ttyACM0");
  EXPECT_EQ(platform::PortDevicePath(32), "/dev/ttyACM15");
  EXPECT_EQ(platform::PortDevicePath(33), "/dev/ttyS0");
  EXPECT_EQ(platform::PortTtyName(2), "ttyUSB1");
  EXPECT_EQ(platform::ComNumberOfTty("ttyACM3"), 20u);
  EXPECT_EQ(platform::PortDevicePath(0), "");
}

// The reverse of the fixed rule has no upper end either: ttyS32 and beyond have COM numbers.
TEST(PortMap, FixedRuleReverseLookupWithoutUpperEnd) {
  test::ScopedEnv no_dir("FLASHWRIGHT_PORT_DIR", nullptr);
  EXPECT_EQ(platform::ComNumberOfTty("ttyUSB0"), 1u);
  EXPECT_EQ(platform::ComNumberOfTty("ttyUSB15"), 16u);
  EXPECT_EQ(platform::ComNumberOfTty("ttyACM15"), 32u);
  EXPECT_EQ(platform::ComNumberOfTty("ttyS0"), 33u);
  EXPECT_EQ(platform::ComNumberOfTty("ttyS31"), 64u);
  EXPECT_EQ(platform::ComNumberOfTty("ttyS32"), 65u);
  EXPECT_EQ(platform::ComNumberOfTty("ttyS200"), 233u);
  for (unsigned port : {65u, 100u, 1000u}) {
    EXPECT_EQ(platform::ComNumberOfTty(platform::PortTtyName(port)), port);
  }
  // Ttys that the rule does not name.
  EXPECT_EQ(platform::ComNumberOfTty("ttyUSB16"), std::nullopt);
  EXPECT_EQ(platform::ComNumberOfTty("ttyACM16"), std::nullopt);
  EXPECT_EQ(platform::ComNumberOfTty("ttyS"), std::nullopt);
  EXPECT_EQ(platform::ComNumberOfTty("ttyS01"), std::nullopt);
  EXPECT_EQ(platform::ComNumberOfTty("ttyAMA0"), std::nullopt);
}

TEST_F(TransportTest, PortFolderEntriesAndTtyNames) {
  BarePty reader(ports_.path(), 4);
  EXPECT_TRUE(platform::PortExists(4));
  EXPECT_FALSE(platform::PortExists(5));
  ASSERT_TRUE(test::WriteFile(ports_.path() + "/COM6", "not a device"));
  EXPECT_FALSE(platform::PortExists(6));

  // A port named through a tty link keeps that name, one level only.
  ASSERT_EQ(::mkdir((ports_.path() + "/dev").c_str(), 0755), 0);
  ASSERT_EQ(::symlink(reader.slave_path().c_str(), (ports_.path() + "/dev/ttyUSB0").c_str()), 0);
  ASSERT_EQ(::symlink("dev/ttyUSB0", (ports_.path() + "/COM9").c_str()), 0);
  ASSERT_EQ(::symlink("dev/ttyUSB0", (ports_.path() + "/COM7").c_str()), 0);
  EXPECT_TRUE(platform::PortExists(7));
  EXPECT_EQ(platform::PortTtyName(7), "ttyUSB0");
  EXPECT_EQ(platform::ComNumberOfTty("ttyUSB0"), 7u);
  EXPECT_EQ(platform::ComNumberOfTty("ttyUSB1"), std::nullopt);
}

TEST_F(TransportTest, OpenTwiceLeavesTheFirstPortUsable) {
  BarePty first(ports_.path(), 1);
  BarePty second(ports_.path(), 2);
  ASSERT_EQ(OpenReaderPort(1), 0);
  EXPECT_EQ(OpenReaderPort(2), kLinkPortAlreadyOpen);
  const Bytes request = {0xD5, 0x00, 0x05, 0x04, 0x00, 0x11, 0x8C, 0x66};
  EXPECT_EQ(SendBytes(static_cast<std::uint16_t>(request.size()), true, request.data()), 0);
  EXPECT_EQ(first.ReadAvailable(), request);
  EXPECT_TRUE(second.ReadAvailable(std::chrono::milliseconds(50)).empty());
}

TEST_F(TransportTest, AbsentOrBusyPortFailsToOpen) {
  EXPECT_EQ(OpenReaderPort(3), kLinkPortOpenFailed);
  BarePty reader(ports_.path(), 3);
  // Another program holds the port.
  const int other = ::open(reader.slave_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(OpenReaderPort(3), kLinkPortOpenFailed);
  EXPECT_EQ(ReaderPortHandle(), nullptr);
  ::close(other);
  EXPECT_EQ(OpenReaderPort(3), 0);
}

TEST_F(TransportTest, CloseRestoresThePreviousSettings) {
  BarePty reader(ports_.path(), 1);
  const int probe = ::open(reader.slave_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(probe, 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(probe, &before), 0);
  ::cfsetispeed(&before, B9600);
  ::cfsetospeed(&before, B9600);
  before.c_lflag |= ICANON | ECHO;
  before.c_iflag |= ICRNL | IXON;
  ASSERT_EQ(::tcsetattr(probe, TCSANOW, &before), 0);

  ASSERT_EQ(OpenReaderPort(1), 0);
  termios during{};
  ASSERT_EQ(::tcgetattr(probe, &during), 0);
  EXPECT_EQ(::cfgetispeed(&during), static_cast<speed_t>(B19200));
  EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(during.c_iflag & (ICRNL | IXON), 0u);
  EXPECT_EQ(during.c_cc[VMIN], 0);

  CloseReaderPort();
  termios after{};
  ASSERT_EQ(::tcgetattr(probe, &after), 0);
  EXPECT_EQ(::cfgetispeed(&after), static_cast<speed_t>(B9600));
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), ICANON | ECHO);
  EXPECT_EQ(after.c_iflag & (ICRNL | IXON), ICRNL | IXON);
  ::close(probe);
  CloseReaderPort();  // closing twice does nothing
}

TEST_F(TransportTest, NothingWorksWithoutAnOpenPort) {
  ReplyResult result;
  result.received = 7;
  const auto started = Clock::now();
  EXPECT_EQ(ReceiveReply(1250, ScanVersionReply, &result), kLinkPortNotOpen);
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000));
  EXPECT_EQ(result.received, 0);
  const std::uint8_t byte = 0;
  EXPECT_EQ(SendBytes(1, true, &byte), kLinkPortNotOpen);
  EXPECT_EQ(ReadReaderVersion(nullptr, nullptr, nullptr), kLinkPortNotOpen);
}

TEST_F(TransportTest, SilentReaderTimesOutAfterTheLimit) {
  BarePty reader(ports_.path(), 1);
  ASSERT_EQ(OpenReaderPort(1), 0);
  for (WaitPolicy policy : {WaitPolicy::WaitForInput, WaitPolicy::FixedSleep}) {
    SetWaitPolicy(policy);
    ReplyResult result;
    const auto started = Clock::now();
    EXPECT_EQ(ReceiveReply(300, ScanVersionReply, &result), kLinkTimeout);
    // The millisecond tick may advance just after the start was taken.
    const auto waited = Clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(299));
    EXPECT_LT(waited, std::chrono::milliseconds(300) + test::kTimeLimitOverrun);
  }
}

TEST_F(TransportTest, MoreThan320BytesOverflowTheReceiveBuffer) {
  BarePty reader(ports_.path(), 1);
  ASSERT_EQ(OpenReaderPort(1), 0);
  ReplyResult result;

  reader.Write(Bytes(321, 0x00));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReceiveReply(500, ScanVersionReply, &result), kLinkRxOverflow);

  // An incomplete frame that claims more than fits: 320 bytes are held, one more overflows.
  ASSERT_EQ(PurgeReaderInput(), 0);
  Bytes claim(320, 0x00);
  claim[0] = 0xD5;
  claim[1] = 0x7F;
  std::thread late([&reader, &claim] {
    reader.Write(claim);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reader.Write({0x00});
  });
  EXPECT_EQ(ReceiveReply(1000, ScanVersionReply, &result), kLinkRxOverflow);
  late.join();
}

TEST_F(TransportTest, ReplyIsRecognisedAcrossPiecesAndLeftoverGarbage) {
  BarePty reader(ports_.path(), 1);
  ASSERT_EQ(OpenReaderPort(1), 0);
  std::thread peer([&reader] {
    reader.Write({0x00, 0xD6, 0x03});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    reader.Write({0xD5, 0x00, 0x09, 0x04, 0x00});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    // Payload 04 00 11 0A 03 00 01, CRC computed below.
    Bytes rest = {0x11, 0x0A, 0x03, 0x00, 0x01};
    std::uint8_t frame[] = {0xD5, 0x00, 0x09, 0x04, 0x00, 0x11, 0x0A, 0x03, 0x00, 0x01, 0, 0};
    BuildFrame(0xD5, 9, frame);
    rest.push_back(frame[10]);
    rest.push_back(frame[11]);
    reader.Write(rest);
  });
  ReplyResult result;
  EXPECT_EQ(ReceiveReply(1250, ScanVersionReply, &result), 0);
  EXPECT_EQ(result.value, 0x0A030001u);
  peer.join();
}

TEST_F(TransportTest, ReplyBehindADroppedFrameInTheSameBatchIsSeen) {
  BarePty reader(ports_.path(), 1);
  ASSERT_EQ(OpenReaderPort(1), 0);
  std::uint8_t reply[] = {0xD5, 0x00, 0x09, 0x04, 0x00, 0x11, 0x0A, 0x04, 0xF1, 0x08, 0, 0};
  BuildFrame(0xD5, 9, reply);
  // A frame with a bad CRC, a reply to another command, then the reply: all queued at once.
  Bytes batch = {0xD5, 0x00, 0x03, 0x7F, 0x00, 0x00};
  std::uint8_t other[] = {0xD5, 0x00, 0x09, 0x04, 0x00, 0x3C, 0x0A, 0x04, 0xF1, 0x08, 0, 0};
  BuildFrame(0xD5, 9, other);
  batch.insert(batch.end(), other, other + sizeof other);
  batch.insert(batch.end(), reply, reply + sizeof reply);
  reader.Write(batch);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ReplyResult result;
  EXPECT_EQ(ReceiveReply(500, ScanVersionReply, &result), 0);
  EXPECT_EQ(result.value, 0x0A04F108u);
}

TEST_F(TransportTest, LineThatGoesAwayGivesASystemErrorNotAHang) {
  auto reader = std::make_unique<BarePty>(ports_.path(), 1);
  ASSERT_EQ(OpenReaderPort(1), 0);
  std::thread unplug([&reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reader->HangUp();
  });
  for (WaitPolicy policy : {WaitPolicy::WaitForInput, WaitPolicy::FixedSleep}) {
    SetWaitPolicy(policy);
    ReplyResult result;
    const LinkError error = ReceiveReply(5000, ScanVersionReply, &result);
    EXPECT_GT(error, 0) << "a positive system error code, not a time-out";
  }
  unplug.join();
  const std::uint8_t byte = 0;
  EXPECT_GT(SendBytes(1, false, &byte), 0);
  CloseReaderPort();
  EXPECT_EQ(ReaderPortHandle(), nullptr);
}

TEST_F(TransportTest, TransactStopsAtTheFirstGoodAttempt) {
  BarePty reader(ports_.path(), 1);
  ASSERT_EQ(OpenReaderPort(1), 0);
  static int calls;
  calls = 0;
  auto failing_builder = [](const void*) -> LinkError {
    ++calls;
    return kLinkShortWrite;
  };
  ReplyResult result;
  EXPECT_EQ(Transact(failing_builder, nullptr, ScanVersionReply, 100, 3, &result), kLinkShortWrite);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(Transact(failing_builder, nullptr, ScanVersionReply, 100, 0, &result), kLinkTimeout);
}

std::uint32_t g_fake_tick = 0;
std::uint32_t FakeTick() { return g_fake_tick; }

TEST(ElapsedMs, CorrectAcrossTheCounterWrap) {
  platform::SetTickSourceForTesting(FakeTick);
  g_fake_tick = 0xFFFFFFF0u;
  const std::uint32_t start = platform::TickCount();
  g_fake_tick = 0x00000010u;
  EXPECT_EQ(ElapsedMs(start), 0x20u);
  g_fake_tick = 0xFFFFFFF0u;
  EXPECT_EQ(ElapsedMs(start), 0u);
  platform::SetTickSourceForTesting(nullptr);
  const std::uint32_t now = platform::TickCount();
  platform::SleepMs(20);
  EXPECT_GE(ElapsedMs(now), 20u);
}

}  // namespace
}  // namespace flashwright
