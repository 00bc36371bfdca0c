// The harness's simulated readers, on pseudo-terminals published in the port folder.
#include <cstdio>

#include "tools/app_harness/app_harness.h"

namespace flashwright::test {

sim::ReaderSimulator& AppHarness::AddReader(unsigned com, sim::ReaderSimOptions options) {
  readers_.push_back(std::make_shared<sim::ReaderSimulator>(options));
  if (!readers_.back()->Start(ports_.path(), com)) std::fprintf(stderr, "no pty for COM%u\n", com);
  return *readers_.back();
}

}  // namespace flashwright::test
