// The legacy EZ-USB driver's synchronous requests, sent to the simulated bus by hand.
#include <gtest/gtest.h>

#include <string>

#include "tools/usb_sim/simulated_usb.h"
#include "tools/usb_sim/tests/driver_client.h"

namespace flashwright::usbsim {
namespace {

using namespace testing;
using platform::kInvalidDriverHandle;

class LegacyDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceProfile profile;
    profile.vendor_id = 0x0547;
    profile.product_id = 0x2131;
    profile.product = "Gate Controller 2.0.1.7";
    profile.first_byte = 0xC0;
    profile.legacy_driver_version[0] = 5;
    profile.legacy_driver_version[1] = 12;
    profile.legacy_driver_version[2] = 301;
    device_ = &bus_.AddDevice(Driver::kLegacyEzusb, 3, profile);
    std::uint32_t error = 0;
    handle_ = bus_.Open(LegacyName(3), false, &error);
    ASSERT_NE(handle_, kInvalidDriverHandle) << error;
  }

  std::uint32_t Request(std::uint32_t code, const void* in, std::uint32_t in_size, Bytes& out,
                        std::uint32_t* returned) {
    return bus_.IoControl(handle_, code, in, in_size, out.data(),
                          static_cast<std::uint32_t>(out.size()), returned, nullptr);
  }

  SimulatedUsbBus bus_;
  SimulatedUsbDevice* device_ = nullptr;
  platform::DriverHandle handle_ = kInvalidDriverHandle;
};

TEST_F(LegacyDriverTest, AnswersTheIdentityRequests) {
  Bytes descriptor(18, 0);
  std::uint32_t returned = 0;
  ASSERT_EQ(Request(platform::kEzusbGetDeviceDescriptor, nullptr, 0, descriptor, &returned), 0u);
  EXPECT_EQ(returned, 18u);
  EXPECT_EQ(descriptor[0], 18);
  EXPECT_EQ(descriptor[1], 1);
  EXPECT_EQ(platform::ReadLe16(&descriptor[8]), 0x0547);
  EXPECT_EQ(platform::ReadLe16(&descriptor[10]), 0x2131);

  // The product string as the program asks for it: index 2, language 0x001B.
  const std::uint8_t string_request[4] = {2, 0, 0x1B, 0x00};
  Bytes text(256, 0);
  ASSERT_EQ(Request(platform::kEzusbGetStringDescriptor, string_request, 4, text, &returned), 0u);
  const std::string product = "Gate Controller 2.0.1.7";
  ASSERT_EQ(text[0], 2 + 2 * product.size());
  EXPECT_EQ(text[1], 3);
  EXPECT_EQ(returned, text[0]);
  std::string decoded;
  for (std::size_t i = 2; i < text[0]; i += 2) {
    EXPECT_EQ(text[i + 1], 0);
    decoded += static_cast<char>(text[i]);
  }
  EXPECT_EQ(decoded, product);

  Bytes version(6, 0);
  ASSERT_EQ(Request(platform::kEzusbGetDriverVersion, nullptr, 0, version, &returned), 0u);
  EXPECT_EQ(returned, 6u);
  EXPECT_EQ(platform::ReadLe16(&version[0]), 5);
  EXPECT_EQ(platform::ReadLe16(&version[2]), 12);
  EXPECT_EQ(platform::ReadLe16(&version[4]), 301);

  Bytes none;
  EXPECT_EQ(Request(platform::kEzusbResetPipe, nullptr, 0, none, &returned), 0u);
  EXPECT_EQ(Request(platform::kEzusbResetPipe, nullptr, 0, none, &returned), 0u);
  EXPECT_EQ(device_->Counters().resets, 2u);

  // A request the driver does not know.
  EXPECT_NE(Request(0x222000, nullptr, 0, none, &returned), 0u);
}

TEST_F(LegacyDriverTest, OpensOnlyTheNamesOfPluggedDevices) {
  std::uint32_t error = 0;
  for (const std::string& name :
       {LegacyName(0), LegacyName(4), std::string("\\\\.\\Ezusb-03"), std::string("\\\\.\\Ezusb-"),
        std::string("\\\\.\\Ezusb-3x"), std::string("\\\\.\\Cyusb-3")}) {
    EXPECT_EQ(bus_.Open(name, false, &error), kInvalidDriverHandle) << name;
    EXPECT_EQ(error, platform::kErrorFileNotFound) << name;
  }
  // Legacy devices are no members of the CyUSB interface class.
  std::string path;
  EXPECT_EQ(bus_.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path),
            platform::kErrorNoMoreItems);

  device_->RefuseOpen(true);
  EXPECT_EQ(bus_.Open(LegacyName(3), false, &error), kInvalidDriverHandle);
  EXPECT_EQ(error, 5u);
  device_->RefuseOpen(false);
  const platform::DriverHandle second = bus_.Open(LegacyName(3), false, &error);
  ASSERT_NE(second, kInvalidDriverHandle);
  EXPECT_NE(second, handle_);
  EXPECT_EQ(device_->Counters().open_handles, 2u);
  EXPECT_EQ(bus_.Close(second), 0u);
  EXPECT_EQ(bus_.Close(second), platform::kErrorInvalidHandle);
  EXPECT_EQ(device_->Counters().open_handles, 1u);
}

TEST_F(LegacyDriverTest, VendorWriteIsReadBack) {
  const Bytes data = Pattern(300, 0x11);
  Bytes written = data;
  std::uint32_t returned = 0;
  ASSERT_EQ(LegacyVendor(bus_, handle_, 0, 0x0100, written, &returned), 0u);
  EXPECT_EQ(returned, 300u);

  Bytes read(300, 0);
  ASSERT_EQ(LegacyVendor(bus_, handle_, 1, 0x0100, read, &returned), 0u);
  EXPECT_EQ(returned, 300u);
  EXPECT_EQ(read, data);

  const Bytes eeprom = device_->Eeprom();
  ASSERT_EQ(eeprom.size(), kEepromSize);
  EXPECT_EQ(eeprom[0], 0xC0);
  EXPECT_EQ(eeprom[0xFF], 0xFF);
  EXPECT_EQ(Bytes(eeprom.begin() + 0x100, eeprom.begin() + 0x100 + 300), data);
  EXPECT_EQ(eeprom[0x100 + 300], 0xFF);

  // The vendor block arrives at the device as the equivalent setup packets.
  const DeviceCounters counters = device_->Counters();
  EXPECT_EQ(counters.vendor_requests, 2u);
  EXPECT_EQ(counters.eeprom_writes, 1u);
  EXPECT_EQ(counters.eeprom_bytes_written, 300u);
  ASSERT_EQ(counters.setups.size(), 2u);
  EXPECT_TRUE(SameSetup(counters.setups[0], MakeSetup(kVendorOut, kEeprom, 0x0100, 0, 300)));
  EXPECT_TRUE(SameSetup(counters.setups[1], MakeSetup(kVendorIn, kEeprom, 0x0100, 0, 300)));
  EXPECT_TRUE(SameSetup(counters.last_setup, counters.setups[1]));
}

TEST_F(LegacyDriverTest, RequestsPastTheEndOfTheEepromStallAndWriteNothing) {
  Bytes data = Pattern(0x200, 0x40);
  EXPECT_EQ(LegacyVendor(bus_, handle_, 0, 0xFF00, data), platform::kErrorGenFailure);
  EXPECT_EQ(device_->Eeprom(), FreshEeprom(0xC0));
  Bytes last(1, 0);
  EXPECT_EQ(LegacyVendor(bus_, handle_, 1, 0xFFFF, last), 0u);
  EXPECT_EQ(last[0], 0xFF);
  Bytes two(2, 0);
  EXPECT_EQ(LegacyVendor(bus_, handle_, 1, 0xFFFF, two), platform::kErrorGenFailure);
  EXPECT_EQ(device_->Counters().eeprom_writes, 0u);
}

TEST_F(LegacyDriverTest, AnOverlappedRequestHasEndedWhenTheCallReturns) {
  Bytes descriptor(18, 0);
  std::uint32_t returned = 0;
  platform::DriverOverlapped overlapped;
  ASSERT_EQ(bus_.IoControl(handle_, platform::kEzusbGetDeviceDescriptor, nullptr, 0,
                           descriptor.data(), 18, &returned, &overlapped),
            0u);
  EXPECT_EQ(overlapped.Wait(0), platform::kWaitSignalled);
  std::uint32_t overlapped_returned = 0;
  EXPECT_EQ(overlapped.Result(&overlapped_returned), 0u);
  EXPECT_EQ(overlapped_returned, 18u);
}

TEST_F(LegacyDriverTest, AnUnpluggedDeviceAnswersDeviceNotConnected) {
  device_->Unplug();
  EXPECT_FALSE(device_->Plugged());
  std::uint32_t returned = 0;
  Bytes descriptor(18, 0);
  EXPECT_EQ(Request(platform::kEzusbGetDeviceDescriptor, nullptr, 0, descriptor, &returned),
            platform::kErrorDeviceNotConnected);
  Bytes version(6, 0);
  EXPECT_EQ(Request(platform::kEzusbGetDriverVersion, nullptr, 0, version, &returned),
            platform::kErrorDeviceNotConnected);
  Bytes none;
  EXPECT_EQ(Request(platform::kEzusbResetPipe, nullptr, 0, none, &returned),
            platform::kErrorDeviceNotConnected);
  Bytes data = Pattern(4, 1);
  EXPECT_EQ(LegacyVendor(bus_, handle_, 0, 0, data), platform::kErrorDeviceNotConnected);
  std::uint32_t error = 0;
  EXPECT_EQ(bus_.Open(LegacyName(3), false, &error), kInvalidDriverHandle);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_EQ(device_->Counters().eeprom_writes, 0u);
}

TEST_F(LegacyDriverTest, ZeroLengthVendorRequestsReachTheDevice) {
  Bytes none;
  std::uint32_t returned = 7;
  EXPECT_EQ(LegacyVendor(bus_, handle_, 1, 0x10, none, &returned), 0u);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(LegacyVendor(bus_, handle_, 0, 0x10, none, &returned), 0u);
  const DeviceCounters counters = device_->Counters();
  EXPECT_EQ(counters.vendor_requests, 2u);
  EXPECT_EQ(counters.eeprom_writes, 0u);  // nothing to store
  EXPECT_TRUE(SameSetup(counters.last_setup, MakeSetup(kVendorOut, kEeprom, 0x10, 0, 0)));
}

}  // namespace
}  // namespace flashwright::usbsim
