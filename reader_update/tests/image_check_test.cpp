// The image check: what the reader may be sent, from images built here and from images
// written by objcopy and srec_cat.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reader_update/download_engine.h"
#include "reader_update/tests/hex_text.h"

namespace flashwright {
namespace {

using test::DataRecord;
using test::EndRecord;
using test::ExtendedAddressRecord;
using test::Filler;
using test::HeaderData;
using test::HexRecord;
using test::MemoryImage;

constexpr std::uint16_t kNewBootloader = 0x0203;
constexpr std::uint16_t kOlderBootloader = 0x01FF;

struct Report {
  std::uint32_t consumed, total, line;
  bool last;
};
std::vector<Report> g_reports;
void Capture(const ProgressContext*, std::uint32_t consumed, std::uint32_t total,
             std::uint32_t line, bool last) {
  g_reports.push_back({consumed, total, line, last});
}

PassResult Check(const std::string& text, const std::uint16_t* bootloader,
                 const std::uint8_t* flags) {
  MemoryImage image;
  image.text = text;
  g_reports.clear();
  return CheckFirmwareImage(bootloader, flags, &image, image.size(), MemoryImage::Read, Capture,
                            nullptr);
}

PassResult Check(const std::string& text, std::uint16_t bootloader, std::uint8_t flags) {
  return Check(text, &bootloader, &flags);
}

void ExpectPass(const PassResult& pass, LinkError result, std::int32_t phase,
                std::uint32_t line, const char* what) {
  EXPECT_EQ(pass.result, result) << what;
  EXPECT_EQ(pass.phase, phase) << what;
  EXPECT_EQ(pass.line, line) << what;
}

std::string ImageWithHeader(std::uint8_t image_class, std::uint8_t platform) {
  return DataRecord(0, HeaderData(image_class, platform)) + Filler(8, 3) + EndRecord();
}

TEST(ImageCheckTest, HeaderRecordRules) {
  const std::uint8_t capable = 0x01;  // platform 0, capability bit 0
  ExpectPass(Check(ImageWithHeader(1, 0), kNewBootloader, capable), 0, kPhaseSend, 5, "class 1");
  ExpectPass(Check(ImageWithHeader(3, 0), kNewBootloader, 0x00), 0, kPhaseSend, 5, "class 3");
  ExpectPass(Check(ImageWithHeader(2, 0), kNewBootloader, capable), kLinkBadFile, kPhaseSend, 1,
             "class 2 is never loaded");
  ExpectPass(Check(ImageWithHeader(0, 0), kNewBootloader, capable), 0, kPhaseSend, 5,
             "class 0 with capability");
  ExpectPass(Check(ImageWithHeader(0, 0), kNewBootloader, 0x00), kLinkBadFile, kPhaseSend, 1,
             "class 0 without capability");
  ExpectPass(Check(ImageWithHeader(0, 0), nullptr, nullptr), kLinkBadFile, kPhaseSend, 1,
             "class 0 in recover mode (no flags)");

  const std::string five = Filler(0x100, 2) + DataRecord(0, {0x0C, 0xEF, 0x00, 0xF0, 0x01}) +
                           EndRecord();
  ExpectPass(Check(five, kNewBootloader, capable), kLinkBadFile, kPhaseSend, 3,
             "header of 5 bytes, at its own line");
  const std::string six = DataRecord(0, {0x0C, 0xEF, 0x00, 0xF0, 0x01, 0x02}) + EndRecord();
  ExpectPass(Check(six, kNewBootloader, 0x01), 0, kPhaseSend, 2, "6 bytes: platform 0");
  ExpectPass(Check(six, kNewBootloader, 0x21), kLinkVariantMismatch, kPhaseSend, 1,
             "6 bytes on a platform 1 reader");
}

TEST(ImageCheckTest, PlatformMustMatchTheReaders) {
  // Flags bits 5-7 carry the reader's platform, descriptor bits 3-5 the image's.
  ExpectPass(Check(ImageWithHeader(1, 1), kNewBootloader, 0x21), 0, kPhaseSend, 5, "1 on 1");
  ExpectPass(Check(ImageWithHeader(1, 1), kNewBootloader, 0x01), kLinkVariantMismatch, kPhaseSend,
             1, "1 on 0");
  ExpectPass(Check(ImageWithHeader(1, 0), kNewBootloader, 0xE1), kLinkVariantMismatch, kPhaseSend,
             1, "0 on 7");
  ExpectPass(Check(ImageWithHeader(1, 5), nullptr, nullptr), 0, kPhaseSend, 5,
             "no flags: no platform check");
}

TEST(ImageCheckTest, OlderBootloaderTakesOnlyItsAddressRange) {
  const std::string header = DataRecord(0, HeaderData(1, 0));
  const std::vector<std::uint8_t> eight(8, 0x55);
  ExpectPass(Check(header + DataRecord(0x7C10, eight) + EndRecord(), kOlderBootloader, 1), 0,
             kPhaseSend, 3, "0x7C10 + 8 ends at the limit");
  ExpectPass(Check(header + DataRecord(0x7C18, eight) + EndRecord(), kOlderBootloader, 1),
             kLinkBadFile, kPhaseSend, 2, "0x7C18 + 8 passes the limit");
  ExpectPass(Check(header + DataRecord(0x0004, {1, 2, 3, 4}) + EndRecord(), kOlderBootloader,
                   1),
             kLinkBadFile, kPhaseSend, 2, "0x0004 is not a multiple of 8");
  ExpectPass(Check(header + ExtendedAddressRecord(0) + EndRecord(), kOlderBootloader, 1),
             kLinkBadFile, kPhaseSend, 2, "no extended address records");
  ExpectPass(Check(header + DataRecord(0x7C18, eight) + EndRecord(), 0xFFFF, 1), kLinkBadFile,
             kPhaseSend, 2, "an unknown bootloader counts as older");
  ExpectPass(Check(header + DataRecord(0x7C18, eight) + EndRecord(), kNewBootloader, 1), 0,
             kPhaseSend, 3, "a new bootloader takes it");
  ExpectPass(Check(header + DataRecord(0x7C18, eight) + EndRecord(), nullptr, nullptr), 0,
             kPhaseSend, 3, "recover mode does not know the bootloader");

  // The header must start the image: 0C EF 00 F0, or 00 F0 and then those.
  ExpectPass(Check(DataRecord(0, {0x00, 0xF0, 0x0C, 0xEF, 0x00, 0xF0, 0x40, 0x00}) +
                       EndRecord(),
                   kOlderBootloader, 1),
             0, kPhaseSend, 2, "leading 00 F0 skipped");
  ExpectPass(Check(DataRecord(0, {0x0C, 0xEE, 0x00, 0xF0, 0x00, 0x00, 0x40, 0x00}) +
                       EndRecord(),
                   kOlderBootloader, 1),
             kLinkBadFile, kPhaseSend, 1, "wrong start bytes");
  ExpectPass(Check(DataRecord(0, {0x0C, 0xEE, 0x00, 0xF0, 0x00, 0x00, 0x40, 0x00}) +
                       EndRecord(),
                   kNewBootloader, 1),
             0, kPhaseSend, 2, "start bytes matter to older bootloaders only");

  // Class 0 lifts the restriction for the records that follow.
  ExpectPass(Check(DataRecord(0, HeaderData(0, 0)) + DataRecord(0x7C18, eight) +
                       DataRecord(0x0004, {1}) + EndRecord(),
                   kOlderBootloader, 1),
             0, kPhaseSend, 4, "class 0 image");
}

TEST(ImageCheckTest, RecordTypesAndExtendedAddresses) {
  const std::string header = DataRecord(0, HeaderData(1, 0));
  ExpectPass(Check(header + HexRecord(0, 2, {0x10, 0x00}) + EndRecord(), kNewBootloader, 1),
             kLinkBadFile, kPhaseSend, 2, "segment address record");
  ExpectPass(Check(header + HexRecord(0, 5, {0, 0, 0, 0}) + EndRecord(), kNewBootloader, 1),
             kLinkBadFile, kPhaseSend, 2, "start address record");
  ExpectPass(Check(header + HexRecord(0, 4, {0x01}) + EndRecord(), kNewBootloader, 1), kLinkBadFile,
             kPhaseSend, 2, "extended address record with one byte");
  // Above 64 KiB nothing is checked, not even a header-like record at address 0; back at the
  // bottom the header rules apply again.
  ExpectPass(Check(header + ExtendedAddressRecord(1) + DataRecord(0, {1, 2, 3}) +
                       DataRecord(3, {4}) + ExtendedAddressRecord(0) + DataRecord(0, {1, 2, 3}) +
                       EndRecord(),
                   kNewBootloader, 1),
             kLinkBadFile, kPhaseSend, 6, "upper region skipped, lower checked");
}

TEST(ImageCheckTest, FileRules) {
  const std::string image = ImageWithHeader(1, 0);
  ExpectPass(Check(image.substr(0, image.rfind(':')), kNewBootloader, 1), kLinkEndOfData, kPhaseRead,
             5, "no end-of-file record: fails after the last record");
  ExpectPass(Check("", kNewBootloader, 1), kLinkEndOfData, kPhaseRead, 1, "empty file");
  std::string lower = image;
  lower[lower.find("0CEF")] = 'c';
  ExpectPass(Check(lower, kNewBootloader, 1), kLinkBadFile, kPhaseRead, 1, "lower-case hex");
  ExpectPass(Check("Reader firmware 4.241.8\r\n\r\n" + image, kNewBootloader, 1), 0, kPhaseSend,
             5, "text before the first record");
  ExpectPass(Check(image + ":zz this is not read\r\n" + std::string(5000, '\xFF'),
                   kNewBootloader, 1),
             0, kPhaseSend, 5, "junk after the end-of-file record");
}

TEST(ImageCheckTest, NothingAfterTheEndOfFileRecordIsRead) {
  MemoryImage image;
  image.text = ImageWithHeader(1, 0);
  const std::size_t end = image.text.size();
  image.text += std::string(4096, 'Z');
  // A small buffer, so that reading stops at the chunk that holds the end-of-file record.
  static std::size_t limit = 64;
  limit = 64;
  const SourceAllocator small{[](std::size_t size) -> void* {
                                return size <= limit ? std::malloc(size) : nullptr;
                              },
                              [](void* block) { std::free(block); }};
  SetSourceAllocatorForTesting(&small);
  const std::uint16_t bootloader = kNewBootloader;
  const std::uint8_t flags = 1;
  const PassResult pass = CheckFirmwareImage(&bootloader, &flags, &image, image.size(),
                                             MemoryImage::Read, nullptr, nullptr);
  SetSourceAllocatorForTesting(nullptr);
  EXPECT_EQ(pass.result, 0);
  EXPECT_LE(image.highest_offset_read, end + 64);
}

TEST(ImageCheckTest, ProgressAtTheStartEverySixteenthLineAndTheEnd) {
  std::string text = DataRecord(0, HeaderData(1, 0)) + Filler(8, 40) + EndRecord();
  const PassResult pass = Check(text, kNewBootloader, 1);
  ExpectPass(pass, 0, kPhaseSend, 42, "42 records");
  ASSERT_EQ(g_reports.size(), 5u);
  const std::uint32_t total = static_cast<std::uint32_t>(text.size());
  EXPECT_EQ(g_reports[0].consumed, 0u);
  EXPECT_EQ(g_reports[0].line, 0u);
  EXPECT_FALSE(g_reports[0].last);
  EXPECT_EQ(g_reports[1].line, 8u);
  EXPECT_EQ(g_reports[2].line, 24u);
  EXPECT_EQ(g_reports[3].line, 40u);
  EXPECT_EQ(g_reports[4].line, 42u);
  EXPECT_TRUE(g_reports[4].last);
  EXPECT_EQ(g_reports[4].consumed, total - 2);  // all but the final line end
  for (const Report& report : g_reports) EXPECT_EQ(report.total, total);
  EXPECT_LT(g_reports[1].consumed, g_reports[2].consumed);
}

TEST(ImageCheckTest, NoMemoryEndsTheCheckAtOnce) {
  const SourceAllocator none{[](std::size_t) -> void* { return nullptr; },
                             [](void* block) { std::free(block); }};
  SetSourceAllocatorForTesting(&none);
  const PassResult pass = Check(ImageWithHeader(1, 0), kNewBootloader, 1);
  SetSourceAllocatorForTesting(nullptr);
  ExpectPass(pass, kLinkNoMemory, kPhaseRead, 0, "no memory");
}

// Images written by real tools, read from their files.
PassResult CheckFile(const char* name, std::uint16_t bootloader, std::uint8_t flags) {
  const std::string path = std::string(FW_FIXTURE_DIR) + "/" + name;
  ImageFile file;
  EXPECT_EQ(file.Open(path.c_str()), 0) << path;
  if (!file.IsOpen()) return {-1000, -1, 0};
  return CheckFirmwareImage(&bootloader, &flags, &file, file.Size(), ReadImageFile, nullptr,
                            nullptr);
}

TEST(ImageCheckTest, ToolWrittenImages) {
  // 512 bytes: 32 records of 16 bytes and the end-of-file record; srec_cat adds a leading
  // extended linear address record.
  ExpectPass(CheckFile("objcopy_image.hex", kNewBootloader, 1), 0, kPhaseSend, 33, "objcopy");
  ExpectPass(CheckFile("objcopy_image.hex", kOlderBootloader, 1), 0, kPhaseSend, 33,
             "objcopy, older bootloader");
  ExpectPass(CheckFile("srec_image.hex", kNewBootloader, 1), 0, kPhaseSend, 34, "srec_cat");
  ExpectPass(CheckFile("srec_image.hex", kOlderBootloader, 1), kLinkBadFile, kPhaseSend, 1,
             "srec_cat's address record is refused by an older bootloader");
  ExpectPass(CheckFile("srec_extended.hex", kNewBootloader, 1), 0, kPhaseSend, 67,
             "srec_cat, two regions");
  ExpectPass(CheckFile("objcopy_extended.hex", kNewBootloader, 1), 0, kPhaseSend, 34,
             "objcopy above 1 MiB");
  ExpectPass(CheckFile("objcopy_segmented.hex", kNewBootloader, 1), kLinkBadFile, kPhaseSend, 1,
             "objcopy segment addresses");
  ExpectPass(CheckFile("objcopy_image.hex", kNewBootloader, 0x21), kLinkVariantMismatch, kPhaseSend,
             1, "objcopy image on the other platform");
}

TEST(ImageCheckTest, ImageFileRules) {
  ImageFile file;
  EXPECT_EQ(file.Open((std::string(FW_FIXTURE_DIR) + "/no_such_image.hex").c_str()),
            kErrorFileNotFound);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_NE(file.Open(FW_FIXTURE_DIR), 0);  // a folder is not an image
  EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace flashwright
