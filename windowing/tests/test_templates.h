// A resource table of the backend tests' own: one form with a control of every kind, a
// dialog, and a menu, so that the backend is tested apart from the program's resources.
#pragma once

#include <atomic>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/posted_messages.h"
#include "windowing/form.h"
#include "windowing/frame_window.h"
#include "windowing/resource_templates.h"

namespace flashwright::ui::test {

enum : int {
  kTestForm = 7001,
  kTestDialog = 7002,
  kTestMenu = 7101,
  kTestMenuOther = 7102,
};

enum : int {
  kLabel = 100,
  kGroup = 101,
  kButton = 102,
  kDefault = 103,
  kCheck = 104,
  kDrop = 105,
  kList = 106,
  kEdit = 107,
  kReadOnlyEdit = 108,
  kBar = 109,
  kPane = 110,
  kHiddenButton = 111,
  kDisabledButton = 112,
  kPlainList = 113,
};

enum : int { kCmdOne = 40001, kCmdTwo = 40002, kCmdThree = 40003, kCmdFour = 40004 };

inline constexpr const char* const kDropItems[] = {"red", "green", "blue"};

inline constexpr ControlTemplate kFormControls[] = {
    {ControlKind::kGroupBox, kGroup, "Group", 2, 2, 100, 40},
    {ControlKind::kLabel, kLabel, "Label", 5, 10, 40, 10, kStyleAlignTop | kStyleSelectable},
    {ControlKind::kPushButton, kButton, "Press", 5, 25, 40, 14},
    {ControlKind::kDefaultButton, kDefault, "Default", 50, 25, 40, 14},
    {ControlKind::kCheckBox, kCheck, "Check", 110, 5, 50, 10},
    {ControlKind::kDropDownList, kDrop, "", 110, 20, 60, 13, kStyleNone, kDropItems},
    {ControlKind::kListBox, kList, "", 110, 40, 60, 40,
     kStyleNoSelection | kStyleVScroll | kStyleBorder},
    {ControlKind::kEdit, kEdit, "", 5, 50, 30, 13, kStyleNone, {}, 2},
    {ControlKind::kEdit, kReadOnlyEdit, "FF", 40, 50, 30, 13, kStyleReadOnly},
    {ControlKind::kProgressBar, kBar, "", 5, 70, 100, 9},
    {ControlKind::kRichEdit, kPane, "", 5, 85, 170, 40, kStyleBorder},
    {ControlKind::kPushButton, kHiddenButton, "Hidden", 5, 130, 40, 14, kStyleHidden},
    {ControlKind::kPushButton, kDisabledButton, "Disabled", 50, 130, 40, 14, kStyleDisabled},
    {ControlKind::kListBox, kPlainList, "", 110, 85, 60, 40},
    {ControlKind::kIcon, 0, "", 180, 5, 20, 20},
};
inline constexpr AcceleratorTemplate kFormAccelerators[] = {{AcceleratorKey::kF5, kHiddenButton}};

inline constexpr ControlTemplate kDialogControls[] = {
    {ControlKind::kLabel, kLabel, "", 5, 5, 100, 10},
    {ControlKind::kPushButton, kButton, "Other", 5, 20, 40, 14},
    {ControlKind::kDefaultButton, 1, "Done", 60, 20, 40, 14},
};

inline constexpr DialogTemplate kDialogs[] = {
    {kTestForm, "", 200, 150, kDialogChild, "MS Sans Serif", 8, kFormControls,
     kFormAccelerators},
    {kTestDialog, "Test Dialog", 110, 40, kDialogSystemMenu, "MS Sans Serif", 8,
     kDialogControls},
};

inline constexpr MenuItemTemplate kFirstItems[] = {
    {"&One", kCmdOne, kMenuCheckable},
    {"", 0, kMenuSeparator},
    {"T&wo", kCmdTwo},
};
inline constexpr MenuItemTemplate kSecondItems[] = {{"Th&ree", kCmdThree}};
inline constexpr MenuItemTemplate kThirdItems[] = {{"&Four", kCmdFour}};
inline constexpr MenuPopupTemplate kPopups[] = {
    {"&First", kFirstItems}, {"&Second", kSecondItems}, {"&Third", kThirdItems}};
inline constexpr MenuPopupTemplate kOtherPopups[] = {{"&Second", kSecondItems}};
inline constexpr MenuTemplate kMenus[] = {{kTestMenu, kPopups}, {kTestMenuOther, kOtherPopups}};

inline constexpr ResourceTable kTestResources{kDialogs, kMenus};

// Records what a form tells its owner.
struct RecordingEvents : FormEvents {
  void OnNotify(int control_id, Notification notification) override {
    notices.emplace_back(control_id, notification);
  }
  void OnTimer(int timer_id) override { timers.push_back(timer_id); }
  void OnPosted(MessageId message, std::unique_ptr<PostedRecord> record) override {
    posted.emplace_back(message, std::move(record));
  }
  std::vector<std::pair<int, Notification>> notices;
  std::vector<int> timers;
  std::vector<std::pair<MessageId, std::unique_ptr<PostedRecord>>> posted;
};

// Records what a frame tells its owner and answers its update queries.
struct RecordingFrame : FrameEvents {
  void OnMenuCommand(int command_id) override { commands.push_back(command_id); }
  CommandState OnUpdateCommand(int command_id) override {
    ++updates[command_id];
    CommandState state(command_id);
    state.Enable(disabled.count(command_id) == 0);
    if (auto found = checks.find(command_id); found != checks.end()) state.SetCheck(found->second);
    return state;
  }
  bool OnCloseRequest() override {
    ++close_requests;
    return allow_close;
  }
  void OnMinimizedChanged(bool minimized) override { minimised.push_back(minimized); }
  void OnDeviceChange(unsigned event_type, std::uintptr_t) override {
    device_changes.push_back(event_type);
  }

  std::vector<int> commands;
  std::map<int, int> updates;
  std::set<int> disabled;
  std::map<int, bool> checks;
  int close_requests = 0;
  bool allow_close = true;
  std::vector<bool> minimised;
  std::vector<unsigned> device_changes;
};

// A record that counts how often records of its kind are destroyed.
struct CountedRecord : PostedRecord {
  explicit CountedRecord(int record_number = 0) : number(record_number) {}
  ~CountedRecord() override { ++destroyed; }
  int number;
  static inline std::atomic<int> destroyed{0};
};

}  // namespace flashwright::ui::test
