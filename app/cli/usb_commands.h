// flashwright-cli usb: the USB device side of the windowed program from a terminal. Devices are
// read and checked as the USB update view reads and checks them, the update engine writes the
// image on its worker thread, and the outcome is told with the view's texts. Beyond the view,
// an update is read back and compared, and a device's whole EEPROM can be saved to a file.
#pragma once

#include <string>
#include <vector>

#include "app/cli/event_output.h"
#include "app/cli/signal_watcher.h"

namespace flashwright::cli {

int RunUsbList(EventOutput& output);
int RunUsbInfo(int device, EventOutput& output);

struct UsbUpdateArguments {
  int device = 0;
  std::string bus_path;  // the place --device named the device by, if it did
  std::string firmware;
  std::string firmware_folder;
  std::vector<std::string> markers;
  bool check_only = false;
  bool allow_non_matching = false;
  bool yes = false;
  bool verify = true;  // read the written range back and compare it
  bool skip_if_current = false;  // write nothing to a device that already runs the image
  int wait_seconds = 0;  // after a success, how long to wait for the device to come back
};

int RunUsbUpdate(const UsbUpdateArguments& arguments, EventOutput& output,
                 SignalWatcher* watcher);
// Saves the whole EEPROM into `file`; an existing file is replaced only with `force`.
int RunUsbBackup(int device, const std::string& file, bool force, EventOutput& output);

}  // namespace flashwright::cli
