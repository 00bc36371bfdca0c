#include "app/cli/ports_command.h"

#include <cstdio>
#include <map>
#include <string>

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "shell/string_table.h"
#include "discovery/version_gate.h"
#include "platform/device_setup.h"
#include "platform/port_map.h"
#include "reader_link/reader_info.h"
#include "reader_update/run_discovery.h"

namespace flashwright::cli {
namespace {

// The Ports-class records by the COM number in their friendly name, as discovery reads it.
std::map<int, platform::DeviceRecord> RecordsByPort() {
  std::map<int, platform::DeviceRecord> records;
  const platform::DeviceSet set = platform::PortsClassDevices();
  for (const platform::DeviceRecord& record : set.devices) {
    const std::size_t at = record.friendly_name.find("(COM");
    if (at == std::string::npos) continue;
    int port = 0;
    if (std::sscanf(record.friendly_name.c_str() + at, "(COM%d)", &port) != 1) continue;
    records.emplace(port, record);
  }
  return records;
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

int RunPorts(EventOutput& output, bool discover) {
  const std::map<int, platform::DeviceRecord> records = RecordsByPort();
  int listed = 0;
  for (int port = 1; port <= kListedPorts; ++port) {
    if (!platform::PortExists(static_cast<unsigned>(port))) continue;
    ++listed;
    platform::DeviceRecord record;
    if (const auto found = records.find(port); found != records.end()) record = found->second;
    const std::string device = platform::PortDevicePath(static_cast<unsigned>(port));
    const std::string tty = platform::PortTtyName(static_cast<unsigned>(port));
    JsonObject fields;
    fields["port"] = port;
    fields["device"] = device;
    fields["tty"] = tty;
    fields["hardware_id"] = record.hardware_id;
    fields["friendly_name"] = record.friendly_name;
    fields["service"] = record.service;
    const std::string text =
        FormatText("COM%-3d %-8s %-36s %s", port, OrDash(tty).c_str(),
                   OrDash(record.hardware_id).c_str(), OrDash(record.friendly_name).c_str());
    output.Event("port", fields, text);
  }
  if (listed == 0 && !output.json()) output.Message(ui::PaneKind::kNeutral, texts::kNoPorts);
  if (!discover) return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, "");

  const VersionLimits limits;
  const ReaderDiscovery found = DiscoverReader(limits);
  const LinkError result = found.result;
  JsonObject fields;
  fields["result"] = result;
  fields["port"] = found.port;
  fields["version"] = found.port > 0 && result == 0 ? VersionText(found.version) : "";
  fields["version_value"] = found.version;
  fields["bootloader_value"] = found.bootloader;
  fields["flags"] = found.flags;
  fields["source"] = found.source;
  output.Event("discovery", fields,
               std::string(texts::kAutoDetectLabel) + DiscoveryReport(found, limits));
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, "");
}

}  // namespace flashwright::cli
