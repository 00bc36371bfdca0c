// The device setup model built from sysfs. This is the one place that knows the sysfs layout:
//   class/tty/<tty>/device    link into the device tree; walking up from its target leads
//                             through the USB interface to the USB device
//   bus/usb/devices/<name>    USB devices (names without ':') and interfaces ("1-1:1.0")
//   <usb device>/idVendor, idProduct, bcdDevice, product, bConfigurationValue
//   <usb interface>/driver    link whose file name is the bound driver
// The root is FLASHWRIGHT_SYSFS when set, else /sys.
#include "platform/device_setup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/port_map.h"
#include "platform/text_case.h"

namespace flashwright::platform {
namespace {

// Attribute files are small; anything longer is not an attribute we understand.
constexpr std::size_t kMaxAttributeBytes = 4096;

std::string SysfsRoot() {
  const char* root = std::getenv("FLASHWRIGHT_SYSFS");
  std::string path = (root != nullptr && *root != '\0') ? root : "/sys";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Reads one attribute: the text up to the first line end or NUL, without trailing blanks.
// Only regular files are read, so a FIFO or device node planted in a tree cannot block us.
int ReadAttribute(const std::string& path, std::string* text) {
  text->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return error;
  }
  char buffer[kMaxAttributeBytes];
  std::size_t total = 0;
  int error = 0;
  while (total < sizeof buffer) {
    ssize_t got = ::read(fd, buffer + total, sizeof buffer - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (error != 0) return error;
  std::size_t end = 0;
  while (end < total && buffer[end] != '\n' && buffer[end] != '\0') ++end;
  while (end > 0 && std::isspace(static_cast<unsigned char>(buffer[end - 1]))) --end;
  text->assign(buffer, end);
  return 0;
}

bool ParseHex16(const std::string& text, unsigned* value) {
  if (text.empty() || text.size() > 4) return false;
  unsigned result = 0;
  for (char c : text) {
    int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                            : -1;
    if (digit < 0) return false;
    result = result * 16 + static_cast<unsigned>(digit);
  }
  *value = result;
  return true;
}

// The link's own target text; its file name is what sysfs uses to name a driver.
std::string LinkFileName(const std::string& link) {
  char target[PATH_MAX];
  ssize_t size = ::readlink(link.c_str(), target, sizeof target - 1);
  if (size <= 0) return {};
  std::string text(target, static_cast<std::size_t>(size));
  while (!text.empty() && text.back() == '/') text.pop_back();
  std::size_t slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return {};
  return resolved;
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Orders names as people read them: "ttyUSB2" before "ttyUSB10".
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    bool digit_a = std::isdigit(static_cast<unsigned char>(a[i]));
    bool digit_b = std::isdigit(static_cast<unsigned char>(b[j]));
    if (digit_a && digit_b) {
      std::size_t end_a = i, end_b = j;
      while (end_a < a.size() && std::isdigit(static_cast<unsigned char>(a[end_a]))) ++end_a;
      while (end_b < b.size() && std::isdigit(static_cast<unsigned char>(b[end_b]))) ++end_b;
      std::size_t start_a = i, start_b = j;
      while (start_a + 1 < end_a && a[start_a] == '0') ++start_a;
      while (start_b + 1 < end_b && b[start_b] == '0') ++start_b;
      std::size_t length_a = end_a - start_a, length_b = end_b - start_b;
      if (length_a != length_b) return length_a < length_b;
      int order = a.compare(start_a, length_a, b, start_b, length_b);
      if (order != 0) return order < 0;
      i = end_a;
      j = end_b;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}

// The names in `folder`, in natural order. ENOENT for a missing folder is passed back so the
// callers can tell an absent subsystem from a broken tree.
int ListFolder(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return errno;
  int error = 0;
  for (;;) {
    errno = 0;
    dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      error = errno;
      break;
    }
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    names->push_back(std::move(name));
  }
  ::closedir(dir);
  std::sort(names->begin(), names->end(), NaturalLess);
  return error;
}

// The sysfs root must be a folder we can enter; below it a missing subsystem folder only means
// there are no such devices.
int OpenEnumeratorFolder(const std::string& root, const std::string& folder,
                         std::vector<std::string>* names) {
  struct stat info {};
  if (::stat(root.c_str(), &info) != 0) return errno;
  if (!S_ISDIR(info.st_mode)) return ENOTDIR;
  int error = ListFolder(folder, names);
  return error == ENOENT ? 0 : error;
}

struct UsbIdentity {
  std::string hardware_id;
  std::string product;
};

// Hardware ID and product text of the USB device in `folder`; none when an identity file is
// missing or does not hold a 16-bit hexadecimal number.
std::optional<UsbIdentity> ReadUsbIdentity(const std::string& folder) {
  std::string vendor_text, product_id_text, release_text;
  unsigned vendor = 0, product_id = 0, release = 0;
  if (ReadAttribute(folder + "/idVendor", &vendor_text) != 0 ||
      ReadAttribute(folder + "/idProduct", &product_id_text) != 0 ||
      ReadAttribute(folder + "/bcdDevice", &release_text) != 0 ||
      !ParseHex16(vendor_text, &vendor) || !ParseHex16(product_id_text, &product_id) ||
      !ParseHex16(release_text, &release)) {
    return std::nullopt;
  }
  char id[64];
  std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X&REV_%04X", vendor, product_id, release);
  UsbIdentity identity;
  identity.hardware_id = id;
  if (ReadAttribute(folder + "/product", &identity.product) != 0) identity.product.clear();
  return identity;
}

// What a tty inherits from the USB device above it.
struct TtyOrigin {
  std::string hardware_id;
  std::string product;
  std::string service;
};

TtyOrigin OriginOfTty(const std::string& root, const std::string& tty) {
  TtyOrigin origin;
  std::string canonical_root = Canonical(root);
  std::string folder = Canonical(root + "/class/tty/" + tty + "/device");
  if (canonical_root.empty() || folder.empty()) return origin;
  std::string child;  // the folder below `folder` on the way up: the interface at the device
  while (folder.size() > canonical_root.size() &&
         folder.compare(0, canonical_root.size(), canonical_root) == 0 &&
         folder[canonical_root.size()] == '/') {
    if (IsFile(folder + "/idVendor")) {
      if (std::optional<UsbIdentity> identity = ReadUsbIdentity(folder)) {
        origin.hardware_id = identity->hardware_id;
        origin.product = identity->product;
      }
      if (!child.empty()) origin.service = LinkFileName(child + "/driver");
      break;
    }
    child = folder;
    folder.erase(folder.rfind('/'));
  }
  return origin;
}

std::string FriendlyName(const std::string& product, std::optional<unsigned> com) {
  std::string text = product.empty() ? "USB Serial Port" : product;
  if (com) text += " (COM" + std::to_string(*com) + ")";
  return text;
}

DeviceSet UsbDevices(const std::string& root) {
  DeviceSet set;
  const std::string folder = root + "/bus/usb/devices";
  std::vector<std::string> names;
  set.open_error = OpenEnumeratorFolder(root, folder, &names);
  if (set.open_error != 0) return set;
  for (const std::string& name : names) {
    if (name.find(':') != std::string::npos) continue;  // an interface, not a device
    const std::string device = folder + "/" + name;
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
      if (errno == ENOENT) continue;  // unplugged since the listing
      set.end_error = errno;
      break;
    }
    if (!S_ISDIR(info.st_mode)) {  // the listing itself is not what it claims to be
      set.end_error = ENOTDIR;
      break;
    }
    std::optional<UsbIdentity> identity = ReadUsbIdentity(device);
    if (!identity) continue;
    DeviceRecord record;
    record.hardware_id = identity->hardware_id;
    record.friendly_name = identity->product;
    std::string configuration;
    if (ReadAttribute(device + "/bConfigurationValue", &configuration) == 0 &&
        !configuration.empty()) {
      const std::string interface0 = name + ":" + configuration + ".0";
      record.service = LinkFileName(device + "/" + interface0 + "/driver");
      if (record.service.empty()) record.service = LinkFileName(folder + "/" + interface0 + "/driver");
    }
    set.devices.push_back(std::move(record));
  }
  return set;
}

DeviceSet TtysOfService(const std::string& root, std::string_view service) {
  DeviceSet set;
  if (service.empty()) {
    set.open_error = EINVAL;
    return set;
  }
  std::vector<std::string> ttys;
  set.open_error = OpenEnumeratorFolder(root, root + "/class/tty", &ttys);
  if (set.open_error != 0) return set;
  for (const std::string& tty : ttys) {
    TtyOrigin origin = OriginOfTty(root, tty);
    if (origin.service.empty() || !SameIgnoringCase(origin.service, service)) continue;
    DeviceRecord record;
    record.hardware_id = origin.hardware_id;
    record.service = origin.service;
    record.friendly_name = FriendlyName(origin.product, ComNumberOfTty(tty));
    set.devices.push_back(std::move(record));
  }
  return set;
}

}  // namespace

DeviceSet PortsClassDevices() {
  DeviceSet set;
  const std::string root = SysfsRoot();
  std::vector<std::string> ttys;
  set.open_error = OpenEnumeratorFolder(root, root + "/class/tty", &ttys);
  if (set.open_error != 0) return set;
  for (const std::string& tty : ttys) {
    std::optional<unsigned> com = ComNumberOfTty(tty);
    if (!com) continue;
    TtyOrigin origin = OriginOfTty(root, tty);
    DeviceRecord record;
    record.hardware_id = origin.hardware_id;
    record.service = origin.service;
    record.friendly_name = FriendlyName(origin.product, com);
    set.devices.push_back(std::move(record));
  }
  return set;
}

DeviceSet DevicesOfEnumerator(std::string_view enumerator) {
  const std::string root = SysfsRoot();
  if (SameIgnoringCase(enumerator, "USB")) return UsbDevices(root);
  return TtysOfService(root, enumerator);
}

}  // namespace flashwright::platform
