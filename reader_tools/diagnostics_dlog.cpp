#include "reader_tools/diagnostics_dlog.h"

#include <string>
#include <vector>

#include "reader_tools/tag_reads.h"
#include "reader_tools/tool_texts.h"
#include "shell/control_ids.h"
#include "shell/string_table.h"

namespace flashwright {

namespace {

constexpr char kReadContinuously[] = "Read Continuously";
constexpr char kStopReading[] = "Stop Reading";

}  // namespace

CDiagnosticsDlog::CDiagnosticsDlog() : CReaderToolDialog(kIddDiagnostics) {}

CDiagnosticsDlog::~CDiagnosticsDlog() { StopTimer(); }

void CDiagnosticsDlog::OnControl(int control_id, ui::Notification notification) {
  if (notification != ui::Notification::kClicked) return;
  if (control_id == kIdcReadOnce) ReadTagsOnce();
  else if (control_id == kIdcReadContinuously) ToggleContinuousReading();
}

void CDiagnosticsDlog::ReadTagsOnce() {
  ToolOperationScope operation(State());
  ui::Form& controls = form();
  controls.SetRedraw(false);
  controls.ResetContent(kIdcTagList);

  std::vector<std::string> ids;
  ToolResult result = ReadTags(ReaderVersion(), &extra_byte_, &ids);
  if (result != 0) {
    SetStatusText(FormatText(tool_texts::kReaderError, static_cast<long>(result)));
  } else {
    SetStatusText(FormatText(tool_texts::kTagCount, static_cast<int>(ids.size())));
    for (const std::string& id : ids) {
      std::string block;
      ToolResult block_result = ReadBlock0(ReaderVersion(), extra_byte_, id, &block);
      const std::string block_text =
          block_result != 0 ? FormatText(tool_texts::kBlockError, static_cast<long>(block_result))
                            : block;
      controls.AddItem(kIdcTagList, id + tool_texts::kBlock0 + block_text);
    }
  }
  controls.SetRedraw(true);
}

void CDiagnosticsDlog::ToggleContinuousReading() {
  if (timer_id_ == 0) {
    form().SetTimer(kReadTimerId, kReadPeriodMs);
    timer_id_ = kReadTimerId;
    // The port stays open until reading stops.
    State().HoldReaderPort();
    form().SetText(kIdcReadContinuously, kStopReading);
    form().Enable(kIdcReadOnce, false);
  } else {
    StopTimer();
    State().ReleaseReaderPort();
    form().SetText(kIdcReadContinuously, kReadContinuously);
    form().Enable(kIdcReadOnce, true);
  }
}

void CDiagnosticsDlog::OnTimer(int timer_id) {
  // A tick's reads block the event loop; ticks that fall due meanwhile are not queued up.
  if (timer_id == kReadTimerId && timer_id_ != 0) ReadTagsOnce();
}

void CDiagnosticsDlog::StopTimer() {
  if (timer_id_ != 0 && IsOpen()) form().KillTimer(timer_id_);
  timer_id_ = 0;
}

void CDiagnosticsDlog::OnDestroyWindow() {
  StopTimer();
  State().ReleaseReaderPort();
}

}  // namespace flashwright
