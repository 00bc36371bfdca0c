// Exit statuses of flashwright-cli, the contract with the scripts that run it.
#pragma once

namespace flashwright::cli {

enum ExitStatus : int {
  kExitSuccess = 0,
  kExitFailed = 1,      // the update or the operation failed; its text is on stderr
  kExitUsage = 2,       // bad arguments; nothing was sent to any reader
  kExitNoReader = 3,    // no reader was found where the command looked for one
  kExitTimeout = 4,     // --wait ran out: the device did not appear (nothing was sent), or
                        // did not answer again after its update
  kExitInterrupted = 130,  // stopped by SIGINT outside an update run
};

}  // namespace flashwright::cli
