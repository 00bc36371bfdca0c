#include "reader_update/reader_discovery.h"

#include "app/kindler_app.h"
#include "discovery/find_reader.h"

namespace flashwright {

ReaderDiscovery DiscoverReader(const CKindlerApp& app) {
  ReaderDiscovery found;
  found.result = CFindReader::FindReader(app.Limits(), &found.port, &found.version,
                                         &found.bootloader, &found.flags, &found.source);
  return found;
}

}  // namespace flashwright
