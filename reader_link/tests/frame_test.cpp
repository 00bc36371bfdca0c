// Frames, checksum and the reply scanners, on byte buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "reader_link/reader_link.h"

namespace flashwright {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t start, const Bytes& payload) {
  Bytes frame(payload.size() + 5);
  std::memcpy(frame.data() + 3, payload.data(), payload.size());
  const std::uint8_t* end =
      BuildFrame(start, static_cast<std::uint16_t>(payload.size() + 2), frame.data());
  EXPECT_EQ(end, frame.data() + frame.size());
  return frame;
}

TEST(FrameCrc16, CatalogueCheckValue) {
  const std::string digits = "123456789";
  EXPECT_EQ(FrameCrc16(reinterpret_cast<const std::uint8_t*>(digits.data()), 9), 0xD64E);
  EXPECT_EQ(FrameCrc16(nullptr, 0), 0x0000);  // 0xFFFF complemented
}

// Every request frame the reader protocol documents, rebuilt from its payload.
TEST(BuildFrame, DocumentedRequestsAreByteExact) {
  const std::vector<Bytes> documented = {
      {0xD5, 0x00, 0x05, 0x04, 0x00, 0x11, 0x8C, 0x66},                          // version
      {0xD6, 0x00, 0x08, 0x13, 0x02, 0x06, 0x00, 0x0A, 0x00, 0x05, 0xD9},        // hardware
      {0xD6, 0x00, 0x04, 0x32, 0x03, 0xF4, 0x6B},                                // reset 3
      {0xD6, 0x00, 0x03, 0x3E, 0xB1, 0xAD},                                      // power level
      {0xD6, 0x00, 0x03, 0x12, 0x54, 0x43},                                      // power range
      {0xD5, 0x00, 0x07, 0x04, 0x00, 0x3C, 0x08, 0x00, 0x76, 0x1B},              // download
      {0xD6, 0x00, 0x05, 0xFE, 0x00, 0x05, 0xFA, 0x40},                          // inventory D6
      {0xD5, 0x00, 0x09, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x00, 0x05, 0xC6, 0x5D},  // D5 extra
      {0xD5, 0x00, 0x08, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x05, 0xFE, 0x3E},        // D5 plain
      {0xD6, 0x00, 0x0D, 0x02, 0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00, 0x01,
       0x31, 0x50},  // block read D6
      {0xD5, 0x00, 0x0D, 0x03, 0x00, 0x02, 0x04, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00, 0x01,
       0x54, 0x0C},  // block read D5 extra
      {0xD5, 0x00, 0x0C, 0x03, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78, 0x00, 0x01, 0x50,
       0x66},  // block read D5 plain
      {0xD6, 0x00, 0x03, 0x41, 0x3E, 0xD5},                    // read AFI
      {0xD6, 0x00, 0x04, 0x40, 0xDA, 0xC0, 0x04},              // write AFI DA
      {0xD6, 0x00, 0x03, 0x43, 0x1E, 0x97},                    // read security
      {0xD6, 0x00, 0x05, 0x42, 0x09, 0xDA, 0xF1, 0xD4},        // AFI with DA
      {0xD6, 0x00, 0x05, 0x42, 0x0C, 0x01, 0x74, 0x37},        // EAS 01
      {0xD6, 0x00, 0x05, 0x42, 0x11, 0x00, 0x11, 0x39},        // None
      {0xD6, 0x00, 0x05, 0x36, 0x01, 0xFF, 0x08, 0x72},        // read transmit mode
      {0xD6, 0x00, 0x05, 0x36, 0x01, 0x01, 0x06, 0xA3},        // transmit mode 1
      {0xD6, 0x00, 0x05, 0x36, 0x01, 0x00, 0x16, 0x82},        // transmit mode 0
      {0xD6, 0x00, 0x04, 0x3A, 0x01, 0x5D, 0x80},              // 1 Watt
      {0xD6, 0x00, 0x04, 0x3A, 0x0A, 0xEC, 0xEB},              // 100 mW
  };
  for (const Bytes& expected : documented) {
    const Bytes payload(expected.begin() + 3, expected.end() - 2);
    EXPECT_EQ(Frame(expected[0], payload), expected) << "payload starts " << int{payload[0]};
  }
}

TEST(CheckFrame, CompletenessAndCrc) {
  const Bytes good = Frame(kStartD6, {0x3E, 0x00, 0x01});
  EXPECT_EQ(CheckFrame(good.data(), 2).size, 0u);
  EXPECT_EQ(CheckFrame(good.data(), good.size() - 1).size, 0u);
  FrameCheck check = CheckFrame(good.data(), good.size());
  EXPECT_EQ(check.size, good.size());
  EXPECT_TRUE(check.crc_ok);

  Bytes bad = good;
  bad.back() ^= 0x01;
  check = CheckFrame(bad.data(), bad.size());
  EXPECT_EQ(check.size, bad.size());
  EXPECT_FALSE(check.crc_ok);
}

Bytes VersionReply(std::uint32_t version) {
  return Frame(kStartD5, {0x04, 0x00, 0x11, static_cast<std::uint8_t>(version >> 24),
                          static_cast<std::uint8_t>(version >> 16),
                          static_cast<std::uint8_t>(version >> 8),
                          static_cast<std::uint8_t>(version)});
}

TEST(ReplyScanner, GarbageWithoutStartByteIsConsumedWhole) {
  const Bytes garbage = {0x00, 0x13, 0x99, 0xD6, 0xA5, 0x11};
  ReplyResult result;
  EXPECT_EQ(ScanVersionReply(garbage.data(), garbage.size(), &result), garbage.size());
  EXPECT_EQ(result.received, 0);
}

TEST(ReplyScanner, IncompleteFrameKeepsStartAndLength) {
  const Bytes prefix = {0x01, 0x02, 0xD5, 0x00};
  ReplyResult result;
  EXPECT_EQ(ScanVersionReply(prefix.data(), prefix.size(), &result), 2u);
  EXPECT_EQ(result.received, 0);
}

TEST(ReplyScanner, FrameFoundAfterGarbageAndAcrossSplits) {
  Bytes stream = {0x00, 0x42};
  const Bytes reply = VersionReply(0x0A04F108);
  stream.insert(stream.end(), reply.begin(), reply.end());
  // Feed the stream in pieces as a receive loop would, dropping what the scanner consumes.
  Bytes buffer;
  ReplyResult result;
  for (std::size_t at = 0; at < stream.size() && result.received == 0; at += 3) {
    buffer.insert(buffer.end(), stream.begin() + at,
                  stream.begin() + std::min(stream.size(), at + 3));
    const std::size_t consumed = ScanVersionReply(buffer.data(), buffer.size(), &result);
    ASSERT_LE(consumed, buffer.size());
    buffer.erase(buffer.begin(), buffer.begin() + consumed);
  }
  EXPECT_EQ(result.received, 1);
  EXPECT_EQ(result.value, 0x0A04F108u);
}

TEST(ReplyScanner, BadCrcFrameIsConsumedAndIgnored) {
  Bytes reply = VersionReply(0x0A030000);
  reply[5] ^= 0x40;
  ReplyResult result;
  EXPECT_EQ(ScanVersionReply(reply.data(), reply.size(), &result), reply.size());
  EXPECT_EQ(result.received, 0);
}

TEST(ReplyScanner, ReplyToAnotherCommandIsConsumedAndIgnored) {
  const Bytes other = Frame(kStartD6, {0x12, 0x00, 0x01});
  ReplyResult result;
  EXPECT_EQ(ScanPowerLevelReply(other.data(), other.size(), &result), other.size());
  EXPECT_EQ(result.received, 0);
  EXPECT_EQ(ScanPowerRangeReply(other.data(), other.size(), &result), other.size());
  EXPECT_EQ(result.received, 1);
  EXPECT_EQ(result.value, 1u);
}

TEST(ReplyScanner, ShortVersionFrameIsNotTheVersion) {
  // Echo 0x11 but only 11 bytes in all: too short to carry a version.
  const Bytes short_reply = Frame(kStartD5, {0x04, 0x00, 0x11, 0x0A, 0x04, 0xF1});
  ReplyResult result;
  EXPECT_EQ(ScanVersionReply(short_reply.data(), short_reply.size(), &result),
            short_reply.size());
  EXPECT_EQ(result.received, 0);
}

TEST(ReplyScanner, StatusRepliesTakeValueOnlyOnSuccess) {
  const Bytes refused = Frame(kStartD6, {0x3E, 0x05, 0x04});
  ReplyResult result;
  ScanPowerLevelReply(refused.data(), refused.size(), &result);
  EXPECT_EQ(result.received, 1);
  EXPECT_EQ(result.status, 5);
  EXPECT_EQ(result.value, 0u);

  // The shortest D6 reply still yields a status, read inside the frame.
  const Bytes echo_only = Frame(kStartD6, {0x32});
  ScanResetConfigurationReply(echo_only.data(), echo_only.size(), &result);
  EXPECT_EQ(result.received, 1);
}

TEST(HardwareQueryScanner, ItemsGiveBootloaderCapabilityAndPlatform) {
  const Bytes reply =
      Frame(kStartD6, {0x13, 0x00, 0x02, 0x06, 0x03, 0x02, 0x03, 0x1F, 0x0A, 0x01, 0x01});
  ReplyResult result;
  ScanHardwareQueryReply(reply.data(), reply.size(), &result);
  EXPECT_EQ(result.received, 1);
  EXPECT_EQ(result.value, 0x02031F01u);
}

TEST(HardwareQueryScanner, FfFfBootloaderMeansOnePointZero) {
  const Bytes reply = Frame(kStartD6, {0x13, 0x00, 0x01, 0x06, 0x02, 0xFF, 0xFF});
  ReplyResult result;
  ScanHardwareQueryReply(reply.data(), reply.size(), &result);
  EXPECT_EQ(result.value >> 16, 0x0100u);
}

TEST(HardwareQueryScanner, ItemsRunningIntoTheCrcAreNotRead) {
  // Item 6 claims 9 value bytes: it would end past the CRC, so the defaults stand.
  const Bytes reply = Frame(kStartD6, {0x13, 0x00, 0x03, 0x0A, 0x01, 0x01, 0x06, 0x09, 0x02});
  ReplyResult result;
  ScanHardwareQueryReply(reply.data(), reply.size(), &result);
  EXPECT_EQ(result.received, 1);
  EXPECT_EQ(result.value, 0xFFFF0001u);

  const Bytes refused = Frame(kStartD6, {0x13, 0x05, 0x01, 0x06, 0x02, 0x02, 0x00});
  ScanHardwareQueryReply(refused.data(), refused.size(), &result);
  EXPECT_EQ(result.status, 5);
  EXPECT_EQ(result.value, 0xFFFF0000u);
}

TEST(DownloadAckScanner, StatusAndNonAcknowledgements) {
  ReplyResult result;
  const Bytes ok = {0x13, 0xA5, 0x00, 0x02, 0xA2, 0x00};
  EXPECT_EQ(ScanDownloadAck(ok.data(), ok.size(), &result), 6u);
  EXPECT_EQ(result.received, 1);
  EXPECT_EQ(result.value, 0u);

  result = {};
  const Bytes other = {0xA5, 0x11, 0x22, 0x33, 0x44};
  EXPECT_EQ(ScanDownloadAck(other.data(), other.size(), &result), 5u);
  EXPECT_EQ(result.received, 1);
  EXPECT_EQ(result.value, 0xFFu);

  result = {};
  const Bytes partial = {0x00, 0xA5, 0x00, 0x02};
  EXPECT_EQ(ScanDownloadAck(partial.data(), partial.size(), &result), 1u);
  EXPECT_EQ(result.received, 0);
}

TEST(RecordFrame, LayoutOfOneRecord) {
  const std::uint8_t data[] = {0x0C, 0xEF, 0x00, 0xF0};
  std::uint8_t frame[16];
  ASSERT_EQ(BuildRecordFrame(4, 0x1234, 0x00, data, 0xAB, frame), 12u);
  const Bytes expected = {0xD5, 0x00, 0x09, 0x04, 0x12, 0x34, 0x00,
                          0x0C, 0xEF, 0x00, 0xF0, 0xAB};
  EXPECT_EQ(Bytes(frame, frame + 12), expected);
}

TEST(ReaderInfoTexts, VersionBootloaderPlatformAndPower) {
  EXPECT_EQ(VersionText(0x0A04F108), "4.241.8");
  EXPECT_EQ(ReaderVersionText(0x0A020105, 0xFFFF, 0x00),
            "2.1.5\r\nBootloader:unknown\r\nPlatform:520/530");
  EXPECT_EQ(ReaderVersionText(0x0A04F108, 0x0203, 0x21),
            "4.241.8*\r\nBootloader:2.03\r\nPlatform:Desklet");
  EXPECT_EQ(ReaderVersionText(0x0A04F108, 0x0100, 0x40),
            "4.241.8\r\nBootloader:1.00\r\nPlatform:unknown");
  EXPECT_EQ(PowerTextFor(1, 1), "1W");
  EXPECT_EQ(PowerTextFor(2, 2), "200mW");
  EXPECT_EQ(PowerTextFor(1, 4), "400mW");
  EXPECT_EQ(PowerTextFor(1, 10), "100mW");
  EXPECT_EQ(PowerTextFor(1, 3), "(L 3)");
  EXPECT_EQ(PowerTextFor(4, 0), "4W");
  EXPECT_EQ(PowerTextFor(10, 0), "10W");
  EXPECT_EQ(PowerTextFor(7, 0), "(R 7)");
}

TEST(ResultCodes, ReaderStatusesMapBelowStatusBase) {
  EXPECT_EQ(StatusError(1), -33);
  EXPECT_EQ(StatusError(255), -287);
  EXPECT_TRUE(IsReaderRefusal(-33));
  EXPECT_FALSE(IsReaderRefusal(kLinkTimeout));
}

TEST(ResultCodes, EveryCodeHasItsOwnName) {
  EXPECT_EQ(LinkErrorName(0), "success (0)");
  EXPECT_EQ(LinkErrorName(kLinkTimeout), "link timeout (-5)");
  EXPECT_EQ(LinkErrorName(kLinkPortAlreadyOpen), "link port already open (-6)");
  EXPECT_EQ(LinkErrorName(StatusError(3)), "reader status 3 (-35)");
  EXPECT_EQ(LinkErrorName(13), "system error 13");
  EXPECT_EQ(LinkErrorName(-20), "link code (-20)");
  // Each negative code of the link is told apart from the others.
  std::set<std::string> names;
  for (LinkError code = kLinkVariantMismatch; code <= kLinkEndOfData; ++code) {
    names.insert(LinkErrorName(code));
  }
  EXPECT_EQ(names.size(), 11u);
  EXPECT_EQ(names.count("link code (-20)"), 0u);
}

}  // namespace
}  // namespace flashwright
