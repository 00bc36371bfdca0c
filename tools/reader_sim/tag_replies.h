// The simulated reader's answers to the tag commands: inventory (0xFE) and block read (0x02),
// in D6 form and in the two D5 variants that older readers speak.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/reader_sim/reader_simulator.h"

namespace flashwright::sim {

// Reader status for an inventory without tags, and for a block read of a tag that is not in
// the field.
inline constexpr std::uint8_t kStatusNoTag = 6;
// Reader status in a D5 reply to a request of the variant that the reader does not speak.
inline constexpr std::uint8_t kStatusWrongVariant = 5;

// Reply payloads to the D6 requests FE 00 05 and 02 <8-byte id> 00 01.
std::vector<std::uint8_t> D6InventoryReply(const ReaderSimOptions& options);
std::vector<std::uint8_t> D6BlockReadReply(const ReaderSimOptions& options,
                                           const std::vector<std::uint8_t>& request_payload);

// Reply payload to a D5 tag request (payload 03 00 FE ... or 03 00 02 04 ...), or nothing when
// the payload is not one of them.
std::optional<std::vector<std::uint8_t>> D5TagReply(
    const ReaderSimOptions& options, const std::vector<std::uint8_t>& request_payload);

// A tag's identifier as the two reader kinds report it: 8 bytes for D6 readers, 4 bytes for D5
// readers (shorter identifiers get leading zero bytes, longer ones keep their last bytes).
std::vector<std::uint8_t> TagIdOfSize(const SimTag& tag, std::size_t size);

}  // namespace flashwright::sim
