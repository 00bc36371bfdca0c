#include "reader_update/update_workers.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <list>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posted_messages.h"
#include "reader_link/transport.h"
#include "reader_update/download_engine.h"
#include "reader_update/firmware_folder.h"

namespace flashwright {
namespace {

struct Worker {
  std::thread thread;
  bool ended = false;
};

struct RunningWorkers {
  RunningWorkers();

  std::mutex mutex;
  std::condition_variable ended;
  std::list<Worker> workers;  // a node never moves, so a thread can mark its own entry
  std::atomic<bool> stop{false};
};

void StopAtProgramExit() { EndUpdateWorkersForExit(EXIT_FAILURE); }

RunningWorkers::RunningWorkers() {
  // What a worker uses is made now, before the exit handler is registered, so that it is torn
  // down only after the handler has waited for the workers: the reader port, the firmware
  // folder, the messages and the target table.
  ReaderPortHandle();
  FirmwareFolder();
  VerifyProgressMessage();
  ProgramProgressMessage();
  UpdateCompleteMessage();
  UnregisterPostTarget(0);
  // For a program that leaves main without EndUpdateWorkersForExit (or calls exit).
  std::atexit(StopAtProgramExit);
}

// Never destroyed: a worker may still mark its entry while the program's statics go.
RunningWorkers& Workers() {
  static RunningWorkers* workers = new RunningWorkers;
  return *workers;
}

// Takes the entries of ended workers out of the list; their threads are then joined outside
// the lock (each has left its last touch of the list behind). Without memory for the list of
// threads the entries stay for a later call: a thread that has been moved must not be lost.
std::vector<std::thread> TakeEnded(RunningWorkers& workers) {
  std::vector<std::thread> ended;
  std::size_t count = 0;
  for (const Worker& worker : workers.workers) count += worker.ended ? 1 : 0;
  if (count == 0) return ended;
  try {
    ended.reserve(count);
  } catch (const std::bad_alloc&) {
    return ended;
  }
  for (auto it = workers.workers.begin(); it != workers.workers.end();) {
    if (it->ended) {
      ended.push_back(std::move(it->thread));
      it = workers.workers.erase(it);
    } else {
      ++it;
    }
  }
  return ended;
}

void JoinAll(std::vector<std::thread>* threads) {
  for (std::thread& thread : *threads) {
    if (thread.joinable()) thread.join();
  }
}

void RunWorker(UpdateJob* job, Worker* entry) {
  if (job->is_package) {
    PackageWorker(job);
  } else {
    ImageWorker(job);
  }
  RunningWorkers& workers = Workers();
  std::lock_guard lock(workers.mutex);
  entry->ended = true;
  workers.ended.notify_all();
}

}  // namespace

bool UpdateStopRequested() { return Workers().stop.load(); }

std::size_t RunningUpdateWorkers() {
  RunningWorkers& workers = Workers();
  std::lock_guard lock(workers.mutex);
  std::size_t running = 0;
  for (const Worker& worker : workers.workers) running += worker.ended ? 0 : 1;
  return running;
}

bool StopUpdateWorkers(std::chrono::milliseconds limit) {
  RunningWorkers& workers = Workers();
  std::vector<std::thread> ended;
  bool none_left;
  {
    std::unique_lock lock(workers.mutex);
    workers.stop.store(true);
    none_left = workers.ended.wait_for(lock, limit, [&workers] {
      for (const Worker& worker : workers.workers) {
        if (!worker.ended) return false;
      }
      return true;
    });
    ended = TakeEnded(workers);
    if (none_left) workers.stop.store(false);
  }
  JoinAll(&ended);
  return none_left;
}

void EndUpdateWorkersForExit(int status) {
  if (!StopUpdateWorkers()) std::_Exit(status);
}

int StartUpdateWorker(std::unique_ptr<UpdateJob> job) {
  if (job == nullptr) return EINVAL;
  int code = 0;
  // The job stays with this function until a thread has it: whatever keeps the thread from
  // starting (no thread, no memory for its start or its entry, the program on its way out),
  // the job is completed here, once.
  try {
    RunningWorkers& workers = Workers();
    std::vector<std::thread> ended;
    {
      std::lock_guard lock(workers.mutex);
      ended = TakeEnded(workers);
      if (workers.stop.load()) {
        code = kErrorRunStopped;
      } else {
        auto entry = workers.workers.emplace(workers.workers.end());
        UpdateJob* handed = job.get();
        Worker* marked = &*entry;
        try {
          // The thread marks its entry under the lock held here, so the entry is complete
          // before it can be marked.
          entry->thread = std::thread([handed, marked] { RunWorker(handed, marked); });
        } catch (...) {
          workers.workers.erase(entry);
          throw;
        }
        job.release();
      }
    }
    JoinAll(&ended);
    if (code == 0) return 0;
  } catch (const std::system_error& failure) {
    code = failure.code().value() != 0 ? failure.code().value() : EAGAIN;
  } catch (const std::bad_alloc&) {
    code = ENOMEM;
  }
  job->result = code;
  job->failed_in_check = true;
  job->phase = kPhasePortNotOpen;
  job->line = 0;
  const TargetHandle target = job->target;
  PostRecord(target, UpdateCompleteMessage(), std::unique_ptr<PostedRecord>(job.release()));
  return code;
}

}  // namespace flashwright
