#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/port_map.h"

namespace flashwright::platform {
namespace {

const char* PortDirectory() {
  const char* dir = std::getenv("FLASHWRIGHT_PORT_DIR");
  return (dir != nullptr && *dir != '\0') ? dir : nullptr;
}

std::string FixedRulePath(unsigned port) {
  if (port >= 1 && port <= 16) return "/dev/ttyUSB" + std::to_string(port - 1);
  if (port >= 17 && port <= 32) return "/dev/ttyACM" + std::to_string(port - 17);
  if (port >= 33) return "/dev/ttyS" + std::to_string(port - 33);
  return {};
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "COM12" -> 12; anything else -> 0.
unsigned ComNumberOfEntry(const char* name) {
  if (name[0] != 'C' || name[1] != 'O' || name[2] != 'M' || name[3] == '\0') return 0;
  unsigned value = 0;
  for (const char* p = name + 3; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || value > 100000) return 0;
    value = value * 10 + static_cast<unsigned>(*p - '0');
  }
  return value;
}

}  // namespace

std::string PortDevicePath(unsigned port) {
  if (const char* dir = PortDirectory()) return std::string(dir) + "/COM" + std::to_string(port);
  return FixedRulePath(port);
}

bool PortExists(unsigned port) {
  const std::string path = PortDevicePath(port);
  if (path.empty()) return false;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

std::string PortTtyName(unsigned port) {
  const std::string path = PortDevicePath(port);
  if (path.empty()) return {};
  if (PortDirectory() == nullptr) return BaseName(path);
  // One level only: the name the entry's link gives, even when that leads on to a pty.
  char target[4096];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
  if (length <= 0) return {};
  target[length] = '\0';
  return BaseName(target);
}

std::optional<unsigned> ComNumberOfTty(const std::string& tty) {
  if (tty.empty()) return std::nullopt;
  const char* dir = PortDirectory();
  if (dir == nullptr) {
    for (unsigned port = 1; port <= 64; ++port) {
      if (BaseName(FixedRulePath(port)) == tty) return port;
    }
    return std::nullopt;
  }
  DIR* folder = ::opendir(dir);
  if (folder == nullptr) return std::nullopt;
  std::optional<unsigned> lowest;
  while (const dirent* entry = ::readdir(folder)) {
    const unsigned port = ComNumberOfEntry(entry->d_name);
    if (port == 0 || (lowest && *lowest <= port)) continue;
    if (PortTtyName(port) == tty) lowest = port;
  }
  ::closedir(folder);
  return lowest;
}

}  // namespace flashwright::platform
