#include "windowing/qt/device_change_qt.h"

#include <QCoreApplication>

#include "windowing/device_change.h"
#include "windowing/qt/native_window_qt.h"
#include "windowing/qt/registered_message_qt.h"

namespace flashwright::ui {

DeviceChangeEvent::DeviceChangeEvent(unsigned event_type, std::uintptr_t data)
    : QEvent(EventType()), event_type_(event_type), data_(data) {}

QEvent::Type DeviceChangeEvent::EventType() {
  static const QEvent::Type type = RegisterWindowMessage("WM_DEVICECHANGE");
  return type;
}

std::unique_ptr<platform::UsbHotplugRegistration> RegisterDeviceNotice(WindowRef frame) {
  QWidget* window = ToWidget(frame);
  if (window == nullptr) return nullptr;
  // Posting is safe from the source's thread; the frame outlives the registration.
  return platform::CurrentUsbHotplugSource().Register([window] {
    QCoreApplication::postEvent(window, new DeviceChangeEvent(kDeviceNodesChanged, 0));
  });
}

}  // namespace flashwright::ui
