// Failures on demand, the same on both drivers: what the request gives and what the EEPROM holds
// afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "tools/usb_sim/simulated_usb.h"
#include "tools/usb_sim/tests/driver_client.h"

namespace flashwright::usbsim {
namespace {

using namespace testing;
using platform::kInvalidDriverHandle;

constexpr std::uint8_t kFirstByte = 0xC2;

// EEPROM requests through whichever driver serves the device; the result is the system error
// code the driver's client sees.
class FailuresTest : public ::testing::TestWithParam<Driver> {
 protected:
  void SetUp() override {
    device_ = &bus_.AddDevice(GetParam(), 0);
    handle_ = Open();
    ASSERT_NE(handle_, kInvalidDriverHandle);
  }

  platform::DriverHandle Open(std::uint32_t* error = nullptr) {
    if (GetParam() == Driver::kCyUsb) return OpenMember(bus_, 0, error);
    std::uint32_t ignored = 0;
    return bus_.Open(LegacyName(0), false, error != nullptr ? error : &ignored);
  }

  std::uint32_t Write(std::uint16_t address, const Bytes& data) {
    if (GetParam() == Driver::kLegacyEzusb) {
      Bytes copy = data;
      return LegacyVendor(bus_, handle_, 0, address, copy);
    }
    ControlTransfer transfer(
        MakeSetup(kVendorOut, kEeprom, address, 0, static_cast<std::uint16_t>(data.size())), data);
    const std::uint32_t error = transfer.Run(bus_, handle_);
    usbd_status_ = transfer.UsbdStatus();
    if (error == 0) {
      EXPECT_EQ(transfer.UsbdStatus() | transfer.NtStatus(), 0u);
    }
    return error;
  }

  std::uint32_t Read(std::uint16_t address, std::size_t length, Bytes* data) {
    if (GetParam() == Driver::kLegacyEzusb) {
      data->assign(length, 0);
      return LegacyVendor(bus_, handle_, 1, address, *data);
    }
    ControlTransfer transfer(
        MakeSetup(kVendorIn, kEeprom, address, 0, static_cast<std::uint16_t>(length)));
    const std::uint32_t error = transfer.Run(bus_, handle_);
    usbd_status_ = transfer.UsbdStatus();
    *data = transfer.Data();
    return error;
  }

  // Whether the device is still a device of its driver.
  bool Listed() {
    if (GetParam() == Driver::kCyUsb) {
      std::string path;
      return bus_.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path) == 0;
    }
    std::uint32_t error = 0;
    const platform::DriverHandle handle = Open(&error);
    if (handle == kInvalidDriverHandle) return false;
    bus_.Close(handle);
    return true;
  }

  bool CyUsb() const { return GetParam() == Driver::kCyUsb; }

  SimulatedUsbBus bus_;
  SimulatedUsbDevice* device_ = nullptr;
  platform::DriverHandle handle_ = kInvalidDriverHandle;
  std::uint32_t usbd_status_ = 0;  // of the last CyUSB transfer
};

TEST_P(FailuresTest, FailedWritesStoreNothing) {
  device_->FailWrites(2, 2, platform::kErrorDeviceRemoved);
  EXPECT_EQ(Write(0x000, Pattern(16, 1)), 0u);
  EXPECT_EQ(Write(0x100, Pattern(16, 2)), platform::kErrorDeviceRemoved);
  if (CyUsb()) {
    EXPECT_EQ(usbd_status_, platform::kUsbdStatusDeviceGone);
  }
  Bytes read;
  EXPECT_EQ(Read(0, 4, &read), 0u);  // reads do not count
  EXPECT_EQ(Write(0x200, Pattern(16, 3)), platform::kErrorDeviceRemoved);
  EXPECT_EQ(Write(0x300, Pattern(16, 4)), 0u);

  Bytes expected = FreshEeprom(kFirstByte);
  const Bytes first = Pattern(16, 1);
  const Bytes fourth = Pattern(16, 4);
  std::copy(first.begin(), first.end(), expected.begin());
  std::copy(fourth.begin(), fourth.end(), expected.begin() + 0x300);
  EXPECT_EQ(device_->Eeprom(), expected);
  const DeviceCounters counters = device_->Counters();
  EXPECT_EQ(counters.eeprom_writes, 2u);
  EXPECT_EQ(counters.eeprom_bytes_written, 32u);
  EXPECT_EQ(counters.vendor_requests, 5u);
  EXPECT_TRUE(device_->Plugged());

  // Any code may be given; counting starts anew from each call.
  device_->FailWrites(1, 1, platform::kErrorDeviceNotConnected);
  EXPECT_EQ(Write(0x400, Pattern(8, 5)), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(Write(0x400, Pattern(8, 5)), 0u);
}

TEST_P(FailuresTest, DeadMarkerStartsTheDataOfReads) {
  ASSERT_EQ(Write(0x10, Pattern(8, 0x20)), 0u);
  device_->AnswerDeadMarker(true);
  Bytes read;
  ASSERT_EQ(Read(0x10, 8, &read), 0u);
  Bytes expected = Pattern(8, 0x20);
  expected[0] = 0xDE;
  expected[1] = 0xAD;
  EXPECT_EQ(read, expected);
  ASSERT_EQ(Read(0x10, 1, &read), 0u);
  EXPECT_EQ(read, Bytes{0xDE});
  // Writes are not touched by it, and the EEPROM keeps what was written.
  EXPECT_EQ(Write(0x20, Pattern(4, 0x30)), 0u);
  EXPECT_EQ(device_->Eeprom()[0x10], Pattern(8, 0x20)[0]);
  device_->AnswerDeadMarker(false);
  ASSERT_EQ(Read(0x10, 8, &read), 0u);
  EXPECT_EQ(read, Pattern(8, 0x20));
}

TEST_P(FailuresTest, StalledVendorRequestsWriteNothing) {
  device_->StallVendorRequests(2);
  EXPECT_EQ(Write(0, Pattern(8, 1)), platform::kErrorGenFailure);
  if (CyUsb()) {
    EXPECT_EQ(usbd_status_, platform::kUsbdStatusStallPid);
  }
  Bytes read;
  EXPECT_EQ(Read(0, 8, &read), platform::kErrorGenFailure);
  EXPECT_EQ(device_->Eeprom(), FreshEeprom(kFirstByte));
  EXPECT_EQ(Write(0, Pattern(8, 1)), 0u);
  EXPECT_EQ(device_->Counters().eeprom_writes, 1u);
  EXPECT_EQ(device_->Counters().vendor_requests, 3u);
}

TEST_P(FailuresTest, UnplugAfterBytesMidSequence) {
  device_->UnplugAfterBytes(100);
  EXPECT_EQ(Write(0, Pattern(60, 1)), 0u);
  EXPECT_EQ(Write(60, Pattern(40, 2)), 0u);  // exactly at the limit
  EXPECT_TRUE(Listed());
  EXPECT_EQ(Write(100, Pattern(1, 3)), platform::kErrorDeviceNotConnected);
  if (CyUsb()) {
    EXPECT_EQ(usbd_status_, platform::kUsbdStatusDeviceGone);
  }
  EXPECT_FALSE(device_->Plugged());
  EXPECT_FALSE(Listed());

  Bytes read;
  EXPECT_EQ(Read(0, 4, &read), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(Write(200, Pattern(1, 4)), platform::kErrorDeviceNotConnected);
  const Bytes eeprom = device_->Eeprom();
  EXPECT_EQ(Bytes(eeprom.begin(), eeprom.begin() + 60), Pattern(60, 1));
  EXPECT_EQ(Bytes(eeprom.begin() + 60, eeprom.begin() + 100), Pattern(40, 2));
  EXPECT_EQ(eeprom[100], 0xFF);
  EXPECT_EQ(eeprom[200], 0xFF);
  const DeviceCounters counters = device_->Counters();
  EXPECT_EQ(counters.eeprom_bytes_written, 100u);
  // The requests that found the device gone were still sent and are recorded.
  EXPECT_EQ(counters.setups.size(), 5u);
}

TEST_P(FailuresTest, WriteProtectedBytesAreAcknowledgedButKept) {
  device_->WriteProtectFrom(0x200);
  const Bytes data = Pattern(32, 0x50);
  EXPECT_EQ(Write(0x1F0, data), 0u);
  Bytes read;
  ASSERT_EQ(Read(0x1F0, 32, &read), 0u);
  EXPECT_EQ(Bytes(read.begin(), read.begin() + 16), Bytes(data.begin(), data.begin() + 16));
  EXPECT_EQ(Bytes(read.begin() + 16, read.end()), Bytes(16, 0xFF));
}

TEST_P(FailuresTest, RefusedOpen) {
  device_->RefuseOpen(true);
  std::uint32_t error = 0;
  EXPECT_EQ(Open(&error), kInvalidDriverHandle);
  EXPECT_EQ(error, 5u);
  // The handle opened before stays usable.
  EXPECT_EQ(Write(0, Pattern(2, 1)), 0u);
  device_->RefuseOpen(false);
  const platform::DriverHandle handle = Open(&error);
  EXPECT_NE(handle, kInvalidDriverHandle);
  EXPECT_EQ(bus_.Close(handle), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothDrivers, FailuresTest,
                         ::testing::Values(Driver::kLegacyEzusb, Driver::kCyUsb),
                         DriverName);

TEST(NeverCompletingRequestsTest, LegacyDriverGivesUpAfterItsLimit) {
  SimulatedUsbBus bus;
  SimulatedUsbDevice& device = bus.AddDevice(Driver::kLegacyEzusb, 0);
  device.NeverCompleteRequests(1, std::chrono::milliseconds(60));
  std::uint32_t error = 0;
  const platform::DriverHandle handle = bus.Open(LegacyName(0), false, &error);
  ASSERT_NE(handle, kInvalidDriverHandle);
  Bytes data = Pattern(8, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(LegacyVendor(bus, handle, 0, 0, data), platform::kErrorSemTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
  EXPECT_EQ(device.Eeprom(), FreshEeprom(kFirstByte));
  EXPECT_EQ(LegacyVendor(bus, handle, 0, 0, data), 0u);
  EXPECT_EQ(device.Eeprom()[1], data[1]);
}

TEST(NeverCompletingRequestsTest, CyUsbTransfersStayPendingUntilAborted) {
  SimulatedUsbBus bus;
  bus.CompleteAtOnce(true);  // a request that never completes still goes pending
  SimulatedUsbDevice& device = bus.AddDevice(Driver::kCyUsb, 0);
  device.NeverCompleteRequests(2);
  const platform::DriverHandle handle = OpenMember(bus, 0);
  ASSERT_NE(handle, kInvalidDriverHandle);
  // Standard requests are not vendor requests and are answered.
  ControlTransfer descriptor(GetDescriptor(0x0100, 18));
  EXPECT_EQ(descriptor.Run(bus, handle), 0u);
  for (int i = 0; i < 2; ++i) {
    ControlTransfer read(MakeSetup(kVendorIn, kEeprom, 0, 0, 4));
    ASSERT_EQ(read.Start(bus, handle), platform::kErrorIoPending);
    EXPECT_FALSE(read.Await(30));
    std::uint8_t endpoint = 0;
    std::uint32_t returned = 0;
    ASSERT_EQ(bus.IoControl(handle, platform::kCyAbortPipe, &endpoint, 1, nullptr, 0, &returned,
                            nullptr),
              0u);
    ASSERT_TRUE(read.Await(0));
    EXPECT_EQ(read.Error(), platform::kErrorOperationAborted);
  }
  ControlTransfer read(MakeSetup(kVendorIn, kEeprom, 0, 0, 4));
  EXPECT_EQ(read.Run(bus, handle), 0u);
}

// The bus serves a worker thread while the test thread reads the device's state.
TEST(SimulatedUsbBusTest, ServesAWorkerWhileTheStateIsRead) {
  SimulatedUsbBus bus;
  SimulatedUsbDevice& device = bus.AddDevice(Driver::kCyUsb, 0);
  const platform::DriverHandle handle = OpenMember(bus, 0);
  ASSERT_NE(handle, kInvalidDriverHandle);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (std::uint16_t block = 0; block < 64; ++block) {
      const auto address = static_cast<std::uint16_t>(block * 64);
      ControlTransfer write(MakeSetup(kVendorOut, kEeprom, address, 0, 64),
                            Pattern(64, static_cast<std::uint8_t>(block)));
      EXPECT_EQ(write.Run(bus, handle), 0u);
    }
    done = true;
  });
  std::uint32_t seen = 0;
  while (!done) {
    const std::uint32_t written = device.Counters().eeprom_bytes_written;
    EXPECT_GE(written, seen);
    seen = written;
    (void)device.Eeprom();
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(device.Counters().eeprom_writes, 64u);
  EXPECT_EQ(device.Counters().eeprom_bytes_written, 64u * 64u);
}

}  // namespace
}  // namespace flashwright::usbsim
