#include "windowing/device_change.h"

#include <QCoreApplication>

#include "windowing/registered_message.h"

namespace flashwright::ui {

DeviceChangeEvent::DeviceChangeEvent(unsigned event_type, std::uintptr_t data)
    : QEvent(EventType()), event_type_(event_type), data_(data) {}

QEvent::Type DeviceChangeEvent::EventType() {
  static const QEvent::Type type = RegisterWindowMessage("WM_DEVICECHANGE");
  return type;
}

void PostDeviceChange(QObject* frame, unsigned event_type, std::uintptr_t data) {
  QCoreApplication::postEvent(frame, new DeviceChangeEvent(event_type, data));
}

std::unique_ptr<platform::UsbHotplugRegistration> RegisterDeviceNotice(QObject* frame) {
  if (frame == nullptr) return nullptr;
  // Posting is safe from the source's thread; the frame outlives the registration.
  return platform::CurrentUsbHotplugSource().Register(
      [frame] { PostDeviceChange(frame, kDeviceNodesChanged, 0); });
}

}  // namespace flashwright::ui
