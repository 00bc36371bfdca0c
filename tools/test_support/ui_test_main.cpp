// The main of the tests that make windows: without a display named, the windows are made
// off the screen; the windowing system starts before the first case.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "windowing/event_loop.h"

// The windowing system lives as long as the process and is never taken down, so the leak
// checker of the sanitizer builds finds the font configuration that the toolkit's font
// database holds unreferenced at exit. That one library is left out of the report; every
// other leak still fails the run.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
#if defined(__linux__)
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
  testing::InitGoogleTest(&argc, argv);
  // Death tests fork a process that must start its own copy of the windowing state.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  if (!flashwright::ui::InitWindowing(argc, argv)) {
    std::fprintf(stderr, "no display for the windowing tests\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
