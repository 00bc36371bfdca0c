// The reader's portal AFI value: one application family identifier byte (command 0x41 reads
// it, 0x40 stores a new one). The value is sent exactly as given; that 00 and FF act like DA is
// the reader's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reader_tools/tool_result.h"

namespace flashwright {

inline constexpr std::uint8_t kCommandReadPortalAfi = 0x41;
inline constexpr std::uint8_t kCommandWritePortalAfi = 0x40;

std::vector<std::uint8_t> BuildReadPortalAfiRequest();
std::vector<std::uint8_t> BuildWritePortalAfiRequest(std::uint8_t afi);
// Reply body: status, AFI byte. The AFI is set only by a successful read.
bool ParseReadPortalAfiReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t* afi,
                             ToolResult* result);
bool ParseWritePortalAfiReply(const std::uint8_t* bytes, std::size_t count, ToolResult* result);

// On the open port, 500 ms, refused with 7 for readers without the D6 tools.
ToolResult ReadPortalAfi(std::uint32_t reader_version, std::uint8_t* afi);
ToolResult WritePortalAfi(std::uint32_t reader_version, std::uint8_t afi);

}  // namespace flashwright
