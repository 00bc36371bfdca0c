// flashwright-cli on a terminal: the progress bar, and the "Try again?" question after a
// failure while programming, answered by the user at the keyboard.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "app/cli/tests/cli_fixture.h"

namespace flashwright::cli_test {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

// The program with a pseudo-terminal as its stdin, stdout and stderr.
class TerminalProgram {
 public:
  TerminalProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~TerminalProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  bool started() const { return pid_ > 0 && master_ >= 0; }
  const std::string& output() const { return output_; }

  // Reads until `text` has appeared or `timeout_ms` passed.
  bool WaitFor(const std::string& text, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (output_.find(text) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || !ReadSome(static_cast<int>(left))) return false;
    }
    return true;
  }
  void Type(const std::string& text) {
    ssize_t written = write(master_, text.data(), text.size());
    (void)written;
  }
  // Collects the rest of the output and returns the exit status (-1 on time-out).
  int Wait(int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        while (ReadSome(100)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (Clock::now() > deadline) return -1;
      ReadSome(100);
    }
  }

 private:
  bool ReadSome(int timeout_ms) {
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  std::string output_;
};

class CliTerminalTest : public CliTest {};

TEST_F(CliTerminalTest, ABrokenDownloadIsTriedAgainInRecoverModeWhenTheUserSaysYes) {
  sim::ReaderSimulator& reader = StartReader(3);
  const auto image = WriteImage("demo", SmallImage(40));
  reader.SetRecordAckStatus(20, 2);  // refused at line 20

  std::vector<std::string> argv{ProgramPath()};
  for (const std::string& arg : UpdateArgs("3", "demo", {"--tag-types", "none"})) {
    argv.push_back(arg);
  }
  TerminalProgram program(argv, Environment());
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.WaitFor("Try again? [y/N] ", 30000)) << program.output();
  program.Type("y\n");
  const int status = program.Wait(30000);

  EXPECT_EQ(status, 0) << program.output();
  const std::string& out = program.output();
  // The failure is shown with the question, then the new run succeeds.
  EXPECT_THAT(out, HasSubstr("Reader update on COM 3 failed. Check reader power and serial "
                             "cables.\r\n(Err:-8,Line:20)\r\n\r\nTry again?"));
  EXPECT_THAT(out, HasSubstr("Reader firmware on COM 3 successfully updated."));
  // Progress is a bar redrawn in place.
  EXPECT_THAT(out, HasSubstr("\r\x1b[K[#"));
  EXPECT_THAT(out, HasSubstr("% Program Line: 24"));
  EXPECT_THAT(out, HasSubstr("]  99% Program Line: 42...Finishing..."));
  EXPECT_THAT(out, HasSubstr("Verify Line: 8"));
  // The second run went out in recover mode: no second switch into download mode.
  EXPECT_EQ(reader.RequestCount(0x3C), 1u);
  EXPECT_EQ(reader.Image(), AsSimRecords(image));
}

}  // namespace
}  // namespace flashwright::cli_test
