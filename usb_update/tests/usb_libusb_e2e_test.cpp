// The USB device access and the update engine over the system's libusb driver layer, against
// an EZ-USB emulated under umockdev: listed, opened, identified, updated and read back through
// libusb and usbdevfs, the way a real device on a Linux machine is.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/posted_messages.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_mockdev/emulated_ezusb.h"
#include "usb_update/usb_device.h"
#include "usb_update/usb_device_location.h"
#include "usb_update/usb_image.h"
#include "usb_update/usb_update_engine.h"

namespace flashwright {
namespace {

using mockdev::EmulatedEzUsb;
using mockdev::UsbTestbed;

std::vector<std::uint8_t> TestImage(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);
  image[0] = 0xC2;
  return image;
}

class LibusbEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UsbTestbed::Preloaded()) GTEST_SKIP() << "needs umockdev-wrapper";
    ASSERT_TRUE(SetUsbFirmwareFolder(folder_.path()));
  }
  void TearDown() override { UsbCloseDevice(); }

  void WriteImage(const std::string& name, const std::vector<std::uint8_t>& image) {
    ASSERT_TRUE(test::WriteFile(folder_.Join(name + ".bin"),
                                std::string(image.begin(), image.end())));
  }

  // Runs the update worker for device 0 and returns its outcome.
  std::unique_ptr<UsbUpdateResult> Update(const std::string& name) {
    QueuePostTarget target;
    auto request = std::make_unique<UsbUpdateRequest>();
    request->target = target.handle();
    request->device_index = 0;
    request->image_name = name;
    EXPECT_EQ(UsbUpdateWorker(std::move(request)), 0u);
    for (;;) {
      MessageId message = 0;
      std::unique_ptr<PostedRecord> record;
      if (!target.Pump(&message, &record, std::chrono::seconds(30))) return nullptr;
      if (message != UsbUpdateCompleteMessage()) continue;
      return std::unique_ptr<UsbUpdateResult>(dynamic_cast<UsbUpdateResult*>(record.release()));
    }
  }

  UsbTestbed testbed_;
  test::TempDir folder_;
};

TEST_F(LibusbEndToEndTest, AnEmulatedDeviceIsListedOpenedAndIdentified) {
  EXPECT_EQ(UsbFindNextDevice(-1), kUsbNoDevice) << "no matching device: an empty list";
  mockdev::EmulatedDeviceProfile other;
  other.vendor_id = 0x1234;
  other.address = 9;
  testbed_.AddDevice(other);
  EXPECT_EQ(UsbFindNextDevice(-1), kUsbNoDevice) << "its IDs are not in the list";
  EXPECT_EQ(UsbOpenDevice(0), kUsbOpenFailed);
  testbed_.AddDevice();

  EXPECT_FALSE(UsbLegacyDriverPresent());
  EXPECT_EQ(UsbFindNextDevice(-1), 0);
  EXPECT_EQ(UsbFindNextDevice(0), kUsbNoDevice);
  char name[16] = {};
  ASSERT_EQ(UsbDeviceName(0, name, sizeof name), 0);
  EXPECT_STREQ(name, "Cyusb-0");

  ASSERT_EQ(UsbOpenDevice(0), 0);
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  ASSERT_EQ(UsbGetIds(&vendor, &product), 0);
  EXPECT_EQ(vendor, 0x04B4);
  EXPECT_EQ(product, 0x8613);
  char text[129] = {};
  ASSERT_EQ(UsbGetProductString(text, sizeof text), 0);
  EXPECT_STREQ(text, "Orvane Folio Systems Gate 1.2.3.4");
  std::uint8_t first = 0;
  ASSERT_EQ(UsbReadFirstByte(&first), 0);
  EXPECT_EQ(first, 0xC2);
  std::uint16_t major = 0, minor = 0, build = 0, revision = 0;
  bool has_revision = false;
  ASSERT_EQ(UsbGetDriverVersion(&major, &minor, &build, &has_revision, &revision), 0);
  EXPECT_TRUE(has_revision);
  EXPECT_EQ(major, 1) << "libusb 1.x";
}

TEST_F(LibusbEndToEndTest, TheBusPathIsTheKernelsNameOfThePortAndFollowsTheDevice) {
  EmulatedEzUsb& first = testbed_.AddDevice();  // on bus 1 at port 2 of the root hub
  mockdev::EmulatedDeviceProfile behind_hub;
  behind_hub.address = 7;
  behind_hub.port_path = "1-3.2";
  behind_hub.product = "Orvane Folio Systems Gate 2.0.0.0";
  testbed_.AddHub("1-3", 5);
  testbed_.AddDevice(behind_hub);

  std::string location;
  ASSERT_EQ(UsbDeviceLocation(0, &location), 0);
  EXPECT_EQ(location, "1-2");
  ASSERT_EQ(UsbDeviceLocation(1, &location), 0);
  EXPECT_EQ(location, "1-3.2") << "port 2 of the hub at port 3";
  EXPECT_EQ(UsbDeviceLocation(2, &location), kUsbOpenFailed) << "the hub is no member";
  UsbError error = -100;
  EXPECT_EQ(UsbFindDeviceAt("1-3.2", &error), 1);
  EXPECT_EQ(error, 0);

  // The first device goes: the one behind the hub is device 0 now.
  testbed_.RemoveDevice(first);
  const std::uint16_t index = UsbFindDeviceAt("1-3.2", &error);
  ASSERT_EQ(index, 0);
  ASSERT_EQ(UsbOpenDevice(index), 0);
  char text[129] = {};
  ASSERT_EQ(UsbGetProductString(text, sizeof text), 0);
  EXPECT_STREQ(text, "Orvane Folio Systems Gate 2.0.0.0");
  UsbCloseDevice();
  EXPECT_EQ(UsbFindDeviceAt("1-2", &error), kUsbNoDevice);
  EXPECT_EQ(error, kUsbOpenFailed);
}

TEST_F(LibusbEndToEndTest, AnUpdateIsWrittenIntoTheEepromAndReadsBack) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  const std::vector<std::uint8_t> image = TestImage(3000);
  WriteImage("Gate", image);

  const auto result = Update("Gate");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->error, 0);
  EXPECT_EQ(result->phase, kUsbPhaseProgram);
  EXPECT_EQ(result->bytes_written, 3000u);

  const std::vector<std::uint8_t> eeprom = device.Eeprom();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));
  EXPECT_EQ(eeprom[3000], 0xFF);
  EXPECT_EQ(device.Counters().vendor_requests, 33u) << "3000 bytes in blocks of 93";

  ASSERT_EQ(UsbOpenDevice(0), 0);
  std::vector<std::uint8_t> back(image.size());
  ASSERT_EQ(UsbEepromRead(0, back.data(), static_cast<std::uint32_t>(back.size())), 0);
  EXPECT_EQ(back, image);
}

TEST_F(LibusbEndToEndTest, AStallFailsTheBlockAfterOneRetry) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  WriteImage("Gate", TestImage(3000));
  device.StallVendorRequests(2);

  const auto result = Update("Gate");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->error, kUsbTransferFailed);
  EXPECT_EQ(result->phase, kUsbPhaseProgram);
  EXPECT_EQ(result->bytes_written, 0u);
  EXPECT_EQ(device.Counters().vendor_requests, 2u) << "the first attempt and its one retry";
  EXPECT_EQ(device.Eeprom()[0], 0xC2) << "nothing written";
}

// Blocks that the device takes only in part: the update fails where it got to instead of
// reporting success over an EEPROM that holds less than the image, and a short read fails.
TEST_F(LibusbEndToEndTest, AShortTransferFailsTheUpdateAtTheOffsetReached) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  const std::vector<std::uint8_t> image = TestImage(3000);
  WriteImage("Gate", image);
  // Nine blocks of 93 go through whole; the tenth and its retry move 50 bytes each.
  device.ShortenVendorRequests(2, 50, 9);
  const auto result = Update("Gate");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->error, kUsbTransferFailed);
  EXPECT_EQ(result->phase, kUsbPhaseProgram);
  EXPECT_EQ(result->bytes_written, 837u) << "nine blocks of 93";
  EXPECT_EQ(device.Counters().vendor_requests, 11u) << "no block after the failing one";

  ASSERT_EQ(UsbOpenDevice(0), 0);
  std::vector<std::uint8_t> back(64);
  device.ShortenVendorRequests(2, 10);
  EXPECT_EQ(UsbEepromRead(0, back.data(), 64), kUsbTransferFailed);
  EXPECT_EQ(UsbEepromRead(0, back.data(), 64), 0);
  EXPECT_TRUE(std::equal(back.begin(), back.end(), image.begin()));
}

TEST_F(LibusbEndToEndTest, AnUnplugMidWriteStopsAtTheBytesReported) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  const std::vector<std::uint8_t> image = TestImage(3000);
  WriteImage("Gate", image);
  device.UnplugAfterBytes(1000);

  const auto result = Update("Gate");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->error, kUsbTransferFailed);
  EXPECT_EQ(result->phase, kUsbPhaseProgram);
  EXPECT_EQ(result->bytes_written, 930u) << "ten blocks of 93 before the device went";
  const std::vector<std::uint8_t> eeprom = device.Eeprom();
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 930, eeprom.begin()));
  EXPECT_EQ(eeprom[930], 0xFF) << "written no further than reported";
  EXPECT_FALSE(UsbCurrentDeviceIsOpen()) << "the worker closed the device";
  EXPECT_EQ(UsbFindNextDevice(-1), kUsbNoDevice) << "an unplugged device is listed no more";
}

}  // namespace
}  // namespace flashwright
