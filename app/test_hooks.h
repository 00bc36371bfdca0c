// The hooks through which scripts and benchmarks drive the windowed program from its
// environment. Nothing else in the program reads these variables; without them the program
// behaves as a user sees it.
//
// FLASHWRIGHT_START_ADVANCED=1 counts as Ctrl held when the menu set is first chosen (Ctrl
// cannot be held down for a program started under a virtual display).
//
// For the screenshot script: with FLASHWRIGHT_SCREENSHOTS=<folder> the program saves pictures
// of its own window at fixed moments and then quits.
//   FLASHWRIGHT_SCREENSHOT_RUN=basic   the view as it starts: basic.png
//   FLASHWRIGHT_SCREENSHOT_RUN=update  the view as it starts (advanced.png), then it presses
//                                      Begin Update: progress.png once the bar passes a
//                                      quarter, success.png (or failure.png) at the end
//   FLASHWRIGHT_SCREENSHOT_RUN=usb     the USB view as it starts, with a device in its list:
//                                      usb.png
// Beside each picture <name>.png the text of the view's message pane is saved as <name>.txt.
// The program's exit code is then 0 only when every picture was taken and none is blank.
#pragma once

namespace flashwright {

class CMainFrame;

// FLASHWRIGHT_START_ADVANCED=1 is set.
bool StartAdvancedRequested();

// Installs the hook when the environment asks for it; true when it did.
bool InstallScreenshotHook(CMainFrame* frame);

// A test hook for the start-up benchmark: with FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT=1 the program
// prints "first paint" on its standard output once its window has been painted, and quits.
bool InstallFirstPaintHook(CMainFrame* frame);

// The exit code the hook decided, or `code` when no hook runs.
int ScreenshotHookExitCode(int code);

}  // namespace flashwright
