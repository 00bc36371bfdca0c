// Discovery end to end: fake sysfs trees name the adapters, simulated readers answer on ptys
// behind the port folder, and a fake Wine prefix holds the sibling product's configuration.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "discovery/find_reader.h"
#include "discovery/friendly_port_name.h"
#include "reader_link/commands.h"
#include "reader_link/transport.h"
#include "tools/fake_sysfs/fake_sysfs.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using sim::ReaderSimOptions;
using sim::ReaderSimulator;
using test::FakeUsbDevice;
using test::RavelinXml;
using test::SystemRegText;

constexpr std::uint8_t kVersionCommand = 0x11;
constexpr const char* kRavelinKey = "Software\\Orvane\\Folio Systems\\Common\\Ravelin";

int OpenFileCount() {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  while (dir != nullptr && ::readdir(dir) != nullptr) ++count;
  if (dir != nullptr) ::closedir(dir);
  return count;
}

FakeUsbDevice Ft232(const std::string& name) {
  return FakeUsbDevice{name, 0x0403, 0x6001, 0x0600, "FT232R USB UART"};
}
FakeUsbDevice MakerReader(const std::string& name) {
  return FakeUsbDevice{name, 0x7E51, 0x032A, 0x0400, "RFID Reader"};
}

ReaderSimOptions WithVersion(std::uint32_t version) {
  ReaderSimOptions options;
  options.version = version;
  return options;
}

struct Found {
  LinkError result = 12345;
  int port = -1;
  std::uint32_t version = 1;
  std::uint16_t bootloader = 1;
  std::uint8_t flags = 1;
  std::string source = "unset";
};

class FindReaderTest : public ::testing::Test {
 protected:
  FindReaderTest()
      : sysfs_(sysfs_dir_.path()),
        sysfs_env_("FLASHWRIGHT_SYSFS", sysfs_dir_.path().c_str()),
        prefix_(prefix_dir_.path()),
        prefix_env_("WINEPREFIX", prefix_dir_.path().c_str()) {
    std::filesystem::create_directories(ports_.path() + "/dev");
  }

  void SetUp() override { files_before_ = OpenFileCount(); }

  void TearDown() override {
    EXPECT_EQ(ReaderPortHandle(), nullptr) << "discovery left the reader port open";
    EXPECT_EQ(OpenFileCount(), files_before_ + open_by_test_) << "a descriptor was left open";
    if (!sysfs_before_.empty()) {
      EXPECT_EQ(test::TreeFingerprint(sysfs_dir_.path()), sysfs_before_);
      EXPECT_EQ(test::TreeFingerprint(prefix_dir_.path()), prefix_before_);
    }
  }

  // An adapter in the device tree whose tty is COM `com`; the port folder names the tty.
  void AddAdapter(const FakeUsbDevice& device, const std::string& tty, unsigned com) {
    sysfs_.AddSerialAdapter(device, "ftdi_sio", tty);
    std::filesystem::create_symlink(ports_.path() + "/dev/" + tty,
                                    ports_.path() + "/COM" + std::to_string(com));
  }

  // A simulated reader behind an adapter: COM<com> -> dev/<tty> -> pty.
  void AddReader(ReaderSimulator* reader, const FakeUsbDevice& device, const std::string& tty,
                 unsigned com) {
    sysfs_.AddSerialAdapter(device, device.vendor == 0x7E51 ? "rfidser" : "ftdi_sio", tty);
    ASSERT_TRUE(reader->Start(ports_.path(), com, ports_.path() + "/dev/" + tty));
  }

  void Freeze() {
    sysfs_before_ = test::TreeFingerprint(sysfs_dir_.path());
    prefix_before_ = test::TreeFingerprint(prefix_dir_.path());
  }

  Found Find(const VersionLimits& limits = {}) {
    Found found;
    found.result = CFindReader::FindReader(limits, &found.port, &found.version,
                                           &found.bootloader, &found.flags, &found.source);
    return found;
  }

  test::TempDir sysfs_dir_;
  test::FakeSysfs sysfs_;
  test::ScopedEnv sysfs_env_;
  test::TempDir prefix_dir_;
  test::FakeWinePrefix prefix_;
  test::ScopedEnv prefix_env_;
  test::ScopedPortDir ports_;
  int files_before_ = 0;
  int open_by_test_ = 0;
  std::string sysfs_before_, prefix_before_;
};

TEST_F(FindReaderTest, NothingPresentAndNoConfigurationFindsNothing) {
  sysfs_.AddPlainTty("tty0");
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 0);
  EXPECT_EQ(found.version, 0u);
  EXPECT_EQ(found.bootloader, 0xFFFF);
  EXPECT_EQ(found.flags, 0);
  EXPECT_EQ(found.source, "");
}

TEST_F(FindReaderTest, TheMakersUsbReaderHidesTheAdapters) {
  ReaderSimulator adapter_reader;
  ReaderSimulator usb_reader;
  AddReader(&adapter_reader, Ft232("1-2"), "ttyUSB0", 3);
  ReaderSimOptions options;
  options.version = 0x0A050102;
  options.bootloader = 0x0210;
  options.capability = 0x01;
  options.platform = 1;
  usb_reader.SetOptions(options);
  AddReader(&usb_reader, MakerReader("1-3"), "ttyUSB1", 7);
  Freeze();

  std::vector<int> candidates;
  CFindReader::EnumerateReaderPorts(&candidates);
  EXPECT_EQ(candidates, std::vector<int>{7});

  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 7);
  EXPECT_EQ(found.version, 0x0A050102u);
  EXPECT_EQ(found.bootloader, 0x0210);
  EXPECT_EQ(found.flags, 0x21);
  EXPECT_EQ(found.source, "FTDI Ports");
  EXPECT_EQ(adapter_reader.RequestCount(kVersionCommand), 0u);
}

TEST_F(FindReaderTest, TheFirstAdapterFailsAndTheSecondAnswers) {
  ReaderSimulator busy_reader;
  ReaderSimulator reader;
  AddReader(&busy_reader, Ft232("1-2"), "ttyUSB0", 3);
  AddReader(&reader, Ft232("1-3"), "ttyUSB1", 4);
  // COM3 is held by another program.
  int holder = ::open(busy_reader.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  open_by_test_ = 1;
  Freeze();

  std::vector<int> candidates;
  CFindReader::EnumerateReaderPorts(&candidates);
  EXPECT_EQ(candidates, (std::vector<int>{3, 4}));
  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 4);
  EXPECT_EQ(found.version, 0x0A04F108u);
  EXPECT_EQ(found.bootloader, 0x0203);
  EXPECT_EQ(found.flags, 0x01);
  EXPECT_EQ(found.source, "FTDI Ports");
  EXPECT_EQ(busy_reader.RequestCount(kVersionCommand), 0u);
  ::close(holder);
  open_by_test_ = 0;
}

TEST_F(FindReaderTest, RefusedVersionsMoveOnToTheConfiguration) {
  // A foreign family on COM3 and a reader too old for the default limits on COM4: both are
  // probed in order and refused; the registry then names COM3, which is probed again and
  // reported as it is (the caller judges its version).
  ReaderSimulator foreign(WithVersion(0x0B04F108));
  ReaderSimulator old(WithVersion(0x0A020005));
  AddReader(&foreign, Ft232("1-2"), "ttyUSB0", 3);
  AddReader(&old, Ft232("1-3"), "ttyUSB1", 4);
  ASSERT_TRUE(prefix_.WriteSystemReg(
      SystemRegText().Key(std::string(kRavelinKey) + "\\1.00").Dword("Port", 3).Text()));
  Freeze();

  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.version, 0x0B04F108u);
  EXPECT_EQ(found.source, "Ravelin Reg 1.00");
  EXPECT_EQ(foreign.RequestCount(kVersionCommand), 2u);
  EXPECT_EQ(old.RequestCount(kVersionCommand), 1u);

  // The caller's limits decide: with no too-old constraint the old reader is accepted.
  VersionLimits permissive;
  permissive.too_old.clear();
  found = Find(permissive);
  EXPECT_EQ(found.port, 4);
  EXPECT_EQ(found.source, "FTDI Ports");
  // ... and with a too-new constraint it is refused again.
  permissive.too_new = {"G1"};
  found = Find(permissive);
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.source, "Ravelin Reg 1.00");
}

TEST_F(FindReaderTest, RefusedCandidatesWithoutConfigurationDescribeTheLastProbe) {
  ReaderSimulator old(WithVersion(0x0A020005));
  AddReader(&old, Ft232("1-2"), "ttyUSB0", 3);
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.version, 0x0A020005u);
  EXPECT_EQ(found.bootloader, 0xFFFF) << "a reader below 4.241.8 is not asked for it";
  EXPECT_EQ(found.source, "");
}

TEST_F(FindReaderTest, AdaptersWithoutAPortNumberAreSkipped) {
  ReaderSimulator reader;
  FakeUsbDevice odd = Ft232("1-2");
  odd.product = "Serial (COMx";  // the friendly name's first "(COM" has no number after it
  AddReader(&reader, odd, "ttyUSB0", 3);
  FakeUsbDevice unknown{"1-3", 0x1234, 0x5678, 0x0100, "Other adapter"};
  sysfs_.AddSerialAdapter(unknown, "pl2303", "ttyUSB1");
  std::filesystem::create_symlink(ports_.path() + "/dev/ttyUSB1", ports_.path() + "/COM5");
  Freeze();

  std::vector<int> candidates{99};
  CFindReader::EnumerateReaderPorts(&candidates);
  EXPECT_TRUE(candidates.empty());
  Found found = Find();
  EXPECT_EQ(found.port, 0);
  EXPECT_EQ(reader.RequestCount(kVersionCommand), 0u);
}

TEST(FriendlyPortNameTest, ReadsTheNumberAfterTheFirstComMark) {
  int port = 0;
  EXPECT_TRUE(PortOfFriendlyName("USB Serial Port (COM12)", &port));
  EXPECT_EQ(port, 12);
  EXPECT_TRUE(PortOfFriendlyName("Port (COM 5) and (COM7)", &port));
  EXPECT_EQ(port, 5);
  EXPECT_TRUE(PortOfFriendlyName("Port (COM3", &port)) << "the closing bracket is not needed";
  EXPECT_EQ(port, 3);
  EXPECT_TRUE(PortOfFriendlyName("(COM-2)", &port));
  EXPECT_EQ(port, -2);
  port = 77;
  EXPECT_FALSE(PortOfFriendlyName("USB Serial Port", &port));
  EXPECT_FALSE(PortOfFriendlyName("USB Serial Port COM3", &port));
  EXPECT_FALSE(PortOfFriendlyName("Port (com3)", &port));
  EXPECT_FALSE(PortOfFriendlyName("Port (COM)", &port));
  EXPECT_FALSE(PortOfFriendlyName("Port (COMx3)", &port));
  EXPECT_FALSE(PortOfFriendlyName("Port (COM99999999999)", &port));
  EXPECT_EQ(port, 77);
}

TEST_F(FindReaderTest, ConnectMethod2LeavesTheXmlStageToTheRegistry) {
  ReaderSimulator reader;
  ASSERT_TRUE(reader.Start(ports_.path(), 3));
  ReaderSimulator xml_reader;
  ASSERT_TRUE(xml_reader.Start(ports_.path(), 5));
  ASSERT_TRUE(prefix_.WriteProgramDataFile(
      "Halvern/Common/Ravelin/1.00.xml",
      RavelinXml({{"ReaderType", "1"}, {"Port", "5"}, {"ConnectMethod", "2"}})));
  ASSERT_TRUE(prefix_.WriteSystemReg(
      SystemRegText().Key(std::string(kRavelinKey) + "\\1.00").Dword("Port", 3).Text()));
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.source, "Ravelin Reg 1.00");
  EXPECT_EQ(xml_reader.RequestCount(kVersionCommand), 0u);
}

TEST_F(FindReaderTest, TheXmlFilesNameTheReadersPort) {
  ReaderSimulator reader;
  ASSERT_TRUE(reader.Start(ports_.path(), 5));
  ASSERT_TRUE(prefix_.WriteProgramDataFile(
      "ORVANE FOLIO SYSTEMS/common/RAVELIN/1.00.xml",
      RavelinXml({{"ReaderType", "9"}, {"Port", "5"}, {"ConnectMethod", "1"}})));
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 5);
  EXPECT_EQ(found.source, "Ravelin Orvane Xml");
}

TEST_F(FindReaderTest, RegistrySubkeysAreVisitedFromTheLastAndPort0DoesNotStop) {
  ReaderSimulator reader;
  ASSERT_TRUE(reader.Start(ports_.path(), 3));
  ASSERT_TRUE(prefix_.WriteSystemReg(SystemRegText()
                                         .Key(std::string(kRavelinKey) + "\\1.00")
                                         .Dword("Port", 3)
                                         .Key(std::string(kRavelinKey) + "\\2.00")
                                         .Dword("Port", 0)
                                         .Text()));
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.version, 0x0A04F108u);
  EXPECT_EQ(found.source, "Ravelin Reg 1.00");
}

// Under a 64-bit prefix the 32-bit sibling product's key lives below Wow6432Node: that view is
// looked at first, and the machine's own key when the 32-bit view gives no port. A 32-bit
// prefix has only the plain key.
TEST_F(FindReaderTest, RegistryKeyIsLookedUpInThe32BitViewFirstThenThePlainKey) {
  ReaderSimulator reader;
  ASSERT_TRUE(reader.Start(ports_.path(), 3));
  const std::string wow_key = "Software\\Wow6432Node\\Orvane\\Folio Systems\\Common\\Ravelin";
  ASSERT_TRUE(prefix_.WriteSystemReg(SystemRegText(true)
                                         .Key(std::string(kRavelinKey) + "\\1.00")
                                         .Dword("Port", 7)
                                         .Key(wow_key + "\\1.00")
                                         .Dword("Port", 3)
                                         .Text()));
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.source, "Ravelin Reg 1.00");

  // Only the 32-bit view holds the key.
  ASSERT_TRUE(prefix_.WriteSystemReg(
      SystemRegText(true).Key(wow_key + "\\2.00").Dword("Port", 3).Text()));
  Freeze();
  found = Find();
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.source, "Ravelin Reg 2.00");

  // A 32-bit view without a port leaves the choice to the plain key.
  ASSERT_TRUE(prefix_.WriteSystemReg(SystemRegText(true)
                                         .Key(wow_key + "\\1.00")
                                         .Dword("Port", 0)
                                         .Key(std::string(kRavelinKey) + "\\1.50")
                                         .Dword("Port", 3)
                                         .Text()));
  Freeze();
  found = Find();
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.source, "Ravelin Reg 1.50");

  // Only the machine's own view holds the key.
  ASSERT_TRUE(prefix_.WriteSystemReg(
      SystemRegText(true).Key(std::string(kRavelinKey) + "\\3.00").Dword("Port", 3).Text()));
  Freeze();
  found = Find();
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.source, "Ravelin Reg 3.00");

  // A 32-bit prefix has no Wow6432Node of its own: what is there is not the 32-bit view.
  ASSERT_TRUE(prefix_.WriteSystemReg(SystemRegText()
                                         .Key(wow_key + "\\1.00")
                                         .Dword("Port", 7)
                                         .Key(std::string(kRavelinKey) + "\\1.00")
                                         .Dword("Port", 3)
                                         .Text()));
  Freeze();
  found = Find();
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.source, "Ravelin Reg 1.00");
}

TEST_F(FindReaderTest, AConfiguredPortWithoutADeviceReportsTheOpenFailure) {
  ASSERT_TRUE(prefix_.WriteSystemReg(
      SystemRegText().Key(std::string(kRavelinKey) + "\\1.00").Dword("Port", 9).Text()));
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, kLinkPortOpenFailed);
  EXPECT_EQ(found.port, 9);
  EXPECT_EQ(found.source, "Ravelin Reg 1.00");
}

TEST_F(FindReaderTest, AConfiguredNumberBeyondThePortRangeDoesNotWrapToAnotherPort) {
  ReaderSimulator reader;
  ASSERT_TRUE(reader.Start(ports_.path(), 3));
  ASSERT_TRUE(prefix_.WriteSystemReg(SystemRegText()
                                         .Key(std::string(kRavelinKey) + "\\1.00")
                                         .Dword("Port", 0x10003)
                                         .Text()));
  Found found = Find();
  EXPECT_EQ(found.result, kLinkPortOpenFailed);
  EXPECT_EQ(found.port, 0x10003);
  EXPECT_EQ(reader.RequestCount(kVersionCommand), 0u);
}

TEST_F(FindReaderTest, ASilentReaderGivesTheTimeoutAndNoSource) {
  ReaderSimulator silent;
  AddReader(&silent, Ft232("1-2"), "ttyUSB0", 3);
  silent.SetFault(sim::SimFault::NoAnswer);
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, kLinkTimeout);
  EXPECT_EQ(found.port, 3);
  EXPECT_EQ(found.version, 0u);
  EXPECT_EQ(found.source, "");
  // The port was closed again: it opens at once.
  EXPECT_EQ(OpenReaderPort(3), 0);
  CloseReaderPort();
}

TEST_F(FindReaderTest, APortHeldOpenByAnotherTaskIsLeftAlone) {
  ReaderSimulator reader;
  AddReader(&reader, Ft232("1-2"), "ttyUSB0", 3);
  ReaderSimulator other;
  ASSERT_TRUE(other.Start(ports_.path(), 8));
  ASSERT_EQ(OpenReaderPort(8), 0);
  platform::SerialPort* held = ReaderPortHandle();

  Found found = Find();
  EXPECT_EQ(found.result, kLinkPortAlreadyOpen);
  EXPECT_EQ(found.port, 3);
  // The other task's port is still open and still talks to its reader.
  EXPECT_EQ(ReaderPortHandle(), held);
  std::uint32_t version = 0;
  EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), 0);
  EXPECT_EQ(version, 0x0A04F108u);
  CloseReaderPort();
}

TEST_F(FindReaderTest, BrokenTreesOnlyRemoveTheirSource) {
  ReaderSimulator reader;
  AddReader(&reader, Ft232("1-2"), "ttyUSB0", 3);
  ASSERT_TRUE(prefix_.WriteProgramDataFile("Halvern/Common/Ravelin/1.00.xml", "<value name="));
  ASSERT_TRUE(prefix_.WriteSystemReg("WINE REGISTRY Version 2\n[Software\\\\Orvane\n\"Port\"=dword:zz\n"));
  sysfs_.Remove("class/tty");
  sysfs_.WriteFile("class/tty", "garbage");
  Freeze();
  Found found = Find();
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.port, 0);
  EXPECT_EQ(found.source, "");
  EXPECT_EQ(reader.RequestCount(kVersionCommand), 0u);
}

}  // namespace
}  // namespace flashwright
