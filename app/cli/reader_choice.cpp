#include "app/cli/reader_choice.h"

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/string_table.h"
#include "discovery/find_reader.h"
#include "platform/port_map.h"
#include "reader_link/reader_link.h"

namespace flashwright::cli {
namespace {

int Gate(std::uint32_t version, const VersionLimits& limits) {
  return CFindReader::CheckReaderVersion(version, limits.too_old, limits.too_new);
}

// FindReader with the view's reports of its failures.
int Discover(const VersionLimits& limits, ReaderChoice* choice, std::string* failure) {
  const LinkError result = DiscoverReader(limits, choice);
  const int port = choice->port;
  if (result != 0) {
    *failure = FormatString(IDS_CANNOT_DETECT_READER, port);
    *failure += kLineBreak;
    *failure += FormatText(texts::kErrorLine, static_cast<long>(result));
    return kExitNoReader;
  }
  if (port <= 0) {
    *failure = LoadString(IDS_NO_READER_FOUND);
    return kExitNoReader;
  }
  return kExitSuccess;
}

// The command-line program has no basic view: its messages carry the advanced view's empty
// suffix.
constexpr char kViewSuffix[] = "";

bool PortMissing(int port, std::string* failure) {
  if (platform::PortExists(static_cast<unsigned>(port))) return false;
  *failure = FormatString(IDS_PORT_DOES_NOT_EXIST, port, kViewSuffix);
  return true;
}

}  // namespace

LinkError DiscoverReader(const VersionLimits& limits, ReaderChoice* choice) {
  *choice = ReaderChoice{};
  choice->discovered = true;
  return CFindReader::FindReader(limits, &choice->port, &choice->version, &choice->bootloader,
                                 &choice->flags, &choice->source);
}

ReaderInformation ReadReaderInformation(int port, bool with_power) {
  ReaderInformation info;
  info.result = OpenReaderPort(static_cast<std::uint16_t>(port));
  if (info.result == 0) {
    info.result = ReadReaderVersion(&info.version, &info.bootloader, &info.flags);
  }
  if (info.result != 0) {
    info.version = 0;
    info.bootloader = kBootloaderUnknown;
    info.flags = 0;
    info.version_text = texts::kNoReader;
    info.power_text = ReadPowerText(0, nullptr);  // "NA": nothing is asked
  } else {
    info.version_text = ReaderVersionText(info.version, info.bootloader, info.flags);
    if (with_power) info.power_text = ReadPowerText(info.version, nullptr);
  }
  CloseReaderPort();
  return info;
}

int ChooseUpdateReader(int port, bool recover, const VersionLimits& limits,
                       ReaderChoice* choice, std::string* failure) {
  *choice = ReaderChoice{};
  if (port == 0) return Discover(limits, choice, failure);
  choice->port = port;
  if (PortMissing(port, failure)) return kExitNoReader;
  if (recover) return kExitSuccess;
  const ReaderInformation info = ReadReaderInformation(port, false);
  if (info.result != 0) {
    *failure = FormatString(IDS_NO_READER_ON_PORT, port, kViewSuffix);
    return kExitNoReader;
  }
  choice->version = info.version;
  choice->bootloader = info.bootloader;
  choice->flags = info.flags;
  return kExitSuccess;
}

int ChooseToolReader(int port, const VersionLimits& limits, ReaderChoice* choice,
                     std::string* failure) {
  *choice = ReaderChoice{};
  if (port == 0) {
    if (const int status = Discover(limits, choice, failure); status != kExitSuccess) {
      return status;
    }
  } else {
    choice->port = port;
    if (PortMissing(port, failure)) return kExitNoReader;
    const ReaderInformation info = ReadReaderInformation(port, false);
    choice->version = info.version;
    choice->bootloader = info.bootloader;
    choice->flags = info.flags;
  }
  if (choice->port <= 0 || choice->version == 0) {
    *failure = LoadString(IDS_NO_READER_FOUND);
    return kExitNoReader;
  }
  return kExitSuccess;
}

nlohmann::ordered_json ReaderFields(const ReaderChoice& choice) {
  nlohmann::ordered_json fields;
  fields["port"] = choice.port;
  fields["version"] = VersionText(choice.version);
  fields["version_value"] = choice.version;
  fields["bootloader_value"] = choice.bootloader;
  fields["flags"] = choice.flags;
  std::string text = ReaderVersionText(choice.version, choice.bootloader, choice.flags);
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n")) {
    text.replace(at, 2, "\n");
  }
  fields["version_text"] = text;
  fields["source"] = choice.source;
  return fields;
}

std::string ReaderLine(const ReaderChoice& choice) {
  std::string details = ReaderVersionText(choice.version, choice.bootloader, choice.flags);
  for (std::size_t at = details.find("\r\n"); at != std::string::npos;
       at = details.find("\r\n")) {
    details.replace(at, 2, ", ");
  }
  std::string line = FormatText(texts::kReaderLine, choice.port, details.c_str());
  if (choice.discovered) line += FormatText(texts::kFoundUsing, choice.source.c_str());
  return line;
}

std::string DiscoveryReport(LinkError result, const ReaderChoice& found,
                            const VersionLimits& limits) {
  if (found.port <= 0) return LoadString(IDS_NO_READER_FOUND);
  if (result != 0) {
    return FormatText(texts::kFoundVersionError, static_cast<long>(result), found.port,
                      found.source.c_str());
  }
  std::string text = FormatText(texts::kFoundVersion, static_cast<unsigned long>(found.version),
                                static_cast<unsigned short>(found.bootloader),
                                static_cast<unsigned short>(found.flags), found.port,
                                found.source.c_str());
  const int verdict = Gate(found.version, limits);
  if (verdict < 0) text += texts::kTooOldToUpdate;
  if (verdict > 0) text += texts::kTooNewToUpdate;
  return text;
}

}  // namespace flashwright::cli
