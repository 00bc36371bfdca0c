// Where the progress bar stands for a programming report: the image's part of the bar
// (start to end) filled in proportion to the bytes sent.
#pragma once

#include <cstdint>

namespace flashwright {

int ProgressPosition(std::uint16_t range_start, std::uint16_t range_end, std::uint32_t line,
                     std::uint32_t consumed, std::uint32_t total);

}  // namespace flashwright
