// USB firmware images on real files: the folder, names and listing, the header and product
// text, and product versions.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_folder.h"
#include "tools/test_support/test_support.h"
#include "usb_update/usb_image.h"

namespace flashwright {
namespace {

using test::TempDir;
using test::WriteFile;

std::string Utf16(const std::string& text) {
  std::string wide;
  for (char c : text) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  return wide;
}

// An image with first byte, IDs, filler, and optionally marker + 2 skipped bytes + text.
std::string Image(const std::string& tail = "") {
  return std::string("\xC2\x34\x12\x78\x56", 5) + std::string(27, '\x00') + tail;
}

class ImageFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = UsbFirmwareFolder();
    ASSERT_TRUE(SetUsbFirmwareFolder(dir_.path()));
  }
  void TearDown() override { SetUsbFirmwareFolder(saved_); }
  void Put(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteFile(dir_.Join(name + ".bin"), bytes));
  }

  TempDir dir_;
  std::string saved_;
};

TEST(UsbFirmwareFolderTest, StartsRelativeIsLimitedAndSitsBesideTheProgram) {
  EXPECT_EQ(UsbFirmwareFolder(), "./ezusb_fw");
  EXPECT_TRUE(SetUsbFirmwareFolderBeside("/opt/flashwright/bin"));
  EXPECT_EQ(UsbFirmwareFolder(), "/opt/flashwright/bin/ezusb_fw");
  EXPECT_TRUE(SetUsbFirmwareFolderBeside("/"));
  EXPECT_EQ(UsbFirmwareFolder(), "/ezusb_fw");
  EXPECT_TRUE(SetUsbFirmwareFolderBeside(""));
  EXPECT_EQ(UsbFirmwareFolder(), "./ezusb_fw");

  EXPECT_TRUE(SetUsbFirmwareFolder(std::string(259, 'f')));
  EXPECT_FALSE(SetUsbFirmwareFolder(std::string(260, 'g')));
  EXPECT_EQ(UsbFirmwareFolder(), std::string(259, 'f'));  // unchanged by the refusal

  ASSERT_TRUE(SetUsbFirmwareFolderBesideProgram());
  EXPECT_EQ(UsbFirmwareFolder(), platform::ProgramFolder() + "/ezusb_fw");
  EXPECT_TRUE(std::filesystem::exists(platform::ProgramFolder() + "/usb_image_test"));
  SetUsbFirmwareFolder("./ezusb_fw");
}

TEST(UsbFirmwareFolderTest, ImagePathsAreLimitedAndListedByName) {
  std::string path;
  ASSERT_TRUE(BuildUsbImagePath("/fw", "gate.1.2", &path));
  EXPECT_EQ(path, "/fw/gate.1.2.bin");
  const std::string folder = "/" + std::string(250, 'f');
  EXPECT_TRUE(BuildUsbImagePath(folder, "abc", &path));  // 259 characters
  EXPECT_FALSE(BuildUsbImagePath(folder, "abcd", &path));
  EXPECT_TRUE(path.empty());

  TempDir dir;
  for (const char* name : {"b.bin", "A.bin", "gate.1.2.bin", "x.BIN", "y.bin.bak", ".bin", "c.hex"}) {
    ASSERT_TRUE(WriteFile(dir.Join(name), "12345"));
  }
  std::filesystem::create_directory(dir.Join("folder.bin"));
  std::filesystem::create_symlink(dir.Join("b.bin"), dir.Join("link.bin"));
  EXPECT_EQ(ListUsbImages(dir.path()),
            (std::vector<std::string>{"A", "b", "gate.1.2", "link"}));
  EXPECT_TRUE(ListUsbImages(dir.Join("missing")).empty());
}

TEST_F(ImageFolder, ReadsFirstByteIdsAndProductText) {
  Put("plain", "\xC2\x34\x12\x78\x56");
  UsbImageInfo info;
  ASSERT_EQ(UsbReadImageFile("plain", &info), 0);
  EXPECT_EQ(info.first_byte, 0xC2);
  EXPECT_EQ(info.vendor_id, 0x1234);
  EXPECT_EQ(info.product_id, 0x5678);
  EXPECT_EQ(info.product_text, "");

  // The text: two bytes skipped after the marker, units with a high byte skipped, ends at NUL.
  Put("folio", Image(Utf16("Orvane Folio Systems") + "??" + Utf16("Gate ") +
                     std::string("\x41\x04", 2) + Utf16("1.2.3.4") + std::string(2, '\0') +
                     Utf16("tail")));
  ASSERT_EQ(UsbReadImageFile("folio", &info), 0);
  EXPECT_EQ(info.product_text, "Gate 1.2.3.4");

  // The first marker wins even when the second comes earlier in the file.
  Put("both", Image(Utf16("Orvane Folio Systems") + "??" + Utf16("second") + std::string(2, '\0') +
                    Utf16("Orvane Sentry Systems") + "??" + Utf16("first") +
                    std::string(2, '\0')));
  ASSERT_EQ(UsbReadImageFile("both", &info), 0);
  EXPECT_EQ(info.product_text, "first");

  // A text without terminator stops at the end of the file, an odd last byte is not read,
  // and the text is cut at 128 characters.
  Put("unterminated", Image(Utf16("Orvane Sentry Systems") + "??" + Utf16("abc") + "d"));
  ASSERT_EQ(UsbReadImageFile("unterminated", &info), 0);
  EXPECT_EQ(info.product_text, "abc");
  Put("long", Image(Utf16("Orvane Sentry Systems") + "??" + Utf16(std::string(300, 'x'))));
  ASSERT_EQ(UsbReadImageFile("long", &info), 0);
  EXPECT_EQ(info.product_text, std::string(128, 'x'));
}

TEST_F(ImageFolder, MarkerAtTheVeryEndAndGarbageText) {
  UsbImageInfo info;
  for (const std::string& tail : {std::string(""), std::string("?"), std::string("??"),
                                  std::string("???")}) {
    Put("end", Image(Utf16("Orvane Sentry Systems") + tail));
    ASSERT_EQ(UsbReadImageFile("end", &info), 0) << tail.size();
    EXPECT_EQ(info.product_text, "") << tail.size();
    EXPECT_EQ(info.vendor_id, 0x1234);
  }
  // Bytes that are no text: every unit has a high byte, or the low bytes are not ASCII.
  Put("garbage", Image(Utf16("Orvane Sentry Systems") + "??" +
                       std::string("\x01\xFF\xFE\x80\xE9\x00\x31\x00", 8)));
  ASSERT_EQ(UsbReadImageFile("garbage", &info), 0);
  EXPECT_EQ(info.product_text, "\xE9" "1");
  // A marker cut short is no marker.
  Put("cut", Image(Utf16("Orvane Sentry System")));
  ASSERT_EQ(UsbReadImageFile("cut", &info), 0);
  EXPECT_EQ(info.product_text, "");
}

TEST_F(ImageFolder, BadFilesGiveCodesAndEmptyInfo) {
  UsbImageInfo info;
  info.first_byte = 9;
  info.product_text = "old";
  EXPECT_EQ(UsbReadImageFile("missing", &info), ENOENT);
  EXPECT_EQ(info.first_byte, 0);
  EXPECT_EQ(info.product_text, "");

  Put("four", "\xC2\x34\x12\x78");
  EXPECT_EQ(UsbReadImageFile("four", &info), kUsbEmpty);
  EXPECT_EQ(info.vendor_id, 0);
  Put("empty", "");
  EXPECT_EQ(UsbReadImageFile("empty", &info), kUsbEmpty);

  std::filesystem::create_directory(dir_.Join("dir.bin"));
  EXPECT_EQ(UsbReadImageFile("dir", &info), EISDIR);
  EXPECT_EQ(UsbReadImageFile(std::string(300, 'n'), &info), ENAMETOOLONG);

  // A huge (sparse) file is refused before anything is allocated or read.
  {
    std::FILE* file = std::fopen(dir_.Join("huge.bin").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(fseeko(file, 8LL << 30, SEEK_SET), 0);
    ASSERT_EQ(std::fputc(1, file), 1);
    std::fclose(file);
  }
  EXPECT_EQ(UsbReadImageFile("huge", &info), kUsbTooLarge);
  EXPECT_EQ(info.product_id, 0);
}

struct Memory {
  std::string bytes;
  std::uint32_t reads = 0;
};

UsbError ReadMemory(void* context, std::FILE*, std::uint32_t offset, std::uint32_t length,
                    std::uint8_t* buffer) {
  auto* memory = static_cast<Memory*>(context);
  ++memory->reads;
  if (offset + static_cast<std::uint64_t>(length) > memory->bytes.size()) return EIO;
  memory->bytes.copy(reinterpret_cast<char*>(buffer), length, offset);
  return 0;
}

TEST(UsbReadImageHeaderTest, ClearsOutputsAndPassesReadErrorsOn) {
  Memory memory{std::string("\xC0\x01\x02\x03\x04", 5)};
  std::uint8_t first = 7;
  std::uint16_t vendor = 7, product = 7;
  char text[4] = {'x', 'y', 'z', 'w'};
  // A file that is shorter than its size: the read code, outputs cleared.
  EXPECT_EQ(UsbReadImageHeader(nullptr, 6, ReadMemory, &memory, &first, &vendor, &product, text,
                               sizeof text),
            EIO);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(vendor, 0);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[3], '\0');
  // Every output may be left out.
  EXPECT_EQ(UsbReadImageHeader(nullptr, 5, ReadMemory, &memory, nullptr, nullptr, &product,
                               nullptr, 0),
            0);
  EXPECT_EQ(product, 0x0403);
  // Beyond the read limit nothing is read.
  memory.reads = 0;
  EXPECT_EQ(UsbReadImageHeader(nullptr, kUsbImageReadLimit + 1, ReadMemory, &memory, &first,
                               nullptr, nullptr, nullptr, 0),
            kUsbTooLarge);
  EXPECT_EQ(memory.reads, 0u);
}

TEST(ParseProductVersionTest, FollowsTheTokenizerRules) {
  EXPECT_EQ(ParseProductVersion("Rev 2.10.3.7b"), 0x020A0307u);
  EXPECT_EQ(ParseProductVersion("1.2"), 0x01020000u);
  EXPECT_EQ(ParseProductVersion("v1..2.3"), 0x01020300u);
  EXPECT_EQ(ParseProductVersion("no digits here"), 0u);
  EXPECT_EQ(ParseProductVersion(""), 0u);
  EXPECT_EQ(ParseProductVersion("300.1.1.1"), 0x2C010101u);

  EXPECT_EQ(ParseProductVersion("Gate 1.2.3.4"), 0x01020304u);
  EXPECT_EQ(ParseProductVersion("0.0.1.49"), 0x00000131u);
  // A missing piece ends the parse: "2" then nothing after the trailing dots.
  EXPECT_EQ(ParseProductVersion("2..."), 0x02000000u);
  // Later pieces may start with white space or a sign; a piece without digits reads 0.
  EXPECT_EQ(ParseProductVersion("1. 2.-1.9"), 0x0102FF09u);
  EXPECT_EQ(ParseProductVersion("1.x.3.4"), 0x01000304u);
  // The fourth component is the digit run right after the third piece's dot.
  EXPECT_EQ(ParseProductVersion("1.2.3..4"), 0x01020300u);
  EXPECT_EQ(ParseProductVersion("1.2.3.45.6"), 0x0102032Du);
  EXPECT_EQ(ParseProductVersion("1.2.3"), 0x01020300u);
  // Huge numbers are clamped, not undefined.
  EXPECT_EQ(ParseProductVersion("99999999999999999999999.1.1.1"), 0xFF010101u);
  // The text ends at NUL; bytes above 0x7F are no digits.
  EXPECT_EQ(ParseProductVersion(std::string("\xB2\xB3 4\0.5", 6)), 0x04000000u);
}

}  // namespace
}  // namespace flashwright
