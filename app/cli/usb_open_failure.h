// Why a USB device that is there could not be opened, for the person who has to fix it. The
// device access only says that a device could not be opened (or leaves it out of the list);
// this asks the driver layer again, for the system's reason.
#pragma once

#include <string>

#include "app/cli/event_output.h"

namespace flashwright::cli {

// Opens the devices from index `first` to `last` that the driver layer lists (and closes them
// again); when one of them refuses, adds the cause and the remedy as a line to `text` and the
// fields "errno" and "reason" to `fields`. Nothing when they all open or none is there.
void AnnotateUsbOpenFailure(int first, int last, std::string* text, JsonObject* fields);

}  // namespace flashwright::cli
