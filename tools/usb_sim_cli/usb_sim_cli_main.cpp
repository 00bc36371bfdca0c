// flashwright-cli-usbsim: flashwright-cli with simulated USB devices in place of the system's
// driver layer, for tests, the demo and the README's sessions. The devices are described in
// the file that FLASHWRIGHT_USBSIM names (see sim_description.h); without it the bus is empty.
// Their EEPROMs are written back to their files when the program ends, so that whoever ran it
// can look at the device afterwards.
#include "app/cli/cli_program.h"
#include "app/cli/signal_watcher.h"
#include "platform/usb_driver_io.h"
#include "tools/usb_sim/simulated_usb.h"
#include "tools/usb_sim_cli/sim_description.h"

int main(int argc, char** argv) {
  // Before any other thread (the simulator's included): every thread inherits the blocked
  // SIGINT.
  flashwright::cli::SignalWatcher watcher;
  return flashwright::usbsim::RunOnSimulatedDevices(
      "flashwright-cli-usbsim", [&](flashwright::usbsim::SimulatedUsbBus& bus) {
        const flashwright::platform::ScopedUsbDriverIo installed(&bus);
        return flashwright::cli::RunCli(argc, argv, &watcher);
      });
}
