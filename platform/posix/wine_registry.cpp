// The local-machine hive read from a Wine prefix's system.reg. Never written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/registry.h"
#include "platform/text_case.h"

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

// Wine notes the prefix's architecture near the top of its hive files.
bool Is32BitPrefix(std::string_view text) {
  const std::size_t at = text.find("\n#arch=");
  return at != std::string_view::npos && text.substr(at + 7, 5) == "win32";
}

// A 64-bit machine keeps what 32-bit programs write below SOFTWARE in SOFTWARE\Wow6432Node.
std::string In32BitView(std::string_view path) {
  const std::size_t end = path.find('\\');
  const std::string_view first = path.substr(0, end);
  if (!SameIgnoringCase(first, "SOFTWARE")) return std::string(path);
  std::string redirected(first);
  redirected += "\\Wow6432Node";
  if (end != std::string_view::npos) redirected += path.substr(end);
  return redirected;
}

}  // namespace

std::string WinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return prefix;
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.wine";
  return {};
}

int RegistryKey::OpenLocalMachine(std::string_view path, RegistryView view, RegistryKey* key) {
  key->Close();
  std::string prefix = WinePrefix();
  std::string text;
  if (prefix.empty() || !ReadWholeFile(prefix + "/system.reg", &text)) return kRegistryNotFound;
  auto hive = std::make_shared<const RegistryHive>(ParseRegistryText(text));
  if (view == RegistryView::k32Bit && !Is32BitPrefix(text)) {
    return OpenInHive(std::move(hive), In32BitView(path), key);
  }
  return OpenInHive(std::move(hive), path, key);
}

}  // namespace flashwright::platform
