#include "reader_link/reader_information.h"

#include "reader_link/reader_info.h"
#include "reader_link/transport.h"

namespace flashwright {

namespace {

LinkError OpenPort(int port) {
  if (port <= 0) return kLinkPortNotOpen;
  if (port > 0xFFFF) return kLinkPortOpenFailed;
  return OpenReaderPort(static_cast<std::uint16_t>(port));
}

}  // namespace

ReaderInformation ReadReaderInformation(int port, bool with_power) {
  ReaderInformation info;
  const LinkError opened = OpenPort(port);
  info.result = opened;
  if (info.result == 0) {
    info.result = ReadReaderVersion(&info.version, &info.bootloader, &info.flags);
  }
  if (info.result != 0) {
    info.version = 0;
    info.bootloader = kBootloaderUnknown;
    info.flags = 0;
    info.version_text = kNoReaderText;
  } else {
    info.version_text = ReaderVersionText(info.version, info.bootloader, info.flags);
  }
  // Without a reader the version is 0 and the power text is "NA" without a query.
  if (with_power || info.result != 0) {
    info.power_text = ReadPowerText(info.version, &info.power_error);
  }
  if (opened == 0) CloseReaderPort();
  return info;
}

}  // namespace flashwright
