// Update runs through the reader update view against simulated readers: success, progress,
// failures with and without a retry, the basic view's already-updated case, the Ctrl-held
// discovery report, reset configuration, and runs whose window or files go away.
#include <gtest/gtest.h>

#include <filesystem>

#include "reader_link/transport.h"
#include "reader_update/download_engine.h"
#include "reader_update/kindler_view.h"
#include "reader_update/progress_position.h"
#include "reader_update/update_workers.h"
#include "shell/command_ids.h"
#include "tools/app_harness/app_harness.h"
#include "tools/app_harness/watching_shell.h"
#include "windowing/event_loop.h"

using flashwright::test::AppHarness;

namespace flashwright {

namespace {

constexpr std::uint8_t kResetCommand = 0x32;
constexpr std::uint8_t kEnterDownloadCommand = 0x3C;

CKindlerView* ViewOf(AppHarness& harness) {
  return dynamic_cast<CKindlerView*>(harness.Frame().ActiveView());
}

// The reader view's bar and status line at each programming note.
class BarWatcher : public test::WatchingShell {
 public:
  explicit BarWatcher(AppHarness& harness, bool read_controls = true)
      : WatchingShell(harness, kCmdRfidReader, read_controls ? 1003 : 0, 1004) {}
};

TEST(UpdateRunTest, ProgressPositions) {
  EXPECT_EQ(ProgressPosition(0, 100, 8, 50, 200), 25);
  EXPECT_EQ(ProgressPosition(0, 100, 24, 200, 200), 100);
  EXPECT_EQ(ProgressPosition(0, 100, 24, 199, 200), 99);  // the end only once all is sent
  EXPECT_EQ(ProgressPosition(0, 100, 0, 100, 200), 0);    // line 0: the start
  EXPECT_EQ(ProgressPosition(50, 100, 8, 100, 200), 75);
  EXPECT_EQ(ProgressPosition(50, 50, 8, 100, 200), 50);
  EXPECT_EQ(ProgressPosition(0, 100, 8, 10, 0), 0);  // no total
}

TEST(UpdateRunTest, SuccessfulRun) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1", 2048));
  sim::ReaderSimOptions options;
  options.version_after_download = 0x0A04F200;
  sim::ReaderSimulator& reader = harness.AddReader(1, options);
  harness.control_held = true;
  ASSERT_TRUE(harness.Start({"/C", "1"}));
  harness.control_held = false;
  BarWatcher watcher(harness);

  harness.ClickBeginUpdate();
  EXPECT_TRUE(harness.App().IsBusy());
  EXPECT_EQ(harness.PaneText(),
            std::string("Firmware update in progress...DO NOT POWER OFF THE DEVICE..."));
  EXPECT_TRUE(!harness.Enabled(1001) && !harness.Enabled(1010) && !harness.Enabled(1012));
  EXPECT_TRUE(!harness.Enabled(1038) && !harness.Enabled(1005));
  harness.Window().RefreshMenuStates();
  EXPECT_TRUE(!harness.Window().MenuItemEnabled(kCmdUsbDevice));
  EXPECT_TRUE(!harness.Window().MenuItemEnabled(kCmdExit));

  EXPECT_TRUE(harness.WaitUntilIdle());
  EXPECT_EQ(harness.PaneText(), std::string("Reader firmware on COM 1 successfully updated.\n"
                                            "Reset configuration (TagIt,ISO) successful."));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneSuccessBackground);
  EXPECT_TRUE(harness.PaneBold());
  EXPECT_EQ(reader.Image().size(), std::size_t{2048 / 16 + 1});
  EXPECT_EQ(reader.RequestCount(kResetCommand), std::size_t{1});
  // The reader information was read again: the new version shows.
  EXPECT_EQ(harness.ControlText(1007).substr(0, 8), std::string("4.242.0*"));
  EXPECT_TRUE(!harness.Visible(1003));
  EXPECT_TRUE(harness.Enabled(1001) && harness.Enabled(1010) && harness.Enabled(1005));
  EXPECT_EQ(harness.Title(), std::string("Flashwright [RFID Reader]"));

  // Positions rise to 100, the first note says Initializing, the last Finishing.
  EXPECT_TRUE(watcher.positions.size() >= 3);
  EXPECT_EQ(watcher.positions.front(), 0);
  EXPECT_EQ(watcher.statuses.front(), std::string("Initializing..."));
  EXPECT_EQ(watcher.positions.back(), 100);
  EXPECT_TRUE(watcher.statuses.back().find("...Finishing...") != std::string::npos);
  for (std::size_t i = 1; i < watcher.positions.size(); ++i)
    EXPECT_TRUE(watcher.positions[i] >= watcher.positions[i - 1]);
}

// A file name that is not valid UTF-8 reaches the worker with its own bytes.
TEST(UpdateRunTest, FirmwareNameKeepsItsBytes) {
  AppHarness harness;
  const std::string name = "Reader_\xE9t\xE9_\xFF";
  ASSERT_TRUE(harness.AddImage(name, 512));
  sim::ReaderSimulator& reader = harness.AddReader(1);
  harness.control_held = true;
  ASSERT_TRUE(harness.Start({"/C", "1"}));
  harness.control_held = false;
  std::string selected;
  bool is_package = true;
  EXPECT_TRUE(ViewOf(harness)->SelectedFirmware(&selected, &is_package));
  EXPECT_EQ(selected, name);
  EXPECT_TRUE(!is_package);

  harness.ClickBeginUpdate();
  EXPECT_TRUE(harness.WaitUntilIdle());
  EXPECT_EQ(harness.PaneText(), std::string("Reader firmware on COM 1 successfully updated.\n"
                                            "Reset configuration (TagIt,ISO) successful."));
  EXPECT_EQ(reader.Image().size(), std::size_t{512 / 16 + 1});
}

TEST(UpdateRunTest, ProgressNotesSetBarAndTitle) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  ASSERT_TRUE(harness.Start());
  CKindlerView* view = ViewOf(harness);
  auto note = std::make_unique<ProgressNote>();
  note->range_start = 0;
  note->range_end = 100;
  note->image_index = 1;
  note->image_count = 2;
  note->consumed = 50;
  note->total = 200;
  note->line = 8;
  harness.Window().SetMinimized(true);
  EXPECT_TRUE(ui::WaitUntil([&] { return harness.Window().IsMinimized(); }, 5000));
  view->OnProgramProgress(std::move(note));
  EXPECT_EQ(harness.ProgressPos(1003), 25);
  EXPECT_EQ(harness.ControlText(1004), std::string("(1 of 2) Program Line: 8"));
  EXPECT_EQ(harness.Title(), std::string("Flashwright 25%"));

  auto verify = std::make_unique<ProgressNote>();
  verify->image_index = 1;
  verify->image_count = 1;
  verify->line = 24;
  verify->last = 1;
  view->OnVerifyProgress(std::move(verify));
  EXPECT_EQ(harness.ProgressPos(1003), 25);  // the check leaves the bar
  EXPECT_EQ(harness.ControlText(1004), std::string("Verify Line: 24...Finishing..."));
  harness.Window().SetMinimized(false);
}

TEST(UpdateRunTest, PackageOfTwoImages) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Part_A", 1024));
  ASSERT_TRUE(harness.AddImage("Part_B", 1024));
  ASSERT_TRUE(harness.AddFile("Bundle.xml", test::PackageXml({"Part_A", "Part_B"})));
  harness.AddReader(1);
  harness.control_held = true;
  ASSERT_TRUE(harness.Start({"/C", "1", "/P", "none"}));
  harness.control_held = false;
  harness.ChooseFirmware("Bundle");
  BarWatcher watcher(harness);
  harness.ClickBeginUpdate();
  EXPECT_TRUE(harness.WaitUntilIdle());
  EXPECT_EQ(harness.PaneText(), std::string("Reader firmware on COM 1 successfully updated."));
  EXPECT_TRUE(!watcher.positions.empty());
  EXPECT_EQ(watcher.positions.front(), 0);
  EXPECT_EQ(watcher.positions.back(), 100);
  // Two images of equal size: 0 to 50, then 50 to 100; the second starts where the first
  // one's half ends.
  std::size_t second = 0;
  for (std::size_t i = 1; i < watcher.statuses.size() && second == 0; ++i) {
    if (watcher.statuses[i] == "(2 of 2) Initializing...") second = i;
  }
  ASSERT_NE(second, 0u);
  EXPECT_EQ(watcher.positions[second], 50);
  EXPECT_EQ(watcher.positions[second - 1], 50);
  for (std::size_t i = 0; i < watcher.positions.size(); ++i) {
    if (i < second) EXPECT_LE(watcher.positions[i], 50) << i;
    else EXPECT_GE(watcher.positions[i], 50) << i;
  }
}

TEST(UpdateRunTest, FailureAnsweredYesStartsRecoverRun) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1", 2048));
  sim::ReaderSimulator& reader = harness.AddReader(1);
  // The cable is pulled after 40 record frames; the reader then waits in download mode. Its
  // answer to the last one is "busy", so the host pauses before sending it again and finds
  // the line gone.
  reader.HangUpAfterRecords(40);
  reader.SetRecordAckStatus(39, 0xFE);
  ASSERT_TRUE(harness.Start({"/C", "1"}));
  harness.answers.push_back(ui::kAnswerYes);
  // Right after the question is answered the new run must hold the controls.
  bool busy_after_yes = false;
  bool begin_disabled_after_yes = false;
  ui::SetMessageBoxHandler([&](const ui::MessageBoxRequest& request) {
    harness.boxes.push_back(request);
    ui::PostTask([&] {
      busy_after_yes = harness.App().IsBusy();
      begin_disabled_after_yes = !harness.Enabled(1001) && !harness.Enabled(1010);
    });
    return int{ui::kAnswerYes};
  });
  harness.ClickBeginUpdate();
  EXPECT_TRUE(harness.WaitUntilIdle(60000));
  ASSERT_TRUE(harness.boxes.size() == 1) << harness.PaneText().c_str();
  const std::string& question = harness.boxes[0].text;
  EXPECT_TRUE(question.rfind("Reader update on COM 1 failed. Check reader power and serial "
                              "cables.\r\n(Err:",
                              0) == 0) << question.c_str();
  EXPECT_TRUE(question.size() > 14 &&
              question.substr(question.size() - 14) == "\r\n\r\nTry again?");
  EXPECT_EQ(harness.boxes[0].style & ui::kButtonMask, unsigned{ui::kButtonsYesNo});
  EXPECT_EQ(harness.boxes[0].style & ui::kIconMask, unsigned{ui::kIconError});
  EXPECT_TRUE(busy_after_yes);
  EXPECT_TRUE(begin_disabled_after_yes);
  // The recover run sent the image without a second enter-download request.
  EXPECT_EQ(reader.RequestCount(kEnterDownloadCommand), std::size_t{1});
  EXPECT_EQ(harness.PaneText().rfind("Reader firmware on COM 1 successfully updated.", 0),
            std::size_t{0});
  EXPECT_EQ(reader.Image().size(), std::size_t{2048 / 16 + 1});
  // The bootloader of a recover run is unknown to the view only after auto-detect; here the
  // view read 2.03 from the reader, so no power-reset line.
  EXPECT_TRUE(harness.PaneText().find("RESET POWER ON READER.") == std::string::npos);
  EXPECT_TRUE(!harness.App().IsBusy());
}

TEST(UpdateRunTest, FailureAnsweredNoPointsToRecoverMode) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1", 2048));
  sim::ReaderSimulator& reader = harness.AddReader(1);
  reader.HangUpAfterRecords(20);
  reader.SetRecordAckStatus(19, 0xFE);
  ASSERT_TRUE(harness.Start({"/C", "1"}));
  harness.answers.push_back(ui::kAnswerNo);
  harness.ClickBeginUpdate();
  EXPECT_TRUE(harness.WaitUntilIdle(60000));
  ASSERT_EQ(harness.boxes.size(), std::size_t{1});
  const std::string text = harness.PaneText();
  EXPECT_TRUE(text.find("Reader update on COM 1 failed.") == 0) << text.c_str();
  EXPECT_TRUE(text.find("\nBefore trying again, reset power on device and select Tools: Recover "
                         "from Download Error using Advanced View.") != std::string::npos) << text.c_str();
  EXPECT_TRUE(text.find("\n(Err:") != std::string::npos);
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  EXPECT_TRUE(!harness.App().IsBusy());
  EXPECT_TRUE(harness.Enabled(1001));
}

TEST(UpdateRunTest, BasicViewAlreadyUpdated) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_42418"));
  sim::ReaderSimulator& reader = harness.AddReader(1);  // 4.241.8
  ASSERT_TRUE(harness.Start({"/C", "1"}));
  harness.ClickBeginUpdate();
  EXPECT_EQ(harness.PaneText(), std::string("Reader firmware on COM 1 already updated.\n"
                                            "Reset configuration (TagIt,ISO) successful."));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneSuccessBackground);
  EXPECT_EQ(reader.RecordLog().size(), std::size_t{0});
  EXPECT_EQ(reader.RequestCount(kEnterDownloadCommand), std::size_t{0});
  EXPECT_EQ(reader.RequestCount(kResetCommand), std::size_t{1});
  EXPECT_TRUE(!harness.App().IsBusy());

  // Without a reset selection only the first line; in the advanced view the image is sent.
  AppHarness advanced;
  ASSERT_TRUE(advanced.AddImage("Reader_42418"));
  sim::ReaderSimulator& second = advanced.AddReader(1);
  ASSERT_TRUE(advanced.Start({"/C", "1", "/P", "none"}));
  advanced.ClickBeginUpdate();
  EXPECT_EQ(advanced.PaneText(), std::string("Reader firmware on COM 1 already updated."));
  advanced.Command(kCmdAdvanced);
  advanced.ClickBeginUpdate();
  EXPECT_TRUE(advanced.WaitUntilIdle());
  EXPECT_EQ(advanced.PaneText(), std::string("Reader firmware on COM 1 successfully updated."));
  EXPECT_TRUE(second.RecordLog().size() > 0);
}

TEST(UpdateRunTest, CtrlHeldAutoDetectOnlyReports) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  sim::ReaderSimulator& reader = harness.AddReader(1);
  ASSERT_TRUE(harness.ConfigurePortInRegistry(1));
  ASSERT_TRUE(harness.Start({"/O", "G4.100"}));
  harness.control_held = true;
  harness.ClickBeginUpdate();
  const std::string text = harness.PaneText();
  EXPECT_TRUE(text.rfind("Reader version A04F108 (Bootloader 0203,flags ", 0) == 0) << text.c_str();
  EXPECT_TRUE(text.find(") found on COM 1 using Ravelin Reg 1.00. Version is too old to update.") !=
                   std::string::npos) << text.c_str();
  EXPECT_TRUE(!harness.PaneBold());
  EXPECT_TRUE(!harness.App().IsBusy());
  EXPECT_EQ(reader.RequestCount(kEnterDownloadCommand), std::size_t{0});

  // Without Ctrl the same discovery leads to the gate's refusal.
  harness.control_held = false;
  harness.ClickBeginUpdate();
  EXPECT_EQ(harness.PaneText(), std::string("Cannot update reader firmware on COM 1. The reader "
                                            "version is 4.241.8. Contact service."));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
}

TEST(UpdateRunTest, AutoDetectRunAndMissingReader) {
  {  // Found through the configuration: the run goes to that port; the view's bootloader is
     // unknown, so the reader is told to be power-cycled.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    sim::ReaderSimulator& reader = harness.AddReader(2);
    ASSERT_TRUE(harness.ConfigurePortInRegistry(2));
    harness.control_held = true;
    ASSERT_TRUE(harness.Start({"/P", "none"}));
    harness.control_held = false;
    harness.ClickBeginUpdate();
    EXPECT_TRUE(harness.WaitUntilIdle());
    EXPECT_EQ(harness.PaneText(), std::string("Reader firmware on COM 2 successfully updated.\n"
                                              "RESET POWER ON READER."));
    EXPECT_TRUE(reader.RecordLog().size() > 0);
    // The advanced view selects the port it updated.
    EXPECT_EQ(harness.ItemData(1010, harness.Selection(1010)), 2);
  }
  {  // Nothing anywhere: 132.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    ASSERT_TRUE(harness.Start());
    harness.ClickBeginUpdate();
    EXPECT_EQ(harness.PaneText(), std::string("No reader found."));
    EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  }
}

TEST(UpdateRunTest, ResetConfigurationButton) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  sim::ReaderSimulator& reader = harness.AddReader(1);
  harness.control_held = true;
  ASSERT_TRUE(harness.Start({"/C", "1"}));
  harness.Press(1005);
  ASSERT_EQ(harness.boxes.size(), std::size_t{1});
  EXPECT_EQ(harness.boxes[0].text, std::string("Reset configuration (TagIt,ISO) successful."));
  EXPECT_EQ(harness.boxes[0].style & ui::kIconMask, 0u);

  reader.SetCommandStatus(kResetCommand, 1);
  harness.Press(1005);
  ASSERT_EQ(harness.boxes.size(), std::size_t{2});
  EXPECT_EQ(harness.boxes[1].text, std::string("Reset configuration (TagIt,ISO) returned error "
                                               "-33. Reader may not support the command."));
  EXPECT_EQ(harness.boxes[1].style & ui::kIconMask, unsigned{ui::kIconError});

  harness.Press(1038);  // ISO only
  reader.SetCommandStatus(kResetCommand, 0);
  harness.Press(1005);
  EXPECT_EQ(harness.boxes.back().text, std::string("Reset configuration (ISO) successful."));
  EXPECT_EQ(reader.RequestCount(kResetCommand), std::size_t{3});
}

TEST(UpdateRunTest, VanishingFirmwareFolder) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  harness.AddReader(1);
  ASSERT_TRUE(harness.Start({"/C", "1"}));
  std::filesystem::remove_all(harness.FirmwareFolder());
  harness.ClickBeginUpdate();
  EXPECT_TRUE(harness.WaitUntilIdle());
  const std::string text = harness.PaneText();
  EXPECT_TRUE(text.rfind("Firmware file Reader_1 not found. Check firmware directory at " +
                              harness.FirmwareFolder() + ".\n(Err:2,Line:0)",
                          0) == 0) << text.c_str();
  EXPECT_TRUE(harness.boxes.empty());  // a check failure offers no retry
  EXPECT_TRUE(!harness.App().IsBusy());
  EXPECT_TRUE(harness.Enabled(1001));
}

TEST(UpdateRunTest, DamagedImageFailsInTheCheck) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddFile("Broken.hex", ":10000000zz not a record at all\r\n"));
  ASSERT_TRUE(harness.AddImage("Short", 16, 0x40));
  harness.AddReader(1);
  harness.control_held = true;
  ASSERT_TRUE(harness.Start({"/C", "1", "/F", "Broken"}));
  harness.control_held = false;
  harness.ClickBeginUpdate();
  EXPECT_TRUE(harness.WaitUntilIdle());
  EXPECT_TRUE(harness.PaneText().rfind("File error. File Broken or directory " +
                                            harness.FirmwareFolder() +
                                            " may be invalid or damaged.\n(Err:-7,Line:1)",
                                        0) == 0) << harness.PaneText().c_str();
  EXPECT_TRUE(harness.boxes.empty());
  EXPECT_TRUE(!harness.App().IsBusy());
}

TEST(UpdateRunTest, NoticesForAViewThatIsGone) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  ASSERT_TRUE(harness.Start());
  // Notices queued for the view and never handled, because the view is replaced first, are
  // freed with their events (the sanitizer build reports a leak otherwise).
  auto* view = ViewOf(harness);
  ASSERT_TRUE(view);
  // A note or completion the view handled would move the title's percentage.
  BarWatcher counter(harness, false);
  // Posted as a worker posts them, to the handle a job carries.
  const TargetHandle target = view->PostTargetHandle();
  EXPECT_TRUE(target != 0);
  for (int i = 0; i < 3; ++i) {
    auto note = std::make_unique<ProgressNote>();
    note->line = 8;
    note->total = 100;
    note->consumed = 10;
    note->range_end = 100;
    EXPECT_TRUE(PostRecord(target, ProgramProgressMessage(), std::move(note)));
  }
  EXPECT_TRUE(PostRecord(target, UpdateCompleteMessage(), std::make_unique<UpdateJob>()));
  harness.Command(kCmdUsbDevice);  // the view goes before its events are delivered
  ui::ProcessEvents(50);
  EXPECT_TRUE(counter.title_progress.empty());
  // Its target is gone: a late record is refused and freed.
  EXPECT_TRUE(!PostRecord(target, ProgramProgressMessage(), std::make_unique<ProgressNote>()));
  EXPECT_TRUE(!harness.App().IsBusy());
}

TEST(UpdateRunTest, WindowClosedWhileWorkerPosts) {
  sim::ReaderSimOptions options;
  options.paced = true;  // slow enough that the run outlives the window
  auto harness = std::make_unique<AppHarness>();
  ASSERT_TRUE(harness->AddImage("Reader_1", 4096));
  sim::ReaderSimulator& reader = harness->AddReader(1, options);
  ASSERT_TRUE(harness->Start({"/C", "1", "/P", "none"}));
  harness->ClickBeginUpdate();
  EXPECT_TRUE(reader.WaitForRequests(20, std::chrono::seconds(20)));
  EXPECT_TRUE(harness->App().IsBusy());
  // The program goes away in the middle of the run: the view's notices find no target.
  harness->App().ExitInstance();
  EXPECT_TRUE(!harness->App().IsBusy());
  // The exit waited for the worker, which stopped after the record it was sending and
  // closed the port; its records are freed (the sanitizer build reports a leak or a double
  // free otherwise).
  EXPECT_EQ(RunningUpdateWorkers(), std::size_t{0});
  EXPECT_TRUE(ReaderPortHandle() == nullptr);
  const std::size_t records = 4096 / 16 + 1;
  const std::size_t sent = reader.RecordLog().size();
  EXPECT_TRUE(sent > 0);
  EXPECT_TRUE(reader.Image().size() < records);
  ui::WaitUntil([] { return false; }, 300);
  EXPECT_EQ(reader.RecordLog().size(), sent);
}

}  // namespace
}  // namespace flashwright
