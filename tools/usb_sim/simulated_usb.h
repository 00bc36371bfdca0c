// A simulated EZ-USB device behind the driver-I/O seam, for tests, benchmarks and the demo.
//
// SimulatedUsbBus is a complete driver layer (platform::UsbDriverIo): install it with
// platform::ScopedUsbDriverIo and every USB operation of the program talks to its devices.
// Each device is served either by the legacy EZ-USB driver (it answers to "\\.\Ezusb-<index>"
// and takes the synchronous 0x2220xx requests) or by the CyUSB driver (it is a member of the
// CyUSB interface class and takes the overlapped 0x2200xx requests with transfer blocks).
//
// The device itself is an EZ-USB with firmware that answers the standard descriptor requests
// and vendor request 0xA2 (bmRequestType 0x40 write, 0xC0 read, wValue = EEPROM address) on a
// 64 KiB serial EEPROM of the 24LC512 class: 128-byte pages, each page write taking 5 ms, and
// the bytes crossing a 400 kHz I2C bus (9 clocks a byte). With real_time set the device takes
// that long to answer a request; the modelled time is added up either way.
//
// Failures are injected on demand: a failing EEPROM write, the DE AD marker, a stall, an unplug
// after a number of bytes, a request that never completes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"
#include "platform/usb_hotplug.h"

namespace flashwright::usbsim {

enum class Driver { kLegacyEzusb, kCyUsb };

inline constexpr std::uint32_t kEepromSize = 65536;

struct EepromTiming {
  std::uint32_t page_size = 128;
  std::chrono::microseconds page_write{5000};
  std::chrono::nanoseconds byte_transfer{22500};  // 9 clocks at 400 kHz
  bool real_time = false;  // the device takes the modelled time to answer
};

struct DeviceProfile {
  std::uint16_t vendor_id = 0x04B4;
  std::uint16_t product_id = 0x8613;
  std::uint16_t device_release = 0xA001;
  std::uint8_t max_packet_size0 = 64;
  std::string manufacturer = "Orvane";
  std::string product = "Orvane Folio Systems Gate 1.2.3.4";
  std::string serial_number = "0001";
  std::vector<std::uint16_t> languages = {0x0409};  // the string descriptor 0 list
  std::uint8_t first_byte = 0xC2;                    // EEPROM byte 0 (the rest is 0xFF)
  EepromTiming timing;
  std::uint32_t driver_version = 0x01020304;  // CyUSB: major, minor, build, revision
  std::uint16_t legacy_driver_version[3] = {1, 2, 3};
  // Where the device is plugged in, as the system names the place ("1-3.2": port 2 of the hub
  // at port 3 of bus 1). Empty: port index + 1 of the root hub of bus 1 (CyUSB) or bus 2
  // (legacy driver).
  std::string bus_path;
};

// What the device saw, for tests to check.
struct DeviceCounters {
  std::uint32_t vendor_requests = 0;  // 0xA2 requests that reached the device
  std::uint32_t eeprom_writes = 0;    // 0xA2 writes that changed the EEPROM
  std::uint32_t eeprom_bytes_written = 0;
  std::uint32_t resets = 0;           // reset requests (legacy reset, CyUSB reset pipe)
  std::uint32_t aborts = 0;           // CyUSB abort pipe requests
  std::uint32_t opens = 0;
  std::uint32_t open_handles = 0;     // handles open now
  platform::SetupPacket last_setup;   // of the last control request
  std::vector<platform::SetupPacket> setups;  // every control request, in order
};

class SimulatedUsbDevice {
 public:
  SimulatedUsbDevice(Driver driver, DeviceProfile profile);
  ~SimulatedUsbDevice();
  SimulatedUsbDevice(const SimulatedUsbDevice&) = delete;
  SimulatedUsbDevice& operator=(const SimulatedUsbDevice&) = delete;

  Driver driver() const { return driver_; }
  const DeviceProfile& profile() const { return profile_; }

  std::vector<std::uint8_t> Eeprom() const;
  void SetEeprom(const std::vector<std::uint8_t>& contents);  // from address 0 on
  DeviceCounters Counters() const;
  // Starts the counters and the modelled time anew (open_handles is a state and stays).
  void ResetCounters();
  // The time the modelled EEPROM and I2C bus took for everything written and read so far.
  std::chrono::nanoseconds ModelledTime() const;

  // ---- Failures on demand.
  // The EEPROM write request number `nth` (counted from 1 from now) and the `count` - 1 after
  // it fail: on the legacy driver with `code` as the request's system error code, on the
  // CyUSB driver as a failed transfer (NT status unsuccessful) whose overlapped result is
  // `code`. Nothing of a failed write reaches the EEPROM.
  void FailWrites(std::uint32_t nth, std::uint32_t count, std::uint32_t code);
  // Reads answer data that begins DE AD (the firmware's fault marker) while set.
  void AnswerDeadMarker(bool on);
  // The next `count` vendor requests stall (endpoint 0 answers STALL; nothing is written).
  void StallVendorRequests(std::uint32_t count);
  // After `after` more EEPROM requests, the `count` following ones move at most `moved` bytes
  // of their data stage: a read answers fewer bytes, a write stores only the first ones, and
  // both report that count.
  void ShortenVendorRequests(std::uint32_t count, std::uint32_t moved, std::uint32_t after = 0);
  // The device is unplugged when a write would take the EEPROM bytes written (counted from
  // now) beyond `bytes`: that request and every later one find the device gone (1167 on the
  // legacy driver, a device-gone transfer on the CyUSB driver). The failing write writes
  // nothing.
  void UnplugAfterBytes(std::uint32_t bytes);
  // The next `count` vendor requests never complete: on the CyUSB driver until the endpoint is
  // aborted or the handle closed; on the legacy driver (synchronous requests) until the
  // legacy driver's own limit, `legacy_limit`, when they fail with 121.
  void NeverCompleteRequests(
      std::uint32_t count, std::chrono::milliseconds legacy_limit = std::chrono::milliseconds(200));
  // From `address` on the EEPROM is write-protected: writes there are acknowledged as usual
  // but the stored bytes stay as they were (what a read-back verification must catch).
  void WriteProtectFrom(std::uint32_t address);
  // The device is listed but cannot be opened (access denied) while set.
  void RefuseOpen(bool on);
  // Unplugged now: listed no more, every request fails as device gone.
  void Unplug();
  bool Plugged() const;

 private:
  friend class SimulatedUsbBus;
  struct State;
  Driver driver_;
  DeviceProfile profile_;
  std::unique_ptr<State> state_;
};

// A driver layer with simulated devices. The legacy driver counts as present when a legacy
// device with index 0 is plugged. CyUSB devices are the members of the CyUSB interface class
// in the order of their index.
class SimulatedUsbBus : public platform::UsbDriverIo {
 public:
  SimulatedUsbBus();
  ~SimulatedUsbBus() override;
  SimulatedUsbBus(const SimulatedUsbBus&) = delete;
  SimulatedUsbBus& operator=(const SimulatedUsbBus&) = delete;

  // Adds a device at `index` (replacing one that is there) and returns it; it lives as long
  // as the bus.
  SimulatedUsbDevice& AddDevice(Driver driver, std::uint16_t index, DeviceProfile profile = {});
  SimulatedUsbDevice* Device(Driver driver, std::uint16_t index);

  // The bus's hot-plug notices: a device added, and a device unplugged (on demand or by an
  // injected failure), is announced to every registration from the thread that did it.
  platform::UsbHotplugSource& Hotplug();

  // CyUSB control transfers normally end from the simulator's own thread after the device has
  // answered (the caller sees kErrorIoPending and waits); with this set they end at once.
  void CompleteAtOnce(bool on);

  std::uint32_t InterfaceMemberPath(const platform::InterfaceClassId& cls, std::uint32_t index,
                                    std::string* path) override;
  platform::DriverHandle Open(const std::string& path, bool overlapped,
                              std::uint32_t* error) override;
  std::uint32_t Close(platform::DriverHandle handle) override;
  std::uint32_t IoControl(platform::DriverHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t in_size, void* out, std::uint32_t out_size,
                          std::uint32_t* returned, platform::DriverOverlapped* overlapped) override;
  std::uint32_t DeviceLocation(const std::string& path, std::string* location) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace flashwright::usbsim
