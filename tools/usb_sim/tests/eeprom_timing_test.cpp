// The modelled time of the serial EEPROM: page-write cycles for every page a write touches, and
// the I2C transfer time of every byte; with real time the device takes that long to answer.
#include <gtest/gtest.h>

#include <chrono>

#include "tools/usb_sim/simulated_usb.h"
#include "tools/usb_sim/tests/driver_client.h"

namespace flashwright::usbsim {
namespace {

using namespace testing;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr nanoseconds kPage = milliseconds(5);
constexpr nanoseconds kByte = nanoseconds(22500);

class EepromTimingTest : public ::testing::TestWithParam<Driver> {
 protected:
  void Plug(const EepromTiming& timing = {}) {
    DeviceProfile profile;
    profile.timing = timing;
    device_ = &bus_.AddDevice(GetParam(), 0, profile);
    std::uint32_t error = 0;
    handle_ = GetParam() == Driver::kCyUsb ? OpenMember(bus_, 0, &error)
                                           : bus_.Open(LegacyName(0), false, &error);
    ASSERT_NE(handle_, platform::kInvalidDriverHandle) << error;
  }

  // The modelled time one request added.
  nanoseconds Cost(std::uint8_t direction, std::uint16_t address, std::uint32_t length,
                   std::uint32_t expected_error = 0) {
    const nanoseconds before = device_->ModelledTime();
    Bytes data = Pattern(length, 3);
    std::uint32_t error = 0;
    if (GetParam() == Driver::kLegacyEzusb) {
      error = LegacyVendor(bus_, handle_, direction, address, data);
    } else {
      const std::uint8_t type = direction != 0 ? kVendorIn : kVendorOut;
      ControlTransfer transfer(
          MakeSetup(type, kEeprom, address, 0, static_cast<std::uint16_t>(length)),
          direction != 0 ? Bytes{} : data);
      error = transfer.Run(bus_, handle_);
    }
    EXPECT_EQ(error, expected_error);
    return device_->ModelledTime() - before;
  }

  SimulatedUsbBus bus_;
  SimulatedUsbDevice* device_ = nullptr;
  platform::DriverHandle handle_ = platform::kInvalidDriverHandle;
};

TEST_P(EepromTimingTest, WritesCostTheirPagesAndBytes) {
  Plug();
  EXPECT_EQ(Cost(0, 0, 2047), 16 * kPage + 2047 * kByte);
  EXPECT_EQ(Cost(0, 2047, 2047), 17 * kPage + 2047 * kByte);
  EXPECT_EQ(Cost(0, 127, 1), 1 * kPage + kByte);
  EXPECT_EQ(Cost(0, 127, 2), 2 * kPage + 2 * kByte);
  EXPECT_EQ(Cost(0, 128, 128), 1 * kPage + 128 * kByte);
  EXPECT_EQ(Cost(0, 0xFFFF - 30, 31), 1 * kPage + 31 * kByte);
  EXPECT_EQ(Cost(1, 100, 100), 100 * kByte);
  EXPECT_EQ(Cost(1, 0, 5), 5 * kByte);
  // Requests the firmware refuses cost nothing; standard requests cost nothing either.
  EXPECT_EQ(Cost(0, 0xFFFF, 2, platform::kErrorGenFailure), nanoseconds(0));
  device_->StallVendorRequests(1);
  EXPECT_EQ(Cost(0, 0, 64, platform::kErrorGenFailure), nanoseconds(0));

  const nanoseconds total = 16 * kPage + 17 * kPage + 1 * kPage + 2 * kPage + 1 * kPage +
                            1 * kPage + (2047 + 2047 + 1 + 2 + 128 + 31 + 100 + 5) * kByte;
  EXPECT_EQ(device_->ModelledTime(), total);
  device_->ResetCounters();
  EXPECT_EQ(device_->ModelledTime(), nanoseconds(0));
}

TEST_P(EepromTimingTest, TheDevicesOwnTimingIsUsed) {
  EepromTiming timing;
  timing.page_size = 64;
  timing.page_write = microseconds(1000);
  timing.byte_transfer = nanoseconds(1000);
  Plug(timing);
  EXPECT_EQ(Cost(0, 60, 10), 2 * milliseconds(1) + 10 * microseconds(1));
  EXPECT_EQ(Cost(0, 0, 2047), 32 * milliseconds(1) + 2047 * microseconds(1));
}

TEST_P(EepromTimingTest, RealTimeTakesAtLeastTheModelledTime) {
  EepromTiming timing;
  timing.real_time = true;
  Plug(timing);
  const auto start = std::chrono::steady_clock::now();
  const nanoseconds write = Cost(0, 0, 300);  // 3 pages: a little over 21 ms
  const nanoseconds read = Cost(1, 0, 300);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(write, 3 * kPage + 300 * kByte);
  EXPECT_GE(elapsed, write + read);
}

INSTANTIATE_TEST_SUITE_P(BothDrivers, EepromTimingTest,
                         ::testing::Values(Driver::kLegacyEzusb, Driver::kCyUsb),
                         DriverName);

TEST(EepromRealTimeTest, ATransferCompletingAtOnceAlsoTakesItsTime) {
  SimulatedUsbBus bus;
  bus.CompleteAtOnce(true);
  DeviceProfile profile;
  profile.timing.real_time = true;
  SimulatedUsbDevice& device = bus.AddDevice(Driver::kCyUsb, 0, profile);
  const platform::DriverHandle handle = OpenMember(bus, 0);
  ASSERT_NE(handle, platform::kInvalidDriverHandle);
  ControlTransfer write(MakeSetup(kVendorOut, kEeprom, 0, 0, 256), Pattern(256, 1));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(write.Start(bus, handle), 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, device.ModelledTime());
  EXPECT_EQ(device.ModelledTime(), 2 * kPage + 256 * kByte);
}

}  // namespace
}  // namespace flashwright::usbsim
