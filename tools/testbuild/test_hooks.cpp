#include "tools/testbuild/test_hooks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/kindler_app.h"
#include "app/main_frame.h"
#include "shell/control_ids.h"
#include "windowing/event_loop.h"
#include "windowing/window_picture.h"

namespace flashwright {

namespace {

int hook_exit_code = -1;

bool EnvironmentIs(const char* name, const char* value) {
  const char* set = std::getenv(name);
  return set != nullptr && std::strcmp(set, value) == 0;
}

void Finish(int code) {
  if (hook_exit_code >= 0) return;
  hook_exit_code = code;
  // The document refuses to close while busy; the hook ends the program regardless.
  ui::QuitEventLoop(code);
}

class ScreenshotHook {
 public:
  ScreenshotHook(CKindlerApp& app, std::string folder, bool update_run, bool usb_run)
      : app_(app), folder_(std::move(folder)), update_run_(update_run), usb_run_(usb_run) {}

  void Start() {
    // Give the window system time to map and paint the window.
    ui::PostTask([this] { FirstPicture(); }, 800);
    ui::PostTask(
        [] {
          std::fprintf(stderr, "screenshots: timed out\n");
          Finish(3);
        },
        90000);
  }

 private:
  ui::Form& View() { return app_.MainFrame()->ActiveView()->form(); }

  void FirstPicture() {
    if (usb_run_) {
      // The USB view with a device in its list ("(none)" carries no device index).
      const bool listed = View().HasControl(kIdcUsbDeviceList) &&
                          View().ItemCount(kIdcUsbDeviceList) > 0 &&
                          View().ItemData(kIdcUsbDeviceList, 0) >= 0;
      if (!listed) std::fprintf(stderr, "screenshots: the USB view lists no device\n");
      Finish(Save("usb") && listed ? 0 : 2);
      return;
    }
    if (!Save(update_run_ ? "advanced" : "basic") || !update_run_) {
      Finish(failed_ ? 2 : 0);
      return;
    }
    if (!View().IsEnabled(kIdcBeginUpdate)) {
      std::fprintf(stderr, "screenshots: Begin Update is not enabled\n");
      Finish(2);
      return;
    }
    View().Click(kIdcBeginUpdate);
    Poll();
  }

  // Every 20 ms while the update runs: the progress picture once the bar passes a quarter,
  // the last one when the run is over.
  void Poll() {
    if (app_.IsBusy()) {
      const int position = View().ProgressPos(kIdcProgressBar);
      if (!progress_taken_ && position >= 25 && position < 100) {
        progress_taken_ = true;
        Save("progress");
      }
      ui::PostTask([this] { Poll(); }, 20);
      return;
    }
    const bool success = View().PaneBackground(kIdcMessagePane) == ui::kPaneSuccessBackground;
    ui::PostTask(
        [this, success] {
          Save(success ? "success" : "failure");
          if (!success) std::fprintf(stderr, "screenshots: the update did not succeed\n");
          if (!progress_taken_) std::fprintf(stderr, "screenshots: no progress picture\n");
          Finish(success && progress_taken_ && !failed_ ? 0 : 2);
        },
        300);
  }

  bool Save(const char* name) {
    const std::string path = folder_ + "/" + name + ".png";
    bool blank = true;
    if (!ui::SaveWindowPicture(app_.MainFrame()->Window().Window(), path, &blank)) {
      std::fprintf(stderr, "screenshots: cannot write %s\n", path.c_str());
      failed_ = true;
      return false;
    }
    if (blank) {
      std::fprintf(stderr, "screenshots: %s is blank\n", path.c_str());
      failed_ = true;
    }
    SavePaneText(name);
    return !blank;
  }

  // Beside each picture, the text of the shown view's message pane (line breaks as "\n"), so
  // that scripts can check what the window says.
  void SavePaneText(const char* name) {
    const int pane =
        View().HasControl(kIdcMessagePane) ? int{kIdcMessagePane} : int{kIdcUsbMessagePane};
    std::string text;
    for (const char c : View().Text(pane))
      if (c != '\r') text.push_back(c);
    const std::string path = folder_ + "/" + name + ".txt";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
      std::fprintf(stderr, "screenshots: cannot write %s\n", path.c_str());
      failed_ = true;
      return;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) failed_ = true;
  }

  CKindlerApp& app_;
  std::string folder_;
  bool update_run_;
  bool usb_run_;
  bool progress_taken_ = false;
  bool failed_ = false;
};

std::unique_ptr<ScreenshotHook> screenshot_hook;

}  // namespace

void EnvironmentTestHooks::BeforeStart(CKindlerApp& app) {
  app.SetStartAdvanced(EnvironmentIs("FLASHWRIGHT_START_ADVANCED", "1"));
}

void EnvironmentTestHooks::AfterStart(CKindlerApp& app) {
  if (EnvironmentIs("FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT", "1")) {
    ui::CallAfterFirstPaint(app.MainFrame()->Window().Window(), [] {
      std::printf("first paint\n");
      std::fflush(stdout);
      ui::QuitEventLoop(0);
    });
  }
  const char* folder = std::getenv("FLASHWRIGHT_SCREENSHOTS");
  if (folder == nullptr || *folder == '\0') return;
  screenshot_hook = std::make_unique<ScreenshotHook>(
      app, folder, EnvironmentIs("FLASHWRIGHT_SCREENSHOT_RUN", "update"),
      EnvironmentIs("FLASHWRIGHT_SCREENSHOT_RUN", "usb"));
  screenshot_hook->Start();
}

int EnvironmentTestHooks::ExitCode(int code) {
  screenshot_hook.reset();
  return hook_exit_code >= 0 ? hook_exit_code : code;
}

}  // namespace flashwright
