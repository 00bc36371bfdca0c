// Shared by the dialog tests: a simulated reader published as a COM port, a recorder in place
// of the message boxes, and ways to find a dialog's controls by their template identifiers.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reader_link/reader_info.h"
#include "reader_tools/reader_tool_dialog.h"
#include "reader_tools/tool_port_state.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright::test {

inline constexpr int kSimPort = 5;
inline constexpr std::uint32_t kOldReader = 0x0A02FFFF;   // the last version without D6 tools
inline constexpr std::uint32_t kFirstD6Reader = 0x0A030000;

struct RecordedBox {
  QString caption;
  QString text;
};

// Replaces the tool message boxes for the scope and keeps what they would have shown.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  const std::vector<RecordedBox>& Boxes() const;
  void Clear();
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

QString ControlText(QWidget* dialog, const char* id);
template <typename Control>
Control* FindControl(QWidget* dialog, const char* id) {
  return dialog->findChild<Control*>(QString::fromLatin1(id));
}

// A dialog as the opener sets it up, shown (so its initialisation has run).
template <typename Dialog>
std::unique_ptr<Dialog> OpenDialog(std::uint32_t reader_version, int port = kSimPort) {
  auto dialog = std::make_unique<Dialog>();
  dialog->SetPort(port);
  dialog->SetReaderVersion(reader_version);
  dialog->SetVersionText(QString::fromStdString(VersionText(reader_version)));
  dialog->show();
  return dialog;
}

// Presses a push button of the dialog.
void Click(QWidget* dialog, const char* id);

// True when no reader port is open in this process and COM5 can be opened by someone else.
bool PortIsFree();

}  // namespace flashwright::test
