// The hooks through which scripts and benchmarks drive the windowed program from its
// environment, in the test builds only (flashwright-testbuild, flashwright-usbsim): the
// shipped program reads none of these variables.
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
//
// For the start-up benchmark: with FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT=1 the program prints
// "first paint" on its standard output once its window has been painted, and quits.
#pragma once

#include "app/windowed_program.h"

namespace flashwright {

class EnvironmentTestHooks : public WindowedProgramHooks {
 public:
  void BeforeStart(CKindlerApp& app) override;
  void AfterStart(CKindlerApp& app) override;
  int ExitCode(int code) override;
};

}  // namespace flashwright
