// COM numbers on Windows: the port is the system's device of that name; there is no tty behind
// it to tie it to another device.
#include <windows.h>

#include <string>

#include "platform/port_map.h"
#include "platform/serial_port.h"

namespace flashwright::platform {

std::string PortDevicePath(unsigned port) { return WindowsPortName(port); }

bool PortExists(unsigned port) {
  if (port == 0) return false;
  // The system asks the ports' configuration provider, loading and freeing its library on
  // every call; one reference held for the life of the program makes listing all the ports
  // one load instead of one per port.
  static const HMODULE provider = ::LoadLibraryA("serialui.dll");
  (void)provider;
  const std::string name = "COM" + std::to_string(port);
  COMMCONFIG config{};
  DWORD size = sizeof config;
  if (::GetDefaultCommConfigA(name.c_str(), &config, &size)) return true;
  // A driver with provider data of its own asks for a bigger block: the port exists.
  return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

std::string PortTtyName(unsigned /*port*/) { return {}; }

std::optional<unsigned> ComNumberOfTty(const std::string& /*tty*/) { return std::nullopt; }

std::optional<unsigned> ComNumberOfDevicePath(const std::string& path) {
  // "\\.\COM12", or "COM7" in any case: the device namespace names the port itself.
  std::string rest = path;
  if (rest.rfind("\\\\.\\", 0) == 0) rest.erase(0, 4);
  if (rest.size() < 4) return std::nullopt;
  for (int i = 0; i < 3; ++i) rest[i] = static_cast<char>(rest[i] & ~0x20);
  if (rest.compare(0, 3, "COM") != 0 || rest.size() > 8) return std::nullopt;
  unsigned value = 0;
  for (std::size_t i = 3; i < rest.size(); ++i) {
    if (rest[i] < '0' || rest[i] > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(rest[i] - '0');
  }
  if (value == 0 || value > 0xFFFF) return std::nullopt;
  return value;
}

}  // namespace flashwright::platform
