// The reader update view outside an update run, driven through the real program against
// simulated readers: the prompt, the reader information, the message pane, the reset
// selection and the Tools commands' checks.
#include <gtest/gtest.h>

#include "reader_update/kindler_view.h"
#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "tools/app_harness/app_harness.h"

using flashwright::test::AppHarness;

namespace flashwright {

namespace {

constexpr std::uint8_t kPowerLevelCommand = 0x3E;

sim::ReaderSimOptions Reader(std::uint32_t version) {
  sim::ReaderSimOptions options;
  options.version = version;
  return options;
}

CKindlerView* ViewOf(AppHarness& harness) {
  return dynamic_cast<CKindlerView*>(harness.Frame().ActiveView());
}

TEST(KindlerViewTest, PromptForMissingPortOrFirmware) {
  {  // /C 7 without a COM7: nothing selected, 145 as an error.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    harness.AddReader(1);
    ASSERT_TRUE(harness.Start({"/C", "7"}));
    EXPECT_EQ(harness.Selection(1010), -1);
    EXPECT_EQ(static_cast<int>(harness.Items(1010).size()), 2);  // auto-detect, COM1
    EXPECT_EQ(harness.PaneText(),
              std::string("COM 7 does not exist. Select a different COM port using Advanced View."));
    EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
    EXPECT_TRUE(harness.PaneBold());
    EXPECT_TRUE(!harness.Enabled(1001));
  }
  {  // A command-line firmware that is not there: 136 with the folder.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    ASSERT_TRUE(harness.Start({"/F", "Missing"}));
    EXPECT_EQ(harness.PaneText(), "Firmware file Missing not found. Check firmware directory at " +
                                      harness.FirmwareFolder() + ".");
    EXPECT_TRUE(!harness.Enabled(1001));
  }
  {  // No firmware at all: 144.
    AppHarness harness;
    ASSERT_TRUE(harness.Start({"/D"}));
    EXPECT_EQ(harness.PaneText(),
              "No firmware files. Check firmware directory at " + harness.FirmwareFolder() + ".");
    EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  }
  {  // Both wrong at once: the two lines joined.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    ASSERT_TRUE(harness.Start({"/C", "9", "/F", "Other"}));
    EXPECT_EQ(harness.PaneText(),
              "COM 9 does not exist. Select a different COM port using Advanced View.\n"
              "Firmware file Other not found. Check firmware directory at " +
                  harness.FirmwareFolder() + ".");
  }
}

TEST(KindlerViewTest, PromptForTheReader) {
  {  // A reader that passes the gate: ready, as information.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    ASSERT_TRUE(harness.AddImage("Reader_2"));
    harness.AddReader(1);
    ASSERT_TRUE(harness.Start({"/C", "1", "/F", "reader_2.HEX"}));
    EXPECT_EQ(harness.SelectedText(1012), std::string("Reader_2"));
    EXPECT_EQ(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
    EXPECT_TRUE(!harness.PaneBold());
    EXPECT_EQ(harness.PaneBackground(), ui::ButtonFaceColour());
    EXPECT_TRUE(harness.Enabled(1001));
    // The basic view keeps the user on the chosen port and firmware.
    EXPECT_TRUE(!harness.Enabled(1010) && !harness.Enabled(1012));
    EXPECT_TRUE(!harness.Visible(1002));
  }
  {  // Too old for the default list: 133 with " Contact service.".
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    harness.AddReader(1, Reader(0x0A020005));
    ASSERT_TRUE(harness.Start({"/C", "1"}));
    EXPECT_EQ(harness.PaneText(), std::string("Cannot update reader firmware on COM 1. The reader "
                                              "version is 2.0.5. Contact service."));
    EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
    EXPECT_TRUE(!harness.Enabled(1001));
  }
  {  // Too new by the command line: 155.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    harness.AddReader(1);
    ASSERT_TRUE(harness.Start({"/C", "1", "/N", "g4.200"}));
    EXPECT_EQ(harness.PaneText(), std::string("Updating reader firmware on COM 1 is not allowed. "
                                              "The reader version is 4.241.8."));
    EXPECT_TRUE(!harness.Enabled(1001));
  }
  {  // A silent reader: "(no reader)" and 137, not an error; the advanced view has no suffix.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    harness.AddReader(1).SetFault(sim::SimFault::NoAnswer);
    harness.control_held = true;
    ASSERT_TRUE(harness.Start({"/C", "1"}));
    EXPECT_EQ(harness.ControlText(1007), std::string("(no reader)"));
    EXPECT_EQ(harness.ControlText(1009), std::string("NA"));
    EXPECT_EQ(harness.PaneText(),
              std::string("No reader found on COM 1. Select a different COM port."));
    EXPECT_TRUE(!harness.PaneBold());
    EXPECT_TRUE(!harness.Enabled(1001));
  }
  {  // Recover mode with auto-detect: 143; a COM port makes it ready without asking the reader.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    sim::ReaderSimulator& reader = harness.AddReader(2);
    harness.control_held = true;
    ASSERT_TRUE(harness.Start());
    harness.Command(kCmdRecover);
    EXPECT_EQ(harness.PaneText(), std::string("Select a COM port."));
    EXPECT_TRUE(!harness.Enabled(1001));
    EXPECT_TRUE(!harness.Enabled(1002) && !harness.Enabled(1007));
    const std::size_t before = reader.Requests().size();
    harness.ChoosePort(2);
    EXPECT_EQ(reader.Requests().size(), before);
    EXPECT_EQ(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
    EXPECT_TRUE(harness.Enabled(1001));
    EXPECT_TRUE(!harness.Enabled(1038) && !harness.Enabled(1005));
    // Tools that talk to the reader are greyed in recover mode; the copy is not.
    harness.Window().RefreshMenuStates();
    EXPECT_TRUE(!harness.Window().MenuItemEnabled(kCmdDiagnostics));
    EXPECT_TRUE(!harness.Window().MenuItemEnabled(kCmdPowerLevel));
    EXPECT_TRUE(harness.Window().MenuItemEnabled(kCmdCopyFirmware));
    EXPECT_TRUE(harness.Window().MenuItemChecked(kCmdRecover));
  }
}

TEST(KindlerViewTest, ReaderInformationTexts) {
  struct Case {
    sim::ReaderSimOptions options;
    const char* version_text;
    const char* power_text;
  };
  sim::ReaderSimOptions old_reader = Reader(0x0A020500);
  sim::ReaderSimOptions no_hardware_query = Reader(0x0A040000);
  sim::ReaderSimOptions four_watts;
  four_watts.power_class = 4;
  sim::ReaderSimOptions odd_class;
  odd_class.power_class = 7;
  sim::ReaderSimOptions desklet;
  desklet.platform = 1;
  desklet.capability = 0;
  desklet.power_level = 10;
  sim::ReaderSimOptions odd_level;
  odd_level.power_class = 2;
  odd_level.power_level = 9;
  const Case cases[] = {
      {sim::ReaderSimOptions{}, "4.241.8*\nBootloader:2.03\nPlatform:520/530", "1W"},
      {old_reader, "2.5.0\nBootloader:unknown\nPlatform:520/530", "NA"},
      {no_hardware_query, "4.0.0\nBootloader:unknown\nPlatform:520/530", "1W"},
      {four_watts, "4.241.8*\nBootloader:2.03\nPlatform:520/530", "4W"},
      {odd_class, "4.241.8*\nBootloader:2.03\nPlatform:520/530", "(R 7)"},
      {desklet, "4.241.8\nBootloader:2.03\nPlatform:Desklet", "100mW"},
      {odd_level, "4.241.8*\nBootloader:2.03\nPlatform:520/530", "(L 9)"},
  };
  for (const Case& c : cases) {
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    sim::ReaderSimulator& reader = harness.AddReader(1, c.options);
    harness.control_held = true;
    ASSERT_TRUE(harness.Start({"/C", "1"}));
    EXPECT_EQ(harness.ControlText(1007), std::string(c.version_text));
    EXPECT_EQ(harness.ControlText(1009), std::string(c.power_text));
    const bool settings = c.options.version > 0x0A02FFFF;
    EXPECT_EQ(harness.Enabled(1038), settings);
    EXPECT_EQ(harness.Enabled(1039), settings);
    EXPECT_EQ(harness.Enabled(1005), settings);
    if (c.options.power_class == 4 || c.options.power_class == 7 || !settings) {
      EXPECT_EQ(reader.RequestCount(kPowerLevelCommand), std::size_t{0});
    }
  }
}

TEST(KindlerViewTest, PortChangeReadsTheReaderAgain) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  harness.AddReader(1);
  harness.AddReader(3, Reader(0x0A030201));
  harness.control_held = true;
  ASSERT_TRUE(harness.Start());
  EXPECT_EQ(harness.ControlText(1007), std::string());
  EXPECT_EQ(static_cast<int>(harness.Items(1010).size()), 3);
  harness.ChoosePort(3);
  EXPECT_EQ(harness.ControlText(1007).substr(0, 6), std::string("3.2.1\n"));
  EXPECT_EQ(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
  harness.ChoosePort(0);
  EXPECT_EQ(harness.ControlText(1007), std::string());
  EXPECT_EQ(harness.ControlText(1009), std::string("NA"));
  EXPECT_TRUE(harness.Enabled(1001));  // auto-detect is accepted outside recover mode
  EXPECT_TRUE(!harness.Enabled(1005));
}

TEST(KindlerViewTest, ResetSelectionIsRemembered) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  harness.AddReader(1);
  harness.control_held = true;
  ASSERT_TRUE(harness.Start({"/C", "1", "/P", "iso"}));
  EXPECT_TRUE(!harness.Checked(1038) && harness.Checked(1039));
  EXPECT_TRUE(harness.Enabled(1005));
  harness.Press(1039);
  EXPECT_TRUE(!harness.Enabled(1005));
  harness.Press(1038);
  EXPECT_TRUE(harness.Enabled(1005));
  CKindlerView* view = ViewOf(harness);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(int{view->ResetSelection()}, 1);

  // The selection outlives the view.
  harness.Command(kCmdUsbDevice);
  harness.Command(kCmdRfidReader);
  EXPECT_TRUE(harness.Checked(1038));
  EXPECT_TRUE(!harness.Checked(1039));
}

TEST(KindlerViewTest, ToolCommandsNeedAReader) {
  {  // Auto-detect finds nothing: "No reader found." in an error box.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    harness.control_held = true;
    ASSERT_TRUE(harness.Start());
    harness.Command(kCmdPortalAfi);
    ASSERT_EQ(harness.boxes.size(), std::size_t{1});
    EXPECT_EQ(harness.boxes[0].text, std::string("No reader found."));
    EXPECT_EQ(harness.boxes[0].caption, std::string("Flashwright"));
    EXPECT_EQ(harness.boxes[0].style & ui::kIconMask, unsigned{ui::kIconError});
  }
  {  // Discovery fails on the configured port: 141 with the error.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    harness.AddReader(1).SetFault(sim::SimFault::NoAnswer);
    ASSERT_TRUE(harness.ConfigurePortInRegistry(1));
    harness.control_held = true;
    ASSERT_TRUE(harness.Start());
    harness.Command(kCmdDiagnostics);
    ASSERT_EQ(harness.boxes.size(), std::size_t{1});
    EXPECT_EQ(harness.boxes[0].text,
              std::string("Cannot detect reader on COM 1. Exit other applications and try "
                          "again.\r\n(error -5)"));
  }
  {  // The power level dialog opens on the selected port; afterwards the view reads the
     // reader information again.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    sim::ReaderSimulator& reader = harness.AddReader(1);
    harness.control_held = true;
    ASSERT_TRUE(harness.Start({"/C", "1"}));
    EXPECT_EQ(harness.ControlText(1009), std::string("1W"));
    std::string dialog_title;
    harness.dialog_handler = [&](ui::Dialog& dialog) {
      dialog_title = dialog.form().Template().caption;
      sim::ReaderSimOptions changed = reader.Options();
      changed.power_level = 4;
      reader.SetOptions(changed);
      dialog.OnNotify(ui::kIdCancel, ui::Notification::kClicked);
      return int{ui::kDialogCancel};
    };
    harness.Command(kCmdPowerLevel);
    EXPECT_EQ(harness.dialogs, std::vector<int>{kIddPowerLevel});
    EXPECT_EQ(dialog_title, std::string("RF Power Level"));
    EXPECT_EQ(harness.ControlText(1009), std::string("400mW"));
    EXPECT_TRUE(harness.boxes.empty());
  }
  {  // A silent reader on the selected port has no version: no dialog either.
    AppHarness harness;
    ASSERT_TRUE(harness.AddImage("Reader_1"));
    harness.AddReader(1).SetFault(sim::SimFault::NoAnswer);
    harness.control_held = true;
    ASSERT_TRUE(harness.Start({"/C", "1"}));
    harness.Command(kCmdTransmitMode);
    ASSERT_EQ(harness.boxes.size(), std::size_t{1});
    EXPECT_EQ(harness.boxes[0].text, std::string("No reader found."));
  }
}

}  // namespace
}  // namespace flashwright
