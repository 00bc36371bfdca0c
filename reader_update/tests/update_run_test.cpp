// Update runs through the reader update view against simulated readers: success, progress,
// failures with and without a retry, the basic view's already-updated case, the Ctrl-held
// discovery report, reset configuration, and runs whose window or files go away.
#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "shell/command_ids.h"
#include "tools/app_harness/app_harness.h"
#include "windowing/qt_post_target.h"
#include "reader_update/download_engine.h"
#include "reader_update/kindler_view.h"
#include "reader_update/progress_position.h"
#include "reader_update/update_workers.h"
#include "reader_link/transport.h"

using flashwright::test::AppHarness;

namespace flashwright {

namespace {

constexpr std::uint8_t kResetCommand = 0x32;
constexpr std::uint8_t kEnterDownloadCommand = 0x3C;
const QColor kRed(192, 0, 0);
const QColor kGreen(0, 192, 0);

bool Enabled(AppHarness& harness, int id) { return harness.Find<QWidget>(id)->isEnabled(); }

CKindlerView* ViewOf(AppHarness& harness) {
  return dynamic_cast<CKindlerView*>(harness.Frame().ActiveView());
}

// Watches the progress bar after every programming note the view handles.
class BarWatcher : public QObject {
 public:
  explicit BarWatcher(AppHarness& harness) : harness_(harness) {
    harness.Frame().ActiveView()->installEventFilter(this);
  }
  std::vector<int> positions;
  std::vector<std::string> statuses;
  std::vector<std::pair<int, int>> ranges;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    ui::PostedRecordEvent* posted = ui::PostedRecordEvent::From(event);
    if (!posted) return false;
    const MessageId message = posted->message();
    if (auto* note = dynamic_cast<const ProgressNote*>(posted->record());
        note && message == ProgramProgressMessage()) {
      ranges.emplace_back(note->range_start, note->range_end);
    }
    watched->event(event);
    if (message == ProgramProgressMessage()) {
      positions.push_back(harness_.Find<QProgressBar>(1003)->value());
      statuses.push_back(harness_.ControlText(1004));
    }
    return true;
  }

 private:
  AppHarness& harness_;
};

}  // namespace

class UpdateRunTest : public QObject {
  Q_OBJECT

 private slots:
  void ProgressPositions() {
    QCOMPARE(ProgressPosition(0, 100, 8, 50, 200), 25);
    QCOMPARE(ProgressPosition(0, 100, 24, 200, 200), 100);
    QCOMPARE(ProgressPosition(0, 100, 24, 199, 200), 99);  // the end only once all is sent
    QCOMPARE(ProgressPosition(0, 100, 0, 100, 200), 0);    // line 0: the start
    QCOMPARE(ProgressPosition(50, 100, 8, 100, 200), 75);
    QCOMPARE(ProgressPosition(50, 50, 8, 100, 200), 50);
    QCOMPARE(ProgressPosition(0, 100, 8, 10, 0), 0);  // no total
  }

  void SuccessfulRun() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1", 2048));
    sim::ReaderSimOptions options;
    options.version_after_download = 0x0A04F200;
    sim::ReaderSimulator& reader = harness.AddReader(1, options);
    harness.control_held = true;
    QVERIFY(harness.Start({"/C", "1"}));
    harness.control_held = false;
    BarWatcher watcher(harness);

    harness.ClickBeginUpdate();
    QVERIFY(harness.App().IsBusy());
    QCOMPARE(harness.PaneText(),
             std::string("Firmware update in progress...DO NOT POWER OFF THE DEVICE..."));
    QVERIFY(!Enabled(harness, 1001) && !Enabled(harness, 1010) && !Enabled(harness, 1012));
    QVERIFY(!Enabled(harness, 1038) && !Enabled(harness, 1005));
    harness.Frame().UpdateCommandStates();
    QVERIFY(!harness.Frame().MenuItem(kCmdUsbDevice)->isEnabled());
    QVERIFY(!harness.Frame().MenuItem(kCmdExit)->isEnabled());

    QVERIFY(harness.WaitUntilIdle());
    QCOMPARE(harness.PaneText(), std::string("Reader firmware on COM 1 successfully updated.\n"
                                             "Reset configuration (TagIt,ISO) successful."));
    QCOMPARE(harness.PaneBackground(), kGreen);
    QVERIFY(harness.PaneBold());
    QCOMPARE(reader.Image().size(), std::size_t{2048 / 16 + 1});
    QCOMPARE(reader.RequestCount(kResetCommand), std::size_t{1});
    // The reader information was read again: the new version shows.
    QCOMPARE(harness.ControlText(1007).substr(0, 8), std::string("4.242.0*"));
    QVERIFY(!harness.Find<QProgressBar>(1003)->isVisible());
    QVERIFY(Enabled(harness, 1001) && Enabled(harness, 1010) && Enabled(harness, 1005));
    QCOMPARE(harness.Frame().windowTitle(), QString("Flashwright [RFID Reader]"));

    // Positions rise to 100, the first note says Initializing, the last Finishing.
    QVERIFY(watcher.positions.size() >= 3);
    QCOMPARE(watcher.positions.front(), 0);
    QCOMPARE(watcher.statuses.front(), std::string("Initializing..."));
    QCOMPARE(watcher.positions.back(), 100);
    QVERIFY(watcher.statuses.back().find("...Finishing...") != std::string::npos);
    for (std::size_t i = 1; i < watcher.positions.size(); ++i)
      QVERIFY(watcher.positions[i] >= watcher.positions[i - 1]);
  }

  // A file name that is not valid UTF-8 reaches the worker with its own bytes.
  void FirmwareNameKeepsItsBytes() {
    AppHarness harness;
    const std::string name = "Reader_\xE9t\xE9_\xFF";
    QVERIFY(harness.AddImage(name, 512));
    sim::ReaderSimulator& reader = harness.AddReader(1);
    harness.control_held = true;
    QVERIFY(harness.Start({"/C", "1"}));
    harness.control_held = false;
    std::string selected;
    bool is_package = true;
    QVERIFY(ViewOf(harness)->SelectedFirmware(&selected, &is_package));
    QCOMPARE(selected, name);
    QVERIFY(!is_package);

    harness.ClickBeginUpdate();
    QVERIFY(harness.WaitUntilIdle());
    QCOMPARE(harness.PaneText(), std::string("Reader firmware on COM 1 successfully updated.\n"
                                             "Reset configuration (TagIt,ISO) successful."));
    QCOMPARE(reader.Image().size(), std::size_t{512 / 16 + 1});
  }

  void ProgressNotesSetBarAndTitle() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    QVERIFY(harness.Start());
    CKindlerView* view = ViewOf(harness);
    auto note = std::make_unique<ProgressNote>();
    note->range_start = 0;
    note->range_end = 100;
    note->image_index = 1;
    note->image_count = 2;
    note->consumed = 50;
    note->total = 200;
    note->line = 8;
    harness.Frame().showMinimized();
    QTRY_VERIFY(harness.Frame().isMinimized());
    view->OnProgramProgress(std::move(note));
    QCOMPARE(harness.Find<QProgressBar>(1003)->value(), 25);
    QCOMPARE(harness.ControlText(1004), std::string("(1 of 2) Program Line: 8"));
    QCOMPARE(harness.Frame().windowTitle(), QString("Flashwright 25%"));

    auto verify = std::make_unique<ProgressNote>();
    verify->image_index = 1;
    verify->image_count = 1;
    verify->line = 24;
    verify->last = 1;
    view->OnVerifyProgress(std::move(verify));
    QCOMPARE(harness.Find<QProgressBar>(1003)->value(), 25);  // the check leaves the bar
    QCOMPARE(harness.ControlText(1004), std::string("Verify Line: 24...Finishing..."));
    harness.Frame().showNormal();
  }

  void PackageOfTwoImages() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Part_A", 1024));
    QVERIFY(harness.AddImage("Part_B", 1024));
    QVERIFY(harness.AddFile("Bundle.xml", test::PackageXml({"Part_A", "Part_B"})));
    harness.AddReader(1);
    harness.control_held = true;
    QVERIFY(harness.Start({"/C", "1", "/P", "none"}));
    harness.control_held = false;
    harness.ChooseFirmware("Bundle");
    BarWatcher watcher(harness);
    harness.ClickBeginUpdate();
    QVERIFY(harness.WaitUntilIdle());
    QCOMPARE(harness.PaneText(), std::string("Reader firmware on COM 1 successfully updated."));
    QVERIFY(!watcher.positions.empty());
    QCOMPARE(watcher.positions.front(), 0);
    QCOMPARE(watcher.positions.back(), 100);
    // Two images of equal size: 0 to 50, then 50 to 100; the second starts where the first
    // one's half ends.
    QCOMPARE(watcher.ranges.front(), std::make_pair(0, 50));
    QCOMPARE(watcher.ranges.back(), std::make_pair(50, 100));
    bool second_starts_at_half = false;
    for (std::size_t i = 1; i < watcher.statuses.size(); ++i) {
      if (watcher.statuses[i] == "(2 of 2) Initializing...") {
        second_starts_at_half = watcher.positions[i] == 50 && watcher.positions[i - 1] == 50;
      }
    }
    QVERIFY(second_starts_at_half);
  }

  void FailureAnsweredYesStartsRecoverRun() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1", 2048));
    sim::ReaderSimulator& reader = harness.AddReader(1);
    // The cable is pulled after 40 record frames; the reader then waits in download mode. Its
    // answer to the last one is "busy", so the host pauses before sending it again and finds
    // the line gone.
    reader.HangUpAfterRecords(40);
    reader.SetRecordAckStatus(39, 0xFE);
    QVERIFY(harness.Start({"/C", "1"}));
    harness.answers.push_back(ui::kAnswerYes);
    // Right after the question is answered the new run must hold the controls.
    bool busy_after_yes = false;
    bool begin_disabled_after_yes = false;
    ui::SetMessageBoxHandler([&](const ui::MessageBoxRequest& request) {
      harness.boxes.push_back(request);
      QTimer::singleShot(0, [&] {
        busy_after_yes = harness.App().IsBusy();
        begin_disabled_after_yes = !Enabled(harness, 1001) && !Enabled(harness, 1010);
      });
      return int{ui::kAnswerYes};
    });
    harness.ClickBeginUpdate();
    QVERIFY(harness.WaitUntilIdle(60000));
    QVERIFY2(harness.boxes.size() == 1, harness.PaneText().c_str());
    const std::string& question = harness.boxes[0].text;
    QVERIFY2(question.rfind("Reader update on COM 1 failed. Check reader power and serial "
                            "cables.\r\n(Err:",
                            0) == 0,
             question.c_str());
    QVERIFY(question.size() > 14 && question.substr(question.size() - 14) == "\r\n\r\nTry again?");
    QCOMPARE(harness.boxes[0].style & ui::kButtonMask, unsigned{ui::kButtonsYesNo});
    QCOMPARE(harness.boxes[0].style & ui::kIconMask, unsigned{ui::kIconError});
    QVERIFY(busy_after_yes);
    QVERIFY(begin_disabled_after_yes);
    // The recover run sent the image without a second enter-download request.
    QCOMPARE(reader.RequestCount(kEnterDownloadCommand), std::size_t{1});
    QCOMPARE(harness.PaneText().rfind("Reader firmware on COM 1 successfully updated.", 0),
             std::size_t{0});
    QCOMPARE(reader.Image().size(), std::size_t{2048 / 16 + 1});
    // The bootloader of a recover run is unknown to the view only after auto-detect; here the
    // view read 2.03 from the reader, so no power-reset line.
    QVERIFY(harness.PaneText().find("RESET POWER ON READER.") == std::string::npos);
    QVERIFY(!harness.App().IsBusy());
  }

  void FailureAnsweredNoPointsToRecoverMode() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1", 2048));
    sim::ReaderSimulator& reader = harness.AddReader(1);
    reader.HangUpAfterRecords(20);
    reader.SetRecordAckStatus(19, 0xFE);
    QVERIFY(harness.Start({"/C", "1"}));
    harness.answers.push_back(ui::kAnswerNo);
    harness.ClickBeginUpdate();
    QVERIFY(harness.WaitUntilIdle(60000));
    QCOMPARE(harness.boxes.size(), std::size_t{1});
    const std::string text = harness.PaneText();
    QVERIFY2(text.find("Reader update on COM 1 failed.") == 0, text.c_str());
    QVERIFY2(text.find("\nBefore trying again, reset power on device and select Tools: Recover "
                       "from Download Error using Advanced View.") != std::string::npos,
             text.c_str());
    QVERIFY(text.find("\n(Err:") != std::string::npos);
    QCOMPARE(harness.PaneBackground(), kRed);
    QVERIFY(!harness.App().IsBusy());
    QVERIFY(Enabled(harness, 1001));
  }

  void BasicViewAlreadyUpdated() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_42418"));
    sim::ReaderSimulator& reader = harness.AddReader(1);  // 4.241.8
    QVERIFY(harness.Start({"/C", "1"}));
    harness.ClickBeginUpdate();
    QCOMPARE(harness.PaneText(), std::string("Reader firmware on COM 1 already updated.\n"
                                             "Reset configuration (TagIt,ISO) successful."));
    QCOMPARE(harness.PaneBackground(), kGreen);
    QCOMPARE(reader.RecordLog().size(), std::size_t{0});
    QCOMPARE(reader.RequestCount(kEnterDownloadCommand), std::size_t{0});
    QCOMPARE(reader.RequestCount(kResetCommand), std::size_t{1});
    QVERIFY(!harness.App().IsBusy());

    // Without a reset selection only the first line; in the advanced view the image is sent.
    AppHarness advanced;
    QVERIFY(advanced.AddImage("Reader_42418"));
    sim::ReaderSimulator& second = advanced.AddReader(1);
    QVERIFY(advanced.Start({"/C", "1", "/P", "none"}));
    advanced.ClickBeginUpdate();
    QCOMPARE(advanced.PaneText(), std::string("Reader firmware on COM 1 already updated."));
    advanced.Command(kCmdAdvanced);
    advanced.ClickBeginUpdate();
    QVERIFY(advanced.WaitUntilIdle());
    QCOMPARE(advanced.PaneText(), std::string("Reader firmware on COM 1 successfully updated."));
    QVERIFY(second.RecordLog().size() > 0);
  }

  void CtrlHeldAutoDetectOnlyReports() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    sim::ReaderSimulator& reader = harness.AddReader(1);
    QVERIFY(harness.ConfigurePortInRegistry(1));
    QVERIFY(harness.Start({"/O", "G4.100"}));
    harness.control_held = true;
    harness.ClickBeginUpdate();
    const std::string text = harness.PaneText();
    QVERIFY2(text.rfind("Reader version A04F108 (Bootloader 0203,flags ", 0) == 0, text.c_str());
    QVERIFY2(text.find(") found on COM 1 using Ravelin Reg 1.00. Version is too old to update.") !=
                 std::string::npos,
             text.c_str());
    QVERIFY(!harness.PaneBold());
    QVERIFY(!harness.App().IsBusy());
    QCOMPARE(reader.RequestCount(kEnterDownloadCommand), std::size_t{0});

    // Without Ctrl the same discovery leads to the gate's refusal.
    harness.control_held = false;
    harness.ClickBeginUpdate();
    QCOMPARE(harness.PaneText(), std::string("Cannot update reader firmware on COM 1. The reader "
                                             "version is 4.241.8. Contact service."));
    QCOMPARE(harness.PaneBackground(), kRed);
  }

  void AutoDetectRunAndMissingReader() {
    {  // Found through the configuration: the run goes to that port; the view's bootloader is
       // unknown, so the reader is told to be power-cycled.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      sim::ReaderSimulator& reader = harness.AddReader(2);
      QVERIFY(harness.ConfigurePortInRegistry(2));
      harness.control_held = true;
      QVERIFY(harness.Start({"/P", "none"}));
      harness.control_held = false;
      harness.ClickBeginUpdate();
      QVERIFY(harness.WaitUntilIdle());
      QCOMPARE(harness.PaneText(), std::string("Reader firmware on COM 2 successfully updated.\n"
                                               "RESET POWER ON READER."));
      QVERIFY(reader.RecordLog().size() > 0);
      // The advanced view selects the port it updated.
      QCOMPARE(harness.Find<QComboBox>(1010)->currentData().toInt(), 2);
    }
    {  // Nothing anywhere: 132.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      QVERIFY(harness.Start());
      harness.ClickBeginUpdate();
      QCOMPARE(harness.PaneText(), std::string("No reader found."));
      QCOMPARE(harness.PaneBackground(), kRed);
    }
  }

  void ResetConfigurationButton() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    sim::ReaderSimulator& reader = harness.AddReader(1);
    harness.control_held = true;
    QVERIFY(harness.Start({"/C", "1"}));
    harness.Find<QPushButton>(1005)->click();
    QCOMPARE(harness.boxes.size(), std::size_t{1});
    QCOMPARE(harness.boxes[0].text, std::string("Reset configuration (TagIt,ISO) successful."));
    QCOMPARE(harness.boxes[0].style & ui::kIconMask, 0u);

    reader.SetCommandStatus(kResetCommand, 1);
    harness.Find<QPushButton>(1005)->click();
    QCOMPARE(harness.boxes.size(), std::size_t{2});
    QCOMPARE(harness.boxes[1].text, std::string("Reset configuration (TagIt,ISO) returned error "
                                                "-33. Reader may not support the command."));
    QCOMPARE(harness.boxes[1].style & ui::kIconMask, unsigned{ui::kIconError});

    harness.Find<QCheckBox>(1038)->click();  // ISO only
    reader.SetCommandStatus(kResetCommand, 0);
    harness.Find<QPushButton>(1005)->click();
    QCOMPARE(harness.boxes.back().text, std::string("Reset configuration (ISO) successful."));
    QCOMPARE(reader.RequestCount(kResetCommand), std::size_t{3});
  }

  void VanishingFirmwareFolder() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    harness.AddReader(1);
    QVERIFY(harness.Start({"/C", "1"}));
    std::filesystem::remove_all(harness.FirmwareFolder());
    harness.ClickBeginUpdate();
    QVERIFY(harness.WaitUntilIdle());
    const std::string text = harness.PaneText();
    QVERIFY2(text.rfind("Firmware file Reader_1 not found. Check firmware directory at " +
                            harness.FirmwareFolder() + ".\n(Err:2,Line:0)",
                        0) == 0,
             text.c_str());
    QVERIFY(harness.boxes.empty());  // a check failure offers no retry
    QVERIFY(!harness.App().IsBusy());
    QVERIFY(Enabled(harness, 1001));
  }

  void DamagedImageFailsInTheCheck() {
    AppHarness harness;
    QVERIFY(harness.AddFile("Broken.hex", ":10000000zz not a record at all\r\n"));
    QVERIFY(harness.AddImage("Short", 16, 0x40));
    harness.AddReader(1);
    harness.control_held = true;
    QVERIFY(harness.Start({"/C", "1", "/F", "Broken"}));
    harness.control_held = false;
    harness.ClickBeginUpdate();
    QVERIFY(harness.WaitUntilIdle());
    QVERIFY2(harness.PaneText().rfind("File error. File Broken or directory " +
                                          harness.FirmwareFolder() +
                                          " may be invalid or damaged.\n(Err:-7,Line:1)",
                                      0) == 0,
             harness.PaneText().c_str());
    QVERIFY(harness.boxes.empty());
    QVERIFY(!harness.App().IsBusy());
  }

  void NoticesForAViewThatIsGone() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    QVERIFY(harness.Start());
    // Notices queued for the view and never handled, because the view is replaced first, are
    // freed with their events (the sanitizer build reports a leak otherwise).
    auto* view = ViewOf(harness);
    QVERIFY(view);
    int handled = 0;
    struct Counter : QObject {
      int* count;
      explicit Counter(int* c) : count(c) {}
      bool eventFilter(QObject*, QEvent* event) override {
        if (ui::PostedRecordEvent::From(event)) ++*count;
        return false;
      }
    } counter(&handled);
    view->installEventFilter(&counter);
    // Posted as a worker posts them, to the handle a job carries.
    const TargetHandle target = view->PostTargetHandle();
    QVERIFY(target != 0);
    for (int i = 0; i < 3; ++i) {
      auto note = std::make_unique<ProgressNote>();
      note->line = 8;
      note->total = 100;
      note->consumed = 10;
      note->range_end = 100;
      QVERIFY(PostRecord(target, ProgramProgressMessage(), std::move(note)));
    }
    QVERIFY(PostRecord(target, UpdateCompleteMessage(), std::make_unique<UpdateJob>()));
    harness.Command(kCmdUsbDevice);  // the view goes before its events are delivered
    QCoreApplication::processEvents();
    QCOMPARE(handled, 0);
    // Its target is gone: a late record is refused and freed.
    QVERIFY(!PostRecord(target, ProgramProgressMessage(), std::make_unique<ProgressNote>()));
    QVERIFY(!harness.App().IsBusy());
  }

  void WindowClosedWhileWorkerPosts() {
    sim::ReaderSimOptions options;
    options.paced = true;  // slow enough that the run outlives the window
    auto harness = std::make_unique<AppHarness>();
    QVERIFY(harness->AddImage("Reader_1", 4096));
    sim::ReaderSimulator& reader = harness->AddReader(1, options);
    QVERIFY(harness->Start({"/C", "1", "/P", "none"}));
    harness->ClickBeginUpdate();
    QVERIFY(reader.WaitForRequests(20, std::chrono::seconds(20)));
    QVERIFY(harness->App().IsBusy());
    // The program goes away in the middle of the run: the view's notices find no target.
    harness->App().ExitInstance();
    QVERIFY(!harness->App().IsBusy());
    // The exit waited for the worker, which stopped after the record it was sending and
    // closed the port; its records are freed (the sanitizer build reports a leak or a double
    // free otherwise).
    QCOMPARE(RunningUpdateWorkers(), std::size_t{0});
    QVERIFY(ReaderPortHandle() == nullptr);
    const std::size_t records = 4096 / 16 + 1;
    const std::size_t sent = reader.RecordLog().size();
    QVERIFY(sent > 0);
    QVERIFY(reader.Image().size() < records);
    QTest::qWait(300);
    QCoreApplication::processEvents();
    QCOMPARE(reader.RecordLog().size(), sent);
  }
};

}  // namespace flashwright

QTEST_MAIN(flashwright::UpdateRunTest)
#include "update_run_test.moc"
