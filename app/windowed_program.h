// The windowed program from its arguments to its exit code: the windowing system, the
// application object with both views, the event loop. Its main() calls it, and so do the
// builds that run it for tests and the demo (on simulated USB devices, with picture hooks).
#pragma once

namespace flashwright {

class CKindlerApp;

// What a test build adds around the program; the shipped program has none.
class WindowedProgramHooks {
 public:
  virtual ~WindowedProgramHooks() = default;
  // Before the command line is read and the first window is made.
  virtual void BeforeStart(CKindlerApp& app) { (void)app; }
  // Once the frame is made and shown, before the event loop runs.
  virtual void AfterStart(CKindlerApp& app) { (void)app; }
  // The program's exit code from the loop's.
  virtual int ExitCode(int code) { return code; }
};

int RunWindowedProgram(int argc, char** argv, WindowedProgramHooks* hooks = nullptr);

}  // namespace flashwright
