// flashwright-cli-usbsim: flashwright-cli with simulated USB devices in place of the system's
// driver layer, for tests, the demo and the README's sessions. The devices are described in
// the file that FLASHWRIGHT_USBSIM names (see sim_description.h); without it the bus is empty.
// Their EEPROMs are written back to their files when the program ends, so that whoever ran it
// can look at the device afterwards.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/cli/cli_program.h"
#include "app/cli/signal_watcher.h"
#include "platform/usb_driver_io.h"
#include "tools/usb_sim/simulated_usb.h"
#include "tools/usb_sim_cli/sim_description.h"

namespace {

constexpr char kProgramName[] = "flashwright-cli-usbsim";
constexpr char kDescriptionVariable[] = "FLASHWRIGHT_USBSIM";
constexpr int kExitBadDescription = 78;  // a configuration error (sysexits' EX_CONFIG)

int Refuse(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgramName, text.c_str());
  return kExitBadDescription;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any other thread (the simulator's included): every thread inherits the blocked
  // SIGINT.
  flashwright::cli::SignalWatcher watcher;

  std::vector<flashwright::usbsim::SimDeviceDescription> devices;
  std::string error;
  if (const char* path = std::getenv(kDescriptionVariable); path != nullptr && *path != '\0') {
    std::ifstream file(path);
    if (!file) return Refuse(std::string("cannot read ") + path);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!flashwright::usbsim::ParseSimDescription(text, &devices, &error)) {
      return Refuse(std::string(path) + ", " + error);
    }
  }

  int status = 0;
  {
    flashwright::usbsim::SimulatedUsbBus bus;
    if (!flashwright::usbsim::SetUpSimDevices(devices, &bus, &error)) return Refuse(error);
    {
      const flashwright::platform::ScopedUsbDriverIo installed(&bus);
      status = flashwright::cli::RunCli(argc, argv, &watcher);
    }
    if (!flashwright::usbsim::SaveSimDevices(devices, &bus, &error)) return Refuse(error);
  }
  return status;
}
