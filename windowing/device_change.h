// Device-change notices: the system's notices that USB devices came or went, delivered to the
// frame on the user-interface thread (FrameEvents::OnDeviceChange), which hands them to the
// USB view.
#pragma once

#include <memory>

#include "platform/usb_hotplug.h"
#include "windowing/window_ref.h"

namespace flashwright::ui {

// The notice that the set of device nodes changed.
inline constexpr unsigned kDeviceNodesChanged = 7;

// Registers the frame window `frame` for the notices of the USB device interface class. Null
// when the system gives no such notices. The caller drops the registration before the frame
// goes.
std::unique_ptr<platform::UsbHotplugRegistration> RegisterDeviceNotice(WindowRef frame);

}  // namespace flashwright::ui
