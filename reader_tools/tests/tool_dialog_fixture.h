// Shared by the dialog tests: a simulated reader published as a COM port, a recorder in place
// of the message boxes, and the dialogs opened as the opener does, driven through their
// controls by template identifier while the modal call is answered by the test.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "reader_link/reader_info.h"
#include "reader_tools/reader_tool_dialog.h"
#include "reader_tools/tool_port_state.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"
#include "windowing/dialog.h"
#include "windowing/form.h"

namespace flashwright::test {

inline constexpr int kSimPort = 5;
inline constexpr std::uint32_t kOldReader = 0x0A02FFFF;   // the last version without D6 tools
inline constexpr std::uint32_t kFirstD6Reader = 0x0A030000;

struct RecordedBox {
  std::string caption;
  std::string text;
  unsigned style = 0;
};

// Answers the message boxes for the scope with OK and keeps what they would have shown.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
  const std::vector<RecordedBox>& Boxes() const { return boxes_; }
  void Clear() { boxes_.clear(); }

 private:
  std::vector<RecordedBox> boxes_;
};

// A reader simulator on COM5 of a fresh port folder.
class SimulatedReader {
 public:
  explicit SimulatedReader(sim::ReaderSimOptions options = {});
  bool Started() const { return started_; }
  sim::ReaderSimulator& Sim() { return sim_; }

  // Requests that arrived since the last call (waits up to `settle` for stragglers first).
  std::vector<std::vector<std::uint8_t>> NewRequests(
      std::chrono::milliseconds settle = std::chrono::milliseconds(50));

 private:
  ScopedPortDir dir_;
  sim::ReaderSimulator sim_;
  bool started_ = false;
  std::size_t seen_ = 0;
};

// The payload of a D6 request frame (command byte and parameters, without length and CRC),
// or of a D5 one (from its 03 00 on).
std::vector<std::uint8_t> RequestPayload(const std::vector<std::uint8_t>& frame);

// Installs the program's templates and answers every modal call with the innermost driver
// that RunModalDriven has pushed; dialogs opened while another is being driven nest.
void PushModalDriver(std::function<void(ui::Dialog&)> driver);
void PopModalDriver();

// Runs `dialog` modally with `driver` in place of the user: the driver gets it open and
// initialised. Returns the modal call's result.
int RunModalDriven(ui::Dialog& dialog, std::function<void(ui::Dialog&)> driver);

// A dialog as the opener sets it up, open while `driver` reads and drives it.
template <typename D>
void WithDialog(std::uint32_t reader_version, const std::function<void(D&)>& driver,
                int port = kSimPort) {
  D dialog;
  dialog.SetPort(port);
  dialog.SetReaderVersion(reader_version);
  dialog.SetVersionText(VersionText(reader_version));
  RunModalDriven(dialog, [&driver](ui::Dialog& open) { driver(static_cast<D&>(open)); });
}

// The lines of a list box or the items of a drop-down list.
std::vector<std::string> Items(const ui::Form& form, int id);

// The template control `id` of the open dialog.
const ui::ControlTemplate* ControlOf(const ui::Dialog& dialog, int id);

// Runs the event loop for `ms` milliseconds.
void Pause(int ms);

// True when no reader port is open in this process and COM5 can be opened by someone else.
bool PortIsFree();

}  // namespace flashwright::test
