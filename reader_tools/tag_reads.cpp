#include "reader_tools/tag_reads.h"

#include <cstdio>

#include "platform/text_case.h"
#include "reader_tools/tool_entry.h"
#include "reader_tools/tool_port_state.h"
#include "reader_tools/tool_reply.h"
#include "reader_tools/tool_transact.h"

namespace flashwright {

std::vector<std::uint8_t> BuildInventoryRequest(std::uint32_t reader_version, bool extra_byte) {
  if (HasD6Tools(reader_version)) {
    return BuildToolFrame(kStartD6, {kCommandInventory, 0x00, 0x05});
  }
  // The tool requests of older readers start their payload with 03 00.
  if (extra_byte) {
    return BuildToolFrame(kStartD5, {0x03, 0x00, kCommandInventory, 0x00, 0x00, 0x00, 0x05});
  }
  return BuildToolFrame(kStartD5, {0x03, 0x00, kCommandInventory, 0x00, 0x00, 0x05});
}

std::vector<std::uint8_t> BuildBlockReadRequest(std::uint32_t reader_version, bool extra_byte,
                                                std::uint64_t tag_id) {
  std::vector<std::uint8_t> payload;
  if (HasD6Tools(reader_version)) {
    payload.push_back(kCommandBlockRead);
    for (int shift = 56; shift >= 0; shift -= 8) {
      payload.push_back(static_cast<std::uint8_t>(tag_id >> shift));
    }
    payload.insert(payload.end(), {0x00, 0x01});
    return BuildToolFrame(kStartD6, payload);
  }
  payload = {0x03, 0x00, kCommandBlockRead, 0x04};
  if (extra_byte) payload.push_back(0x00);
  for (int shift = 24; shift >= 0; shift -= 8) {
    payload.push_back(static_cast<std::uint8_t>(tag_id >> shift));
  }
  payload.insert(payload.end(), {0x00, 0x01});
  return BuildToolFrame(kStartD5, payload);
}

std::optional<std::uint64_t> ParseTagIdText(const std::string& text) {
  if (text.empty() || text.size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  return value;
}

bool ParseInventoryReply(const std::uint8_t* bytes, std::size_t count, bool* extra_byte,
                         std::vector<std::string>* ids, ToolResult* result) {
  auto header = ParseToolReplyHeader(bytes, count);
  if (!header) return false;
  if (header->echo != kCommandInventory) {
    *result = kToolUnexpectedReply;
    return true;
  }
  ids->clear();
  ToolReplyBody body(bytes, count, *header);
  std::uint8_t status = 0;
  std::uint8_t tag_count = 0;
  std::size_t entry_size = 8;
  std::size_t id_size = 8;

  if (header->start == kStartD6) {
    if (!body.Byte(&status)) {
      *result = kToolUnexpectedReply;
      return true;
    }
    if (status == kStatusNoTag) {
      *result = 0;
      return true;
    }
    if (status != 0) {
      *result = status;
      return true;
    }
    if (!body.Skip(2) || !body.Byte(&tag_count)) {
      *result = kToolUnexpectedReply;
      return true;
    }
  } else {
    std::uint8_t flags = 0;
    if (!body.Byte(&flags)) {
      *result = kToolUnexpectedReply;
      return true;
    }
    const bool have_status = (!*extra_byte || body.Skip(1)) && body.Byte(&status);
    if (flags & 0x01) {
      // The reader refused this request; unless it merely found no tag, it speaks the other
      // variant. A reader of the other variant lays its refusal out its own way, so the status
      // may lie where this variant has no byte left: that is no "no tag" either.
      if (!have_status || status != kStatusNoTag) *extra_byte = !*extra_byte;
      *result = 0;
      return true;
    }
    if (!have_status || !body.Byte(&tag_count)) {
      *result = kToolUnexpectedReply;
      return true;
    }
    entry_size = *extra_byte ? 4 : 10;
    id_size = 4;
  }

  for (std::uint8_t i = 0; i < tag_count; ++i) {
    const std::uint8_t* entry = nullptr;
    if (!body.Take(entry_size, &entry)) {
      ids->clear();
      *result = kToolUnexpectedReply;
      return true;
    }
    ids->push_back(FormatTagId(entry, id_size));
  }
  *result = 0;
  return true;
}

bool ParseBlockReadReply(const std::uint8_t* bytes, std::size_t count, bool extra_byte,
                         const std::string& id_text, std::string* block_text,
                         ToolResult* result) {
  auto header = ParseToolReplyHeader(bytes, count);
  if (!header) return false;
  if (header->echo != kCommandBlockRead) {
    *result = kToolUnexpectedReply;
    return true;
  }
  block_text->clear();
  ToolReplyBody body(bytes, count, *header);
  std::uint8_t status = 0;
  const std::uint8_t* id = nullptr;
  std::string reply_id;

  if (header->start == kStartD6) {
    if (!body.Byte(&status)) {
      *result = kToolUnexpectedReply;
      return true;
    }
    // A refusal need not carry the identifier; its status is the answer.
    if (status != 0) {
      *result = status;
      return true;
    }
    if (!body.Take(8, &id)) {
      *result = kToolUnexpectedReply;
      return true;
    }
    reply_id = FormatTagId(id, 8);
  } else {
    std::uint8_t flags = 0;
    if (!body.Byte(&flags) || (extra_byte && !body.Skip(1)) || !body.Take(4, &id) ||
        ((flags & 0x01) && !body.Byte(&status))) {
      *result = kToolUnexpectedReply;
      return true;
    }
    if (status != 0) {
      *result = status;
      return true;
    }
    reply_id = FormatTagId(id, 4);
  }

  if (!SameIgnoringCase(reply_id, id_text)) {
    *result = kToolUnexpectedReply;
    return true;
  }
  const std::uint8_t* block = nullptr;
  if (!body.Skip(3) || !body.Take(4, &block)) {
    *result = kToolUnexpectedReply;
    return true;
  }
  unsigned long value = static_cast<unsigned long>(block[0]) << 24 |
                        static_cast<unsigned long>(block[1]) << 16 |
                        static_cast<unsigned long>(block[2]) << 8 | block[3];
  char text[12];
  std::snprintf(text, sizeof text, "%08lX", value);
  *block_text = text;
  *result = 0;
  return true;
}

ToolResult ReadTags(std::uint32_t reader_version, bool* extra_byte,
                    std::vector<std::string>* ids) {
  ids->clear();
  std::vector<std::uint8_t> request = BuildInventoryRequest(reader_version, *extra_byte);
  return ToolTransact(
      request,
      [&](const std::uint8_t* bytes, std::size_t count, ToolResult* result) {
        return ParseInventoryReply(bytes, count, extra_byte, ids, result);
      },
      kToolTimeLimitMs);
}

ToolResult ReadBlock0(std::uint32_t reader_version, bool extra_byte, const std::string& id_text,
                      std::string* block_text) {
  block_text->clear();
  std::optional<std::uint64_t> id = ParseTagIdText(id_text);
  if (!id) return kToolUnexpectedReply;
  std::vector<std::uint8_t> request = BuildBlockReadRequest(reader_version, extra_byte, *id);
  return ToolTransact(
      request,
      [&](const std::uint8_t* bytes, std::size_t count, ToolResult* result) {
        return ParseBlockReadReply(bytes, count, extra_byte, id_text, block_text, result);
      },
      kBlockReadTimeLimitMs);
}

}  // namespace flashwright
