#include "tools/fake_sysfs/fake_sysfs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace flashwright::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHubFolder = "devices/pci0000:00/0000:00:14.0/usb1";

std::string Hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

bool Write(const std::string& path, const std::string& contents) {
  std::error_code error;
  fs::create_directories(fs::path(path).parent_path(), error);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  return static_cast<bool>(out);
}

// A relative link from the folder of `link` to `target`, as sysfs makes them.
bool Link(const std::string& target, const std::string& link) {
  std::error_code error;
  fs::path link_path(link);
  fs::create_directories(link_path.parent_path(), error);
  fs::path relative = fs::path(target).lexically_relative(link_path.parent_path());
  fs::remove(link_path, error);
  fs::create_symlink(relative, link_path, error);
  return !error;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace

FakeSysfs::FakeSysfs(std::string root) : root_(std::move(root)) {
  std::error_code error;
  fs::create_directories(root_ + "/class/tty", error);
  fs::create_directories(root_ + "/bus/usb/devices", error);
  fs::create_directories(root_ + "/bus/usb/drivers/hub", error);
  const std::string hub = root_ + "/" + kHubFolder;
  Write(hub + "/idVendor", "1d6b\n");
  Write(hub + "/idProduct", "0002\n");
  Write(hub + "/bcdDevice", "0601\n");
  Write(hub + "/product", "xHCI Host Controller\n");
  Write(hub + "/bConfigurationValue", "1\n");
  Link(root_ + "/bus/usb/drivers/hub", hub + "/usb1:1.0/driver");
  Link(hub, root_ + "/bus/usb/devices/usb1");
  Link(hub + "/usb1:1.0", root_ + "/bus/usb/devices/usb1:1.0");
}

std::string FakeSysfs::DeviceFolder(const std::string& device_name) const {
  return root_ + "/" + kHubFolder + "/" + device_name;
}

std::string FakeSysfs::AddUsbDevice(const FakeUsbDevice& device) {
  const std::string folder = DeviceFolder(device.name);
  Write(folder + "/idVendor", Hex4(device.vendor) + "\n");
  Write(folder + "/idProduct", Hex4(device.product_id) + "\n");
  Write(folder + "/bcdDevice", Hex4(device.release) + "\n");
  if (!device.product.empty()) Write(folder + "/product", device.product + "\n");
  if (device.configuration > 0) {
    Write(folder + "/bConfigurationValue", std::to_string(device.configuration) + "\n");
  }
  Link(folder, root_ + "/bus/usb/devices/" + device.name);
  return folder;
}

std::string FakeSysfs::AddInterface(const std::string& device_name, int number,
                                    const std::string& driver, int configuration) {
  const std::string name =
      device_name + ":" + std::to_string(configuration) + "." + std::to_string(number);
  const std::string folder = DeviceFolder(device_name) + "/" + name;
  Write(folder + "/bInterfaceNumber", Hex4(static_cast<std::uint16_t>(number)).substr(2) + "\n");
  if (!driver.empty()) {
    std::error_code error;
    fs::create_directories(root_ + "/bus/usb/drivers/" + driver, error);
    Link(root_ + "/bus/usb/drivers/" + driver, folder + "/driver");
    Link(folder, root_ + "/bus/usb/drivers/" + driver + "/" + name);
  }
  Link(folder, root_ + "/bus/usb/devices/" + name);
  return folder;
}

std::string FakeSysfs::AddTty(const std::string& interface_folder, const std::string& tty,
                              TtyStyle style) {
  std::string device;  // what the tty's device link names
  std::string tty_folder;
  if (style == TtyStyle::UsbSerial) {
    device = interface_folder + "/" + tty;
    tty_folder = device + "/tty/" + tty;
  } else {
    device = interface_folder;
    tty_folder = interface_folder + "/tty/" + tty;
  }
  Write(tty_folder + "/dev", "188:0\n");
  Link(device, tty_folder + "/device");
  Link(tty_folder, root_ + "/class/tty/" + tty);
  return tty_folder;
}

void FakeSysfs::AddPlainTty(const std::string& tty) {
  const std::string folder = root_ + "/devices/virtual/tty/" + tty;
  Write(folder + "/dev", "4:0\n");
  Link(folder, root_ + "/class/tty/" + tty);
}

void FakeSysfs::AddSerialAdapter(const FakeUsbDevice& device, const std::string& driver,
                                 const std::string& tty, TtyStyle style) {
  AddUsbDevice(device);
  std::string interface_folder = AddInterface(device.name, 0, driver, device.configuration);
  AddTty(interface_folder, tty, style);
}

bool FakeSysfs::WriteFile(const std::string& relative, const std::string& contents) const {
  return Write(root_ + "/" + relative, contents);
}

bool FakeSysfs::Remove(const std::string& relative) const {
  std::error_code error;
  return fs::remove_all(root_ + "/" + relative, error) > 0 && !error;
}

SystemRegText::SystemRegText(bool win64)
    : text_(std::string("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=") +
            (win64 ? "win64" : "win32") + "\n") {}

SystemRegText& SystemRegText::Key(const std::string& path) {
  std::string escaped;
  for (char c : path) {
    if (c == '\\') escaped += "\\\\";
    else escaped.push_back(c);
  }
  text_ += "\n[" + escaped + "] 1700000000\n#time=1da0000000000000\n";
  return *this;
}

SystemRegText& SystemRegText::Dword(const std::string& name, std::uint32_t value) {
  char data[16];
  std::snprintf(data, sizeof data, "%08x", value);
  text_ += "\"" + Escape(name) + "\"=dword:" + data + "\n";
  return *this;
}

SystemRegText& SystemRegText::String(const std::string& name, const std::string& value) {
  text_ += "\"" + Escape(name) + "\"=\"" + Escape(value) + "\"\n";
  return *this;
}

SystemRegText& SystemRegText::Hex(const std::string& name,
                                  const std::vector<std::uint8_t>& bytes) {
  text_ += "\"" + Escape(name) + "\"=hex:";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", bytes[i]);
    if (i > 0) text_ += ",";
    // Long data goes on over indented lines, as Wine writes it.
    if (i > 0 && i % 16 == 0) text_ += "\\\n  ";
    text_ += byte;
  }
  text_ += "\n";
  return *this;
}

SystemRegText& SystemRegText::Line(const std::string& raw) {
  text_ += raw + "\n";
  return *this;
}

std::string RavelinXml(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configuration>\n";
  for (const auto& [name, dw] : values) {
    text += "  <value name=\"" + name + "\" dw=\"" + dw + "\"/>\n";
  }
  return text + "</Configuration>\n";
}

FakeWinePrefix::FakeWinePrefix(std::string root) : root_(std::move(root)) {
  std::error_code error;
  fs::create_directories(ProgramData(), error);
}

bool FakeWinePrefix::WriteSystemReg(const std::string& text) const {
  return Write(root_ + "/system.reg", text);
}

bool FakeWinePrefix::WriteProgramDataFile(const std::string& relative,
                                          const std::string& contents) const {
  return Write(ProgramData() + "/" + relative, contents);
}

std::string TreeFingerprint(const std::string& root) {
  std::vector<std::string> lines;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) continue;
    std::ostringstream line;
    line << path.lexically_relative(root).string() << " mode=" << info.st_mode
         << " size=" << info.st_size << " mtime=" << info.st_mtim.tv_sec << "."
         << info.st_mtim.tv_nsec;
    if (S_ISLNK(info.st_mode)) {
      std::error_code link_error;
      line << " -> " << fs::read_symlink(path, link_error).string();
    } else if (S_ISREG(info.st_mode)) {
      std::ifstream in(path, std::ios::binary);
      std::ostringstream contents;
      contents << in.rdbuf();
      line << " data=" << contents.str();
    }
    lines.push_back(line.str());
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace flashwright::test
