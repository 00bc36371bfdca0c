// Opens the reader tool dialogs from the reader update view's Tools menu: the dialog is built
// with its parent, given the reader's port, version and version text, run modally and
// destroyed. Choosing the port and version (selector, discovery, error boxes) is the view's job.
#pragma once

#include <cstdint>

class QWidget;

namespace flashwright {

// Tools menu commands of the reader update view.
inline constexpr int kCommandDiagnostics = 32774;     // "&Diagnostics..."
inline constexpr int kCommandPortalAfi = 32779;       // "&Portal AFI Value..."
inline constexpr int kCommandSecurityMethod = 32780;  // "Q-Series Security Method..."
inline constexpr int kCommandTransmitMode = 32781;    // "RF Transmit Mode..."
inline constexpr int kCommandPowerLevel = 32782;      // "Power Level..."

// True for the five commands above.
bool IsReaderToolCommand(int command);

// Runs the tool dialog of `command` modally on COM `port` for a reader of `reader_version`
// (never 0). Returns false, showing nothing, when `command` is not a tool command.
bool RunReaderToolDialog(QWidget* parent, int command, int port, std::uint32_t reader_version);

}  // namespace flashwright
