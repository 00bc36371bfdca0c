// Request frames byte for byte, and the reply parsers on whole, partial, short and lying
// replies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader_link/frame.h"
#include "reader_tools/portal_afi.h"
#include "reader_tools/power_level.h"
#include "reader_tools/security_method.h"
#include "reader_tools/tag_reads.h"
#include "reader_tools/tool_reply.h"
#include "reader_tools/tool_transact.h"
#include "reader_tools/transmit_mode.h"

namespace flashwright {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kD6Reader = 0x0A030000;
constexpr std::uint32_t kD5Reader = 0x0A02FFFF;

// A reply frame with a correct CRC, as a reader sends it.
Bytes Frame(std::uint8_t start, const Bytes& payload) { return BuildToolFrame(start, payload); }

// A D5 reply: the two unused bytes, then the echo and the body.
Bytes D5Reply(std::uint8_t echo, const Bytes& body) {
  Bytes payload = {0x00, 0x00, echo};
  payload.insert(payload.end(), body.begin(), body.end());
  return Frame(kStartD5, payload);
}

Bytes D6Reply(std::uint8_t echo, const Bytes& body) {
  Bytes payload = {echo};
  payload.insert(payload.end(), body.begin(), body.end());
  return Frame(kStartD6, payload);
}

TEST(ToolRequests, FramesMatchTheReaderProtocolByteForByte) {
  EXPECT_EQ(BuildInventoryRequest(kD6Reader, true), (Bytes{0xD6, 0x00, 0x05, 0xFE, 0x00, 0x05, 0xFA, 0x40}));
  EXPECT_EQ(BuildInventoryRequest(kD5Reader, true),
            (Bytes{0xD5, 0x00, 0x09, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x00, 0x05, 0xC6, 0x5D}));
  EXPECT_EQ(BuildInventoryRequest(kD5Reader, false),
            (Bytes{0xD5, 0x00, 0x08, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x05, 0xFE, 0x3E}));
  EXPECT_EQ(BuildBlockReadRequest(kD6Reader, true, 0xE004010012345678ULL),
            (Bytes{0xD6, 0x00, 0x0D, 0x02, 0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00,
                   0x01, 0x31, 0x50}));
  EXPECT_EQ(BuildBlockReadRequest(kD5Reader, true, 0x12345678),
            (Bytes{0xD5, 0x00, 0x0D, 0x03, 0x00, 0x02, 0x04, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00,
                   0x01, 0x54, 0x0C}));
  EXPECT_EQ(BuildBlockReadRequest(kD5Reader, false, 0x12345678),
            (Bytes{0xD5, 0x00, 0x0C, 0x03, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78, 0x00, 0x01,
                   0x50, 0x66}));
  EXPECT_EQ(BuildReadPortalAfiRequest(), (Bytes{0xD6, 0x00, 0x03, 0x41, 0x3E, 0xD5}));
  EXPECT_EQ(BuildWritePortalAfiRequest(0xDA), (Bytes{0xD6, 0x00, 0x04, 0x40, 0xDA, 0xC0, 0x04}));
  EXPECT_EQ(BuildReadSecurityMethodRequest(), (Bytes{0xD6, 0x00, 0x03, 0x43, 0x1E, 0x97}));
  EXPECT_EQ(BuildWriteSecurityMethodRequest(0x09, 0xDA),
            (Bytes{0xD6, 0x00, 0x05, 0x42, 0x09, 0xDA, 0xF1, 0xD4}));
  EXPECT_EQ(BuildWriteSecurityMethodRequest(0x0C, 0x01),
            (Bytes{0xD6, 0x00, 0x05, 0x42, 0x0C, 0x01, 0x74, 0x37}));
  EXPECT_EQ(BuildWriteSecurityMethodRequest(0x11, 0x00),
            (Bytes{0xD6, 0x00, 0x05, 0x42, 0x11, 0x00, 0x11, 0x39}));
  EXPECT_EQ(BuildReadTransmitModeRequest(), (Bytes{0xD6, 0x00, 0x05, 0x36, 0x01, 0xFF, 0x08, 0x72}));
  EXPECT_EQ(BuildWriteTransmitModeRequest(1), (Bytes{0xD6, 0x00, 0x05, 0x36, 0x01, 0x01, 0x06, 0xA3}));
  EXPECT_EQ(BuildWriteTransmitModeRequest(0), (Bytes{0xD6, 0x00, 0x05, 0x36, 0x01, 0x00, 0x16, 0x82}));
  EXPECT_EQ(BuildReadRfPowerLevelRequest(), (Bytes{0xD6, 0x00, 0x03, 0x3E, 0xB1, 0xAD}));
  EXPECT_EQ(BuildWriteRfPowerLevelRequest(0x01), (Bytes{0xD6, 0x00, 0x04, 0x3A, 0x01, 0x5D, 0x80}));
  EXPECT_EQ(BuildWriteRfPowerLevelRequest(0x0A), (Bytes{0xD6, 0x00, 0x04, 0x3A, 0x0A, 0xEC, 0xEB}));
}

TEST(ToolRequests, BlockReadOfAnIdentifierWithLeadingZerosCarriesAllEightBytes) {
  std::optional<std::uint64_t> id = ParseTagIdText("123456789abc");
  ASSERT_TRUE(id);
  Bytes request = BuildBlockReadRequest(kD6Reader, true, *id);
  ASSERT_EQ(request.size(), 16u);
  EXPECT_EQ(Bytes(request.begin() + 4, request.begin() + 12),
            (Bytes{0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
  EXPECT_FALSE(ParseTagIdText(""));
  EXPECT_FALSE(ParseTagIdText("12G4"));
  EXPECT_FALSE(ParseTagIdText("11112222333344445"));
}

TEST(ToolReplyHeader, CompleteOnlyOnceLPlusThreeBytesArrived) {
  Bytes d6 = D6Reply(0x41, {0x00, 0xDA});
  for (std::size_t n = 0; n < d6.size(); ++n) {
    EXPECT_FALSE(ParseToolReplyHeader(d6.data(), n)) << n;
  }
  auto header = ParseToolReplyHeader(d6.data(), d6.size());
  ASSERT_TRUE(header);
  EXPECT_EQ(header->start, 0xD6);
  EXPECT_EQ(header->length, 5);
  EXPECT_EQ(header->echo, 0x41);
  EXPECT_EQ(header->position, 4u);

  Bytes d5 = D5Reply(0xFE, {0x00, 0x00, 0x00, 0x00});
  EXPECT_FALSE(ParseToolReplyHeader(d5.data(), 5));
  header = ParseToolReplyHeader(d5.data(), d5.size());
  ASSERT_TRUE(header);
  EXPECT_EQ(header->echo, 0xFE);
  EXPECT_EQ(header->position, 6u);
  // Any first byte but 0xD6 is read the D5 way.
  Bytes other = d5;
  other[0] = 0x00;
  header = ParseToolReplyHeader(other.data(), other.size());
  ASSERT_TRUE(header);
  EXPECT_EQ(header->echo, 0xFE);
}

TEST(ToolReplyHeader, FormatTagIdDropsLeadingZerosAndRefusesOtherSizes) {
  const std::uint8_t eight[] = {0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  EXPECT_EQ(FormatTagId(eight, 8), "123456789ABC");
  const std::uint8_t four[] = {0x00, 0x0A, 0xBC, 0xDE};
  EXPECT_EQ(FormatTagId(four, 4), "ABCDE");
  const std::uint8_t zero[8] = {};
  EXPECT_EQ(FormatTagId(zero, 8), "0");
  EXPECT_EQ(FormatTagId(eight, 6), "");
}

TEST(SettingsReplies, ReadsFieldsStatusesAndEchoes) {
  ToolResult result = 1234;
  std::uint8_t afi = 0x11;
  Bytes reply = D6Reply(0x41, {0x00, 0x7E});
  ASSERT_TRUE(ParseReadPortalAfiReply(reply.data(), reply.size(), &afi, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(afi, 0x7E);

  afi = 0x11;
  reply = D6Reply(0x41, {0x02});
  ASSERT_TRUE(ParseReadPortalAfiReply(reply.data(), reply.size(), &afi, &result));
  EXPECT_EQ(result, 2);
  EXPECT_EQ(afi, 0x11);

  reply = D6Reply(0x40, {0x00, 0x7E});
  ASSERT_TRUE(ParseReadPortalAfiReply(reply.data(), reply.size(), &afi, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);

  reply = D6Reply(0x40, {0x31});
  ASSERT_TRUE(ParseWritePortalAfiReply(reply.data(), reply.size(), &result));
  EXPECT_EQ(result, 49);

  std::uint8_t method = 0, value = 0;
  reply = D6Reply(0x43, {0x00, 0x20, 0x55});
  ASSERT_TRUE(ParseReadSecurityMethodReply(reply.data(), reply.size(), &method, &value, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(method, kSecurityAfi);
  EXPECT_EQ(value, 0xDA);
  reply = D6Reply(0x43, {0x00, 0x11, 0x55});
  ASSERT_TRUE(ParseReadSecurityMethodReply(reply.data(), reply.size(), &method, &value, &result));
  EXPECT_EQ(method, kSecurityNone);
  EXPECT_EQ(value, 0x55);

  std::uint8_t mode = 7;
  reply = D6Reply(0x36, {0x00, 0x01, 0x03});
  ASSERT_TRUE(ParseReadTransmitModeReply(reply.data(), reply.size(), &mode, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(mode, 1);
  mode = 7;
  reply = D6Reply(0x36, {0x00, 0x02, 0x01});
  ASSERT_TRUE(ParseReadTransmitModeReply(reply.data(), reply.size(), &mode, &result));
  EXPECT_EQ(result, 49);
  EXPECT_EQ(mode, 7);
  // A refusal carries no flags or value; none are read.
  reply = D6Reply(0x36, {0x05});
  ASSERT_TRUE(ParseReadTransmitModeReply(reply.data(), reply.size(), &mode, &result));
  EXPECT_EQ(result, 5);

  std::uint8_t level = 0;
  reply = D6Reply(0x3E, {0x00, 0x03});
  ASSERT_TRUE(ParseReadRfPowerLevelReply(reply.data(), reply.size(), &level, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(level, 3);
  EXPECT_STREQ(PowerLevelName(level), "(unknown)");
  EXPECT_STREQ(PowerLevelName(4), "400 mW");
}

TEST(SettingsReplies, AReplyTooShortForItsFieldsIsUnexpectedAndNeverReadPast) {
  // Complete by its length, but the length leaves no room for the status and value: the
  // parsers must stop at the payload, not take CRC bytes or what lies beyond as fields.
  for (std::uint16_t length : {0, 1, 2, 3, 4}) {
    Bytes reply = {0xD6, static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length), 0x43};
    reply.resize(std::max<std::size_t>(length + 3, 4), 0x00);
    // Heap copies of exactly the received size let the address sanitizer catch any overread.
    std::vector<std::uint8_t> exact(reply);
    std::uint8_t method = 0x77, value = 0x77;
    ToolResult result = 1234;
    ASSERT_TRUE(ParseReadSecurityMethodReply(exact.data(), exact.size(), &method, &value, &result))
        << length;
    // At most room for a status of 0; without the method and value the reply is unusable.
    EXPECT_EQ(result, kToolUnexpectedReply) << length;
    EXPECT_EQ(method, 0x77);
    EXPECT_EQ(value, 0x77);
  }
  Bytes write_reply = {0xD6, 0x00, 0x02, 0x42, 0x00};
  ToolResult result = 0;
  ASSERT_TRUE(ParseWriteSecurityMethodReply(write_reply.data(), write_reply.size(), &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
}

TEST(InventoryReplies, D6ListsTagsInReplyOrderAndStatusSixIsNoTag) {
  Bytes reply = D6Reply(0xFE, {0x00, 0x00, 0x00, 0x02,
                               0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78,
                               0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
  bool extra = true;
  std::vector<std::string> ids = {"stale"};
  ToolResult result = 1234;
  for (std::size_t n = 0; n < reply.size(); ++n) {
    ASSERT_FALSE(ParseInventoryReply(reply.data(), n, &extra, &ids, &result));
  }
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ids, (std::vector<std::string>{"E004010012345678", "123456789ABC"}));

  reply = D6Reply(0xFE, {0x06});
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(ids.empty());
  reply = D6Reply(0xFE, {0x05});
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_EQ(result, 5);
  EXPECT_TRUE(extra);
}

TEST(InventoryReplies, ACountThatPromisesMoreTagsThanArrivedListsNone) {
  Bytes reply = D6Reply(0xFE, {0x00, 0x00, 0x00, 0x03,
                               0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78});
  bool extra = true;
  std::vector<std::string> ids;
  ToolResult result = 0;
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
  EXPECT_TRUE(ids.empty());
}

TEST(InventoryReplies, D5VariantsEntrySpacingAndSwitching) {
  bool extra = true;
  std::vector<std::string> ids;
  ToolResult result = 1234;
  // With the extra byte: flags, extra, status, count, entries 4 bytes apart.
  Bytes reply = D5Reply(0xFE, {0x00, 0x00, 0x00, 0x02, 0x12, 0x34, 0x56, 0x78, 0x00, 0x0A, 0xBC, 0xDE});
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ids, (std::vector<std::string>{"12345678", "ABCDE"}));
  EXPECT_TRUE(extra);

  // Refusal with status 5 flips the variant, and a second one flips it back.
  reply = D5Reply(0xFE, {0x01, 0x00, 0x05});
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(ids.empty());
  EXPECT_FALSE(extra);
  reply = D5Reply(0xFE, {0x01, 0x05});
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_TRUE(extra);
  // A reader without the extra byte refuses in its own layout (flags, status): the status is
  // missing where this variant looks for it, and the variant still flips.
  reply = D5Reply(0xFE, {0x01, 0x05});
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(extra);
  extra = true;
  // No tag (status 6) keeps the variant.
  reply = D5Reply(0xFE, {0x01, 0x00, 0x06});
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_TRUE(extra);

  // Without the extra byte: flags, status, count, entries 10 bytes apart.
  extra = false;
  reply = D5Reply(0xFE, {0x00, 0x00, 0x02,
                         0x11, 0x22, 0x33, 0x44, 9, 9, 9, 9, 9, 9,
                         0xAA, 0xBB, 0xCC, 0xDD, 9, 9, 9, 9, 9, 9});
  ASSERT_TRUE(ParseInventoryReply(reply.data(), reply.size(), &extra, &ids, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ids, (std::vector<std::string>{"11223344", "AABBCCDD"}));
}

TEST(BlockReadReplies, BlockTextOtherTagsAndStatuses) {
  std::string block = "stale";
  ToolResult result = 1234;
  Bytes reply = D6Reply(0x02, {0x00, 0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78,
                               0x01, 0x02, 0x03, 0x00, 0x0B, 0xCD, 0xEF});
  ASSERT_TRUE(ParseBlockReadReply(reply.data(), reply.size(), true, "e004010012345678", &block, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(block, "000BCDEF");

  ASSERT_TRUE(ParseBlockReadReply(reply.data(), reply.size(), true, "E0040100ABCDEF01", &block, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
  EXPECT_EQ(block, "");

  reply = D6Reply(0x02, {0x03});
  ASSERT_TRUE(ParseBlockReadReply(reply.data(), reply.size(), true, "E004010012345678", &block, &result));
  EXPECT_EQ(result, 3);

  // D5 with the extra byte, status present because bit 0 of the flags is set.
  reply = D5Reply(0x02, {0x01, 0x00, 0x12, 0x34, 0x56, 0x78, 0x0F});
  ASSERT_TRUE(ParseBlockReadReply(reply.data(), reply.size(), true, "12345678", &block, &result));
  EXPECT_EQ(result, 0x0F);
  // D5 without the extra byte, flags clear: no status byte.
  reply = D5Reply(0x02, {0x00, 0x12, 0x34, 0x56, 0x78, 0xAA, 0xAA, 0xAA, 0xDE, 0xAD, 0xBE, 0xEF});
  ASSERT_TRUE(ParseBlockReadReply(reply.data(), reply.size(), false, "12345678", &block, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(block, "DEADBEEF");
  // The same reply read as the other variant misplaces the identifier.
  ASSERT_TRUE(ParseBlockReadReply(reply.data(), reply.size(), true, "12345678", &block, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);

  // Right tag, but the block is cut off.
  reply = D6Reply(0x02, {0x00, 0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78, 0x01, 0x02});
  ASSERT_TRUE(ParseBlockReadReply(reply.data(), reply.size(), true, "E004010012345678", &block, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
}

TEST(ToolReplyParsers, AnEchoOfAnotherCommandIsUnexpectedForEveryParser) {
  Bytes reply = D6Reply(0x99, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0x00, 0x00, 0x00, 0x00, 0x00});
  ToolResult result = 0;
  std::uint8_t byte = 0;
  bool extra = true;
  std::vector<std::string> ids;
  std::string block;
  const std::uint8_t* b = reply.data();
  std::size_t n = reply.size();
  ASSERT_TRUE(ParseInventoryReply(b, n, &extra, &ids, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
  result = 0;
  ASSERT_TRUE(ParseBlockReadReply(b, n, true, "0", &block, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
  result = 0;
  ASSERT_TRUE(ParseReadPortalAfiReply(b, n, &byte, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
  result = 0;
  ASSERT_TRUE(ParseReadSecurityMethodReply(b, n, &byte, &byte, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
  result = 0;
  ASSERT_TRUE(ParseReadTransmitModeReply(b, n, &byte, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
  result = 0;
  ASSERT_TRUE(ParseReadRfPowerLevelReply(b, n, &byte, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
  result = 0;
  ASSERT_TRUE(ParseWriteRfPowerLevelReply(b, n, &result));
  EXPECT_EQ(result, kToolUnexpectedReply);
}

}  // namespace
}  // namespace flashwright
