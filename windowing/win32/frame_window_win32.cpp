// The frame on Win32: an overlapped window with caption, system menu and minimise box only, a
// menu bar built from the shared menu tables, and the views' forms as its child dialogs.

#include "windowing/win32/native_window_win32.h"

#include <dbt.h>

#include <memory>
#include <string>
#include <vector>

#include "windowing/backend.h"
#include "windowing/win32/form_win32.h"
#include "windowing/win32/ui_thread_win32.h"

namespace flashwright::ui {

namespace {

constexpr char kFrameClass[] = "FlashwrightFrame";
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

std::string WithoutMnemonic(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') out.push_back('&');
      if (i + 1 < text.size() && text[i + 1] == '&') ++i;
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

class Win32FrameWindow final : public FrameWindow {
 public:
  explicit Win32FrameWindow(FrameEvents& events) : events_(events) {}
  ~Win32FrameWindow() override {
    if (window_ != nullptr) {
      SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
      DestroyWindow(window_);
    }
  }
  Win32FrameWindow(const Win32FrameWindow&) = delete;
  Win32FrameWindow& operator=(const Win32FrameWindow&) = delete;

  bool Make() {
    WNDCLASSA window_class{};
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = ProgramInstance();
    window_class.hIcon = ProgramIcon();
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kFrameClass;
    RegisterClassA(&window_class);  // already there for a second frame
    window_ = CreateWindowExA(0, kFrameClass, "", kFrameStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              400, 300, nullptr, nullptr, ProgramInstance(), this);
    return window_ != nullptr;
  }

  WindowRef Window() const override { return RefOf(window_); }
  WindowRef ClientArea() const override { return RefOf(window_); }

  bool LoadMenu(int menu_id, int omit_popup) override {
    const MenuTemplate* menu = FindMenuTemplate(menu_id);
    if (menu == nullptr) return false;
    HMENU bar = CreateMenu();
    int position = 0;
    for (const MenuPopupTemplate& popup_template : menu->popups) {
      if (position++ == omit_popup) continue;
      HMENU popup = CreatePopupMenu();
      for (const MenuItemTemplate& item : popup_template.items) {
        if (item.flags & kMenuSeparator) {
          AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
        } else {
          AppendMenuA(popup, MF_STRING, static_cast<UINT_PTR>(item.command), item.text);
        }
      }
      AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), popup_template.text);
    }
    HMENU old = GetMenu(window_);
    SetMenu(window_, bar);
    if (old != nullptr) DestroyMenu(old);
    DrawMenuBar(window_);
    return true;
  }

  bool HasMenuItem(int command_id) const override {
    HMENU bar = GetMenu(window_);
    return bar != nullptr &&
           GetMenuState(bar, static_cast<UINT>(command_id), MF_BYCOMMAND) != static_cast<UINT>(-1);
  }

  std::optional<std::string> MenuItemText(int command_id) const override {
    if (!HasMenuItem(command_id)) return std::nullopt;
    char text[256] = {};
    GetMenuStringA(GetMenu(window_), static_cast<UINT>(command_id), text, sizeof(text),
                   MF_BYCOMMAND);
    return WithoutMnemonic(text);
  }

  void SetMenuItemText(int command_id, const std::string& text) override {
    if (!HasMenuItem(command_id)) return;
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<char*>(text.c_str());
    SetMenuItemInfoA(GetMenu(window_), static_cast<UINT>(command_id), FALSE, &info);
    DrawMenuBar(window_);
  }

  void CheckMenuItem(int command_id, bool checked) override {
    if (HasMenuItem(command_id))
      ::CheckMenuItem(GetMenu(window_), static_cast<UINT>(command_id),
                      MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }

  bool MenuItemChecked(int command_id) const override {
    return HasMenuItem(command_id) &&
           (GetMenuState(GetMenu(window_), static_cast<UINT>(command_id), MF_BYCOMMAND) &
            MF_CHECKED) != 0;
  }

  bool MenuItemEnabled(int command_id) const override {
    return HasMenuItem(command_id) &&
           (GetMenuState(GetMenu(window_), static_cast<UINT>(command_id), MF_BYCOMMAND) &
            (MF_GRAYED | MF_DISABLED)) == 0;
  }

  void RefreshMenuStates() override {
    HMENU bar = GetMenu(window_);
    if (bar == nullptr) return;
    const int popups = GetMenuItemCount(bar);
    for (int i = 0; i < popups; ++i) {
      if (HMENU popup = GetSubMenu(bar, i)) UpdatePopup(popup);
    }
  }

  void ChooseMenuItem(int command_id) override {
    if (!HasMenuItem(command_id)) return;
    // As a click on the item: its popup opens first, which runs the update handlers.
    RefreshMenuStates();
    if (!MenuItemEnabled(command_id)) return;
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(command_id, 0), 0);
  }

  void SetTitle(const std::string& title) override { SetWindowTextA(window_, title.c_str()); }
  std::string Title() const override {
    char text[512] = {};
    GetWindowTextA(window_, text, sizeof(text));
    return text;
  }

  bool IsMinimized() const override { return IsIconic(window_) != FALSE; }
  void SetMinimized(bool minimized) override {
    ShowWindow(window_, minimized ? SW_MINIMIZE : SW_RESTORE);
  }

  void FitClientArea(int width, int height, bool centre) override {
    // The size the dialog manager gave the view's form, which it measured in the dialog units
    // of the template's font (not of the system font, whose units are larger).
    RECT wanted{0, 0, width, height};
    if (HWND form = FormOfSize(width, height)) {
      RECT placed{};
      GetWindowRect(form, &placed);
      wanted.right = placed.right - placed.left;
      wanted.bottom = placed.bottom - placed.top;
    } else if (HWND any = NewestForm()) {
      MapDialogRect(any, &wanted);
    } else {
      const LONG units = GetDialogBaseUnits();
      wanted.right = MulDiv(width, LOWORD(units), 4);
      wanted.bottom = MulDiv(height, HIWORD(units), 8);
    }
    const int client_width = wanted.right;
    const int client_height = wanted.bottom;
    RECT client{};
    GetClientRect(window_, &client);
    // A client area that fits already (the frame fitted again to be centred) is not sized again.
    if (client.right != client_width || client.bottom != client_height) {
      AdjustWindowRectEx(&wanted, kFrameStyle, GetMenu(window_) != nullptr, 0);
      SetWindowPos(window_, nullptr, 0, 0, wanted.right - wanted.left,
                   wanted.bottom - wanted.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // AdjustWindowRectEx counts one line of menu bar: a bar that wraps takes more, and the
    // non-client parts drawn may differ from the metrics. Correct by what the client area
    // really is; the width is settled by then, so the wrapping no longer changes.
    for (int pass = 0; pass < 2; ++pass) {
      GetClientRect(window_, &client);
      if (client.right == client_width && client.bottom == client_height) break;
      RECT outer{};
      GetWindowRect(window_, &outer);
      SetWindowPos(window_, nullptr, 0, 0,
                   outer.right - outer.left + (client_width - client.right),
                   outer.bottom - outer.top + (client_height - client.bottom),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (centre && !centred_) {
      centred_ = true;
      RECT area{};
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
      RECT outer{};
      GetWindowRect(window_, &outer);
      const int x = area.left + ((area.right - area.left) - (outer.right - outer.left)) / 2;
      const int y = area.top + ((area.bottom - area.top) - (outer.bottom - outer.top)) / 2;
      SetWindowPos(window_, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

  void Show() override {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
  }

  bool IsShown() const override { return window_ != nullptr && IsWindowVisible(window_) != FALSE; }

  void RequestClose() override { SendMessageA(window_, WM_CLOSE, 0, 0); }

 private:
  // The newest child form made from a template of this size: the view being fitted, also
  // while the view it replaces is still there.
  HWND FormOfSize(int width, int height) const {
    for (Win32Form* form : Win32Form::ChildFormsOf(window_)) {
      if (form->Template().width == width && form->Template().height == height)
        return form->Handle();
    }
    return nullptr;
  }

  HWND NewestForm() const {
    const std::vector<Win32Form*> forms = Win32Form::ChildFormsOf(window_);
    return forms.empty() ? nullptr : forms.front()->Handle();
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* frame = reinterpret_cast<Win32FrameWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (frame == nullptr) return DefWindowProcA(window, message, wparam, lparam);
    return frame->Handle(window, message, wparam, lparam);
  }

  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
      case WM_COMMAND:
        // Menu commands (and WM_COMMAND sent from outside with a menu id) pass their update
        // handler first: a command that is greyed now does not run.
        if (lparam == 0) {
          const int id = LOWORD(wparam);
          if (events_.OnUpdateCommand(id).enabled) events_.OnMenuCommand(id);
          return 0;
        }
        break;
      case WM_INITMENUPOPUP:
        if (HIWORD(lparam) == 0) UpdatePopup(reinterpret_cast<HMENU>(wparam));
        return 0;
      case WM_CLOSE:
        if (events_.OnCloseRequest()) {
          ShowWindow(window, SW_HIDE);
          PostQuitMessage(0);
        }
        return 0;
      case WM_SIZE: {
        const bool minimized = wparam == SIZE_MINIMIZED;
        if ((wparam == SIZE_MINIMIZED || wparam == SIZE_RESTORED || wparam == SIZE_MAXIMIZED) &&
            minimized != minimized_) {
          minimized_ = minimized;
          events_.OnMinimizedChanged(minimized);
        }
        return 0;
      }
      case WM_DEVICECHANGE: {
        const LRESULT result = DefWindowProcA(window, message, wparam, lparam);
        events_.OnDeviceChange(static_cast<unsigned>(wparam), static_cast<std::uintptr_t>(lparam));
        return result;
      }
      case WM_NCDESTROY:
        window_ = nullptr;
        break;
      default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
  }

  void UpdatePopup(HMENU popup) {
    const int count = GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
      const UINT id = GetMenuItemID(popup, i);
      if (id == 0 || id == static_cast<UINT>(-1)) continue;  // separators and sub-popups
      const CommandState state = events_.OnUpdateCommand(static_cast<int>(id));
      EnableMenuItem(popup, id, MF_BYCOMMAND | (state.enabled ? MF_ENABLED : MF_GRAYED));
      if (state.checked.has_value())
        ::CheckMenuItem(popup, id, MF_BYCOMMAND | (*state.checked ? MF_CHECKED : MF_UNCHECKED));
    }
  }

  FrameEvents& events_;
  HWND window_ = nullptr;
  bool minimized_ = false;
  bool centred_ = false;
};

}  // namespace

std::unique_ptr<FrameWindow> CreateFrameWindow(FrameEvents& events) {
  auto frame = std::make_unique<Win32FrameWindow>(events);
  if (!frame->Make()) return nullptr;
  return frame;
}

}  // namespace flashwright::ui
