// The user-interface thread's event loop: start-up of the windowing system, the loop itself,
// and the waits that tests and automation use.
#pragma once

#include <functional>

namespace flashwright::ui {

// Starts the windowing system for the process (the platform's controls, the rich edit
// library). `argc`/`argv` may be changed by it. False when no display can be used.
bool InitWindowing(int& argc, char** argv);
// Runs until QuitEventLoop; returns its code.
int RunEventLoop();
void QuitEventLoop(int exit_code);

// Runs `task` on the user-interface thread from the event loop, after `delay_ms`.
void PostTask(std::function<void()> task, int delay_ms = 0);
// Handles the events that are due, for at most `max_ms` (tests and nested waits).
void ProcessEvents(int max_ms);
// Handles events until `condition` holds or `timeout_ms` passes; true when it holds.
bool WaitUntil(const std::function<bool()>& condition, int timeout_ms);

}  // namespace flashwright::ui
