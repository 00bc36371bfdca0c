// CPU time of one reader tool exchange with a silent reader (the whole 500 ms limit), for the
// program's exchange, which waits for input, and for a baseline kept here that asks the input
// queue again at once until the limit passes. Both run in this one process against the same
// simulated reader.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "reader_link/transport.h"
#include "reader_tools/portal_afi.h"
#include "reader_tools/tool_transact.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace {

using namespace flashwright;

constexpr unsigned kPort = 7;
constexpr std::uint32_t kReaderVersion = 0x0A04F108;
constexpr int kExchanges = 4;

// User and system time of every thread of the process (the simulator's included).
double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Figures {
  double cpu_ms = 0;
  double wall_ms = 0;
  ToolResult result = 0;
};

// The baseline: the same request, then the input queue asked again and again without waiting.
ToolResult SpinningExchange() {
  const std::vector<std::uint8_t> request = BuildReadPortalAfiRequest();
  LinkError sent = SendBytes(static_cast<std::uint16_t>(request.size()), true, request.data());
  if (sent != 0) return sent;
  const std::uint32_t start_tick = platform::TickCount();
  while (ElapsedMs(start_tick) <= static_cast<std::uint32_t>(kToolTimeLimitMs)) {
    std::uint32_t queued = 0;
    if (LinkError code = QueuedInputCount(ReaderPortHandle(), &queued); code != 0) return code;
    if (queued > 0) return 0;
  }
  return kLinkTimeout;
}

template <typename Exchange>
Figures Measure(Exchange exchange) {
  Figures figures;
  const double cpu_start = ProcessCpuMs();
  const auto wall_start = std::chrono::steady_clock::now();
  for (int i = 0; i < kExchanges; ++i) figures.result = exchange();
  const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - wall_start;
  figures.cpu_ms = (ProcessCpuMs() - cpu_start) / kExchanges;
  figures.wall_ms = wall.count() / kExchanges;
  return figures;
}

}  // namespace

int main() {
  test::ScopedPortDir port_dir;
  sim::ReaderSimulator reader;
  if (!reader.Start(port_dir.path(), kPort)) {
    std::fprintf(stderr, "cannot start the reader simulator\n");
    return 1;
  }
  reader.SetFault(sim::SimFault::NoAnswer);
  if (LinkError opened = OpenReaderPort(kPort); opened != 0) {
    std::fprintf(stderr, "cannot open COM%u: %d\n", kPort, opened);
    return 1;
  }

  const Figures waiting = Measure([] {
    std::uint8_t afi = 0;
    return ReadPortalAfi(kReaderVersion, &afi);
  });
  const Figures spinning = Measure(SpinningExchange);
  CloseReaderPort();

  std::printf("one tool exchange with a silent reader (500 ms limit), mean of %d:\n", kExchanges);
  std::printf("  %-16s %10s %10s %8s\n", "loop", "cpu ms", "wall ms", "result");
  std::printf("  %-16s %10.3f %10.1f %8d\n", "wait for input", waiting.cpu_ms, waiting.wall_ms,
              waiting.result);
  std::printf("  %-16s %10.3f %10.1f %8d\n", "spinning", spinning.cpu_ms, spinning.wall_ms,
              spinning.result);
  const double ratio = spinning.cpu_ms / (waiting.cpu_ms > 0.001 ? waiting.cpu_ms : 0.001);
  std::printf("  cpu time ratio spinning / waiting: %.0f\n", ratio);
  std::printf("  target: waiting loop under 5 ms of cpu per exchange: %s\n",
              waiting.cpu_ms < 5.0 ? "met" : "NOT met");
  return 0;
}
