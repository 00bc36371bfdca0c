#include "tools/reader_sim/intel_hex_writer.h"

namespace flashwright::sim {
namespace {

void AppendHexByte(std::string& out, unsigned value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out.push_back(kDigits[(value >> 4) & 0x0F]);
  out.push_back(kDigits[value & 0x0F]);
}

}  // namespace

std::string FormatIntelHex(const std::vector<SimRecord>& records) {
  std::string out;
  for (const SimRecord& record : records) {
    out.push_back(':');
    AppendHexByte(out, record.count);
    AppendHexByte(out, static_cast<unsigned>(record.address >> 8));
    AppendHexByte(out, record.address & 0xFFu);
    AppendHexByte(out, record.type);
    for (std::uint8_t byte : record.data) AppendHexByte(out, byte);
    AppendHexByte(out, record.checksum);
    out.push_back('\n');
  }
  return out;
}

}  // namespace flashwright::sim
