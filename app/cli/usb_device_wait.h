// The USB device that --device names, by its index in the list or by its bus path ("1-3.2"),
// which stays the same while other devices come and go.
#pragma once

#include <string>

#include "app/cli/event_output.h"

namespace flashwright::cli {

// The index of the device `argument` names now: the index itself, or the index of the device
// at a bus path. kExitSuccess with `*index` set (an index is checked where it is used), or the
// outcome already written: kExitNoReader when no device is at the bus path, kExitUsage where
// the driver layer cannot tell where devices are.
int FindUsbDevice(const std::string& argument, EventOutput& output, int* index);

// The bus path of the device at `index`, empty where it cannot be told.
std::string UsbBusPath(int index);

}  // namespace flashwright::cli
