// The tool exchange on a real pseudo-terminal with the reader simulator: what it returns
// without a port, for old readers, for the longest frame a length can describe, and for a
// reply that never satisfies its parser.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "reader_link/frame.h"
#include "reader_link/transport.h"
#include "reader_tools/portal_afi.h"
#include "reader_tools/tag_reads.h"
#include "reader_tools/tool_transact.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

constexpr unsigned kPort = 3;
constexpr std::uint32_t kD6Reader = 0x0A04F108;

class ToolTransactTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(reader_.Start(port_dir_.path(), kPort));
    ASSERT_EQ(OpenReaderPort(kPort), 0);
  }
  void TearDown() override { CloseReaderPort(); }

  test::ScopedPortDir port_dir_;
  sim::ReaderSimulator reader_;
};

TEST(ToolTransactWithoutPort, ReturnsMinus3AtOnceAndBeforeTheVersionGate) {
  ASSERT_EQ(ReaderPortHandle(), nullptr);
  std::uint8_t afi = 0;
  EXPECT_EQ(ReadPortalAfi(kD6Reader, &afi), kLinkPortNotOpen);
  EXPECT_EQ(ReadPortalAfi(0x0A020000, &afi), kLinkPortNotOpen);
  bool extra = true;
  std::vector<std::string> ids;
  EXPECT_EQ(ReadTags(kD6Reader, &extra, &ids), kLinkPortNotOpen);
}

TEST_F(ToolTransactTest, OldReadersGetSevenForSettingsButTheirTagReadsGoOut) {
  std::uint8_t afi = 0;
  EXPECT_EQ(ReadPortalAfi(0x0A02FFFF, &afi), kToolNotSupported);
  EXPECT_EQ(WritePortalAfi(0x0A02FFFF, 0x12), kToolNotSupported);
  EXPECT_FALSE(reader_.WaitForRequests(1, std::chrono::milliseconds(150)));
  bool extra = true;
  std::vector<std::string> ids;
  ReadTags(0x0A02FFFF, &extra, &ids);
  EXPECT_EQ(reader_.RequestCount(kCommandInventory), 1u);
}

TEST_F(ToolTransactTest, TheLongestFrameIsReceivedWholeAndWhatFollowsIsIgnored) {
  // L = 0xFFFF: 65538 bytes of frame, then bytes that belong to nothing.
  std::vector<std::uint8_t> reply(kMaxToolReplyBytes + 300, 0x00);
  reply[0] = 0xD6;
  reply[1] = 0xFF;
  reply[2] = 0xFF;
  reply[3] = kCommandReadPortalAfi;
  reply[4] = 0x00;  // status
  reply[5] = 0x5A;  // AFI
  reader_.SetReplyOverride(kCommandReadPortalAfi, reply);
  std::uint8_t afi = 0;
  EXPECT_EQ(ReadPortalAfi(kD6Reader, &afi), 0);
  EXPECT_EQ(afi, 0x5A);
  // The leftovers are purged before the next request.
  EXPECT_EQ(ReadPortalAfi(kD6Reader, &afi), 0);
  EXPECT_EQ(afi, reader_.Options().portal_afi);
}

TEST_F(ToolTransactTest, AParserNeverSatisfiedStopsAtTheLongestFrameWithMinus4) {
  std::vector<std::uint8_t> reply(kMaxToolReplyBytes + 1000, 0xA5);
  reader_.SetReplyOverride(kCommandReadPortalAfi, reply);
  std::size_t largest_seen = 0;
  ToolResult result = ToolTransact(
      BuildReadPortalAfiRequest(),
      [&](const std::uint8_t*, std::size_t count, ToolResult*) {
        largest_seen = count;
        return false;
      },
      5000);
  EXPECT_EQ(result, kLinkRxOverflow);
  EXPECT_EQ(largest_seen, kMaxToolReplyBytes);
}

// The reply is taken from the first byte received: bytes before the start byte are not
// skipped. Three zero bytes read as a D5 header of length 0 whose echo (byte 5) is not the
// request's command, so the reply is complete and unexpected at once.
TEST_F(ToolTransactTest, BytesBeforeTheStartByteMakeTheReplyUnexpected) {
  std::uint8_t frame[8] = {0xD6, 0, 0, kCommandReadPortalAfi, 0x00, 0x5A};
  BuildFrame(0xD6, 5, frame);
  std::vector<std::uint8_t> reply = {0x00, 0x00, 0x00};
  reply.insert(reply.end(), frame, frame + sizeof frame);
  reader_.SetReplyOverride(kCommandReadPortalAfi, reply);
  std::uint8_t afi = 0x11;
  EXPECT_EQ(ReadPortalAfi(kD6Reader, &afi), kToolUnexpectedReply);
  EXPECT_EQ(afi, 0x11);

  // The same reply without the leading bytes is read.
  reader_.SetReplyOverride(kCommandReadPortalAfi, std::vector<std::uint8_t>(frame, frame + 8));
  EXPECT_EQ(ReadPortalAfi(kD6Reader, &afi), 0);
  EXPECT_EQ(afi, 0x5A);
}

// "Just over 500 ms" (250 for a block read): never much more.
TEST_F(ToolTransactTest, ASilentReaderTimesOutJustAfterTheLimit) {
  reader_.SetFault(sim::SimFault::NoAnswer);
  std::uint8_t afi = 0;
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadPortalAfi(kD6Reader, &afi), kLinkTimeout);
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GT(waited, std::chrono::milliseconds(500));
  EXPECT_LT(waited, std::chrono::milliseconds(500) + test::kTimeLimitOverrun);

  std::string block;
  started = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadBlock0(kD6Reader, false, "E004010012345678", &block), kLinkTimeout);
  waited = std::chrono::steady_clock::now() - started;
  EXPECT_GT(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::milliseconds(250) + test::kTimeLimitOverrun);
}

}  // namespace
}  // namespace flashwright
