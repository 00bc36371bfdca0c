// Reading a device for the device information box, over the simulated device on both drivers.
#include <gtest/gtest.h>

#include "platform/usb_driver_io.h"
#include "tools/usb_sim/simulated_usb.h"
#include "usb_update/usb_device_info.h"

namespace flashwright {
namespace {

using usbsim::Driver;

class UsbDeviceReadingTest : public ::testing::Test {
 protected:
  usbsim::SimulatedUsbBus bus_;
  platform::ScopedUsbDriverIo installed_{&bus_};
};

TEST_F(UsbDeviceReadingTest, TheBoxShowsTheProductStringAndOnRequestTheIdsAndDriver) {
  usbsim::DeviceProfile profile;
  profile.product = "Orvane Sentry Systems 2.10.3.7";
  profile.first_byte = 0xC0;
  bus_.AddDevice(Driver::kCyUsb, 0, profile);

  const UsbDeviceReading plain = ReadUsbDevice(0, false);
  EXPECT_EQ(plain.result, 0);
  EXPECT_EQ(plain.text, "Orvane Sentry Systems 2.10.3.7");
  EXPECT_EQ(plain.info.product_string, profile.product);
  EXPECT_EQ(plain.info.vendor_id, 0x04B4);
  EXPECT_EQ(plain.info.product_id, 0x8613);
  EXPECT_EQ(plain.info.first_byte, 0xC0);
  EXPECT_FALSE(plain.has_driver_version);

  const UsbDeviceReading detailed = ReadUsbDevice(0, true);
  EXPECT_EQ(detailed.text, "Orvane Sentry Systems 2.10.3.7\r\n[4B4][8613][C0]\r\n[Driver:1.2.3.4]");
  EXPECT_FALSE(UsbCurrentDeviceIsOpen()) << "the device is closed again";
}

TEST_F(UsbDeviceReadingTest, TheLegacyDriverHasNoRevision) {
  bus_.AddDevice(Driver::kLegacyEzusb, 0);
  const UsbDeviceReading detailed = ReadUsbDevice(0, true);
  EXPECT_EQ(detailed.result, 0);
  EXPECT_EQ(detailed.text, "Orvane Folio Systems Gate 1.2.3.4\r\n[4B4][8613][C2]\r\n[Driver:1.2.3]");
}

TEST_F(UsbDeviceReadingTest, FailuresReplaceTheText) {
  const UsbDeviceReading none = ReadUsbDevice(-1, true);
  EXPECT_EQ(none.text, "");
  EXPECT_EQ(none.result, 0);

  const UsbDeviceReading missing = ReadUsbDevice(4, false);
  EXPECT_EQ(missing.result, kUsbOpenFailed);
  EXPECT_EQ(missing.text, "(error -9)");
  EXPECT_TRUE(missing.info.product_string.empty());

  bus_.AddDevice(Driver::kCyUsb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  const UsbDeviceReading busy = ReadUsbDevice(0, false);
  EXPECT_EQ(busy.result, kUsbAlreadyOpen);
  EXPECT_EQ(busy.text, "(error -6)");
  EXPECT_TRUE(UsbCurrentDeviceIsOpen()) << "the device another open holds stays open";
  UsbCloseDevice();
}

}  // namespace
}  // namespace flashwright
