// The simulated USB devices of flashwright-cli-usbsim, described in a small text file so that a
// test (or a demo script) can set them up before the program runs and look at them after it
// has ended.
//
// One setting per line, "key value"; blank lines and lines starting with '#' are skipped.
// "device <legacy|cyusb> <index>" starts a device; the lines after it describe that device:
//
//   vendor-id 04b4                  hexadecimal, as are product-id, release and first-byte
//   product-id 8613
//   release a001
//   product Orvane Folio Systems Gate 1.2.3.4   the rest of the line is the product string
//   first-byte c2                   EEPROM byte 0 of a fresh device (the rest is FF)
//   bus-path 1-3.2                  where it is plugged in (default 1-<index + 1>, legacy 2-...)
//   eeprom /path/eeprom.bin         loaded when the file exists, written back at the end
//   counters /path/counters.txt     what the device saw, written at the end
//   real-time                       the device takes its modelled EEPROM and bus time
//   fail-writes 3 1 1617            EEPROM write 3 (from the start) and 0 after it fail, code 1617
//   dead-marker                     reads answer DE AD
//   stall 1                         the next vendor request stalls
//   short 2 10 5                    after 5 EEPROM requests, the next 2 move at most 10 bytes
//   unplug-after-bytes 500          the device is gone once a write would pass 500 bytes
//   never-complete 1                the next vendor request never completes
//   write-protect-from 256          writes from this EEPROM address on are not stored
//   refuse-open                     listed, but cannot be opened
//   unplugged                       gone from the start
//   attached-while /path/cable      attached only while that file exists (as a test plays the
//                                   user at the cable); attached again it keeps its EEPROM
//   reattached-product TEXT         its product string once it has been attached again (the
//                                   new firmware's)
//
// Counts and addresses are decimal or 0x-prefixed hexadecimal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::usbsim {

struct SimWriteFailure {
  std::uint32_t nth = 0;
  std::uint32_t count = 0;
  std::uint32_t code = 0;
};

struct SimDeviceDescription {
  Driver driver = Driver::kCyUsb;
  std::uint16_t index = 0;
  DeviceProfile profile;
  std::string eeprom_file;
  std::string counters_file;
  std::vector<SimWriteFailure> write_failures;
  bool dead_marker = false;
  std::uint32_t stalls = 0;
  std::uint32_t short_count = 0;  // "short": count, bytes moved, requests before
  std::uint32_t short_moved = 0;
  std::uint32_t short_after = 0;
  std::int64_t unplug_after_bytes = -1;  // -1: stays plugged
  std::uint32_t never_complete = 0;
  std::int64_t write_protect_from = -1;  // -1: nothing protected
  bool refuse_open = false;
  bool unplugged = false;
  std::string attached_while;  // empty: attached as the other settings say
  std::string reattached_product;
};

// Reads a description text. False with `error` ("line N: ...") when a line is not understood.
bool ParseSimDescription(const std::string& text, std::vector<SimDeviceDescription>* devices,
                         std::string* error);

// Reads the description file that the environment variable FLASHWRIGHT_USBSIM names; no
// devices when it is not set. False with `error` when the file cannot be read or parsed.
bool LoadSimDescriptionFromEnvironment(std::vector<SimDeviceDescription>* devices,
                                       std::string* error);

// Puts the described devices on `bus`: identity, EEPROM contents from their files, failures.
// False with `error` when an EEPROM file cannot be read or is larger than the EEPROM.
bool SetUpSimDevices(const std::vector<SimDeviceDescription>& devices, SimulatedUsbBus* bus,
                     std::string* error);

// Writes every device's EEPROM and counters back to the files the description names.
bool SaveSimDevices(const std::vector<SimDeviceDescription>& devices, SimulatedUsbBus* bus,
                    std::string* error);

// The programs on simulated devices: sets up the devices that FLASHWRIGHT_USBSIM describes on a
// bus of their own, runs `run` with it and writes the devices back when it has returned. A
// description that cannot be read, set up or saved is told on standard error after `program`
// and ends with status 78 (sysexits' EX_CONFIG).
int RunOnSimulatedDevices(const char* program, const std::function<int(SimulatedUsbBus&)>& run);

}  // namespace flashwright::usbsim
