// Posted messages between an update worker (reader or USB) and whoever shows its progress,
// without a windowing framework: messages registered once by name, targets registered in a process-wide
// table, and heap records that always have exactly one owner.
//
// A worker posts a record and never touches it again. The target takes ownership when it
// accepts the record; a record posted to a target that is gone (or to no target) is freed at
// once. The windowed program wraps this in its own target that forwards to its event loop; a
// command-line front end and the tests use QueuePostTarget.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

namespace flashwright {

using MessageId = std::uint32_t;

// The id of the message `name`: the same id for the same name, process-wide, from any
// thread. Ids are never 0.
MessageId RegisterPostedMessage(const char* name);

// Base of every posted record.
class PostedRecord {
 public:
  virtual ~PostedRecord() = default;
};

// The record as the kind the message carries, or null (and the record freed) when it is
// another kind.
template <typename Record>
std::unique_ptr<Record> TakeRecord(std::unique_ptr<PostedRecord> record) {
  Record* taken = dynamic_cast<Record*>(record.get());
  if (taken == nullptr) return nullptr;
  record.release();
  return std::unique_ptr<Record>(taken);
}

// Receives posted records. Accept runs on the posting thread, under the target table's lock:
// it must only hand the record on (queue it, post it to an event loop) and must not register
// or unregister targets.
class PostTarget {
 public:
  virtual ~PostTarget() = default;
  virtual void Accept(MessageId message, std::unique_ptr<PostedRecord> record) = 0;
};

// A handle to a registered target; 0 is no target. Handles are never reused.
using TargetHandle = std::uint32_t;

TargetHandle RegisterPostTarget(PostTarget* target);
// After this returns no Accept of that target runs or will run.
void UnregisterPostTarget(TargetHandle handle);

// Hands `record` to the target. False, with the record freed, when the handle is 0 or the
// target is gone.
bool PostRecord(TargetHandle target, MessageId message, std::unique_ptr<PostedRecord> record);

// A target that queues what it is posted, for tests and front ends without an event loop.
// It registers itself on construction and unregisters on destruction (queued records are
// freed then).
class QueuePostTarget : public PostTarget {
 public:
  QueuePostTarget();
  ~QueuePostTarget() override;
  QueuePostTarget(const QueuePostTarget&) = delete;
  QueuePostTarget& operator=(const QueuePostTarget&) = delete;

  TargetHandle handle() const { return handle_; }
  void Accept(MessageId message, std::unique_ptr<PostedRecord> record) override;

  // Takes the oldest queued record, waiting at most `timeout` for one. False on time-out.
  bool Pump(MessageId* message, std::unique_ptr<PostedRecord>* record,
            std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::pair<MessageId, std::unique_ptr<PostedRecord>>> queue_;
  TargetHandle handle_ = 0;
};

}  // namespace flashwright
