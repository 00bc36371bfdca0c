#include "reader_tools/tool_port_state.h"

#include "reader_link/commands.h"
#include "reader_link/transport.h"

namespace flashwright {

bool HasD6Tools(std::uint32_t reader_version) {
  return reader_version > kSettingsVersionFloor;
}

ToolPortState::~ToolPortState() { ReleaseReaderPort(); }

bool ToolPortState::HoldReaderPort() {
  if (port_held_) return true;
  OpenReaderPort(static_cast<std::uint16_t>(port_ & 0xFFFF));
  port_held_ = true;
  return false;
}

void ToolPortState::ReleaseReaderPort() {
  if (!port_held_) return;
  CloseReaderPort();
  port_held_ = false;
}

}  // namespace flashwright
