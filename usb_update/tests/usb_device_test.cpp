// The current device on both drivers against the simulated device: finding and opening
// devices, their identity, and the EEPROM vendor request with its retry, device-gone and
// fault-marker rules.
#include "usb_update/usb_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/usb_driver_requests.h"
#include "tools/usb_sim/simulated_usb.h"
#include "usb_update/cy_driver_device.h"
#include "usb_update/tests/recording_driver_io.h"

namespace flashwright {
namespace {

using usbsim::DeviceProfile;
using usbsim::Driver;

// Every test leaves the current device closed, whatever it asserted on the way.
class UsbDeviceTest : public ::testing::Test {
 protected:
  ~UsbDeviceTest() override { UsbCloseDevice(); }

  std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> bytes) { return bytes; }

  usbsim::SimulatedUsbBus bus;
  usbtest::RecordingDriverIo io{&bus};
  platform::ScopedUsbDriverIo scope{&io};
};

// The same tests on either driver.
class EitherDriverTest : public UsbDeviceTest, public ::testing::WithParamInterface<Driver> {
 protected:
  void SetUp() override {
    DeviceProfile profile;
    profile.vendor_id = 0x04B4;
    profile.product_id = 0x1002;
    profile.product = "Gate 1.2";
    profile.first_byte = 0xC2;
    device = &bus.AddDevice(GetParam(), 0, profile);
    ASSERT_EQ(UsbOpenDevice(0), 0);
    device->ResetCounters();
    io.requests.clear();
  }

  bool Legacy() const { return GetParam() == Driver::kLegacyEzusb; }

  usbsim::SimulatedUsbDevice* device = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Drivers, EitherDriverTest,
                         ::testing::Values(Driver::kLegacyEzusb, Driver::kCyUsb),
                         [](const auto& param_info) {
                           return param_info.param == Driver::kLegacyEzusb ? "Legacy" : "CyUsb";
                         });

// ---- Finding, naming, opening and closing.

TEST_F(UsbDeviceTest, LegacySearchTriesEveryIndex) {
  // Device 0 answers the presence check but cannot be opened as a device right after it, so
  // only 3 and 5 can be opened.
  io.legacy_device_zero_claimed = true;
  bus.AddDevice(Driver::kLegacyEzusb, 0);
  bus.AddDevice(Driver::kLegacyEzusb, 3);
  bus.AddDevice(Driver::kLegacyEzusb, 5);

  EXPECT_EQ(UsbFindNextDevice(-1), 3);
  EXPECT_EQ(UsbFindNextDevice(3), 5);
  io.opened_paths.clear();
  EXPECT_EQ(UsbFindNextDevice(5), kUsbNoDevice);
  std::set<std::string> tried;
  for (const std::string& path : io.opened_paths) {
    if (path != "\\\\.\\Ezusb-0") tried.insert(path);
  }
  EXPECT_EQ(tried.size(), 250u);  // 6 to 255
  EXPECT_TRUE(tried.count("\\\\.\\Ezusb-6"));
  EXPECT_TRUE(tried.count("\\\\.\\Ezusb-255"));
  EXPECT_FALSE(tried.count("\\\\.\\Ezusb-256"));
  // The search closes what it opened.
  EXPECT_EQ(bus.Device(Driver::kLegacyEzusb, 3)->Counters().open_handles, 0u);
  EXPECT_EQ(bus.Device(Driver::kLegacyEzusb, 5)->Counters().open_handles, 0u);
  EXPECT_FALSE(UsbCurrentDeviceIsOpen());
}

TEST_F(UsbDeviceTest, CyUsbSearchStopsAtTheFirstIndexThatCannotBeOpened) {
  bus.AddDevice(Driver::kCyUsb, 0);
  bus.AddDevice(Driver::kCyUsb, 1).RefuseOpen(true);
  auto& third = bus.AddDevice(Driver::kCyUsb, 2);

  EXPECT_EQ(UsbFindNextDevice(-1), 0);
  EXPECT_EQ(UsbFindNextDevice(0), kUsbNoDevice);
  EXPECT_EQ(third.Counters().opens, 0u);
  EXPECT_EQ(bus.Device(Driver::kCyUsb, 0)->Counters().open_handles, 0u);

  bus.Device(Driver::kCyUsb, 1)->RefuseOpen(false);
  EXPECT_EQ(UsbFindNextDevice(0), 1);
  EXPECT_EQ(UsbFindNextDevice(1), 2);
  EXPECT_EQ(UsbFindNextDevice(2), kUsbNoDevice);
  EXPECT_EQ(third.Counters().open_handles, 0u);
}

TEST_F(UsbDeviceTest, NoDevicesAtAll) {
  EXPECT_FALSE(UsbLegacyDriverPresent());
  EXPECT_EQ(UsbFindNextDevice(-1), kUsbNoDevice);
  EXPECT_EQ(UsbOpenDevice(0), kUsbOpenFailed);
  EXPECT_FALSE(UsbCurrentDeviceIsOpen());
}

TEST_F(UsbDeviceTest, DeviceNamesFollowTheDriver) {
  char text[16];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(UsbDeviceName(256, text, sizeof text), kUsbBadIndex);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(UsbDeviceName(7, text, sizeof text), 0);
  EXPECT_STREQ(text, "Cyusb-7");
  EXPECT_EQ(UsbDeviceName(255, text, 4), 0);
  EXPECT_STREQ(text, "Cyu");
  EXPECT_EQ(UsbDeviceName(3, text, 0), 0);  // no room: nothing written
  EXPECT_STREQ(text, "Cyu");

  bus.AddDevice(Driver::kLegacyEzusb, 0);
  EXPECT_TRUE(UsbLegacyDriverPresent());
  EXPECT_EQ(bus.Device(Driver::kLegacyEzusb, 0)->Counters().open_handles, 0u);
  EXPECT_EQ(UsbDeviceName(12, text, sizeof text), 0);
  EXPECT_STREQ(text, "Ezusb-12");
  EXPECT_EQ(UsbDeviceName(0xFFFF, text, sizeof text), kUsbBadIndex);
  EXPECT_STREQ(text, "");
}

TEST_F(UsbDeviceTest, OpenAtRefusesIndexesBeyond255) {
  bus.AddDevice(Driver::kCyUsb, 0);
  platform::DriverHandle handle = 5;
  std::unique_ptr<CCyDriverDevice> object;
  bool no_more = true;
  EXPECT_EQ(UsbOpenAt(256, &handle, &object, &no_more), kUsbBadIndex);
  EXPECT_EQ(handle, platform::kInvalidDriverHandle);
  EXPECT_FALSE(no_more);
  EXPECT_TRUE(io.opened_paths.empty());
  EXPECT_EQ(UsbOpenDevice(300), kUsbBadIndex);
}

TEST_F(UsbDeviceTest, SecondOpenIsRefusedAndKeepsTheFirst) {
  DeviceProfile other;
  other.product_id = 0x2222;
  auto& first = bus.AddDevice(Driver::kCyUsb, 0);
  auto& second = bus.AddDevice(Driver::kCyUsb, 1, other);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  EXPECT_EQ(UsbOpenDevice(1), kUsbAlreadyOpen);
  EXPECT_EQ(UsbOpenDevice(0), kUsbAlreadyOpen);
  EXPECT_EQ(second.Counters().opens, 0u);
  EXPECT_EQ(first.Counters().open_handles, 1u);
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  EXPECT_EQ(UsbGetIds(&vendor, &product), 0);
  EXPECT_EQ(product, first.profile().product_id);

  EXPECT_EQ(UsbCloseDevice(), 0);
  EXPECT_EQ(first.Counters().open_handles, 0u);
  EXPECT_EQ(UsbCloseDevice(), 0);  // closing again is harmless
  EXPECT_EQ(UsbOpenDevice(1), 0);
  EXPECT_EQ(second.Counters().open_handles, 1u);
}

TEST(UsbErrorNames, NameTheUsbMeaningOfEachCode) {
  EXPECT_EQ(UsbErrorName(kUsbAlreadyOpen), "usb already open (-6)");
  EXPECT_EQ(UsbErrorName(kUsbTransferFailed), "usb transfer failed (31)");
  EXPECT_EQ(UsbErrorName(kUsbDeviceRemoved), "usb device removed (1617)");
  EXPECT_EQ(UsbErrorName(5), "system error 5");
  EXPECT_EQ(UsbErrorName(-4), "usb code (-4)");
  EXPECT_EQ(UsbErrorName(0), "success (0)");
}

TEST_F(UsbDeviceTest, ClosedDeviceAnswersNotOpen) {
  std::uint16_t vendor = 1;
  std::uint16_t product = 1;
  EXPECT_EQ(UsbGetIds(&vendor, &product), kUsbNotOpen);
  EXPECT_EQ(vendor, 0);
  EXPECT_EQ(product, 0xFFFF);
  char text[8];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(UsbGetProductString(text, sizeof text), kUsbNotOpen);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[7], '\0');
  std::uint8_t first = 9;
  EXPECT_EQ(UsbReadFirstByte(&first), kUsbNotOpen);
  EXPECT_EQ(first, 0);
  std::uint16_t major = 1, minor = 1, build = 1, revision = 1;
  bool has_revision = true;
  EXPECT_EQ(UsbGetDriverVersion(&major, &minor, &build, &has_revision, &revision), kUsbNotOpen);
  EXPECT_EQ(major + minor + build + revision, 0);
  EXPECT_FALSE(has_revision);
  EXPECT_TRUE(io.requests.empty());
}

// ---- Identity.

TEST_P(EitherDriverTest, ReadsTheIdentity) {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  EXPECT_EQ(UsbGetIds(&vendor, &product), 0);
  EXPECT_EQ(vendor, 0x04B4);
  EXPECT_EQ(product, 0x1002);

  char text[64];
  EXPECT_EQ(UsbGetProductString(text, sizeof text), 0);
  EXPECT_STREQ(text, "Gate 1.2");
  EXPECT_EQ(UsbGetProductString(text, 5), 0);
  EXPECT_STREQ(text, "Gate");

  std::uint8_t first = 0;
  EXPECT_EQ(UsbReadFirstByte(&first), 0);
  EXPECT_EQ(first, 0xC2);

  std::uint16_t major = 0, minor = 0, build = 0, revision = 0;
  bool has_revision = false;
  EXPECT_EQ(UsbGetDriverVersion(&major, &minor, &build, &has_revision, &revision), 0);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 2);
  EXPECT_EQ(build, 3);
  EXPECT_EQ(has_revision, !Legacy());
  EXPECT_EQ(revision, Legacy() ? 0 : 4);
}

TEST_P(EitherDriverTest, FirstByteIsAFiveByteVendorReadAtZero) {
  std::uint8_t first = 0;
  ASSERT_EQ(UsbReadFirstByte(&first), 0);
  const platform::SetupPacket seen = device->Counters().last_setup;
  std::uint8_t packet[platform::kSetupPacketSize];
  platform::WriteSetupPacket(seen, packet);
  const std::vector<std::uint8_t> expected = {0xC0, 0xA2, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00};
  EXPECT_EQ(std::vector<std::uint8_t>(packet, packet + sizeof packet), expected);
  if (!Legacy()) {
    const auto sent = io.RequestsWithCode(platform::kCySendEp0Control);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(std::vector<std::uint8_t>(sent[0].in.begin(), sent[0].in.begin() + 8), expected);
  }
}

TEST_F(UsbDeviceTest, LegacyIdsFollowAResetAndUseTheDescriptorRequest) {
  auto& device = bus.AddDevice(Driver::kLegacyEzusb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  ASSERT_EQ(UsbGetIds(&vendor, &product), 0);
  ASSERT_GE(io.requests.size(), 2u);
  EXPECT_EQ(io.requests[0].code, platform::kEzusbResetPipe);
  EXPECT_EQ(io.requests[1].code, platform::kEzusbGetDeviceDescriptor);
  EXPECT_EQ(io.requests[1].in.size(), 18u);
  EXPECT_EQ(device.Counters().resets, 1u);

  device.Unplug();
  EXPECT_EQ(UsbGetIds(&vendor, &product), kUsbDeviceNotConnected);
  EXPECT_EQ(vendor, 0);
  EXPECT_EQ(product, 0xFFFF);
}

TEST_F(UsbDeviceTest, LegacyShortDescriptorIsNotTakenForIds) {
  bus.AddDevice(Driver::kLegacyEzusb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  io.bend_code = platform::kEzusbGetDeviceDescriptor;
  io.bent_returned = 8;
  std::uint16_t vendor = 1;
  std::uint16_t product = 1;
  EXPECT_EQ(UsbGetIds(&vendor, &product), kUsbTransferFailed);
  EXPECT_EQ(vendor, 0);
  EXPECT_EQ(product, 0xFFFF);
}

TEST_F(UsbDeviceTest, LegacyProductStringRequestAndItsLimits) {
  DeviceProfile profile;
  profile.product = "Orvane Gate";
  bus.AddDevice(Driver::kLegacyEzusb, 0, profile);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  char text[32];
  ASSERT_EQ(UsbGetProductString(text, sizeof text), 0);
  EXPECT_STREQ(text, "Orvane Gate");
  const auto sent = io.RequestsWithCode(platform::kEzusbGetStringDescriptor);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].in, Bytes({2, 0, 0x1B, 0x00}));
  EXPECT_EQ(sent[0].out_size, 256u);

  // A descriptor whose length byte claims more than the driver returned ends where the
  // returned bytes end.
  io.bend_code = platform::kEzusbGetStringDescriptor;
  io.bent_returned = 10;  // length, type and four characters
  ASSERT_EQ(UsbGetProductString(text, sizeof text), 0);
  EXPECT_STREQ(text, "Orva");
}

TEST_F(UsbDeviceTest, CharactersBeyondLatin1BecomeQuestionMarks) {
  DeviceProfile profile;
  profile.product = "Gate \xC3\xA9 \xE2\x9C\x93 \xF0\x9F\x98\x80!";  // é, a check mark, an emoji
  bus.AddDevice(Driver::kCyUsb, 0, profile);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  char text[32];
  ASSERT_EQ(UsbGetProductString(text, sizeof text), 0);
  EXPECT_STREQ(text, "Gate \xE9 ? ?!");
}

TEST_F(UsbDeviceTest, ProductStringIntoNoRoomWritesNothing) {
  bus.AddDevice(Driver::kCyUsb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  char text[2] = {'x', 'y'};
  EXPECT_EQ(UsbGetProductString(text, 0), 0);
  EXPECT_EQ(text[0], 'x');
  EXPECT_EQ(UsbGetProductString(text, 1), 0);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'y');
}

// ---- The EEPROM vendor request.

TEST_P(EitherDriverTest, WritesAndReadsTheEeprom) {
  const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5, 6, 7};
  ASSERT_EQ(UsbEepromWrite(0x1234, data.data(), 7), 0);
  const std::vector<std::uint8_t> eeprom = device->Eeprom();
  EXPECT_EQ(std::vector<std::uint8_t>(eeprom.begin() + 0x1234, eeprom.begin() + 0x1234 + 7), data);
  const platform::SetupPacket seen = device->Counters().last_setup;
  EXPECT_EQ(seen.request_type, 0x40);
  EXPECT_EQ(seen.request, 0xA2);
  EXPECT_EQ(seen.value, 0x1234);
  EXPECT_EQ(seen.index, 0);
  EXPECT_EQ(seen.length, 7);

  std::vector<std::uint8_t> back(7);
  ASSERT_EQ(UsbEepromRead(0x1234, back.data(), 7), 0);
  EXPECT_EQ(back, data);
  EXPECT_EQ(device->Counters().resets, 0u);
}

TEST_P(EitherDriverTest, ZeroLengthRequestReachesNothing) {
  const std::uint8_t data[1] = {0};
  EXPECT_EQ(UsbEepromWrite(0, data, 0), kUsbEmpty);
  std::uint8_t buffer[1];
  EXPECT_EQ(UsbEepromRead(0, buffer, 0), kUsbEmpty);
  EXPECT_TRUE(io.requests.empty());
  EXPECT_EQ(device->Counters().vendor_requests, 0u);
}

TEST_P(EitherDriverTest, MissingBufferIsRefusedWithoutIo) {
  EXPECT_EQ(UsbEepromWrite(0, nullptr, 4), static_cast<UsbError>(platform::kErrorInvalidParameter));
  EXPECT_EQ(UsbEepromRead(0, nullptr, 4), static_cast<UsbError>(platform::kErrorInvalidParameter));
  EXPECT_TRUE(io.requests.empty());
}

TEST_P(EitherDriverTest, FaultMarkerTurnsSuccessIntoDeviceFault) {
  const std::uint8_t marked[4] = {0xDE, 0xAD, 0x01, 0x02};
  EXPECT_EQ(UsbEepromWrite(0x10, marked, 4), kUsbDeviceFault);
  EXPECT_EQ(device->Eeprom()[0x10], 0xDE);  // the device took it all the same
  EXPECT_EQ(device->Counters().vendor_requests, 1u);

  const std::uint8_t one[1] = {0xDE};  // a single byte cannot carry the marker
  EXPECT_EQ(UsbEepromWrite(0x20, one, 1), 0);

  device->AnswerDeadMarker(true);
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(UsbEepromRead(0, buffer, 8), kUsbDeviceFault);
  std::uint8_t first = 0;
  EXPECT_EQ(UsbReadFirstByte(&first), kUsbDeviceFault);
  EXPECT_EQ(first, 0);
}

TEST_F(UsbDeviceTest, WriteLeavesTheCallersDataAlone) {
  bus.AddDevice(Driver::kLegacyEzusb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  const std::vector<std::uint8_t> data(64, 0x5A);
  std::vector<std::uint8_t> copy = data;
  EXPECT_EQ(UsbEepromWrite(0, copy.data(), static_cast<std::uint32_t>(copy.size())), 0);
  EXPECT_EQ(copy, data);
}

TEST_F(UsbDeviceTest, DeviceRemovedIsNotRetried) {
  auto& device = bus.AddDevice(Driver::kLegacyEzusb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  device.ResetCounters();
  device.FailWrites(1, 1, platform::kErrorDeviceRemoved);
  const std::uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_EQ(UsbEepromWrite(0, data, 4), kUsbDeviceRemoved);
  EXPECT_EQ(device.Counters().vendor_requests, 1u);
  EXPECT_EQ(device.Counters().resets, 0u);
  EXPECT_EQ(device.Eeprom()[0], device.profile().first_byte);
}

TEST_F(UsbDeviceTest, OtherFailureIsRetriedOnceAfterAReset) {
  auto& device = bus.AddDevice(Driver::kLegacyEzusb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  device.ResetCounters();
  device.FailWrites(1, 1, 31);
  const std::uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_EQ(UsbEepromWrite(0, data, 4), 0);
  EXPECT_EQ(device.Counters().vendor_requests, 2u);
  EXPECT_EQ(device.Counters().resets, 1u);
  EXPECT_EQ(device.Eeprom()[3], 4);

  // Failing twice gives the second attempt's code, after a reset each time.
  device.ResetCounters();
  device.FailWrites(1, 2, 23);
  EXPECT_EQ(UsbEepromWrite(0, data, 4), 23);
  EXPECT_EQ(device.Counters().vendor_requests, 2u);
  EXPECT_EQ(device.Counters().resets, 2u);
}

TEST_F(UsbDeviceTest, ResetFindingTheDeviceGoneEndsTheAttempts) {
  auto& device = bus.AddDevice(Driver::kLegacyEzusb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  device.ResetCounters();
  device.FailWrites(1, 2, 31);
  io.force_code = platform::kEzusbResetPipe;
  io.forced_result = platform::kErrorDeviceRemoved;
  const std::uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_EQ(UsbEepromWrite(0, data, 4), kUsbDeviceRemoved);
  EXPECT_EQ(device.Counters().vendor_requests, 1u);
}

TEST_F(UsbDeviceTest, CyUsbFailureIsGeneralAndRetriedAfterAnEndpointReset) {
  auto& device = bus.AddDevice(Driver::kCyUsb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  device.ResetCounters();
  device.FailWrites(1, 2, platform::kErrorDeviceRemoved);
  const std::uint8_t data[4] = {1, 2, 3, 4};
  // The CyUSB path reports any failed transfer as a general failure, so it is retried.
  EXPECT_EQ(UsbEepromWrite(0, data, 4), kUsbTransferFailed);
  EXPECT_EQ(device.Counters().vendor_requests, 2u);
  EXPECT_EQ(device.Counters().resets, 2u);
  const auto resets = io.RequestsWithCode(platform::kCyResetPipe);
  ASSERT_EQ(resets.size(), 2u);
  EXPECT_EQ(resets[0].in, Bytes({0}));
}

TEST_P(EitherDriverTest, StallIsRecoveredByTheRetryOnce) {
  const std::uint8_t data[4] = {9, 8, 7, 6};
  device->StallVendorRequests(1);
  EXPECT_EQ(UsbEepromWrite(0x40, data, 4), 0);
  EXPECT_EQ(device->Eeprom()[0x40], 9);
  EXPECT_EQ(device->Counters().resets, 1u);

  device->StallVendorRequests(2);
  EXPECT_EQ(UsbEepromWrite(0x80, data, 4), kUsbTransferFailed);
  EXPECT_EQ(device->Eeprom()[0x80], 0xFF);
}

// A transfer that moves fewer bytes than asked is a failed transfer, in either direction,
// retried once like any other failure; a second short one fails the request.
TEST_P(EitherDriverTest, ShortTransferFailsAndIsRetriedOnce) {
  std::vector<std::uint8_t> block(16, 0x5A);
  device->ShortenVendorRequests(1, 10);
  EXPECT_EQ(UsbEepromWrite(0x100, block.data(), 16), 0);
  EXPECT_EQ(device->Eeprom()[0x10F], 0x5A);
  EXPECT_EQ(device->Counters().resets, 1u);

  device->ShortenVendorRequests(2, 10);
  EXPECT_EQ(UsbEepromWrite(0x200, block.data(), 16), kUsbTransferFailed);
  EXPECT_EQ(device->Eeprom()[0x20F], 0xFF);  // what the device never got

  std::vector<std::uint8_t> read(16, 0x00);
  device->ShortenVendorRequests(2, 0);
  EXPECT_EQ(UsbEepromRead(0x100, read.data(), 16), kUsbTransferFailed);

  // The first byte of a read that brought nothing is not taken for 0.
  device->ShortenVendorRequests(2, 0);
  std::uint8_t first = 0x77;
  EXPECT_EQ(UsbReadFirstByte(&first), kUsbTransferFailed);
  EXPECT_EQ(first, 0);
  device->ShortenVendorRequests(2, 4);
  EXPECT_EQ(UsbReadFirstByte(&first), kUsbTransferFailed);
  EXPECT_EQ(UsbReadFirstByte(&first), 0);
  EXPECT_EQ(first, 0xC2);
}

TEST_P(EitherDriverTest, DeviceUnpluggedBetweenRequests) {
  const std::uint8_t data[4] = {1, 2, 3, 4};
  ASSERT_EQ(UsbEepromWrite(0, data, 4), 0);
  device->Unplug();
  io.requests.clear();
  const UsbError result = UsbEepromWrite(4, data, 4);
  if (Legacy()) {
    EXPECT_EQ(result, kUsbDeviceNotConnected);  // gone: no reset, no second attempt
    EXPECT_EQ(io.RequestsWithCode(platform::kEzusbVendorRequest).size(), 1u);
    EXPECT_TRUE(io.RequestsWithCode(platform::kEzusbResetPipe).empty());
  } else {
    EXPECT_EQ(result, kUsbTransferFailed);
  }
  EXPECT_EQ(device->Eeprom()[4], 0xFF);
  std::uint8_t first = 0;
  EXPECT_NE(UsbReadFirstByte(&first), 0);
  EXPECT_EQ(UsbCloseDevice(), 0);
  EXPECT_FALSE(UsbCurrentDeviceIsOpen());
}

TEST_P(EitherDriverTest, UnplugMidWriteWritesNothingOfTheFailingBlock) {
  std::vector<std::uint8_t> block(32, 0x11);
  device->UnplugAfterBytes(48);
  ASSERT_EQ(UsbEepromWrite(0, block.data(), 32), 0);
  EXPECT_NE(UsbEepromWrite(32, block.data(), 32), 0);
  const std::vector<std::uint8_t> eeprom = device->Eeprom();
  EXPECT_EQ(eeprom[31], 0x11);
  EXPECT_EQ(eeprom[32], 0xFF);
}

TEST_F(UsbDeviceTest, CyUsbTransferThatNeverEndsIsAbortedAndFails) {
  auto& device = bus.AddDevice(Driver::kCyUsb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  UsbCurrentDeviceObject()->ControlEndPoint()->timeout = 30;
  device.ResetCounters();
  device.NeverCompleteRequests(2);
  std::uint8_t buffer[4] = {};
  EXPECT_EQ(UsbEepromRead(0, buffer, 4), kUsbTransferFailed);
  EXPECT_EQ(device.Counters().aborts, 2u);
  EXPECT_EQ(device.Counters().resets, 2u);
  // Once the device answers again, so does the request.
  EXPECT_EQ(UsbEepromRead(0, buffer, 4), 0);
  EXPECT_EQ(buffer[0], device.profile().first_byte);
}

TEST_F(UsbDeviceTest, LegacyRequestThatNeverEndsFailsWithTheDriversLimit) {
  auto& device = bus.AddDevice(Driver::kLegacyEzusb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  device.ResetCounters();
  device.NeverCompleteRequests(2, std::chrono::milliseconds(5));
  std::uint8_t buffer[4] = {};
  EXPECT_EQ(UsbEepromRead(0, buffer, 4), static_cast<UsbError>(platform::kErrorSemTimeout));
  EXPECT_EQ(device.Counters().resets, 2u);
}

TEST_F(UsbDeviceTest, ReadCountBeyondTheBufferDoesNotReachPastIt) {
  bus.AddDevice(Driver::kLegacyEzusb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  io.bend_code = platform::kEzusbVendorRequest;
  io.bent_returned = 4096;
  std::uint8_t buffer[5] = {};
  EXPECT_EQ(UsbEepromRead(0, buffer, 5), 0);
  EXPECT_EQ(buffer[0], 0xC2);
}

TEST_F(UsbDeviceTest, CyUsbWithoutControlEndpointIsNotSupported) {
  bus.AddDevice(Driver::kCyUsb, 0);
  ASSERT_EQ(UsbOpenDevice(0), 0);
  // A closed device object keeps its handle in the current device but has no endpoint left.
  CCyDriverDevice* object = UsbCurrentDeviceObject();
  ASSERT_NE(object, nullptr);
  object->Close();
  std::uint8_t buffer[4] = {};
  EXPECT_EQ(UsbEepromRead(0, buffer, 4), kUsbNoControlEndpoint);
  EXPECT_EQ(UsbResetDevice(), 0);
}

}  // namespace
}  // namespace flashwright
