// What every reader tool dialog carries: the reader's port and version as the opener set them,
// and whether the dialog holds the process-wide reader port right now.
#pragma once

#include <cstdint>
#include <string>

namespace flashwright {

// True for readers that know the D6 tool and settings commands (version above 0x0A02FFFF,
// so 3.0.0 of family 0x0A is the first).
bool HasD6Tools(std::uint32_t reader_version);

class ToolPortState {
 public:
  ToolPortState() = default;
  // A state destroyed while holding the port closes it, so no port outlives its dialog.
  ~ToolPortState();
  ToolPortState(const ToolPortState&) = delete;
  ToolPortState& operator=(const ToolPortState&) = delete;

  void SetPort(int port) { port_ = port; }
  int Port() const { return port_; }
  void SetReaderVersion(std::uint32_t version) { reader_version_ = version; }
  std::uint32_t ReaderVersion() const { return reader_version_; }
  void SetVersionText(std::string text) { version_text_ = std::move(text); }
  const std::string& VersionText() const { return version_text_; }

  // Opens the port unless this state already holds it. True when it was already held. The
  // open's result is not looked at: an exchange on a port that did not open ends with -3.
  bool HoldReaderPort();
  // Closes the port if this state holds it.
  void ReleaseReaderPort();
  bool PortHeld() const { return port_held_; }

 private:
  int port_ = 0;
  std::uint32_t reader_version_ = 0;
  std::string version_text_;
  bool port_held_ = false;
};

// Holds the port for the length of one operation and releases it afterwards unless it was
// already held (as during continuous reading).
class ToolOperationScope {
 public:
  explicit ToolOperationScope(ToolPortState& state)
      : state_(state), was_held_(state.HoldReaderPort()) {}
  ~ToolOperationScope() {
    if (!was_held_) state_.ReleaseReaderPort();
  }
  ToolOperationScope(const ToolOperationScope&) = delete;
  ToolOperationScope& operator=(const ToolOperationScope&) = delete;

 private:
  ToolPortState& state_;
  bool was_held_;
};

}  // namespace flashwright
