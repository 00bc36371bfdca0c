// Hot-plug notices: the delivery shared by the sources (a registration that goes away gets no
// further notice, even one that is being delivered while it goes), and the system's source
// end to end through libusb, against EZ-USB devices plugged into and pulled out of a umockdev
// test bed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/usb_hotplug.h"
#include "tools/usb_mockdev/emulated_ezusb.h"

namespace flashwright::platform {
namespace {

using namespace std::chrono_literals;

// Counts notices from any thread and lets the test wait for them.
class NoticeCounter {
 public:
  UsbHotplugFunction Function() {
    return [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      ++count_;
      changed_.notify_all();
    };
  }
  int Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  bool WaitFor(int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return count_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

TEST(UsbHotplugListenersTest, NoticesReachEveryRegistrationUntilItGoes) {
  UsbHotplugListeners listeners;
  NoticeCounter first;
  NoticeCounter second;
  int removed = 0;
  auto one = listeners.Add(first.Function(), [&] { ++removed; });
  auto two = listeners.Add(second.Function());
  EXPECT_EQ(listeners.Count(), 2u);
  listeners.Announce();
  EXPECT_EQ(first.Count(), 1);
  EXPECT_EQ(second.Count(), 1);

  one.reset();
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(listeners.Count(), 1u);
  listeners.Announce();
  EXPECT_EQ(first.Count(), 1);
  EXPECT_EQ(second.Count(), 2);
}

TEST(UsbHotplugListenersTest, ARegistrationThatGoesWaitsForTheNoticeBeingDelivered) {
  UsbHotplugListeners listeners;
  std::atomic<bool> delivering{false};
  std::atomic<bool> delivered{false};
  auto registration = listeners.Add([&] {
    delivering = true;
    std::this_thread::sleep_for(200ms);
    delivered = true;
  });
  std::thread announcer([&] { listeners.Announce(); });
  while (!delivering) std::this_thread::yield();
  registration.reset();
  // Once the registration is gone its function has finished and never runs again.
  EXPECT_TRUE(delivered);
  delivered = false;
  announcer.join();
  listeners.Announce();
  EXPECT_FALSE(delivered);
}

TEST(UsbHotplugSourceTest, InstalledSourceStandsInForTheSystemsUntilTheScopeEnds) {
  class Recording : public UsbHotplugSource {
   public:
    std::unique_ptr<UsbHotplugRegistration> Register(UsbHotplugFunction notice) override {
      return listeners.Add(std::move(notice));
    }
    UsbHotplugListeners listeners;
  } recording;
  {
    ScopedUsbHotplugSource scope(&recording);
    EXPECT_EQ(&CurrentUsbHotplugSource(), &recording);
  }
  EXPECT_EQ(&CurrentUsbHotplugSource(), &SystemUsbHotplugSource());
}

class LibusbHotplugTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!mockdev::UsbTestbed::Preloaded()) GTEST_SKIP() << "needs umockdev-wrapper";
  }
};

TEST_F(LibusbHotplugTest, PluggingAndPullingADeviceGivesANoticeEach) {
  mockdev::UsbTestbed testbed;
  NoticeCounter notices;
  auto registration = SystemUsbHotplugSource().Register(notices.Function());
  ASSERT_NE(registration, nullptr) << "libusb gives no hot-plug notices under the test bed";

  mockdev::EmulatedEzUsb& device = testbed.AddDevice();
  testbed.Announce(device, "add");
  ASSERT_TRUE(notices.WaitFor(1, 5s));

  const int before = notices.Count();
  testbed.Announce(device, "remove");
  testbed.RemoveDevice(device);
  EXPECT_TRUE(notices.WaitFor(before + 1, 5s));

  // Gone: a device plugged in afterwards is no notice of this registration.
  registration.reset();
  const int after = notices.Count();
  mockdev::EmulatedDeviceProfile other;
  other.address = 3;
  testbed.Announce(testbed.AddDevice(other), "add");
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(notices.Count(), after);
}

}  // namespace
}  // namespace flashwright::platform
