// The cable of the simulated devices described with "attached-while FILE": a device is attached
// while its file exists and detached while it does not, so that a test can play the user who
// plugs a device in, or detaches it after an update and attaches it again, while the program
// runs. Attached again, a device is a fresh one at the same place with the EEPROM it had.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "tools/usb_sim/simulated_usb.h"
#include "tools/usb_sim_cli/sim_description.h"

namespace flashwright::usbsim {

class SimAttachWatcher {
 public:
  // Looks at the files until destroyed; nothing to do when no device has one.
  SimAttachWatcher(const std::vector<SimDeviceDescription>& devices, SimulatedUsbBus* bus);
  ~SimAttachWatcher();
  SimAttachWatcher(const SimAttachWatcher&) = delete;
  SimAttachWatcher& operator=(const SimAttachWatcher&) = delete;

 private:
  struct Cable {
    const SimDeviceDescription* description = nullptr;
    bool attached_before = false;  // it was attached once: the next attach is a re-attach
  };

  void Look();

  SimulatedUsbBus* bus_;
  std::vector<Cable> cables_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace flashwright::usbsim
