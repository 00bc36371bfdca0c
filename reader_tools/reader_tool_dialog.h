// What the five reader tool dialogs share: the reader's port and version set by the opener,
// the port held during an operation, and the common controls (port 1019, version 1020, the
// status line 1018 and "Done" 1). Controls carry their template identifiers as object names.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

#include "reader_tools/tool_port_state.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace flashwright {

class CReaderToolDialog : public QDialog {
  Q_OBJECT

 public:
  ~CReaderToolDialog() override;

  // Set by the opener before the dialog is shown; they do not change afterwards.
  void SetPort(int port) { state_.SetPort(port); }
  void SetReaderVersion(std::uint32_t version) { state_.SetReaderVersion(version); }
  void SetVersionText(const QString& text) { state_.SetVersionText(text.toStdString()); }

  int Port() const { return state_.Port(); }
  std::uint32_t ReaderVersion() const { return state_.ReaderVersion(); }
  bool PortHeld() const { return state_.PortHeld(); }

  // The dialog initialisation runs when the dialog is first shown, before it appears.
  void setVisible(bool visible) override;
  // Every way of closing ends here; the dialog's window destruction runs first.
  void done(int result) override;

 protected:
  CReaderToolDialog(QWidget* parent, const QString& title, bool system_menu);

  // Shows port and version and empties the status line; the dialogs add their own reads.
  virtual void OnInitDialog();
  // The settings dialogs hold nothing between operations and leave this empty.
  virtual void DestroyWindow() {}

  // Where a dialog places its own controls, between the port/version row and the status line.
  QVBoxLayout* Body() const { return body_; }
  void SetStatusText(const QString& text);
  void SetStatusText(const std::string& text) { SetStatusText(QString::fromStdString(text)); }
  ToolPortState& State() { return state_; }

 private:
  ToolPortState state_;
  QLabel* port_text_;
  QLabel* version_text_;
  QLabel* status_;
  QPushButton* done_;
  QVBoxLayout* body_;
  bool initialised_ = false;
};

}  // namespace flashwright
