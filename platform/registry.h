// Read-only access to the local-machine registry hive: open a key, enumerate its subkeys by
// index, query a value into a caller's buffer. Key and value names compare without regard to
// case. Results are the registry's own codes below (0 is success).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace flashwright::platform {

enum RegistryResult : int {
  kRegistryOk = 0,
  kRegistryNotFound = 2,       // no such key or value
  kRegistryMoreData = 234,     // the caller's buffer is too small
  kRegistryNoMoreItems = 259,  // the enumeration index is past the last subkey
};

enum RegistryValueType : std::uint32_t {
  kRegNone = 0,
  kRegString = 1,
  kRegExpandString = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiString = 7,
};

struct RegistryValue {
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;  // as a narrow query returns it; strings end with a zero byte
};

// One key of a parsed hive; its subkeys are indices into the hive's node list.
struct RegistryNode {
  std::string name;                             // as the file spells it
  std::vector<std::size_t> subkeys;             // in order of first appearance
  std::map<std::string, std::size_t> by_name;   // lower-case subkey name to node index
  std::map<std::string, RegistryValue> values;  // by lower-case name; "" is the default value
};

// A whole hive in memory, made from the text of a Wine registry file ("WINE REGISTRY
// Version 2", keys in brackets with "\\" between their components, "name"=data lines below
// them). Lines that cannot be read are passed over; text without the header gives an empty,
// invalid hive.
struct RegistryHive {
  std::vector<RegistryNode> nodes{RegistryNode{}};  // nodes[0] is the hive's root
  bool valid = false;
};
RegistryHive ParseRegistryText(std::string_view text);

// Which of the two registry views of a 64-bit machine a key is looked up in: the one 32-bit
// programs see (below SOFTWARE\Wow6432Node there), or the machine's own. A 32-bit machine has
// one view, which both name.
enum class RegistryView { k32Bit, kNative };

// An open key. Keys share the hive they were opened from; closing one leaves the others usable.
class RegistryKey {
 public:
  RegistryKey() = default;

  // Opens `path` ("SOFTWARE\Vendor\Product", components between single backslashes) below the
  // local-machine hive, in `view` and in no other: of the system, or of the configured Wine
  // prefix ($WINEPREFIX, else $HOME/.wine), whose 32-bit view of SOFTWARE is the key
  // SOFTWARE\Wow6432Node unless the prefix is a 32-bit one.
  static int OpenLocalMachine(std::string_view path, RegistryView view, RegistryKey* key);
  // The same below a hive the caller has parsed.
  static int OpenInHive(std::shared_ptr<const RegistryHive> hive, std::string_view path,
                        RegistryKey* key);

  int OpenSubKey(std::string_view path, RegistryKey* key) const;
  // The name of subkey `index`. `name_buffer_chars` counts the terminating zero, so a name of
  // that length or longer gives kRegistryMoreData.
  int EnumSubKey(std::uint32_t index, std::size_t name_buffer_chars, std::string* name) const;
  // Copies value `name` into `buffer` (`*size` bytes available) and sets `*size` to the
  // value's length. A value longer than the buffer gives kRegistryMoreData and copies nothing.
  int QueryValue(std::string_view name, std::uint32_t* type, void* buffer,
                 std::uint32_t* size) const;
  void Close();
  bool IsOpen() const { return hive_ != nullptr && node_ != kClosed; }

 private:
  const RegistryNode* Node() const;

  std::shared_ptr<const RegistryHive> hive_;
  std::size_t node_ = kClosed;
  static constexpr std::size_t kClosed = static_cast<std::size_t>(-1);
};

// The Wine prefix that stands in for the machine: $WINEPREFIX, else $HOME/.wine. Empty when
// neither is set.
std::string WinePrefix();

}  // namespace flashwright::platform
