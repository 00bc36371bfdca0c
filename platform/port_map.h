// COM numbers and the device nodes behind them.
//
// With FLASHWRIGHT_PORT_DIR set, COM n is the entry "COM<n>" of that folder (a link to a device
// node, or a node) and no other port exists. Otherwise COM 1-16 are /dev/ttyUSB0-15, COM 17-32
// /dev/ttyACM0-15 and COM 33 up /dev/ttyS0 up.
#pragma once

#include <optional>
#include <string>

namespace flashwright::platform {

// The path that is opened for COM `port` (it may not exist).
std::string PortDevicePath(unsigned port);

// True when COM `port` resolves to an existing character device ("the port's default
// configuration exists").
bool PortExists(unsigned port);

// The tty name of COM `port`: the file name of the map entry's target as the entry names it,
// one level only. Empty for an entry that is not a link (it has no tty identity).
std::string PortTtyName(unsigned port);

// The COM number whose map entry names `tty` (the lowest when several do), or none.
std::optional<unsigned> ComNumberOfTty(const std::string& tty);

// The COM number of a device path ("/dev/serial/by-id/...", "/dev/ttyUSB0"; on Windows
// "\\.\COM12"): the port whose map entry leads to the same device node (the lowest when
// several do). None for a path that leads nowhere or to a device without a COM number.
std::optional<unsigned> ComNumberOfDevicePath(const std::string& path);

}  // namespace flashwright::platform
