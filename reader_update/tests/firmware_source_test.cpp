#include "reader_update/firmware_source.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reader_update/tests/hex_text.h"

namespace flashwright {
namespace {

using test::DataRecord;
using test::EndRecord;
using test::MemoryImage;

// An allocator that refuses blocks larger than a limit, counting what was asked for.
std::size_t g_allocation_limit = 0;
std::vector<std::size_t> g_requested;
void* LimitedAllocate(std::size_t size) {
  g_requested.push_back(size);
  return size <= g_allocation_limit ? std::malloc(size) : nullptr;
}
void Release(void* block) { std::free(block); }
const SourceAllocator kLimited{LimitedAllocate, Release};

std::unique_ptr<FirmwareSource> MakeSource(MemoryImage* image, std::size_t limit,
                                           LinkError* error) {
  g_allocation_limit = limit;
  g_requested.clear();
  std::unique_ptr<FirmwareSource> source;
  *error = FirmwareSource::Create(image->size(), image, MemoryImage::Read, nullptr, &source,
                                  &kLimited);
  return source;
}

TEST(FirmwareSourceTest, HalvesTheBufferUntilItCanBeHadAndReadsInChunks) {
  MemoryImage image;
  for (int i = 0; i < 20; ++i) {
    image.text += DataRecord(static_cast<std::uint16_t>(i * 4),
                             {std::uint8_t(i), 0xAB, 0xCD, std::uint8_t(0xF0 + i % 16)});
  }
  image.text += EndRecord();
  LinkError error = 0;
  auto source = MakeSource(&image, 40, &error);
  ASSERT_EQ(error, 0);
  const std::uint32_t total = image.size();
  ASSERT_GE(g_requested.size(), 2u);
  EXPECT_EQ(g_requested.front(), total);
  for (std::size_t i = 1; i < g_requested.size(); ++i) {
    EXPECT_EQ(g_requested[i], g_requested[i - 1] / 2);
  }
  EXPECT_LE(source->Capacity(), 40u);
  EXPECT_GT(source->Capacity(), 20u);
  EXPECT_EQ(image.calls, 1);  // creation reads the first chunk

  FirmwareRecord record;
  std::size_t line_end = 0;
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(source->ReadRecord(&record), 0) << i;
    EXPECT_EQ(record.count, 4);
    EXPECT_EQ(record.address, i * 4);
    EXPECT_EQ(record.type, kRecordData);
    EXPECT_EQ(record.data[0], i);
    EXPECT_EQ(record.data[3], 0xF0 + i % 16);
    line_end = image.text.find("\r\n", line_end) + 2;
    EXPECT_EQ(source->BytesConsumed(), line_end - 2);  // the line end is read with the next
  }
  ASSERT_EQ(source->ReadRecord(&record), 0);
  EXPECT_EQ(record.type, kRecordEndOfFile);
  EXPECT_EQ(record.checksum, 0xFF);
  EXPECT_GT(image.calls, 3);
  std::uint8_t rest[2];
  EXPECT_EQ(source->ReadBytes(2, rest), 0);  // "\r\n"
  EXPECT_EQ(source->ReadBytes(1, rest), kLinkEndOfData);
  EXPECT_EQ(source->BytesConsumed(), total);
}

TEST(FirmwareSourceTest, NoMemoryWhenNotEvenOneByteCanBeHad) {
  MemoryImage image;
  image.text = EndRecord();
  LinkError error = 0;
  auto source = MakeSource(&image, 0, &error);
  EXPECT_EQ(error, kLinkNoMemory);
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(image.calls, 0);
  EXPECT_EQ(g_requested.back(), 1u);

  // The process-wide allocator applies to sources created without one.
  g_allocation_limit = 0;
  SetSourceAllocatorForTesting(&kLimited);
  std::unique_ptr<FirmwareSource> made;
  EXPECT_EQ(FirmwareSource::Create(image.size(), &image, MemoryImage::Read, nullptr, &made),
            kLinkNoMemory);
  SetSourceAllocatorForTesting(nullptr);
  EXPECT_EQ(FirmwareSource::Create(image.size(), &image, MemoryImage::Read, nullptr, &made), 0);
}

TEST(FirmwareSourceTest, ReadFunctionErrorsAreReturned) {
  MemoryImage image;
  image.text = DataRecord(0, {1, 2, 3, 4, 5, 6, 7, 8}) + EndRecord();
  image.fail_on_call = 1;
  image.failure = 13;
  LinkError error = 0;
  auto source = MakeSource(&image, 1 << 20, &error);
  EXPECT_EQ(error, 13);
  EXPECT_EQ(source, nullptr);

  image.calls = 0;
  image.fail_on_call = 2;
  source = MakeSource(&image, 16, &error);  // chunks of at most 16 bytes
  ASSERT_EQ(error, 0);
  FirmwareRecord record;
  EXPECT_EQ(source->ReadRecord(&record), 13);
}

struct RecordCase {
  const char* name;
  std::string text;
  LinkError first_result;
};

TEST(FirmwareSourceTest, RecordRules) {
  const RecordCase cases[] = {
      {"lower-case digits", ":0400000001020a0bE3\r\n", kLinkBadFile},
      {"letter past F", ":04000000010G0A0BE3\r\n", kLinkBadFile},
      {"empty file", "", kLinkEndOfData},
      {"no record at all", "just a comment line\r\n", kLinkEndOfData},
      {"cut inside a record", ":1000000001020304", kLinkEndOfData},
      {"record longer than its line", ":10000000AABB\r\n:00000001FF\r\n", kLinkBadFile},
      {"comment before the first record", "; built 2024\r\n:00000001FF\r\n", 0},
      {"anything between records", "x:00000001FF", 0},
  };
  for (const RecordCase& c : cases) {
    MemoryImage image;
    image.text = c.text;
    LinkError error = 0;
    auto source = MakeSource(&image, 1 << 20, &error);
    ASSERT_EQ(error, 0) << c.name;
    FirmwareRecord record;
    EXPECT_EQ(source->ReadRecord(&record), c.first_result) << c.name;
  }
}

TEST(FirmwareSourceTest, LargestCountFillsTheRecordBuffer) {
  std::vector<std::uint8_t> data(255);
  for (int i = 0; i < 255; ++i) data[i] = static_cast<std::uint8_t>(255 - i);
  MemoryImage image;
  image.text = test::HexRecord(0xFFF0, kRecordData, data);
  LinkError error = 0;
  auto source = MakeSource(&image, 1 << 20, &error);
  ASSERT_EQ(error, 0);
  FirmwareRecord record;
  ASSERT_EQ(source->ReadRecord(&record), 0);
  EXPECT_EQ(record.count, 255);
  EXPECT_EQ(record.address, 0xFFF0);
  EXPECT_EQ(record.data[0], 255);
  EXPECT_EQ(record.data[254], 1);
}

TEST(FirmwareSourceTest, BinaryJunkEndsWithACodeNotACrash) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    MemoryImage image;
    image.text.resize(1 + random() % 3000);
    for (char& c : image.text) {
      const unsigned pick = random() % 8;
      c = pick == 0 ? ':' : pick < 3 ? "0123456789ABCDEF"[random() % 16] : char(random());
    }
    LinkError error = 0;
    auto source = MakeSource(&image, 1 + random() % 300, &error);
    ASSERT_EQ(error, 0);
    FirmwareRecord record;
    LinkError result = 0;
    int records = 0;
    while ((result = source->ReadRecord(&record)) == 0) ++records;
    EXPECT_TRUE(result == kLinkBadFile || result == kLinkEndOfData) << result;
    EXPECT_LE(source->BytesConsumed(), image.size());
    EXPECT_LE(image.highest_offset_read, image.size());
  }
}

// The tests' one Intel HEX writer, read back by the program's own parser: every field of every
// record arrives as written, and each record's bytes sum to zero with its checksum.
TEST(FirmwareSourceTest, TheTestsHexWriterRoundTripsThroughTheParser) {
  std::vector<test::HexLine> lines;
  lines.push_back({0x0000, test::kHexExtendedLinearAddress, {0x00, 0x01}});
  std::uint32_t seed = 12345;
  for (int r = 0; r < 40; ++r) {
    test::HexLine line;
    line.address = static_cast<std::uint16_t>(seed * 7919u);
    line.data.resize(static_cast<std::size_t>(r * 13 % 256));
    for (std::uint8_t& byte : line.data) {
      seed = seed * 1103515245u + 12345u;
      byte = static_cast<std::uint8_t>(seed >> 16);
    }
    lines.push_back(line);
  }
  lines.push_back({0x0000, test::kHexEndOfFile, {}});

  MemoryImage image;
  image.text = test::IntelHexText(lines);
  LinkError error = 0;
  auto source = MakeSource(&image, 1 << 20, &error);
  ASSERT_EQ(error, 0);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    FirmwareRecord record;
    ASSERT_EQ(source->ReadRecord(&record), 0) << i;
    EXPECT_EQ(record.count, lines[i].data.size()) << i;
    EXPECT_EQ(record.address, lines[i].address) << i;
    EXPECT_EQ(record.type, lines[i].type) << i;
    EXPECT_TRUE(std::equal(lines[i].data.begin(), lines[i].data.end(), record.data.begin())) << i;
    unsigned sum = record.count + (record.address >> 8) + (record.address & 0xFFu) + record.type +
                   record.checksum;
    for (std::size_t b = 0; b < record.count; ++b) sum += record.data[b];
    EXPECT_EQ(sum & 0xFFu, 0u) << i;
  }

  // A whole image as the harnesses write it: the end-of-file record without a line end.
  std::vector<std::uint8_t> bytes(70);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 3);
  image.text = test::IntelHexImage(bytes, 16, false);
  EXPECT_EQ(image.text.substr(image.text.size() - 11), ":00000001FF");
  source = MakeSource(&image, 1 << 20, &error);
  ASSERT_EQ(error, 0);
  std::vector<std::uint8_t> read;
  FirmwareRecord record;
  while (source->ReadRecord(&record) == 0 && record.type == test::kHexData) {
    EXPECT_EQ(record.address, read.size());
    read.insert(read.end(), record.data.begin(), record.data.begin() + record.count);
  }
  EXPECT_EQ(record.type, test::kHexEndOfFile);
  EXPECT_EQ(read, bytes);
}

}  // namespace
}  // namespace flashwright
