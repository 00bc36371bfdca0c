#include "reader_update/tool_reader.h"

#include "shell/string_table.h"
#include "platform/port_map.h"
#include "reader_link/reader_information.h"
#include "reader_update/run_discovery.h"

namespace flashwright {

ToolReaderChoice ChooseToolReader(int port, bool reader_known, std::uint32_t version,
                                  const VersionLimits& limits) {
  ToolReaderChoice choice;
  RunReader& reader = choice.reader;
  if (port < 1) {
    const ReaderDiscovery found = DiscoverReader(limits);
    reader.port = found.port;
    reader.discovered = true;
    reader.source = found.source;
    choice.discovery_result = found.result;
    if (found.result != 0) {
      choice.failure = DiscoveryFailureText(found);
      return choice;
    }
    reader.version = found.version;
    reader.bootloader = found.bootloader;
    reader.flags = found.flags;
  } else {
    reader.port = port;
    if (reader_known) {
      reader.version = version;
    } else {
      if (!platform::PortExists(static_cast<unsigned>(port))) {
        // The command line has no basic view: the advanced view's empty suffix.
        choice.failure = FormatString(IDS_PORT_DOES_NOT_EXIST, port, "");
        return choice;
      }
      const ReaderInformation info = ReadReaderInformation(port, false);
      reader.version = info.version;
      reader.bootloader = info.bootloader;
      reader.flags = info.flags;
    }
  }
  if (reader.port <= 0 || reader.version == 0) {
    choice.failure = LoadString(IDS_NO_READER_FOUND);
    return choice;
  }
  choice.found = true;
  return choice;
}

}  // namespace flashwright
