#include "platform/posted_messages.h"

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace flashwright {
namespace {

using namespace std::chrono_literals;

std::atomic<int> g_alive{0};

struct CountedRecord : PostedRecord {
  explicit CountedRecord(int v) : value(v) { ++g_alive; }
  ~CountedRecord() override { --g_alive; }
  int value;
};

TEST(PostingTest, MessagesAreRegisteredOnceByName) {
  const MessageId verify = RegisterPostedMessage("RF_VERIFYPROGRESS");
  EXPECT_NE(verify, 0u);
  EXPECT_EQ(RegisterPostedMessage("RF_VERIFYPROGRESS"), verify);
  EXPECT_NE(RegisterPostedMessage("RF_PROGRAMPROGRESS"), verify);

  // Many threads registering the same new names at once all get the same ids.
  std::vector<std::thread> threads;
  std::vector<MessageId> ids(16);
  for (int t = 0; t < 16; ++t) {
    threads.emplace_back([t, &ids] {
      ids[t] = RegisterPostedMessage(t % 2 ? "TEST_ODD" : "TEST_EVEN");
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::set<MessageId> distinct(ids.begin(), ids.end());
  EXPECT_EQ(distinct.size(), 2u);
  EXPECT_EQ(ids[1], RegisterPostedMessage("TEST_ODD"));
}

TEST(PostingTest, RecordsReachTheTargetInOrderAndAreFreedWhenNoOneTakesThem) {
  const MessageId message = RegisterPostedMessage("TEST_ORDER");
  {
    QueuePostTarget queue;
    ASSERT_NE(queue.handle(), 0u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(PostRecord(queue.handle(), message, std::make_unique<CountedRecord>(i)));
    }
    MessageId got = 0;
    std::unique_ptr<PostedRecord> record;
    ASSERT_TRUE(queue.Pump(&got, &record, 1s));
    EXPECT_EQ(got, message);
    EXPECT_EQ(dynamic_cast<CountedRecord&>(*record).value, 0);
    ASSERT_TRUE(queue.Pump(&got, &record, 1s));
    EXPECT_EQ(dynamic_cast<CountedRecord&>(*record).value, 1);
    record.reset();
    EXPECT_EQ(g_alive, 1);  // one still queued
  }
  EXPECT_EQ(g_alive, 0);  // the queue freed what was left in it

  // No target, a target that is gone, a handle never handed out: freed at once.
  EXPECT_FALSE(PostRecord(0, message, std::make_unique<CountedRecord>(7)));
  TargetHandle gone = 0;
  {
    QueuePostTarget queue;
    gone = queue.handle();
  }
  EXPECT_FALSE(PostRecord(gone, message, std::make_unique<CountedRecord>(8)));
  EXPECT_FALSE(PostRecord(gone + 1000, message, std::make_unique<CountedRecord>(9)));
  EXPECT_EQ(g_alive, 0);

  // A new target never gets the handle of an old one.
  QueuePostTarget later;
  EXPECT_NE(later.handle(), gone);
}

TEST(PostingTest, PumpTimesOutWhenNothingCame) {
  QueuePostTarget queue;
  MessageId got = 0;
  std::unique_ptr<PostedRecord> record;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(queue.Pump(&got, &record, 50ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  EXPECT_EQ(record, nullptr);
}

TEST(PostingTest, PostingRacesWithTheTargetGoingAway) {
  // A worker keeps posting while targets come and go; every record ends freed exactly once.
  const MessageId message = RegisterPostedMessage("TEST_RACE");
  std::atomic<TargetHandle> current{0};
  std::atomic<bool> stop{false};
  std::atomic<int> delivered{0};
  std::thread worker([&] {
    int i = 0;
    while (!stop) {
      if (PostRecord(current.load(), message, std::make_unique<CountedRecord>(i++))) ++delivered;
    }
  });
  for (int round = 0; round < 200; ++round) {
    QueuePostTarget queue;
    current = queue.handle();
    MessageId got = 0;
    std::unique_ptr<PostedRecord> record;
    queue.Pump(&got, &record, 5ms);
    current = 0;
  }
  stop = true;
  worker.join();
  EXPECT_GT(delivered, 0);
  EXPECT_EQ(g_alive, 0);
}

}  // namespace
}  // namespace flashwright
