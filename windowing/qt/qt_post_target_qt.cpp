#include "windowing/qt/qt_post_target.h"

#include <QCoreApplication>
#include <mutex>
#include <set>

#include "windowing/qt/registered_message_qt.h"

namespace flashwright::ui {

namespace {
// Event types that carry posted records, to recognise them among the receiver's events.
std::mutex record_types_lock;
std::set<int>& RecordEventTypes() {
  static std::set<int> types;
  return types;
}
}  // namespace

PostedRecordEvent::PostedRecordEvent(QEvent::Type type, MessageId message,
                                     std::unique_ptr<PostedRecord> record)
    : QEvent(type), message_(message), record_(std::move(record)) {}

PostedRecordEvent::~PostedRecordEvent() = default;

PostedRecordEvent* PostedRecordEvent::From(QEvent* event) {
  std::lock_guard<std::mutex> guard(record_types_lock);
  if (RecordEventTypes().count(static_cast<int>(event->type())) == 0) return nullptr;
  return static_cast<PostedRecordEvent*>(event);
}

QtPostTarget::QtPostTarget(QObject* receiver, std::initializer_list<const char*> messages)
    : receiver_(receiver) {
  for (const char* name : messages) {
    const QEvent::Type type = RegisterWindowMessage(name);
    {
      std::lock_guard<std::mutex> guard(record_types_lock);
      RecordEventTypes().insert(static_cast<int>(type));
    }
    event_types_[RegisterPostedMessage(name)] = type;
  }
  handle_ = RegisterPostTarget(this);
}

QtPostTarget::~QtPostTarget() { UnregisterPostTarget(handle_); }

void QtPostTarget::Accept(MessageId message, std::unique_ptr<PostedRecord> record) {
  auto found = event_types_.find(message);
  if (found == event_types_.end()) return;  // not ours: freed here
  // postEvent takes the event even when the receiver is destroyed before delivery; Qt then
  // deletes it, and the record with it.
  QCoreApplication::postEvent(receiver_,
                              new PostedRecordEvent(found->second, message, std::move(record)));
}

}  // namespace flashwright::ui
