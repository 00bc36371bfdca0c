#include "app/windowed_program.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/kindler_app.h"
#include "reader_update/kindler_view.h"
#include "usb_update/ezusb_fw_update_view.h"
#include "windowing/event_loop.h"

namespace flashwright {

int RunWindowedProgram(int argc, char** argv, WindowedProgramHooks* hooks) {
  // The windowing system takes its own options out of argv first.
  if (!ui::InitWindowing(argc, argv)) {
    std::fprintf(stderr, "%s: no display to show the window on\n", argc > 0 ? argv[0] : "flashwright");
    return 1;
  }
  CKindlerApp app;
  app.SetViewFactory(ui::ViewKind::kReader, [] { return std::make_unique<CKindlerView>(); });
  app.SetViewFactory(ui::ViewKind::kUsb, [] { return std::make_unique<CEZUSBFWUpdateView>(); });

  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  if (hooks) hooks->BeforeStart(app);
  if (!app.InitInstance(arguments)) return 1;
  // Hooks go in before the window is first painted.
  if (hooks) hooks->AfterStart(app);
  const int code = ui::RunEventLoop();
  app.ExitInstance();
  return hooks ? hooks->ExitCode(code) : code;
}

}  // namespace flashwright
