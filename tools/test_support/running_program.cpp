#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "tools/test_support/test_support.h"

extern char** environ;

namespace flashwright::test {
namespace {

using Clock = std::chrono::steady_clock;

// The environment of the child: ours, with each extra "NAME=value" replacing an entry of the
// same name.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra_env) {
  std::vector<std::string> result;
  auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string text = *entry;
    bool replaced = false;
    for (const std::string& extra : extra_env) {
      if (name_of(extra) == name_of(text)) replaced = true;
    }
    if (!replaced) result.push_back(std::move(text));
  }
  result.insert(result.end(), extra_env.begin(), extra_env.end());
  return result;
}

std::vector<char*> PointerArray(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

RunningProgram::~RunningProgram() {
  if (pid_ > 0) {
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  CloseFd(out_fd_);
  CloseFd(err_fd_);
}

bool RunningProgram::Start(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extra_env) {
  if (pid_ > 0 || argv.empty()) return false;
  // Everything the child needs is prepared before fork: after it, only async-signal-safe
  // calls are allowed in a process with threads.
  std::vector<std::string> args = argv;
  std::vector<std::string> env = ChildEnvironment(extra_env);
  std::vector<char*> arg_pointers = PointerArray(args);
  std::vector<char*> env_pointers = PointerArray(env);
  const std::string input = input_file_.empty() ? std::string("/dev/null") : input_file_;

  int out_pipe[2];
  int err_pipe[2];
  int exec_pipe[2];  // carries errno when exec fails; closed by a successful exec
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return false;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return false;
  }
  if (pipe2(exec_pipe, O_CLOEXEC) != 0) {
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
    return false;
  }
  pid_t pid = fork();
  if (pid < 0) {
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1], exec_pipe[0], exec_pipe[1]})
      close(fd);
    return false;
  }
  if (pid == 0) {
    setpgid(0, 0);  // so a time-out can kill whatever the program started too
    int null_fd = open(input.c_str(), O_RDONLY);
    if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    // The test may block signals for its own threads; the program starts with none blocked.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(arg_pointers[0], arg_pointers.data(), env_pointers.data());
    int error = errno;
    ssize_t ignored = write(exec_pipe[1], &error, sizeof error);
    (void)ignored;
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  close(exec_pipe[1]);
  int exec_error = 0;
  ssize_t got;
  do {
    got = read(exec_pipe[0], &exec_error, sizeof exec_error);
  } while (got < 0 && errno == EINTR);
  close(exec_pipe[0]);
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
  pid_ = pid;
  out_.clear();
  err_.clear();
  line_start_ = 0;
  if (got > 0) {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    CloseFd(out_fd_);
    CloseFd(err_fd_);
    return false;
  }
  return true;
}

bool RunningProgram::Pump(int timeout_ms) {
  pollfd fds[2];
  nfds_t count = 0;
  if (out_fd_ >= 0) fds[count++] = {out_fd_, POLLIN, 0};
  if (err_fd_ >= 0) fds[count++] = {err_fd_, POLLIN, 0};
  if (count == 0) return false;
  int ready = poll(fds, count, timeout_ms);
  if (ready < 0 && errno != EINTR) return false;
  for (nfds_t i = 0; ready > 0 && i < count; ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char buffer[4096];
    ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    bool is_out = fds[i].fd == out_fd_;
    if (n <= 0) {
      CloseFd(is_out ? out_fd_ : err_fd_);
    } else {
      (is_out ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
    }
  }
  return out_fd_ >= 0 || err_fd_ >= 0;
}

bool RunningProgram::ReadLine(std::string& line, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    std::size_t end = out_.find('\n', line_start_);
    if (end != std::string::npos) {
      line = out_.substr(line_start_, end - line_start_);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line_start_ = end + 1;
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || out_fd_ < 0) return false;
    Pump(static_cast<int>(left.count()));
  }
}

bool RunningProgram::Signal(int signal_number) const {
  return pid_ > 0 && kill(pid_, signal_number) == 0;
}

ProgramResult RunningProgram::Wait(int timeout_seconds) {
  ProgramResult result;
  if (pid_ <= 0) return result;
  const auto deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
  bool killed = false;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) {
      status = -1;
      break;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      kill(-pid_, SIGKILL);
      kill(pid_, SIGKILL);
      killed = true;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    // Draining the pipes keeps a talkative program from blocking on a full pipe.
    if (!Pump(static_cast<int>(std::min<long>(left.count(), 20)))) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  pid_ = -1;
  // What the program wrote before it ended is still in the pipes (unless a child of it keeps
  // them open, which the short final drain allows for).
  const auto drain_deadline = Clock::now() + std::chrono::seconds(2);
  while ((out_fd_ >= 0 || err_fd_ >= 0) && Clock::now() < drain_deadline) Pump(50);
  CloseFd(out_fd_);
  CloseFd(err_fd_);
  if (!killed && status >= 0 && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  result.out = out_;
  result.err = err_;
  return result;
}

ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extra_env, int timeout_seconds) {
  return RunProgramWithInput(argv, "", extra_env, timeout_seconds);
}

ProgramResult RunProgramWithInput(const std::vector<std::string>& argv,
                                  const std::string& input_file,
                                  const std::vector<std::string>& extra_env,
                                  int timeout_seconds) {
  RunningProgram program;
  program.SetInputFile(input_file);
  if (!program.Start(argv, extra_env)) return {};
  return program.Wait(timeout_seconds);
}

}  // namespace flashwright::test
