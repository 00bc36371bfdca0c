#include <string>

#include "reader_link/commands.h"
#include "reader_link/reader_info.h"
#include "reader_link/transport.h"
#include "readerprobe/detect_reader.h"

namespace flashwright::probe {

LinkError GetReaderInfo(int port, std::string* version_text, std::string* power_text,
                        int* version_number) {
  version_text->clear();
  power_text->clear();
  if (port <= 0) return 0;
  // A number beyond the port range must not wrap round to another port.
  LinkError result = port > 0xFFFF ? PortOpenFailed : OpenReaderPort(static_cast<std::uint16_t>(port));
  const bool opened = result == 0;
  std::uint32_t version = 0;
  std::uint16_t bootloader = kBootloaderUnknown;
  std::uint8_t flags = 0;
  if (opened) result = ReadReaderVersion(&version, &bootloader, &flags);
  if (result != 0) {
    *version_number = 0;
    *version_text = "(no reader)";
    *power_text = "NA";
  } else {
    *version_text = ReaderVersionText(version, bootloader, flags);
    const std::string digits = std::to_string((version >> 16) & 0xFF) +
                               std::to_string((version >> 8) & 0xFF) +
                               std::to_string(version & 0xFF);
    *version_number = std::stoi(digits);  // at most 255255255
    LinkError power_error = 0;
    *power_text = ReadPowerText(version, &power_error);
    result = power_error;
  }
  if (opened) CloseReaderPort();
  return result;
}

}  // namespace flashwright::probe
