// The windowed program from its arguments to its exit code: the application object with both
// views, the test hooks, the event loop. Its main() calls it, and so does the demo build that
// runs it on simulated USB devices.
#pragma once

namespace flashwright {

int RunWindowedProgram(int argc, char** argv);

}  // namespace flashwright
