#include "reader_update/run_discovery.h"

#include "shell/string_table.h"
#include "discovery/find_reader.h"
#include "reader_update/view_texts.h"

namespace flashwright {

ReaderDiscovery DiscoverReader(const VersionLimits& limits) {
  ReaderDiscovery found;
  found.result = CFindReader::FindReader(limits, &found.port, &found.version, &found.bootloader,
                                         &found.flags, &found.source);
  return found;
}

std::string DiscoveryReport(const ReaderDiscovery& found, const VersionLimits& limits) {
  if (found.port <= 0) return LoadString(IDS_NO_READER_FOUND);
  if (found.result != 0) {
    return FormatText(texts::kFoundVersionError, static_cast<long>(found.result), found.port,
                      found.source.c_str());
  }
  std::string report = FormatText(texts::kFoundVersion, static_cast<unsigned long>(found.version),
                                  static_cast<unsigned short>(found.bootloader),
                                  static_cast<unsigned short>(found.flags), found.port,
                                  found.source.c_str());
  const int verdict = CFindReader::CheckReaderVersion(found.version, limits.too_old,
                                                      limits.too_new);
  if (verdict < 0) report += texts::kTooOldToUpdate;
  if (verdict > 0) report += texts::kTooNewToUpdate;
  return report;
}

std::string DiscoveryFailureText(const ReaderDiscovery& found) {
  return FormatString(IDS_CANNOT_DETECT_READER, found.port) + kLineBreak +
         FormatText(texts::kErrorLine, static_cast<long>(found.result));
}

}  // namespace flashwright
