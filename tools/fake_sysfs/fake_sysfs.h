// Fake device trees for tests: a sysfs tree with USB devices, their interfaces and drivers and
// the ttys below them (FLASHWRIGHT_SYSFS points at it), and a Wine prefix with a system.reg
// and files in its common application data folder (WINEPREFIX points at it).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace flashwright::test {

struct FakeUsbDevice {
  std::string name = "1-1";  // the bus path, as in bus/usb/devices
  std::uint16_t vendor = 0;
  std::uint16_t product_id = 0;
  std::uint16_t release = 0;  // bcdDevice
  std::string product;        // the product string; empty: the device has none
  int configuration = 1;      // bConfigurationValue; 0: unconfigured (no file)
};

// How a driver hangs its tty below the USB interface.
enum class TtyStyle {
  UsbSerial,  // <interface>/ttyUSB0/tty/ttyUSB0, the device link naming <interface>/ttyUSB0
  Acm,        // <interface>/tty/ttyACM0, the device link naming the interface itself
};

class FakeSysfs {
 public:
  // Makes the skeleton below `root` (which must exist): devices/, class/tty/, bus/usb/devices/
  // and a root hub usb1 bound to the hub driver.
  explicit FakeSysfs(std::string root);
  const std::string& root() const { return root_; }

  // Adds a USB device below the root hub; returns its folder.
  std::string AddUsbDevice(const FakeUsbDevice& device);
  // Adds interface <device>:<configuration>.<number>, bound to `driver` unless it is empty.
  std::string AddInterface(const std::string& device_name, int number, const std::string& driver,
                           int configuration = 1);
  // Adds `tty` below an interface folder and its class/tty entry.
  std::string AddTty(const std::string& interface_folder, const std::string& tty,
                     TtyStyle style = TtyStyle::UsbSerial);
  // Adds a class/tty entry without a device link (a virtual terminal).
  void AddPlainTty(const std::string& tty);

  // A whole adapter: the device, interface 0 bound to `driver`, and `tty` below it.
  void AddSerialAdapter(const FakeUsbDevice& device, const std::string& driver,
                        const std::string& tty, TtyStyle style = TtyStyle::UsbSerial);

  // Writes `contents` to the file at `relative` below the root (folders are made).
  bool WriteFile(const std::string& relative, const std::string& contents) const;
  // Removes the file, link or whole folder at `relative`.
  bool Remove(const std::string& relative) const;
  std::string DeviceFolder(const std::string& device_name) const;

 private:
  std::string root_;
};

// The text of a system.reg: the header, then keys with their values in the order given.
class SystemRegText {
 public:
  // The hive of a 32-bit prefix, or of a 64-bit one (where 32-bit programs see SOFTWARE below
  // Wow6432Node).
  explicit SystemRegText(bool win64 = false);
  // Starts key `path` ("Software\Vendor\Product", single backslashes).
  SystemRegText& Key(const std::string& path);
  SystemRegText& Dword(const std::string& name, std::uint32_t value);
  SystemRegText& String(const std::string& name, const std::string& value);
  SystemRegText& Hex(const std::string& name, const std::vector<std::uint8_t>& bytes);
  SystemRegText& Line(const std::string& raw);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// The sibling product's XML configuration: one element value per entry, with the attributes
// name and dw, inside a root element.
std::string RavelinXml(const std::vector<std::pair<std::string, std::string>>& values);

class FakeWinePrefix {
 public:
  // Makes drive_c/ProgramData below `root` (which must exist).
  explicit FakeWinePrefix(std::string root);
  const std::string& root() const { return root_; }
  bool WriteSystemReg(const std::string& text) const;
  // Writes a file below drive_c/ProgramData; `relative` uses "/" and keeps its case.
  bool WriteProgramDataFile(const std::string& relative, const std::string& contents) const;
  std::string ProgramData() const { return root_ + "/drive_c/ProgramData"; }

 private:
  std::string root_;
};

// Every entry below `root` with its type, link target, size, time of change and, for files,
// contents: two equal fingerprints mean nothing was written in between.
std::string TreeFingerprint(const std::string& root);

}  // namespace flashwright::test
