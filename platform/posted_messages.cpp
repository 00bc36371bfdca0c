#include "platform/posted_messages.h"

#include <map>
#include <string>

namespace flashwright {
namespace {

// Message ids start where the system's registered window messages start.
constexpr MessageId kFirstMessageId = 0xC000;

struct MessageRegistry {
  std::mutex mutex;
  std::map<std::string, MessageId> ids;
};

MessageRegistry& Messages() {
  static MessageRegistry registry;
  return registry;
}

struct TargetTable {
  std::mutex mutex;
  std::map<TargetHandle, PostTarget*> targets;
  TargetHandle next = 1;
};

TargetTable& Targets() {
  static TargetTable table;
  return table;
}

}  // namespace

MessageId RegisterPostedMessage(const char* name) {
  MessageRegistry& registry = Messages();
  std::lock_guard<std::mutex> lock(registry.mutex);
  const std::string key = name ? name : "";
  const auto found = registry.ids.find(key);
  if (found != registry.ids.end()) return found->second;
  const MessageId id = kFirstMessageId + static_cast<MessageId>(registry.ids.size());
  registry.ids.emplace(key, id);
  return id;
}

TargetHandle RegisterPostTarget(PostTarget* target) {
  if (target == nullptr) return 0;
  TargetTable& table = Targets();
  std::lock_guard<std::mutex> lock(table.mutex);
  const TargetHandle handle = table.next++;
  table.targets.emplace(handle, target);
  return handle;
}

void UnregisterPostTarget(TargetHandle handle) {
  TargetTable& table = Targets();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.targets.erase(handle);
}

bool PostRecord(TargetHandle target, MessageId message, std::unique_ptr<PostedRecord> record) {
  if (target == 0) return false;  // `record` is freed on return
  TargetTable& table = Targets();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto found = table.targets.find(target);
  if (found == table.targets.end()) return false;
  // Under the lock, so that a target cannot be unregistered and destroyed while it accepts.
  found->second->Accept(message, std::move(record));
  return true;
}

QueuePostTarget::QueuePostTarget() : handle_(RegisterPostTarget(this)) {}

QueuePostTarget::~QueuePostTarget() { UnregisterPostTarget(handle_); }

void QueuePostTarget::Accept(MessageId message, std::unique_ptr<PostedRecord> record) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.emplace_back(message, std::move(record));
  }
  arrived_.notify_one();
}

bool QueuePostTarget::Pump(MessageId* message, std::unique_ptr<PostedRecord>* record,
                           std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!arrived_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return false;
  *message = queue_.front().first;
  *record = std::move(queue_.front().second);
  queue_.pop_front();
  return true;
}

}  // namespace flashwright
