// Device-change notices: posted to the main frame from any thread (the USB layer's hot-plug
// callback) and delivered on the user-interface thread.
#pragma once

#include <QEvent>
#include <cstdint>
#include <memory>

#include "platform/usb_hotplug.h"

class QObject;

namespace flashwright::ui {

// The notice that the set of device nodes changed.
inline constexpr unsigned kDeviceNodesChanged = 7;

class DeviceChangeEvent : public QEvent {
 public:
  DeviceChangeEvent(unsigned event_type, std::uintptr_t data);
  static QEvent::Type EventType();

  unsigned event_type() const { return event_type_; }
  std::uintptr_t data() const { return data_; }

 private:
  unsigned event_type_;
  std::uintptr_t data_;
};

void PostDeviceChange(QObject* frame, unsigned event_type, std::uintptr_t data);

// Registers `frame` for the notices of USB devices that come and go: each reaches it on the
// user-interface thread as kDeviceNodesChanged. Null when the system gives no such notices.
// The caller drops the registration before `frame` goes.
std::unique_ptr<platform::UsbHotplugRegistration> RegisterDeviceNotice(QObject* frame);

}  // namespace flashwright::ui
