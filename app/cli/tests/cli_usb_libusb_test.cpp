// flashwright-cli usb through the system's driver layer: the shipped program, started under
// umockdev-wrapper, reaches an EZ-USB emulated in this test's process through libusb and
// usbdevfs, and the test looks at the emulated EEPROM afterwards.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/tests/usb_test_image.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_mockdev/emulated_ezusb.h"

namespace flashwright::cli_test {
namespace {

using mockdev::EmulatedEzUsb;
using mockdev::UsbTestbed;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliUsbLibusbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UsbTestbed::Preloaded()) GTEST_SKIP() << "needs umockdev-wrapper";
    testbed_ = std::make_unique<UsbTestbed>();
    firmware_dir_ = dir_.Join("ezusb_fw");
    ASSERT_EQ(mkdir(firmware_dir_.c_str(), 0755), 0);
  }

  EmulatedEzUsb& AddDevice() {
    EmulatedEzUsb& device = testbed_->AddDevice();
    old_eeprom_.assign(mockdev::kEmulatedEepromSize, 0);
    for (std::size_t i = 0; i < old_eeprom_.size(); ++i) {
      old_eeprom_[i] = static_cast<std::uint8_t>((i * 11 + 5) & 0xFF);
    }
    old_eeprom_[0] = device.profile().first_byte;
    device.SetEeprom(old_eeprom_);
    return device;
  }

  std::vector<std::uint8_t> WriteImage(const std::string& name) {
    const std::vector<std::uint8_t> image = BuildUsbImage({});
    EXPECT_TRUE(test::WriteFile(firmware_dir_ + "/" + name + ".bin",
                                std::string(image.begin(), image.end())));
    return image;
  }

  test::ProgramResult Run(const std::vector<std::string>& args,
                          std::vector<std::string> environment = {}) {
    std::vector<std::string> argv{FLASHWRIGHT_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    for (const std::string& entry : testbed_->ChildEnvironment()) environment.push_back(entry);
    environment.push_back("HOME=" + dir_.path());
    return test::RunProgram(UsbTestbed::WrapChild(argv), environment, 120);
  }

  std::vector<std::string> UpdateArgs(const std::string& name) const {
    return {"usb", "update", "--device", "0", "--firmware", name, "--firmware-dir", firmware_dir_};
  }

  test::TempDir dir_;
  std::unique_ptr<UsbTestbed> testbed_;
  std::string firmware_dir_;
  std::vector<std::uint8_t> old_eeprom_;
};

TEST_F(CliUsbLibusbTest, ListsInfoUpdatesAndBacksUpTheEmulatedDevice) {
  EmulatedEzUsb& device = AddDevice();

  const test::ProgramResult list = Run({"usb", "list"});
  ASSERT_EQ(list.exit_status, 0) << list.out << list.err;
  for (const std::string part : {"Cyusb-0", "04B4", "8613", "C2", "Orvane Folio Systems Gate 1.2.3.4"}) {
    EXPECT_TRUE(Contains(list.out, part)) << list.out << " lacks " << part;
  }
  const test::ProgramResult info = Run({"usb", "info", "--device", "0"});
  ASSERT_EQ(info.exit_status, 0) << info.out << info.err;
  EXPECT_TRUE(Contains(info.out, "Orvane Folio Systems Gate 1.2.3.4")) << info.out;

  const std::vector<std::uint8_t> image = WriteImage("Gate");
  const test::ProgramResult update = Run(UpdateArgs("Gate"));
  ASSERT_EQ(update.exit_status, 0) << update.out << update.err;
  EXPECT_TRUE(Contains(update.out, "Firmware on Cyusb-0 successfully updated.")) << update.out;
  std::vector<std::uint8_t> expected = old_eeprom_;
  std::copy(image.begin(), image.end(), expected.begin());
  EXPECT_EQ(device.Eeprom(), expected);

  const std::string backup = dir_.Join("backup.bin");
  const test::ProgramResult saved = Run({"usb", "backup", "--device", "0", "--output", backup});
  ASSERT_EQ(saved.exit_status, 0) << saved.out << saved.err;
  const std::string bytes = test::ReadFile(backup);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), expected);
}

TEST_F(CliUsbLibusbTest, ADeviceUnpluggedMidWriteEndsWithString163AndTheOffset) {
  EmulatedEzUsb& device = AddDevice();
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  device.UnplugAfterBytes(100);
  const test::ProgramResult update = Run(UpdateArgs("Gate"));
  EXPECT_EQ(update.exit_status, 1) << update.out << update.err;
  EXPECT_TRUE(Contains(update.err, "Response error. Device may not support firmware update."))
      << update.err;
  EXPECT_TRUE(Contains(update.err, ",Offset:93)")) << update.err;
  std::vector<std::uint8_t> expected = old_eeprom_;
  std::copy(image.begin(), image.begin() + 93, expected.begin());
  EXPECT_EQ(device.Eeprom(), expected);
}

TEST_F(CliUsbLibusbTest, ADeviceBehindAHubIsNamedAndPickedByItsBusPath) {
  AddDevice();
  mockdev::EmulatedDeviceProfile behind_hub;
  behind_hub.address = 7;
  behind_hub.port_path = "1-3.2";
  behind_hub.product = "Orvane Folio Systems Gate 2.0.0.0";
  testbed_->AddHub("1-3", 5);
  testbed_->AddDevice(behind_hub);

  const test::ProgramResult list = Run({"usb", "list"});
  ASSERT_EQ(list.exit_status, 0) << list.out << list.err;
  EXPECT_TRUE(Contains(list.out, "Cyusb-0 at 1-2  04B4:8613")) << list.out;
  EXPECT_TRUE(Contains(list.out, "Cyusb-1 at 1-3.2  04B4:8613")) << list.out;
  const test::ProgramResult info = Run({"usb", "info", "--device", "1-3.2"});
  ASSERT_EQ(info.exit_status, 0) << info.out << info.err;
  EXPECT_TRUE(Contains(info.out, "Device: Cyusb-1\nBus path: 1-3.2\n")) << info.out;
  EXPECT_TRUE(Contains(info.out, "Product: Orvane Folio Systems Gate 2.0.0.0")) << info.out;
}

TEST_F(CliUsbLibusbTest, ADeviceNodeTheUserMayNotOpenGivesTheLineThatNamesTheUdevRule) {
  EmulatedEzUsb& device = AddDevice();
  WriteImage("Gate");
  // No udev rule has given this user the device node: libusb's open fails with
  // LIBUSB_ERROR_ACCESS, as on a machine without the package's rule.
  const std::string node = testbed_->RootDir() + device.DeviceNode();
  ASSERT_EQ(::chmod(node.c_str(), 0600), 0);
  std::vector<std::string> as_user;
  if (::geteuid() == 0) {
    // Root opens any node: the program runs as an ordinary user, who may read the test bed
    // (its sysfs) but not the root-owned node.
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "running as root and there is no user nobody to run as";
    std::error_code ignored;
    // The test bed's udev stand-in makes its event socket in the test bed's folder.
    std::filesystem::permissions(testbed_->RootDir(), std::filesystem::perms::others_all,
                                 std::filesystem::perm_options::add, ignored);
    for (const std::string& folder : {testbed_->RootDir(), dir_.path()}) {
      std::filesystem::permissions(folder, std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec,
                                   std::filesystem::perm_options::add, ignored);
      for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
        if (entry.path() == node) continue;
        // Its ioctl sockets must take the user's connection, as a device's would.
        const auto others = entry.is_socket(ignored) ? std::filesystem::perms::others_all
                                                     : std::filesystem::perms::others_read |
                                                           std::filesystem::perms::others_exec;
        std::filesystem::permissions(entry.path(), others, std::filesystem::perm_options::add,
                                     ignored);
      }
    }
    as_user = {"/usr/bin/setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
               "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups"};
  } else {
    ASSERT_EQ(::chmod(node.c_str(), 0), 0);
  }
  std::vector<std::string> argv = as_user;
  for (const char* arg : {FLASHWRIGHT_CLI_PATH, "--json", "usb", "update", "--device", "0",
                          "--firmware", "Gate", "--firmware-dir"}) {
    argv.push_back(arg);
  }
  argv.push_back(firmware_dir_);
  std::vector<std::string> environment = testbed_->ChildEnvironment();
  environment.push_back("HOME=" + dir_.path());
  const test::ProgramResult run = test::RunProgram(UsbTestbed::WrapChild(argv), environment, 120);
  EXPECT_EQ(run.exit_status, 3) << run.out << run.err;
  EXPECT_TRUE(Contains(run.err, "No USB devices found. Check USB and power cables or install "
                                "driver.\nCause: permission denied on USB device Cyusb-0 at 1-2 "
                                "(errno 13). Remedy: the udev rule "))
      << run.err;
  EXPECT_TRUE(Contains(run.out, "\"reason\":\"permission-denied\"")) << run.out;
  EXPECT_TRUE(Contains(run.out, "\"errno\":13")) << run.out;
  EXPECT_EQ(device.Eeprom(), old_eeprom_);
  EXPECT_EQ(device.Counters().control_requests, 0u);
}

TEST_F(CliUsbLibusbTest, WithNoMatchingDeviceTheListIsEmptyAndNotAnError) {
  AddDevice();
  const test::ProgramResult list = Run({"usb", "list"}, {"FLASHWRIGHT_USB_IDS=ffff:0001"});
  EXPECT_EQ(list.exit_status, 0) << list.out << list.err;
  EXPECT_TRUE(Contains(list.out, "No USB devices found.")) << list.out;
  EXPECT_FALSE(Contains(list.out, "Cyusb-0")) << list.out;
}

}  // namespace
}  // namespace flashwright::cli_test
