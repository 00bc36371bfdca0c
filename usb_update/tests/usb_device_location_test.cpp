// Finding a device by its place on the buses rather than by its index, against the simulated
// bus: the place stays with the device while the indexes shift as other devices go.
#include "usb_update/usb_device_location.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/wire_trace.h"
#include "tools/usb_sim/simulated_usb.h"
#include "usb_update/tests/recording_driver_io.h"

namespace flashwright {
namespace {

using usbsim::DeviceProfile;
using usbsim::Driver;

DeviceProfile At(const std::string& bus_path, const std::string& product) {
  DeviceProfile profile;
  profile.bus_path = bus_path;
  profile.product = product;
  return profile;
}

std::string ProductOf(std::uint16_t index) {
  EXPECT_EQ(UsbOpenDevice(index), 0);
  char product[64] = {};
  EXPECT_EQ(UsbGetProductString(product, sizeof product), 0);
  UsbCloseDevice();
  return product;
}

class UsbDeviceLocationTest : public ::testing::Test {
 protected:
  ~UsbDeviceLocationTest() override { UsbCloseDevice(); }

  std::string LocationOf(std::uint16_t index, UsbError expected = 0) {
    std::string location = "stale";
    EXPECT_EQ(UsbDeviceLocation(index, &location), expected) << "index " << index;
    return location;
  }

  usbsim::SimulatedUsbBus bus;
  platform::ScopedUsbDriverIo scope{&bus};
};

TEST_F(UsbDeviceLocationTest, TheBusPathFollowsTheDeviceWhenAnotherOneGoes) {
  usbsim::SimulatedUsbDevice& first = bus.AddDevice(Driver::kCyUsb, 0, At("1-2", "Gate A"));
  bus.AddDevice(Driver::kCyUsb, 1, At("1-3.2", "Gate B"));
  EXPECT_EQ(LocationOf(0), "1-2");
  EXPECT_EQ(LocationOf(1), "1-3.2");
  EXPECT_EQ(LocationOf(2, kUsbOpenFailed), "");

  UsbError error = -100;
  EXPECT_EQ(UsbFindDeviceAt("1-3.2", &error), 1);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ProductOf(1), "Gate B");

  // The first device goes: the second one is index 0 now, and its bus path still finds it.
  first.Unplug();
  const std::uint16_t index = UsbFindDeviceAt("1-3.2", &error);
  EXPECT_EQ(error, 0);
  ASSERT_EQ(index, 0);
  EXPECT_EQ(ProductOf(index), "Gate B");
  EXPECT_EQ(UsbFindDeviceAt("1-2", &error), kUsbNoDevice);
  EXPECT_EQ(error, kUsbOpenFailed);
  // A place is a whole name: no prefix of it, and no longer one, matches.
  EXPECT_EQ(UsbFindDeviceAt("1-3", &error), kUsbNoDevice);
  EXPECT_EQ(UsbFindDeviceAt("1-3.2.1", &error), kUsbNoDevice);
}

TEST_F(UsbDeviceLocationTest, LegacyDevicesAreFoundAcrossGapsInTheirIndexes) {
  bus.AddDevice(Driver::kLegacyEzusb, 0, At("", "Legacy 0"));
  bus.AddDevice(Driver::kLegacyEzusb, 3, At("", "Legacy 3"));
  // Without a place of its own a simulated legacy device sits on bus 2 at port index + 1.
  EXPECT_EQ(LocationOf(3), "2-4");
  EXPECT_EQ(LocationOf(1, kUsbOpenFailed), "");
  EXPECT_EQ(LocationOf(256, kUsbBadIndex), "");
  UsbError error = -100;
  EXPECT_EQ(UsbFindDeviceAt("2-4", &error), 3);
  EXPECT_EQ(error, 0);
  std::string path;
  EXPECT_EQ(UsbDevicePath(3, &path), 0);
  EXPECT_EQ(path, "\\\\.\\Ezusb-3");
}

TEST_F(UsbDeviceLocationTest, ALayerWithoutPlacesSaysSoRatherThanFindingNothing) {
  bus.AddDevice(Driver::kCyUsb, 0, At("1-2", "Gate A"));
  // A driver layer that knows no places (as the default of the interface).
  usbtest::RecordingDriverIo plain(&bus);
  platform::ScopedUsbDriverIo installed(&plain);
  EXPECT_EQ(LocationOf(0, static_cast<UsbError>(platform::kErrorNotSupported)), "");
  UsbError error = 0;
  EXPECT_EQ(UsbFindDeviceAt("1-2", &error), kUsbNoDevice);
  EXPECT_EQ(error, static_cast<UsbError>(platform::kErrorNotSupported));
}

// The wire trace puts a layer of its own in front of the driver layer; places pass through it.
class IgnoringTrace : public platform::WireTrace {
 public:
  void PortOpened(unsigned, const std::string&, int) override {}
  void PortClosed() override {}
  void Written(const std::uint8_t*, std::size_t, int) override {}
  void Read(const std::uint8_t*, std::size_t) override {}
  void Purged(int) override {}
  void TimedOut(int) override {}
  void UsbRequest(const platform::UsbTraceRequest&) override {}
};

TEST_F(UsbDeviceLocationTest, PlacesAreFoundWithTheWireTraceOn) {
  bus.AddDevice(Driver::kCyUsb, 0, At("1-2", "Gate A"));
  bus.AddDevice(Driver::kCyUsb, 1, At("3-1.4", "Gate C"));
  IgnoringTrace trace;
  platform::WireTrace* before = platform::SetWireTrace(&trace);
  UsbError error = -100;
  const std::uint16_t index = UsbFindDeviceAt("3-1.4", &error);
  platform::SetWireTrace(before);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(error, 0);
}

}  // namespace
}  // namespace flashwright
