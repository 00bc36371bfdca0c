#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
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

// The number after `prefix` in `tty` ("ttyS40" -> 40), or none.
std::optional<unsigned> NumberAfter(const std::string& tty, const char* prefix) {
  const std::string start(prefix);
  if (tty.size() <= start.size() || tty.compare(0, start.size(), start) != 0) return std::nullopt;
  unsigned value = 0;
  for (std::size_t i = start.size(); i < tty.size(); ++i) {
    const char c = tty[i];
    if (c < '0' || c > '9' || value > 100000) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  // "ttyS01" is no tty name of the kernel's.
  if (tty.size() > start.size() + 1 && tty[start.size()] == '0') return std::nullopt;
  return value;
}

// The fixed rule backwards. Its last range has no upper end: every ttyS<n> has a COM number.
std::optional<unsigned> FixedRuleComNumber(const std::string& tty) {
  if (const auto n = NumberAfter(tty, "ttyUSB"); n && *n < 16) return *n + 1;
  if (const auto n = NumberAfter(tty, "ttyACM"); n && *n < 16) return *n + 17;
  if (const auto n = NumberAfter(tty, "ttyS")) return *n + 33;
  return std::nullopt;
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

// The device node a path finally leads to, or empty.
std::string CanonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return {};
  return resolved;
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

namespace {
// The lowest COM number among the entries of the port folder `dir` for which `matches` holds.
template <typename Matches>
std::optional<unsigned> LowestEntryWhere(const char* dir, Matches matches) {
  DIR* folder = ::opendir(dir);
  if (folder == nullptr) return std::nullopt;
  std::optional<unsigned> lowest;
  while (const dirent* entry = ::readdir(folder)) {
    const unsigned port = ComNumberOfEntry(entry->d_name);
    if (port == 0 || (lowest && *lowest <= port)) continue;
    if (matches(port)) lowest = port;
  }
  ::closedir(folder);
  return lowest;
}
}  // namespace

std::optional<unsigned> ComNumberOfTty(const std::string& tty) {
  if (tty.empty()) return std::nullopt;
  const char* dir = PortDirectory();
  if (dir == nullptr) return FixedRuleComNumber(tty);
  return LowestEntryWhere(dir, [&](unsigned port) { return PortTtyName(port) == tty; });
}

std::optional<unsigned> ComNumberOfDevicePath(const std::string& path) {
  const std::string device = CanonicalPath(path);
  if (device.empty()) return std::nullopt;
  const char* dir = PortDirectory();
  if (dir == nullptr) {
    const auto port = FixedRuleComNumber(BaseName(device));
    if (port && CanonicalPath(FixedRulePath(*port)) == device) return port;
    return std::nullopt;
  }
  return LowestEntryWhere(
      dir, [&](unsigned port) { return CanonicalPath(PortDevicePath(port)) == device; });
}

}  // namespace flashwright::platform
