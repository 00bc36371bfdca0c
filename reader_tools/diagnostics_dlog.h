// Diagnostics: lists the tags in the reader's field with block 0 of each, once or every 500 ms
// until stopped. Works with readers of every version; older ones speak D5 in one of two
// variants, which the dialog finds by itself.
#pragma once

#include "reader_tools/reader_tool_dialog.h"

namespace flashwright {

class CDiagnosticsDlog : public CReaderToolDialog {
 public:
  CDiagnosticsDlog();
  ~CDiagnosticsDlog() override;

  // One inventory and a block read per tag; fills the list and the status line.
  void ReadTagsOnce();
  bool ReadingContinuously() const { return timer_id_ != 0; }
  bool ExtraByte() const { return extra_byte_; }

 protected:
  void OnDestroyWindow() override;
  void OnControl(int control_id, ui::Notification notification) override;
  void OnTimer(int timer_id) override;

 private:
  void ToggleContinuousReading();
  void StopTimer();

  static constexpr int kReadTimerId = 1;
  static constexpr int kReadPeriodMs = 500;

  int timer_id_ = 0;
  bool extra_byte_ = true;
};

}  // namespace flashwright
