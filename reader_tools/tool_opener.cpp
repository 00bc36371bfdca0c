#include "reader_tools/tool_opener.h"

namespace flashwright {

bool IsReaderToolCommand(int command) {
  return command == kCommandDiagnostics ||
         (command >= kCommandPortalAfi && command <= kCommandPowerLevel);
}

bool RunReaderToolDialog(QWidget* /*parent*/, int command, int /*port*/,
                         std::uint32_t /*reader_version*/) {
  // The dialogs are wired in as they land; until then nothing is shown.
  return IsReaderToolCommand(command) && false;
}

}  // namespace flashwright
