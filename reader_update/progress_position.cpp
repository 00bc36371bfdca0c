#include "reader_update/progress_position.h"

namespace flashwright {

int ProgressPosition(std::uint16_t range_start, std::uint16_t range_end, std::uint32_t line,
                     std::uint32_t consumed, std::uint32_t total) {
  int position = range_start;
  if (line != 0 && total != 0 && range_start < range_end) {
    const double share = static_cast<double>(consumed) / static_cast<double>(total);
    position = range_start + static_cast<int>(share * (range_end - range_start));
    // The end of the image's part is shown only once all of it has gone out.
    if (position >= range_end) position = consumed < total ? range_end - 1 : range_end;
    if (consumed >= total) position = range_end;
  }
  return position;
}

}  // namespace flashwright
