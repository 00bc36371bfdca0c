// Registered window messages: one Qt event type per message name, registered the first time
// the name is asked for, so that every part of the process that names a message gets the
// same type.
#pragma once

#include <QEvent>
#include <string>

namespace flashwright::ui {

QEvent::Type RegisterWindowMessage(const std::string& name);

}  // namespace flashwright::ui
