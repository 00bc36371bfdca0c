#include "tools/reader_sim/tag_replies.h"

#include <algorithm>

namespace flashwright::sim {
namespace {

constexpr std::uint8_t kInventory = 0xFE;
constexpr std::uint8_t kBlockRead = 0x02;
constexpr std::uint8_t kFlagFailure = 0x01;
// A D5 inventory entry of the variant without the extra byte holds the 4-byte identifier and
// six further bytes that the host does not read.
constexpr std::size_t kPlainEntrySize = 10;

void AppendBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

const SimTag* FindTag(const ReaderSimOptions& options, const std::vector<std::uint8_t>& id) {
  for (const SimTag& tag : options.tags) {
    if (TagIdOfSize(tag, id.size()) == id) return &tag;
  }
  return nullptr;
}

// Flags byte, and the extra byte in the variant that has it.
void AppendD5Flags(std::vector<std::uint8_t>& out, bool extra_byte, std::uint8_t flags) {
  out.push_back(flags);
  if (extra_byte) out.push_back(0x00);
}

std::vector<std::uint8_t> D5Inventory(const ReaderSimOptions& options,
                                      const std::vector<std::uint8_t>& request,
                                      bool request_extra_byte) {
  const bool extra = options.d5_extra_byte;
  std::vector<std::uint8_t> out{request[0], request[1], kInventory};
  if (request_extra_byte != extra) {
    AppendD5Flags(out, extra, kFlagFailure);
    out.push_back(kStatusWrongVariant);
    return out;
  }
  if (options.tags.empty()) {
    AppendD5Flags(out, extra, kFlagFailure);
    out.push_back(kStatusNoTag);
    return out;
  }
  AppendD5Flags(out, extra, 0x00);
  out.push_back(0x00);
  const std::size_t count = std::min<std::size_t>(options.tags.size(), 255);
  out.push_back(static_cast<std::uint8_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> id = TagIdOfSize(options.tags[i], 4);
    out.insert(out.end(), id.begin(), id.end());
    if (!extra) out.insert(out.end(), kPlainEntrySize - id.size(), 0x00);
  }
  return out;
}

std::vector<std::uint8_t> D5BlockRead(const ReaderSimOptions& options,
                                      const std::vector<std::uint8_t>& request,
                                      bool request_extra_byte) {
  const bool extra = options.d5_extra_byte;
  const std::size_t id_at = request_extra_byte ? 5 : 4;
  const std::vector<std::uint8_t> id(request.begin() + static_cast<long>(id_at),
                                     request.begin() + static_cast<long>(id_at + 4));
  std::vector<std::uint8_t> out{request[0], request[1], kBlockRead};
  const SimTag* tag = request_extra_byte == extra ? FindTag(options, id) : nullptr;
  if (tag == nullptr) {
    AppendD5Flags(out, extra, kFlagFailure);
    out.insert(out.end(), id.begin(), id.end());
    out.push_back(request_extra_byte == extra ? kStatusNoTag : kStatusWrongVariant);
    return out;
  }
  AppendD5Flags(out, extra, 0x00);
  out.insert(out.end(), id.begin(), id.end());
  out.insert(out.end(), 3, 0x00);
  AppendBigEndian32(out, tag->block0);
  return out;
}

}  // namespace

std::vector<std::uint8_t> TagIdOfSize(const SimTag& tag, std::size_t size) {
  std::vector<std::uint8_t> id(size, 0x00);
  const std::size_t take = std::min(size, tag.id.size());
  std::copy(tag.id.end() - static_cast<long>(take), tag.id.end(), id.end() - static_cast<long>(take));
  return id;
}

std::vector<std::uint8_t> D6InventoryReply(const ReaderSimOptions& options) {
  if (options.tags.empty()) return {kInventory, kStatusNoTag};
  std::vector<std::uint8_t> out{kInventory, 0x00, 0x00, 0x00};
  const std::size_t count = std::min<std::size_t>(options.tags.size(), 255);
  out.push_back(static_cast<std::uint8_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> id = TagIdOfSize(options.tags[i], 8);
    out.insert(out.end(), id.begin(), id.end());
  }
  return out;
}

std::vector<std::uint8_t> D6BlockReadReply(const ReaderSimOptions& options,
                                           const std::vector<std::uint8_t>& request_payload) {
  if (request_payload.size() < 9) return {kBlockRead, 0x02};
  const std::vector<std::uint8_t> id(request_payload.begin() + 1, request_payload.begin() + 9);
  const SimTag* tag = FindTag(options, id);
  if (tag == nullptr) return {kBlockRead, kStatusNoTag};
  std::vector<std::uint8_t> out{kBlockRead, 0x00};
  out.insert(out.end(), id.begin(), id.end());
  out.insert(out.end(), 3, 0x00);
  AppendBigEndian32(out, tag->block0);
  return out;
}

std::optional<std::vector<std::uint8_t>> D5TagReply(
    const ReaderSimOptions& options, const std::vector<std::uint8_t>& request) {
  if (request.size() < 3 || request[0] != 0x03 || request[1] != 0x00) return std::nullopt;
  // The two variants differ by one 0x00 byte, so the length tells which one the host used.
  if (request[2] == kInventory) {
    if (request.size() == 7) return D5Inventory(options, request, true);
    if (request.size() == 6) return D5Inventory(options, request, false);
    return std::nullopt;
  }
  if (request[2] == kBlockRead && request.size() >= 4 && request[3] == 0x04) {
    if (request.size() == 11) return D5BlockRead(options, request, true);
    if (request.size() == 10) return D5BlockRead(options, request, false);
  }
  return std::nullopt;
}

}  // namespace flashwright::sim
