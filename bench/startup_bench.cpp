// Start-up of the windowed program to its first painted window (median of several runs, as a
// ratio to a bare Qt window started the same way; beside it the same bare window drawing one
// line of text, and the design's window alone, made through the windowing layer without the
// program, which tell the toolkit's own cost of that window from the program's share), and
// the longest stall of the user-interface thread while the view runs an update against the
// reader simulator: from the first progress record to the end of the completion handler, as a
// ratio to one 60 Hz frame (16 ms). The reader exchanges that Begin Update runs on that thread
// before the worker starts are printed on their own.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tools/app_harness/app_harness.h"
#include "reader_update/download_engine.h"
#include "tools/test_support/test_support.h"
#include "windowing/qt/qt_post_target.h"

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

// The one-minute load average: the stall figures mean little on a busy machine.
double LoadAverage() {
  double load[1] = {-1};
  return getloadavg(load, 1) == 1 ? load[0] : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
}

// The baseline child: a bare Qt window, reporting its first paint the same way. With `text`
// it draws one line of text too, and so reads the system's font configuration before its
// first paint, as every window that shows text does; the bare window reads it only as it ends.
class BareWindow : public QWidget {
 public:
  explicit BareWindow(bool text) : text_(text) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    QWidget::paintEvent(event);
    if (text_) QPainter(this).drawText(rect(), Qt::AlignCenter, QStringLiteral("Flashwright"));
    if (reported_) return;
    reported_ = true;
    std::printf("first paint\n");
    std::fflush(stdout);
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  }

 private:
  bool text_;
  bool reported_ = false;
};

int RunBareWindow(int argc, char** argv, bool text) {
  QApplication qt(argc, argv);
  BareWindow window(text);
  window.resize(480, 420);
  window.show();
  return qt.exec();
}

// The CPU time this thread has used.
qint64 ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Ticks every millisecond on the user-interface thread and keeps the times of the ticks; the
// longest gap between them inside a window of time is the longest stall there. The thread's
// CPU time at each tick tells a stall of the program's own work from one where the system ran
// other processes (on a loaded machine the second kind dominates the wall-clock figure).
class StallMeter : public QObject {
 public:
  StallMeter() {
    connect(&timer_, &QTimer::timeout, this, [this] { ticks_.push_back(Stamp()); });
  }
  void Start() {
    clock_.start();
    ticks_.clear();
    ticks_.reserve(1 << 16);
    timer_.start(1);
  }
  struct Tick {
    qint64 wall_ns;
    qint64 cpu_ns;
  };
  Tick Stamp() const { return {clock_.nsecsElapsed(), ThreadCpuNs()}; }

  struct Stall {
    double wall_ms = 0;  // the longest time without a tick
    double cpu_ms = 0;   // the most CPU time the thread spent between two ticks
  };
  // Within [from, to]; the edges of the window count as ticks.
  Stall LongestStall(Tick from, Tick to) const {
    Tick previous = from;
    qint64 wall = 0;
    qint64 cpu = 0;
    auto take = [&](const Tick& tick) {
      wall = std::max(wall, tick.wall_ns - previous.wall_ns);
      cpu = std::max(cpu, tick.cpu_ns - previous.cpu_ns);
      previous = tick;
    };
    for (const Tick& tick : ticks_) {
      if (tick.wall_ns <= from.wall_ns) continue;
      if (tick.wall_ns >= to.wall_ns) break;
      take(tick);
    }
    take(to);
    return {static_cast<double>(wall) / 1e6, static_cast<double>(cpu) / 1e6};
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  std::vector<Tick> ticks_;
};

// Notes when the view receives the worker's first progress record and when it has finished
// handling the completion.
class RunWatcher : public QObject {
 public:
  explicit RunWatcher(const StallMeter& meter) : meter_(meter) {}
  StallMeter::Tick first_record{-1, 0};
  StallMeter::Tick completed{-1, 0};
  std::size_t records_seen = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    flashwright::ui::PostedRecordEvent* posted = flashwright::ui::PostedRecordEvent::From(event);
    if (!posted) return QObject::eventFilter(watched, event);
    ++records_seen;
    if (first_record.wall_ns < 0) first_record = meter_.Stamp();
    if (posted->message() != flashwright::UpdateCompleteMessage())
      return QObject::eventFilter(watched, event);
    // Let the view run its completion handler, then note the time.
    watched->event(event);
    completed = meter_.Stamp();
    return true;
  }

 private:
  const StallMeter& meter_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--bare-window") == 0)
    return RunBareWindow(argc, argv, false);
  if (argc > 1 && std::strcmp(argv[1], "--bare-window-with-text") == 0)
    return RunBareWindow(argc, argv, true);

  // Start-up: the real program from its build folder (sample firmware beside it), no ports.
  flashwright::test::TempDir ports;
  flashwright::test::TempDir sysfs;
  const std::vector<std::string> env = {
      "QT_QPA_PLATFORM=offscreen", "FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT=1",
      "FLASHWRIGHT_PORT_DIR=" + ports.path(), "FLASHWRIGHT_SYSFS=" + sysfs.path(),
      "WINEPREFIX=" + sysfs.path()};
  // Alternately, so that a change in the machine's load reaches all three alike.
  constexpr int kRuns = 15;
  std::vector<double> program_ms;
  std::vector<double> bare_ms;
  std::vector<double> text_ms;
  std::vector<double> floor_ms;
  for (int i = 0; i < kRuns; ++i) {
    program_ms.push_back(MillisecondsToFirstPaint({FW_PROGRAM_PATH}, env));
    bare_ms.push_back(MillisecondsToFirstPaint({argv[0], "--bare-window"}, env));
    text_ms.push_back(MillisecondsToFirstPaint({argv[0], "--bare-window-with-text"}, env));
    floor_ms.push_back(MillisecondsToFirstPaint({FW_FORM_FLOOR_PATH}, env));
  }
  for (const std::vector<double>* runs : {&program_ms, &bare_ms, &text_ms, &floor_ms}) {
    if (*std::min_element(runs->begin(), runs->end()) < 0) {
      std::fprintf(stderr, "startup: a program did not report its first paint\n");
      return 1;
    }
  }
  const double program = Median(program_ms);
  const double bare = Median(bare_ms);
  const double text = Median(text_ms);
  const double form_floor = Median(floor_ms);
  std::printf("start-up to first painted window: %.1f ms (median of %d), bare Qt window %.1f ms, "
              "ratio %.2f (goal at most 1.30)\n",
              program, kRuns, bare, program / bare);
  std::printf("bare Qt window drawing one line of text (reads the font configuration before its "
              "first paint): %.1f ms, ratio to the bare window %.2f\n",
              text, text / bare);
  std::printf("the design's window alone (frame, basic menu bar, reader form; no program): "
              "%.1f ms, ratio to the bare window %.2f; the program's own share: ratio of the "
              "program to it %.2f\n",
              form_floor, form_floor / bare, program / form_floor);

  // The stall: an update of a 32 KiB image through the view, the reader answering at once.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  constexpr double kFrameMs = 16.0;
  StallMeter::Stall longest;
  double before_worker_ms = 0;
  double run_ms = 0;
  std::size_t records = 0;
  std::size_t notices = 0;
  {
    flashwright::test::AppHarness harness;
    harness.AddImage("Bench_Image", 32 * 1024);
    flashwright::sim::ReaderSimulator& reader = harness.AddReader(1);
    if (!harness.Start({"/C", "1", "/P", "none"})) return 1;
    StallMeter meter;
    RunWatcher watcher(meter);
    qt.installEventFilter(&watcher);
    meter.Start();
    // Begin Update runs its reader exchanges on this thread and returns once the worker runs.
    const StallMeter::Tick click_start = meter.Stamp();
    harness.ClickBeginUpdate();
    before_worker_ms = static_cast<double>(meter.Stamp().wall_ns - click_start.wall_ns) / 1e6;
    if (!harness.WaitUntilIdle(120000) || watcher.first_record.wall_ns < 0 ||
        watcher.completed.wall_ns < 0) {
      std::fprintf(stderr, "startup: the update did not end\n");
      return 1;
    }
    qt.removeEventFilter(&watcher);
    run_ms = static_cast<double>(watcher.completed.wall_ns - click_start.wall_ns) / 1e6;
    longest = meter.LongestStall(watcher.first_record, watcher.completed);
    records = reader.Image().size();
    notices = watcher.records_seen;
  }
  std::printf("update of %zu records: %.0f ms, %zu notices; Begin Update before the worker "
              "starts (reader exchanges on the user-interface thread) %.1f ms\n",
              records, run_ms, notices, before_worker_ms);
  std::printf("longest user-interface stall from the first progress record to the completion: "
              "%.1f ms, ratio to a 16 ms frame %.2f (most CPU time of the thread between two "
              "ticks %.1f ms, ratio %.2f; load average %.2f)\n",
              longest.wall_ms, longest.wall_ms / kFrameMs, longest.cpu_ms,
              longest.cpu_ms / kFrameMs, LoadAverage());
  return 0;
}
