// The USB device that --device names, by its index in the list or by its bus path ("1-3.2"),
// which stays the same while other devices come and go; waiting for it to appear (--wait), and
// after an update for it to be attached again.
#pragma once

#include <string>

#include "app/cli/event_output.h"

namespace flashwright::cli {

// The index of the device `argument` names: the index itself, or the index of the device at a
// bus path. With `wait_seconds` above 0 it waits that long for the device to appear (a
// progress line says so). kExitSuccess with `*index` set (an index is checked where it is
// used), or the outcome already written: kExitTimeout after a wait, kExitNoReader when no
// device is at the bus path, kExitUsage where the driver layer cannot tell where devices are.
int FindUsbDevice(const std::string& argument, int wait_seconds, EventOutput& output,
                  int* index);

// The bus path of the device at `index`, empty where it cannot be told.
std::string UsbBusPath(int index);
// The device's name with its bus path where that is known: "Cyusb-0 at 1-3.2".
std::string UsbNameAndPlace(int index);

// After a successful update of the device at `index` (at `bus_path`, or where that is empty,
// at its place now): the new firmware runs once the user has detached the device and attached
// it again. Waits up to `wait_seconds` for that and for the device to answer, then ends the
// command with `completion` (the update's text and fields) and the device's product string
// (`version_after`), or with kExitTimeout when it did not come back in time.
int ReportUsbDeviceAfter(int index, std::string bus_path, int wait_seconds,
                         const std::string& completion, JsonObject fields, EventOutput& output);

}  // namespace flashwright::cli
