// The diagnostics reads: the inventory of the tags in the reader's field (command 0xFE) and
// the read of block 0 of one tag (command 0x02). Readers with the D6 tools use D6 frames and
// 8-byte identifiers; older ones D5 frames and 4-byte identifiers in one of two variants: with
// `extra_byte` the requests carry one more 0x00 and the replies one more byte after their
// flags, and inventory entries are 4 bytes apart (10 without it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader_tools/tool_result.h"

namespace flashwright {

inline constexpr std::uint8_t kCommandInventory = 0xFE;
inline constexpr std::uint8_t kCommandBlockRead = 0x02;

std::vector<std::uint8_t> BuildInventoryRequest(std::uint32_t reader_version, bool extra_byte);
std::vector<std::uint8_t> BuildBlockReadRequest(std::uint32_t reader_version, bool extra_byte,
                                                std::uint64_t tag_id);

// An identifier text as the inventory lists it: 1 to 16 hexadecimal digits, either case.
std::optional<std::uint64_t> ParseTagIdText(const std::string& text);

// Inventory reply. With the echo right, `ids` is emptied and filled from the reply. A D5 reply
// with bit 0 of its flags set lists nothing and, unless its status is 6 (no tag), flips
// `extra_byte` so that the next inventory uses the other variant. Status 6 of a D6 reply is
// no tag, not an error. A reply too short for the tags it announces gives kToolUnexpectedReply.
bool ParseInventoryReply(const std::uint8_t* bytes, std::size_t count, bool* extra_byte,
                         std::vector<std::string>* ids, ToolResult* result);

// Block read reply for the tag `id_text`. Gives the reader's status, kToolUnexpectedReply for a
// reply about another tag (identifiers compared without regard to case), or 0 with block 0 as
// eight upper-case hexadecimal digits in `block_text`.
bool ParseBlockReadReply(const std::uint8_t* bytes, std::size_t count, bool extra_byte,
                         const std::string& id_text, std::string* block_text,
                         ToolResult* result);

// The inventory exchange on the open port (500 ms, for readers of every version).
ToolResult ReadTags(std::uint32_t reader_version, bool* extra_byte, std::vector<std::string>* ids);
// Block 0 of one listed tag (250 ms). An identifier text that is not hexadecimal cannot come
// from the inventory; it gives kToolUnexpectedReply without sending anything.
ToolResult ReadBlock0(std::uint32_t reader_version, bool extra_byte, const std::string& id_text,
                      std::string* block_text);

}  // namespace flashwright
