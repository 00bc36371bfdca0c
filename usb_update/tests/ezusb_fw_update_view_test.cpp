// The USB update view in the real program on simulated EZ-USB devices: the prompt and its
// colours, the command line's preselection, the Ctrl-held report, the confirmation boxes,
// updates that succeed, are refused or lose their device, the device list following devices
// that come and go (also while an update runs), and bad images and folders.
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QAction>
#include <filesystem>

#include "shell/command_ids.h"
#include "tools/app_harness/app_harness.h"
#include "usb_update/ezusb_fw_update_view.h"
#include "usb_update/usb_compatibility.h"
#include "usb_update/usb_update_engine.h"
#include "windowing/device_change.h"
#include "windowing/message_box.h"
#include "windowing/qt_post_target.h"

using flashwright::test::AppHarness;

namespace flashwright {

namespace {

const QColor kRed(192, 0, 0);
const QColor kGreen(0, 192, 0);
constexpr char kProduct[] = "Gate 1.2.3.4";

// An image: first byte, vendor and product ID, then the product marker, two bytes and the
// product text in UTF-16LE, then filler up to `size` bytes.
std::vector<std::uint8_t> Image(std::size_t size, const std::string& text = "Gate 1.2.3.5",
                                std::uint8_t first_byte = 0xC2,
                                std::uint16_t product_id = 0x8613) {
  std::vector<std::uint8_t> bytes = {first_byte, 0xB4, 0x04,
                                     static_cast<std::uint8_t>(product_id & 0xFF),
                                     static_cast<std::uint8_t>(product_id >> 8)};
  auto utf16 = [&bytes](const std::string& part) {
    for (char c : part) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
  };
  utf16("Orvane Folio Systems");
  bytes.insert(bytes.end(), {' ', 0});
  utf16(text);
  bytes.insert(bytes.end(), {0, 0});
  for (std::size_t i = 0; bytes.size() < size; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(i * 13 + 5));
  }
  bytes.resize(size);
  return bytes;
}

usbsim::DeviceProfile Profile(const std::string& product = kProduct) {
  usbsim::DeviceProfile profile;
  profile.product = product;
  return profile;
}

CEZUSBFWUpdateView* ViewOf(AppHarness& harness) {
  return dynamic_cast<CEZUSBFWUpdateView*>(harness.Frame().ActiveView());
}

QComboBox* Devices(AppHarness& harness) { return harness.Find<QComboBox>(1027); }
QComboBox* Images(AppHarness& harness) { return harness.Find<QComboBox>(1028); }
QPushButton* Begin(AppHarness& harness) { return harness.Find<QPushButton>(1025); }

std::string Pane(AppHarness& harness) {
  return harness.Find<QTextEdit>(1026)->toPlainText().toStdString();
}
QColor PaneColour(AppHarness& harness) {
  return harness.Find<QTextEdit>(1026)->palette().color(QPalette::Base);
}
std::string DeviceText(AppHarness& harness) {
  return harness.Find<QLabel>(1024)->text().toStdString();
}

void ChooseImage(AppHarness& harness, const std::string& name) {
  QComboBox* images = Images(harness);
  const int index = images->findText(QString::fromStdString(name));
  images->setCurrentIndex(index);
  emit images->activated(index);
}

bool EepromHolds(usbsim::SimulatedUsbDevice& device, const std::vector<std::uint8_t>& image) {
  const std::vector<std::uint8_t> eeprom = device.Eeprom();
  return std::equal(image.begin(), image.end(), eeprom.begin());
}

// Notes what the view shows after each program progress message it handles.
class ProgressWatcher : public QObject {
 public:
  explicit ProgressWatcher(AppHarness& harness) : harness_(harness) {
    harness.Frame().ActiveView()->installEventFilter(this);
  }
  std::vector<int> positions;
  std::vector<std::string> statuses;
  std::vector<std::string> titles;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    ui::PostedRecordEvent* posted = ui::PostedRecordEvent::From(event);
    if (!posted) return false;
    const MessageId message = posted->message();
    watched->event(event);
    if (message == UsbProgramProgressMessage()) {
      positions.push_back(harness_.Find<QProgressBar>(1022)->value());
      statuses.push_back(harness_.Find<QLabel>(1023)->text().toStdString());
      titles.push_back(harness_.Frame().windowTitle().toStdString());
    }
    return true;
  }

 private:
  AppHarness& harness_;
};

}  // namespace

class UsbUpdateViewTest : public QObject {
  Q_OBJECT

 private slots:
  void NoDevicesAndNoImages() {
    AppHarness harness;
    QVERIFY(harness.Start({"/D", "USB"}));
    QVERIFY(ViewOf(harness));
    QCOMPARE(Devices(harness)->count(), 1);
    QCOMPARE(Devices(harness)->itemText(0), QString("(none)"));
    QCOMPARE(Devices(harness)->itemData(0).toInt(), -1);
    // The folder beside the program does not exist at all.
    QCOMPARE(Pane(harness),
             "No USB devices found. Check USB and power cables or install driver.\n"
             "No firmware files. Check firmware directory at " + harness.UsbFirmwareFolder() + ".");
    QCOMPARE(PaneColour(harness), kRed);
    QVERIFY(!Begin(harness)->isEnabled());
    QCOMPARE(harness.Frame().windowTitle(), QString("Flashwright"));

    // With images, the missing device alone is the message.
    AppHarness with_images;
    QVERIFY(with_images.AddUsbImage("Gate_1235", Image(300)));
    QVERIFY(with_images.Start({"/D", "USB"}));
    QCOMPARE(Pane(with_images),
             std::string("No USB devices found. Check USB and power cables or install driver."));
    QCOMPARE(PaneColour(with_images), kRed);
    QVERIFY(!Begin(with_images)->isEnabled());
    // Begin Update refuses without a device even when pressed.
    ViewOf(with_images)->BeginUpdate();
    QVERIFY(!with_images.App().IsBusy());
  }

  void ReadyDeviceAndItsInformation() {
    AppHarness harness;
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(harness.AddUsbImage("Gate_1235", Image(300)));
    QVERIFY(harness.Start({"/D", "USB"}));
    QCOMPARE(Devices(harness)->itemText(0), QString("Cyusb-0"));
    QCOMPARE(DeviceText(harness), std::string(kProduct));
    QCOMPARE(Pane(harness), std::string("Press Begin Update to start firmware update."));
    QVERIFY(Begin(harness)->isEnabled());
    QCOMPARE(harness.Frame().CurrentMenuId(), kMenuBasic);

    // With Ctrl held the information box adds the identities and the driver version.
    harness.control_held = true;
    ViewOf(harness)->RefreshDeviceInfo(0);
    QCOMPARE(DeviceText(harness), std::string(kProduct) + "\n[4B4][8613][C2]\n[Driver:1.2.3.4]");

    // A device whose product string cannot be read is unknown and cannot be updated.
    AppHarness unknown;
    unknown.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile(""));
    QVERIFY(unknown.AddUsbImage("Gate_1235", Image(300)));
    QVERIFY(unknown.Start({"/D", "USB"}));
    QCOMPARE(Pane(unknown), std::string("Unknown device on Cyusb-0. Select a different device."));
    QVERIFY(!Begin(unknown)->isEnabled());
  }

  void CommandLinePreselection() {
    AppHarness harness;
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(harness.AddUsbImage("Other", Image(300)));
    QVERIFY(harness.AddUsbImage("Update", Image(300)));
    QVERIFY(harness.AddUsbImage("Zulu", Image(300)));
    QVERIFY(harness.Start({"-uf", "Update.BIN"}));
    QVERIFY(ViewOf(harness));
    QCOMPARE(Images(harness)->currentText(), QString("Update"));
    QVERIFY(Begin(harness)->isEnabled());

    AppHarness absent;
    absent.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(absent.AddUsbImage("Other", Image(300)));
    QVERIFY(absent.Start({"/D", "USB", "/UF", "Update.BIN"}));
    QCOMPARE(Images(absent)->currentIndex(), -1);
    QCOMPARE(Pane(absent), "Firmware file Update not found. Check firmware directory at " +
                               absent.UsbFirmwareFolder() + ".");
    QCOMPARE(PaneColour(absent), kRed);
    QVERIFY(!Begin(absent)->isEnabled());
  }

  void SelectAFirmwareFileWithAndWithoutSuffix() {
    AppHarness harness;
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(harness.AddUsbImage("Gate_1235", Image(300)));
    QVERIFY(harness.Start({"/D", "USB"}));
    CEZUSBFWUpdateView* view = ViewOf(harness);
    Images(harness)->setCurrentIndex(-1);
    view->RefreshStatus();
    QCOMPARE(Pane(harness), std::string("Select a firmware file using Advanced View."));
    QCOMPARE(PaneColour(harness), harness.Find<QTextEdit>(1026)->palette().color(QPalette::Button));
    QVERIFY(!Begin(harness)->isEnabled());
    harness.Command(kCmdAdvanced);
    QCOMPARE(harness.Frame().CurrentMenuId(), kMenuUsbAdvanced);
    QVERIFY(view->IsAdvancedMode());
    QCOMPARE(Pane(harness), std::string("Select a firmware file."));
    // Begin Update pressed without an image says the same, as an error.
    view->BeginUpdate();
    QCOMPARE(Pane(harness), std::string("Select a firmware file."));
    QCOMPARE(PaneColour(harness), kRed);
  }

  void ControlHeldOnlyReports() {
    AppHarness harness;
    usbsim::SimulatedUsbDevice& device =
        harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(harness.AddUsbImage("Pad", Image(300, "Pad 1.9", 0xC2, 0x1004)));
    QVERIFY(harness.Start({"/D", "USB"}));
    harness.Command(kCmdAdvanced);
    harness.Command(kCmdAllowNonMatching);  // even with the override nothing is asked
    harness.control_held = true;
    Begin(harness)->click();
    QCOMPARE(Pane(harness),
             std::string("This device can NOT be updated with the firmware due to: (Product IDs "
                         "do not match)\nDevice:[4B4][8613][C2]Gate 1.2.3.4\n"
                         "Firmware:[4B4][1004][C2]Pad 1.9"));
    QCOMPARE(PaneColour(harness), harness.Find<QTextEdit>(1026)->palette().color(QPalette::Button));
    QVERIFY(harness.boxes.empty());
    QVERIFY(!harness.App().IsBusy());
    QCOMPARE(device.Counters().eeprom_writes, 0u);
  }

  void AlreadyUpdatedInBasicUpdatedInAdvanced() {
    AppHarness harness;
    usbsim::SimulatedUsbDevice& device =
        harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile("Gate 1.2.3.5"));
    const std::vector<std::uint8_t> image = Image(1000, "Gate 1.2.3.5");
    QVERIFY(harness.AddUsbImage("Gate_1235", image));
    QVERIFY(harness.Start());  // no reader images: the USB view comes first
    Begin(harness)->click();
    QCOMPARE(Pane(harness), std::string("Firmware on Cyusb-0 already updated."));
    QCOMPARE(PaneColour(harness), kGreen);
    QVERIFY(!harness.App().IsBusy());
    QCOMPARE(device.Counters().eeprom_writes, 0u);

    harness.Command(kCmdAdvanced);
    ProgressWatcher watcher(harness);
    // Minimised, the title shows the percentage of the update.
    harness.Frame().showMinimized();
    Begin(harness)->click();
    QVERIFY(harness.App().IsBusy());
    QVERIFY(!Begin(harness)->isEnabled());
    QVERIFY(!Devices(harness)->isEnabled());
    QVERIFY(!Images(harness)->isEnabled());
    QVERIFY(!harness.Frame().QueryCommandState(kCmdBasic).enabled);
    QVERIFY(!ViewOf(harness)->DeviceNoticeRegistered());
    QVERIFY(harness.WaitUntilIdle());
    QCOMPARE(Pane(harness),
             std::string("Firmware on Cyusb-0 successfully updated. Detach USB cable, reset power "
                         "on device, and then re-attach USB cable."));
    QCOMPARE(PaneColour(harness), kGreen);
    QVERIFY(EepromHolds(device, image));
    // 1000 bytes in blocks of 31: two notes at 0 (the worker's and the phase's), 32 blocks of
    // 31, one of 8, finishing.
    QCOMPARE(watcher.positions.size(), std::size_t(36));
    QCOMPARE(watcher.statuses.front(), std::string("Initializing..."));
    QCOMPARE(watcher.statuses[2], std::string("Program (31 of 1000)"));
    QCOMPARE(watcher.positions[2], 3);
    QCOMPARE(watcher.statuses.back(), std::string("Program (1000 of 1000)...Finishing..."));
    QCOMPARE(watcher.positions.back(), 100);
    QCOMPARE(watcher.titles[2], std::string("Flashwright 3%"));
    QCOMPARE(watcher.titles.back(), std::string("Flashwright 100%"));
    harness.Frame().showNormal();
    // Afterwards: progress hidden, title back, everything usable again.
    QVERIFY(!harness.Find<QProgressBar>(1022)->isVisible());
    QCOMPARE(harness.Frame().windowTitle(), QString("Flashwright [USB Device]"));
    QVERIFY(Begin(harness)->isEnabled());
    QVERIFY(Devices(harness)->isEnabled());
    QVERIFY(ViewOf(harness)->DeviceNoticeRegistered());
    QVERIFY(harness.Frame().QueryCommandState(kCmdBasic).enabled);
  }

  void RefusalsAndTheOverride() {
    AppHarness harness;
    usbsim::DeviceProfile profile = Profile();
    profile.first_byte = 0xC0;
    usbsim::SimulatedUsbDevice& device =
        harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, profile);
    const std::vector<std::uint8_t> image = Image(400);
    QVERIFY(harness.AddUsbImage("Gate_1235", image));
    QVERIFY(harness.Start({"/D", "USB"}));
    harness.Command(kCmdAdvanced);
    Begin(harness)->click();
    QCOMPARE(Pane(harness), std::string("Device is not compatible with firmware file.\n"
                                        "(First byte in firmware does not match)"));
    QCOMPARE(PaneColour(harness), kRed);
    QVERIFY(harness.boxes.empty());

    // With the override the user is asked twice for a severe failure; No ends it.
    harness.Command(kCmdAllowNonMatching);
    QVERIFY(harness.Frame().MenuItem(kCmdAllowNonMatching)->isChecked());
    harness.answers = {ui::kAnswerYes, ui::kAnswerNo};
    Begin(harness)->click();
    QCOMPARE(harness.boxes.size(), std::size_t(2));
    QCOMPARE(harness.boxes[0].text,
             std::string("This firmware may not work on this device.\r\n(First byte in firmware "
                         "does not match)\r\n\r\nAre you sure you want to update?"));
    QCOMPARE(harness.boxes[0].caption, std::string("Flashwright"));
    QCOMPARE(harness.boxes[0].style,
             unsigned(ui::kButtonsYesNo | ui::kIconError | ui::kDefaultButton2));
    QVERIFY(harness.boxes[1].text.find("Are you absolutely sure you want to update?") !=
            std::string::npos);
    QVERIFY(!harness.App().IsBusy());
    QCOMPARE(device.Counters().eeprom_writes, 0u);

    // Yes twice: the image is written although it does not match.
    harness.boxes.clear();
    harness.answers = {ui::kAnswerYes, ui::kAnswerYes};
    Begin(harness)->click();
    QVERIFY(harness.WaitUntilIdle());
    QCOMPARE(harness.boxes.size(), std::size_t(2));
    QCOMPARE(PaneColour(harness), kGreen);
    QVERIFY(EepromHolds(device, image));
  }

  void SelectionKeptAcrossDeviceChanges() {
    AppHarness harness;
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile("Gate 0"));
    usbsim::SimulatedUsbDevice& second =
        harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 1, Profile("Gate 1"));
    QVERIFY(harness.AddUsbImage("Gate_1235", Image(300)));
    QVERIFY(harness.Start({"/D", "USB"}));
    QComboBox* devices = Devices(harness);
    QCOMPARE(devices->count(), 2);
    devices->setCurrentIndex(1);
    emit devices->activated(1);
    QCOMPARE(DeviceText(harness), std::string("Gate 1"));

    // A device plugged in: the bus's hot-plug notice reaches the view through the frame.
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 2, Profile("Gate 2"));
    QTRY_COMPARE(devices->count(), 3);
    QCOMPARE(ViewOf(harness)->SelectedDevice(), 1);
    QCOMPARE(DeviceText(harness), std::string("Gate 1"));

    // The selected device pulled out: the first is chosen.
    devices->setCurrentIndex(2);
    emit devices->activated(2);
    harness.usb_bus.Device(usbsim::Driver::kCyUsb, 2)->Unplug();
    QTRY_COMPARE(devices->count(), 2);
    QCOMPARE(ViewOf(harness)->SelectedDevice(), 0);
    QCOMPARE(DeviceText(harness), std::string("Gate 0"));
    QCOMPARE(Pane(harness), std::string("Press Begin Update to start firmware update."));
    // CyUSB devices are numbered in order: when one goes, those after it move up, and the
    // kept index then names the next device.
    devices->setCurrentIndex(1);
    emit devices->activated(1);
    second.Unplug();
    QTRY_COMPARE(devices->count(), 1);
    QCOMPARE(ViewOf(harness)->SelectedDevice(), 0);
  }

  void DeviceUnpluggedDuringUpdate() {
    AppHarness harness;
    usbsim::SimulatedUsbDevice& device =
        harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(harness.AddUsbImage("Gate_1235", Image(1000)));
    QVERIFY(harness.Start({"/D", "USB"}));
    device.UnplugAfterBytes(100);
    Begin(harness)->click();
    QVERIFY(harness.WaitUntilIdle());
    const std::string pane = Pane(harness);
    QVERIFY2(pane.rfind("Response error. Device may not support firmware update.\n(Err:", 0) == 0,
             pane.c_str());
    QVERIFY2(pane.find(",Offset:93)") != std::string::npos, pane.c_str());
    QCOMPARE(PaneColour(harness), kRed);
    // The view is usable: the list was read again and shows that nothing is left to update.
    QCOMPARE(Devices(harness)->itemText(0), QString("(none)"));
    QVERIFY(!Begin(harness)->isEnabled());
    QVERIFY(Devices(harness)->isEnabled());
    QVERIFY(!harness.App().IsBusy());
    QVERIFY(ViewOf(harness)->DeviceNoticeRegistered());
    // Plugged in again, it is listed and can be updated.
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QTRY_COMPARE(Devices(harness)->itemText(0), QString("Cyusb-0"));
    QVERIFY(Begin(harness)->isEnabled());
  }

  void DeviceChangeDuringAnUpdateLeavesTheWorkerAlone() {
    AppHarness harness;
    usbsim::DeviceProfile profile = Profile();
    profile.timing.real_time = true;  // the EEPROM takes its modelled time: the run lasts
    usbsim::SimulatedUsbDevice& device =
        harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, profile);
    const std::vector<std::uint8_t> image = Image(4000);
    QVERIFY(harness.AddUsbImage("Gate_1235", image));
    QVERIFY(harness.Start({"/D", "USB"}));
    harness.Command(kCmdAdvanced);
    Begin(harness)->click();
    QVERIFY(harness.App().IsBusy());

    // Another device arrives while the first is written, and a notice reaches the view
    // through the frame (one sent before the view dropped its registration arrives so).
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 1, Profile("Gate 1"));
    harness.Frame().OnDeviceChange(ui::kDeviceNodesChanged, 0);
    // The list is left as it is while the worker owns the device.
    QCOMPARE(Devices(harness)->count(), 1);
    QVERIFY(harness.App().IsBusy());

    QVERIFY(harness.WaitUntilIdle());
    QCOMPARE(PaneColour(harness), kGreen);
    QVERIFY(EepromHolds(device, image));
    // The notice was remembered: after the run the list is read again and the selection kept.
    QTRY_COMPARE(Devices(harness)->count(), 2);
    QCOMPARE(ViewOf(harness)->SelectedDevice(), 0);
    QVERIFY(Begin(harness)->isEnabled());
    QVERIFY(ViewOf(harness)->DeviceNoticeRegistered());
  }

  void DeviceGoneBetweenListingAndUpdate() {
    AppHarness harness;
    usbsim::SimulatedUsbDevice& device =
        harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(harness.AddUsbImage("Gate_1235", Image(300)));
    QVERIFY(harness.Start({"/D", "USB"}));
    // Pulled out, and Begin Update pressed before the notice is handled: the notice waits
    // for the end of the update instead of listing devices beside the worker.
    device.Unplug();
    Begin(harness)->click();
    QVERIFY(harness.WaitUntilIdle());
    QCOMPARE(Pane(harness), std::string("Update error.\n(Err:-9,Offset:0)"));
    QCOMPARE(PaneColour(harness), kRed);
    QCOMPARE(Devices(harness)->itemText(0), QString("(none)"));
    QVERIFY(!Begin(harness)->isEnabled());
    QVERIFY(!harness.App().IsBusy());
  }

  void BadImagesAndFolders() {
    AppHarness harness;
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(harness.AddUsbImage("Short", {0xC2, 0xB4, 0x04}));
    QVERIFY(harness.AddUsbImage("Garbage", std::vector<std::uint8_t>(64, 0xE7)));
    QVERIFY(harness.AddUsbImage("Vanishing", Image(300)));
    QVERIFY(harness.Start({"/D", "USB"}));
    harness.Command(kCmdAdvanced);

    ChooseImage(harness, "Short");
    Begin(harness)->click();
    QCOMPARE(Pane(harness), std::string("Device is not compatible with firmware file.\n"
                                        "(Error -1 checking file.)"));
    ChooseImage(harness, "Garbage");
    Begin(harness)->click();
    QCOMPARE(Pane(harness), std::string("Device is not compatible with firmware file.\n"
                                        "(First byte in firmware does not match)"));
    ChooseImage(harness, "Vanishing");
    std::filesystem::remove(harness.UsbFirmwareFolder() + "/Vanishing.bin");
    Begin(harness)->click();
    QCOMPARE(Pane(harness), std::string("Device is not compatible with firmware file.\n"
                                        "(Error 2 checking file.)"));
    QCOMPARE(PaneColour(harness), kRed);
    QVERIFY(!harness.App().IsBusy());

    // An empty folder is the same as none.
    AppHarness empty;
    empty.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    std::filesystem::create_directories(empty.UsbFirmwareFolder());
    QVERIFY(empty.Start({"/D", "USB"}));
    QCOMPARE(Pane(empty), "No firmware files. Check firmware directory at " +
                              empty.UsbFirmwareFolder() + ".");
    QVERIFY(!Begin(empty)->isEnabled());
  }

  void NoticesForAViewThatIsGone() {
    AppHarness harness;
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QVERIFY(harness.AddImage("Reader_1"));
    QVERIFY(harness.Start({"/D", "USB"}));
    CEZUSBFWUpdateView* view = ViewOf(harness);
    QVERIFY(view);
    // Records posted to the view (as a worker posts them) and never handled, because the view
    // is replaced first, are freed with their events; a late one is refused and freed.
    const TargetHandle target = view->PostTargetHandle();
    auto progress = std::make_unique<UsbProgress>();
    progress->done = 31;
    progress->total = 1000;
    QVERIFY(PostRecord(target, UsbProgramProgressMessage(), std::move(progress)));
    QVERIFY(PostRecord(target, UsbUpdateCompleteMessage(), std::make_unique<UsbUpdateResult>()));
    harness.Command(kCmdRfidReader);
    QCoreApplication::processEvents();
    QCOMPARE(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
    QVERIFY(!PostRecord(target, UsbProgramProgressMessage(), std::make_unique<UsbProgress>()));
    // A device change that reaches the frame now goes nowhere.
    ui::PostDeviceChange(&harness.Frame(), ui::kDeviceNodesChanged, 0);
    QCoreApplication::processEvents();
    QVERIFY(!harness.App().IsBusy());
  }

  void WindowClosedWhileWorkerPosts() {
    auto harness = std::make_unique<AppHarness>();
    usbsim::DeviceProfile profile = Profile();
    profile.timing.real_time = true;  // about half a second for this image
    usbsim::SimulatedUsbDevice& device =
        harness->usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, profile);
    const std::vector<std::uint8_t> image = Image(8000);
    QVERIFY(harness->AddUsbImage("Gate_1235", image));
    QVERIFY(harness->Start({"/D", "USB"}));
    harness->Command(kCmdAdvanced);
    Begin(*harness)->click();
    QTRY_VERIFY(device.Counters().eeprom_writes > 2);
    QVERIFY(harness->App().IsBusy());
    // The Device commands are greyed: the view cannot be switched away during the update.
    harness->Command(kCmdRfidReader);
    QCOMPARE(harness->Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
    // The program goes away in the middle: the view waits for its worker, whose last records
    // find no target and are freed (the sanitizer build reports a leak or double free
    // otherwise), and the application is not left busy.
    harness->App().ExitInstance();
    QVERIFY(!harness->App().IsBusy());
    QVERIFY(EepromHolds(device, image));
    QCoreApplication::processEvents();
  }

  void WithoutHotplugTheListIsRefreshedByHand() {
    class Silent : public platform::UsbHotplugSource {
     public:
      std::unique_ptr<platform::UsbHotplugRegistration> Register(
          platform::UsbHotplugFunction) override {
        return nullptr;
      }
    } silent;
    AppHarness harness;
    platform::ScopedUsbHotplugSource none(&silent);
    QVERIFY(harness.AddUsbImage("Gate_1235", Image(300)));
    QVERIFY(harness.Start({"/D", "USB"}));
    const std::string told =
        "This system does not report USB devices that are plugged in or pulled out: press "
        "Refresh (or F5) to list the devices again.";
    QVERIFY2(Pane(harness).find(told) != std::string::npos, Pane(harness).c_str());
    auto* refresh = harness.Find<QPushButton>(1029);
    QVERIFY(refresh->isVisible());
    harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
    QCoreApplication::processEvents();
    QCOMPARE(Devices(harness)->itemText(0), QString("(none)"));
    refresh->click();
    QCOMPARE(Devices(harness)->itemText(0), QString("Cyusb-0"));
    QCOMPARE(Pane(harness), std::string("Press Begin Update to start firmware update."));
    // Said once: the view shown again does not repeat it.
    harness.usb_bus.Device(usbsim::Driver::kCyUsb, 0)->Unplug();
    harness.Command(kCmdRfidReader);
    harness.Command(kCmdUsbDevice);
    QVERIFY(Pane(harness).find(told) == std::string::npos);
    QCOMPARE(Devices(harness)->itemText(0), QString("(none)"));
  }
};

}  // namespace flashwright

QTEST_MAIN(flashwright::UsbUpdateViewTest)
#include "ezusb_fw_update_view_test.moc"
