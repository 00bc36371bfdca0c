#include "tools/reader_sim/reader_simulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "tools/reader_sim/intel_hex_writer.h"
#include "tools/reader_sim/line_timing.h"
#include "tools/reader_sim/port_link.h"
#include "tools/reader_sim/pseudo_terminal.h"
#include "tools/reader_sim/reader_model.h"
#include "tools/reader_sim/reply_faults.h"
#include "tools/reader_sim/reply_writer.h"
#include "tools/reader_sim/request_assembler.h"

namespace flashwright::sim {
namespace {

// A request whose bytes stop coming for this long is given up, so that the stream can
// resynchronise on a later start byte.
constexpr auto kStaleRequest = std::chrono::milliseconds(200);
constexpr auto kSplitPause = std::chrono::milliseconds(5);
// How long a hang-up waits for the host to take the last acknowledgement.
constexpr auto kHangUpGrace = std::chrono::seconds(2);
constexpr auto kReplyPassage = std::chrono::milliseconds(50);

}  // namespace

class ReaderSimulator::Impl {
 public:
  explicit Impl(ReaderSimOptions options) : model_(std::move(options)) {}

  bool Start(const std::string& port_dir, unsigned com, const std::string& link_target);
  void Stop();

  // Consumes one use of `fault` when it is the current one.
  bool TakeFault(SimFault fault);
  std::uint8_t AckStatusFromFaults();
  // Makes the simulator thread look at its state again (for a hang-up due now, or Stop).
  void Wake();

  mutable std::mutex mutex_;
  mutable std::condition_variable requests_changed_;
  ReaderModel model_;
  std::vector<SimRequest> requests_;
  std::vector<SimRecord> record_log_;
  SimFault fault_ = SimFault::None;
  int fault_count_ = -1;
  std::map<std::uint8_t, std::vector<std::uint8_t>> overrides_;
  std::map<std::size_t, std::uint8_t> record_status_;
  std::optional<std::size_t> hang_up_after_;  // record frames still to come before it
  bool hang_up_due_ = false;
  // A reply written to the master reaches the host's input queue a moment later, so an empty
  // queue means "taken by the host" only once it was seen filled, or after `hang_up_earliest_`.
  bool hang_up_seen_pending_ = false;
  SimClock::time_point hang_up_earliest_{};
  SimClock::time_point hang_up_deadline_{};
  SimClock::time_point last_reply_end_{};
  std::string slave_path_;
  std::string port_path_;
  std::string line_link_path_;  // the link that names the slave (the port entry or its target)
  std::string extra_link_path_;  // the target link, when the port entry points at one
  std::size_t hang_ups_ = 0;

 private:
  void Run();
  void HandleRequest(const AssembledRequest& request);
  bool HangUp();

  // Owned by the simulator thread while it runs.
  PseudoTerminal pty_;
  RequestAssembler assembler_;
  SimClock::time_point line_busy_until_{};
  SimClock::time_point last_input_{};

  std::thread thread_;
  std::atomic<bool> stop_{false};
  int wake_fd_ = -1;
};

bool ReaderSimulator::Impl::Start(const std::string& port_dir, unsigned com,
                                  const std::string& link_target) {
  if (thread_.joinable()) return false;
  std::error_code error;
  std::filesystem::create_directories(port_dir, error);
  if (!pty_.Open()) return false;
  const std::string port_path = port_dir + "/COM" + std::to_string(com);
  std::string line_link = port_path;
  std::string extra_link;
  if (!link_target.empty()) {
    // The port entry keeps the target's name as given (relative to the port folder, so that a
    // test can give the port a tty name); the target is the link to the slave.
    std::filesystem::path target(link_target);
    if (target.is_relative()) target = std::filesystem::path(port_dir) / target;
    std::filesystem::create_directories(target.parent_path(), error);
    line_link = target.lexically_normal().string();
    extra_link = port_path;
  }
  if (!ReplaceSymlink(line_link, pty_.slave_path()) ||
      (!extra_link.empty() && !ReplaceSymlink(extra_link, link_target))) {
    unlink(line_link.c_str());
    pty_.Close();
    return false;
  }
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) {
    unlink(line_link.c_str());
    if (!extra_link.empty()) unlink(extra_link.c_str());
    pty_.Close();
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    slave_path_ = pty_.slave_path();
    port_path_ = port_path;
    line_link_path_ = line_link;
    extra_link_path_ = extra_link;
  }
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void ReaderSimulator::Impl::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  Wake();
  thread_.join();
  pty_.Close();
  close(wake_fd_);
  wake_fd_ = -1;
  assembler_.Clear();
  std::lock_guard lock(mutex_);
  unlink(line_link_path_.c_str());
  if (!extra_link_path_.empty()) unlink(extra_link_path_.c_str());
  slave_path_.clear();
  port_path_.clear();
  line_link_path_.clear();
  extra_link_path_.clear();
}

void ReaderSimulator::Impl::Wake() {
  if (wake_fd_ < 0) return;
  const std::uint64_t one = 1;
  ssize_t ignored = write(wake_fd_, &one, sizeof one);
  (void)ignored;
}

bool ReaderSimulator::Impl::TakeFault(SimFault fault) {
  if (fault_ != fault || fault == SimFault::None) return false;
  if (fault_count_ > 0 && --fault_count_ == 0) fault_ = SimFault::None;
  return true;
}

std::uint8_t ReaderSimulator::Impl::AckStatusFromFaults() {
  if (TakeFault(SimFault::Busy)) return 0xFE;
  if (TakeFault(SimFault::AckStatus1)) return 1;
  if (TakeFault(SimFault::AckStatus2)) return 2;
  return 0;
}

void ReaderSimulator::Impl::Run() {
  std::uint8_t buffer[4096];
  while (!stop_) {
    bool hang_up_due;
    {
      std::lock_guard lock(mutex_);
      hang_up_due = hang_up_due_;
    }
    int timeout_ms = -1;
    if (hang_up_due) {
      timeout_ms = 2;
    } else if (assembler_.HasPartial()) {
      timeout_ms = 50;
    }
    pollfd fds[2] = {{pty_.master(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    int ready = poll(fds, 2, timeout_ms);
    if (stop_) break;
    if (ready < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) {
      std::uint64_t value;
      ssize_t ignored = read(wake_fd_, &value, sizeof value);
      (void)ignored;
    }
    if (fds[0].revents & POLLIN) {
      ssize_t n = read(pty_.master(), buffer, sizeof buffer);
      if (n > 0) {
        const auto now = SimClock::now();
        last_input_ = now;
        bool paced;
        {
          std::lock_guard lock(mutex_);
          paced = model_.Options().paced;
        }
        if (paced) {
          // The host writes into the pty at once; on the modelled line the bytes follow one
          // another, each complete one byte time after the previous one.
          const auto first_done = std::max(now, line_busy_until_) + ByteTimes(1);
          assembler_.Feed(buffer, static_cast<std::size_t>(n), first_done, ByteTimes(1));
          line_busy_until_ = first_done + ByteTimes(static_cast<std::size_t>(n) - 1);
        } else {
          assembler_.Feed(buffer, static_cast<std::size_t>(n), now, std::chrono::nanoseconds(0));
        }
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // Not expected while our own slave descriptor is open; do not spin if it happens.
      SleepUntil(SimClock::now() + std::chrono::milliseconds(10));
    }
    for (;;) {
      bool download_mode;
      {
        std::lock_guard lock(mutex_);
        download_mode = model_.InDownloadMode();
      }
      std::optional<AssembledRequest> request = assembler_.Next(download_mode);
      if (!request) {
        if (assembler_.HasPartial() && SimClock::now() - last_input_ > kStaleRequest) {
          assembler_.DropFirstByte();
          continue;
        }
        break;
      }
      HandleRequest(*request);
      if (stop_) return;
    }
    // The line goes once the host has taken the last acknowledgement, as when the cable is
    // pulled right after it.
    bool hang_up_now = false;
    {
      std::lock_guard lock(mutex_);
      if (hang_up_due_) {
        const long pending = pty_.PendingForHost();
        const auto now = SimClock::now();
        if (pending > 0) hang_up_seen_pending_ = true;
        hang_up_now = now >= hang_up_deadline_ ||
                      (pending <= 0 && (hang_up_seen_pending_ || now >= hang_up_earliest_));
      }
    }
    if (hang_up_now) HangUp();
  }
}

void ReaderSimulator::Impl::HandleRequest(const AssembledRequest& request) {
  std::vector<std::vector<std::uint8_t>> pieces;
  bool paced;
  bool split;
  {
    std::unique_lock lock(mutex_);
    paced = model_.Options().paced;
    lock.unlock();
    // On a paced line the reader sees the request only once its last byte is through.
    if (paced) SleepUntil(request.complete);
    lock.lock();

    const bool is_record = request.kind == AssembledRequest::Kind::Record;
    requests_.push_back({request.bytes, request.complete, is_record, is_record || request.crc_ok});
    requests_changed_.notify_all();

    ModelReply reply;
    if (is_record) {
      const std::optional<SimRecord> record = ReaderModel::ParseRecordFrame(request.bytes);
      if (!record) return;
      const std::size_t index = record_log_.size();
      record_log_.push_back(*record);
      if (hang_up_after_ && *hang_up_after_ > 0 && --*hang_up_after_ == 0) {
        hang_up_after_.reset();
        hang_up_due_ = true;
        hang_up_seen_pending_ = false;
        hang_up_earliest_ = SimClock::now() + kReplyPassage;
        hang_up_deadline_ = SimClock::now() + kHangUpGrace;
      }
      if (TakeFault(SimFault::NoAnswer)) {
        model_.NoteRecordUnanswered();
        return;
      }
      std::uint8_t status;
      if (auto it = record_status_.find(index); it != record_status_.end()) {
        status = it->second;
      } else {
        status = AckStatusFromFaults();
      }
      reply = model_.HandleRecord(*record, status);
    } else {
      if (!request.crc_ok || model_.InDownloadMode()) return;
      const std::optional<std::uint8_t> command = ReaderModel::CommandOf(request.bytes);
      if (command) {
        if (auto it = overrides_.find(*command); it != overrides_.end()) {
          reply = {ModelReply::Kind::Frame, std::move(it->second)};
          overrides_.erase(it);
          pieces.push_back(std::move(reply.bytes));
        }
      }
      if (pieces.empty()) {
        if (TakeFault(SimFault::NoAnswer)) return;
        const std::uint8_t ack_status =
            ReaderModel::IsEnterDownload(request.bytes) ? AckStatusFromFaults() : 0;
        reply = model_.HandleFrame(request.bytes, ack_status);
        if (reply.kind == ModelReply::Kind::Frame) {
          if (TakeFault(SimFault::BadCrc)) {
            reply.bytes = WithBadCrc(std::move(reply.bytes));
          } else if (TakeFault(SimFault::WrongEcho)) {
            reply.bytes = WithWrongEcho(std::move(reply.bytes));
          }
        }
      }
    }
    if (pieces.empty()) {
      if (reply.kind == ModelReply::Kind::None) return;
      std::vector<std::uint8_t> bytes;
      if (TakeFault(SimFault::GarbageBeforeFrame)) bytes = GarbageBefore(reply.bytes);
      bytes.insert(bytes.end(), reply.bytes.begin(), reply.bytes.end());
      split = TakeFault(SimFault::SplitReplies);
      if (split) {
        pieces = SplitIntoPieces(bytes);
      } else {
        pieces.push_back(std::move(bytes));
      }
    }
  }
  WriteReply(pty_.master(), pieces, paced, kSplitPause, [this](SimClock::time_point at) {
    std::lock_guard lock(mutex_);
    last_reply_end_ = at;
  });
}

bool ReaderSimulator::Impl::HangUp() {
  // The new line is published, and the state says so, before the old one goes: a host that
  // reopens the port as soon as it notices the hang-up already finds the new line.
  PseudoTerminal fresh;
  const bool opened = fresh.Open();
  PseudoTerminal old = std::move(pty_);
  assembler_.Clear();
  {
    std::lock_guard lock(mutex_);
    if (opened) ReplaceSymlink(line_link_path_, fresh.slave_path());
    hang_up_due_ = false;
    ++hang_ups_;
    if (model_.InDownloadMode()) model_.NoteHangUp();
    if (opened) {
      pty_ = std::move(fresh);
      slave_path_ = pty_.slave_path();
    } else {
      slave_path_.clear();
      stop_ = true;  // nothing left to listen on
    }
  }
  old.Close();
  return opened;
}

ReaderSimulator::ReaderSimulator(ReaderSimOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

ReaderSimulator::~ReaderSimulator() { Stop(); }

bool ReaderSimulator::Start(const std::string& port_dir, unsigned com,
                            const std::string& link_target) {
  return impl_->Start(port_dir, com, link_target);
}

void ReaderSimulator::Stop() { impl_->Stop(); }

std::string ReaderSimulator::SlavePath() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->slave_path_;
}

std::string ReaderSimulator::PortPath() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->port_path_;
}

void ReaderSimulator::SetFault(SimFault fault, int count) {
  std::lock_guard lock(impl_->mutex_);
  impl_->fault_ = count == 0 ? SimFault::None : fault;
  impl_->fault_count_ = count;
}

void ReaderSimulator::SetReplyOverride(std::uint8_t command, std::vector<std::uint8_t> bytes) {
  std::lock_guard lock(impl_->mutex_);
  impl_->overrides_[command] = std::move(bytes);
}

void ReaderSimulator::SetCommandStatus(std::uint8_t command, std::uint8_t status) {
  std::lock_guard lock(impl_->mutex_);
  impl_->model_.SetCommandStatus(command, status);
}

void ReaderSimulator::SetRecordAckStatus(std::size_t record_index, std::uint8_t status) {
  std::lock_guard lock(impl_->mutex_);
  impl_->record_status_[record_index] = status;
}

void ReaderSimulator::HangUpAfterRecords(std::size_t records) {
  {
    std::lock_guard lock(impl_->mutex_);
    if (records == 0) {
      impl_->hang_up_after_.reset();
      impl_->hang_up_due_ = true;
      impl_->hang_up_seen_pending_ = false;
      impl_->hang_up_earliest_ = SimClock::now();
      impl_->hang_up_deadline_ = SimClock::now();
    } else {
      impl_->hang_up_after_ = records;
    }
  }
  impl_->Wake();
}

void ReaderSimulator::SetOptions(const ReaderSimOptions& options) {
  std::lock_guard lock(impl_->mutex_);
  impl_->model_.SetOptions(options);
}

ReaderSimOptions ReaderSimulator::Options() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->model_.Options();
}

std::vector<SimRequest> ReaderSimulator::Requests() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->requests_;
}

std::size_t ReaderSimulator::RequestCount(std::uint8_t command) const {
  std::lock_guard lock(impl_->mutex_);
  std::size_t count = 0;
  for (const SimRequest& request : impl_->requests_) {
    if (request.is_record || !request.crc_ok) continue;
    if (ReaderModel::CommandOf(request.bytes) == command) ++count;
  }
  return count;
}

std::vector<SimRecord> ReaderSimulator::Image() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->model_.Image();
}

std::vector<SimRecord> ReaderSimulator::RecordLog() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->record_log_;
}

bool ReaderSimulator::InDownloadMode() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->model_.InDownloadMode();
}

std::string ReaderSimulator::ImageAsIntelHex() const { return FormatIntelHex(Image()); }

bool ReaderSimulator::WriteIntelHex(const std::string& path) const {
  // Written beside the target and renamed, so a reader of the file never sees half an image.
  const std::string temporary = path + ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << ImageAsIntelHex();
    out.close();
    if (!out) {
      unlink(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::chrono::steady_clock::time_point ReaderSimulator::LastReplyEnd() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->last_reply_end_;
}

bool ReaderSimulator::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex_);
  return impl_->requests_changed_.wait_for(lock, timeout,
                                           [&] { return impl_->requests_.size() >= count; });
}

std::vector<std::vector<SimRecord>> ReaderSimulator::CompletedImages() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->model_.CompletedImages();
}

std::size_t ReaderSimulator::CompletedDownloads() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->model_.CompletedImages().size();
}

std::size_t ReaderSimulator::HangUps() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->hang_ups_;
}

}  // namespace flashwright::sim
