// A program started by a test as a child process reaches the test's emulated devices: it lists
// them, and its requests are answered by the emulation in the test's process, whose EEPROM the
// test then looks at. The child is this test program again, running only ChildSide.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_mockdev/emulated_ezusb.h"

namespace flashwright::mockdev {
namespace {

using platform::DriverHandle;
using platform::SystemUsbDriverIo;

constexpr char kChildVariable[] = "FW_MOCKDEV_CHILD";

std::string OwnPath() {
  char path[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// One synchronous control transfer on endpoint 0; the data stage in and out of `data`.
std::uint32_t Control(DriverHandle handle, const platform::SetupPacket& setup,
                      std::vector<std::uint8_t>* data) {
  std::vector<std::uint8_t> block(platform::kTransferHeaderSize + setup.length, 0);
  platform::TransferHeader header;
  header.setup = setup;
  header.timeout_seconds = 5;
  header.data_offset = platform::kTransferHeaderSize;
  header.data_length = setup.length;
  platform::WriteTransferHeader(header, block.data());
  std::copy(data->begin(), data->end(), block.begin() + platform::kTransferHeaderSize);
  std::uint32_t returned = 0;
  const std::uint32_t code = SystemUsbDriverIo().IoControl(
      handle, platform::kCySendEp0Control, block.data(), static_cast<std::uint32_t>(block.size()),
      block.data(), static_cast<std::uint32_t>(block.size()), &returned, nullptr);
  data->assign(block.begin() + platform::kTransferHeaderSize, block.end());
  return code;
}

// In the child: reads EEPROM bytes 0x10-0x13 and writes them, each plus one, at 0x20.
TEST(ChildSide, CopiesEepromBytesThroughLibusb) {
  if (std::getenv(kChildVariable) == nullptr) GTEST_SKIP() << "run by ParentSide";
  std::string path;
  ASSERT_EQ(SystemUsbDriverIo().InterfaceMemberPath(platform::kCyUsbInterfaceClass, 0, &path), 0u);
  std::uint32_t error = 0;
  const DriverHandle handle = SystemUsbDriverIo().Open(path, true, &error);
  ASSERT_NE(handle, platform::kInvalidDriverHandle) << "error " << error;
  std::vector<std::uint8_t> data;
  ASSERT_EQ(Control(handle, {0xC0, 0xA2, 0x10, 0, 4}, &data), 0u);
  for (std::uint8_t& byte : data) ++byte;
  EXPECT_EQ(Control(handle, {0x40, 0xA2, 0x20, 0, 4}, &data), 0u);
  EXPECT_EQ(SystemUsbDriverIo().Close(handle), 0u);
}

TEST(ParentSide, AChildProcessReachesTheEmulatedDevice) {
  if (!UsbTestbed::Preloaded()) GTEST_SKIP() << "needs umockdev-wrapper";
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "the child's side only";
  UsbTestbed testbed;
  EmulatedEzUsb& device = testbed.AddDevice();
  std::vector<std::uint8_t> eeprom(0x14, 0xFF);
  eeprom[0] = device.profile().first_byte;
  eeprom[0x10] = 0x10;
  eeprom[0x11] = 0x20;
  eeprom[0x12] = 0x30;
  eeprom[0x13] = 0xFE;
  device.SetEeprom(eeprom);

  std::vector<std::string> environment = testbed.ChildEnvironment();
  environment.push_back(std::string(kChildVariable) + "=1");
  const test::ProgramResult result = test::RunProgram(
      UsbTestbed::WrapChild({OwnPath(), "--gtest_filter=ChildSide.*"}), environment, 60);
  ASSERT_EQ(result.exit_status, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("[  PASSED  ] 1 test"), std::string::npos) << result.out;

  const std::vector<std::uint8_t> after = device.Eeprom();
  EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 0x20, after.begin() + 0x24),
            (std::vector<std::uint8_t>{0x11, 0x21, 0x31, 0xFF}));
  EXPECT_EQ(device.Counters().vendor_requests, 2u);
}

}  // namespace
}  // namespace flashwright::mockdev
