// Misuse of the windowing layer: unknown template, control and menu identifiers, a message box
// asked for while another is open, records for a form that is gone. Debug builds stop with a
// message naming what was asked for; release builds go on with the stated defaults.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "windowing/backend.h"
#include "windowing/dialog.h"
#include "windowing/event_loop.h"
#include "windowing/form_view.h"
#include "windowing/message_box.h"
#include "windowing/qt/native_window_qt.h"
#include "windowing/tests/test_templates.h"

namespace flashwright::ui::test {
namespace {

class MisuseTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallResources(&kTestResources); }
  void TearDown() override { InstallResources(nullptr); }
};

class EmptyView : public FormView {
 public:
  explicit EmptyView(int template_id) : FormView(template_id) {}
  ~EmptyView() override { DestroyForm(); }
  ViewKind Kind() const override { return ViewKind::kReader; }
  void OnInitialUpdate() override {}
  bool OnCommand(int) override { return false; }
  bool OnUpdateCommand(CommandState&) override { return false; }
  bool HasCommand(int) const override { return false; }
  void OnNotify(int, Notification) override {}
};

class NoDialog : public Dialog {
 public:
  NoDialog() : Dialog(4242) {}
};

#ifndef NDEBUG

TEST_F(MisuseTest, DebugBuildsStopAndNameWhatWasAskedFor) {
  RecordingEvents events;
  auto form = CreateChildForm(*FindDialogTemplate(kTestForm), {}, events);
  EXPECT_DEATH(form->SetText(4711, "x"), "windowing: no such control in the form 4711");
  EXPECT_DEATH(form->CurSel(4712), "4712");
  EXPECT_DEATH(FindDialogTemplate(4242), "windowing: no dialog template 4242");
  EXPECT_DEATH(FindMenuTemplate(4343), "windowing: no menu 4343");
  EXPECT_DEATH(
      {
        EmptyView view(4242);
        view.Create({}, {});
      },
      "no dialog template 4242");
  EXPECT_DEATH(
      {
        SetMessageBoxHandler([](const MessageBoxRequest&) {
          // Something the first box let through asks for a second.
          return MessageBox({}, "second", "Flashwright", kButtonsOk);
        });
        MessageBox({}, "first", "Flashwright", kButtonsOk);
      },
      "windowing: message box asked for while another is open");
}

#else

TEST_F(MisuseTest, ReleaseBuildsGoOnWithTheDefaults) {
  RecordingEvents events;
  auto form = CreateChildForm(*FindDialogTemplate(kTestForm), {}, events);
  form->SetText(4711, "x");
  form->Enable(4711, false);
  form->Show(4711, true);
  form->SetCheck(4711, true);
  form->ResetContent(4711);
  form->SetCurSel(4711, 1);
  form->SetProgressPos(4711, 5);
  form->ShowPaneMessage(4711, "x", PaneKind::kError, true);
  form->Click(4711);
  form->Choose(4711, 0);
  form->TypeText(4711, "x");
  form->SetFocus(4711);
  EXPECT_EQ(form->Text(4711), "");
  EXPECT_FALSE(form->IsEnabled(4711));
  EXPECT_FALSE(form->IsVisible(4711));
  EXPECT_FALSE(form->Checked(4711));
  EXPECT_EQ(form->AddItem(4711, "x", 1), -1);
  EXPECT_EQ(form->ItemCount(4711), 0);
  EXPECT_EQ(form->ItemText(4711, 0), "");
  EXPECT_EQ(form->ItemData(4711, 0), 0);
  EXPECT_EQ(form->CurSel(4711), -1);
  EXPECT_EQ(form->ProgressPos(4711), 0);
  EXPECT_EQ(form->PaneBackground(4711), Rgb{});
  EXPECT_FALSE(form->PaneBold(4711));
  EXPECT_TRUE(events.notices.empty());

  EXPECT_EQ(FindDialogTemplate(4242), nullptr);
  EXPECT_EQ(FindMenuTemplate(4343), nullptr);
  EmptyView view(4242);
  EXPECT_FALSE(view.Create({}, {}));
  EXPECT_FALSE(view.Created());
  NoDialog dialog;
  EXPECT_EQ(dialog.DoModal(), kDialogCancel);

  RecordingFrame frame_events;
  auto frame = CreateFrameWindow(frame_events);
  ASSERT_TRUE(frame->LoadMenu(kTestMenu));
  EXPECT_FALSE(frame->LoadMenu(4343));
  EXPECT_TRUE(frame->HasMenuItem(kCmdOne));  // the bar is unchanged

  // The second box is shown too, and both are answered.
  std::vector<std::string> shown;
  SetMessageBoxHandler([&](const MessageBoxRequest& request) {
    shown.push_back(request.text);
    if (request.text == "first") MessageBox({}, "second", "Flashwright", kButtonsOk);
    return int{kAnswerOk};
  });
  EXPECT_EQ(MessageBox({}, "first", "Flashwright", kButtonsOk), kAnswerOk);
  SetMessageBoxHandler(nullptr);
  EXPECT_EQ(shown, std::vector<std::string>({"first", "second"}));
}

#endif

TEST_F(MisuseTest, RealBoxesOneOverAnotherAreBothAnswered) {
#ifndef NDEBUG
  GTEST_SKIP() << "debug builds stop at the second box";
#else
  // From inside the first box's loop, a timer asks for a second box; each box is answered
  // by the user a moment after it appears.
  int second_answer = 0;
  QTimer::singleShot(50, [&] {
    QTimer::singleShot(100, [] {
      if (QWidget* box = QApplication::activeModalWidget()) static_cast<QMessageBox*>(box)->done(0);
    });
    second_answer = MessageBox({}, "second", "Flashwright", kButtonsOk | kIconWarning);
    QTimer::singleShot(50, [] {
      if (QWidget* box = QApplication::activeModalWidget()) static_cast<QMessageBox*>(box)->done(0);
    });
  });
  EXPECT_EQ(MessageBox({}, "first", "Flashwright", kButtonsOk), kAnswerOk);
  EXPECT_EQ(second_answer, kAnswerOk);
#endif
}

TEST_F(MisuseTest, RecordForAViewThatIsGoneIsFreedOnce) {
  CountedRecord::destroyed = 0;
  const MessageId note = RegisterPostedMessage("WindowingGoneNote");
  TargetHandle target = 0;
  {
    auto view = std::make_unique<EmptyView>(kTestForm);
    ASSERT_TRUE(view->Create({}, {}));
    view->form().AcceptPosted({"WindowingGoneNote"});
    target = view->form().PostTarget();
    EXPECT_TRUE(PostRecord(target, note, std::make_unique<CountedRecord>(1)));
  }
  EXPECT_EQ(CountedRecord::destroyed.load(), 1);
  EXPECT_FALSE(PostRecord(target, note, std::make_unique<CountedRecord>(2)));
  EXPECT_EQ(CountedRecord::destroyed.load(), 2);
  ProcessEvents(20);
  EXPECT_EQ(CountedRecord::destroyed.load(), 2);
}

}  // namespace
}  // namespace flashwright::ui::test
