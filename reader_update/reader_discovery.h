// Reader port discovery as the view runs it: over the application's version limits.
#pragma once

#include <cstdint>
#include <string>

namespace flashwright {

class CKindlerApp;

struct ReaderDiscovery {
  std::int32_t result = 0;
  int port = 0;
  std::uint32_t version = 0;
  std::uint16_t bootloader = 0xFFFF;
  std::uint8_t flags = 0;
  std::string source;
};

ReaderDiscovery DiscoverReader(const CKindlerApp& app);

}  // namespace flashwright
