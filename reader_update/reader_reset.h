// Reset Configuration on a COM port, as the button, the basic view's "already updated" case and
// the command line send it: open the port, reset, and close what was opened.
#pragma once

#include <cstdint>

#include "reader_link/frame.h"

namespace flashwright {

// The result of the open or of the reset (0, a link error, or -32 - status of a refusal).
LinkError ResetReaderConfiguration(int port, std::uint8_t selection);

}  // namespace flashwright
