// Finding the reader's COM port without the user: the USB-serial adapters present on the
// machine first, probed with a version query; then the port the sibling product Ravelin keeps
// in its configuration (two XML files, then the registry). Also the reader version gate.
//
// Every operation blocks the calling thread while ports are probed. Discovery uses the one
// reader port of the process and must not run while another task holds a port open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/version_gate.h"
#include "reader_link/frame.h"

namespace flashwright {
namespace platform {
class RegistryKey;
struct XmlElement;
}

class CFindReader {
 public:
  virtual ~CFindReader();

  // The port of the reader and what its last probe reported. Outputs start as port 0,
  // version 0, bootloader 0xFFFF, flags 0 and an empty source; each may be null. The result
  // is that of the last probe (0 when nothing was probed).
  static LinkError FindReader(const VersionLimits& limits, int* port, std::uint32_t* version,
                              std::uint16_t* bootloader, std::uint8_t* flags,
                              std::string* source);

  // The COM ports of the maker's own USB readers present, else those of FT232 adapters.
  static void EnumerateReaderPorts(std::vector<int>* ports);

  // Opens `port`, asks for the version, bootloader version and flags, and closes it again.
  static LinkError ProbeReaderPort(int port, std::uint32_t* version, std::uint16_t* bootloader,
                                   std::uint8_t* flags);

  // The port the sibling product is configured for (0 or less: none), from its XML files or,
  // failing those, its registry key.
  static int GetConfiguredPort(std::string* source);
  static bool ReadXmlConfiguration(int* port, std::string* source);
  // Looks up the element whose attribute name is `name` and reads its attribute dw.
  static bool FindXmlValue(const std::vector<platform::XmlElement>& values,
                           std::string_view name, std::uint32_t* value);
  static int GetCommonDataFolder(std::string* path);
  // The subkey names of `key`, ascending without regard to case (equal names keep their
  // order). Returns the code that ended the enumeration.
  static int EnumSubKeysSorted(const platform::RegistryKey& key, std::vector<std::string>* names);

  // -1 too old (including every reader family but 0x0A), +1 too new, 0 acceptable.
  static int CheckReaderVersion(std::uint32_t version, const std::vector<std::string>& too_old,
                                const std::vector<std::string>& too_new);
  static bool MatchVersionConstraint(std::uint32_t version, std::string_view constraint);
};

// The source texts that FindReader reports.
inline constexpr const char* kSourceAdapters = "FTDI Ports";

}  // namespace flashwright
