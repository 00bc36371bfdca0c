// Writing received records back out as Intel HEX text.
#pragma once

#include <string>
#include <vector>

#include "tools/reader_sim/reader_simulator.h"

namespace flashwright::sim {

// One line per record, ":" count address type data checksum in upper-case hexadecimal, each
// ended by "\n". The count and checksum are written as they were received.
std::string FormatIntelHex(const std::vector<SimRecord>& records);

}  // namespace flashwright::sim
