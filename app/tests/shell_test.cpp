// The application shell driven through the real program: the command line, the view shown
// first, the menu sets with their check marks, the title, and what is refused while busy.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QLabel>
#include <QTest>
#include <filesystem>

#include "app/about_dlg.h"
#include "shell/command_ids.h"
#include "app/command_line_info.h"
#include "app/kindler_doc.h"
#include "tools/app_harness/app_harness.h"
#include "windowing/device_change.h"
#include "windowing/modal_dialog.h"
#include "reader_update/kindler_view.h"
#include "usb_update/ezusb_fw_update_view.h"

using flashwright::test::AppHarness;

namespace flashwright {

namespace {

std::vector<std::string> PopupTitles(CMainFrame& frame) {
  std::vector<std::string> titles;
  for (QAction* popup : frame.menuBar()->actions()) titles.push_back(popup->text().toStdString());
  return titles;
}

// The item texts of the popup titled `title`, in menu order.
std::vector<std::string> PopupItems(CMainFrame& frame, const char* title) {
  std::vector<std::string> items;
  for (QAction* popup : frame.menuBar()->actions()) {
    if (popup->text() != QString::fromUtf8(title) || !popup->menu()) continue;
    for (QAction* item : popup->menu()->actions()) items.push_back(item->text().toStdString());
  }
  return items;
}

bool Checked(CMainFrame& frame, int command) {
  QAction* item = frame.MenuItem(command);
  return item && item->isChecked();
}

RunOptions Parse(const std::vector<std::string>& arguments) {
  RunOptions options;
  CFWCommandLineInfo info(options);
  ParseCommandLine(info, arguments);
  return options;
}

}  // namespace

class ShellTest : public QObject {
  Q_OBJECT

 private slots:
  void CommandLineSwitches() {
    RunOptions none = Parse({});
    QVERIFY(none.reader_enabled && none.usb_enabled);
    QCOMPARE(none.limits.too_old, std::vector<std::string>{"L2.1"});

    QVERIFY(Parse({"/o", "none"}).limits.too_old.empty());
    QCOMPARE(Parse({"/O", "l2.5"}).limits.too_old, std::vector<std::string>{"L2.5"});
    QCOMPARE(Parse({"/O", "L2.0", "G3"}).limits.too_old, (std::vector<std::string>{"L2.0", "G3"}));
    QCOMPARE(Parse({"-n", "g5", "NONE", "g6"}).limits.too_new, std::vector<std::string>{"G6"});

    RunOptions port = Parse({"/C", "3", "4"});
    QVERIFY(port.port_given);
    QCOMPARE(port.port, 4);
    RunOptions letters = Parse({"/C", "abc"});
    QVERIFY(letters.port_given);
    QCOMPARE(letters.port, 0);
    QVERIFY(!Parse({"/C", "-2"}).port_given);
    QCOMPARE(Parse({"/C", "99999999999"}).port, INT32_MAX);

    RunOptions iso = Parse({"/P", "iso"});
    QVERIFY(iso.tag_type_given);
    QCOMPARE(int{iso.tag_type}, 2);
    QVERIFY(!Parse({"/P", "tagit"}).tag_type_given);
    QCOMPARE(int{Parse({"/p", "ti"}).tag_type}, 1);

    RunOptions d_alone = Parse({"/D"});
    QVERIFY(!d_alone.reader_enabled && !d_alone.usb_enabled);
    RunOptions d_usb = Parse({"/D", "USB"});
    QVERIFY(!d_usb.reader_enabled && d_usb.usb_enabled);

    RunOptions usb_file = Parse({"-uf", "update.bin"});
    QVERIFY(usb_file.usb_firmware_given);
    QCOMPARE(usb_file.usb_firmware, std::string("update.bin"));

    QCOMPARE(Parse({"/USM", "Abc"}).usb_markers, std::vector<std::string>{"Abc"});
    QCOMPARE(Parse({"/O", "abc"}).limits.too_old, std::vector<std::string>{"ABC"});

    // Stray words, unknown switches and empty arguments change nothing.
    RunOptions stray = Parse({"hello", "/X", "7", "", "-", "/", "/F", "", "/ZZZ", "/P", "bad"});
    QVERIFY(!stray.port_given && !stray.reader_firmware_given && !stray.tag_type_given);
    QCOMPARE(stray.limits.too_old, std::vector<std::string>{"L2.1"});
    RunOptions firmware = Parse({"/F", "Reader.HEX"});
    QCOMPARE(firmware.reader_firmware, std::string("Reader.HEX"));
  }

  void FirstViewFollowsOptionsAndFirmware() {
    {  // No arguments, an image beside the program: the reader view.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      QVERIFY(harness.Start());
      QCOMPARE(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
      QVERIFY(harness.Frame().isVisible());
    }
    {  // No image (a package alone does not count): the USB view.
      AppHarness harness;
      QVERIFY(harness.AddFile("Only.xml", test::PackageXml({"Reader_1"})));
      QVERIFY(harness.Start());
      QCOMPARE(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    }
    {  // A USB file without a reader file wins over the images.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      QVERIFY(harness.Start({"-uf", "update.bin"}));
      QCOMPARE(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    }
    {  // ... unless a reader file is given too.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      QVERIFY(harness.Start({"-uf", "update.bin", "/F", "Reader_1"}));
      QCOMPARE(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
    }
    {  // /D alone: only the reader counts as enabled, even without firmware.
      AppHarness harness;
      QVERIFY(harness.Start({"/D"}));
      QCOMPARE(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
    }
    {  // /D USB: the USB view, whatever lies in the firmware folder.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      QVERIFY(harness.Start({"/D", "USB"}));
      QCOMPARE(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    }
    {  // The firmware folder is missing altogether.
      AppHarness harness;
      std::filesystem::remove_all(harness.FirmwareFolder());
      QVERIFY(harness.Start());
      QCOMPARE(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    }
  }

  void AFailedStartTellsTheUser() {
    AppHarness harness;  // answers the message box
    QVERIFY(harness.AddImage("Reader_1"));
    // Without view classes the first view cannot be created.
    CKindlerApp app;
    QVERIFY(!app.InitInstance({}));
    QVERIFY(!app.MainFrame());
    QCOMPARE(harness.boxes.size(), std::size_t{1});
    QCOMPARE(harness.boxes[0].text, std::string("Failed to create empty document."));
    QCOMPARE(harness.boxes[0].caption, std::string("Flashwright"));
    QCOMPARE(harness.boxes[0].style & ui::kButtonMask, unsigned{ui::kButtonsOk});
    QCOMPARE(harness.boxes[0].style & ui::kIconMask, unsigned{ui::kIconWarning});
    QCOMPARE(app.ExitInstance(), 0);
  }

  void MenuSetsAndCheckMarks() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    QVERIFY(harness.Start());
    CMainFrame& frame = harness.Frame();
    QCOMPARE(frame.CurrentMenuId(), kMenuBasic);
    QCOMPARE(PopupTitles(frame),
             (std::vector<std::string>{"&File", "&View", "&Device", "&Help"}));
    const std::vector<std::string> device_items{"&USB Device", "&RFID Reader"};
    QCOMPARE(PopupItems(frame, "&Device"), device_items);
    QVERIFY(Checked(frame, kCmdBasic) && !Checked(frame, kCmdAdvanced));
    QVERIFY(Checked(frame, kCmdRfidReader) && !Checked(frame, kCmdUsbDevice));
    QCOMPARE(frame.MenuItem(kCmdAbout)->text(), QString("&About Flashwright..."));
    QCOMPARE(frame.MenuItem(kCmdExit)->text(), QString("E&xit"));
    QVERIFY(!frame.MenuItem(kCmdDiagnostics));

    harness.Command(kCmdAdvanced);
    QCOMPARE(frame.CurrentMenuId(), kMenuReaderAdvanced);
    QCOMPARE(PopupTitles(frame),
             (std::vector<std::string>{"&File", "&View", "&Tools", "&Device", "&Help"}));
    QCOMPARE(PopupItems(frame, "&Device"), device_items);
    QVERIFY(Checked(frame, kCmdAdvanced) && !Checked(frame, kCmdBasic));
    QVERIFY(Checked(frame, kCmdRfidReader));
    QCOMPARE(frame.MenuItem(kCmdCopyFirmware)->text(), QString("&Copy Firmware To Memory Card..."));
    QCOMPARE(frame.MenuItem(kCmdSecurityMethod)->text(), QString("Q-Series Security Method..."));
    QVERIFY(!Checked(frame, kCmdRecover));

    // Triggering the menu item as the user does: the check marks follow the handler.
    frame.MenuItem(kCmdRecover)->trigger();
    QVERIFY(Checked(frame, kCmdRecover));
    frame.MenuItem(kCmdRecover)->trigger();
    QVERIFY(!Checked(frame, kCmdRecover));

    // The advanced set survives a switch of views; the USB view has its own Tools menu.
    frame.MenuItem(kCmdUsbDevice)->trigger();
    QCOMPARE(frame.ActiveView()->Kind(), ui::ViewKind::kUsb);
    QCOMPARE(frame.CurrentMenuId(), kMenuUsbAdvanced);
    QCOMPARE(PopupItems(frame, "&Device"), device_items);
    QVERIFY(frame.MenuItem(kCmdAllowNonMatching));
    QVERIFY(Checked(frame, kCmdUsbDevice) && !Checked(frame, kCmdRfidReader));
    QVERIFY(Checked(frame, kCmdAdvanced));
    QCOMPARE(frame.windowTitle(), QString("Flashwright [USB Device]"));

    harness.Command(kCmdRfidReader);
    QCOMPARE(frame.ActiveView()->Kind(), ui::ViewKind::kReader);
    QCOMPARE(frame.CurrentMenuId(), kMenuReaderAdvanced);
    QCOMPARE(frame.windowTitle(), QString("Flashwright [RFID Reader]"));
    // Choosing the view already shown only refreshes the check marks.
    ui::FormView* shown = frame.ActiveView();
    harness.Command(kCmdRfidReader);
    QCOMPARE(frame.ActiveView(), shown);
    QVERIFY(Checked(frame, kCmdRfidReader) && !Checked(frame, kCmdUsbDevice));
  }

  void DevicePopupAbsentWithOneKind() {
    AppHarness harness;
    harness.control_held = true;
    QVERIFY(harness.Start({"/D", "USB"}));
    CMainFrame& frame = harness.Frame();
    QCOMPARE(frame.CurrentMenuId(), kMenuUsbAdvanced);
    QCOMPARE(PopupTitles(frame), (std::vector<std::string>{"&File", "&View", "&Tools", "&Help"}));
    QVERIFY(!frame.MenuItem(kCmdRfidReader));
    QCOMPARE(frame.windowTitle(), QString("Flashwright"));
    harness.Command(kCmdBasic);
    QCOMPARE(PopupTitles(frame), (std::vector<std::string>{"&File", "&View", "&Help"}));
    QCOMPARE(frame.windowTitle(), QString("Flashwright"));

    AppHarness reader_only;
    QVERIFY(reader_only.Start({"/D", "RFID"}));
    QCOMPARE(reader_only.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
    QVERIFY(!reader_only.Frame().MenuItem(kCmdUsbDevice));
  }

  void CtrlIsSampledOnce() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    harness.control_held = true;
    QVERIFY(harness.Start());
    QCOMPARE(harness.Frame().CurrentMenuId(), kMenuReaderAdvanced);
    QVERIFY(Checked(harness.Frame(), kCmdAdvanced));
    // Letting go of Ctrl later changes nothing: the choice was made at start.
    harness.control_held = false;
    harness.Command(kCmdUsbDevice);
    QCOMPARE(harness.Frame().CurrentMenuId(), kMenuUsbAdvanced);
  }

  void TitleWhileMinimised() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    QVERIFY(harness.Start());
    CMainFrame& frame = harness.Frame();
    QCOMPARE(frame.windowTitle(), QString("Flashwright [RFID Reader]"));
    frame.SetTitleProgress(kCmdRfidReader, 37);
    QCOMPARE(frame.windowTitle(), QString("Flashwright [RFID Reader]"));  // not minimised
    frame.showMinimized();
    QTRY_VERIFY(frame.isMinimized());
    QCOMPARE(frame.windowTitle(), QString("Flashwright 37%"));
    frame.SetTitleProgress(kCmdRfidReader, 101);
    QCOMPARE(frame.windowTitle(), QString("Flashwright [RFID Reader]"));
    frame.SetTitleProgress(kCmdRfidReader, 0);
    QCOMPARE(frame.windowTitle(), QString("Flashwright 0%"));
    frame.SetTitleProgress(kCmdRfidReader, -1);
    QCOMPARE(frame.windowTitle(), QString("Flashwright [RFID Reader]"));
    frame.SetTitleProgress(kCmdRfidReader, 37);
    frame.showNormal();
    QTRY_VERIFY(!frame.isMinimized());
    QCOMPARE(frame.windowTitle(), QString("Flashwright [RFID Reader]"));
    // The frame cannot be resized or maximised.
    QCOMPARE(frame.minimumSize(), frame.maximumSize());
    QVERIFY(!(frame.windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  void BusyGreysCommandsAndRefusesClose() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    QVERIFY(harness.Start());
    CMainFrame& frame = harness.Frame();
    harness.App().SetBusy(true);
    frame.UpdateCommandStates();
    for (int command : {kCmdExit, kCmdAbout, kCmdRfidReader, kCmdUsbDevice, kCmdBasic,
                        kCmdAdvanced}) {
      QVERIFY2(!frame.MenuItem(command)->isEnabled(), QByteArray::number(command));
    }
    // A greyed command does nothing even when it is routed.
    harness.Command(kCmdUsbDevice);
    QCOMPARE(frame.ActiveView()->Kind(), ui::ViewKind::kReader);
    QVERIFY(!frame.close());
    QVERIFY(frame.isVisible());

    harness.App().SetBusy(false);
    frame.UpdateCommandStates();
    QVERIFY(frame.MenuItem(kCmdExit)->isEnabled());
    QVERIFY(frame.MenuItem(kCmdAbout)->isEnabled());

    // About shows the product and version.
    std::string about_title, product, version;
    ui::SetModalDialogHandler([&](QDialog& dialog) {
      about_title = dialog.windowTitle().toStdString();
      product = dialog.findChild<QLabel*>("1011")->text().toStdString();
      version = dialog.findChild<QLabel*>("1012")->text().toStdString();
      return int{ui::kDialogOk};
    });
    harness.Command(kCmdAbout);
    ui::SetModalDialogHandler(nullptr);
    QCOMPARE(about_title, std::string("About Flashwright"));
    QCOMPARE(product, std::string("Flashwright"));
    QCOMPARE(version, std::string("Version 1.50.001.0"));

    harness.Command(kCmdExit);
    QVERIFY(!frame.isVisible());
  }

  void DeviceChangesReachOnlyTheUsbView() {
    AppHarness harness;
    QVERIFY(harness.Start({"/D", "USB"}));
    auto* usb = dynamic_cast<CEZUSBFWUpdateView*>(harness.Frame().ActiveView());
    QVERIFY(usb);
    QCOMPARE(usb->SelectedDevice(), -1);
    // A device that comes while the view is shown is listed once the frame passes the
    // notice on.
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0);
    ui::PostDeviceChange(&harness.Frame(), ui::kDeviceNodesChanged, 0);
    QTRY_COMPARE(usb->SelectedDevice(), 0);

    AppHarness reader;
    QVERIFY(reader.AddImage("Reader_1"));
    QVERIFY(reader.Start());
    // Delivered to the frame and dropped there without harm.
    ui::PostDeviceChange(&reader.Frame(), ui::kDeviceNodesChanged, 0);
    QCoreApplication::processEvents();
    QCOMPARE(reader.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
  }
};

}  // namespace flashwright

QTEST_MAIN(flashwright::ShellTest)
#include "shell_test.moc"
