// An EZ-USB device emulated under umockdev, for end-to-end tests of the libusb driver layer.
//
// UsbTestbed makes a umockdev test bed (the process, and children started with its
// environment under umockdev-wrapper, then see its devices instead of the machine's) and adds
// USB devices to it. Each EmulatedEzUsb answers the usbdevfs requests that libusb sends to its
// device node, as an EZ-USB with EEPROM firmware would: the standard descriptors, and vendor
// request 0xA2 (0x40 write, 0xC0 read, wValue = address) on a 64 KiB EEPROM. Failures are
// injected on demand: stalls, an unplug after a number of EEPROM bytes, requests that never
// complete until they are discarded.
//
// The requests are answered on umockdev's own worker thread, so the code under test may block
// while it waits for them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace flashwright::mockdev {

inline constexpr std::uint32_t kEmulatedEepromSize = 65536;

struct EmulatedDeviceProfile {
  std::uint16_t vendor_id = 0x04B4;
  std::uint16_t product_id = 0x8613;
  std::uint16_t device_release = 0xA001;
  std::uint8_t bus = 1;
  std::uint8_t address = 2;
  std::string manufacturer = "Orvane";
  std::string product = "Orvane Folio Systems Gate 1.2.3.4";
  std::string serial_number = "0001";
  std::uint8_t first_byte = 0xC2;  // EEPROM byte 0; the rest starts as 0xFF
  // The kernel's name of the place it is plugged in, "<bus>-<port>[.<port>]..." (the name of
  // its sysfs folder); empty: "<bus>-<address>".
  std::string port_path;
};

struct EmulatedCounters {
  std::uint32_t control_requests = 0;  // control URBs submitted
  std::uint32_t vendor_requests = 0;   // 0xA2 requests among them
  std::uint32_t eeprom_bytes_written = 0;
  std::uint32_t discarded = 0;
};

class UsbTestbed;

class EmulatedEzUsb {
 public:
  ~EmulatedEzUsb();
  EmulatedEzUsb(const EmulatedEzUsb&) = delete;
  EmulatedEzUsb& operator=(const EmulatedEzUsb&) = delete;

  const EmulatedDeviceProfile& profile() const { return profile_; }
  std::string DevicePath() const { return device_path_; }  // in the test bed's sysfs
  std::string DeviceNode() const;                          // /dev/bus/usb/BBB/DDD

  std::vector<std::uint8_t> Eeprom() const;
  void SetEeprom(const std::vector<std::uint8_t>& contents);
  EmulatedCounters Counters() const;

  // The next `count` vendor requests stall (URB status -EPIPE); nothing is written.
  void StallVendorRequests(std::uint32_t count);
  // After `after` more vendor requests, the `count` following ones move at most `moved` bytes of
  // their data stage (the URB completes with that actual length; a write stores only those).
  void ShortenVendorRequests(std::uint32_t count, std::uint32_t moved, std::uint32_t after = 0);
  // A vendor write that would take the EEPROM bytes written (from now) beyond `bytes` finds
  // the device gone: it is taken out of the test bed (listed no more), and that write and
  // every request after it fail with ENODEV. Nothing of that write is kept.
  void UnplugAfterBytes(std::uint32_t bytes);
  // The next `count` vendor requests are held until libusb discards them.
  void HoldVendorRequests(std::uint32_t count);
  bool Unplugged() const;

 private:
  friend class UsbTestbed;
  struct Emulation;
  EmulatedEzUsb(UsbTestbed* testbed, const EmulatedDeviceProfile& profile);

  EmulatedDeviceProfile profile_;
  std::string device_path_;
  std::unique_ptr<Emulation> emulation_;
};

class UsbTestbed {
 public:
  UsbTestbed();  // sets UMOCKDEV_DIR for this process
  ~UsbTestbed();
  UsbTestbed(const UsbTestbed&) = delete;
  UsbTestbed& operator=(const UsbTestbed&) = delete;

  // True when the process runs under umockdev-wrapper (its devices are then the test bed's).
  static bool Preloaded();

  EmulatedEzUsb& AddDevice(const EmulatedDeviceProfile& profile = {});
  // A hub at `port_path` ("1-3"), with that bus address: devices whose port path continues it
  // ("1-3.2"), added after it, hang from it, so that the system names their place in full.
  void AddHub(const std::string& port_path, std::uint8_t address);
  // Unplugs the device: taken out of the test bed's sysfs (listed no more), its node's
  // requests no longer answered.
  void RemoveDevice(EmulatedEzUsb& device);
  // Tells the test bed's udev listeners (libusb's hot-plug monitor among them) that the device
  // came ("add") or is going ("remove", sent before RemoveDevice), as the kernel does.
  void Announce(const EmulatedEzUsb& device, const char* action);

  // A child process sees the test bed, and its device nodes' requests reach the emulated
  // devices of this process, when it runs under umockdev-wrapper with UMOCKDEV_DIR naming the
  // test bed. Run WrapChild(argv) with ChildEnvironment() added to the child's environment
  // (test::RunProgram does both); keep the test bed alive until the child has ended, then look
  // at the devices' EEPROMs.
  std::vector<std::string> ChildEnvironment() const;
  static std::vector<std::string> WrapChild(const std::vector<std::string>& argv);
  std::string RootDir() const;

 private:
  friend class EmulatedEzUsb;
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::vector<std::unique_ptr<EmulatedEzUsb>> devices_;
};

}  // namespace flashwright::mockdev
