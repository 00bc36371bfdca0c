#include "discovery/find_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

#include "discovery/friendly_port_name.h"
#include "platform/common_data_folder.h"
#include "platform/device_setup.h"
#include "platform/registry.h"
#include "platform/text_case.h"
#include "platform/xml_dom.h"
#include "reader_link/commands.h"
#include "reader_link/transport.h"

namespace flashwright {
namespace {

// The device properties are read into buffers of this size, one byte kept for the zero.
constexpr std::size_t kPropertyBuffer = 512;
constexpr std::size_t kSubKeyNameBuffer = 384;

constexpr const char* kRavelinKeyVendor = "Orvane\\Folio Systems";
constexpr const char* kRavelinXmlFirst = "\\Halvern\\Common\\Ravelin\\1.00.xml";
constexpr const char* kRavelinXmlSecond = "\\Orvane Folio Systems\\Common\\Ravelin\\1.00.xml";

// A decimal component as the runtime's string-to-integer conversion reads it, kept within
// the int range instead of overflowing.
int ReadComponent(std::string_view token) {
  std::size_t i = 0;
  while (i < token.size() && std::isspace(static_cast<unsigned char>(token[i]))) ++i;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  long long value = 0;
  while (i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]))) {
    value = std::min<long long>(value * 10 + (token[i++] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// An attribute's text as an unsigned 32-bit number, the way a typed value converts: blanks
// around it, an optional plus sign, decimal digits and an optional fraction rounded to the
// nearest integer (halves to even). Anything else, or a value beyond 32 bits, does not convert.
bool ConvertToUint32(const char* text, std::uint32_t* value) {
  std::string_view view(text);
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!view.empty() && blank(view.front())) view.remove_prefix(1);
  while (!view.empty() && blank(view.back())) view.remove_suffix(1);
  if (!view.empty() && view.front() == '+') view.remove_prefix(1);
  std::size_t i = 0;
  std::uint64_t number = 0;
  bool digits = false;
  while (i < view.size() && std::isdigit(static_cast<unsigned char>(view[i]))) {
    number = number * 10 + static_cast<std::uint64_t>(view[i++] - '0');
    digits = true;
    if (number > 0xFFFFFFFFull) return false;
  }
  if (i < view.size() && view[i] == '.') {
    ++i;
    std::size_t fraction_start = i;
    while (i < view.size() && std::isdigit(static_cast<unsigned char>(view[i]))) ++i;
    std::string_view fraction = view.substr(fraction_start, i - fraction_start);
    digits = digits || !fraction.empty();
    if (!fraction.empty()) {
      bool beyond_half = fraction.find_first_not_of('0', 1) != std::string_view::npos;
      if (fraction[0] > '5' || (fraction[0] == '5' && (beyond_half || number % 2 == 1))) {
        ++number;
      }
    }
  }
  if (!digits || i != view.size() || number > 0xFFFFFFFFull) return false;
  *value = static_cast<std::uint32_t>(number);
  return true;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

CFindReader::~CFindReader() = default;

LinkError CFindReader::FindReader(const VersionLimits& limits, int* port,
                                  std::uint32_t* version, std::uint16_t* bootloader,
                                  std::uint8_t* flags, std::string* source) {
  int found_port = 0;
  std::uint32_t found_version = 0;
  std::uint16_t found_bootloader = kBootloaderUnknown;
  std::uint8_t found_flags = 0;
  std::string found_source;
  LinkError result = 0;
  bool accepted = false;

  std::vector<int> candidates;
  EnumerateReaderPorts(&candidates);
  for (int candidate : candidates) {
    if (candidate <= 0) continue;
    found_port = candidate;
    result = ProbeReaderPort(candidate, &found_version, &found_bootloader, &found_flags);
    if (result == 0 &&
        CheckReaderVersion(found_version, limits.too_old, limits.too_new) == 0) {
      found_source = kSourceAdapters;
      accepted = true;
      break;
    }
  }

  if (!accepted) {
    // The configured port is probed even when the adapter stage tried it already; its
    // version is left for the caller to judge.
    std::string configured_source;
    int configured = GetConfiguredPort(&configured_source);
    if (configured > 0) {
      found_port = configured;
      found_source = configured_source;
      result = ProbeReaderPort(configured, &found_version, &found_bootloader, &found_flags);
    }
  }

  if (port != nullptr) *port = found_port;
  if (version != nullptr) *version = found_version;
  if (bootloader != nullptr) *bootloader = found_bootloader;
  if (flags != nullptr) *flags = found_flags;
  if (source != nullptr) *source = found_source;
  return result;
}

void CFindReader::EnumerateReaderPorts(std::vector<int>* ports) {
  ports->clear();
  std::vector<int> adapters;
  platform::DeviceSet set = platform::PortsClassDevices();
  for (const platform::DeviceRecord& device : set.devices) {
    std::string friendly = device.friendly_name.substr(0, kPropertyBuffer - 1);
    std::string hardware_id = device.hardware_id.substr(0, kPropertyBuffer - 1);
    if (friendly.empty() || hardware_id.empty()) continue;  // the property cannot be read
    int number = 0;
    if (!PortOfFriendlyName(friendly, &number)) continue;
    hardware_id = LowerCase(hardware_id);
    auto has = [&](const char* part) { return hardware_id.find(part) != std::string::npos; };
    if (has("vid_7e51") && has("pid_032a")) {
      ports->push_back(number);  // the maker's own USB reader
    } else if (has("vid_0403") && has("pid_6001")) {
      adapters.push_back(number);  // an FT232 USB-serial adapter
    }
  }
  // The maker's readers, when there are any, hide every adapter.
  if (ports->empty()) *ports = std::move(adapters);
}

LinkError CFindReader::ProbeReaderPort(int port, std::uint32_t* version,
                                       std::uint16_t* bootloader, std::uint8_t* flags) {
  if (version != nullptr) *version = 0;
  if (bootloader != nullptr) *bootloader = kBootloaderUnknown;
  if (flags != nullptr) *flags = 0;
  // A configured number beyond the port range must not wrap round to another port.
  if (port <= 0 || port > 0xFFFF) return kLinkPortOpenFailed;
  LinkError result = OpenReaderPort(static_cast<std::uint16_t>(port));
  if (result != 0) return result;  // the port, if any is open, belongs to someone else
  std::uint32_t read_version = 0;
  std::uint16_t read_bootloader = kBootloaderUnknown;
  std::uint8_t read_flags = 0;
  result = ReadReaderVersion(&read_version, &read_bootloader, &read_flags);
  if (result == 0) {
    if (version != nullptr) *version = read_version;
    if (bootloader != nullptr) *bootloader = read_bootloader;
    if (flags != nullptr) *flags = read_flags;
  }
  CloseReaderPort();
  return result;
}

int CFindReader::GetConfiguredPort(std::string* source) {
  int port = 0;
  if (ReadXmlConfiguration(&port, source)) return port;

  // The sibling product is a 32-bit program: on a 64-bit machine its key is in the 32-bit
  // view, which is looked at first, as that program sees it; then the machine's own view.
  const std::string path =
      std::string("SOFTWARE\\") + kRavelinKeyVendor + "\\" + "Common" + "\\" + "Ravelin";
  for (const platform::RegistryView view :
       {platform::RegistryView::k32Bit, platform::RegistryView::kNative}) {
    platform::RegistryKey key;
    if (platform::RegistryKey::OpenLocalMachine(path, view, &key) != platform::kRegistryOk) {
      continue;
    }
    std::vector<std::string> names;
    EnumSubKeysSorted(key, &names);
    for (auto name = names.rbegin(); name != names.rend() && port == 0; ++name) {
      platform::RegistryKey subkey;
      if (key.OpenSubKey(*name, &subkey) != platform::kRegistryOk) continue;
      std::uint8_t bytes[4] = {};
      std::uint32_t size = sizeof bytes;
      if (subkey.QueryValue("Port", nullptr, bytes, &size) == platform::kRegistryOk) {
        std::uint32_t value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                              static_cast<std::uint32_t>(bytes[3]) << 24;
        port = static_cast<int>(value);
        if (source != nullptr) *source = "Ravelin Reg " + *name;
      }
      subkey.Close();
    }
    key.Close();
    if (port != 0) break;
  }
  return port;
}

bool CFindReader::ReadXmlConfiguration(int* port, std::string* source) {
  *port = 0;
  std::string folder;
  if (GetCommonDataFolder(&folder) != 0) return false;
  bool result = false;
  bool port_found = false;
  try {
    for (int file = 1; file <= 2 && !port_found; ++file) {
      std::string path =
          platform::ResolveBelow(folder, file == 1 ? kRavelinXmlFirst : kRavelinXmlSecond);
      // Only a regular file is loaded: a FIFO or device under that name must not block us.
      if (path.empty() || !IsRegularFile(path)) continue;
      std::vector<platform::XmlElement> values;
      if (platform::SelectXmlElements(path, "value", &values) != 0) continue;
      std::uint32_t port_value = 0;
      if (!FindXmlValue(values, "Port", &port_value)) continue;
      port_found = true;
      std::uint32_t reader_type = 0;
      std::uint32_t connect_method = 0;
      FindXmlValue(values, "ReaderType", &reader_type);
      FindXmlValue(values, "ConnectMethod", &connect_method);
      if (connect_method == 1 && (reader_type == 1 || reader_type == 2 || reader_type == 9)) {
        *port = static_cast<int>(port_value);
        if (source != nullptr) *source = std::string("Ravelin ") + (file == 1 ? "Xml" : "Orvane Xml");
        result = true;
      }
    }
  } catch (...) {
    // Whatever the XML layer raises only removes this source.
    *port = 0;
    return false;
  }
  return result;
}

bool CFindReader::FindXmlValue(const std::vector<platform::XmlElement>& values,
                               std::string_view name, std::uint32_t* value) {
  for (const platform::XmlElement& element : values) {
    const std::string* name_attribute = element.Attribute("name");
    if (name_attribute == nullptr || name != *name_attribute) continue;
    const std::string* dw = element.Attribute("dw");
    std::uint32_t number = 0;
    if (dw == nullptr || !ConvertToUint32(dw->c_str(), &number)) continue;
    *value = number;
    return true;
  }
  return false;
}

int CFindReader::GetCommonDataFolder(std::string* path) {
  return platform::CommonDataFolder(path);
}

int CFindReader::EnumSubKeysSorted(const platform::RegistryKey& key,
                                   std::vector<std::string>* names) {
  names->clear();
  std::string name;
  for (std::uint32_t index = 0;; ++index) {
    int result = key.EnumSubKey(index, kSubKeyNameBuffer, &name);
    if (result != platform::kRegistryOk) return result;
    auto greater = std::find_if(names->begin(), names->end(), [&](const std::string& entry) {
      return CompareIgnoringCase(entry, name) > 0;
    });
    names->insert(greater, name);
  }
}

int CFindReader::CheckReaderVersion(std::uint32_t version,
                                    const std::vector<std::string>& too_old,
                                    const std::vector<std::string>& too_new) {
  int verdict = (version >> 24) == 0x0A ? 0 : -1;
  for (auto constraint = too_old.rbegin(); verdict == 0 && constraint != too_old.rend();
       ++constraint) {
    if (MatchVersionConstraint(version, *constraint)) verdict = -1;
  }
  for (auto constraint = too_new.rbegin(); verdict == 0 && constraint != too_new.rend();
       ++constraint) {
    if (MatchVersionConstraint(version, *constraint)) verdict = 1;
  }
  return verdict;
}

bool CFindReader::MatchVersionConstraint(std::uint32_t version, std::string_view constraint) {
  const std::uint32_t v = version & 0xFFFFFF;
  int components[3] = {static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                       static_cast<int>(v & 0xFF)};
  char kind = constraint.empty() ? '\0' : constraint[0];
  std::string_view rest = constraint;
  if (kind == 'G' || kind == 'L') {
    std::fill(std::begin(components), std::end(components), kind == 'G' ? 255 : 0);
    rest.remove_prefix(1);
  }
  // Runs of separators count as one, and leading ones are skipped, as a tokenizer does.
  int index = 0;
  std::size_t pos = 0;
  while (index < 3) {
    while (pos < rest.size() && rest[pos] == '.') ++pos;
    if (pos >= rest.size()) break;
    std::size_t end = rest.find('.', pos);
    if (end == std::string_view::npos) end = rest.size();
    components[index++] = ReadComponent(rest.substr(pos, end - pos));
    pos = end;
  }
  const std::uint32_t c = (static_cast<std::uint32_t>(components[0]) & 0xFF) << 16 |
                          (static_cast<std::uint32_t>(components[1]) & 0xFF) << 8 |
                          (static_cast<std::uint32_t>(components[2]) & 0xFF);
  if (kind == 'G') return c < v;
  if (kind == 'L') return v < c;
  return v == c;
}

}  // namespace flashwright
