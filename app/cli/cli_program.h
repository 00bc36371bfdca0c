// The command line of flashwright-cli: its subcommands and options, the checks made before any
// port is opened, and the choice of output.
#pragma once

namespace flashwright::cli {

class SignalWatcher;

// Runs the program and returns its exit status. `watcher` may be null (no Ctrl-C handling).
int RunCli(int argc, char** argv, SignalWatcher* watcher);

}  // namespace flashwright::cli
