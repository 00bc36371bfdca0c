// The present devices as the device setup interface lists them: serial ports with their
// friendly names, hardware IDs and services, the USB devices, and the devices a service
// (a driver) enumerates as its children.
//
// A set is a snapshot taken when it is made. Its properties are plain strings; an empty string
// is a property the device does not have, which a property read reports as a failure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace flashwright::platform {

struct DeviceRecord {
  std::string friendly_name;  // "<product text> (COM<n>)"
  std::string hardware_id;    // "USB\VID_xxxx&PID_yyyy&REV_zzzz", upper-case hexadecimal
  std::string service;        // the driver bound to the device's USB interface
};

struct DeviceSet {
  // Nonzero (a system error code) when the set could not be made; it then holds no devices.
  int open_error = 0;
  std::vector<DeviceRecord> devices;
  // Nonzero when the enumeration broke off with this error after the devices listed; 0 when it
  // ended because there were no more devices.
  int end_error = 0;
};

// The present devices of the Ports setup class: every serial port that has a COM number.
DeviceSet PortsClassDevices();

// The present devices of an enumerator: "USB" (any case) gives the USB devices, with the
// driver of interface 0 of the active configuration as service; any other name is taken as a
// service and gives the serial ports below the USB interfaces bound to it.
DeviceSet DevicesOfEnumerator(std::string_view enumerator);

}  // namespace flashwright::platform
