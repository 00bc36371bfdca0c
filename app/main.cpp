// The windowed program.
#include <QApplication>
#include <string>
#include <vector>

#include "app/kindler_app.h"
#include "app/main_frame.h"
#include "app/screenshot_hook.h"
#include "app/usb_view_placeholder.h"
#include "reader_update/kindler_view.h"

int main(int argc, char** argv) {
  // Qt takes its own options (-platform, -style, ...) out of argv first.
  QApplication qt(argc, argv);
  flashwright::CKindlerApp app;
  app.SetViewFactory(flashwright::ui::ViewKind::kReader,
                     [](QWidget* parent) { return new flashwright::CKindlerView(parent); });
  app.SetViewFactory(flashwright::ui::ViewKind::kUsb,
                     [](QWidget* parent) { return new flashwright::CUsbViewPlaceholder(parent); });

  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  // The test hooks go in before the window is first shown and painted.
  if (!app.InitInstance(arguments)) return 1;

  flashwright::InstallScreenshotHook(app.MainFrame());
  flashwright::InstallFirstPaintHook(app.MainFrame());
  const int code = qt.exec();
  app.ExitInstance();
  return flashwright::ScreenshotHookExitCode(code);
}
