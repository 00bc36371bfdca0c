// The console a command-line program runs in: whether a stream is a terminal, how wide it is,
// and the interrupt key (Ctrl-C).
#pragma once

#include <cstdio>

namespace flashwright::platform {

bool IsTerminal(std::FILE* stream);

// The width in columns of the terminal `stream` writes to; 0 when it is not known.
int TerminalColumns(std::FILE* stream);

// From now on each Ctrl-C calls `on_interrupt(context)` on a thread of the watch's own instead
// of ending the process. Start it before any other thread (they then never see the interrupt);
// one watch at a time. StopInterruptWatch ends it; no call runs after it returns.
void StartInterruptWatch(void (*on_interrupt)(void*), void* context);
void StopInterruptWatch();

}  // namespace flashwright::platform
