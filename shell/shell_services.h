// What the views and dialogs of the subsystems may ask of the application shell: the
// process-wide busy flag, the run options the command line set, and the main frame's title,
// menu set and view mode. The shell provides the one instance of the process; the subsystems
// see nothing else of the application object or the frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/run_options.h"

namespace flashwright {

class ShellServices {
 public:
  virtual ~ShellServices() = default;

  // The process-wide busy flag: set while an update runs.
  virtual bool IsBusy() const = 0;
  virtual void SetBusy(bool busy) = 0;

  // The run options of the command line.
  virtual const RunOptions& Options() const = 0;
  virtual bool GetPortOption(std::int32_t* port) const = 0;
  virtual bool GetReaderFirmwareOption(std::string* file) const = 0;
  virtual bool GetTagTypeOption(std::uint8_t* tag_type) const = 0;
  virtual bool GetUsbFirmwareOption(std::string* file) const = 0;
  virtual const std::vector<std::string>& UsbMarkers() const = 0;
  // -1 too old, +1 too new, 0 acceptable, against the option lists.
  virtual int CheckReaderVersion(std::uint32_t version) const = 0;

  // The main frame: menu set, basic or advanced view per device, title and its percentage.
  virtual void LoadMenuSet(int menu_id) = 0;
  virtual int IsAdvanced(int command) = 0;
  virtual void SetAdvanced(int value, int command) = 0;
  virtual void CheckMenuItem(int command_id, bool checked) = 0;
  virtual void SetTitleCommand(int command) = 0;
  virtual void SetTitleProgress(int command, std::int16_t percentage) = 0;
};

// The shell of the process, or nullptr before it exists.
ShellServices* Shell();
// The application object installs itself (and removes itself with nullptr); tests may install
// a shell of their own.
void SetShell(ShellServices* shell);

}  // namespace flashwright
