// Opens the reader tool dialogs from the reader update view's Tools menu: the dialog is made,
// given the reader's port, version and version text, run modally over its owner and destroyed.
// Choosing the port and version (selector, discovery, error boxes) is the view's job.
#pragma once

#include <cstdint>

#include "windowing/window_ref.h"

namespace flashwright {

// True for the five tool commands of the Tools menu (kCmdDiagnostics, kCmdPortalAfi,
// kCmdSecurityMethod, kCmdTransmitMode, kCmdPowerLevel).
bool IsReaderToolCommand(int command);

// Runs the tool dialog of `command` modally, owned by `owner`, on COM `port` for a reader of
// `reader_version` (never 0). Returns false, showing nothing, when `command` is not a tool
// command.
bool RunReaderToolDialog(ui::WindowRef owner, int command, int port,
                         std::uint32_t reader_version);

}  // namespace flashwright
