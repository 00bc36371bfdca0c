// A program that ends in the middle of a reader update, for update_exit_test. It starts an
// update of <firmware folder>/<image>.hex on COM<com>, waits for the programming progress note
// of line <line> or later, then ends: "explicit" through EndUpdateWorkersForExit as the
// programs do, "return" by leaving main with the worker still running.
//
// It prints, each on a line of its own:
//   exiting
//   complete result=<r> phase=<p> line=<l> port_open=<0|1>   (from the worker's completion)
//   ended running=<n> port_open=<0|1>                         ("explicit" only)
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/posted_messages.h"
#include "reader_link/transport.h"
#include "reader_update/download_engine.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/update_workers.h"

namespace {

using namespace flashwright;

void PrintLine(const std::string& line) {
  const std::string text = line + "\n";
  ssize_t ignored = ::write(STDOUT_FILENO, text.data(), text.size());
  (void)ignored;
}

// Prints the completion as the worker posts it; tells main when the run got far enough. Never
// destroyed: with "return" the completion comes while the program's statics are going.
class ExitTarget : public PostTarget {
 public:
  explicit ExitTarget(std::uint32_t line) : line_(line) {}

  void Accept(MessageId message, std::unique_ptr<PostedRecord> record) override {
    if (message == ProgramProgressMessage()) {
      const auto* note = dynamic_cast<const ProgressNote*>(record.get());
      if (note != nullptr && note->line >= line_) {
        std::lock_guard lock(mutex_);
        far_enough_ = true;
        changed_.notify_all();
      }
    } else if (message == UpdateCompleteMessage()) {
      auto job = TakeRecord<UpdateJob>(std::move(record));
      if (job == nullptr) return;
      char text[160];
      std::snprintf(text, sizeof text, "complete result=%d phase=%d line=%u port_open=%d",
                    static_cast<int>(job->result), static_cast<int>(job->phase),
                    static_cast<unsigned>(job->line), ReaderPortHandle() != nullptr ? 1 : 0);
      PrintLine(text);
      std::lock_guard lock(mutex_);
      completed_ = true;
      changed_.notify_all();
    }
  }

  // False when the run ended, or did not get there in time.
  bool WaitFarEnough(std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [this] { return far_enough_ || completed_; });
    return far_enough_ && !completed_;
  }

 private:
  const std::uint32_t line_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool far_enough_ = false;
  bool completed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s FOLDER IMAGE COM explicit|return LINE\n", argv[0]);
    return 2;
  }
  SetFirmwareFolder(argv[1]);
  const bool explicit_exit = std::strcmp(argv[4], "explicit") == 0;
  const auto line = static_cast<std::uint32_t>(std::atoi(argv[5]));
  static ExitTarget* const target = new ExitTarget(line);
  const TargetHandle handle = RegisterPostTarget(target);

  auto job = std::make_unique<UpdateJob>();
  job->target = handle;
  job->port = static_cast<std::uint16_t>(std::atoi(argv[3]));
  job->bootloader = 0x0203;
  job->flags = 0x01;
  job->base_name = argv[2];
  if (StartUpdateWorker(std::move(job)) != 0) return 3;
  if (!target->WaitFarEnough(std::chrono::seconds(60))) return 4;

  PrintLine("exiting");
  if (explicit_exit) {
    EndUpdateWorkersForExit(5);
    char text[80];
    std::snprintf(text, sizeof text, "ended running=%zu port_open=%d", RunningUpdateWorkers(),
                  ReaderPortHandle() != nullptr ? 1 : 0);
    PrintLine(text);
  }
  return 0;
}
