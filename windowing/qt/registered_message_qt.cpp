#include "windowing/qt/registered_message_qt.h"

#include <map>
#include <mutex>

namespace flashwright::ui {

QEvent::Type RegisterWindowMessage(const std::string& name) {
  // Workers may post before the user-interface thread asked for a name.
  static std::mutex lock;
  static std::map<std::string, QEvent::Type> types;
  std::lock_guard<std::mutex> guard(lock);
  auto found = types.find(name);
  if (found != types.end()) return found->second;
  const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  types.emplace(name, type);
  return type;
}

}  // namespace flashwright::ui
