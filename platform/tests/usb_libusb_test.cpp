// The system's USB driver layer (libusb) end to end, against EZ-USB devices emulated under
// umockdev: the requests go through libusb and usbdevfs ioctls to the emulated device.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_mockdev/emulated_ezusb.h"

// Freed memory is filled, so that a device handle used after its close fails loudly in the
// sanitizer build instead of reading what happens to be left there.
extern "C" const char* __asan_default_options() {
  return "max_free_fill_size=4096:free_fill_byte=190";
}

namespace flashwright::platform {
namespace {

using mockdev::EmulatedDeviceProfile;
using mockdev::EmulatedEzUsb;
using mockdev::UsbTestbed;

struct Transfer {
  std::uint32_t code = 0;
  std::uint32_t returned = 0;
  TransferHeader header;
  std::vector<std::uint8_t> data;
};

class LibusbLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UsbTestbed::Preloaded()) GTEST_SKIP() << "needs umockdev-wrapper";
  }
  void TearDown() override {
    if (handle_ != kInvalidDriverHandle) io().Close(handle_);
  }

  UsbDriverIo& io() { return SystemUsbDriverIo(); }

  std::vector<std::string> Members() {
    std::vector<std::string> paths;
    for (std::uint32_t i = 0;; ++i) {
      std::string path;
      if (io().InterfaceMemberPath(kCyUsbInterfaceClass, i, &path) != 0) break;
      paths.push_back(path);
    }
    return paths;
  }

  void OpenFirst() {
    std::string path;
    ASSERT_EQ(io().InterfaceMemberPath(kCyUsbInterfaceClass, 0, &path), 0u);
    std::uint32_t error = 1;
    handle_ = io().Open(path, true, &error);
    ASSERT_NE(handle_, kInvalidDriverHandle);
    ASSERT_EQ(error, 0u);
  }

  // Starts one control transfer on endpoint 0 with a block as the CyUSB driver takes it.
  std::uint32_t Start(const SetupPacket& setup, const std::vector<std::uint8_t>& out_data,
                      std::vector<std::uint8_t>* block, DriverOverlapped* overlapped) {
    block->assign(kTransferHeaderSize + setup.length, 0);
    TransferHeader header;
    header.setup = setup;
    header.timeout_seconds = 5;
    header.data_offset = kTransferHeaderSize;
    header.data_length = setup.length;
    WriteTransferHeader(header, block->data());
    std::copy(out_data.begin(), out_data.end(), block->begin() + kTransferHeaderSize);
    std::uint32_t returned = 0;
    return io().IoControl(handle_, kCySendEp0Control, block->data(),
                          static_cast<std::uint32_t>(block->size()), block->data(),
                          static_cast<std::uint32_t>(block->size()), &returned, overlapped);
  }

  Transfer Control(const SetupPacket& setup, const std::vector<std::uint8_t>& out_data = {}) {
    std::vector<std::uint8_t> block;
    DriverOverlapped overlapped;
    Transfer result;
    result.code = Start(setup, out_data, &block, &overlapped);
    if (result.code == kErrorIoPending) {
      EXPECT_EQ(overlapped.Wait(10000), kWaitSignalled);
      result.code = overlapped.Result(&result.returned);
    }
    result.header = ReadTransferHeader(block.data());
    if (result.returned > kTransferHeaderSize) {
      result.data.assign(block.begin() + kTransferHeaderSize, block.begin() + result.returned);
    }
    return result;
  }

  static SetupPacket VendorWrite(std::uint16_t address, std::uint16_t length) {
    return {0x40, 0xA2, address, 0, length};
  }
  static SetupPacket VendorRead(std::uint16_t address, std::uint16_t length) {
    return {0xC0, 0xA2, address, 0, length};
  }

  UsbTestbed testbed_;
  DriverHandle handle_ = kInvalidDriverHandle;
};

TEST_F(LibusbLayerTest, MembersAreTheDevicesThatTheIdListMatches) {
  EXPECT_TRUE(Members().empty()) << "no device: an empty list, not an error";
  EmulatedDeviceProfile ezusb;
  ezusb.address = 5;
  testbed_.AddDevice(ezusb);
  EmulatedDeviceProfile other;
  other.vendor_id = 0x1234;
  other.product_id = 0x5678;
  other.address = 3;
  testbed_.AddDevice(other);

  {
    test::ScopedEnv ids("FLASHWRIGHT_USB_IDS", nullptr);
    EXPECT_EQ(Members(), std::vector<std::string>{"usb:1:5"});
  }
  {
    test::ScopedEnv ids("FLASHWRIGHT_USB_IDS", "1234:5678, 04B4:*");
    EXPECT_EQ(Members(), (std::vector<std::string>{"usb:1:3", "usb:1:5"}));
  }
  {
    test::ScopedEnv ids("FLASHWRIGHT_USB_IDS", "04b4:0001,zz:*,04b4,04b4:86131,:8613,1234:");
    EXPECT_TRUE(Members().empty()) << "malformed entries match nothing";
  }
  {
    test::ScopedEnv ids("FLASHWRIGHT_USB_IDS", "04b4:8613");
    EXPECT_EQ(Members(), std::vector<std::string>{"usb:1:5"});
  }
  std::uint32_t error = 0;
  EXPECT_EQ(io().Open("usb:9:9", true, &error), kInvalidDriverHandle);
  EXPECT_EQ(error, kErrorFileNotFound);
}

TEST_F(LibusbLayerTest, DescriptorsAndTheEepromThroughTransferBlocks) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  OpenFirst();

  const Transfer descriptor = Control({0x80, 6, 0x0100, 0, 18});
  ASSERT_EQ(descriptor.code, 0u);
  ASSERT_EQ(descriptor.returned, kTransferHeaderSize + 18);
  EXPECT_EQ(ReadLe16(&descriptor.data[8]), 0x04B4);
  EXPECT_EQ(ReadLe16(&descriptor.data[10]), 0x8613);
  EXPECT_EQ(descriptor.header.usbd_status, 0u);

  const Transfer languages = Control({0x80, 6, 0x0300, 0, 2});
  ASSERT_EQ(languages.code, 0u);
  EXPECT_EQ(languages.data, (std::vector<std::uint8_t>{4, 3}));
  const Transfer product = Control({0x80, 6, 0x0302, 0x0409, 255});
  ASSERT_EQ(product.code, 0u);
  ASSERT_EQ(product.data.size(), 2 + 2 * device.profile().product.size())
      << "a short answer returns the bytes that came";
  EXPECT_EQ(product.data[1], 3);
  EXPECT_EQ(product.data[2], device.profile().product[0]);

  std::vector<std::uint8_t> image(300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  const Transfer write = Control(VendorWrite(0x1000, 300), image);
  ASSERT_EQ(write.code, 0u);
  EXPECT_EQ(write.returned, kTransferHeaderSize + 300);
  const std::vector<std::uint8_t> eeprom = device.Eeprom();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin() + 0x1000));
  EXPECT_EQ(eeprom[0x1000 + 300], 0xFF) << "nothing beyond the request";

  const Transfer read = Control(VendorRead(0x1000, 300));
  ASSERT_EQ(read.code, 0u);
  EXPECT_EQ(read.data, image);

  std::uint8_t version[4] = {};
  std::uint32_t returned = 0;
  EXPECT_EQ(io().IoControl(handle_, kCyGetDriverVersion, version, 4, version, 4, &returned,
                           nullptr),
            0u);
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(version[3], 1) << "libusb 1.x, most significant byte first";
  std::uint8_t wrong[3] = {};
  EXPECT_NE(io().IoControl(handle_, kCyGetDriverVersion, wrong, 3, wrong, 3, &returned, nullptr),
            0u)
      << "a query succeeds only with its exact buffer size";
}

TEST_F(LibusbLayerTest, StallAndUnplugAreFailedTransfers) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  OpenFirst();
  device.StallVendorRequests(1);
  const Transfer stalled = Control(VendorRead(0, 5));
  EXPECT_EQ(stalled.code, kErrorGenFailure);
  EXPECT_EQ(stalled.header.usbd_status, kUsbdStatusStallPid);
  EXPECT_EQ(Control(VendorRead(0, 5)).code, 0u) << "the next setup packet clears the stall";

  // Resetting endpoint 0 needs no request and succeeds.
  const std::uint8_t endpoint = 0;
  std::uint32_t returned = 0;
  EXPECT_EQ(io().IoControl(handle_, kCyResetPipe, &endpoint, 1, nullptr, 0, &returned, nullptr),
            0u);

  device.UnplugAfterBytes(100);
  const std::vector<std::uint8_t> block64(64, 0x5A);
  EXPECT_EQ(Control(VendorWrite(0, 64), block64).code, 0u);
  const Transfer gone = Control(VendorWrite(64, 64), block64);
  EXPECT_EQ(gone.code, kErrorDeviceNotConnected);
  EXPECT_EQ(gone.header.usbd_status, kUsbdStatusDeviceGone);
  EXPECT_EQ(gone.header.nt_status, kNtStatusNoSuchDevice);
  EXPECT_TRUE(device.Unplugged());
  EXPECT_EQ(device.Eeprom()[64], 0xFF) << "the failing write wrote nothing";
  EXPECT_EQ(Control(VendorRead(0, 5)).code, kErrorDeviceNotConnected);

  ASSERT_EQ(io().Close(handle_), 0u);
  handle_ = kInvalidDriverHandle;
  EXPECT_TRUE(Members().empty()) << "an unplugged device is listed no more";
}

TEST_F(LibusbLayerTest, ARequestThatNeverCompletesEndsWithAbortOrClose) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  OpenFirst();
  device.HoldVendorRequests(2);

  std::vector<std::uint8_t> block;
  DriverOverlapped overlapped;
  ASSERT_EQ(Start(VendorRead(0, 5), {}, &block, &overlapped), kErrorIoPending);
  EXPECT_EQ(overlapped.Wait(200), kWaitTimeout);
  const std::uint8_t endpoint = 0;
  std::uint32_t returned = 0;
  ASSERT_EQ(io().IoControl(handle_, kCyAbortPipe, &endpoint, 1, nullptr, 0, &returned, nullptr),
            0u);
  ASSERT_EQ(overlapped.Wait(5000), kWaitSignalled);
  EXPECT_EQ(overlapped.Result(&returned), kErrorOperationAborted);
  EXPECT_EQ(ReadTransferHeader(block.data()).usbd_status, kUsbdStatusCanceled);

  std::vector<std::uint8_t> second_block;
  DriverOverlapped second;
  ASSERT_EQ(Start(VendorRead(0, 5), {}, &second_block, &second), kErrorIoPending);
  ASSERT_EQ(io().Close(handle_), 0u) << "close waits for the cancelled transfer";
  handle_ = kInvalidDriverHandle;
  EXPECT_EQ(second.Wait(0), kWaitSignalled);
  EXPECT_EQ(second.Result(&returned), kErrorOperationAborted);
  EXPECT_EQ(device.Counters().discarded, 2u);
}

}  // namespace
}  // namespace flashwright::platform

namespace flashwright::platform {
namespace {

// Requests come from a worker thread while the user-interface thread lists the devices.
TEST_F(LibusbLayerTest, ListingWhileAnotherThreadTransfers) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  EmulatedDeviceProfile second;
  second.address = 7;
  testbed_.AddDevice(second);
  OpenFirst();

  std::vector<std::uint32_t> codes;
  std::thread worker([&] {
    const std::vector<std::uint8_t> data(32, 0xA5);
    for (std::uint16_t block = 0; block < 64; ++block) {
      codes.push_back(Control(VendorWrite(static_cast<std::uint16_t>(block * 32), 32), data).code);
    }
  });
  std::vector<std::vector<std::string>> listings;
  for (int i = 0; i < 20; ++i) listings.push_back(Members());
  worker.join();

  for (const auto& listing : listings) {
    EXPECT_EQ(listing, (std::vector<std::string>{"usb:1:2", "usb:1:7"}));
  }
  EXPECT_EQ(codes, std::vector<std::uint32_t>(64, 0u));
  const std::vector<std::uint8_t> eeprom = device.Eeprom();
  EXPECT_EQ(std::count(eeprom.begin(), eeprom.begin() + 2048, 0xA5), 2048);
}

// A close of a handle while other threads still send it requests (transfers and queries):
// it waits for the requests that use the device, each request either is served or is refused
// as for a closed handle, and nothing is used after it is freed (the sanitizer build checks).
TEST_F(LibusbLayerTest, CloseAgainstRequestsInFlight) {
  EmulatedEzUsb& device = testbed_.AddDevice();
  std::string path;
  ASSERT_EQ(io().InterfaceMemberPath(kCyUsbInterfaceClass, 0, &path), 0u);
  for (int round = 0; round < 40; ++round) {
    std::uint32_t error = 1;
    const DriverHandle handle = io().Open(path, true, &error);
    ASSERT_NE(handle, kInvalidDriverHandle) << "round " << round;
    std::atomic<int> served{0};
    std::atomic<bool> unexpected{false};
    auto requests = [&](int kind) {
      for (;;) {
        std::uint32_t code = 0;
        std::uint32_t returned = 0;
        if (kind == 0) {
          std::vector<std::uint8_t> block(kTransferHeaderSize + 16, 0);
          TransferHeader header;
          header.setup = VendorRead(static_cast<std::uint16_t>(round * 16), 16);
          header.timeout_seconds = 5;
          header.data_offset = kTransferHeaderSize;
          header.data_length = 16;
          WriteTransferHeader(header, block.data());
          code = io().IoControl(handle, kCySendEp0Control, block.data(),
                                static_cast<std::uint32_t>(block.size()), block.data(),
                                static_cast<std::uint32_t>(block.size()), &returned, nullptr);
        } else {
          std::uint8_t speed[4] = {};
          code = io().IoControl(handle, kind == 1 ? kCyGetSpeed : kCyGetUsbdiVersion, nullptr,
                                0, speed, sizeof speed, &returned, nullptr);
        }
        if (code == kErrorInvalidHandle) return;  // closed: refused, the device untouched
        if (code == 0) {
          ++served;
        } else if (code != kErrorOperationAborted) {
          unexpected = true;
          return;
        }
      }
    };
    std::vector<std::thread> threads;
    for (int kind = 0; kind < 3; ++kind) threads.emplace_back(requests, kind);
    while (served < 3 * (1 + round % 4)) std::this_thread::yield();
    EXPECT_EQ(io().Close(handle), 0u) << "round " << round;
    for (std::thread& thread : threads) thread.join();
    EXPECT_FALSE(unexpected) << "round " << round;
    EXPECT_EQ(io().Close(handle), kErrorInvalidHandle) << "closed once";
  }
  EXPECT_FALSE(device.Unplugged());
  // The layer is whole afterwards: the device opens and answers.
  OpenFirst();
  EXPECT_EQ(Control(VendorRead(0, 5)).code, 0u);
}

}  // namespace
}  // namespace flashwright::platform
