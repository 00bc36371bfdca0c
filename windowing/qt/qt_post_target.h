// Posted records delivered through the event loop: a target that turns every record posted to
// it into an event for one receiver on the user-interface thread. The event owns the record
// until a handler takes it, so a record whose event is never handled (the receiver is gone,
// or the program ends first) is freed with the event.
#pragma once

#include <QEvent>
#include <QPointer>
#include <initializer_list>
#include <map>
#include <memory>

#include "platform/posted_messages.h"

namespace flashwright::ui {

class PostedRecordEvent : public QEvent {
 public:
  PostedRecordEvent(QEvent::Type type, MessageId message, std::unique_ptr<PostedRecord> record);
  ~PostedRecordEvent() override;

  MessageId message() const { return message_; }
  // The record, once; later calls give nothing.
  std::unique_ptr<PostedRecord> TakeRecord() { return std::move(record_); }
  const PostedRecord* record() const { return record_.get(); }

  // The event as a posted record event when it is one.
  static PostedRecordEvent* From(QEvent* event);

 private:
  MessageId message_;
  std::unique_ptr<PostedRecord> record_;
};

class QtPostTarget : public PostTarget {
 public:
  // Registers with the posting table. `messages` are the names the receiver handles; records
  // of any other message are freed on arrival.
  QtPostTarget(QObject* receiver, std::initializer_list<const char*> messages);
  // After this no record reaches the receiver.
  ~QtPostTarget() override;
  QtPostTarget(const QtPostTarget&) = delete;
  QtPostTarget& operator=(const QtPostTarget&) = delete;

  TargetHandle handle() const { return handle_; }
  void Accept(MessageId message, std::unique_ptr<PostedRecord> record) override;

 private:
  QObject* receiver_;
  std::map<MessageId, QEvent::Type> event_types_;
  TargetHandle handle_ = 0;
};

}  // namespace flashwright::ui
