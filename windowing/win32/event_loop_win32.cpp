// The event loop on Win32: one thread's message queue. Tasks are messages to a message-only
// window of the backend; delayed ones are its timers.
#include "windowing/event_loop.h"

#include "windowing/win32/native_window_win32.h"

#include <commctrl.h>
#include <objbase.h>

#include <map>
#include <memory>

#include "windowing/win32/form_win32.h"
#include "windowing/win32/ui_thread_win32.h"

namespace flashwright::ui {

namespace {

constexpr UINT kRunTask = WM_APP + 1;
constexpr char kTaskWindowClass[] = "FlashwrightTasks";

struct LoopState {
  HWND task_window = nullptr;
  bool quit_pending = false;
  int quit_code = 0;
  UINT_PTR next_timer = 1;
  std::map<UINT_PTR, std::unique_ptr<std::function<void()>>> delayed;
};

LoopState& Loop() {
  static LoopState state;
  return state;
}

LRESULT CALLBACK TaskWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunTask) {
    std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lparam));
    if (task && *task) (*task)();
    return 0;
  }
  if (message == WM_TIMER) {
    KillTimer(window, wparam);
    auto found = Loop().delayed.find(wparam);
    if (found == Loop().delayed.end()) return 0;
    std::unique_ptr<std::function<void()>> task = std::move(found->second);
    Loop().delayed.erase(found);
    if (task && *task) (*task)();
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

HWND TaskWindow() {
  LoopState& loop = Loop();
  if (loop.task_window != nullptr) return loop.task_window;
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = TaskWindowProc;
  window_class.hInstance = ProgramInstance();
  window_class.lpszClassName = kTaskWindowClass;
  RegisterClassA(&window_class);
  loop.task_window = CreateWindowExA(0, kTaskWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, ProgramInstance(), nullptr);
  return loop.task_window;
}

// Takes out and handles what is queued; false once a quit request was taken.
bool PumpPending(DWORD deadline) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      NoteQuitRequest(static_cast<int>(message.wParam));
      return false;
    }
    DispatchUiMessage(message);
    if (static_cast<LONG>(GetTickCount() - deadline) >= 0) break;
  }
  return true;
}

}  // namespace

HINSTANCE ProgramInstance() { return GetModuleHandleA(nullptr); }

HICON ProgramIcon() {
  static HICON icon = [] {
    HICON own = LoadIconA(ProgramInstance(), MAKEINTRESOURCEA(128));
    return own != nullptr ? own : LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
  }();
  return icon;
}

void DispatchUiMessage(MSG& message) {
  if (message.hwnd != nullptr) {
    Win32Form* form = Win32Form::Containing(message.hwnd);
    if (form != nullptr && form->PreTranslate(message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void NoteQuitRequest(int exit_code) {
  Loop().quit_pending = true;
  Loop().quit_code = exit_code;
}

bool InitWindowing(int& argc, char** argv) {
  (void)argc;
  (void)argv;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);
  // The message panes are rich edit 2.0 controls, whose class exists once the library is in.
  if (LoadLibraryA("riched20.dll") == nullptr) return false;
  return TaskWindow() != nullptr;
}

int RunEventLoop() {
  LoopState& loop = Loop();
  MSG message;
  while (!loop.quit_pending) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      NoteQuitRequest(static_cast<int>(message.wParam));
      break;
    }
    if (got == -1) break;
    DispatchUiMessage(message);
  }
  loop.quit_pending = false;
  return loop.quit_code;
}

void QuitEventLoop(int exit_code) { PostQuitMessage(exit_code); }

void PostTask(std::function<void()> task, int delay_ms) {
  HWND window = TaskWindow();
  auto held = std::make_unique<std::function<void()>>(std::move(task));
  if (delay_ms <= 0) {
    if (PostMessageA(window, kRunTask, 0, reinterpret_cast<LPARAM>(held.get()))) held.release();
    return;
  }
  LoopState& loop = Loop();
  const UINT_PTR timer = loop.next_timer++;
  if (SetTimer(window, timer, static_cast<UINT>(delay_ms), nullptr) != 0)
    loop.delayed[timer] = std::move(held);
}

void ProcessEvents(int max_ms) {
  PumpPending(GetTickCount() + static_cast<DWORD>(max_ms > 0 ? max_ms : 0));
}

bool WaitUntil(const std::function<bool()>& condition, int timeout_ms) {
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(timeout_ms);
  for (;;) {
    if (condition()) return true;
    const LONG left = static_cast<LONG>(deadline - GetTickCount());
    if (left <= 0) return condition();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left < 10 ? left : 10),
                              QS_ALLINPUT);
    if (!PumpPending(deadline + 1000)) return condition();
  }
}

}  // namespace flashwright::ui
