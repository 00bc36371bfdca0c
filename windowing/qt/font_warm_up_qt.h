// Fontconfig reads and parses every file of its configuration the first time any font is
// asked for: some milliseconds, the longest single step before the frame can be measured and
// painted. The Qt backend has that reading done on a thread of its own while Qt itself starts,
// and waits for it before any text is measured. Fontconfig lets two threads start it at once,
// but each then does the whole reading, so the wait keeps it from being done twice.
#pragma once

namespace flashwright::ui {

// Starts the reading on its own thread (once per process), before the QApplication is made.
void StartFontWarmUp();
// Returns once the reading is over; at once when it never started or has been waited for.
void AwaitFontWarmUp();

}  // namespace flashwright::ui
