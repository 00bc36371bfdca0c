// flashwright-usbsim: the windowed program with simulated USB devices in place of the system's
// driver layer and hot-plug notices, for the demo and the screenshots (with the test build's hooks). The devices are
// described in the file that FLASHWRIGHT_USBSIM names (see sim_description.h), as for
// flashwright-cli-usbsim; their EEPROMs are written back to their files when the window closes.
#include "app/windowed_program.h"
#include "platform/usb_driver_io.h"
#include "platform/usb_hotplug.h"
#include "tools/usb_sim/simulated_usb.h"
#include "tools/testbuild/test_hooks.h"
#include "tools/usb_sim_cli/sim_description.h"

int main(int argc, char** argv) {
  return flashwright::usbsim::RunOnSimulatedDevices(
      "flashwright-usbsim", [&](flashwright::usbsim::SimulatedUsbBus& bus) {
        const flashwright::platform::ScopedUsbDriverIo installed(&bus);
        const flashwright::platform::ScopedUsbHotplugSource notices(&bus.Hotplug());
        flashwright::EnvironmentTestHooks hooks;
        return flashwright::RunWindowedProgram(argc, argv, &hooks);
      });
}
