// Reply recognition latency and CPU cost of the receive loop, for both wait policies, against
// the reader simulator paced at 19200 baud 8N1. Prints figures; asserts nothing.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "reader_link/reader_link.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace {

using namespace flashwright;
using Clock = std::chrono::steady_clock;

constexpr int kExchanges = 200;

double CpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Figures {
  double median_ms = 0;
  double p99_ms = 0;
  double worst_ms = 0;
  double thread_cpu_ms = 0;   // the calling thread: the receive loop itself
  double process_cpu_ms = 0;  // the whole process, the simulator thread included
  int failures = 0;
};

Figures Measure(sim::ReaderSimulator& reader, WaitPolicy policy) {
  SetWaitPolicy(policy);
  std::vector<double> latencies;
  Figures figures;
  const double thread_start = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  const double process_start = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  for (int i = 0; i < kExchanges; ++i) {
    std::uint32_t version = 0;
    const LinkError error = ReadReaderVersion(&version, nullptr, nullptr);
    const auto recognised = Clock::now();
    if (error != 0) {
      ++figures.failures;
      continue;
    }
    latencies.push_back(
        std::chrono::duration<double, std::milli>(recognised - reader.LastReplyEnd()).count());
  }
  figures.thread_cpu_ms =
      (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread_start) * 1000.0 / kExchanges;
  figures.process_cpu_ms =
      (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process_start) * 1000.0 / kExchanges;
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    figures.median_ms = latencies[latencies.size() / 2];
    figures.p99_ms = latencies[latencies.size() * 99 / 100];
    figures.worst_ms = latencies.back();
  }
  return figures;
}

}  // namespace

int main() {
  test::ScopedPortDir ports;
  sim::ReaderSimOptions options;
  options.paced = true;
  sim::ReaderSimulator reader(options);
  if (!reader.Start(ports.path(), 1) || OpenReaderPort(1) != 0) {
    std::fprintf(stderr, "cannot start the simulated reader\n");
    return 1;
  }
  const Figures waiting = Measure(reader, WaitPolicy::WaitForInput);
  const Figures sleeping = Measure(reader, WaitPolicy::FixedSleep);
  CloseReaderPort();

  std::printf("version query, %d exchanges each, reader paced at 19200 baud 8N1\n", kExchanges);
  std::printf("%-28s %14s %14s\n", "", "wait-for-input", "fixed 20 ms");
  std::printf("%-28s %14.3f %14.3f\n", "recognition median (ms)", waiting.median_ms,
              sleeping.median_ms);
  std::printf("%-28s %14.3f %14.3f\n", "recognition 99th pct (ms)", waiting.p99_ms,
              sleeping.p99_ms);
  std::printf("%-28s %14.3f %14.3f\n", "recognition worst (ms)", waiting.worst_ms,
              sleeping.worst_ms);
  std::printf("%-28s %14.3f %14.3f\n", "CPU per exchange, link (ms)", waiting.thread_cpu_ms,
              sleeping.thread_cpu_ms);
  std::printf("%-28s %14.3f %14.3f\n", "CPU per exchange, all (ms)", waiting.process_cpu_ms,
              sleeping.process_cpu_ms);
  std::printf("%-28s %14d %14d\n", "failed exchanges", waiting.failures, sleeping.failures);
  std::printf("targets: recognition within 2 ms of the last byte (worst %.3f ms: %s), "
              "under 1 ms CPU per exchange (%.3f ms: %s)\n",
              waiting.worst_ms, waiting.worst_ms <= 2.0 ? "met" : "missed",
              waiting.thread_cpu_ms, waiting.thread_cpu_ms < 1.0 ? "met" : "missed");
  std::printf("ratio of median recognition, fixed sleep / wait-for-input: %.1f\n",
              waiting.median_ms > 0 ? sleeping.median_ms / waiting.median_ms : 0.0);
  return 0;
}
