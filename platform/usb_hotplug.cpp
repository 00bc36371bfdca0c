#include "platform/usb_hotplug.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace flashwright::platform {

struct UsbHotplugListeners::State {
  // Held while a notice is delivered, so that a registration that goes away waits for it.
  std::mutex mutex;
  std::map<std::uint64_t, UsbHotplugFunction> functions;
  std::uint64_t next_id = 1;
};

namespace {

class ListenerRegistration : public UsbHotplugRegistration {
 public:
  ListenerRegistration(std::shared_ptr<UsbHotplugListeners::State> state, std::uint64_t id,
                       std::function<void()> removed)
      : state_(std::move(state)), id_(id), removed_(std::move(removed)) {}

  ~ListenerRegistration() override {
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->functions.erase(id_);
    }
    if (removed_) removed_();
  }

 private:
  std::shared_ptr<UsbHotplugListeners::State> state_;
  std::uint64_t id_;
  std::function<void()> removed_;
};

std::atomic<UsbHotplugSource*> installed{nullptr};

}  // namespace

UsbHotplugListeners::UsbHotplugListeners() : state_(std::make_shared<State>()) {}

UsbHotplugListeners::~UsbHotplugListeners() = default;

std::unique_ptr<UsbHotplugRegistration> UsbHotplugListeners::Add(UsbHotplugFunction notice,
                                                                 std::function<void()> removed) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const std::uint64_t id = state_->next_id++;
  state_->functions.emplace(id, std::move(notice));
  return std::make_unique<ListenerRegistration>(state_, id, std::move(removed));
}

void UsbHotplugListeners::Announce() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (const auto& entry : state_->functions) {
    if (entry.second) entry.second();
  }
}

std::size_t UsbHotplugListeners::Count() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->functions.size();
}

UsbHotplugSource& CurrentUsbHotplugSource() {
  UsbHotplugSource* source = installed.load();
  return source != nullptr ? *source : SystemUsbHotplugSource();
}

UsbHotplugSource* InstallUsbHotplugSource(UsbHotplugSource* source) {
  return installed.exchange(source);
}

}  // namespace flashwright::platform
