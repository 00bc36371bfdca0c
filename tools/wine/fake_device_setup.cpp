// A device setup for the installer test: the maker's USB reader is present, its driver
// "wineser" enumerates one serial port, and that port is COM<FLASHWRIGHT_FAKE_READER_COM>
// (default 3), where the test attaches the reader simulator. Linked into a test build of the
// plug-in in place of the system's device setup.
#include <cstdlib>
#include <string>

#include "platform/device_setup.h"

namespace flashwright::platform {
namespace {

std::string ReaderPort() {
  const char* port = std::getenv("FLASHWRIGHT_FAKE_READER_COM");
  return port != nullptr && *port != '\0' ? port : "3";
}

}  // namespace

DeviceSet PortsClassDevices() {
  DeviceSet set;
  set.devices.push_back({"Reader USB Serial Port (COM" + ReaderPort() + ")",
                         "USB\\VID_7E51&PID_032A&REV_0400", "wineser"});
  return set;
}

DeviceSet DevicesOfEnumerator(std::string_view enumerator) {
  DeviceSet set;
  if (enumerator == "USB" || enumerator == "usb") {
    set.devices.push_back({"USB Input Device", "USB\\VID_046D&PID_C31C&REV_6400", "HidUsb"});
    set.devices.push_back({"Reader USB", "USB\\VID_7E51&PID_032A&REV_0400", "wineser"});
  } else if (enumerator == "wineser") {
    set.devices.push_back({"Reader USB Serial Port (COM" + ReaderPort() + ")",
                           "WINESER\\VID_7E51&PID_032A&REV_0400", "wineser"});
  }
  return set;
}

}  // namespace flashwright::platform
