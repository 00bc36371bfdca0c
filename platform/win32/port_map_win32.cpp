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

}  // namespace flashwright::platform
