// flashwright-testbuild: the windowed program with the hooks that the screenshot script and
// the start-up benchmark drive through its environment (see test_hooks.h).
#include "app/windowed_program.h"
#include "tools/testbuild/test_hooks.h"

int main(int argc, char** argv) {
  flashwright::EnvironmentTestHooks hooks;
  return flashwright::RunWindowedProgram(argc, argv, &hooks);
}
