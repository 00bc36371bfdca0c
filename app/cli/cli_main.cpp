// flashwright-cli: reader firmware updates and reader tools from a terminal or a script.
#include "app/cli/cli_program.h"
#include "app/cli/signal_watcher.h"

int main(int argc, char** argv) {
  // Before any other thread: every thread inherits the blocked SIGINT.
  flashwright::cli::SignalWatcher watcher;
  return flashwright::cli::RunCli(argc, argv, &watcher);
}
