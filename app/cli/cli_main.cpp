// flashwright-cli: reader firmware updates and reader tools from a terminal or a script.
#include "app/cli/cli_program.h"
#include "app/cli/signal_watcher.h"
#include "reader_update/update_workers.h"

int main(int argc, char** argv) {
  // Before any other thread: every thread inherits the blocked SIGINT.
  flashwright::cli::SignalWatcher watcher;
  const int status = flashwright::cli::RunCli(argc, argv, &watcher);
  // The program never ends under an update worker (its completion arrives just before the
  // thread is done).
  flashwright::EndUpdateWorkersForExit(status);
  return status;
}
