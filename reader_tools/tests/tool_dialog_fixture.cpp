#include "reader_tools/tests/tool_dialog_fixture.h"

#include "platform/serial_port.h"
#include "reader_link/transport.h"
#include "shell/program_resources.h"
#include "windowing/event_loop.h"
#include "windowing/message_box.h"
#include "windowing/resource_templates.h"

namespace flashwright::test {
namespace {

std::vector<std::function<void(ui::Dialog&)>>& Drivers() {
  static std::vector<std::function<void(ui::Dialog&)>> drivers;
  return drivers;
}

}  // namespace

MessageBoxRecorder::MessageBoxRecorder() {
  ui::SetMessageBoxHandler([this](const ui::MessageBoxRequest& request) {
    boxes_.push_back({request.caption, request.text, request.style});
    return int{ui::kAnswerOk};
  });
}

MessageBoxRecorder::~MessageBoxRecorder() { ui::SetMessageBoxHandler(nullptr); }

SimulatedReader::SimulatedReader(sim::ReaderSimOptions options) : sim_(std::move(options)) {
  started_ = sim_.Start(dir_.path(), kSimPort);
}

std::vector<std::vector<std::uint8_t>> SimulatedReader::NewRequests(
    std::chrono::milliseconds settle) {
  sim_.WaitForRequests(seen_ + 1, settle);
  std::vector<sim::SimRequest> all = sim_.Requests();
  std::vector<std::vector<std::uint8_t>> fresh;
  for (std::size_t i = seen_; i < all.size(); ++i) fresh.push_back(all[i].bytes);
  seen_ = all.size();
  return fresh;
}

std::vector<std::uint8_t> RequestPayload(const std::vector<std::uint8_t>& frame) {
  if (frame.size() < 5) return {};
  return std::vector<std::uint8_t>(frame.begin() + 3, frame.end() - 2);
}

void PushModalDriver(std::function<void(ui::Dialog&)> driver) {
  ui::InstallResources(&ProgramResources());
  if (Drivers().empty()) {
    ui::SetModalDialogHandler([](ui::Dialog& dialog) {
      // A copy: the driver may open a dialog of its own, which pushes another.
      const std::function<void(ui::Dialog&)> innermost = Drivers().back();
      innermost(dialog);
      return dialog.Ended() ? int{ui::kDialogOk} : int{ui::kDialogCancel};
    });
  }
  Drivers().push_back(std::move(driver));
}

void PopModalDriver() {
  Drivers().pop_back();
  if (Drivers().empty()) ui::SetModalDialogHandler(nullptr);
}

int RunModalDriven(ui::Dialog& dialog, std::function<void(ui::Dialog&)> driver) {
  PushModalDriver(std::move(driver));
  const int result = dialog.DoModal();
  PopModalDriver();
  return result;
}

std::vector<std::string> Items(const ui::Form& form, int id) {
  std::vector<std::string> items;
  for (int i = 0; i < form.ItemCount(id); ++i) items.push_back(form.ItemText(id, i));
  return items;
}

const ui::ControlTemplate* ControlOf(const ui::Dialog& dialog, int id) {
  return ui::FindControlTemplate(dialog.form().Template(), id);
}

void Pause(int ms) {
  ui::WaitUntil([] { return false; }, ms);
}

bool PortIsFree() {
  if (ReaderPortHandle() != nullptr) return false;
  std::unique_ptr<platform::SerialPort> port;
  return platform::OpenSerialPort(kSimPort, &port) == 0 && port != nullptr;
}

}  // namespace flashwright::test
