#include "windowing/ui_check.h"

#include <cstdio>
#include <cstdlib>

namespace flashwright::ui {

void ReportMisuse(const char* what, int id) {
#ifdef NDEBUG
  (void)what;
  (void)id;
#else
  std::fprintf(stderr, "windowing: %s %d\n", what, id);
  std::fflush(stderr);
  std::abort();
#endif
}

}  // namespace flashwright::ui
