// The start-up benchmarks' second baseline: the windowed program's first window and nothing
// else. The frame with the basic menu bar and the reader update form (template 101, every
// control of it), made through the windowing layer as the program makes them, shown, and
// ended after its first paint, reported as flashwright-testbuild reports it. None of the
// program's own work happens: no document or view, no command line, no port or firmware
// listing, no reader query, no layout of the basic view.
//
// Against the bare window it tells what the toolkit itself costs to show the design's window;
// the program against it tells the program's own share.
#include <cstdio>
#include <memory>

#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "shell/program_resources.h"
#include "windowing/backend.h"
#include "windowing/event_loop.h"
#include "windowing/resource_templates.h"
#include "windowing/window_picture.h"

namespace {

using namespace flashwright;

class NoFrameEvents : public ui::FrameEvents {
 public:
  void OnMenuCommand(int) override {}
  ui::CommandState OnUpdateCommand(int command_id) override { return ui::CommandState(command_id); }
  bool OnCloseRequest() override { return true; }
  void OnMinimizedChanged(bool) override {}
  void OnDeviceChange(unsigned, std::uintptr_t) override {}
};

class NoFormEvents : public ui::FormEvents {
 public:
  void OnNotify(int, ui::Notification) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (!ui::InitWindowing(argc, argv)) {
    std::fprintf(stderr, "startup-form-floor: no display to show the window on\n");
    return 1;
  }
  ui::InstallResources(&ProgramResources());
  const ui::DialogTemplate* form_template = ui::FindDialogTemplate(kIddReaderUpdateForm);
  if (form_template == nullptr) return 1;
  NoFrameEvents frame_events;
  NoFormEvents form_events;
  std::unique_ptr<ui::FrameWindow> frame = ui::CreateFrameWindow(frame_events);
  std::unique_ptr<ui::Form> form =
      ui::CreateChildForm(*form_template, frame->ClientArea(), form_events);
  if (!form || !frame->LoadMenu(kMenuBasic)) return 1;
  frame->FitClientArea(form_template->width, form_template->height, true);
  frame->SetTitle("Flashwright");
  frame->Show();
  ui::CallAfterFirstPaint(frame->Window(), [] {
    std::printf("first paint\n");
    std::fflush(stdout);
    ui::QuitEventLoop(0);
  });
  const int code = ui::RunEventLoop();
  form.reset();
  frame.reset();
  return code;
}
