// flashwright-cli usb where the program has no access to the USB devices' drivers (the
// Windows build): every usb command says so and changes nothing.
#include "app/cli/exit_status.h"
#include "app/cli/usb_commands.h"

namespace flashwright::cli {
namespace {

constexpr const char* kUsbUnavailable =
    "The usb commands are not available in this build of flashwright-cli: it has no access to "
    "the USB devices' drivers. Use the Linux build for USB devices.";

int Unavailable(EventOutput& output) {
  return output.Outcome(kExitUsage, ui::PaneKind::kError, kUsbUnavailable);
}

}  // namespace

std::string FindUsbImage(const std::vector<std::string>& /*images*/, const std::string& /*name*/) {
  return {};
}

int RunUsbList(EventOutput& output) { return Unavailable(output); }

int RunUsbInfo(int /*device*/, EventOutput& output) { return Unavailable(output); }

int RunUsbUpdate(const UsbUpdateArguments& /*arguments*/, EventOutput& output,
                 SignalWatcher* /*watcher*/) {
  return Unavailable(output);
}

int RunUsbBackup(int /*device*/, const std::string& /*file*/, bool /*force*/,
                 EventOutput& output) {
  return Unavailable(output);
}

}  // namespace flashwright::cli
