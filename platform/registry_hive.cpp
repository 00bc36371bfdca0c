// A registry hive held in memory: the Wine registry file format read into it, and the keys
// opened in it. Never written.
#include "platform/registry.h"

#include <cctype>
#include <cstring>

#include "platform/text_case.h"

namespace flashwright::platform {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Reads escaped text from `text` at `*pos` up to the unescaped `stop` character, which is
// consumed. False when the line ends first.
bool ReadEscaped(std::string_view text, std::size_t* pos, char stop, std::string* out) {
  out->clear();
  std::size_t i = *pos;
  while (i < text.size()) {
    char c = text[i++];
    if (c == stop) {
      *pos = i;
      return true;
    }
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (i >= text.size()) return false;
    char e = text[i++];
    switch (e) {
      case 'a': out->push_back('\a'); break;
      case 'b': out->push_back('\b'); break;
      case 'e': out->push_back('\x1b'); break;
      case 'f': out->push_back('\f'); break;
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      case 't': out->push_back('\t'); break;
      case 'v': out->push_back('\v'); break;
      case 'x': {
        std::uint32_t code = 0;
        int digits = 0;
        while (digits < 4 && i < text.size() && HexDigit(text[i]) >= 0) {
          code = code * 16 + static_cast<std::uint32_t>(HexDigit(text[i++]));
          ++digits;
        }
        if (digits == 0) {
          out->push_back('x');
        } else {
          AppendUtf8(code, out);
        }
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          std::uint32_t code = static_cast<std::uint32_t>(e - '0');
          for (int digits = 1; digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7';
               ++digits) {
            code = code * 8 + static_cast<std::uint32_t>(text[i++] - '0');
          }
          AppendUtf8(code, out);
        } else {
          out->push_back(e);  // \\, \", \[ and \] stand for themselves
        }
    }
  }
  return false;
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::size_t FindChild(const RegistryHive& hive, std::size_t node, const std::string& name) {
  const auto& children = hive.nodes[node].by_name;
  auto found = children.find(LowerCase(name));
  return found == children.end() ? static_cast<std::size_t>(-1) : found->second;
}

std::size_t CreatePath(RegistryHive* hive, const std::vector<std::string>& parts) {
  std::size_t node = 0;
  for (const std::string& part : parts) {
    std::string key = LowerCase(part);
    auto found = hive->nodes[node].by_name.find(key);
    if (found != hive->nodes[node].by_name.end()) {
      node = found->second;
      continue;
    }
    std::size_t child = hive->nodes.size();
    hive->nodes.push_back(RegistryNode{});
    hive->nodes[child].name = part;
    hive->nodes[node].by_name.emplace(std::move(key), child);
    hive->nodes[node].subkeys.push_back(child);
    node = child;
  }
  return node;
}

// Narrow text of little-endian UTF-16 data, as a narrow query returns string values.
std::vector<std::uint8_t> NarrowFromUtf16(const std::vector<std::uint8_t>& data) {
  std::string text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    std::uint32_t unit = data[i] | (static_cast<std::uint32_t>(data[i + 1]) << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < data.size()) {
      std::uint32_t low = data[i + 2] | (static_cast<std::uint32_t>(data[i + 3]) << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &text);
        i += 2;
        continue;
      }
    }
    AppendUtf8(unit, &text);
  }
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>* bytes) {
  bytes->clear();
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ',' || std::isspace(static_cast<unsigned char>(text[i]))))
      ++i;
    if (i >= text.size()) break;
    int high = HexDigit(text[i]);
    if (high < 0) return false;
    int value = high;
    ++i;
    if (i < text.size() && HexDigit(text[i]) >= 0) value = value * 16 + HexDigit(text[i++]);
    bytes->push_back(static_cast<std::uint8_t>(value));
  }
  return true;
}

std::vector<std::uint8_t> TerminatedText(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

// Reads the data part of a value line (after the '=').
bool ParseData(std::string_view data, RegistryValue* value) {
  std::size_t pos = 0;
  std::string text;
  if (!data.empty() && data[0] == '"') {
    pos = 1;
    if (!ReadEscaped(data, &pos, '"', &text)) return false;
    value->type = kRegString;
    value->data = TerminatedText(text);
    return true;
  }
  if (data.substr(0, 4) == "str(") {
    char* end = nullptr;
    std::string number(data.substr(4, 12));
    unsigned long type = std::strtoul(number.c_str(), &end, 16);
    std::size_t close = 4 + static_cast<std::size_t>(end - number.c_str());
    if (end == number.c_str() || data.substr(close, 3) != "):\"") return false;
    pos = close + 3;
    if (!ReadEscaped(data, &pos, '"', &text)) return false;
    value->type = static_cast<std::uint32_t>(type);
    value->data = TerminatedText(text);
    return true;
  }
  if (data.substr(0, 6) == "dword:") {
    std::string_view digits = data.substr(6);
    while (!digits.empty() && std::isspace(static_cast<unsigned char>(digits.back())))
      digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 8) return false;
    std::uint32_t number = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) return false;
      number = number * 16 + static_cast<std::uint32_t>(HexDigit(c));
    }
    value->type = kRegDword;
    value->data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                   static_cast<std::uint8_t>(number >> 16),
                   static_cast<std::uint8_t>(number >> 24)};
    return true;
  }
  if (data.substr(0, 3) == "hex") {
    std::uint32_t type = kRegBinary;
    std::size_t colon = 3;
    if (data.substr(3, 1) == "(") {
      std::size_t close = data.find(')', 4);
      if (close == std::string_view::npos || close == 4 || close > 12) return false;
      type = 0;
      for (char c : data.substr(4, close - 4)) {
        if (HexDigit(c) < 0) return false;
        type = type * 16 + static_cast<std::uint32_t>(HexDigit(c));
      }
      colon = close + 1;
    }
    if (data.substr(colon, 1) != ":") return false;
    if (!ParseHexBytes(data.substr(colon + 1), &value->data)) return false;
    value->type = type;
    if (type == kRegString || type == kRegExpandString || type == kRegMultiString) {
      value->data = NarrowFromUtf16(value->data);
    }
    return true;
  }
  return false;
}

// A value line: "name"=data or @=data.
void ParseValueLine(std::string_view line, RegistryNode* node) {
  std::size_t pos = 0;
  std::string name;
  if (line[0] == '@') {
    pos = 1;
  } else {
    pos = 1;
    if (!ReadEscaped(line, &pos, '"', &name)) return;
  }
  if (pos >= line.size() || line[pos] != '=') return;
  RegistryValue value;
  if (!ParseData(line.substr(pos + 1), &value)) return;
  node->values[LowerCase(name)] = std::move(value);
}

// The next line of `text` from `*pos`, without its line end.
std::string_view NextLine(std::string_view text, std::size_t* pos) {
  std::size_t end = text.find('\n', *pos);
  if (end == std::string_view::npos) end = text.size();
  std::string_view line = text.substr(*pos, end - *pos);
  *pos = end < text.size() ? end + 1 : text.size();
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

RegistryHive ParseRegistryText(std::string_view text) {
  RegistryHive hive;
  std::size_t pos = 0;
  if (NextLine(text, &pos).substr(0, 23) != "WINE REGISTRY Version 2") return hive;
  hive.valid = true;
  constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
  std::size_t current = kNoKey;  // values before the first key belong nowhere
  while (pos < text.size()) {
    std::string line(NextLine(text, &pos));
    // Long data goes on over indented lines, each but the last ending in a backslash.
    while (!line.empty() && line.back() == '\\' && pos < text.size() &&
           (text[pos] == ' ' || text[pos] == '\t')) {
      line.pop_back();
      std::string_view next = NextLine(text, &pos);
      while (!next.empty() && (next.front() == ' ' || next.front() == '\t')) next.remove_prefix(1);
      line.append(next);
    }
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      std::size_t name_pos = 1;
      std::string path;
      current = ReadEscaped(line, &name_pos, ']', &path) ? CreatePath(&hive, SplitPath(path))
                                                         : kNoKey;
      continue;
    }
    if ((line[0] == '"' || line[0] == '@') && current != kNoKey) {
      ParseValueLine(line, &hive.nodes[current]);
    }
  }
  return hive;
}

int RegistryKey::OpenInHive(std::shared_ptr<const RegistryHive> hive, std::string_view path,
                            RegistryKey* key) {
  key->Close();
  if (hive == nullptr || !hive->valid) return kRegistryNotFound;
  RegistryKey root;
  root.hive_ = std::move(hive);
  root.node_ = 0;
  return root.OpenSubKey(path, key);
}

const RegistryNode* RegistryKey::Node() const {
  return IsOpen() ? &hive_->nodes[node_] : nullptr;
}

int RegistryKey::OpenSubKey(std::string_view path, RegistryKey* key) const {
  if (!IsOpen()) return kRegistryNotFound;
  std::size_t node = node_;
  for (const std::string& part : SplitPath(path)) {
    node = FindChild(*hive_, node, part);
    if (node == static_cast<std::size_t>(-1)) {
      if (key != this) key->Close();
      return kRegistryNotFound;
    }
  }
  std::shared_ptr<const RegistryHive> hive = hive_;
  key->hive_ = std::move(hive);
  key->node_ = node;
  return kRegistryOk;
}

int RegistryKey::EnumSubKey(std::uint32_t index, std::size_t name_buffer_chars,
                            std::string* name) const {
  const RegistryNode* node = Node();
  if (node == nullptr) return kRegistryNotFound;
  if (index >= node->subkeys.size()) return kRegistryNoMoreItems;
  const std::string& subkey = hive_->nodes[node->subkeys[index]].name;
  if (subkey.size() + 1 > name_buffer_chars) return kRegistryMoreData;
  *name = subkey;
  return kRegistryOk;
}

int RegistryKey::QueryValue(std::string_view name, std::uint32_t* type, void* buffer,
                            std::uint32_t* size) const {
  const RegistryNode* node = Node();
  if (node == nullptr) return kRegistryNotFound;
  auto found = node->values.find(LowerCase(name));
  if (found == node->values.end()) return kRegistryNotFound;
  const RegistryValue& value = found->second;
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return kRegistryOk;
  const auto length = static_cast<std::uint32_t>(value.data.size());
  std::uint32_t room = *size;
  *size = length;
  if (buffer == nullptr) return kRegistryOk;
  if (length > room) return kRegistryMoreData;
  if (length > 0) std::memcpy(buffer, value.data.data(), length);
  return kRegistryOk;
}

void RegistryKey::Close() {
  hive_.reset();
  node_ = kClosed;
}

}  // namespace flashwright::platform
