#include "windowing/win32/form_win32.h"

#include "windowing/win32/native_window_win32.h"
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "windowing/ui_check.h"
#include "windowing/win32/ui_thread_win32.h"

namespace flashwright::ui {

namespace {

std::vector<Win32Form*>& LiveForms() {
  static std::vector<Win32Form*> forms;
  return forms;
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

COLORREF ColourOf(Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

Rgb PaneColour(PaneKind kind) {
  switch (kind) {
    case PaneKind::kError: return kPaneErrorBackground;
    case PaneKind::kSuccess: return kPaneSuccessBackground;
    case PaneKind::kNeutral: break;
  }
  return ButtonFaceColour();
}

bool IsButton(ControlKind kind) {
  return kind == ControlKind::kPushButton || kind == ControlKind::kDefaultButton ||
         kind == ControlKind::kCheckBox;
}

// Counts the program's own changes to a form's controls for as long as it lives.
class Quiet {
 public:
  explicit Quiet(int& count) : count_(count) { ++count_; }
  ~Quiet() { --count_; }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;

 private:
  int& count_;
};

}  // namespace

// Hands records posted from any thread to the form's window as registered window messages. A
// record belongs to the poster from the moment it is posted until the window procedure claims
// it; whatever was never claimed (the window went first) is freed here, once. Only pointers
// the poster gave out are claimed, so a stray message of the same name (from another program)
// is never taken for a record.
class Win32Form::Poster : public flashwright::PostTarget {
 public:
  Poster(HWND window, std::map<MessageId, UINT> messages)
      : window_(window), messages_(std::move(messages)) {
    handle_ = RegisterPostTarget(this);
  }
  ~Poster() override {
    Stop();
    for (PostedRecord* record : outstanding_) delete record;
  }
  Poster(const Poster&) = delete;
  Poster& operator=(const Poster&) = delete;

  TargetHandle handle() const { return handle_; }
  void Stop() {
    if (handle_ != 0) UnregisterPostTarget(handle_);
    handle_ = 0;
  }

  void Accept(MessageId message, std::unique_ptr<PostedRecord> record) override {
    const auto found = messages_.find(message);
    if (found == messages_.end()) return;  // not a message of this form: freed here
    std::lock_guard<std::mutex> lock(mutex_);
    PostedRecord* raw = record.get();
    if (!PostMessageA(window_, found->second, message, reinterpret_cast<LPARAM>(raw))) return;
    outstanding_.insert(raw);
    record.release();
  }

  std::unique_ptr<PostedRecord> Claim(LPARAM lparam) {
    std::lock_guard<std::mutex> lock(mutex_);
    PostedRecord* raw = reinterpret_cast<PostedRecord*>(lparam);
    if (outstanding_.erase(raw) == 0) return nullptr;
    return std::unique_ptr<PostedRecord>(raw);
  }

 private:
  HWND window_;
  const std::map<MessageId, UINT> messages_;
  TargetHandle handle_ = 0;
  std::mutex mutex_;
  std::set<PostedRecord*> outstanding_;
};

Win32Form::Win32Form(const DialogTemplate& dialog, DialogRole role, FormEvents& events)
    : template_(dialog), role_(role), events_(events), modal_(std::make_shared<ModalState>()) {}

std::unique_ptr<Win32Form> Win32Form::Create(const DialogTemplate& dialog, DialogRole role,
                                             HWND parent, FormEvents& events) {
  std::unique_ptr<Win32Form> form(new Win32Form(dialog, role, events));
  const std::vector<WORD> words = BuildDialogTemplate(dialog, role);
  LiveForms().push_back(form.get());
  HWND window = CreateDialogIndirectParamA(
      ProgramInstance(), reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), parent, DialogProc,
      reinterpret_cast<LPARAM>(form.get()));
  if (window == nullptr) return nullptr;
  return form;
}

Win32Form::~Win32Form() {
  if (window_ != nullptr) DestroyWindow(window_);
  poster_.reset();
  auto& forms = LiveForms();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

WindowRef Win32Form::Window() const { return RefOf(window_); }

void Win32Form::SetCaption(const std::string& caption) { SetWindowTextA(window_, caption.c_str()); }

std::string Win32Form::Caption() const {
  const int length = GetWindowTextLengthA(window_);
  std::string caption(static_cast<std::size_t>(length) + 1, '\0');
  caption.resize(static_cast<std::size_t>(GetWindowTextA(window_, caption.data(), length + 1)));
  return caption;
}

INT_PTR CALLBACK Win32Form::DialogProc(HWND window, UINT message, WPARAM wparam,
                                       LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* form = reinterpret_cast<Win32Form*>(lparam);
    SetWindowLongPtrA(window, DWLP_USER, lparam);
    form->window_ = window;
    form->OnInitControls();
    return TRUE;
  }
  auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrA(window, DWLP_USER));
  if (form == nullptr) return FALSE;
  bool handled = false;
  // The handlers may destroy the form: nothing of it is touched after Handle returns.
  const INT_PTR result = form->Handle(message, wparam, lparam, &handled);
  return handled ? result : FALSE;
}

INT_PTR Win32Form::Handle(UINT message, WPARAM wparam, LPARAM lparam, bool* handled) {
  *handled = true;
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_TIMER:
      if (timers_.count(static_cast<int>(wparam)) != 0) events_.OnTimer(static_cast<int>(wparam));
      return TRUE;
    case WM_CLOSE:
      // The close box of a dialog is its Cancel.
      if (role_ == DialogRole::kPopupDialog) events_.OnNotify(IDCANCEL, Notification::kClicked);
      return TRUE;
    case WM_DESTROY:
      Detach();
      *handled = false;
      return FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window_, DWLP_USER, 0);
      window_ = nullptr;
      *handled = false;
      return FALSE;
    default:
      break;
  }
  const auto posted = posted_messages_.find(message);
  if (posted != posted_messages_.end() && poster_ != nullptr) {
    std::unique_ptr<PostedRecord> record = poster_->Claim(lparam);
    if (record != nullptr) events_.OnPosted(posted->second, std::move(record));
    return TRUE;
  }
  *handled = false;
  return FALSE;
}

void Win32Form::OnInitControls() {
  Quiet quiet(quiet_);
  for (const ControlTemplate& control : template_.controls) {
    if (control.id == 0 && control.kind != ControlKind::kIcon) continue;
    HWND item = control.id == 0 ? nullptr : GetDlgItem(window_, control.id);
    switch (control.kind) {
      case ControlKind::kDropDownList:
      case ControlKind::kListBox:
        for (const char* text : control.items) AddItem(control.id, text, 0);
        break;
      case ControlKind::kEdit:
        if (control.max_chars > 0) SendMessageA(item, EM_LIMITTEXT, control.max_chars, 0);
        break;
      case ControlKind::kProgressBar:
        SendMessageA(item, PBM_SETRANGE32, 0, 100);
        break;
      case ControlKind::kRichEdit:
        SendMessageA(item, EM_SETEVENTMASK, 0, 0);
        SendMessageA(item, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));
        pane_kinds_[control.id] = PaneKind::kNeutral;
        break;
      case ControlKind::kIcon: {
        // The icon has no id of its own; it is the static of the template's position.
        HWND icon = nullptr;
        const int index = static_cast<int>(&control - template_.controls.data());
        int position = 0;
        for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT), ++position) {
          if (position == index) icon = child;
        }
        if (icon != nullptr) SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(ProgramIcon()), 0);
        break;
      }
      default:
        break;
    }
  }
}

void Win32Form::OnCommand(int id, int code) {
  const ControlTemplate* control = FindControlTemplate(template_, id);
  if (role_ == DialogRole::kPopupDialog && (id == IDOK || id == IDCANCEL) &&
      code == BN_CLICKED && (control == nullptr || IsButton(control->kind))) {
    // Enter and Escape come from the dialog manager as the clicks of 1 and 2.
    events_.OnNotify(id, Notification::kClicked);
    return;
  }
  if (control == nullptr || quiet_ > 0) return;
  switch (control->kind) {
    case ControlKind::kPushButton:
    case ControlKind::kDefaultButton:
    case ControlKind::kCheckBox:
      if (code == BN_CLICKED) events_.OnNotify(id, Notification::kClicked);
      break;
    case ControlKind::kDropDownList:
      if (code == CBN_SELCHANGE) events_.OnNotify(id, Notification::kSelChange);
      break;
    case ControlKind::kListBox:
      if (code == LBN_SELCHANGE) events_.OnNotify(id, Notification::kSelChange);
      break;
    case ControlKind::kEdit:
      if (code == EN_CHANGE) events_.OnNotify(id, Notification::kEditChange);
      break;
    default:
      break;
  }
}

void Win32Form::Detach() {
  for (int timer : timers_) ::KillTimer(window_, static_cast<UINT_PTR>(timer));
  timers_.clear();
  if (poster_ == nullptr) return;
  poster_->Stop();
  DropQueuedRecords();
  poster_.reset();
}

void Win32Form::DropQueuedRecords() {
  MSG message;
  for (const auto& [window_message, id] : posted_messages_) {
    (void)id;
    while (PeekMessageA(&message, window_, window_message, window_message, PM_REMOVE)) {
      poster_->Claim(message.lParam);  // freed as it goes out of scope
    }
  }
}

const ControlTemplate* Win32Form::Find(int id) const {
  const ControlTemplate* control = FindControlTemplate(template_, id);
  if (control == nullptr) ReportMisuse("form control that the template does not have", id);
  return control;
}

HWND Win32Form::Item(int id) const {
  if (Find(id) == nullptr || window_ == nullptr) return nullptr;
  return GetDlgItem(window_, id);
}

HWND Win32Form::ItemOfKind(int id, ControlKind a, ControlKind b) const {
  const ControlTemplate* control = Find(id);
  if (control == nullptr || window_ == nullptr) return nullptr;
  if (control->kind != a && control->kind != b) {
    ReportMisuse("form control of another kind", id);
    return nullptr;
  }
  return GetDlgItem(window_, id);
}

bool Win32Form::IsList(const ControlTemplate& control) const {
  return control.kind == ControlKind::kListBox;
}

void Win32Form::SetText(int id, const std::string& text) {
  HWND item = Item(id);
  if (item == nullptr) return;
  Quiet quiet(quiet_);
  SetWindowTextA(item, text.c_str());
}

std::string Win32Form::Text(int id) const {
  HWND item = Item(id);
  return item == nullptr ? std::string() : WindowText(item);
}

void Win32Form::Enable(int id, bool enabled) {
  if (HWND item = Item(id)) EnableWindow(item, enabled ? TRUE : FALSE);
}

bool Win32Form::IsEnabled(int id) const {
  HWND item = Item(id);
  return item != nullptr && IsWindowEnabled(item);
}

void Win32Form::Show(int id, bool visible) {
  if (HWND item = Item(id)) ShowWindow(item, visible ? SW_SHOWNA : SW_HIDE);
}

// The control's own state: a control of a form that is not on the screen yet still counts as
// shown when it would be.
bool Win32Form::IsVisible(int id) const {
  HWND item = Item(id);
  return item != nullptr && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Form::SetCheck(int id, bool checked) {
  if (HWND item = ItemOfKind(id, ControlKind::kCheckBox, ControlKind::kCheckBox))
    SendMessageA(item, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Form::Checked(int id) const {
  HWND item = ItemOfKind(id, ControlKind::kCheckBox, ControlKind::kCheckBox);
  return item != nullptr && SendMessageA(item, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Form::ResetContent(int id) {
  HWND item = ItemOfKind(id, ControlKind::kDropDownList, ControlKind::kListBox);
  if (item == nullptr) return;
  Quiet quiet(quiet_);
  SendMessageA(item, IsList(*Find(id)) ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
}

int Win32Form::AddItem(int id, const std::string& text, std::intptr_t data) {
  HWND item = ItemOfKind(id, ControlKind::kDropDownList, ControlKind::kListBox);
  if (item == nullptr) return -1;
  Quiet quiet(quiet_);
  const bool list = IsList(*Find(id));
  const LRESULT index = SendMessageA(item, list ? LB_ADDSTRING : CB_ADDSTRING, 0,
                                     reinterpret_cast<LPARAM>(text.c_str()));
  if (index < 0) return -1;
  SendMessageA(item, list ? LB_SETITEMDATA : CB_SETITEMDATA, static_cast<WPARAM>(index),
               static_cast<LPARAM>(data));
  return static_cast<int>(index);
}

int Win32Form::ItemCount(int id) const {
  HWND item = ItemOfKind(id, ControlKind::kDropDownList, ControlKind::kListBox);
  if (item == nullptr) return 0;
  const LRESULT count = SendMessageA(item, IsList(*Find(id)) ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
  return count < 0 ? 0 : static_cast<int>(count);
}

std::string Win32Form::ItemText(int id, int index) const {
  HWND item = ItemOfKind(id, ControlKind::kDropDownList, ControlKind::kListBox);
  if (item == nullptr) return {};
  const bool list = IsList(*Find(id));
  const LRESULT length =
      SendMessageA(item, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT copied = SendMessageA(item, list ? LB_GETTEXT : CB_GETLBTEXT,
                                      static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied < 0 ? 0 : static_cast<std::size_t>(copied));
  return text;
}

std::intptr_t Win32Form::ItemData(int id, int index) const {
  HWND item = ItemOfKind(id, ControlKind::kDropDownList, ControlKind::kListBox);
  if (item == nullptr || index < 0 || index >= ItemCount(id)) return 0;
  return static_cast<std::intptr_t>(SendMessageA(
      item, IsList(*Find(id)) ? LB_GETITEMDATA : CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void Win32Form::SetCurSel(int id, int index) {
  HWND item = ItemOfKind(id, ControlKind::kDropDownList, ControlKind::kListBox);
  if (item == nullptr) return;
  Quiet quiet(quiet_);
  SendMessageA(item, IsList(*Find(id)) ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(index),
               0);
}

int Win32Form::CurSel(int id) const {
  HWND item = ItemOfKind(id, ControlKind::kDropDownList, ControlKind::kListBox);
  if (item == nullptr) return -1;
  const LRESULT index = SendMessageA(item, IsList(*Find(id)) ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
  return index < 0 ? -1 : static_cast<int>(index);
}

void Win32Form::SetProgressPos(int id, int position) {
  if (HWND item = ItemOfKind(id, ControlKind::kProgressBar, ControlKind::kProgressBar))
    SendMessageA(item, PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, 0, 100)), 0);
}

int Win32Form::ProgressPos(int id) const {
  HWND item = ItemOfKind(id, ControlKind::kProgressBar, ControlKind::kProgressBar);
  return item == nullptr ? 0 : static_cast<int>(SendMessageA(item, PBM_GETPOS, 0, 0));
}

void Win32Form::ShowPaneMessage(int id, const std::string& text, PaneKind kind,
                                bool redraw_now) {
  HWND pane = ItemOfKind(id, ControlKind::kRichEdit, ControlKind::kRichEdit);
  if (pane == nullptr) return;
  Quiet quiet(quiet_);
  CHARFORMAT2A format{};
  format.cbSize = sizeof(format);
  format.dwMask = CFM_BOLD | CFM_COLOR;
  format.dwEffects = kind == PaneKind::kNeutral ? 0 : CFE_BOLD;
  format.crTextColor = ColourOf(kPaneTextColour);
  // The default format too, so that an empty pane and the caret carry the kind's weight.
  SendMessageA(pane, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  SetWindowTextA(pane, text.c_str());
  SendMessageA(pane, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  SendMessageA(pane, EM_SETBKGNDCOLOR, 0, ColourOf(PaneColour(kind)));
  pane_kinds_[id] = kind;
  if (redraw_now) {
    InvalidateRect(pane, nullptr, TRUE);
    UpdateWindow(pane);
  }
}

Rgb Win32Form::PaneBackground(int id) const {
  if (ItemOfKind(id, ControlKind::kRichEdit, ControlKind::kRichEdit) == nullptr) return {};
  const auto found = pane_kinds_.find(id);
  return PaneColour(found == pane_kinds_.end() ? PaneKind::kNeutral : found->second);
}

// Read from the control: the weight of the first character, or of the default format when
// the pane is empty.
bool Win32Form::PaneBold(int id) const {
  HWND pane = ItemOfKind(id, ControlKind::kRichEdit, ControlKind::kRichEdit);
  if (pane == nullptr) return false;
  CHARFORMAT2A format{};
  format.cbSize = sizeof(format);
  if (GetWindowTextLengthA(pane) == 0) {
    SendMessageA(pane, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  } else {
    CHARRANGE kept{};
    SendMessageA(pane, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    SendMessageA(pane, EM_SETSEL, 0, 1);
    SendMessageA(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    SendMessageA(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept));
  }
  return (format.dwMask & CFM_BOLD) != 0 && (format.dwEffects & CFE_BOLD) != 0;
}

void Win32Form::SetRedraw(bool on) {
  if (window_ == nullptr) return;
  SendMessageA(window_, WM_SETREDRAW, on ? TRUE : FALSE, 0);
  if (on)
    RedrawWindow(window_, nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Win32Form::RedrawNow() {
  if (window_ != nullptr)
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32Form::SetFocus(int id) {
  HWND item = Item(id);
  if (item == nullptr) return;
  // The dialog manager's way, so that the default button follows the focus.
  SendMessageA(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

void Win32Form::SetTimer(int timer_id, int period_ms) {
  if (window_ == nullptr) return;
  if (::SetTimer(window_, static_cast<UINT_PTR>(timer_id), static_cast<UINT>(std::max(period_ms, 1)),
                 nullptr) != 0)
    timers_.insert(timer_id);
}

bool Win32Form::KillTimer(int timer_id) {
  if (timers_.erase(timer_id) == 0) return false;
  ::KillTimer(window_, static_cast<UINT_PTR>(timer_id));
  return true;
}

bool Win32Form::TimerRunning(int timer_id) const { return timers_.count(timer_id) != 0; }

void Win32Form::AcceptPosted(std::initializer_list<const char*> message_names) {
  if (window_ == nullptr) return;
  if (poster_ != nullptr) {
    poster_->Stop();
    DropQueuedRecords();
    poster_.reset();
  }
  std::map<MessageId, UINT> by_id;
  posted_messages_.clear();
  for (const char* name : message_names) {
    const UINT window_message = RegisterWindowMessageA(name);
    const MessageId id = RegisterPostedMessage(name);
    if (window_message == 0) continue;
    by_id[id] = window_message;
    posted_messages_[window_message] = id;
  }
  poster_ = std::make_unique<Poster>(window_, std::move(by_id));
}

TargetHandle Win32Form::PostTarget() const { return poster_ == nullptr ? 0 : poster_->handle(); }

void Win32Form::Click(int id) {
  const ControlTemplate* control = Find(id);
  HWND item = Item(id);
  if (control == nullptr || item == nullptr || !IsButton(control->kind)) return;
  if (!IsWindowEnabled(item) || !IsVisible(id)) return;
  SendMessageA(item, BM_CLICK, 0, 0);
}

void Win32Form::Choose(int id, int index) {
  HWND item = ItemOfKind(id, ControlKind::kDropDownList, ControlKind::kListBox);
  if (item == nullptr || !IsWindowEnabled(item) || !IsVisible(id)) return;
  if (index < 0 || index >= ItemCount(id)) return;
  const bool list = IsList(*Find(id));
  if (list && (GetWindowLongA(item, GWL_STYLE) & LBS_NOSEL) != 0) return;
  SendMessageA(item, list ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  // What the control itself sends when the user picks an item.
  SendMessageA(window_, WM_COMMAND,
               MAKEWPARAM(id, list ? LBN_SELCHANGE : CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(item));
}

void Win32Form::TypeText(int id, const std::string& text) {
  HWND item = ItemOfKind(id, ControlKind::kEdit, ControlKind::kEdit);
  if (item == nullptr || !IsWindowEnabled(item) || !IsVisible(id)) return;
  if (GetWindowLongA(item, GWL_STYLE) & ES_READONLY) return;
  // As typed: the edit applies its limit and sends EN_CHANGE itself.
  SendMessageA(item, EM_SETSEL, 0, -1);
  SendMessageA(item, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

Win32Form* Win32Form::Containing(HWND window) {
  HWND desktop = GetDesktopWindow();
  for (HWND at = window; at != nullptr && at != desktop; at = GetAncestor(at, GA_PARENT)) {
    for (Win32Form* form : LiveForms())
      if (form->window_ == at) return form;
  }
  return nullptr;
}

std::vector<Win32Form*> Win32Form::ChildFormsOf(HWND parent) {
  std::vector<Win32Form*> forms;
  const std::vector<Win32Form*>& live = LiveForms();
  for (auto at = live.rbegin(); at != live.rend(); ++at) {
    if ((*at)->window_ != nullptr && (*at)->role_ == DialogRole::kChildForm &&
        GetParent((*at)->window_) == parent)
      forms.push_back(*at);
  }
  return forms;
}

bool Win32Form::PreTranslate(MSG& message) {
  if (window_ == nullptr) return false;
  if (message.message == WM_KEYDOWN && message.wParam == VK_F5) {
    for (const AcceleratorTemplate& accelerator : template_.accelerators) {
      if (accelerator.key != AcceleratorKey::kF5) continue;
      // The command of the control, whether the control is shown or not.
      if (FindControlTemplate(template_, accelerator.id) != nullptr)
        SendMessageA(window_, WM_COMMAND, MAKEWPARAM(accelerator.id, BN_CLICKED), 0);
      return true;
    }
  }
  return IsDialogMessageA(window_, &message) != FALSE;
}

int Win32Form::RunModal() {
  std::shared_ptr<ModalState> state = modal_;
  state->running = true;
  state->ended = false;
  HWND owner = GetWindow(window_, GW_OWNER);
  const bool owner_was_enabled = owner != nullptr && IsWindowEnabled(owner);
  if (owner_was_enabled) EnableWindow(owner, FALSE);
  MSG message;
  // The form may be gone before the loop ends (its owner destroyed): only the state is used.
  while (!state->ended) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      NoteQuitRequest(static_cast<int>(message.wParam));
      break;
    }
    if (got == -1) break;
    DispatchUiMessage(message);
  }
  // Before the dialog goes, so that the system gives the activation back to the owner.
  if (owner_was_enabled) EnableWindow(owner, TRUE);
  state->running = false;
  return state->ended ? state->result : IDCANCEL;
}

void Win32Form::EndModal(int result) {
  modal_->ended = true;
  modal_->result = result;
  // Wakes the loop even when the window is destroyed at once.
  PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

}  // namespace flashwright::ui
