// The USB update view in the real program on simulated EZ-USB devices: the prompt and its
// colours, the command line's preselection, the Ctrl-held report, the confirmation boxes,
// updates that succeed, are refused or lose their device, the device list following devices
// that come and go (also while an update runs or a confirmation box is open), a worker start
// that runs out of memory, and bad images and folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "shell/command_ids.h"
#include "tools/app_harness/app_harness.h"
#include "tools/app_harness/watching_shell.h"
#include "tools/test_support/failing_allocation.h"
#include "usb_update/ezusb_fw_update_view.h"
#include "usb_update/usb_compatibility.h"
#include "usb_update/usb_run_control.h"
#include "usb_update/usb_update_engine.h"
#include "windowing/device_change.h"
#include "windowing/event_loop.h"
#include "windowing/message_box.h"

using flashwright::test::AppHarness;

namespace flashwright {

namespace {

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

int DeviceCount(AppHarness& harness) { return static_cast<int>(harness.Items(1027).size()); }
std::string DeviceItem(AppHarness& harness, int index) {
  const std::vector<std::string> items = harness.Items(1027);
  return index < static_cast<int>(items.size()) ? items[static_cast<std::size_t>(index)]
                                                : std::string("<no item>");
}

void ChooseImage(AppHarness& harness, const std::string& name) {
  EXPECT_TRUE(harness.ChooseText(1028, name)) << name;
}

// Device 0 with `profile` and `image` as Gate_1235, the program started on the USB view;
// false when the image cannot be placed or the program does not start.
bool StartWith(AppHarness& harness, const usbsim::DeviceProfile& profile,
               const std::vector<std::uint8_t>& image, usbsim::SimulatedUsbDevice** device) {
  *device = &harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, profile);
  return harness.AddUsbImage("Gate_1235", image) && harness.Start({"/D", "USB"});
}

bool EepromHolds(usbsim::SimulatedUsbDevice& device, const std::vector<std::uint8_t>& image) {
  const std::vector<std::uint8_t> eeprom = device.Eeprom();
  return std::equal(image.begin(), image.end(), eeprom.begin());
}

// What the view shows after each program progress message it handles.
class ProgressWatcher : public test::WatchingShell {
 public:
  explicit ProgressWatcher(AppHarness& harness)
      : WatchingShell(harness, kCmdUsbDevice, 1022, 1023) {}
};

// Starts the program with a device 0 that the image does not fit (its first byte differs) and
// non-matching devices allowed, so that Begin Update asks. The device, or null.
usbsim::SimulatedUsbDevice* StartAsking(AppHarness& harness, const std::vector<std::uint8_t>& image) {
  usbsim::DeviceProfile profile = Profile();
  profile.first_byte = 0xC0;
  usbsim::SimulatedUsbDevice& device = harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, profile);
  if (!harness.AddUsbImage("Gate_1235", image) || !harness.Start({"/D", "USB"})) return nullptr;
  harness.Command(kCmdAdvanced);
  harness.Command(kCmdAllowNonMatching);
  harness.answers = {ui::kAnswerYes, ui::kAnswerYes};
  return &device;
}

int fail_at = 0;
bool start_failed = false;
void ArmStart() { test::FailAllocationOnThisThread(fail_at); }
void DisarmStart() { start_failed = test::AllocationFailureHappened(); }

TEST(UsbUpdateViewTest, NoDevicesAndNoImages) {
  AppHarness harness;
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  EXPECT_TRUE(ViewOf(harness));
  EXPECT_EQ(DeviceCount(harness), 1);
  EXPECT_EQ(DeviceItem(harness, 0), std::string("(none)"));
  EXPECT_EQ(harness.ItemData(1027, 0), -1);
  // The folder beside the program does not exist at all.
  EXPECT_EQ(harness.PaneText(),
            "No USB devices found. Check USB and power cables or install driver.\n"
            "No firmware files. Check firmware directory at " + harness.UsbFirmwareFolder() + ".");
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  EXPECT_TRUE(!harness.Enabled(1025));
  EXPECT_EQ(harness.Title(), std::string("Flashwright"));

  // With images, the missing device alone is the message.
  AppHarness with_images;
  ASSERT_TRUE(with_images.AddUsbImage("Gate_1235", Image(300)));
  ASSERT_TRUE(with_images.Start({"/D", "USB"}));
  EXPECT_EQ(with_images.PaneText(),
            std::string("No USB devices found. Check USB and power cables or install driver."));
  EXPECT_EQ(with_images.PaneBackground(), ui::kPaneErrorBackground);
  EXPECT_TRUE(!with_images.Enabled(1025));
  // Begin Update refuses without a device even when pressed.
  ViewOf(with_images)->BeginUpdate();
  EXPECT_TRUE(!with_images.App().IsBusy());
}

TEST(UsbUpdateViewTest, ReadyDeviceAndItsInformation) {
  AppHarness harness;
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  ASSERT_TRUE(harness.AddUsbImage("Gate_1235", Image(300)));
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  EXPECT_EQ(DeviceItem(harness, 0), std::string("Cyusb-0"));
  EXPECT_EQ(harness.ControlText(1024), std::string(kProduct));
  EXPECT_EQ(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
  EXPECT_TRUE(harness.Enabled(1025));
  EXPECT_EQ(harness.Frame().CurrentMenuId(), kMenuBasic);

  // With Ctrl held the information box adds the identities and the driver version.
  harness.control_held = true;
  ViewOf(harness)->RefreshDeviceInfo(0);
  EXPECT_EQ(harness.ControlText(1024), std::string(kProduct) + "\n[4B4][8613][C2]\n[Driver:1.2.3.4]");

  // A device whose product string cannot be read is unknown and cannot be updated.
  AppHarness unknown;
  unknown.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile(""));
  ASSERT_TRUE(unknown.AddUsbImage("Gate_1235", Image(300)));
  ASSERT_TRUE(unknown.Start({"/D", "USB"}));
  EXPECT_EQ(unknown.PaneText(), std::string("Unknown device on Cyusb-0. Select a different device."));
  EXPECT_TRUE(!unknown.Enabled(1025));
}

TEST(UsbUpdateViewTest, CommandLinePreselection) {
  AppHarness harness;
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  ASSERT_TRUE(harness.AddUsbImage("Other", Image(300)));
  ASSERT_TRUE(harness.AddUsbImage("Update", Image(300)));
  ASSERT_TRUE(harness.AddUsbImage("Zulu", Image(300)));
  ASSERT_TRUE(harness.Start({"-uf", "Update.BIN"}));
  EXPECT_TRUE(ViewOf(harness));
  EXPECT_EQ(harness.SelectedText(1028), std::string("Update"));
  EXPECT_TRUE(harness.Enabled(1025));

  AppHarness absent;
  absent.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  ASSERT_TRUE(absent.AddUsbImage("Other", Image(300)));
  ASSERT_TRUE(absent.Start({"/D", "USB", "/UF", "Update.BIN"}));
  EXPECT_EQ(absent.Selection(1028), -1);
  EXPECT_EQ(absent.PaneText(), "Firmware file Update not found. Check firmware directory at " +
                              absent.UsbFirmwareFolder() + ".");
  EXPECT_EQ(absent.PaneBackground(), ui::kPaneErrorBackground);
  EXPECT_TRUE(!absent.Enabled(1025));
}

TEST(UsbUpdateViewTest, SelectAFirmwareFileWithAndWithoutSuffix) {
  AppHarness harness;
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  ASSERT_TRUE(harness.AddUsbImage("Gate_1235", Image(300)));
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  CEZUSBFWUpdateView* view = ViewOf(harness);
  harness.ViewForm().SetCurSel(1028, -1);
  view->RefreshStatus();
  EXPECT_EQ(harness.PaneText(), std::string("Select a firmware file using Advanced View."));
  EXPECT_EQ(harness.PaneBackground(), ui::ButtonFaceColour());
  EXPECT_TRUE(!harness.Enabled(1025));
  harness.Command(kCmdAdvanced);
  EXPECT_EQ(harness.Frame().CurrentMenuId(), kMenuUsbAdvanced);
  EXPECT_TRUE(view->IsAdvancedMode());
  EXPECT_EQ(harness.PaneText(), std::string("Select a firmware file."));
  // Begin Update pressed without an image says the same, as an error.
  view->BeginUpdate();
  EXPECT_EQ(harness.PaneText(), std::string("Select a firmware file."));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
}

TEST(UsbUpdateViewTest, ControlHeldOnlyReports) {
  AppHarness harness;
  usbsim::SimulatedUsbDevice& device =
      harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  ASSERT_TRUE(harness.AddUsbImage("Pad", Image(300, "Pad 1.9", 0xC2, 0x1004)));
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  harness.Command(kCmdAdvanced);
  harness.Command(kCmdAllowNonMatching);  // even with the override nothing is asked
  harness.control_held = true;
  harness.Press(1025);
  EXPECT_EQ(harness.PaneText(),
            std::string("This device can NOT be updated with the firmware due to: (Product IDs "
                        "do not match)\nDevice:[4B4][8613][C2]Gate 1.2.3.4\n"
                        "Firmware:[4B4][1004][C2]Pad 1.9"));
  EXPECT_EQ(harness.PaneBackground(), ui::ButtonFaceColour());
  EXPECT_TRUE(harness.boxes.empty());
  EXPECT_TRUE(!harness.App().IsBusy());
  EXPECT_EQ(device.Counters().eeprom_writes, 0u);
}

TEST(UsbUpdateViewTest, AlreadyUpdatedInBasicUpdatedInAdvanced) {
  AppHarness harness;
  usbsim::SimulatedUsbDevice& device =
      harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile("Gate 1.2.3.5"));
  const std::vector<std::uint8_t> image = Image(1000, "Gate 1.2.3.5");
  ASSERT_TRUE(harness.AddUsbImage("Gate_1235", image));
  ASSERT_TRUE(harness.Start());  // no reader images: the USB view comes first
  harness.Press(1025);
  EXPECT_EQ(harness.PaneText(), std::string("Firmware on Cyusb-0 already updated."));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneSuccessBackground);
  EXPECT_TRUE(!harness.App().IsBusy());
  EXPECT_EQ(device.Counters().eeprom_writes, 0u);

  harness.Command(kCmdAdvanced);
  ProgressWatcher watcher(harness);
  // Minimised, the title shows the percentage of the update.
  harness.Window().SetMinimized(true);
  harness.Press(1025);
  EXPECT_TRUE(harness.App().IsBusy());
  EXPECT_TRUE(!harness.Enabled(1025));
  EXPECT_TRUE(!harness.Enabled(1027));
  EXPECT_TRUE(!harness.Enabled(1028));
  EXPECT_TRUE(!harness.Frame().QueryCommandState(kCmdBasic).enabled);
  EXPECT_TRUE(!ViewOf(harness)->DeviceNoticeRegistered());
  EXPECT_TRUE(harness.WaitUntilIdle());
  EXPECT_EQ(harness.PaneText(),
            std::string("Firmware on Cyusb-0 successfully updated. Detach USB cable, reset power "
                        "on device, and then re-attach USB cable."));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneSuccessBackground);
  EXPECT_TRUE(EepromHolds(device, image));
  // 1000 bytes in blocks of 31: two notes at 0 (the worker's and the phase's), 32 blocks of
  // 31, one of 8, finishing.
  EXPECT_EQ(watcher.positions.size(), std::size_t(36));
  EXPECT_EQ(watcher.statuses.front(), std::string("Initializing..."));
  EXPECT_EQ(watcher.statuses[2], std::string("Program (31 of 1000)"));
  EXPECT_EQ(watcher.positions[2], 3);
  EXPECT_EQ(watcher.statuses.back(), std::string("Program (1000 of 1000)...Finishing..."));
  EXPECT_EQ(watcher.positions.back(), 100);
  EXPECT_EQ(watcher.titles[2], std::string("Flashwright 3%"));
  EXPECT_EQ(watcher.titles.back(), std::string("Flashwright 100%"));
  harness.Window().SetMinimized(false);
  // Afterwards: progress hidden, title back, everything usable again.
  EXPECT_TRUE(!harness.Visible(1022));
  EXPECT_EQ(harness.Title(), std::string("Flashwright [USB Device]"));
  EXPECT_TRUE(harness.Enabled(1025));
  EXPECT_TRUE(harness.Enabled(1027));
  EXPECT_TRUE(ViewOf(harness)->DeviceNoticeRegistered());
  EXPECT_TRUE(harness.Frame().QueryCommandState(kCmdBasic).enabled);
}

TEST(UsbUpdateViewTest, RefusalsAndTheOverride) {
  AppHarness harness;
  usbsim::DeviceProfile profile = Profile();
  profile.first_byte = 0xC0;
  usbsim::SimulatedUsbDevice* added = nullptr;
  const std::vector<std::uint8_t> image = Image(400);
  ASSERT_TRUE(StartWith(harness, profile, image, &added));
  usbsim::SimulatedUsbDevice& device = *added;
  harness.Command(kCmdAdvanced);
  harness.Press(1025);
  EXPECT_EQ(harness.PaneText(), std::string("Device is not compatible with firmware file.\n"
                                       "(First byte in firmware does not match)"));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  EXPECT_TRUE(harness.boxes.empty());

  // With the override the user is asked twice for a severe failure; No ends it.
  harness.Command(kCmdAllowNonMatching);
  EXPECT_TRUE(harness.Window().MenuItemChecked(kCmdAllowNonMatching));
  harness.answers = {ui::kAnswerYes, ui::kAnswerNo};
  harness.Press(1025);
  ASSERT_EQ(harness.boxes.size(), std::size_t(2));
  EXPECT_EQ(harness.boxes[0].text,
            std::string("This firmware may not work on this device.\r\n(First byte in firmware "
                        "does not match)\r\n\r\nAre you sure you want to update?"));
  EXPECT_EQ(harness.boxes[0].caption, std::string("Flashwright"));
  EXPECT_EQ(harness.boxes[0].style,
            unsigned(ui::kButtonsYesNo | ui::kIconError | ui::kDefaultButton2));
  EXPECT_TRUE(harness.boxes[1].text.find("Are you absolutely sure you want to update?") !=
              std::string::npos);
  EXPECT_TRUE(!harness.App().IsBusy());
  EXPECT_EQ(device.Counters().eeprom_writes, 0u);

  // Yes twice: the image is written although it does not match.
  harness.boxes.clear();
  harness.answers = {ui::kAnswerYes, ui::kAnswerYes};
  harness.Press(1025);
  EXPECT_TRUE(harness.WaitUntilIdle());
  ASSERT_EQ(harness.boxes.size(), std::size_t(2));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneSuccessBackground);
  EXPECT_TRUE(EepromHolds(device, image));
}

TEST(UsbUpdateViewTest, SelectionKeptAcrossDeviceChanges) {
  AppHarness harness;
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile("Gate 0"));
  usbsim::SimulatedUsbDevice& second =
      harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 1, Profile("Gate 1"));
  ASSERT_TRUE(harness.AddUsbImage("Gate_1235", Image(300)));
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  EXPECT_EQ(DeviceCount(harness), 2);
  harness.Choose(1027, 1);
  EXPECT_EQ(harness.ControlText(1024), std::string("Gate 1"));

  // A device plugged in: the bus's hot-plug notice reaches the view through the frame.
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 2, Profile("Gate 2"));
  EXPECT_TRUE(harness.WaitFor([&] { return DeviceCount(harness) == 3; }));
  EXPECT_EQ(ViewOf(harness)->SelectedDevice(), 1);
  EXPECT_EQ(harness.ControlText(1024), std::string("Gate 1"));

  // The selected device pulled out: the first is chosen.
  harness.Choose(1027, 2);
  harness.usb_bus.Device(usbsim::Driver::kCyUsb, 2)->Unplug();
  EXPECT_TRUE(harness.WaitFor([&] { return DeviceCount(harness) == 2; }));
  EXPECT_EQ(ViewOf(harness)->SelectedDevice(), 0);
  EXPECT_EQ(harness.ControlText(1024), std::string("Gate 0"));
  EXPECT_EQ(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
  // CyUSB devices are numbered in order: when one goes, those after it move up, and the
  // kept index then names the next device.
  harness.Choose(1027, 1);
  second.Unplug();
  EXPECT_TRUE(harness.WaitFor([&] { return DeviceCount(harness) == 1; }));
  EXPECT_EQ(ViewOf(harness)->SelectedDevice(), 0);
}

TEST(UsbUpdateViewTest, DeviceUnpluggedDuringUpdate) {
  AppHarness harness;
  usbsim::SimulatedUsbDevice* added = nullptr;
  ASSERT_TRUE(StartWith(harness, Profile(), Image(1000), &added));
  usbsim::SimulatedUsbDevice& device = *added;
  device.UnplugAfterBytes(100);
  harness.Press(1025);
  EXPECT_TRUE(harness.WaitUntilIdle());
  const std::string pane = harness.PaneText();
  EXPECT_TRUE(pane.rfind("Response error. Device may not support firmware update.\n(Err:", 0) == 0) << pane.c_str();
  EXPECT_TRUE(pane.find(",Offset:93)") != std::string::npos) << pane.c_str();
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  // The view is usable: the list was read again and shows that nothing is left to update.
  EXPECT_EQ(DeviceItem(harness, 0), std::string("(none)"));
  EXPECT_TRUE(!harness.Enabled(1025));
  EXPECT_TRUE(harness.Enabled(1027));
  EXPECT_TRUE(!harness.App().IsBusy());
  EXPECT_TRUE(ViewOf(harness)->DeviceNoticeRegistered());
  // Plugged in again, it is listed and can be updated.
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  EXPECT_TRUE(harness.WaitFor([&] { return DeviceItem(harness, 0) == std::string("Cyusb-0"); }));
  EXPECT_TRUE(harness.Enabled(1025));
}

TEST(UsbUpdateViewTest, DeviceChangeDuringAnUpdateLeavesTheWorkerAlone) {
  AppHarness harness;
  usbsim::DeviceProfile profile = Profile();
  profile.timing.real_time = true;  // the EEPROM takes its modelled time: the run lasts
  usbsim::SimulatedUsbDevice* added = nullptr;
  const std::vector<std::uint8_t> image = Image(4000);
  ASSERT_TRUE(StartWith(harness, profile, image, &added));
  usbsim::SimulatedUsbDevice& device = *added;
  harness.Command(kCmdAdvanced);
  harness.Press(1025);
  EXPECT_TRUE(harness.App().IsBusy());

  // Another device arrives while the first is written, and a notice reaches the view
  // through the frame (one sent before the view dropped its registration arrives so).
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 1, Profile("Gate 1"));
  harness.Frame().OnDeviceChange(ui::kDeviceNodesChanged, 0);
  // The list is left as it is while the worker owns the device.
  EXPECT_EQ(DeviceCount(harness), 1);
  EXPECT_TRUE(harness.App().IsBusy());

  EXPECT_TRUE(harness.WaitUntilIdle());
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneSuccessBackground);
  EXPECT_TRUE(EepromHolds(device, image));
  // The notice was remembered: after the run the list is read again and the selection kept.
  EXPECT_TRUE(harness.WaitFor([&] { return DeviceCount(harness) == 2; }));
  EXPECT_EQ(ViewOf(harness)->SelectedDevice(), 0);
  EXPECT_TRUE(harness.Enabled(1025));
  EXPECT_TRUE(ViewOf(harness)->DeviceNoticeRegistered());
}

// The box's own event loop hands the view device notices while the user decides. What the
// user confirmed is what is written, or nothing.
TEST(UsbUpdateViewTest, DeviceChangesWhileTheConfirmationIsOpen) {
  AppHarness harness;
  const std::vector<std::uint8_t> image = Image(300);
  usbsim::SimulatedUsbDevice* const asked = StartAsking(harness, image);
  ASSERT_TRUE(asked != nullptr);
  usbsim::SimulatedUsbDevice& confirmed = *asked;

  // The confirmed device goes and another one, which the image fits, takes its index.
  usbsim::SimulatedUsbDevice* other = nullptr;
  harness.while_box_open = [&] {
    if (other != nullptr) return;
    confirmed.Unplug();
    other = &harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile("Other 9"));
    ui::ProcessEvents(50);
  };
  harness.Press(1025);
  EXPECT_TRUE(harness.WaitUntilIdle());
  ASSERT_TRUE(other != nullptr);
  EXPECT_EQ(other->Counters().eeprom_writes, 0u);
  EXPECT_EQ(confirmed.Counters().eeprom_writes, 0u);
  EXPECT_NE(harness.PaneText().find("Cyusb-0 changed"), std::string::npos) << harness.PaneText();
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  EXPECT_TRUE(!harness.App().IsBusy());
  // The held notice is acted on after the answer: the list shows what is there now.
  EXPECT_EQ(DeviceCount(harness), 1);
  EXPECT_EQ(harness.ControlText(1024), std::string("Other 9"));
  EXPECT_TRUE(harness.Enabled(1025));

  // A second device plugged in beside the confirmed one leaves the index to it: the update
  // goes to the confirmed device, and the list is read again after the run.
  AppHarness beside;
  usbsim::SimulatedUsbDevice* const first = StartAsking(beside, image);
  ASSERT_TRUE(first != nullptr);
  usbsim::SimulatedUsbDevice* second = nullptr;
  int listed_while_open = -1;
  beside.while_box_open = [&] {
    if (second != nullptr) return;
    second = &beside.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 1, Profile("Gate 1"));
    ui::ProcessEvents(50);
    listed_while_open = DeviceCount(beside);  // held while the box is open
  };
  beside.Press(1025);
  EXPECT_TRUE(beside.WaitUntilIdle());
  EXPECT_EQ(listed_while_open, 1);
  EXPECT_EQ(beside.PaneBackground(), ui::kPaneSuccessBackground);
  EXPECT_TRUE(EepromHolds(*first, image));
  ASSERT_TRUE(second != nullptr);
  EXPECT_EQ(second->Counters().eeprom_writes, 0u);
  EXPECT_TRUE(beside.WaitFor([&] { return DeviceCount(beside) == 2; }));
  EXPECT_EQ(ViewOf(beside)->SelectedDevice(), 0);
}

// Whichever allocation of the worker's start fails, the run ends once with ENOMEM: nothing
// written, the program not left busy, the controls and the device notice back.
TEST(UsbUpdateViewTest, WorkerStartOutOfMemory) {
  AppHarness harness;
  usbsim::SimulatedUsbDevice& device =
      harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  const std::vector<std::uint8_t> image = Image(300);
  ASSERT_TRUE(harness.AddUsbImage("Gate_1235", image));
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  harness.Command(kCmdAdvanced);
  SetUsbRunStartHooksForTesting(ArmStart, DisarmStart);
  int failures = 0;
  for (fail_at = 1; fail_at <= 40; ++fail_at) {
    harness.Press(1025);
    const bool failed_here = start_failed;
    EXPECT_TRUE(harness.WaitUntilIdle());
    ui::ProcessEvents(10);
    if (!failed_here) break;
    ++failures;
    const std::string pane = harness.PaneText();
    EXPECT_NE(pane.find("Err:12"), std::string::npos) << pane;
    EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
    EXPECT_TRUE(!ViewOf(harness)->UpdateRunning());
    EXPECT_TRUE(!harness.App().IsBusy());
    EXPECT_TRUE(harness.Enabled(1025));
    EXPECT_TRUE(harness.Enabled(1027));
    EXPECT_TRUE(harness.Enabled(1028));
    EXPECT_TRUE(ViewOf(harness)->DeviceNoticeRegistered());
    EXPECT_EQ(device.Counters().eeprom_writes, 0u);
  }
  SetUsbRunStartHooksForTesting(nullptr, nullptr);
  EXPECT_GT(failures, 0);
  EXPECT_LE(fail_at, 40);
  // The run whose start went through writes the image.
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneSuccessBackground);
  EXPECT_TRUE(EepromHolds(device, image));
}

TEST(UsbUpdateViewTest, DeviceGoneBetweenListingAndUpdate) {
  AppHarness harness;
  usbsim::SimulatedUsbDevice* added = nullptr;
  ASSERT_TRUE(StartWith(harness, Profile(), Image(300), &added));
  usbsim::SimulatedUsbDevice& device = *added;
  // Pulled out, and Begin Update pressed before the notice is handled: the notice waits
  // for the end of the update instead of listing devices beside the worker.
  device.Unplug();
  harness.Press(1025);
  EXPECT_TRUE(harness.WaitUntilIdle());
  EXPECT_EQ(harness.PaneText(), std::string("Update error.\n(Err:-9,Offset:0)"));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  EXPECT_EQ(DeviceItem(harness, 0), std::string("(none)"));
  EXPECT_TRUE(!harness.Enabled(1025));
  EXPECT_TRUE(!harness.App().IsBusy());
}

TEST(UsbUpdateViewTest, BadImagesAndFolders) {
  AppHarness harness;
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  ASSERT_TRUE(harness.AddUsbImage("Short", {0xC2, 0xB4, 0x04}));
  ASSERT_TRUE(harness.AddUsbImage("Garbage", std::vector<std::uint8_t>(64, 0xE7)));
  ASSERT_TRUE(harness.AddUsbImage("Vanishing", Image(300)));
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  harness.Command(kCmdAdvanced);

  ChooseImage(harness, "Short");
  harness.Press(1025);
  EXPECT_EQ(harness.PaneText(), std::string("Device is not compatible with firmware file.\n"
                                       "(Error -1 checking file.)"));
  ChooseImage(harness, "Garbage");
  harness.Press(1025);
  EXPECT_EQ(harness.PaneText(), std::string("Device is not compatible with firmware file.\n"
                                       "(First byte in firmware does not match)"));
  ChooseImage(harness, "Vanishing");
  std::filesystem::remove(harness.UsbFirmwareFolder() + "/Vanishing.bin");
  harness.Press(1025);
  EXPECT_EQ(harness.PaneText(), std::string("Device is not compatible with firmware file.\n"
                                       "(Error 2 checking file.)"));
  EXPECT_EQ(harness.PaneBackground(), ui::kPaneErrorBackground);
  EXPECT_TRUE(!harness.App().IsBusy());

  // An empty folder is the same as none.
  AppHarness empty;
  empty.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  std::filesystem::create_directories(empty.UsbFirmwareFolder());
  ASSERT_TRUE(empty.Start({"/D", "USB"}));
  EXPECT_EQ(empty.PaneText(), "No firmware files. Check firmware directory at " +
                             empty.UsbFirmwareFolder() + ".");
  EXPECT_TRUE(!empty.Enabled(1025));
}

TEST(UsbUpdateViewTest, NoticesForAViewThatIsGone) {
  AppHarness harness;
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  CEZUSBFWUpdateView* view = ViewOf(harness);
  EXPECT_TRUE(view);
  // Records posted to the view (as a worker posts them) and never handled, because the view
  // is replaced first, are freed with their events; a late one is refused and freed.
  const TargetHandle target = view->PostTargetHandle();
  auto progress = std::make_unique<UsbProgress>();
  progress->done = 31;
  progress->total = 1000;
  EXPECT_TRUE(PostRecord(target, UsbProgramProgressMessage(), std::move(progress)));
  EXPECT_TRUE(PostRecord(target, UsbUpdateCompleteMessage(), std::make_unique<UsbUpdateResult>()));
  harness.Command(kCmdRfidReader);
  ui::ProcessEvents(50);
  EXPECT_EQ(harness.Frame().ActiveView()->Kind(), ui::ViewKind::kReader);
  EXPECT_TRUE(!PostRecord(target, UsbProgramProgressMessage(), std::make_unique<UsbProgress>()));
  // A device change that reaches the frame now goes nowhere.
  ui::PostTask([&] { harness.Frame().OnDeviceChange(ui::kDeviceNodesChanged, 0); });
  ui::ProcessEvents(50);
  EXPECT_TRUE(!harness.App().IsBusy());
}

TEST(UsbUpdateViewTest, WindowClosedWhileWorkerPosts) {
  auto harness = std::make_unique<AppHarness>();
  usbsim::DeviceProfile profile = Profile();
  profile.timing.real_time = true;  // about half a second for this image
  usbsim::SimulatedUsbDevice* added = nullptr;
  const std::vector<std::uint8_t> image = Image(8000);
  ASSERT_TRUE(StartWith(*harness, profile, image, &added));
  usbsim::SimulatedUsbDevice& device = *added;
  harness->Command(kCmdAdvanced);
  harness->Press(1025);
  EXPECT_TRUE(harness->WaitFor([&] { return device.Counters().eeprom_writes > 2; }));
  EXPECT_TRUE(harness->App().IsBusy());
  // The Device commands are greyed: the view cannot be switched away during the update.
  harness->Command(kCmdRfidReader);
  EXPECT_EQ(harness->Frame().ActiveView()->Kind(), ui::ViewKind::kUsb);
  // The program goes away in the middle: the view waits for its worker, whose last records
  // find no target and are freed (the sanitizer build reports a leak or double free
  // otherwise), and the application is not left busy.
  harness->App().ExitInstance();
  EXPECT_TRUE(!harness->App().IsBusy());
  EXPECT_TRUE(EepromHolds(device, image));
  ui::ProcessEvents(50);
}

TEST(UsbUpdateViewTest, WithoutHotplugTheListIsRefreshedByHand) {
  class Silent : public platform::UsbHotplugSource {
   public:
    std::unique_ptr<platform::UsbHotplugRegistration> Register(
        platform::UsbHotplugFunction) override {
      return nullptr;
    }
  } silent;
  AppHarness harness;
  platform::ScopedUsbHotplugSource none(&silent);
  ASSERT_TRUE(harness.AddUsbImage("Gate_1235", Image(300)));
  ASSERT_TRUE(harness.Start({"/D", "USB"}));
  const std::string told =
      "This system does not report USB devices that are plugged in or pulled out: press "
      "Refresh (or F5) to list the devices again.";
  EXPECT_TRUE(harness.PaneText().find(told) != std::string::npos) << harness.PaneText().c_str();
  EXPECT_TRUE(harness.Visible(1029));
  harness.usb_bus.AddDevice(usbsim::Driver::kCyUsb, 0, Profile());
  ui::ProcessEvents(50);
  EXPECT_EQ(DeviceItem(harness, 0), std::string("(none)"));
  harness.Press(1029);
  EXPECT_EQ(DeviceItem(harness, 0), std::string("Cyusb-0"));
  EXPECT_EQ(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
  // Said once: the view shown again does not repeat it.
  harness.usb_bus.Device(usbsim::Driver::kCyUsb, 0)->Unplug();
  harness.Command(kCmdRfidReader);
  harness.Command(kCmdUsbDevice);
  EXPECT_TRUE(harness.PaneText().find(told) == std::string::npos);
  EXPECT_EQ(DeviceItem(harness, 0), std::string("(none)"));
}

}  // namespace
}  // namespace flashwright
