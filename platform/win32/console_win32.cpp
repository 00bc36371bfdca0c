// The console on Windows: the console control handler runs on a thread the system starts for
// each Ctrl-C.
#include <windows.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/console.h"

namespace flashwright::platform {
namespace {

std::mutex g_watch_mutex;
void (*g_on_interrupt)(void*) = nullptr;
void* g_context = nullptr;

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  std::lock_guard lock(g_watch_mutex);
  if (g_on_interrupt == nullptr) return FALSE;
  g_on_interrupt(g_context);
  return TRUE;
}

HANDLE ConsoleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return ::GetConsoleMode(ConsoleOf(stream), &mode) != FALSE;
}

int TerminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(ConsoleOf(stream), &info)) return 0;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 0;
}

void StartInterruptWatch(void (*on_interrupt)(void*), void* context) {
  {
    std::lock_guard lock(g_watch_mutex);
    g_on_interrupt = on_interrupt;
    g_context = context;
  }
  ::SetConsoleCtrlHandler(OnControl, TRUE);
}

void StopInterruptWatch() {
  ::SetConsoleCtrlHandler(OnControl, FALSE);
  std::lock_guard lock(g_watch_mutex);
  g_on_interrupt = nullptr;
  g_context = nullptr;
}

}  // namespace flashwright::platform
