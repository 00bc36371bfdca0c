// Start-up of the windowed program to its first painted window (median of several runs, as a
// ratio to a bare Qt window started the same way), and the longest stall of the user-interface
// thread while the view runs an update against the reader simulator.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/tests/support/app_harness.h"
#include "tools/test_support/test_support.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Runs `argv` with `extra_env` and returns the milliseconds until it prints "first paint",
// or a negative value when it does not.
double MillisecondsToFirstPaint(const std::vector<std::string>& argv,
                                const std::vector<std::string>& extra_env) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
  std::vector<std::string> environment(extra_env);
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  std::vector<char*> env_pointers;
  for (std::string& entry : environment) env_pointers.push_back(entry.data());
  env_pointers.push_back(nullptr);
  std::vector<std::string> args(argv);
  std::vector<char*> arg_pointers;
  for (std::string& arg : args) arg_pointers.push_back(arg.data());
  arg_pointers.push_back(nullptr);

  const Clock::time_point start = Clock::now();
  pid_t child = 0;
  const int spawned = posix_spawn(&child, args[0].c_str(), &actions, nullptr, arg_pointers.data(),
                                  env_pointers.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  double elapsed = -1;
  if (spawned == 0) {
    std::string seen;
    char buffer[256];
    ssize_t got;
    while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0) {
      seen.append(buffer, static_cast<std::size_t>(got));
      if (seen.find("first paint") != std::string::npos) {
        elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        break;
      }
    }
    int status = 0;
    waitpid(child, &status, 0);
  }
  close(pipe_ends[0]);
  return elapsed;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
}

// The baseline child: a bare Qt window, reporting its first paint the same way.
class BareWindow : public QWidget {
 protected:
  void paintEvent(QPaintEvent* event) override {
    QWidget::paintEvent(event);
    if (reported_) return;
    reported_ = true;
    std::printf("first paint\n");
    std::fflush(stdout);
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  }

 private:
  bool reported_ = false;
};

int RunBareWindow(int argc, char** argv) {
  QApplication qt(argc, argv);
  BareWindow window;
  window.resize(480, 420);
  window.show();
  return qt.exec();
}

// Ticks every millisecond on the user-interface thread and keeps the longest gap.
class StallMeter : public QObject {
 public:
  StallMeter() {
    connect(&timer_, &QTimer::timeout, this, [this] {
      const qint64 now = clock_.nsecsElapsed();
      longest_ns_ = std::max(longest_ns_, now - last_ns_);
      last_ns_ = now;
    });
  }
  void Start() {
    clock_.start();
    last_ns_ = 0;
    longest_ns_ = 0;
    timer_.start(1);
  }
  double LongestMs() const { return static_cast<double>(longest_ns_) / 1e6; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ns_ = 0;
  qint64 longest_ns_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--bare-window") == 0) return RunBareWindow(argc, argv);

  // Start-up: the real program from its build folder (sample firmware beside it), no ports.
  flashwright::test::TempDir ports;
  flashwright::test::TempDir sysfs;
  const std::vector<std::string> env = {
      "QT_QPA_PLATFORM=offscreen", "FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT=1",
      "FLASHWRIGHT_PORT_DIR=" + ports.path(), "FLASHWRIGHT_SYSFS=" + sysfs.path(),
      "WINEPREFIX=" + sysfs.path()};
  constexpr int kRuns = 7;
  std::vector<double> program_ms;
  std::vector<double> bare_ms;
  for (int i = 0; i < kRuns; ++i) {
    program_ms.push_back(MillisecondsToFirstPaint({FW_PROGRAM_PATH}, env));
    bare_ms.push_back(MillisecondsToFirstPaint({argv[0], "--bare-window"}, env));
  }
  const double program = Median(program_ms);
  const double bare = Median(bare_ms);
  if (program < 0 || bare < 0) {
    std::fprintf(stderr, "startup: a program did not report its first paint\n");
    return 1;
  }
  std::printf("start-up to first painted window: %.1f ms (median of %d), bare Qt window %.1f ms, "
              "ratio %.2f\n",
              program, kRuns, bare, program / bare);

  // The stall: an update of a 32 KiB image through the view, the reader answering at once.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  double longest = 0;
  double run_ms = 0;
  std::size_t records = 0;
  {
    flashwright::test::AppHarness harness;
    harness.AddImage("Bench_Image", 32 * 1024);
    flashwright::sim::ReaderSimulator& reader = harness.AddReader(1);
    if (!harness.Start({"/C", "1", "/P", "none"})) return 1;
    StallMeter meter;
    meter.Start();
    QElapsedTimer run;
    run.start();
    harness.ClickBeginUpdate();
    if (!harness.WaitUntilIdle(120000)) {
      std::fprintf(stderr, "startup: the update did not end\n");
      return 1;
    }
    run_ms = static_cast<double>(run.nsecsElapsed()) / 1e6;
    longest = meter.LongestMs();
    records = reader.Image().size();
  }
  std::printf("update of %zu records: %.0f ms; longest user-interface stall %.1f ms, "
              "ratio to the run %.3f, ratio to a 100 ms frame budget %.2f\n",
              records, run_ms, longest, longest / run_ms, longest / 100.0);
  return 0;
}
