// The USB device side of the Windows build under Wine, against the simulated EZ-USB kernel
// driver (ezusb_sim.sys): the system's driver layer through the real CreateFileA and
// DeviceIoControl, the device access above it on the driver model the prefix has, and the
// device-change notices. Run by usb-driver-tests.sh, which loads the driver and names the
// model in FLASHWRIGHT_WINE_USB_MODEL ("legacy" or "cyusb").
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"
#include "platform/usb_hotplug.h"
#include "tools/wine/ezusb_sim_control.h"
#include "usb_update/usb_device.h"

namespace flashwright {
namespace {

using platform::DriverOverlapped;
using platform::SystemUsbDriverIo;

std::string Model() {
  const char* model = std::getenv("FLASHWRIGHT_WINE_USB_MODEL");
  return model != nullptr ? model : "";
}

// The test's side of the simulated driver.
class SimControl {
 public:
  SimControl() {
    handle_ = ::CreateFileA(EZUSB_SIM_CONTROL_NAME, GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  ~SimControl() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  bool Ready() const { return handle_ != INVALID_HANDLE_VALUE; }

  void Reset(std::uint8_t first_byte = 0xC2) {
    EzusbSimProfile profile{};
    profile.vendor_id = 0x04B4;
    profile.product_id = 0x8613;
    profile.device_release = 0xA001;
    profile.first_byte = first_byte;
    std::strcpy(profile.manufacturer, "Orvane");
    std::strcpy(profile.product, "Orvane Folio Systems Gate 1.2.3.4");
    std::strcpy(profile.serial_number, "0001");
    profile.cyusb_driver_version = 0x01020304;
    profile.legacy_driver_version[0] = 1;
    profile.legacy_driver_version[1] = 2;
    profile.legacy_driver_version[2] = 3;
    ASSERT_TRUE(Request(EZUSB_SIM_RESET, &profile, sizeof profile, nullptr, 0));
  }
  void Fault(std::uint32_t kind, std::uint32_t a, std::uint32_t b = 0, std::uint32_t code = 0) {
    const EzusbSimFault fault{kind, a, b, code, 0};
    ASSERT_TRUE(Request(EZUSB_SIM_SET_FAULT, &fault, sizeof fault, nullptr, 0));
  }
  void Legacy(std::uint32_t mask) {
    ASSERT_TRUE(Request(EZUSB_SIM_SET_LEGACY_DEVICES, &mask, sizeof mask, nullptr, 0));
  }
  void Plugged(bool on) {
    const std::uint32_t value = on ? 1 : 0;
    ASSERT_TRUE(Request(EZUSB_SIM_SET_PLUGGED, &value, sizeof value, nullptr, 0));
  }
  std::vector<std::uint8_t> Eeprom(std::uint32_t address, std::uint32_t length) {
    std::vector<std::uint8_t> bytes(length);
    const std::uint32_t range[2] = {address, length};
    EXPECT_TRUE(Request(EZUSB_SIM_READ_EEPROM, range, sizeof range, bytes.data(), length));
    return bytes;
  }
  EzusbSimCounters Counters() {
    EzusbSimCounters counters{};
    EXPECT_TRUE(Request(EZUSB_SIM_GET_COUNTERS, nullptr, 0, &counters, sizeof counters));
    return counters;
  }

 private:
  bool Request(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size) {
    DWORD returned = 0;
    return ::DeviceIoControl(handle_, code, const_cast<void*>(in), in_size, out, out_size,
                             &returned, nullptr) != 0;
  }
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class WineUsbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Model() == "legacy" || Model() == "cyusb") << "FLASHWRIGHT_WINE_USB_MODEL";
    ASSERT_TRUE(sim_.Ready()) << "the simulated driver is not loaded";
    sim_.Reset();
    sim_.Legacy(Model() == "legacy" ? 1u : 0u);
  }
  void TearDown() override {
    UsbCloseDevice();
    sim_.Reset();
  }
  bool Legacy() const { return Model() == "legacy"; }

  SimControl sim_;
};

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return bytes;
}

// ---- The device access, on the model the prefix has

using WineUsbDevice = WineUsbTest;

TEST_F(WineUsbDevice, FindsOpensAndReadsTheIdentityOnTheModelThatIsPresent) {
  EXPECT_EQ(UsbLegacyDriverPresent(), Legacy());
  char name[16] = {};
  ASSERT_EQ(UsbDeviceName(0, name, sizeof name), 0);
  EXPECT_STREQ(name, Legacy() ? "Ezusb-0" : "Cyusb-0");
  EXPECT_EQ(UsbFindNextDevice(-1), 0);
  if (Legacy()) {
    // Every index is tried on the legacy driver: 0, 3 and 5 are there.
    sim_.Legacy(0x29);
    EXPECT_EQ(UsbFindNextDevice(0), 3);
    EXPECT_EQ(UsbFindNextDevice(3), 5);
    EXPECT_EQ(UsbFindNextDevice(5), kUsbNoDevice);
  } else {
    EXPECT_EQ(UsbFindNextDevice(0), kUsbNoDevice);
    EXPECT_EQ(UsbOpenDevice(1), kUsbOpenFailed);
  }

  ASSERT_EQ(UsbOpenDevice(0), 0);
  EXPECT_EQ(UsbOpenDevice(0), kUsbAlreadyOpen);
  std::uint16_t vendor = 0, product = 0;
  EXPECT_EQ(UsbGetIds(&vendor, &product), 0);
  EXPECT_EQ(vendor, 0x04B4);
  EXPECT_EQ(product, 0x8613);
  char text[64] = {};
  EXPECT_EQ(UsbGetProductString(text, sizeof text), 0);
  EXPECT_STREQ(text, "Orvane Folio Systems Gate 1.2.3.4");
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
  if (!Legacy()) {
    EXPECT_EQ(revision, 4);
  }
  EXPECT_EQ(UsbCloseDevice(), 0);
  EXPECT_EQ(sim_.Counters().open_handles, 0u);
}

TEST_F(WineUsbDevice, TheEepromIsWrittenAndReadThroughTheDriver) {
  ASSERT_EQ(UsbOpenDevice(0), 0);
  const std::vector<std::uint8_t> block = Pattern(31, 1);
  ASSERT_EQ(UsbEepromWrite(0x1F0, block.data(), 31), 0);
  EXPECT_EQ(sim_.Eeprom(0x1F0, 31), block);
  std::vector<std::uint8_t> back(31);
  ASSERT_EQ(UsbEepromRead(0x1F0, back.data(), 31), 0);
  EXPECT_EQ(back, block);
  // The whole EEPROM in one read, as a backup takes it.
  std::vector<std::uint8_t> all(65535);
  ASSERT_EQ(UsbEepromRead(0, all.data(), 65535), 0);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), all.begin() + 0x1F0));
  EXPECT_EQ(all[0], 0xC2);
  const EzusbSimCounters counters = sim_.Counters();
  EXPECT_EQ(counters.eeprom_writes, 1u);
  EXPECT_EQ(counters.eeprom_bytes_written, 31u);
  EXPECT_EQ(UsbEepromWrite(0, block.data(), 0), kUsbEmpty);
  EXPECT_EQ(sim_.Counters().vendor_requests, counters.vendor_requests);
}

TEST_F(WineUsbDevice, FailedRequestsEndWithTheirCodesAndWriteNothing) {
  ASSERT_EQ(UsbOpenDevice(0), 0);
  const std::vector<std::uint8_t> block = Pattern(31, 2);
  const std::vector<std::uint8_t> before = sim_.Eeprom(0, 31);
  const UsbError stall_code = Legacy() ? 31 : kUsbTransferFailed;

  // One stall: the reset and the second attempt get it through.
  sim_.Fault(EZUSB_SIM_FAULT_STALL, 1);
  EXPECT_EQ(UsbEepromWrite(0, block.data(), 31), 0);
  EXPECT_GE(sim_.Counters().resets, 1u);
  EXPECT_EQ(sim_.Eeprom(0, 31), block);
  // Two stalls: both attempts fail.
  sim_.Reset();
  sim_.Fault(EZUSB_SIM_FAULT_STALL, 2);
  EXPECT_EQ(UsbEepromWrite(0, block.data(), 31), stall_code);
  EXPECT_EQ(sim_.Eeprom(0, 31), before);

  // The legacy driver hands the system's code through, and device removed is not retried;
  // on the CyUSB path any failed transfer is 31 and gets its second attempt.
  sim_.Reset();
  sim_.Fault(EZUSB_SIM_FAULT_FAIL_WRITES, 1, 2, 1617);
  EXPECT_EQ(UsbEepromWrite(0, block.data(), 31), Legacy() ? 1617 : kUsbTransferFailed);
  EXPECT_EQ(sim_.Counters().vendor_requests, Legacy() ? 1u : 2u);
  EXPECT_EQ(sim_.Eeprom(0, 31), before);
  sim_.Reset();
  sim_.Fault(EZUSB_SIM_FAULT_FAIL_WRITES, 1, 1, 1617);
  EXPECT_EQ(UsbEepromWrite(0, block.data(), 31), Legacy() ? 1617 : 0);
  EXPECT_EQ(sim_.Eeprom(0, 31), Legacy() ? before : block);

  // The firmware's fault marker in a read's data.
  sim_.Reset();
  sim_.Fault(EZUSB_SIM_FAULT_DEAD, 1);
  std::uint8_t data[5] = {};
  EXPECT_EQ(UsbEepromRead(0, data, 5), kUsbDeviceFault);

  // The device goes in the middle of a write.
  sim_.Reset();
  sim_.Fault(EZUSB_SIM_FAULT_UNPLUG_AFTER, 40);
  EXPECT_EQ(UsbEepromWrite(0, block.data(), 31), 0);
  const UsbError gone = UsbEepromWrite(31, block.data(), 31);
  EXPECT_EQ(gone, Legacy() ? kUsbDeviceNotConnected : kUsbTransferFailed);
  EXPECT_EQ(sim_.Counters().eeprom_bytes_written, 31u);
  EXPECT_EQ(sim_.Eeprom(31, 31), std::vector<std::uint8_t>(31, 0xFF));
}

TEST_F(WineUsbDevice, ARequestThatNeverCompletesEndsInBoundedTime) {
  ASSERT_EQ(UsbOpenDevice(0), 0);
  const std::vector<std::uint8_t> block = Pattern(31, 3);
  sim_.Fault(EZUSB_SIM_FAULT_NEVER, 2);
  const auto start = std::chrono::steady_clock::now();
  const UsbError error = UsbEepromWrite(0, block.data(), 31);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const EzusbSimCounters counters = sim_.Counters();
  if (Legacy()) {
    // The driver's own limit, twice.
    EXPECT_EQ(error, 121);
    EXPECT_LT(seconds, 5.0);
  } else {
    // The control endpoint's 10 s, then the abort; twice.
    EXPECT_EQ(error, kUsbTransferFailed);
    EXPECT_GE(seconds, 19.0);
    EXPECT_LT(seconds, 30.0);
    EXPECT_EQ(counters.aborts, 2u);
    EXPECT_EQ(counters.cancelled, 2u);
  }
  EXPECT_EQ(counters.pending, 0u);
  EXPECT_EQ(counters.eeprom_bytes_written, 0u);
  // The device answers again afterwards.
  EXPECT_EQ(UsbEepromWrite(0, block.data(), 31), 0);
}

// ---- The driver layer itself, CyUSB model

using WineCyUsbDriverIo = WineUsbTest;

std::vector<std::uint8_t> TransferBlock(std::uint8_t request_type, std::uint8_t request,
                                        std::uint16_t value, std::uint16_t length) {
  std::vector<std::uint8_t> block(platform::kTransferHeaderSize + length, 0);
  platform::TransferHeader header;
  header.setup = {request_type, request, value, 0, length};
  header.timeout_seconds = 5;
  header.data_offset = platform::kTransferHeaderSize;
  header.data_length = length;
  platform::WriteTransferHeader(header, block.data());
  return block;
}

TEST_F(WineCyUsbDriverIo, MembersOpenAndOverlappedTransfersComplete) {
  auto& io = SystemUsbDriverIo();
  std::string path;
  ASSERT_EQ(io.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path), 0u);
  EXPECT_EQ(path.rfind("\\\\?\\", 0), 0u) << path;
  std::string none = "x";
  EXPECT_EQ(io.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 1, &none),
            platform::kErrorNoMoreItems);
  EXPECT_TRUE(none.empty());
  platform::InterfaceClassId other = platform::kCyUsbInterfaceClass;
  other.data1 ^= 1;
  EXPECT_EQ(io.InterfaceMemberPath(other, 0, &none), platform::kErrorNoMoreItems);

  std::uint32_t error = 0;
  const platform::DriverHandle handle = io.Open(path, true, &error);
  ASSERT_NE(handle, platform::kInvalidDriverHandle) << error;
  // The device descriptor through an overlapped control transfer.
  std::vector<std::uint8_t> block = TransferBlock(0x80, 6, 0x0100, 18);
  DriverOverlapped overlapped;
  std::uint32_t returned = 0;
  const std::uint32_t started =
      io.IoControl(handle, platform::kCySendEp0Control, block.data(),
                   static_cast<std::uint32_t>(block.size()), block.data(),
                   static_cast<std::uint32_t>(block.size()), &returned, &overlapped);
  ASSERT_TRUE(started == 0 || started == platform::kErrorIoPending) << started;
  if (started == platform::kErrorIoPending) {
    ASSERT_EQ(overlapped.Wait(5000), platform::kWaitSignalled);
  }
  EXPECT_EQ(overlapped.Result(&returned), 0u);
  EXPECT_EQ(returned, platform::kTransferHeaderSize + 18);
  EXPECT_EQ(block[platform::kTransferHeaderSize + 1], 1);  // a device descriptor
  EXPECT_EQ(platform::ReadLe16(&block[platform::kTransferHeaderSize + 8]), 0x04B4);

  // A query without an overlapped on the overlapped handle answers its exact size.
  std::uint8_t version[4] = {};
  EXPECT_EQ(io.IoControl(handle, platform::kCyGetDriverVersion, version, 4, version, 4,
                         &returned, nullptr),
            0u);
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(platform::ReadLe32(version), 0x01020304u);

  EXPECT_EQ(io.Close(handle), 0u);
  EXPECT_EQ(io.Close(handle), platform::kErrorInvalidHandle);
  EXPECT_EQ(io.IoControl(handle, platform::kCyGetDriverVersion, version, 4, version, 4,
                         &returned, nullptr),
            platform::kErrorInvalidHandle);
  EXPECT_EQ(io.Open("\\\\?\\root#nothing#0000#{ae18aa60-7f6a-11d4-97dd-00010229b959}", true,
                    &error),
            platform::kInvalidDriverHandle);
  EXPECT_NE(error, 0u);
}

TEST_F(WineCyUsbDriverIo, AbortAndCloseEndARequestThatNeverCompletes) {
  auto& io = SystemUsbDriverIo();
  std::string path;
  ASSERT_EQ(io.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path), 0u);
  std::uint32_t error = 0;
  platform::DriverHandle handle = io.Open(path, true, &error);
  ASSERT_NE(handle, platform::kInvalidDriverHandle) << error;

  sim_.Fault(EZUSB_SIM_FAULT_NEVER, 2);
  std::vector<std::uint8_t> block = TransferBlock(0xC0, 0xA2, 0, 5);
  DriverOverlapped overlapped;
  std::uint32_t returned = 0;
  ASSERT_EQ(io.IoControl(handle, platform::kCySendEp0Control, block.data(),
                         static_cast<std::uint32_t>(block.size()), block.data(),
                         static_cast<std::uint32_t>(block.size()), &returned, &overlapped),
            platform::kErrorIoPending);
  EXPECT_EQ(overlapped.Wait(300), platform::kWaitTimeout);
  EXPECT_EQ(overlapped.Result(&returned), platform::kErrorIoIncomplete);
  std::uint8_t endpoint = 0;
  EXPECT_EQ(io.IoControl(handle, platform::kCyAbortPipe, &endpoint, 1, nullptr, 0, &returned,
                         nullptr),
            0u);
  ASSERT_EQ(overlapped.Wait(5000), platform::kWaitSignalled);
  EXPECT_EQ(overlapped.Result(&returned), platform::kErrorOperationAborted);

  // Closing with a request in flight cancels it and returns.
  DriverOverlapped second;
  ASSERT_EQ(io.IoControl(handle, platform::kCySendEp0Control, block.data(),
                         static_cast<std::uint32_t>(block.size()), block.data(),
                         static_cast<std::uint32_t>(block.size()), &returned, &second),
            platform::kErrorIoPending);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(io.Close(handle), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(second.Wait(5000), platform::kWaitSignalled);
  EXPECT_EQ(second.Result(&returned), platform::kErrorOperationAborted);
  const EzusbSimCounters counters = sim_.Counters();
  EXPECT_EQ(counters.cancelled, 2u);
  EXPECT_EQ(counters.pending, 0u);
  EXPECT_EQ(counters.open_handles, 0u);
}

TEST_F(WineCyUsbDriverIo, AShortTransferReportsTheBytesItMoved) {
  auto& io = SystemUsbDriverIo();
  std::string path;
  ASSERT_EQ(io.InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path), 0u);
  std::uint32_t error = 0;
  const platform::DriverHandle handle = io.Open(path, true, &error);
  ASSERT_NE(handle, platform::kInvalidDriverHandle);
  sim_.Fault(EZUSB_SIM_FAULT_SHORT, 1);
  std::vector<std::uint8_t> block = TransferBlock(0xC0, 0xA2, 0, 8);
  std::uint32_t returned = 0;
  EXPECT_EQ(io.IoControl(handle, platform::kCySendEp0Control, block.data(),
                         static_cast<std::uint32_t>(block.size()), block.data(),
                         static_cast<std::uint32_t>(block.size()), &returned, nullptr),
            0u);
  EXPECT_EQ(returned, platform::kTransferHeaderSize + 7);
  EXPECT_EQ(io.Close(handle), 0u);
}

// ---- The driver layer itself, legacy model

using WineLegacyDriverIo = WineUsbTest;

TEST_F(WineLegacyDriverIo, SynchronousRequestsAndTheDriversOwnLimit) {
  auto& io = SystemUsbDriverIo();
  std::uint32_t error = 0;
  EXPECT_EQ(io.Open("\\\\.\\Ezusb-1", false, &error), platform::kInvalidDriverHandle);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  const platform::DriverHandle handle = io.Open("\\\\.\\Ezusb-0", false, &error);
  ASSERT_NE(handle, platform::kInvalidDriverHandle) << error;
  std::uint8_t descriptor[18] = {};
  std::uint32_t returned = 0;
  EXPECT_EQ(io.IoControl(handle, platform::kEzusbGetDeviceDescriptor, descriptor, 18,
                         descriptor, 18, &returned, nullptr),
            0u);
  EXPECT_EQ(returned, 18u);
  EXPECT_EQ(platform::ReadLe16(descriptor + 10), 0x8613);

  // A vendor read: the data comes back in the output buffer.
  std::uint8_t request[platform::kEzusbVendorBlockSize];
  platform::EzusbVendorBlock vendor;
  vendor.direction = 1;
  vendor.request = 0xA2;
  platform::WriteEzusbVendorBlock(vendor, request);
  std::uint8_t data[4] = {};
  EXPECT_EQ(io.IoControl(handle, platform::kEzusbVendorRequest, request, sizeof request, data,
                         sizeof data, &returned, nullptr),
            0u);
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(data[0], 0xC2);
  EXPECT_EQ(data[1], 0xFF);

  sim_.Fault(EZUSB_SIM_FAULT_NEVER, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(io.IoControl(handle, platform::kEzusbVendorRequest, request, sizeof request, data,
                         sizeof data, &returned, nullptr),
            platform::kErrorSemTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(io.Close(handle), 0u);
}

// ---- Device-change notices

using WineUsbHotplug = WineUsbTest;

bool WaitFor(const std::atomic<int>& count, int at_least,
             std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (count.load() < at_least) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Wine's RegisterDeviceNotificationA returns before the process's listener has joined the
// plug-and-play service (it joins from a thread of its own, started by the first
// registration), and a change in that moment reaches nobody. The listener is one per process
// and stays, so once a registration has seen both changes of an unplug and a plug in turn,
// every later registration hears every change from its first moment on.
void WaitUntilNoticesFlow(SimControl& sim) {
  std::atomic<int> seen{0};
  auto warm_up = platform::SystemUsbHotplugSource().Register([&] { seen.fetch_add(1); });
  ASSERT_NE(warm_up, nullptr);
  for (int round = 0; round < 30; ++round) {
    const int before = seen.load();
    sim.Plugged(false);
    sim.Plugged(true);
    if (WaitFor(seen, before + 2, std::chrono::milliseconds(1000))) return;
  }
  FAIL() << "no unplug and plug were both told to the program";
}

TEST_F(WineUsbHotplug, AnUnplugAndAPlugReachTheRegisteredFunction) {
  WaitUntilNoticesFlow(sim_);
  if (HasFatalFailure()) return;
  std::atomic<int> notices{0};
  auto registration =
      platform::SystemUsbHotplugSource().Register([&] { notices.fetch_add(1); });
  ASSERT_NE(registration, nullptr);
  sim_.Plugged(false);
  EXPECT_TRUE(WaitFor(notices, 1)) << "no notice of the removal";
  std::string path;
  EXPECT_EQ(SystemUsbDriverIo().InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path),
            platform::kErrorNoMoreItems);
  const int after_removal = notices.load();
  sim_.Plugged(true);
  EXPECT_TRUE(WaitFor(notices, after_removal + 1)) << "no notice of the arrival";
  EXPECT_EQ(SystemUsbDriverIo().InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path), 0u);
  // Once the registration is gone its function never runs again.
  registration.reset();
  const int before = notices.load();
  sim_.Plugged(false);
  sim_.Plugged(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(notices.load(), before);
}

}  // namespace
}  // namespace flashwright
