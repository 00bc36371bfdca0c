// The local-machine hive read from a Wine prefix's system.reg. Never written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/registry.h"

namespace flashwright::platform {
namespace {

// A real system.reg is a few megabytes; a file far beyond that is not one.
constexpr std::size_t kMaxRegistryFileBytes = 256u << 20;

bool ReadWholeFile(const std::string& path, std::string* contents) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<std::uintmax_t>(info.st_size) <= kMaxRegistryFileBytes;
  contents->clear();
  char buffer[65536];
  while (ok) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    if (contents->size() + static_cast<std::size_t>(got) > kMaxRegistryFileBytes) ok = false;
    contents->append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return ok;
}

}  // namespace

std::string WinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return prefix;
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.wine";
  return {};
}

int RegistryKey::OpenLocalMachine(std::string_view path, RegistryKey* key) {
  key->Close();
  std::string prefix = WinePrefix();
  std::string text;
  if (prefix.empty() || !ReadWholeFile(prefix + "/system.reg", &text)) return kRegistryNotFound;
  auto hive = std::make_shared<const RegistryHive>(ParseRegistryText(text));
  return OpenInHive(std::move(hive), path, key);
}

}  // namespace flashwright::platform
