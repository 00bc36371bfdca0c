// The Qt backend's frame: menus from templates, update handlers before a popup opens and
// before a choice, check marks owned by the handlers, title, minimised state, close refusal,
// fixed size and device-change notices.
#include <gtest/gtest.h>

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <map>
#include <set>
#include <thread>

#include "platform/usb_hotplug.h"
#include "windowing/backend.h"
#include "windowing/device_change.h"
#include "windowing/event_loop.h"
#include "windowing/qt/native_window_qt.h"
#include "windowing/tests/test_templates.h"

namespace flashwright::ui::test {
namespace {

class QtFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallResources(&kTestResources);
    frame_ = CreateFrameWindow(events_);
  }
  void TearDown() override {
    frame_.reset();
    InstallResources(nullptr);
  }
  QMainWindow* Window() { return static_cast<QMainWindow*>(ToWidget(frame_->Window())); }
  QStringList PopupTitles() {
    QStringList titles;
    for (QAction* popup : Window()->menuBar()->actions()) titles << popup->text();
    return titles;
  }

  RecordingFrame events_;
  std::unique_ptr<FrameWindow> frame_;
};

TEST_F(QtFrameTest, MenusComeFromTemplatesWithAPopupLeftOut) {
  ASSERT_TRUE(frame_->LoadMenu(kTestMenu));
  EXPECT_EQ(PopupTitles(), QStringList({"&First", "&Second", "&Third"}));
  EXPECT_TRUE(frame_->HasMenuItem(kCmdTwo));
  EXPECT_EQ(frame_->MenuItemText(kCmdTwo), std::optional<std::string>("Two"));
  EXPECT_EQ(frame_->MenuItemText(12345), std::nullopt);
  QMenu* first = Window()->menuBar()->actions()[0]->menu();
  ASSERT_EQ(first->actions().size(), 3);
  EXPECT_TRUE(first->actions()[1]->isSeparator());
  EXPECT_TRUE(first->actions()[0]->isCheckable());

  ASSERT_TRUE(frame_->LoadMenu(kTestMenu, 1));
  EXPECT_EQ(PopupTitles(), QStringList({"&First", "&Third"}));
  EXPECT_FALSE(frame_->HasMenuItem(kCmdThree));
  frame_->SetMenuItemText(kCmdFour, "&About Flashwright...");
  EXPECT_EQ(frame_->MenuItemText(kCmdFour), std::optional<std::string>("About Flashwright..."));

  ASSERT_TRUE(frame_->LoadMenu(kTestMenuOther));
  EXPECT_EQ(PopupTitles(), QStringList({"&Second"}));
  EXPECT_FALSE(frame_->HasMenuItem(kCmdOne));
}

TEST_F(QtFrameTest, UpdateHandlersDecideEnabledAndCheckedStates) {
  ASSERT_TRUE(frame_->LoadMenu(kTestMenu));
  events_.disabled = {kCmdTwo};
  events_.checks = {{kCmdOne, true}};
  // A popup about to open asks about every item of the bar.
  emit Window()->menuBar()->actions()[0]->menu()->aboutToShow();
  EXPECT_EQ(events_.updates[kCmdOne], 1);
  EXPECT_EQ(events_.updates[kCmdFour], 1);
  EXPECT_FALSE(frame_->MenuItemEnabled(kCmdTwo));
  EXPECT_TRUE(frame_->MenuItemEnabled(kCmdThree));
  EXPECT_TRUE(frame_->MenuItemChecked(kCmdOne));

  // A greyed item cannot be chosen; an enabled one runs its command once.
  frame_->ChooseMenuItem(kCmdTwo);
  EXPECT_TRUE(events_.commands.empty());
  frame_->ChooseMenuItem(kCmdOne);
  EXPECT_EQ(events_.commands, std::vector<int>({kCmdOne}));
  // The widget's own toggle is undone: the mark stays as the handler set it.
  EXPECT_TRUE(frame_->MenuItemChecked(kCmdOne));
  frame_->CheckMenuItem(kCmdOne, false);
  EXPECT_FALSE(frame_->MenuItemChecked(kCmdOne));
  // Any item can carry a mark the program sets.
  frame_->CheckMenuItem(kCmdThree, true);
  EXPECT_TRUE(frame_->MenuItemChecked(kCmdThree));

  events_.disabled.clear();
  frame_->RefreshMenuStates();
  EXPECT_TRUE(frame_->MenuItemEnabled(kCmdTwo));
}

TEST_F(QtFrameTest, CaptionSizeTitleMinimiseAndClose) {
  const Qt::WindowFlags flags = Window()->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  ASSERT_TRUE(frame_->LoadMenu(kTestMenu));
  frame_->FitClientArea(240, 200, true);
  frame_->Show();
  QWidget* client = ToWidget(frame_->ClientArea());
  EXPECT_EQ(client->size(), QSize(480, 400));
  EXPECT_EQ(Window()->minimumSize(), Window()->maximumSize());
  // The first menu fills the bar made with the frame: one bar, shown above the client area.
  EXPECT_EQ(Window()->findChildren<QMenuBar*>().size(), 1);
  EXPECT_TRUE(Window()->menuBar()->isVisible());
  EXPECT_GT(Window()->menuBar()->height(), 0);
  EXPECT_EQ(Window()->height(), client->height() + Window()->menuBar()->height());

  frame_->SetTitle("Flashwright [RFID Reader]");
  EXPECT_EQ(frame_->Title(), "Flashwright [RFID Reader]");
  EXPECT_EQ(Window()->windowTitle(), QString("Flashwright [RFID Reader]"));

  frame_->SetMinimized(true);
  ASSERT_TRUE(WaitUntil([&] { return frame_->IsMinimized(); }, 2000));
  frame_->SetMinimized(false);
  ASSERT_TRUE(WaitUntil([&] { return !frame_->IsMinimized(); }, 2000));
  ASSERT_GE(events_.minimised.size(), 2u);
  EXPECT_TRUE(events_.minimised.front());
  EXPECT_FALSE(events_.minimised.back());

  events_.allow_close = false;
  frame_->RequestClose();
  EXPECT_EQ(events_.close_requests, 1);
  EXPECT_TRUE(Window()->isVisible());
  EXPECT_TRUE(frame_->IsShown());
  events_.allow_close = true;
  frame_->RequestClose();
  EXPECT_EQ(events_.close_requests, 2);
  EXPECT_FALSE(Window()->isVisible());
  EXPECT_FALSE(frame_->IsShown());
}

// A hot-plug source that announces when the test says so.
class TestHotplugSource : public platform::UsbHotplugSource {
 public:
  std::unique_ptr<platform::UsbHotplugRegistration> Register(
      platform::UsbHotplugFunction notice) override {
    return listeners.Add(std::move(notice));
  }
  platform::UsbHotplugListeners listeners;
};

TEST_F(QtFrameTest, DeviceNoticesReachTheFrameOnItsOwnThread) {
  TestHotplugSource source;
  platform::ScopedUsbHotplugSource installed(&source);
  auto registration = RegisterDeviceNotice(frame_->Window());
  ASSERT_TRUE(registration);
  std::thread([&] { source.listeners.Announce(); }).join();
  EXPECT_TRUE(events_.device_changes.empty());  // delivered from the loop, not the source
  ASSERT_TRUE(WaitUntil([&] { return !events_.device_changes.empty(); }, 2000));
  EXPECT_EQ(events_.device_changes, std::vector<unsigned>({kDeviceNodesChanged}));
  registration.reset();
  source.listeners.Announce();
  ProcessEvents(20);
  EXPECT_EQ(events_.device_changes.size(), 1u);
  EXPECT_EQ(RegisterDeviceNotice(WindowRef()), nullptr);
}

}  // namespace
}  // namespace flashwright::ui::test
