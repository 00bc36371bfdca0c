// The Win32 windowing backend under Wine on a virtual display: forms built from a sample
// template, what reaches their events (user actions only, timers, posted records), the
// message pane as drawn, dialogs run modally, the frame's menus, style and notices, pictures.
#include <gtest/gtest.h>

#include "windowing/win32/native_window_win32.h"

#include <richedit.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/posted_messages.h"
#include "windowing/backend.h"
#include "windowing/dialog.h"
#include "windowing/event_loop.h"
#include "windowing/message_box.h"
#include "windowing/window_picture.h"

namespace flashwright::ui {
namespace {

using Kind = ControlKind;

constexpr const char* kLetters[] = {"alpha", "beta", "gamma"};
constexpr ControlTemplate kSampleControls[] = {
    {Kind::kLabel, 1100, "Port:", 5, 5, 40, 10},
    {Kind::kEdit, 1101, "", 50, 5, 60, 12, kStyleNone, {}, 5},
    {Kind::kCheckBox, 1102, "TagIt", 5, 20, 60, 11},
    {Kind::kDropDownList, 1103, "", 50, 20, 80, 13, kStyleNone, kLetters},
    {Kind::kListBox, 1104, "", 140, 5, 60, 40},
    {Kind::kDefaultButton, 1105, "Begin Update", 5, 40, 70, 17},
    {Kind::kPushButton, 1106, "Refresh", 80, 40, 45, 14, kStyleHidden},
    {Kind::kPushButton, 1107, "Reset", 130, 50, 45, 14, kStyleDisabled},
    {Kind::kProgressBar, 1108, "", 5, 62, 154, 9},
    {Kind::kRichEdit, 1109, "", 5, 75, 200, 50, kStyleBorder},
    {Kind::kLabel, 1110, "", 5, 130, 100, 20, kStyleSelectable | kStyleAlignTop},
};
constexpr AcceleratorTemplate kSampleKeys[] = {{AcceleratorKey::kF5, 1106}};
constexpr ControlTemplate kDialogControls[] = {
    {Kind::kEdit, 1201, "", 10, 10, 80, 12},
    {Kind::kDefaultButton, 1, "OK", 10, 30, 50, 14},
    {Kind::kPushButton, 2, "Cancel", 70, 30, 50, 14},
};
constexpr DialogTemplate kTemplates[] = {
    {900, "", 210, 155, kDialogChild, "MS Sans Serif", 8, kSampleControls, kSampleKeys},
    {901, "Sample Dialog", 130, 50, kDialogSystemMenu, "MS Sans Serif", 8, kDialogControls},
    // Larger dialog units than the first form's.
    {902, "", 100, 60, kDialogChild, "MS Sans Serif", 12, kDialogControls},
};
constexpr MenuItemTemplate kFileItems[] = {{"E&xit", 57665}};
constexpr MenuItemTemplate kViewItems[] = {{"&Basic", 32771, kMenuCheckable},
                                           {"", 0, kMenuSeparator},
                                           {"&Advanced", 32772, kMenuCheckable}};
constexpr MenuItemTemplate kDeviceItems[] = {{"&RFID Reader", 32776}, {"&USB Device", 32777}};
constexpr MenuItemTemplate kHelpItems[] = {{"about", 57664}};
constexpr MenuPopupTemplate kPopups[] = {
    {"&File", kFileItems}, {"&View", kViewItems}, {"&Device", kDeviceItems}, {"&Help", kHelpItems}};
// More popups than a narrow frame's bar holds on one line.
constexpr MenuPopupTemplate kManyPopups[] = {
    {"&File", kFileItems},     {"&View", kViewItems},       {"&Device", kDeviceItems},
    {"&Options", kViewItems},  {"&Tools", kDeviceItems},    {"&Window", kViewItems},
    {"&Help", kHelpItems}};
constexpr MenuTemplate kMenus[] = {{128, kPopups}, {129, kManyPopups}};
constexpr ResourceTable kTable{kTemplates, kMenus};

struct Seen {
  int id;
  Notification what;
  bool checked_then;
};

class Recorder : public FormEvents {
 public:
  void OnNotify(int control_id, Notification notification) override {
    seen.push_back({control_id, notification, form != nullptr && control_id == 1102 &&
                                                  form->Checked(1102)});
  }
  void OnTimer(int timer_id) override {
    ++ticks[timer_id];
    if (busy_ms > 0) Sleep(static_cast<DWORD>(busy_ms));
  }
  void OnPosted(MessageId message, std::unique_ptr<PostedRecord> record) override {
    posted.push_back(message);
    taken.push_back(std::move(record));
  }
  std::vector<Seen> seen;
  std::map<int, int> ticks;
  int busy_ms = 0;
  std::vector<MessageId> posted;
  std::vector<std::unique_ptr<PostedRecord>> taken;
  Form* form = nullptr;
};

// A frame-less top-level window to hold a child form, shown on the display.
class Host {
 public:
  Host() {
    window_ = CreateWindowExA(0, "STATIC", "Form host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                              520, 420, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~Host() { DestroyWindow(window_); }
  HWND window() const { return window_; }

 private:
  HWND window_;
};

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    int argc = 0;
    ASSERT_TRUE(InitWindowing(argc, nullptr));
    InstallResources(&kTable);
  }
  void SetUp() override {
    form_ = CreateChildForm(kTemplates[0], RefOf(host_.window()), events_);
    ASSERT_NE(form_, nullptr);
    events_.form = form_.get();
    ProcessEvents(50);
  }
  HWND Item(int id) const { return GetDlgItem(HwndOf(form_->Window()), id); }

  Host host_;
  Recorder events_;
  std::unique_ptr<Form> form_;
};

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

TEST_F(WindowTest, TheTemplateMakesEveryControlWithItsClassTextPlaceAndFont) {
  HWND form = HwndOf(form_->Window());
  EXPECT_EQ(GetParent(form), host_.window());
  EXPECT_TRUE(GetWindowLongA(form, GWL_STYLE) & WS_CHILD);
  EXPECT_EQ(ClassOf(Item(1100)), "Static");
  EXPECT_EQ(ClassOf(Item(1101)), "Edit");
  EXPECT_EQ(ClassOf(Item(1103)), "ComboBox");
  EXPECT_EQ(ClassOf(Item(1104)), "ListBox");
  EXPECT_EQ(ClassOf(Item(1108)), "msctls_progress32");
  EXPECT_EQ(ClassOf(Item(1109)), "RichEdit20A");
  EXPECT_EQ(form_->Text(1105), "Begin Update");
  EXPECT_TRUE(GetWindowLongA(Item(1105), GWL_STYLE) & BS_DEFPUSHBUTTON);
  EXPECT_FALSE(form_->IsVisible(1106));
  EXPECT_FALSE(form_->IsEnabled(1107));
  // Places are dialog units of the template's font.
  RECT expected{5, 75, 205, 125};
  MapDialogRect(form, &expected);
  RECT pane{};
  GetWindowRect(Item(1109), &pane);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&pane), 2);
  EXPECT_EQ(pane.left, expected.left);
  EXPECT_EQ(pane.top, expected.top);
  EXPECT_EQ(pane.right - pane.left, expected.right - expected.left);
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(form, WM_GETFONT, 0, 0)), sizeof(font), &font);
  EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
  // The drop-down list's items come from the template.
  ASSERT_EQ(form_->ItemCount(1103), 3);
  EXPECT_EQ(form_->ItemText(1103, 2), "gamma");
  EXPECT_EQ(form_->CurSel(1103), -1);
}

TEST_F(WindowTest, OnlyTheUsersOwnActionsNotify) {
  form_->SetText(1101, "abc");
  form_->SetCheck(1102, true);
  form_->SetCurSel(1103, 1);
  form_->ResetContent(1104);
  EXPECT_EQ(form_->AddItem(1104, "first", 41), 0);
  EXPECT_EQ(form_->AddItem(1104, "second", 42), 1);
  form_->SetCurSel(1104, 1);
  ProcessEvents(50);
  EXPECT_TRUE(events_.seen.empty());
  EXPECT_EQ(form_->Text(1101), "abc");
  EXPECT_EQ(form_->CurSel(1103), 1);
  EXPECT_EQ(form_->ItemData(1104, 1), 42);
  EXPECT_EQ(form_->FindItemData(1104, 41), 0);

  form_->Click(1102);  // toggles off, then notifies
  form_->Choose(1103, 2);
  form_->TypeText(1101, "1234567");
  form_->Click(1106);  // hidden
  form_->Click(1107);  // disabled
  ASSERT_EQ(events_.seen.size(), 3u);
  EXPECT_EQ(events_.seen[0].id, 1102);
  EXPECT_EQ(events_.seen[0].what, Notification::kClicked);
  EXPECT_FALSE(events_.seen[0].checked_then);
  EXPECT_FALSE(form_->Checked(1102));
  EXPECT_EQ(events_.seen[1].id, 1103);
  EXPECT_EQ(events_.seen[1].what, Notification::kSelChange);
  EXPECT_EQ(form_->CurSel(1103), 2);
  EXPECT_EQ(events_.seen[2].id, 1101);
  EXPECT_EQ(events_.seen[2].what, Notification::kEditChange);
  EXPECT_EQ(form_->Text(1101), "12345");  // the template's limit

  // An automation tool's click: BM_CLICK posted to the button from outside.
  events_.seen.clear();
  PostMessageA(Item(1105), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !events_.seen.empty(); }, 2000));
  EXPECT_EQ(events_.seen[0].id, 1105);
  // F5 gives the command of the hidden Refresh button.
  events_.seen.clear();
  SetFocus(Item(1101));
  PostMessageA(Item(1101), WM_KEYDOWN, VK_F5, 0);
  ASSERT_TRUE(WaitUntil([&] { return !events_.seen.empty(); }, 2000));
  EXPECT_EQ(events_.seen[0].id, 1106);
  EXPECT_EQ(events_.seen[0].what, Notification::kClicked);
}

TEST_F(WindowTest, AnUnknownControlIsNoCrashAndGivesTheDefaults) {
  form_->SetText(4242, "x");
  form_->Enable(4242, false);
  EXPECT_EQ(form_->Text(4242), "");
  EXPECT_FALSE(form_->IsEnabled(4242));
  EXPECT_EQ(form_->CurSel(4242), -1);
  EXPECT_EQ(form_->ItemCount(1101), 0);  // an edit has no items
  EXPECT_FALSE(form_->HasControl(4242));
}

COLORREF PixelInside(HWND window) {
  RECT area{};
  GetWindowRect(window, &area);
  HDC screen = GetDC(nullptr);
  const COLORREF pixel = GetPixel(screen, area.right - 6, area.bottom - 6);
  ReleaseDC(nullptr, screen);
  return pixel;
}

TEST_F(WindowTest, ThePaneIsDrawnInTheKindsColourWithBoldTextForErrorAndSuccess) {
  HWND pane = Item(1109);
  form_->ShowPaneMessage(1109, "Error: no reader\r\nCheck the cable", PaneKind::kError, true);
  ProcessEvents(50);
  EXPECT_EQ(form_->PaneBackground(1109), kPaneErrorBackground);
  EXPECT_TRUE(form_->PaneBold(1109));
  EXPECT_EQ(PixelInside(pane), RGB(192, 0, 0));
  char text[128] = {};
  SendMessageA(pane, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "Error: no reader\r\nCheck the cable");
  // The last character is bold too, and black.
  CHARFORMAT2A format{};
  format.cbSize = sizeof(format);
  SendMessageA(pane, EM_SETSEL, 20, 21);
  SendMessageA(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  EXPECT_TRUE(format.dwEffects & CFE_BOLD);
  EXPECT_EQ(format.crTextColor, RGB(0, 0, 0));

  form_->ShowPaneMessage(1109, "Update complete", PaneKind::kSuccess, true);
  ProcessEvents(50);
  EXPECT_EQ(PixelInside(pane), RGB(0, 192, 0));
  EXPECT_TRUE(form_->PaneBold(1109));

  form_->ShowPaneMessage(1109, "Select a firmware image", PaneKind::kNeutral, true);
  ProcessEvents(50);
  EXPECT_FALSE(form_->PaneBold(1109));
  EXPECT_EQ(PixelInside(pane), GetSysColor(COLOR_BTNFACE));
  EXPECT_TRUE(events_.seen.empty());
}

TEST_F(WindowTest, TimersTickUntilKilledAndDoNotQueueUpWhileBusy) {
  form_->SetTimer(7, 20);
  EXPECT_TRUE(form_->TimerRunning(7));
  ASSERT_TRUE(WaitUntil([&] { return events_.ticks[7] >= 3; }, 2000));
  EXPECT_TRUE(form_->KillTimer(7));
  EXPECT_FALSE(form_->KillTimer(7));
  const int after_kill = events_.ticks[7];
  ProcessEvents(10);
  Sleep(100);
  ProcessEvents(50);
  EXPECT_EQ(events_.ticks[7], after_kill);

  // A handler busy for 10 periods: the ticks that fell due meanwhile come as one.
  events_.busy_ms = 200;
  form_->SetTimer(8, 20);
  ASSERT_TRUE(WaitUntil([&] { return events_.ticks[8] >= 1; }, 2000));
  events_.busy_ms = 0;
  const int after_busy = events_.ticks[8];
  ProcessEvents(5);
  EXPECT_LE(events_.ticks[8] - after_busy, 1);
  form_->KillTimer(8);
}

std::atomic<int> records_alive{0};
struct Progress : PostedRecord {
  explicit Progress(int number) : value(number) { ++records_alive; }
  ~Progress() override { --records_alive; }
  int value;
};

TEST_F(WindowTest, PostedRecordsArriveInOrderAndEveryRecordIsFreedOnce) {
  form_->AcceptPosted({"RF_PROGRAMPROGRESS", "RF_UPDATECOMPLETE"});
  const TargetHandle target = form_->PostTarget();
  ASSERT_NE(target, 0u);
  const MessageId progress = RegisterPostedMessage("RF_PROGRAMPROGRESS");
  const MessageId other = RegisterPostedMessage("USB_PROGRAMPROGRESS");
  std::thread worker([&] {
    for (int i = 0; i < 200; ++i) PostRecord(target, progress, std::make_unique<Progress>(i));
    // Not a message of this form: freed on arrival.
    PostRecord(target, other, std::make_unique<Progress>(-1));
  });
  worker.join();
  EXPECT_EQ(records_alive.load(), 200);
  // A stray message of the same name from outside carries no record of ours.
  PostMessageA(HwndOf(form_->Window()), RegisterWindowMessageA("RF_PROGRAMPROGRESS"), progress,
               0x12345678);
  ASSERT_TRUE(WaitUntil([&] { return events_.taken.size() == 200; }, 5000));
  ProcessEvents(50);
  ASSERT_EQ(events_.taken.size(), 200u);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(events_.posted[static_cast<std::size_t>(i)], progress);
    EXPECT_EQ(static_cast<Progress*>(events_.taken[static_cast<std::size_t>(i)].get())->value, i);
  }
  events_.taken.clear();
  EXPECT_EQ(records_alive.load(), 0);

  // Records still queued when the form goes are freed with it, and reach nobody.
  for (int i = 0; i < 50; ++i) PostRecord(target, progress, std::make_unique<Progress>(i));
  EXPECT_EQ(records_alive.load(), 50);
  events_.form = nullptr;
  form_.reset();
  EXPECT_EQ(records_alive.load(), 0);
  EXPECT_FALSE(PostRecord(target, progress, std::make_unique<Progress>(0)));
  EXPECT_EQ(records_alive.load(), 0);
  ProcessEvents(50);
  EXPECT_TRUE(events_.taken.empty());
}

class SampleDialog : public Dialog {
 public:
  SampleDialog() : Dialog(901) {}
  void OnInitDialog() override { form().SetText(1201, "typed"); }
  std::vector<int> controls;
  void OnControl(int id, Notification) override { controls.push_back(id); }
};

// Presses `key` in the open dialog with `caption` as the user would.
void PressInDialog(const char* caption, WPARAM key, bool close_box = false) {
  PostTask([=] {
    HWND dialog = FindWindowA("#32770", caption);
    if (dialog == nullptr) return;
    if (close_box) {
      PostMessageA(dialog, WM_CLOSE, 0, 0);
      return;
    }
    HWND focus = GetDlgItem(dialog, 1201);
    PostMessageA(focus, WM_KEYDOWN, key, 0);
  }, 200);
}

TEST_F(WindowTest, DialogsRunModallyOverADisabledOwnerAndEndByEnterEscapeOrCloseBox) {
  bool owner_disabled_meanwhile = false;
  PostTask([&] { owner_disabled_meanwhile = !IsWindowEnabled(host_.window()); }, 100);
  PressInDialog("Sample Dialog", VK_RETURN);
  SampleDialog enter;
  EXPECT_EQ(enter.DoModal(RefOf(host_.window())), kDialogOk);
  EXPECT_TRUE(owner_disabled_meanwhile);
  EXPECT_TRUE(IsWindowEnabled(host_.window()));
  EXPECT_FALSE(enter.IsOpen());
  EXPECT_EQ(FindWindowA("#32770", "Sample Dialog"), nullptr);

  PressInDialog("Sample Dialog", VK_ESCAPE);
  SampleDialog escape;
  EXPECT_EQ(escape.DoModal(RefOf(host_.window())), kDialogCancel);

  PressInDialog("Sample Dialog", 0, true);
  SampleDialog closed;
  EXPECT_EQ(closed.DoModal(RefOf(host_.window())), kDialogCancel);
  EXPECT_TRUE(closed.controls.empty());
}

TEST_F(WindowTest, MessageBoxesAreTheSystemsWithTheStyleAsked) {
  SetMessageBoxHandler({});
  LONG seen_style = 0;
  PostTask([&] {
    HWND box = FindWindowA("#32770", "Flashwright");
    if (box == nullptr) return;
    seen_style = GetWindowLongA(box, GWL_STYLE);
    // The default button is the second one: Enter answers No.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDNO)));
  }, 300);
  const int answer = MessageBox(RefOf(host_.window()), "Try again?", "Flashwright",
                                kButtonsYesNo | kIconQuestion | kDefaultButton2);
  EXPECT_EQ(answer, kAnswerNo);
  EXPECT_NE(seen_style, 0);
}

class FrameRecorder : public FrameEvents {
 public:
  void OnMenuCommand(int command_id) override { commands.push_back(command_id); }
  CommandState OnUpdateCommand(int command_id) override {
    ++updates;
    CommandState state(command_id);
    state.Enable(command_id != 32777 || !busy);
    if (command_id == 32771) state.SetCheck(true);
    return state;
  }
  bool OnCloseRequest() override {
    ++close_requests;
    return !busy;
  }
  void OnMinimizedChanged(bool minimized) override { minimized_changes.push_back(minimized); }
  void OnDeviceChange(unsigned type, std::uintptr_t data) override {
    devices.push_back({type, data});
  }
  std::vector<int> commands;
  int updates = 0;
  int close_requests = 0;
  bool busy = false;
  std::vector<bool> minimized_changes;
  std::vector<std::pair<unsigned, std::uintptr_t>> devices;
};

TEST_F(WindowTest, TheFrameHasTheDesignsStyleMenusCommandsCloseRefusalAndNotices) {
  FrameRecorder events;
  std::unique_ptr<FrameWindow> frame = CreateFrameWindow(events);
  ASSERT_NE(frame, nullptr);
  HWND window = HwndOf(frame->Window());
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_MAXIMIZEBOX),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_FALSE(frame->LoadMenu(999, -1));
  ASSERT_TRUE(frame->LoadMenu(128, 2));  // without the Device popup
  EXPECT_EQ(GetMenuItemCount(GetMenu(window)), 3);
  EXPECT_FALSE(frame->HasMenuItem(32776));
  ASSERT_TRUE(frame->LoadMenu(128, -1));
  EXPECT_EQ(frame->MenuItemText(57665), "Exit");
  frame->SetMenuItemText(57664, "&About Flashwright...");
  EXPECT_EQ(frame->MenuItemText(57664), "About Flashwright...");

  Recorder view_events;
  std::unique_ptr<Form> view = CreateChildForm(kTemplates[0], frame->ClientArea(), view_events);
  ASSERT_NE(view, nullptr);
  frame->FitClientArea(210, 155, true);
  frame->SetTitle("RFID Reader - Flashwright");
  frame->Show();
  ProcessEvents(100);
  RECT client{};
  GetClientRect(window, &client);
  RECT expected{0, 0, 210, 155};
  MapDialogRect(HwndOf(view->Window()), &expected);
  EXPECT_EQ(client.right, expected.right);
  EXPECT_EQ(client.bottom, expected.bottom);
  EXPECT_EQ(frame->Title(), "RFID Reader - Flashwright");

  // Opening the Device popup runs the update handlers; a greyed command sent from outside
  // does not run.
  events.busy = true;
  SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(GetMenu(window), 2)),
               MAKELPARAM(2, 0));
  EXPECT_GE(events.updates, 2);
  EXPECT_FALSE(frame->MenuItemEnabled(32777));
  EXPECT_TRUE(frame->MenuItemEnabled(32776));
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(32777, 0), 0);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(32776, 0), 0);
  ASSERT_TRUE(WaitUntil([&] { return !events.commands.empty(); }, 2000));
  ProcessEvents(50);
  EXPECT_EQ(events.commands, std::vector<int>{32776});
  frame->RefreshMenuStates();
  EXPECT_TRUE(frame->MenuItemChecked(32771));
  frame->ChooseMenuItem(32777);
  EXPECT_EQ(events.commands.size(), 1u);

  // Closing is refused while busy.
  PostMessageA(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return events.close_requests == 1; }, 2000));
  EXPECT_TRUE(IsWindowVisible(window));

  frame->SetMinimized(true);
  ASSERT_TRUE(WaitUntil([&] { return !events.minimized_changes.empty(); }, 2000));
  EXPECT_TRUE(frame->IsMinimized());
  frame->SetMinimized(false);
  ASSERT_TRUE(WaitUntil([&] { return events.minimized_changes.size() == 2; }, 2000));
  EXPECT_EQ(events.minimized_changes, (std::vector<bool>{true, false}));

  SendMessageA(window, WM_DEVICECHANGE, 7, 0);
  ASSERT_EQ(events.devices.size(), 1u);
  EXPECT_EQ(events.devices[0].first, 7u);

  // A picture of the frame as drawn: a PNG of the window's size, not of one colour.
  char folder[MAX_PATH] = {};
  GetTempPathA(sizeof(folder), folder);
  const std::string path = std::string(folder) + "frame-test.png";
  bool blank = true;
  ASSERT_TRUE(SaveWindowPicture(frame->Window(), path, &blank));
  EXPECT_FALSE(blank);
  std::ifstream file(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 33u);
  EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 4), "PNG");
  RECT outer{};
  GetWindowRect(window, &outer);
  const auto be32 = [&](std::size_t at) {
    return (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
  };
  EXPECT_EQ(be32(16), outer.right - outer.left);
  EXPECT_EQ(be32(20), outer.bottom - outer.top);
  std::remove(path.c_str());

  events.busy = false;
  view.reset();
  frame->RequestClose();
  EXPECT_EQ(events.close_requests, 2);
  EXPECT_FALSE(IsWindowVisible(window));
  // The close asked the loop to end: the loop returns at once with its code.
  EXPECT_EQ(RunEventLoop(), 0);
}

// The client area of the frame, below its menu bar, against the form's window on the screen.
void ExpectFrameFitsForm(HWND frame, HWND form) {
  RECT client{};
  GetClientRect(frame, &client);
  POINT origin{0, 0};
  ClientToScreen(frame, &origin);
  RECT placed{};
  GetWindowRect(form, &placed);
  EXPECT_EQ(client.right, placed.right - placed.left);
  EXPECT_EQ(client.bottom, placed.bottom - placed.top);
  EXPECT_EQ(placed.left, origin.x);
  EXPECT_EQ(placed.top, origin.y);
  MENUBARINFO bar{};
  bar.cbSize = sizeof(bar);
  ASSERT_TRUE(GetMenuBarInfo(frame, OBJID_MENU, 0, &bar));
  // The bar ends where the client area begins (give or take the line under it).
  EXPECT_LE(std::abs(bar.rcBar.bottom - origin.y), 1);
}

TEST_F(WindowTest, TheFramesClientAreaIsTheFormBelowTheMenuEvenWithRedrawOffOrAWrappedBar) {
  FrameRecorder events;
  std::unique_ptr<FrameWindow> frame = CreateFrameWindow(events);
  ASSERT_NE(frame, nullptr);
  HWND window = HwndOf(frame->Window());
  ASSERT_TRUE(frame->LoadMenu(128, -1));
  Recorder first_events;
  std::unique_ptr<Form> first = CreateChildForm(kTemplates[0], frame->ClientArea(), first_events);
  ASSERT_NE(first, nullptr);
  // As at start-up: the only form has its redraw off (and so no WS_VISIBLE) while it fills.
  first->SetRedraw(false);
  frame->FitClientArea(kTemplates[0].width, kTemplates[0].height, true);
  first->SetRedraw(true);
  frame->Show();
  ProcessEvents(50);
  ExpectFrameFitsForm(window, HwndOf(first->Window()));

  // A view switch: the new form, in other dialog units, fills its controls with its redraw
  // off while the old one is still there; the frame fits the new one.
  Recorder second_events;
  std::unique_ptr<Form> second = CreateChildForm(kTemplates[2], frame->ClientArea(), second_events);
  ASSERT_NE(second, nullptr);
  second->SetRedraw(false);
  ASSERT_FALSE(GetWindowLongA(HwndOf(second->Window()), GWL_STYLE) & WS_VISIBLE);
  frame->FitClientArea(kTemplates[2].width, kTemplates[2].height, false);
  second->SetRedraw(true);
  first.reset();
  ProcessEvents(50);
  ExpectFrameFitsForm(window, HwndOf(second->Window()));

  // A bar that wraps onto more lines than AdjustWindowRectEx counts.
  ASSERT_TRUE(frame->LoadMenu(129, -1));
  frame->FitClientArea(kTemplates[2].width, kTemplates[2].height, false);
  ProcessEvents(50);
  MENUBARINFO bar{};
  bar.cbSize = sizeof(bar);
  ASSERT_TRUE(GetMenuBarInfo(window, OBJID_MENU, 0, &bar));
  EXPECT_GT(bar.rcBar.bottom - bar.rcBar.top, GetSystemMetrics(SM_CYMENU) + 2)
      << "the sample bar does not wrap";
  ExpectFrameFitsForm(window, HwndOf(second->Window()));
  second.reset();
}

TEST_F(WindowTest, FirstPaintIsReportedOnceAfterTheWindowIsDrawn) {
  // A window painted already (the host, shown and painted in SetUp) is reported at once.
  int calls = 0;
  CallAfterFirstPaint(RefOf(host_.window()), [&] { ++calls; });
  ASSERT_TRUE(WaitUntil([&] { return calls == 1; }, 3000));
  InvalidateRect(host_.window(), nullptr, TRUE);
  ProcessEvents(100);
  EXPECT_EQ(calls, 1);

  // A window not shown yet is reported after the paint that follows its showing, once.
  HWND later = CreateWindowExA(0, "STATIC", "Later", WS_OVERLAPPEDWINDOW, 20, 20, 200, 120,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(later, nullptr);
  int later_calls = 0;
  CallAfterFirstPaint(RefOf(later), [&] { ++later_calls; });
  ProcessEvents(100);
  EXPECT_EQ(later_calls, 0);
  ShowWindow(later, SW_SHOWNORMAL);
  UpdateWindow(later);
  ASSERT_TRUE(WaitUntil([&] { return later_calls == 1; }, 3000));
  InvalidateRect(later, nullptr, TRUE);
  ProcessEvents(100);
  EXPECT_EQ(later_calls, 1);
  DestroyWindow(later);
}

// The program's own resources are linked into this test as into the program.
TEST(ProgramResources, TheModuleHasTheIconTheManifestAndTheBuildsVersion) {
  HMODULE module = GetModuleHandleA(nullptr);
  EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(128)), nullptr);
  const auto resource_text = [&](LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return std::string();
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(bytes, SizeofResource(module, found));
  };
  const std::string manifest = resource_text(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  // The version block holds its texts in UTF-16.
  const std::string version = resource_text(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
  std::string wide;
  for (char c : std::string(FW_PROJECT_VERSION)) wide += std::string{c, '\0'};
  EXPECT_NE(version.find(wide), std::string::npos);
}

}  // namespace
}  // namespace flashwright::ui
