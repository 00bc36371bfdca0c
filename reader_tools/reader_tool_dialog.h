// What the five reader tool dialogs share: the reader's port and version set by the opener,
// the port held during an operation, and the common controls of their templates (port 1019,
// version 1020, the status line 1018 and "Done" 1).
#pragma once

#include <cstdint>
#include <string>

#include "reader_tools/tool_port_state.h"
#include "windowing/dialog.h"

namespace flashwright {

class CReaderToolDialog : public ui::Dialog {
 public:
  ~CReaderToolDialog() override;

  // Set by the opener before the dialog is shown; they do not change afterwards.
  void SetPort(int port) { state_.SetPort(port); }
  void SetReaderVersion(std::uint32_t version) { state_.SetReaderVersion(version); }
  void SetVersionText(const std::string& text) { state_.SetVersionText(text); }

  int Port() const { return state_.Port(); }
  std::uint32_t ReaderVersion() const { return state_.ReaderVersion(); }
  bool PortHeld() const { return state_.PortHeld(); }

 protected:
  explicit CReaderToolDialog(int template_id) : ui::Dialog(template_id) {}

  // Shows port and version and empties the status line; the dialogs add their own reads.
  void OnInitDialog() override;

  void SetStatusText(const std::string& text);
  // The owner of the dialog's message boxes.
  ui::WindowRef Window() const { return form().Window(); }
  ToolPortState& State() { return state_; }

 private:
  ToolPortState state_;
};

}  // namespace flashwright
