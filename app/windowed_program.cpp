#include "app/windowed_program.h"

#include <QApplication>
#include <string>
#include <vector>

#include "app/kindler_app.h"
#include "app/main_frame.h"
#include "app/test_hooks.h"
#include "reader_update/kindler_view.h"
#include "usb_update/ezusb_fw_update_view.h"

namespace flashwright {

int RunWindowedProgram(int argc, char** argv) {
  // Qt takes its own options (-platform, -style, ...) out of argv first.
  QApplication qt(argc, argv);
  CKindlerApp app;
  app.SetViewFactory(ui::ViewKind::kReader,
                     [](QWidget* parent) { return new CKindlerView(parent); });
  app.SetViewFactory(ui::ViewKind::kUsb,
                     [](QWidget* parent) { return new CEZUSBFWUpdateView(parent); });

  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  // The test hooks go in before the window is first shown and painted.
  if (!app.InitInstance(arguments)) return 1;

  InstallScreenshotHook(app.MainFrame());
  InstallFirstPaintHook(app.MainFrame());
  const int code = qt.exec();
  app.ExitInstance();
  return ScreenshotHookExitCode(code);
}

}  // namespace flashwright
