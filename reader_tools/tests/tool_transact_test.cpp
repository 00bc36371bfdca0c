// The tool exchange on a real pseudo-terminal with the reader simulator: what it returns
// without a port, for old readers, for the longest frame a length can describe, and for a
// reply that never satisfies its parser.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

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
  EXPECT_EQ(ReadPortalAfi(kD6Reader, &afi), PortNotOpen);
  EXPECT_EQ(ReadPortalAfi(0x0A020000, &afi), PortNotOpen);
  bool extra = true;
  std::vector<std::string> ids;
  EXPECT_EQ(ReadTags(kD6Reader, &extra, &ids), PortNotOpen);
}

TEST_F(ToolTransactTest, OldReadersGetSevenForSettingsButTheirTagReadsGoOut) {
  std::uint8_t afi = 0;
  EXPECT_EQ(ReadPortalAfi(0x0A02FFFF, &afi), ToolsNotSupported);
  EXPECT_EQ(WritePortalAfi(0x0A02FFFF, 0x12), ToolsNotSupported);
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
  EXPECT_EQ(result, RxOverflow);
  EXPECT_EQ(largest_seen, kMaxToolReplyBytes);
}

}  // namespace
}  // namespace flashwright
