#include "reader_tools/tests/tool_dialog_fixture.h"

#include <QAbstractButton>
#include <QLineEdit>

#include "platform/serial_port.h"
#include "reader_link/transport.h"
#include "reader_tools/tool_message_box.h"

namespace flashwright::test {
namespace {

std::vector<RecordedBox>& RecordedBoxes() {
  static std::vector<RecordedBox> boxes;
  return boxes;
}

void RecordBox(QWidget*, const QString& caption, const QString& text) {
  RecordedBoxes().push_back({caption, text});
}

}  // namespace

MessageBoxRecorder::MessageBoxRecorder() {
  RecordedBoxes().clear();
  SetToolMessageBoxHook(&RecordBox);
}

MessageBoxRecorder::~MessageBoxRecorder() { SetToolMessageBoxHook(nullptr); }

const std::vector<RecordedBox>& MessageBoxRecorder::Boxes() const { return RecordedBoxes(); }

void MessageBoxRecorder::Clear() { RecordedBoxes().clear(); }

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

QString ControlText(QWidget* dialog, const char* id) {
  QWidget* control = dialog->findChild<QWidget*>(QString::fromLatin1(id));
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  return QStringLiteral("<no control %1>").arg(QString::fromLatin1(id));
}

void Click(QWidget* dialog, const char* id) {
  if (auto* button = FindControl<QAbstractButton>(dialog, id)) button->click();
}

bool PortIsFree() {
  if (ReaderPortHandle() != nullptr) return false;
  std::unique_ptr<platform::SerialPort> port;
  return platform::OpenSerialPort(kSimPort, &port) == 0 && port != nullptr;
}

}  // namespace flashwright::test
