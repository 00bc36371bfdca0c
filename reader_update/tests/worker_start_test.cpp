// Starting the update worker when memory runs out: whichever allocation of the start fails,
// the job comes back exactly once (from the worker, or completed at once with ENOMEM), and
// nothing is leaked. The allocation failures are made by this program's own operator new.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>

#include <gtest/gtest.h>

#include "platform/posted_messages.h"
#include "reader_update/download_engine.h"

namespace {
// On the armed thread, allocation number `fail_at` (1-based) from arming on throws.
thread_local int allocations_left = 0;
thread_local bool armed = false;

void* Allocate(std::size_t size) {
  if (armed && --allocations_left == 0) {
    armed = false;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

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

    allocations_left = fail_at;
    armed = true;
    const int started = StartUpdateWorker(std::move(job));
    const bool failed_here = !armed && started != 0;
    armed = false;
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
