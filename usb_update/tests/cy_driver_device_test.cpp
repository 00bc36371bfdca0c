// The CyUSB device and endpoint classes against the simulated device: opening by member index,
// the identity read at open, and the control transfer with its block, timeout and abort.
#include "usb_update/cy_driver_device.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/usb_driver_requests.h"
#include "tools/usb_sim/simulated_usb.h"
#include "usb_update/cy_usb_endpoint.h"
#include "usb_update/tests/recording_driver_io.h"

namespace flashwright {
namespace {

using platform::kCyUsbInterfaceClass;
using usbsim::DeviceProfile;
using usbsim::Driver;

class CyDriverDeviceTest : public ::testing::Test {
 protected:
  usbsim::SimulatedUsbBus bus;
  usbtest::RecordingDriverIo io{&bus};
  platform::ScopedUsbDriverIo scope{&io};
};

// ---- Finding and opening members of the interface class.

TEST_F(CyDriverDeviceTest, CountsThePluggedMembers) {
  CCyDriverDevice device(kCyUsbInterfaceClass);
  EXPECT_EQ(device.CountInterfaces(), 0u);
  bus.AddDevice(Driver::kCyUsb, 0);
  bus.AddDevice(Driver::kCyUsb, 1);
  bus.AddDevice(Driver::kLegacyEzusb, 0);  // not a member of the class
  EXPECT_EQ(device.CountInterfaces(), 2u);
  bus.Device(Driver::kCyUsb, 1)->Unplug();
  EXPECT_EQ(device.CountInterfaces(), 1u);
}

TEST_F(CyDriverDeviceTest, OpenBeyondTheLastMemberOpensNothing) {
  auto& first = bus.AddDevice(Driver::kCyUsb, 0);
  auto& second = bus.AddDevice(Driver::kCyUsb, 1);
  CCyDriverDevice device(kCyUsbInterfaceClass);
  EXPECT_FALSE(device.OpenInterface(2));
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(device.ControlEndPoint(), nullptr);
  EXPECT_TRUE(io.opened_paths.empty());
  EXPECT_EQ(first.Counters().opens, 0u);
  EXPECT_EQ(second.Counters().opens, 0u);

  CCyDriverDevice none(kCyUsbInterfaceClass);
  bus.Device(Driver::kCyUsb, 0)->Unplug();
  bus.Device(Driver::kCyUsb, 1)->Unplug();
  EXPECT_FALSE(none.OpenInterface(0));
  EXPECT_TRUE(io.opened_paths.empty());
}

TEST_F(CyDriverDeviceTest, OpenThatIsRefusedFails) {
  bus.AddDevice(Driver::kCyUsb, 0).RefuseOpen(true);
  CCyDriverDevice device(kCyUsbInterfaceClass);
  EXPECT_FALSE(device.OpenInterface(0));
  EXPECT_FALSE(device.IsOpen());
}

TEST_F(CyDriverDeviceTest, ReopeningClosesTheFirstHandleAndCloseReleasesEverything) {
  auto& first = bus.AddDevice(Driver::kCyUsb, 0);
  auto& second = bus.AddDevice(Driver::kCyUsb, 1);
  {
    CCyDriverDevice device(kCyUsbInterfaceClass);
    ASSERT_TRUE(device.OpenInterface(0));
    EXPECT_EQ(first.Counters().open_handles, 1u);
    ASSERT_TRUE(device.OpenInterface(1));
    EXPECT_EQ(first.Counters().open_handles, 0u);
    EXPECT_EQ(second.Counters().open_handles, 1u);
    EXPECT_EQ(device.Close(), 0u);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.ControlEndPoint(), nullptr);
    EXPECT_TRUE(device.EndPoints().empty());
    EXPECT_EQ(second.Counters().open_handles, 0u);
    ASSERT_TRUE(device.OpenInterface(0));
  }
  EXPECT_EQ(first.Counters().open_handles, 0u);  // the destructor closed it
}

// ---- The identity read at open.

TEST_F(CyDriverDeviceTest, ReadsTheIdentityAndBuildsTheEndpoints) {
  DeviceProfile profile;
  profile.vendor_id = 0x1234;
  profile.product_id = 0xABCD;
  profile.max_packet_size0 = 32;
  profile.product = "Gate";
  profile.driver_version = 0x03010203;
  bus.AddDevice(Driver::kCyUsb, 0, profile);
  CCyDriverDevice device(kCyUsbInterfaceClass);
  ASSERT_TRUE(device.OpenInterface(0));

  EXPECT_EQ(device.VendorId(), 0x1234);
  EXPECT_EQ(device.ProductId(), 0xABCD);
  const std::uint8_t gate[] = {'G', 0, 'a', 0, 't', 0, 'e', 0, 0, 0};
  EXPECT_EQ(std::memcmp(device.product_string().data(), gate, sizeof gate), 0);
  EXPECT_EQ(device.manufacturer_string()[0], 'O');
  EXPECT_EQ(device.serial_number_string()[0], '0');
  EXPECT_EQ(device.driver_version(), 0x03010203u);

  CCyControlEndPoint* control = device.ControlEndPoint();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->max_packet_size, 32);
  EXPECT_EQ(control->timeout, 10000u);
  EXPECT_EQ(control->address, 0);
  EXPECT_EQ(control->descriptor_length, 7);
  EXPECT_EQ(control->descriptor_type, 5);
  EXPECT_EQ(control->transfer_mode, kCyBufferedMode);

  // Identity reads are standard requests with a 5-second limit, not the vendor request.
  for (const auto& request : io.RequestsWithCode(platform::kCySendEp0Control)) {
    ASSERT_GE(request.in.size(), platform::kTransferHeaderSize);
    const platform::TransferHeader header = platform::ReadTransferHeader(request.in.data());
    EXPECT_EQ(header.setup.request_type, 0x80);
    EXPECT_EQ(header.setup.request, 6);
    EXPECT_EQ(header.timeout_seconds, 5u);
    EXPECT_FALSE(request.overlapped);
  }

  // One configuration: bulk out, bulk in and interrupt in, each of its own class.
  ASSERT_EQ(device.ConfigurationDescriptors().size(), 1u);
  ASSERT_EQ(device.EndPoints().size(), 3u);
  int bulk = 0;
  int interrupt = 0;
  for (const auto& endpoint : device.EndPoints()) {
    if (dynamic_cast<CCyBulkEndPoint*>(endpoint.get()) != nullptr) ++bulk;
    if (dynamic_cast<CCyInterruptEndPoint*>(endpoint.get()) != nullptr) ++interrupt;
    EXPECT_EQ(endpoint->is_input, (endpoint->address & 0x80) != 0);
    EXPECT_EQ(endpoint->transfer_mode, kCyDirectMode);
    EXPECT_EQ(endpoint->timeout, 10000u);
    EXPECT_EQ(endpoint->device_handle, device.handle());
  }
  EXPECT_EQ(bulk, 2);
  EXPECT_EQ(interrupt, 1);
}

TEST_F(CyDriverDeviceTest, PrefersUsEnglishWhenListed) {
  DeviceProfile both;
  both.languages = {0x0407, 0x0409};
  bus.AddDevice(Driver::kCyUsb, 0, both);
  DeviceProfile german;
  german.languages = {0x0407};
  bus.AddDevice(Driver::kCyUsb, 1, german);

  CCyDriverDevice device(kCyUsbInterfaceClass);
  ASSERT_TRUE(device.OpenInterface(0));
  EXPECT_EQ(device.language_id(), 0x0409);
  ASSERT_TRUE(device.OpenInterface(1));
  EXPECT_EQ(device.language_id(), 0x0407);
  // The strings are asked for in the language chosen.
  const auto setups = bus.Device(Driver::kCyUsb, 1)->Counters().setups;
  int product_reads = 0;
  for (const auto& setup : setups) {
    if (setup.value == (0x0300 | device.device_descriptor()[15])) {
      EXPECT_EQ(setup.index, 0x0407);
      ++product_reads;
    }
  }
  EXPECT_EQ(product_reads, 2);  // the length, then the whole descriptor
}

TEST_F(CyDriverDeviceTest, MissingStringsAreNotAskedForAndStayEmpty) {
  DeviceProfile profile;
  profile.manufacturer.clear();
  profile.serial_number.clear();
  bus.AddDevice(Driver::kCyUsb, 0, profile);
  CCyDriverDevice device(kCyUsbInterfaceClass);
  ASSERT_TRUE(device.OpenInterface(0));
  EXPECT_EQ(device.device_descriptor()[14], 0);
  EXPECT_EQ(device.manufacturer_string()[0], 0);
  EXPECT_EQ(device.serial_number_string()[0], 0);
  EXPECT_EQ(device.product_string()[0], 'O');
}

// ---- Control transfers.

class CyControlTransferTest : public CyDriverDeviceTest {
 protected:
  void SetUp() override {
    eeprom = &bus.AddDevice(Driver::kCyUsb, 0);
    ASSERT_TRUE(device.OpenInterface(0));
    control = device.ControlEndPoint();
    control->request_code = 0xA2;
    io.requests.clear();
  }

  platform::TransferHeader LastHeader() const {
    const auto sent = io.RequestsWithCode(platform::kCySendEp0Control);
    EXPECT_FALSE(sent.empty());
    if (sent.empty()) return {};
    return platform::ReadTransferHeader(sent.back().in.data());
  }

  usbsim::SimulatedUsbDevice* eeprom = nullptr;
  CCyDriverDevice device{kCyUsbInterfaceClass};
  CCyControlEndPoint* control = nullptr;
};

TEST_F(CyControlTransferTest, VendorReadBuildsTheBlockTheDeviceSees) {
  std::uint8_t data[5] = {};
  std::int32_t length = 5;
  ASSERT_TRUE(control->TransferIn(data, &length));
  EXPECT_EQ(length, 5);
  EXPECT_EQ(control->bytes_transferred, 5);
  EXPECT_EQ(data[0], eeprom->profile().first_byte);
  EXPECT_TRUE(control->is_input);

  const auto sent = io.RequestsWithCode(platform::kCySendEp0Control);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].in.size(), 38u + 5u);
  EXPECT_EQ(sent[0].out_size, 38u + 5u);
  EXPECT_TRUE(sent[0].overlapped);
  const std::uint8_t setup[] = {0xC0, 0xA2, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00};
  EXPECT_EQ(std::memcmp(sent[0].in.data(), setup, sizeof setup), 0);
  const platform::TransferHeader header = platform::ReadTransferHeader(sent[0].in.data());
  EXPECT_EQ(header.timeout_seconds, 10u);
  EXPECT_EQ(header.endpoint, 0);
  EXPECT_EQ(header.data_offset, 38u);
  EXPECT_EQ(header.data_length, 5u);
  EXPECT_EQ(header.iso_table_offset, 0u);

  const platform::SetupPacket seen = eeprom->Counters().last_setup;
  EXPECT_EQ(seen.request_type, 0xC0);
  EXPECT_EQ(seen.request, 0xA2);
  EXPECT_EQ(seen.length, 5);
}

TEST_F(CyControlTransferTest, WriteCarriesItsDataInTheBlock) {
  std::uint8_t data[3] = {0x11, 0x22, 0x33};
  std::int32_t length = 3;
  control->value = 0x0100;
  ASSERT_TRUE(control->TransferOut(data, &length));
  EXPECT_EQ(length, 3);
  EXPECT_FALSE(control->is_input);
  const auto sent = io.RequestsWithCode(platform::kCySendEp0Control);
  ASSERT_EQ(sent.size(), 1u);
  const std::uint8_t expected[] = {0x40, 0xA2, 0x00, 0x01, 0x00, 0x00, 0x03, 0x00};
  EXPECT_EQ(std::memcmp(sent[0].in.data(), expected, sizeof expected), 0);
  EXPECT_EQ(sent[0].in[38], 0x11);
  EXPECT_EQ(sent[0].in[40], 0x33);
  EXPECT_EQ(eeprom->Eeprom()[0x100], 0x11);
  EXPECT_EQ(eeprom->Eeprom()[0x102], 0x33);
}

TEST_F(CyControlTransferTest, RecipientTypeAndDirectionAreMaskedIntoRequestType) {
  std::uint8_t data[2] = {};
  std::int32_t length = 2;
  control->recipient = 0x23;  // only the low five bits count
  control->request_type = 7;  // only two bits count
  control->TransferIn(data, &length);
  EXPECT_EQ(LastHeader().setup.request_type, 0x80 | 0x60 | 0x03);
}

TEST_F(CyControlTransferTest, TimeoutBecomesWholeSecondsInTheBlock) {
  bus.CompleteAtOnce(true);  // a zero timeout must not abort a transfer before it is sent
  std::uint8_t data[1] = {};
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {500, 1}, {10000, 10}, {0, 0}, {1, 1}, {999, 1}, {1000, 1}, {1999, 1}, {2500, 2}};
  for (const auto& [milliseconds, seconds] : cases) {
    control->timeout = milliseconds;
    std::int32_t length = 1;
    control->TransferIn(data, &length);
    EXPECT_EQ(LastHeader().timeout_seconds, seconds) << milliseconds << " ms";
    EXPECT_EQ(CyTimeoutSeconds(milliseconds), seconds);
  }
}

TEST_F(CyControlTransferTest, StallFailsWithTheDriversStatusWords) {
  eeprom->StallVendorRequests(1);
  std::uint8_t data[4] = {};
  std::int32_t length = 4;
  EXPECT_FALSE(control->TransferIn(data, &length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(control->usbd_status, platform::kUsbdStatusStallPid);
  EXPECT_NE(control->nt_status, 0u);
  // The next transfer succeeds and clears the status words.
  length = 4;
  EXPECT_TRUE(control->TransferIn(data, &length));
  EXPECT_EQ(control->usbd_status, 0u);
  EXPECT_EQ(control->nt_status, 0u);
}

TEST_F(CyControlTransferTest, TransferThatNeverEndsIsAbortedAfterTheTimeout) {
  eeprom->NeverCompleteRequests(1);
  control->timeout = 50;
  std::uint8_t data[4] = {};
  std::int32_t length = 4;
  EXPECT_FALSE(control->TransferIn(data, &length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(eeprom->Counters().aborts, 1u);
  const auto aborts = io.RequestsWithCode(platform::kCyAbortPipe);
  ASSERT_EQ(aborts.size(), 1u);
  EXPECT_EQ(aborts[0].in, std::vector<std::uint8_t>{0});
  // The endpoint works again afterwards.
  length = 4;
  EXPECT_TRUE(control->TransferIn(data, &length));
}

TEST_F(CyControlTransferTest, DataCountStaysWithinTheBuffer) {
  bus.CompleteAtOnce(true);
  std::uint8_t data[8] = {};
  data[5] = 0x5A;  // beyond the requested 5 bytes: must stay untouched
  io.bend_code = platform::kCySendEp0Control;
  io.bent_returned = 38 + 500;  // a driver claiming more than the block holds
  std::int32_t length = 5;
  EXPECT_TRUE(control->TransferIn(data, &length));
  EXPECT_EQ(length, 5);
  EXPECT_EQ(data[5], 0x5A);

  io.bent_returned = 10;  // less than the header: nothing moved
  length = 5;
  EXPECT_TRUE(control->TransferIn(data, &length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(control->bytes_transferred, 0);
}

TEST_F(CyControlTransferTest, RefusesLengthsASetupPacketCannotCarry) {
  std::uint8_t data[1] = {};
  std::int32_t length = 0x10000;
  EXPECT_FALSE(control->TransferOut(data, &length));
  EXPECT_EQ(control->last_error, platform::kErrorInvalidParameter);
  length = -1;
  EXPECT_FALSE(control->TransferOut(data, &length));
  length = 4;
  EXPECT_FALSE(control->TransferOut(nullptr, &length));
  EXPECT_TRUE(io.RequestsWithCode(platform::kCySendEp0Control).empty());
}

TEST_F(CyControlTransferTest, ResetAndAbortNameTheEndpoint) {
  EXPECT_TRUE(control->ResetEndpoint());
  EXPECT_TRUE(control->AbortEndpoint());
  ASSERT_EQ(io.RequestsWithCode(platform::kCyResetPipe).size(), 1u);
  EXPECT_EQ(io.RequestsWithCode(platform::kCyResetPipe)[0].in, std::vector<std::uint8_t>{0});
  EXPECT_EQ(eeprom->Counters().resets, 1u);
  eeprom->Unplug();
  EXPECT_FALSE(control->ResetEndpoint());
}

TEST_F(CyControlTransferTest, ClosedHandleStartsNothing) {
  CCyControlEndPoint orphan(platform::kInvalidDriverHandle, 64);
  std::uint8_t data[1] = {};
  std::int32_t length = 1;
  EXPECT_FALSE(orphan.TransferIn(data, &length));
  EXPECT_EQ(orphan.last_error, platform::kErrorInvalidHandle);
  EXPECT_FALSE(orphan.ResetEndpoint());
  EXPECT_TRUE(io.requests.empty());
}

TEST_F(CyControlTransferTest, DataEndpointsReportTheirTransfersAsNotSupported) {
  for (const auto& endpoint : device.EndPoints()) {
    std::uint8_t data[4] = {};
    std::int32_t length = 4;
    EXPECT_FALSE(endpoint->RunTransfer(data, &length));
    EXPECT_EQ(endpoint->last_error, platform::kErrorNotSupported);
    EXPECT_EQ(length, 0);
  }
  EXPECT_TRUE(io.requests.empty());
}

}  // namespace
}  // namespace flashwright
