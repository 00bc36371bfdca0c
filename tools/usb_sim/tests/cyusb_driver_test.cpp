// The CyUSB driver's requests (queries, control transfers with transfer blocks, pipe reset and
// abort), sent to the simulated bus by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include "tools/usb_sim/simulated_usb.h"
#include "tools/usb_sim/tests/driver_client.h"

namespace flashwright::usbsim {
namespace {

using namespace testing;
using platform::kInvalidDriverHandle;

constexpr std::uint32_t kHeader = platform::kTransferHeaderSize;

class CyUsbDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceProfile profile;
    profile.vendor_id = 0x04B4;
    profile.product_id = 0x1004;
    profile.product = "Folio Gate 3.1.0.2";
    profile.languages = {0x0407, 0x0409};
    profile.driver_version = 0x03040506;
    device_ = &bus_.AddDevice(Driver::kCyUsb, 0, profile);
    std::uint32_t error = 0;
    handle_ = OpenMember(bus_, 0, &error);
    ASSERT_NE(handle_, kInvalidDriverHandle) << error;
  }

  // A query without an overlapped structure; the bytes returned in `*returned`.
  std::uint32_t Query(std::uint32_t code, Bytes& buffer, std::uint32_t* returned) {
    return bus_.IoControl(handle_, code, buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                          buffer.data(), static_cast<std::uint32_t>(buffer.size()), returned,
                          nullptr);
  }

  std::uint32_t Pipe(std::uint32_t code, std::uint8_t endpoint) {
    std::uint32_t returned = 0;
    return bus_.IoControl(handle_, code, &endpoint, 1, nullptr, 0, &returned, nullptr);
  }

  SimulatedUsbBus bus_;
  SimulatedUsbDevice* device_ = nullptr;
  platform::DriverHandle handle_ = kInvalidDriverHandle;
};

TEST_F(CyUsbDriverTest, ListsThePluggedMembersInIndexOrder) {
  bus_.AddDevice(Driver::kCyUsb, 4);
  SimulatedUsbDevice& refused = bus_.AddDevice(Driver::kCyUsb, 2);
  refused.RefuseOpen(true);
  std::string first;
  std::string second;
  std::string third;
  std::string none;
  ASSERT_EQ(bus_.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &first), 0u);
  ASSERT_EQ(bus_.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 1, &second), 0u);
  ASSERT_EQ(bus_.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 2, &third), 0u);
  EXPECT_EQ(bus_.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 3, &none),
            platform::kErrorNoMoreItems);
  EXPECT_NE(first, second);
  EXPECT_NE(second, third);

  // Member 1 is the device at index 2: listed, but it refuses to be opened.
  std::uint32_t error = 0;
  EXPECT_EQ(bus_.Open(second, true, &error), kInvalidDriverHandle);
  EXPECT_EQ(error, 5u);
  const platform::DriverHandle opened = bus_.Open(third, true, &error);
  ASSERT_NE(opened, kInvalidDriverHandle);
  EXPECT_EQ(bus_.Device(Driver::kCyUsb, 4)->Counters().opens, 1u);
  EXPECT_EQ(bus_.Close(opened), 0u);

  // Another interface class has no members; an unplugged device is listed no more.
  platform::InterfaceClassId other = platform::kCyUsbInterfaceClass;
  other.data1 ^= 1;
  EXPECT_EQ(bus_.InterfaceMemberPath(other, 0, &none), platform::kErrorNoMoreItems);
  refused.Unplug();
  ASSERT_EQ(bus_.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 1, &none), 0u);
  EXPECT_EQ(none, third);
  EXPECT_EQ(bus_.Open(second, true, &error), kInvalidDriverHandle);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
}

TEST_F(CyUsbDriverTest, AnswersTheQueriesWithExactlyTheirSizes) {
  Bytes version(4, 0);
  std::uint32_t returned = 0;
  ASSERT_EQ(Query(platform::kCyGetDriverVersion, version, &returned), 0u);
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(platform::ReadLe32(version.data()), 0x03040506u);

  const struct {
    std::uint32_t code;
    std::uint32_t size;
  } queries[] = {{platform::kCyGetUsbdiVersion, 4}, {platform::kCyGetAltInterface, 1},
                 {platform::kCyGetAddress, 1},      {platform::kCyGetDeviceName, 256},
                 {platform::kCyGetFriendlyName, 256}, {platform::kCyGetSpeed, 4}};
  for (const auto& query : queries) {
    Bytes buffer(query.size, 0xEE);
    returned = 0;
    EXPECT_EQ(Query(query.code, buffer, &returned), 0u) << std::hex << query.code;
    EXPECT_EQ(returned, query.size) << std::hex << query.code;
    Bytes small(query.size - 1, 0);
    EXPECT_NE(Query(query.code, small, &returned), 0u) << std::hex << query.code;
  }
  Bytes speed(4, 0);
  ASSERT_EQ(Query(platform::kCyGetSpeed, speed, &returned), 0u);
  EXPECT_EQ(platform::ReadLe32(speed.data()), 2u);  // high speed
  Bytes name(256, 0);
  ASSERT_EQ(Query(platform::kCyGetDeviceName, name, &returned), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.data())), "Folio Gate 3.1.0.2");

  device_->Unplug();
  EXPECT_EQ(Query(platform::kCyGetDriverVersion, version, &returned),
            platform::kErrorDeviceNotConnected);
}

TEST_F(CyUsbDriverTest, ServesTheStandardDescriptorsAndCutsShortRequests) {
  ControlTransfer device(GetDescriptor(0x0100, 18));
  ASSERT_EQ(device.Run(bus_, handle_), 0u);
  EXPECT_EQ(device.Returned(), kHeader + 18);
  EXPECT_EQ(device.NtStatus(), 0u);
  EXPECT_EQ(device.UsbdStatus(), 0u);
  const Bytes descriptor = device.Data();
  EXPECT_EQ(descriptor[0], 18);
  EXPECT_EQ(platform::ReadLe16(&descriptor[8]), 0x04B4);
  EXPECT_EQ(platform::ReadLe16(&descriptor[10]), 0x1004);
  const std::uint8_t product_index = descriptor[15];
  ASSERT_NE(product_index, 0);

  // A host that reads the first 8 bytes only gets exactly those.
  ControlTransfer first_bytes(GetDescriptor(0x0100, 8));
  ASSERT_EQ(first_bytes.Run(bus_, handle_), 0u);
  EXPECT_EQ(first_bytes.Returned(), kHeader + 8);
  EXPECT_EQ(first_bytes.Data(), Bytes(descriptor.begin(), descriptor.begin() + 8));

  // The language list, first its length, then all of it.
  ControlTransfer list_length(GetDescriptor(0x0300, 2));
  ASSERT_EQ(list_length.Run(bus_, handle_), 0u);
  EXPECT_EQ(list_length.Data(), (Bytes{6, 3}));
  ControlTransfer list(GetDescriptor(0x0300, 6));
  ASSERT_EQ(list.Run(bus_, handle_), 0u);
  EXPECT_EQ(list.Data(), (Bytes{6, 3, 0x07, 0x04, 0x09, 0x04}));

  ControlTransfer product(GetDescriptor(0x0300 | product_index, 255, 0x0409));
  ASSERT_EQ(product.Run(bus_, handle_), 0u);
  const Bytes text = product.Data();
  const std::string expected = "Folio Gate 3.1.0.2";
  ASSERT_EQ(text[0], 2 + 2 * expected.size());
  EXPECT_EQ(text[1], 3);
  EXPECT_EQ(product.Returned(), kHeader + text[0]);
  std::string decoded;
  for (std::size_t i = 2; i < text[0]; i += 2) decoded += static_cast<char>(text[i]);
  EXPECT_EQ(decoded, expected);

  // The configuration: a 9-byte header whose total length covers the interface and its
  // endpoints.
  ControlTransfer header(GetDescriptor(0x0200, 9));
  ASSERT_EQ(header.Run(bus_, handle_), 0u);
  EXPECT_EQ(header.Data()[1], 2);
  const std::uint16_t total = platform::ReadLe16(&header.Data()[2]);
  ControlTransfer configuration(GetDescriptor(0x0200, total));
  ASSERT_EQ(configuration.Run(bus_, handle_), 0u);
  const Bytes all = configuration.Data();
  ASSERT_EQ(all.size(), total);
  int interfaces = 0;
  Bytes endpoints;
  for (std::size_t at = 0; at < all.size(); at += all[at]) {
    ASSERT_GT(all[at], 0);
    ASSERT_LE(at + all[at], all.size());
    if (all[at + 1] == 4) ++interfaces;
    if (all[at + 1] == 5) {
      endpoints.push_back(all[at + 2]);
      if ((all[at + 3] & 3) == 2) {
        EXPECT_EQ(platform::ReadLe16(&all[at + 4]), 512);
      }
    }
  }
  EXPECT_EQ(interfaces, 1);
  EXPECT_EQ(all[4], 1);  // bNumInterfaces
  EXPECT_EQ(endpoints.size(), 3u);
  EXPECT_NE(std::find(endpoints.begin(), endpoints.end(), 0x02), endpoints.end());
  EXPECT_NE(std::find(endpoints.begin(), endpoints.end(), 0x86), endpoints.end());

  // Every control request is recorded with its setup packet.
  const DeviceCounters counters = device_->Counters();
  ASSERT_EQ(counters.setups.size(), 7u);
  EXPECT_TRUE(SameSetup(counters.setups[0], GetDescriptor(0x0100, 18)));
  EXPECT_TRUE(SameSetup(counters.last_setup, GetDescriptor(0x0200, total)));
  EXPECT_EQ(counters.vendor_requests, 0u);
}

TEST_F(CyUsbDriverTest, AnUnknownRequestStalls) {
  ControlTransfer unknown(MakeSetup(0x80, 6, 0x0700, 0, 10));  // no other-speed configuration
  EXPECT_EQ(unknown.Run(bus_, handle_), platform::kErrorGenFailure);
  EXPECT_EQ(unknown.Returned(), kHeader);
  EXPECT_EQ(unknown.UsbdStatus(), platform::kUsbdStatusStallPid);
  EXPECT_NE(unknown.NtStatus(), 0u);
  ControlTransfer vendor(MakeSetup(kVendorIn, 0xA0, 0, 0, 4));
  EXPECT_EQ(vendor.Run(bus_, handle_), platform::kErrorGenFailure);
}

TEST_F(CyUsbDriverTest, VendorWriteIsReadBack) {
  const Bytes data = Pattern(2047, 0x33);
  ControlTransfer write(MakeSetup(kVendorOut, kEeprom, 0x0800, 0, 2047), data);
  EXPECT_EQ(write.Start(bus_, handle_), platform::kErrorIoPending);
  ASSERT_TRUE(write.Await());
  EXPECT_EQ(write.Error(), 0u);
  EXPECT_EQ(write.Returned(), kHeader + 2047);
  EXPECT_EQ(write.UsbdStatus(), 0u);

  ControlTransfer read(MakeSetup(kVendorIn, kEeprom, 0x0800, 0, 2047));
  ASSERT_EQ(read.Run(bus_, handle_), 0u);
  EXPECT_EQ(read.Returned(), kHeader + 2047);
  EXPECT_EQ(read.Data(), data);

  Bytes expected = FreshEeprom(DeviceProfile{}.first_byte);
  std::copy(data.begin(), data.end(), expected.begin() + 0x0800);
  EXPECT_EQ(device_->Eeprom(), expected);
  const DeviceCounters counters = device_->Counters();
  EXPECT_EQ(counters.vendor_requests, 2u);
  EXPECT_EQ(counters.eeprom_writes, 1u);
  EXPECT_EQ(counters.eeprom_bytes_written, 2047u);

  // Completing at once: the call gives the outcome, and the overlapped carries it too.
  bus_.CompleteAtOnce(true);
  ControlTransfer now(MakeSetup(kVendorIn, kEeprom, 0, 0, 5));
  EXPECT_EQ(now.Start(bus_, handle_), 0u);
  EXPECT_EQ(now.Error(), 0u);
  EXPECT_EQ(now.Returned(), kHeader + 5);
  EXPECT_EQ(now.Data()[0], DeviceProfile{}.first_byte);
}

TEST_F(CyUsbDriverTest, AMalformedBlockIsRefusedAtOnce) {
  ControlTransfer transfer(MakeSetup(kVendorIn, kEeprom, 0, 0, 16));
  // The block claims more data than it holds.
  platform::WriteLe32(transfer.block().data() + platform::kTransferDataLengthOffset, 8);
  EXPECT_EQ(transfer.Start(bus_, handle_), platform::kErrorInvalidParameter);
  EXPECT_EQ(transfer.Error(), platform::kErrorInvalidParameter);
  std::uint8_t tiny[10] = {};
  std::uint32_t returned = 0;
  platform::DriverOverlapped overlapped;
  EXPECT_EQ(bus_.IoControl(handle_, platform::kCySendEp0Control, tiny, sizeof tiny, tiny,
                           sizeof tiny, &returned, &overlapped),
            platform::kErrorInvalidParameter);
  EXPECT_EQ(device_->Counters().setups.size(), 0u);
}

TEST_F(CyUsbDriverTest, AbortEndsAPendingTransferAsCancelled) {
  device_->NeverCompleteRequests(1);
  ControlTransfer stuck(MakeSetup(kVendorOut, kEeprom, 0x10, 0, 4), Pattern(4, 9));
  ASSERT_EQ(stuck.Start(bus_, handle_), platform::kErrorIoPending);
  EXPECT_FALSE(stuck.Await(50));
  EXPECT_EQ(stuck.Error(), platform::kErrorIoIncomplete);

  // An abort of another endpoint leaves it pending.
  EXPECT_EQ(Pipe(platform::kCyAbortPipe, 0x86), 0u);
  EXPECT_FALSE(stuck.Await(20));
  EXPECT_EQ(Pipe(platform::kCyAbortPipe, 0x00), 0u);
  ASSERT_TRUE(stuck.Await(0));
  EXPECT_EQ(stuck.Error(), platform::kErrorOperationAborted);
  EXPECT_EQ(stuck.Returned(), kHeader);
  EXPECT_EQ(stuck.UsbdStatus(), platform::kUsbdStatusCanceled);
  EXPECT_NE(stuck.NtStatus(), 0u);
  EXPECT_EQ(device_->Counters().aborts, 2u);
  EXPECT_EQ(device_->Eeprom(), FreshEeprom(DeviceProfile{}.first_byte));

  // The next request is answered as usual; a pipe reset is counted.
  EXPECT_EQ(Pipe(platform::kCyResetPipe, 0x00), 0u);
  EXPECT_EQ(device_->Counters().resets, 1u);
  ControlTransfer next(MakeSetup(kVendorOut, kEeprom, 0x10, 0, 4), Pattern(4, 9));
  EXPECT_EQ(next.Run(bus_, handle_), 0u);
  EXPECT_EQ(device_->Counters().eeprom_bytes_written, 4u);
  EXPECT_EQ(Pipe(platform::kCyAbortPipe, 0x55), platform::kErrorInvalidParameter);
}

TEST_F(CyUsbDriverTest, CloseCancelsWhatIsPendingOnTheHandle) {
  std::uint32_t error = 0;
  const platform::DriverHandle other = OpenMember(bus_, 0, &error);
  ASSERT_NE(other, kInvalidDriverHandle);
  device_->NeverCompleteRequests(2);
  ControlTransfer mine(MakeSetup(kVendorIn, kEeprom, 0, 0, 4));
  ControlTransfer theirs(MakeSetup(kVendorIn, kEeprom, 0, 0, 4));
  ASSERT_EQ(mine.Start(bus_, handle_), platform::kErrorIoPending);
  ASSERT_EQ(theirs.Start(bus_, other), platform::kErrorIoPending);

  EXPECT_EQ(bus_.Close(handle_), 0u);
  ASSERT_TRUE(mine.Await(0));
  EXPECT_EQ(mine.Error(), platform::kErrorOperationAborted);
  EXPECT_FALSE(theirs.Await(20));
  EXPECT_EQ(device_->Counters().open_handles, 1u);

  // The closed handle takes no more requests.
  ControlTransfer late(GetDescriptor(0x0100, 18));
  EXPECT_EQ(late.Start(bus_, handle_), platform::kErrorInvalidHandle);
  handle_ = kInvalidDriverHandle;

  EXPECT_EQ(bus_.Close(other), 0u);
  ASSERT_TRUE(theirs.Await(0));
  EXPECT_EQ(theirs.Error(), platform::kErrorOperationAborted);
  EXPECT_EQ(device_->Counters().open_handles, 0u);
}

TEST_F(CyUsbDriverTest, UnplugEndsAPendingTransferAsDeviceGone) {
  device_->NeverCompleteRequests(1);
  ControlTransfer stuck(MakeSetup(kVendorIn, kEeprom, 0, 0, 4));
  ASSERT_EQ(stuck.Start(bus_, handle_), platform::kErrorIoPending);
  device_->Unplug();
  ASSERT_TRUE(stuck.Await(1000));
  EXPECT_EQ(stuck.Error(), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(stuck.UsbdStatus(), platform::kUsbdStatusDeviceGone);

  ControlTransfer after(GetDescriptor(0x0100, 18));
  EXPECT_EQ(after.Run(bus_, handle_), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(after.UsbdStatus(), platform::kUsbdStatusDeviceGone);
  std::string path;
  EXPECT_EQ(bus_.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path),
            platform::kErrorNoMoreItems);
  EXPECT_EQ(Pipe(platform::kCyResetPipe, 0), platform::kErrorDeviceNotConnected);
}

TEST(SimulatedUsbBusTest, DestroyingTheBusEndsAPendingTransfer) {
  auto bus = std::make_unique<SimulatedUsbBus>();
  bus->AddDevice(Driver::kCyUsb, 0).NeverCompleteRequests(1);
  const platform::DriverHandle handle = OpenMember(*bus, 0);
  ASSERT_NE(handle, kInvalidDriverHandle);
  ControlTransfer stuck(MakeSetup(kVendorIn, kEeprom, 0, 0, 4));
  ASSERT_EQ(stuck.Start(*bus, handle), platform::kErrorIoPending);
  bus.reset();
  ASSERT_TRUE(stuck.Await(0));
  EXPECT_EQ(stuck.Error(), platform::kErrorOperationAborted);
  EXPECT_EQ(stuck.UsbdStatus(), platform::kUsbdStatusCanceled);
}

TEST(SimulatedUsbBusTest, AReplacedDeviceLeavesTheBus) {
  SimulatedUsbBus bus;
  SimulatedUsbDevice& old = bus.AddDevice(Driver::kCyUsb, 0);
  const platform::DriverHandle handle = OpenMember(bus, 0);
  ASSERT_NE(handle, kInvalidDriverHandle);
  DeviceProfile profile;
  profile.product_id = 0x0002;
  SimulatedUsbDevice& replacement = bus.AddDevice(Driver::kCyUsb, 0, profile);
  EXPECT_FALSE(old.Plugged());
  EXPECT_EQ(bus.Device(Driver::kCyUsb, 0), &replacement);
  EXPECT_EQ(bus.Device(Driver::kLegacyEzusb, 0), nullptr);
  ControlTransfer stale(GetDescriptor(0x0100, 18));
  EXPECT_EQ(stale.Run(bus, handle), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(bus.Close(handle), 0u);

  const platform::DriverHandle fresh = OpenMember(bus, 0);
  ControlTransfer descriptor(GetDescriptor(0x0100, 18));
  ASSERT_EQ(descriptor.Run(bus, fresh), 0u);
  EXPECT_EQ(platform::ReadLe16(&descriptor.Data()[10]), 0x0002);
  EXPECT_EQ(bus.Close(fresh), 0u);
}

TEST_F(CyUsbDriverTest, ATransferWithoutAnOverlappedRunsToItsEndInTheCall) {
  const Bytes data = Pattern(40, 0x21);
  ControlTransfer write(MakeSetup(kVendorOut, kEeprom, 0x0200, 0, 40), data);
  std::uint32_t returned = 0;
  EXPECT_EQ(bus_.IoControl(handle_, platform::kCySendEp0Control, write.block().data(),
                           write.Size(), write.block().data(), write.Size(), &returned, nullptr),
            0u);
  EXPECT_EQ(returned, kHeader + 40);
  ControlTransfer read(MakeSetup(kVendorIn, kEeprom, 0x0200, 0, 40));
  EXPECT_EQ(bus_.IoControl(handle_, platform::kCySendEp0Control, read.block().data(),
                           read.Size(), read.block().data(), read.Size(), &returned, nullptr),
            0u);
  EXPECT_EQ(returned, kHeader + 40);
  EXPECT_EQ(read.Data(), data);

  // One the device never answers blocks its caller until the handle is closed.
  device_->NeverCompleteRequests(1);
  std::uint32_t blocked_result = 0;
  std::thread caller([&] {
    ControlTransfer stuck(MakeSetup(kVendorIn, kEeprom, 0, 0, 4));
    std::uint32_t stuck_returned = 0;
    blocked_result = bus_.IoControl(handle_, platform::kCySendEp0Control, stuck.block().data(),
                                    stuck.Size(), stuck.block().data(), stuck.Size(),
                                    &stuck_returned, nullptr);
  });
  while (device_->Counters().vendor_requests < 3) std::this_thread::yield();
  EXPECT_EQ(bus_.Close(handle_), 0u);
  caller.join();
  EXPECT_EQ(blocked_result, platform::kErrorOperationAborted);
  handle_ = kInvalidDriverHandle;
}

}  // namespace
}  // namespace flashwright::usbsim
