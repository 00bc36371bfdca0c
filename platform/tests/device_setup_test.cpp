// The device setup model over fake sysfs trees: what the Ports class, the USB enumerator and a
// service enumerator list, and how broken trees end up.
#include "platform/device_setup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/fake_sysfs/fake_sysfs.h"
#include "tools/test_support/test_support.h"

namespace flashwright::platform {
namespace {

using test::FakeSysfs;
using test::FakeUsbDevice;
using test::TtyStyle;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

const FakeUsbDevice kFt232{"1-2", 0x0403, 0x6001, 0x0600, "FT232R USB UART"};
const FakeUsbDevice kMakerReader{"1-3", 0x7E51, 0x032A, 0x0400, "RFID Reader"};

class DeviceSetupTest : public ::testing::Test {
 protected:
  DeviceSetupTest()
      : sysfs_dir_(), sysfs_(sysfs_dir_.path()), sysfs_env_("FLASHWRIGHT_SYSFS", sysfs_dir_.path().c_str()) {}

  // Gives `tty` the COM number `com` through the port folder, as the port map reads it.
  void MapPort(unsigned com, const std::string& tty) {
    std::filesystem::create_directories(ports_.path() + "/dev");
    std::filesystem::create_symlink("dev/" + tty, ports_.path() + "/COM" + std::to_string(com));
  }

  test::TempDir sysfs_dir_;
  FakeSysfs sysfs_;
  test::ScopedEnv sysfs_env_;
  test::ScopedPortDir ports_;
};

}  // namespace

void PrintTo(const DeviceRecord& record, std::ostream* out) {
  *out << "{\"" << record.friendly_name << "\", \"" << record.hardware_id << "\", \""
       << record.service << "\"}";
}

namespace {

auto Record(const std::string& friendly, const std::string& hardware_id,
            const std::string& service) {
  return ::testing::AllOf(Field(&DeviceRecord::friendly_name, friendly),
                          Field(&DeviceRecord::hardware_id, hardware_id),
                          Field(&DeviceRecord::service, service));
}

TEST_F(DeviceSetupTest, PortsClassListsMappedTtysWithTheirUsbIdentity) {
  sysfs_.AddSerialAdapter(kFt232, "ftdi_sio", "ttyUSB0");
  FakeUsbDevice acm{"1-4", 0x2341, 0x0043, 0x0001, ""};
  sysfs_.AddSerialAdapter(acm, "cdc_acm", "ttyACM0", TtyStyle::Acm);
  FakeUsbDevice unmapped{"1-5", 0x0403, 0x6001, 0x0600, "Second"};
  sysfs_.AddSerialAdapter(unmapped, "ftdi_sio", "ttyUSB1");
  sysfs_.AddPlainTty("tty0");
  sysfs_.AddPlainTty("ttyS0");
  MapPort(3, "ttyUSB0");
  MapPort(4, "ttyACM0");
  MapPort(33, "ttyS0");

  DeviceSet set = PortsClassDevices();
  EXPECT_EQ(set.open_error, 0);
  EXPECT_EQ(set.end_error, 0);
  // A tty without a USB device above it has no hardware ID; one without a product string is
  // a "USB Serial Port"; ttys without a COM number are not ports.
  EXPECT_THAT(set.devices,
              ElementsAre(Record("USB Serial Port (COM4)", "USB\\VID_2341&PID_0043&REV_0001",
                                 "cdc_acm"),
                          Record("USB Serial Port (COM33)", "", ""),
                          Record("FT232R USB UART (COM3)", "USB\\VID_0403&PID_6001&REV_0600",
                                 "ftdi_sio")));
}

TEST_F(DeviceSetupTest, PortsAreListedInNaturalNameOrder) {
  for (int i : {10, 2, 1}) {
    FakeUsbDevice device{"1-" + std::to_string(i), 0x0403, 0x6001, 0x0600,
                         "Adapter " + std::to_string(i)};
    sysfs_.AddSerialAdapter(device, "ftdi_sio", "ttyUSB" + std::to_string(i));
    MapPort(static_cast<unsigned>(20 + i), "ttyUSB" + std::to_string(i));
  }
  DeviceSet set = PortsClassDevices();
  EXPECT_THAT(set.devices, ElementsAre(Field(&DeviceRecord::friendly_name, "Adapter 1 (COM21)"),
                                       Field(&DeviceRecord::friendly_name, "Adapter 2 (COM22)"),
                                       Field(&DeviceRecord::friendly_name, "Adapter 10 (COM30)")));
}

TEST_F(DeviceSetupTest, UsbEnumeratorListsDevicesWithTheDriverOfInterfaceZero) {
  sysfs_.AddSerialAdapter(kMakerReader, "rfidser", "ttyUSB0");
  sysfs_.AddInterface(kMakerReader.name, 1, "usbhid");
  FakeUsbDevice unbound{"1-4", 0x1234, 0xABCD, 0x0100, "Gadget"};
  sysfs_.AddUsbDevice(unbound);
  sysfs_.AddInterface(unbound.name, 0, "");
  FakeUsbDevice unconfigured{"1-5", 0x1111, 0x2222, 0x0001, ""};
  unconfigured.configuration = 0;
  sysfs_.AddUsbDevice(unconfigured);

  DeviceSet set = DevicesOfEnumerator("USB");
  EXPECT_EQ(set.open_error, 0);
  EXPECT_EQ(set.end_error, 0);
  EXPECT_THAT(set.devices,
              ElementsAre(Record("RFID Reader", "USB\\VID_7E51&PID_032A&REV_0400", "rfidser"),
                          Record("Gadget", "USB\\VID_1234&PID_ABCD&REV_0100", ""),
                          Record("", "USB\\VID_1111&PID_2222&REV_0001", ""),
                          Record("xHCI Host Controller", "USB\\VID_1D6B&PID_0002&REV_0601",
                                 "hub")));
  // The enumerator name is not case-sensitive.
  EXPECT_EQ(DevicesOfEnumerator("usb").devices.size(), 4u);
}

TEST_F(DeviceSetupTest, UsbDevicesWithBrokenIdentityAreSkipped) {
  sysfs_.AddSerialAdapter(kMakerReader, "rfidser", "ttyUSB0");
  FakeUsbDevice garbage{"1-4", 0x0403, 0x6001, 0x0600, "Garbage"};
  sysfs_.AddUsbDevice(garbage);
  sysfs_.WriteFile("devices/pci0000:00/0000:00:14.0/usb1/1-4/idVendor", "zz!\n");
  FakeUsbDevice missing{"1-5", 0x0403, 0x6001, 0x0600, "Missing"};
  sysfs_.AddUsbDevice(missing);
  sysfs_.Remove("devices/pci0000:00/0000:00:14.0/usb1/1-5/bcdDevice");
  FakeUsbDevice too_long{"1-6", 0x0403, 0x6001, 0x0600, "Long"};
  sysfs_.AddUsbDevice(too_long);
  sysfs_.WriteFile("devices/pci0000:00/0000:00:14.0/usb1/1-6/idProduct", "600100\n");
  // A FIFO where a file should be must not block the enumeration.
  FakeUsbDevice fifo{"1-7", 0x0403, 0x6001, 0x0600, "Fifo"};
  std::string folder = sysfs_.AddUsbDevice(fifo);
  std::filesystem::remove(folder + "/idVendor");
  ASSERT_EQ(::mkfifo((folder + "/idVendor").c_str(), 0600), 0);
  // A device that went away after the listing.
  std::filesystem::create_symlink("../../../devices/gone", sysfs_.root() + "/bus/usb/devices/1-8");

  DeviceSet set = DevicesOfEnumerator("USB");
  EXPECT_EQ(set.end_error, 0);
  EXPECT_THAT(set.devices,
              ElementsAre(Field(&DeviceRecord::friendly_name, "RFID Reader"),
                          Field(&DeviceRecord::friendly_name, "xHCI Host Controller")));
}

TEST_F(DeviceSetupTest, ServiceEnumeratorListsTheTtysOfThatDriver) {
  sysfs_.AddSerialAdapter(kMakerReader, "rfidser", "ttyUSB0");
  FakeUsbDevice second_reader{"1-4", 0x7E51, 0x032A, 0x0400, ""};
  sysfs_.AddSerialAdapter(second_reader, "rfidser", "ttyUSB1");
  sysfs_.AddSerialAdapter(kFt232, "ftdi_sio", "ttyUSB2");
  MapPort(7, "ttyUSB0");
  MapPort(3, "ttyUSB2");

  DeviceSet set = DevicesOfEnumerator("rfidser");
  EXPECT_EQ(set.open_error, 0);
  // A tty without a COM number is still the driver's child, named by its product alone.
  EXPECT_THAT(set.devices,
              ElementsAre(Record("RFID Reader (COM7)", "USB\\VID_7E51&PID_032A&REV_0400",
                                 "rfidser"),
                          Record("USB Serial Port", "USB\\VID_7E51&PID_032A&REV_0400",
                                 "rfidser")));
  EXPECT_THAT(DevicesOfEnumerator("no_such_driver").devices, IsEmpty());
  EXPECT_NE(DevicesOfEnumerator("").open_error, 0);
}

TEST_F(DeviceSetupTest, BrokenTreesEndTheSetWithAnErrorCode) {
  sysfs_.AddSerialAdapter(kMakerReader, "rfidser", "ttyUSB0");
  MapPort(7, "ttyUSB0");
  {
    // A root that is not there at all cannot give a device set.
    test::ScopedEnv missing_root("FLASHWRIGHT_SYSFS", (sysfs_.root() + "/absent").c_str());
    EXPECT_EQ(DevicesOfEnumerator("USB").open_error, ENOENT);
    EXPECT_EQ(PortsClassDevices().open_error, ENOENT);
  }
  // An entry of the device list that is not a device folder breaks the enumeration off after
  // the devices before it ("1-3" sorts before "1-9").
  sysfs_.WriteFile("bus/usb/devices/1-9", "not a device\n");
  DeviceSet set = DevicesOfEnumerator("USB");
  EXPECT_EQ(set.open_error, 0);
  EXPECT_EQ(set.end_error, ENOTDIR);
  EXPECT_THAT(set.devices, ElementsAre(Field(&DeviceRecord::friendly_name, "RFID Reader")));

  // A device list that is a file cannot be opened.
  sysfs_.Remove("bus/usb/devices");
  sysfs_.WriteFile("bus/usb/devices", "garbage\n");
  set = DevicesOfEnumerator("USB");
  EXPECT_EQ(set.open_error, ENOTDIR);
  EXPECT_THAT(set.devices, IsEmpty());

  // A tree without USB at all just has no such devices.
  sysfs_.Remove("bus");
  set = DevicesOfEnumerator("USB");
  EXPECT_EQ(set.open_error, 0);
  EXPECT_THAT(set.devices, IsEmpty());

  sysfs_.Remove("class/tty");
  sysfs_.WriteFile("class/tty", "garbage\n");
  EXPECT_EQ(PortsClassDevices().open_error, ENOTDIR);
}

TEST_F(DeviceSetupTest, GarbageBelowATtyOnlyRemovesItsIdentity) {
  sysfs_.AddSerialAdapter(kFt232, "ftdi_sio", "ttyUSB0");
  FakeUsbDevice second{"1-4", 0x0403, 0x6001, 0x0600, "Second"};
  sysfs_.AddSerialAdapter(second, "ftdi_sio", "ttyUSB1");
  MapPort(3, "ttyUSB0");
  MapPort(4, "ttyUSB1");
  sysfs_.WriteFile("devices/pci0000:00/0000:00:14.0/usb1/1-2/idVendor", "\n");
  sysfs_.Remove("devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/driver");
  sysfs_.WriteFile("devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/driver", "not a link");

  const std::string before = test::TreeFingerprint(sysfs_.root());
  DeviceSet set = PortsClassDevices();
  EXPECT_THAT(set.devices,
              ElementsAre(Record("USB Serial Port (COM3)", "", "ftdi_sio"),
                          Record("Second (COM4)", "USB\\VID_0403&PID_6001&REV_0600", "")));
  EXPECT_EQ(test::TreeFingerprint(sysfs_.root()), before);
}

}  // namespace
}  // namespace flashwright::platform
