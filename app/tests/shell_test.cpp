// The application shell driven through the real program: the command line, the view shown
// first, the menu sets with their check marks, the title, and what is refused while busy.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/about_dlg.h"
#include "app/command_line_info.h"
#include "app/kindler_doc.h"
#include "reader_update/kindler_view.h"
#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "tools/app_harness/app_harness.h"
#include "usb_update/ezusb_fw_update_view.h"
#include "windowing/device_change.h"
#include "windowing/event_loop.h"

using flashwright::test::AppHarness;

namespace flashwright {

namespace {

// The popups of the menu bar, each known by an item of its own.
std::vector<std::string> PopupsShown(ui::FrameWindow& window) {
  const std::pair<const char*, int> popups[] = {{"File", kCmdExit},
                                                {"View", kCmdBasic},
                                                {"Tools", kCmdDiagnostics},
                                                {"Tools", kCmdAllowNonMatching},
                                                {"Device", kCmdUsbDevice},
                                                {"Help", kCmdAbout}};
  std::vector<std::string> shown;
  for (const auto& [title, item] : popups)
    if (window.HasMenuItem(item)) shown.push_back(title);
  return shown;
}

bool Checked(CMainFrame& frame, int command) { return frame.Window().MenuItemChecked(command); }

std::string ItemText(CMainFrame& frame, int command) {
  return frame.Window().MenuItemText(command).value_or("<no item>");
}

RunOptions Parse(const std::vector<std::string>& arguments) {
  RunOptions options;
  CFWCommandLineInfo info(options);
  ParseCommandLine(info, arguments);
  return options;
}

}  // namespace

TEST(ShellTest, CommandLineSwitches) {
    RunOptions none = Parse({});
    EXPECT_TRUE(none.reader_enabled && none.usb_enabled);
    EXPECT_EQ(none.limits.too_old, std::vector<std::string>{"L2.1"});

    EXPECT_TRUE(Parse({"/o", "none"}).limits.too_old.empty());
    EXPECT_EQ(Parse({"/O", "l2.5"}).limits.too_old, std::vector<std::string>{"L2.5"});
    EXPECT_EQ(Parse({"/O", "L2.0", "G3"}).limits.too_old, (std::vector<std::string>{"L2.0", "G3"}));
    EXPECT_EQ(Parse({"-n", "g5", "NONE", "g6"}).limits.too_new, std::vector<std::string>{"G6"});

    RunOptions port = Parse({"/C", "3", "4"});
    EXPECT_TRUE(port.port_given);
    EXPECT_EQ(port.port, 4);
    RunOptions letters = Parse({"/C", "abc"});
    EXPECT_TRUE(letters.port_given);
    EXPECT_EQ(letters.port, 0);
    EXPECT_TRUE(!Parse({"/C", "-2"}).port_given);
    EXPECT_EQ(Parse({"/C", "99999999999"}).port, INT32_MAX);

    RunOptions iso = Parse({"/P", "iso"});
    EXPECT_TRUE(iso.tag_type_given);
    EXPECT_EQ(int{iso.tag_type}, 2);
    EXPECT_TRUE(!Parse({"/P", "tagit"}).tag_type_given);
    EXPECT_EQ(int{Parse({"/p", "ti"}).tag_type}, 1);

    RunOptions d_alone = Parse({"/D"});
    EXPECT_TRUE(!d_alone.reader_enabled && !d_alone.usb_enabled);
    RunOptions d_usb = Parse({"/D", "USB"});
    EXPECT_TRUE(!d_usb.reader_enabled && d_usb.usb_enabled);

    RunOptions usb_file = Parse({"-uf", "update.bin"});
    EXPECT_TRUE(usb_file.usb_firmware_given);
    EXPECT_EQ(usb_file.usb_firmware, std::string("update.bin"));

    EXPECT_EQ(Parse({"/USM", "Abc"}).usb_markers, std::vector<std::string>{"Abc"});
    EXPECT_EQ(Parse({"/O", "abc"}).limits.too_old, std::vector<std::string>{"ABC"});

    // Stray words, unknown switches and empty arguments change nothing.
    RunOptions stray = Parse({"hello", "/X", "7", "", "-", "/", "/F", "", "/ZZZ", "/P", "bad"});
    EXPECT_TRUE(!stray.port_given && !stray.reader_firmware_given && !stray.tag_type_given);
    EXPECT_EQ(stray.limits.too_old, std::vector<std::string>{"L2.1"});
    RunOptions firmware = Parse({"/F", "Reader.HEX"});
    EXPECT_EQ(firmware.reader_firmware, std::string("Reader.HEX"));
  }

TEST(ShellTest, FirstViewFollowsOptionsAndFirmware) {
    {  // No arguments, an image beside the program: the reader view.
      AppHarness harness;
      EXPECT_TRUE(harness.AddImage("Reader_1"));
      EXPECT_TRUE(harness.Start());
      EXPECT_EQ(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
      EXPECT_TRUE(harness.Window().IsShown());
    }
    {  // No image (a package alone does not count): the USB view.
      AppHarness harness;
      EXPECT_TRUE(harness.AddFile("Only.xml", test::PackageXml({"Reader_1"})));
      EXPECT_TRUE(harness.Start());
      EXPECT_EQ(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    }
    {  // A USB file without a reader file wins over the images.
      AppHarness harness;
      EXPECT_TRUE(harness.AddImage("Reader_1"));
      EXPECT_TRUE(harness.Start({"-uf", "update.bin"}));
      EXPECT_EQ(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    }
    {  // ... unless a reader file is given too.
      AppHarness harness;
      EXPECT_TRUE(harness.AddImage("Reader_1"));
      EXPECT_TRUE(harness.Start({"-uf", "update.bin", "/F", "Reader_1"}));
      EXPECT_EQ(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
    }
    {  // /D alone: only the reader counts as enabled, even without firmware.
      AppHarness harness;
      EXPECT_TRUE(harness.Start({"/D"}));
      EXPECT_EQ(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
    }
    {  // /D USB: the USB view, whatever lies in the firmware folder.
      AppHarness harness;
      EXPECT_TRUE(harness.AddImage("Reader_1"));
      EXPECT_TRUE(harness.Start({"/D", "USB"}));
      EXPECT_EQ(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    }
    {  // The firmware folder is missing altogether.
      AppHarness harness;
      std::filesystem::remove_all(harness.FirmwareFolder());
      EXPECT_TRUE(harness.Start());
      EXPECT_EQ(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    }
  }

TEST(ShellTest, AViewMadeAfterTheStartReadsTheFirmwareFolderAgain) {
    AppHarness harness;
    EXPECT_TRUE(harness.AddImage("Reader_1"));
    EXPECT_TRUE(harness.Start());
    EXPECT_EQ(harness.Items(kIdcFirmwareSelector), (std::vector<std::string>{"Reader_1"}));
    // The start read the folder once for the first view; the next reader view reads it again.
    EXPECT_TRUE(harness.AddImage("Reader_2"));
    harness.Command(kCmdUsbDevice);
    harness.Command(kCmdRfidReader);
    EXPECT_EQ(harness.Items(kIdcFirmwareSelector),
              (std::vector<std::string>{"Reader_1", "Reader_2"}));
  }

TEST(ShellTest, AFailedStartTellsTheUser) {
    AppHarness harness;  // answers the message box
    EXPECT_TRUE(harness.AddImage("Reader_1"));
    // Without view classes the first view cannot be created.
    CKindlerApp app;
    EXPECT_TRUE(!app.InitInstance({}));
    EXPECT_TRUE(!app.MainFrame());
    EXPECT_EQ(harness.boxes.size(), std::size_t{1});
    EXPECT_EQ(harness.boxes[0].text, std::string("Failed to create empty document."));
    EXPECT_EQ(harness.boxes[0].caption, std::string("Flashwright"));
    EXPECT_EQ(harness.boxes[0].style & ui::kButtonMask, unsigned{ui::kButtonsOk});
    EXPECT_EQ(harness.boxes[0].style & ui::kIconMask, unsigned{ui::kIconWarning});
    EXPECT_EQ(app.ExitInstance(), 0);
  }

TEST(ShellTest, MenuSetsAndCheckMarks) {
    AppHarness harness;
    EXPECT_TRUE(harness.AddImage("Reader_1"));
    EXPECT_TRUE(harness.Start());
    CMainFrame& frame = harness.Frame();
    EXPECT_EQ(frame.CurrentMenuId(), kMenuBasic);
    EXPECT_EQ(PopupsShown(frame.Window()),
              (std::vector<std::string>{"File", "View", "Device", "Help"}));
    EXPECT_EQ(ItemText(frame, kCmdUsbDevice), "USB Device");
    EXPECT_EQ(ItemText(frame, kCmdRfidReader), "RFID Reader");
    EXPECT_TRUE(Checked(frame, kCmdBasic) && !Checked(frame, kCmdAdvanced));
    EXPECT_TRUE(Checked(frame, kCmdRfidReader) && !Checked(frame, kCmdUsbDevice));
    EXPECT_EQ(ItemText(frame, kCmdAbout), "About Flashwright...");
    EXPECT_EQ(ItemText(frame, kCmdExit), "Exit");
    EXPECT_FALSE(frame.Window().HasMenuItem(kCmdDiagnostics));

    harness.Command(kCmdAdvanced);
    EXPECT_EQ(frame.CurrentMenuId(), kMenuReaderAdvanced);
    EXPECT_EQ(PopupsShown(frame.Window()),
              (std::vector<std::string>{"File", "View", "Tools", "Device", "Help"}));
    EXPECT_EQ(ItemText(frame, kCmdUsbDevice), "USB Device");
    EXPECT_TRUE(Checked(frame, kCmdAdvanced) && !Checked(frame, kCmdBasic));
    EXPECT_TRUE(Checked(frame, kCmdRfidReader));
    EXPECT_EQ(ItemText(frame, kCmdCopyFirmware), "Copy Firmware To Memory Card...");
    EXPECT_EQ(ItemText(frame, kCmdSecurityMethod), "Q-Series Security Method...");
    EXPECT_TRUE(!Checked(frame, kCmdRecover));

    // Triggering the menu item as the user does: the check marks follow the handler.
    harness.ChooseMenuItem(kCmdRecover);
    EXPECT_TRUE(Checked(frame, kCmdRecover));
    harness.ChooseMenuItem(kCmdRecover);
    EXPECT_TRUE(!Checked(frame, kCmdRecover));

    // The advanced set survives a switch of views; the USB view has its own Tools menu.
    harness.ChooseMenuItem(kCmdUsbDevice);
    EXPECT_EQ(frame.ActiveView()->Kind(), ui::ViewKind::kUsb);
    EXPECT_EQ(frame.CurrentMenuId(), kMenuUsbAdvanced);
    EXPECT_EQ(ItemText(frame, kCmdRfidReader), "RFID Reader");
    EXPECT_TRUE(frame.Window().HasMenuItem(kCmdAllowNonMatching));
    EXPECT_TRUE(Checked(frame, kCmdUsbDevice) && !Checked(frame, kCmdRfidReader));
    EXPECT_TRUE(Checked(frame, kCmdAdvanced));
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright [USB Device]"));

    harness.Command(kCmdRfidReader);
    EXPECT_EQ(frame.ActiveView()->Kind(), ui::ViewKind::kReader);
    EXPECT_EQ(frame.CurrentMenuId(), kMenuReaderAdvanced);
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright [RFID Reader]"));
    // Choosing the view already shown only refreshes the check marks.
    ui::FormView* shown = frame.ActiveView();
    harness.Command(kCmdRfidReader);
    EXPECT_EQ(frame.ActiveView(), shown);
    EXPECT_TRUE(Checked(frame, kCmdRfidReader) && !Checked(frame, kCmdUsbDevice));
  }

TEST(ShellTest, DevicePopupAbsentWithOneKind) {
    AppHarness harness;
    harness.control_held = true;
    EXPECT_TRUE(harness.Start({"/D", "USB"}));
    CMainFrame& frame = harness.Frame();
    EXPECT_EQ(frame.CurrentMenuId(), kMenuUsbAdvanced);
    EXPECT_EQ(PopupsShown(frame.Window()), (std::vector<std::string>{"File", "View", "Tools", "Help"}));
    EXPECT_FALSE(frame.Window().HasMenuItem(kCmdRfidReader));
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright"));
    harness.Command(kCmdBasic);
    EXPECT_EQ(PopupsShown(frame.Window()), (std::vector<std::string>{"File", "View", "Help"}));
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright"));

    AppHarness reader_only;
    EXPECT_TRUE(reader_only.Start({"/D", "RFID"}));
    EXPECT_EQ(reader_only.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
    EXPECT_FALSE(reader_only.Window().HasMenuItem(kCmdUsbDevice));
  }

TEST(ShellTest, CtrlIsSampledOnce) {
    AppHarness harness;
    EXPECT_TRUE(harness.AddImage("Reader_1"));
    harness.control_held = true;
    EXPECT_TRUE(harness.Start());
    EXPECT_EQ(harness.Frame().CurrentMenuId(), kMenuReaderAdvanced);
    EXPECT_TRUE(Checked(harness.Frame(), kCmdAdvanced));
    // Letting go of Ctrl later changes nothing: the choice was made at start.
    harness.control_held = false;
    harness.Command(kCmdUsbDevice);
    EXPECT_EQ(harness.Frame().CurrentMenuId(), kMenuUsbAdvanced);
  }

TEST(ShellTest, TitleWhileMinimised) {
    AppHarness harness;
    EXPECT_TRUE(harness.AddImage("Reader_1"));
    EXPECT_TRUE(harness.Start());
    CMainFrame& frame = harness.Frame();
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright [RFID Reader]"));
    frame.SetTitleProgress(kCmdRfidReader, 37);
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright [RFID Reader]"));  // not minimised
    frame.Window().SetMinimized(true);
    ASSERT_TRUE(harness.WaitFor([&] { return frame.Window().IsMinimized(); }));
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright 37%"));
    frame.SetTitleProgress(kCmdRfidReader, 101);
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright [RFID Reader]"));
    frame.SetTitleProgress(kCmdRfidReader, 0);
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright 0%"));
    frame.SetTitleProgress(kCmdRfidReader, -1);
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright [RFID Reader]"));
    frame.SetTitleProgress(kCmdRfidReader, 37);
    frame.Window().SetMinimized(false);
    ASSERT_TRUE(harness.WaitFor([&] { return !frame.Window().IsMinimized(); }));
    EXPECT_EQ(frame.Window().Title(), std::string("Flashwright [RFID Reader]"));
  }

TEST(ShellTest, BusyGreysCommandsAndRefusesClose) {
    AppHarness harness;
    EXPECT_TRUE(harness.AddImage("Reader_1"));
    EXPECT_TRUE(harness.Start());
    CMainFrame& frame = harness.Frame();
    harness.App().SetBusy(true);
    frame.UpdateCommandStates();
    for (int command : {kCmdExit, kCmdAbout, kCmdRfidReader, kCmdUsbDevice, kCmdBasic,
                        kCmdAdvanced}) {
      EXPECT_FALSE(frame.Window().MenuItemEnabled(command)) << command;
    }
    // A greyed command does nothing even when it is routed.
    harness.Command(kCmdUsbDevice);
    EXPECT_EQ(frame.ActiveView()->Kind(), ui::ViewKind::kReader);
    frame.Window().RequestClose();
    EXPECT_TRUE(frame.Window().IsShown());

    harness.App().SetBusy(false);
    frame.UpdateCommandStates();
    EXPECT_TRUE(frame.Window().MenuItemEnabled(kCmdExit));
    EXPECT_TRUE(frame.Window().MenuItemEnabled(kCmdAbout));

    // About shows the product and version.
    std::string about_title, product, version;
    harness.dialog_handler = [&](ui::Dialog& dialog) {
      about_title = dialog.form().Caption();
      product = dialog.form().Text(kIdcAboutProduct);
      version = dialog.form().Text(kIdcAboutVersion);
      dialog.form().Click(ui::kIdOk);
      return int{ui::kDialogOk};
    };
    harness.Command(kCmdAbout);
    EXPECT_EQ(harness.dialogs, std::vector<int>{kIddAbout});
    EXPECT_EQ(about_title, std::string("About Flashwright"));
    EXPECT_EQ(product, std::string("Flashwright"));
    EXPECT_EQ(version, std::string("Version 1.50.001.0"));

    harness.Command(kCmdExit);
    EXPECT_FALSE(frame.Window().IsShown());
  }

TEST(ShellTest, DeviceChangesReachOnlyTheUsbView) {
    AppHarness harness;
    EXPECT_TRUE(harness.Start({"/D", "USB"}));
    auto* usb = dynamic_cast<CEZUSBFWUpdateView*>(harness.Frame().ActiveView());
    EXPECT_TRUE(usb);
    EXPECT_EQ(usb->SelectedDevice(), -1);
    // A device that comes while the view is shown is listed once the frame passes the
    // notice on.
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0);
    EXPECT_TRUE(harness.WaitFor([&] { return usb->SelectedDevice() == 0; }));

    AppHarness reader;
    EXPECT_TRUE(reader.AddImage("Reader_1"));
    EXPECT_TRUE(reader.Start());
    // Delivered to the frame and dropped there without harm.
    reader.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0);
    reader.Frame().OnDeviceChange(ui::kDeviceNodesChanged, 0);
    ui::ProcessEvents(20);
    EXPECT_EQ(reader.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
  }

}  // namespace flashwright
