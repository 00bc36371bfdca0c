// The USB driver layer as the wire trace sees it: every request is passed on unchanged to the
// layer in use and then reported to the installed WireTrace.
#pragma once

#include "platform/usb_driver_io.h"

namespace flashwright::platform {

// The one tracing layer; it passes each call on to `underlying()` at the time of the call.
UsbDriverIo& TracedUsbDriverIo(UsbDriverIo& (*underlying)());

}  // namespace flashwright::platform
