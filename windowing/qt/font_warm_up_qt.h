// Fontconfig reads and parses every file of its configuration the first time any font is
// asked for: some milliseconds, the longest single step before the frame can be measured and
// painted. The Qt backend has that reading done on a thread of its own while the QApplication
// is made, and waits for it before InitWindowing returns. Nothing of the program runs beside
// the thread: fontconfig's parser reads the environment, which must not change meanwhile (a
// test that sets a variable while it reads could crash it), and Qt finds the configuration
// read when it first measures text instead of reading it a second time.
#pragma once

namespace flashwright::ui {

// Starts the reading on its own thread (once per process), just before the QApplication is
// made.
void StartFontWarmUp();
// Returns once the reading is over; at once when it never started or has been waited for.
void AwaitFontWarmUp();

}  // namespace flashwright::ui
