// Parses arbitrary text as a system.reg and walks every key the way the configuration lookup
// does: subkeys by index with a 384-character name buffer, 4-byte value queries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

using flashwright::platform::RegistryHive;
using flashwright::platform::RegistryKey;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text = "WINE REGISTRY Version 2\n";
  text.append(reinterpret_cast<const char*>(data), size);
  auto hive = std::make_shared<const RegistryHive>(flashwright::platform::ParseRegistryText(text));
  std::vector<RegistryKey> pending(1);
  if (RegistryKey::OpenInHive(hive, "", &pending[0]) != 0) __builtin_trap();
  std::size_t visited = 0;
  while (!pending.empty() && visited < 10000) {
    RegistryKey key = pending.back();
    pending.pop_back();
    ++visited;
    std::string name;
    for (std::uint32_t i = 0; key.EnumSubKey(i, 384, &name) != 259; ++i) {
      RegistryKey sub;
      if (key.EnumSubKey(i, 384, &name) == 0 && key.OpenSubKey(name, &sub) == 0) {
        pending.push_back(sub);
      }
    }
    std::uint8_t port[4] = {};
    std::uint32_t length = sizeof port;
    key.QueryValue("Port", nullptr, port, &length);
  }
  return 0;
}
