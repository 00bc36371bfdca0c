// The Qt backend's forms against a template of every control kind: the widgets it makes and
// where, what notifies and what does not, texts, lists, the pane, timers, posted records,
// accelerators and modal dialogs.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <thread>

#include "windowing/backend.h"
#include "windowing/dialog.h"
#include "windowing/event_loop.h"
#include "windowing/qt/native_window_qt.h"
#include "windowing/tests/test_templates.h"

namespace flashwright::ui::test {
namespace {

class QtFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallResources(&kTestResources);
    host_ = std::make_unique<QWidget>();
    host_->resize(500, 400);
    host_->show();
    form_ = CreateChildForm(*FindDialogTemplate(kTestForm), RefOf(host_.get()), events_);
    ASSERT_TRUE(form_);
  }
  void TearDown() override {
    form_.reset();
    host_.reset();
    InstallResources(nullptr);
  }
  template <typename Widget>
  Widget* Find(int id) {
    return ToWidget(form_->Window())->findChild<Widget*>(QString::number(id));
  }

  RecordingEvents events_;
  std::unique_ptr<QWidget> host_;
  std::unique_ptr<Form> form_;
};

TEST_F(QtFormTest, ControlsAreTheTemplatesKindsAtTwoPixelsPerDialogUnit) {
  QWidget* window = ToWidget(form_->Window());
  EXPECT_EQ(window->parentWidget(), host_.get());
  EXPECT_EQ(window->size(), QSize(400, 300));
  EXPECT_EQ(window->pos(), QPoint(0, 0));
  ASSERT_NE(Find<QLabel>(kLabel), nullptr);
  EXPECT_EQ(Find<QLabel>(kLabel)->geometry(), QRect(10, 20, 80, 20));
  EXPECT_EQ(Find<QLabel>(kLabel)->textFormat(), Qt::PlainText);
  EXPECT_TRUE(Find<QLabel>(kLabel)->alignment() & Qt::AlignTop);
  EXPECT_EQ(Find<QGroupBox>(kGroup)->title(), QString("Group"));
  EXPECT_EQ(Find<QPushButton>(kButton)->geometry(), QRect(10, 50, 80, 28));
  EXPECT_TRUE(Find<QPushButton>(kDefault)->isDefault());
  EXPECT_FALSE(Find<QPushButton>(kButton)->isDefault());
  ASSERT_NE(Find<QCheckBox>(kCheck), nullptr);
  ASSERT_NE(Find<QComboBox>(kDrop), nullptr);
  EXPECT_EQ(Find<QListWidget>(kList)->selectionMode(), QAbstractItemView::NoSelection);
  EXPECT_EQ(Find<QListWidget>(kList)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(Find<QLineEdit>(kEdit)->maxLength(), 2);
  EXPECT_TRUE(Find<QLineEdit>(kReadOnlyEdit)->isReadOnly());
  EXPECT_EQ(Find<QProgressBar>(kBar)->maximum(), 100);
  EXPECT_TRUE(Find<QTextEdit>(kPane)->isReadOnly());
  EXPECT_EQ(Find<QTextEdit>(kPane)->geometry(), QRect(10, 170, 340, 80));

  EXPECT_FALSE(form_->IsVisible(kHiddenButton));
  EXPECT_TRUE(form_->IsVisible(kButton));
  EXPECT_FALSE(form_->IsEnabled(kDisabledButton));
  EXPECT_TRUE(form_->IsEnabled(kButton));
  EXPECT_TRUE(form_->HasControl(kPane));
  EXPECT_FALSE(form_->HasControl(999));
  form_->Show(kHiddenButton, true);
  form_->Enable(kButton, false);
  EXPECT_TRUE(form_->IsVisible(kHiddenButton));
  EXPECT_FALSE(form_->IsEnabled(kButton));
}

TEST_F(QtFormTest, OnlyTheUsersActionsNotify) {
  form_->SetText(kEdit, "A");
  form_->SetCheck(kCheck, true);
  form_->SetCurSel(kDrop, 2);
  form_->AddItem(kPlainList, "one", 1);
  form_->AddItem(kPlainList, "two", 2);
  form_->SetCurSel(kPlainList, 1);
  form_->ResetContent(kDrop);
  form_->AddItem(kDrop, "x", 5);
  form_->SetCurSel(kDrop, 0);
  EXPECT_TRUE(events_.notices.empty());

  form_->Click(kButton);
  form_->Click(kCheck);
  form_->Choose(kDrop, 0);
  form_->Choose(kPlainList, 0);
  form_->TypeText(kEdit, "7F");
  using N = Notification;
  const std::vector<std::pair<int, N>> expected = {{kButton, N::kClicked},
                                                   {kCheck, N::kClicked},
                                                   {kDrop, N::kSelChange},
                                                   {kPlainList, N::kSelChange},
                                                   {kEdit, N::kEditChange}};
  EXPECT_EQ(events_.notices, expected);
  // The check box had toggled already when it told its form.
  EXPECT_FALSE(form_->Checked(kCheck));
  EXPECT_EQ(form_->CurSel(kPlainList), 0);

  // Disabled, hidden and read-only controls take no action; a list without selection takes
  // no choice.
  events_.notices.clear();
  form_->Click(kDisabledButton);
  form_->Click(kHiddenButton);
  form_->TypeText(kReadOnlyEdit, "00");
  form_->AddItem(kList, "tag", 0);
  form_->Choose(kList, 0);
  form_->Choose(kDrop, 5);
  EXPECT_TRUE(events_.notices.empty());
  EXPECT_EQ(form_->Text(kReadOnlyEdit), "FF");

  // The real mouse and keyboard give the same notifications.
  form_->SetText(kEdit, "");
  QTest::mouseClick(Find<QPushButton>(kDefault), Qt::LeftButton);
  QTest::keyClicks(Find<QLineEdit>(kEdit), "abc");
  ASSERT_EQ(events_.notices.size(), 3u);
  EXPECT_EQ(events_.notices[0], std::make_pair(int{kDefault}, N::kClicked));
  EXPECT_EQ(events_.notices[1], std::make_pair(int{kEdit}, N::kEditChange));
  // The edit's limit holds for the user and for TypeText alike.
  EXPECT_EQ(form_->Text(kEdit), "ab");
  form_->TypeText(kEdit, "12345");
  EXPECT_EQ(form_->Text(kEdit), "12");
}

TEST_F(QtFormTest, TextsListsAndProgress) {
  form_->SetText(kLabel, "one\r\ntwo");
  EXPECT_EQ(Find<QLabel>(kLabel)->text(), QString("one\ntwo"));
  EXPECT_EQ(form_->Text(kLabel), "one\r\ntwo");
  form_->SetText(kGroup, "Frame");
  EXPECT_EQ(form_->Text(kGroup), "Frame");
  EXPECT_EQ(form_->Text(kButton), "Press");
  // Markup is shown as it stands.
  form_->SetText(kLabel, "<b>x</b>");
  EXPECT_EQ(Find<QLabel>(kLabel)->textFormat(), Qt::PlainText);
  EXPECT_EQ(form_->Text(kLabel), "<b>x</b>");

  // The template's items come first, with data 0.
  ASSERT_EQ(form_->ItemCount(kDrop), 3);
  EXPECT_EQ(form_->ItemText(kDrop, 1), "green");
  EXPECT_EQ(form_->ItemData(kDrop, 1), 0);
  EXPECT_EQ(form_->CurSel(kDrop), 0);
  form_->ResetContent(kDrop);
  EXPECT_EQ(form_->ItemCount(kDrop), 0);
  EXPECT_EQ(form_->CurSel(kDrop), -1);
  EXPECT_EQ(form_->AddItem(kDrop, "(none)", -1), 0);
  EXPECT_EQ(form_->AddItem(kDrop, "COM3", 3), 1);
  EXPECT_EQ(form_->AddItem(kDrop, "COM12", 12), 2);
  EXPECT_EQ(form_->FindItemData(kDrop, 12), 2);
  EXPECT_EQ(form_->FindItemData(kDrop, -1), 0);
  EXPECT_EQ(form_->FindItemData(kDrop, 4), -1);
  form_->SetCurSel(kDrop, 2);
  EXPECT_EQ(form_->Text(kDrop), "COM12");
  form_->SetCurSel(kDrop, 9);
  EXPECT_EQ(form_->CurSel(kDrop), -1);
  EXPECT_EQ(form_->ItemText(kDrop, 9), "");
  EXPECT_EQ(form_->ItemData(kDrop, -1), 0);

  form_->SetProgressPos(kBar, 40);
  EXPECT_EQ(form_->ProgressPos(kBar), 40);
  form_->SetProgressPos(kBar, 140);
  EXPECT_EQ(form_->ProgressPos(kBar), 100);
}

TEST_F(QtFormTest, PaneKindsSetBackgroundAndWeight) {
  form_->ShowPaneMessage(kPane, "Failed.\r\nTry again?", PaneKind::kError, true);
  EXPECT_EQ(form_->Text(kPane), "Failed.\r\nTry again?");
  EXPECT_EQ(Find<QTextEdit>(kPane)->toPlainText(), QString("Failed.\nTry again?"));
  EXPECT_EQ(form_->PaneBackground(kPane), kPaneErrorBackground);
  EXPECT_TRUE(form_->PaneBold(kPane));
  form_->ShowPaneMessage(kPane, "Updated.", PaneKind::kSuccess, false);
  EXPECT_EQ(form_->Text(kPane), "Updated.");
  EXPECT_EQ(form_->PaneBackground(kPane), kPaneSuccessBackground);
  EXPECT_TRUE(form_->PaneBold(kPane));
  form_->ShowPaneMessage(kPane, "Press Begin Update.", PaneKind::kNeutral, false);
  EXPECT_EQ(form_->PaneBackground(kPane), ButtonFaceColour());
  EXPECT_FALSE(form_->PaneBold(kPane));
  EXPECT_NE(ButtonFaceColour(), kPaneErrorBackground);
}

TEST_F(QtFormTest, TimersTickUntilKilledAndRestartWhenSetAgain) {
  EXPECT_FALSE(form_->TimerRunning(5));
  form_->SetTimer(5, 10);
  form_->SetTimer(6, 10);
  EXPECT_TRUE(form_->TimerRunning(5));
  ASSERT_TRUE(WaitUntil([&] { return events_.timers.size() >= 6; }, 5000));
  EXPECT_TRUE(form_->KillTimer(5));
  EXPECT_FALSE(form_->KillTimer(5));
  EXPECT_TRUE(form_->KillTimer(6));
  events_.timers.clear();
  ProcessEvents(50);
  QTest::qWait(50);
  EXPECT_TRUE(events_.timers.empty());
  form_->SetTimer(5, 10);
  form_->SetTimer(5, 20);  // restarted, still one timer
  ASSERT_TRUE(WaitUntil([&] { return events_.timers.size() >= 2; }, 5000));
  for (int id : events_.timers) EXPECT_EQ(id, 5);
}

TEST_F(QtFormTest, PostedRecordsArriveInOrderAndTheRestAreFreedOnce) {
  EXPECT_EQ(form_->PostTarget(), 0u);
  form_->AcceptPosted({"WindowingTestNote"});
  const TargetHandle target = form_->PostTarget();
  ASSERT_NE(target, 0u);
  const MessageId note = RegisterPostedMessage("WindowingTestNote");
  const MessageId other = RegisterPostedMessage("WindowingTestOther");
  CountedRecord::destroyed = 0;
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i)
      EXPECT_TRUE(PostRecord(target, note, std::make_unique<CountedRecord>(i)));
    // Not a message the form takes: freed on arrival.
    PostRecord(target, other, std::make_unique<CountedRecord>(99));
  });
  worker.join();
  EXPECT_EQ(CountedRecord::destroyed.load(), 1);
  ASSERT_TRUE(WaitUntil([&] { return events_.posted.size() == 20; }, 5000));
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(events_.posted[i].first, note);
    auto* record = dynamic_cast<CountedRecord*>(events_.posted[i].second.get());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->number, i);
  }
  events_.posted.clear();
  EXPECT_EQ(CountedRecord::destroyed.load(), 21);

  // Records still queued when the form goes are freed with it, and later posts fail.
  for (int i = 0; i < 5; ++i) PostRecord(target, note, std::make_unique<CountedRecord>(i));
  form_.reset();
  EXPECT_EQ(CountedRecord::destroyed.load(), 26);
  EXPECT_FALSE(PostRecord(target, note, std::make_unique<CountedRecord>(7)));
  EXPECT_EQ(CountedRecord::destroyed.load(), 27);
  ProcessEvents(20);
  EXPECT_TRUE(events_.posted.empty());
  EXPECT_EQ(CountedRecord::destroyed.load(), 27);
}

TEST_F(QtFormTest, AcceleratorKeyNotifiesItsControlEvenWhenHidden) {
  host_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(host_.get()));
  // Through the window system, where shortcuts are looked up.
  QTest::keyClick(host_->windowHandle(), Qt::Key_F5);
  ASSERT_EQ(events_.notices.size(), 1u);
  EXPECT_EQ(events_.notices[0], std::make_pair(int{kHiddenButton}, Notification::kClicked));
}

// A dialog on the test template that records its life.
class TestDialog : public Dialog {
 public:
  TestDialog() : Dialog(kTestDialog) {}
  std::vector<std::string> calls;

 protected:
  void OnInitDialog() override {
    calls.push_back("init");
    form().SetText(kLabel, "ready");
  }
  void OnDestroyWindow() override { calls.push_back("destroy:" + form().Text(kLabel)); }
  void OnControl(int control_id, Notification) override {
    calls.push_back("control:" + std::to_string(control_id));
  }
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallResources(&kTestResources); }
  void TearDown() override {
    SetModalDialogHandler(nullptr);
    InstallResources(nullptr);
  }
};

TEST_F(DialogTest, ModalLoopEndsThroughDoneEscapeOrTheCloseBox) {
  {
    TestDialog dialog;
    PostTask([&] {
      ASSERT_TRUE(dialog.IsOpen());
      QWidget* window = ToWidget(dialog.form().Window());
      EXPECT_TRUE(window->isModal());
      EXPECT_EQ(window->windowTitle(), QString("Test Dialog"));
      EXPECT_EQ(dialog.form().Caption(), "Test Dialog");
      dialog.form().SetCaption("About Flashwright");
      EXPECT_EQ(window->windowTitle(), QString("About Flashwright"));
      EXPECT_EQ(window->size(), QSize(220, 80));
      dialog.form().Click(kButton);
      dialog.form().Click(1);
    });
    EXPECT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_FALSE(dialog.IsOpen());
    const std::vector<std::string> expected = {"init", "control:102", "destroy:ready"};
    EXPECT_EQ(dialog.calls, expected);
  }
  {
    TestDialog dialog;
    PostTask([&] { QTest::keyClick(ToWidget(dialog.form().Window()), Qt::Key_Escape); });
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_EQ(dialog.calls.size(), 2u);
  }
  {
    TestDialog dialog;
    PostTask([&] { ToWidget(dialog.form().Window())->close(); });
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_EQ(dialog.calls.back(), "destroy:ready");
  }
}

TEST_F(DialogTest, HandlerDrivesTheOpenDialogInPlaceOfTheLoop) {
  int seen_template = 0;
  SetModalDialogHandler([&](Dialog& dialog) {
    seen_template = dialog.TemplateId();
    EXPECT_EQ(dialog.form().Text(kLabel), "ready");
    EXPECT_FALSE(ToWidget(dialog.form().Window())->isModal());
    dialog.form().Click(1);
    return kDialogOk;
  });
  TestDialog dialog;
  EXPECT_EQ(dialog.DoModal(), kDialogOk);
  EXPECT_EQ(seen_template, kTestDialog);
  EXPECT_EQ(dialog.calls.size(), 2u);

  // A handler that leaves the dialog open: it is still ended, once.
  SetModalDialogHandler([](Dialog&) { return kDialogCancel; });
  TestDialog left_open;
  EXPECT_EQ(left_open.DoModal(), kDialogCancel);
  const std::vector<std::string> expected = {"init", "destroy:ready"};
  EXPECT_EQ(left_open.calls, expected);
}

}  // namespace
}  // namespace flashwright::ui::test
