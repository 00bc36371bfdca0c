// Starting the update worker when memory runs out: whichever allocation of the start fails,
// the job comes back exactly once (from the worker, or completed at once with ENOMEM), and
// nothing is leaked.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "platform/posted_messages.h"
#include "reader_update/download_engine.h"
#include "tools/test_support/failing_allocation.h"

namespace flashwright {
namespace {

using namespace std::chrono_literals;

TEST(WorkerStart, EveryFailingAllocationStillCompletesTheJobOnce) {
  UpdateCompleteMessage();  // registered before any allocation is made to fail
  VerifyProgressMessage();
  ProgramProgressMessage();
  bool failure_seen = false;
  for (int fail_at = 1; fail_at <= 12; ++fail_at) {
    QueuePostTarget queue;
    auto job = std::make_unique<UpdateJob>();
    job->target = queue.handle();
    job->port = 0;  // no port: a started worker ends at once
    job->base_name = "Reader";

    test::FailAllocationOnThisThread(fail_at);
    const int started = StartUpdateWorker(std::move(job));
    const bool failed_here = test::AllocationFailureHappened() && started != 0;
    if (started != 0) {
      EXPECT_EQ(started, ENOMEM) << "allocation " << fail_at;
      failure_seen = true;
    }

    int completions = 0;
    MessageId message = 0;
    std::unique_ptr<PostedRecord> record;
    while (queue.Pump(&message, &record, completions == 0 ? 10s : 300ms)) {
      if (message != UpdateCompleteMessage()) continue;
      auto done = TakeRecord<UpdateJob>(std::move(record));
      ASSERT_NE(done, nullptr);
      ++completions;
      if (failed_here) {
        EXPECT_EQ(done->result, ENOMEM);
        EXPECT_TRUE(done->failed_in_check);
        EXPECT_EQ(done->phase, kPhasePortNotOpen);
      }
    }
    EXPECT_EQ(completions, 1) << "allocation " << fail_at;
  }
  // At least the thread's own start record was among the allocations made to fail.
  EXPECT_TRUE(failure_seen);
}

}  // namespace
}  // namespace flashwright
