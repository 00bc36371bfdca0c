// Device-change notices as events posted to the frame window.
#pragma once

#include <QEvent>
#include <cstdint>

namespace flashwright::ui {

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

}  // namespace flashwright::ui
