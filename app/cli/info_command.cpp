#include "app/cli/info_command.h"

#include <string>

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "shell/string_table.h"
#include "discovery/version_gate.h"
#include "platform/port_map.h"
#include "reader_link/reader_info.h"
#include "reader_link/reader_information.h"
#include "reader_update/run_discovery.h"

namespace flashwright::cli {

int RunInfo(int port, EventOutput& output) {
  std::string source;
  bool discovered = false;
  if (port == 0) {
    const ReaderDiscovery found = DiscoverReader(VersionLimits{});
    if (found.port <= 0) {
      return output.Outcome(kExitNoReader, ui::PaneKind::kError, LoadString(IDS_NO_READER_FOUND));
    }
    if (found.result != 0) {
      JsonObject fields;
      fields["port"] = found.port;
      return output.Outcome(kExitNoReader, ui::PaneKind::kError, DiscoveryFailureText(found),
                            fields);
    }
    port = found.port;
    source = found.source;
    discovered = true;
  } else if (!platform::PortExists(static_cast<unsigned>(port))) {
    JsonObject fields;
    fields["port"] = port;
    return output.Outcome(kExitNoReader, ui::PaneKind::kError,
                          FormatString(IDS_PORT_DOES_NOT_EXIST, port, ""), fields);
  }

  const ReaderInformation info = ReadReaderInformation(port, true);
  JsonObject fields;
  fields["port"] = port;
  fields["version_text"] = ConsoleText(info.version_text);
  fields["power_text"] = info.power_text;
  fields["source"] = source;
  fields["result"] = info.result;
  if (info.result == 0) {
    fields["version"] = VersionText(info.version);
    fields["version_value"] = info.version;
    fields["bootloader_value"] = info.bootloader;
    fields["flags"] = info.flags;
  }
  std::string text = FormatText(texts::kPortLine, port);
  if (discovered) text += FormatText(texts::kFoundUsing, source.c_str());
  text += "\n";
  text += FormatText(texts::kVersionLine, info.version_text.c_str());
  text += "\n";
  text += FormatText(texts::kPowerLine, info.power_text.c_str());
  output.Event("info", fields, text);
  if (info.result != 0) {
    JsonObject outcome;
    outcome["port"] = port;
    outcome["result"] = info.result;
    return output.Outcome(kExitNoReader, ui::PaneKind::kError,
                          FormatString(IDS_NO_READER_ON_PORT, port, ""), outcome);
  }
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, "");
}

}  // namespace flashwright::cli
