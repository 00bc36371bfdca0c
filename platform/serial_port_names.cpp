#include <string>

#include "platform/serial_port.h"

namespace flashwright::platform {

std::string WindowsPortName(unsigned port) {
  // From COM10 on, Windows only opens the port through the device namespace.
  if (port < 10) return "COM" + std::to_string(port);
  return "\\\\.\\COM" + std::to_string(port);
}

}  // namespace flashwright::platform
