// Diagnostics: lists the tags in the reader's field with block 0 of each, once or every 500 ms
// until stopped. Works with readers of every version; older ones speak D5 in one of two
// variants, which the dialog finds by itself.
#pragma once

#include <QTimer>

#include "reader_tools/reader_tool_dialog.h"

class QListWidget;
class QPushButton;

namespace flashwright {

class CDiagnosticsDlog : public CReaderToolDialog {
  Q_OBJECT

 public:
  explicit CDiagnosticsDlog(QWidget* parent = nullptr);
  ~CDiagnosticsDlog() override;

  // One inventory and a block read per tag; fills the list and the status line.
  void ReadTagsOnce();
  bool ReadingContinuously() const { return timer_id_ != 0; }
  bool ExtraByte() const { return extra_byte_; }

 protected:
  void DestroyWindow() override;

 private:
  void ToggleContinuousReading();
  void OnTimer();
  void StopTimer();

  static constexpr unsigned kReadTimerId = 1;
  static constexpr int kReadPeriodMs = 500;

  QTimer timer_;
  unsigned timer_id_ = 0;
  bool extra_byte_ = true;
  QListWidget* tags_;
  QPushButton* read_once_;
  QPushButton* read_continuously_;
};

}  // namespace flashwright
