// The local-machine hive of the system registry, read only. Opening a key takes a snapshot of
// it (its values and those of the keys below it) through the registry calls, so that the keys
// opened from it behave exactly as keys of a hive held in memory.
#include <windows.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/text_case.h"

namespace flashwright::platform {
namespace {

// Bounds of a snapshot: configuration keys are small, and a key that is not stops here.
constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxNodes = 4096;
constexpr DWORD kNameChars = 16384;  // the longest key or value name the registry allows

std::size_t AddChild(RegistryHive* hive, std::size_t parent, const std::string& name) {
  const std::size_t child = hive->nodes.size();
  hive->nodes.push_back(RegistryNode{});
  hive->nodes[child].name = name;
  hive->nodes[parent].by_name.emplace(LowerCase(name), child);
  hive->nodes[parent].subkeys.push_back(child);
  return child;
}

void ReadValues(HKEY key, RegistryNode* node) {
  std::vector<char> name(kNameChars + 1);
  for (DWORD index = 0;; ++index) {
    DWORD name_chars = kNameChars;
    DWORD type = 0;
    DWORD size = 0;
    LONG result = ::RegEnumValueA(key, index, name.data(), &name_chars, nullptr, &type, nullptr,
                                  &size);
    if (result != ERROR_SUCCESS) break;
    const std::string value_name(name.data(), name_chars);
    RegistryValue value;
    value.type = type;
    value.data.assign(size, 0);
    DWORD read = size;
    if (size > 0 && ::RegQueryValueExA(key, value_name.c_str(), nullptr, &type,
                                       value.data.data(), &read) != ERROR_SUCCESS) {
      continue;
    }
    value.data.resize(read);
    node->values[LowerCase(value_name)] = std::move(value);
  }
}

void ReadKey(HKEY key, REGSAM view, RegistryHive* hive, std::size_t node, int depth) {
  ReadValues(key, &hive->nodes[node]);
  if (depth >= kMaxDepth) return;
  std::vector<char> name(kNameChars + 1);
  for (DWORD index = 0; hive->nodes.size() < kMaxNodes; ++index) {
    DWORD name_chars = kNameChars;
    if (::RegEnumKeyExA(key, index, name.data(), &name_chars, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS) {
      break;
    }
    const std::string subkey_name(name.data(), name_chars);
    HKEY subkey = nullptr;
    if (::RegOpenKeyExA(key, subkey_name.c_str(), 0, KEY_READ | view, &subkey) != ERROR_SUCCESS) {
      continue;
    }
    const std::size_t child = AddChild(hive, node, subkey_name);
    ReadKey(subkey, view, hive, child, depth + 1);
    ::RegCloseKey(subkey);
  }
}

// The key `path` of the local-machine hive in one registry view, as a hive that holds just
// that key below its path.
int Snapshot(std::string_view path, REGSAM view, std::shared_ptr<RegistryHive>* hive) {
  const std::string key_path(path);
  HKEY key = nullptr;
  const LONG result =
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ | view, &key);
  if (result != ERROR_SUCCESS) return static_cast<int>(result);
  auto made = std::make_shared<RegistryHive>();
  made->valid = true;
  std::size_t node = 0;
  std::size_t start = 0;
  while (start <= key_path.size()) {
    std::size_t end = key_path.find('\\', start);
    if (end == std::string::npos) end = key_path.size();
    if (end > start) node = AddChild(made.get(), node, key_path.substr(start, end - start));
    start = end + 1;
  }
  ReadKey(key, view, made.get(), node, 0);
  ::RegCloseKey(key);
  *hive = std::move(made);
  return kRegistryOk;
}

}  // namespace

int RegistryKey::OpenLocalMachine(std::string_view path, RegistryView view, RegistryKey* key) {
  key->Close();
  std::shared_ptr<RegistryHive> hive;
  const int result =
      Snapshot(path, view == RegistryView::k32Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY, &hive);
  if (result != kRegistryOk) return result;
  return OpenInHive(std::move(hive), path, key);
}

}  // namespace flashwright::platform
