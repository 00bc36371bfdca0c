// The prompt before a USB update, the command line's image name and the check report: the
// decisions the windowed program and the command line share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usb_update/usb_update_prompt.h"

namespace flashwright {
namespace {

UsbPromptState ReadyState() {
  UsbPromptState state;
  state.device = 0;
  state.device_name = "Cyusb-0";
  state.device_known = true;
  state.image_selected = true;
  state.image_count = 2;
  state.firmware_folder = "/opt/fw/ezusb_fw";
  return state;
}

TEST(UsbPromptTest, EveryReasonNotToStartIsSaid) {
  UsbPromptState state = ReadyState();
  UsbPrompt prompt = ComposeUsbPrompt(state);
  EXPECT_TRUE(prompt.ready);
  EXPECT_EQ(prompt.message.text, "Press Begin Update to start firmware update.");
  EXPECT_EQ(prompt.message.kind, ui::PaneKind::kNeutral);

  // No device and no images: both errors, one line each.
  state.device = -1;
  state.image_selected = false;
  state.image_count = 0;
  prompt = ComposeUsbPrompt(state);
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.message.kind, ui::PaneKind::kError);
  EXPECT_EQ(prompt.message.text,
            "No USB devices found. Check USB and power cables or install driver.\r\n"
            "No firmware files. Check firmware directory at /opt/fw/ezusb_fw.");

  // A preselected image that is not there is named, even when the folder has others.
  state = ReadyState();
  state.image_selected = false;
  state.preselected_image = "Update";
  prompt = ComposeUsbPrompt(state);
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.message.kind, ui::PaneKind::kError);
  EXPECT_EQ(prompt.message.text,
            "Firmware file Update not found. Check firmware directory at /opt/fw/ezusb_fw.");

  // Images but none chosen: the basic view points to the advanced one.
  state.preselected_image.clear();
  prompt = ComposeUsbPrompt(state);
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.message.kind, ui::PaneKind::kNeutral);
  EXPECT_EQ(prompt.message.text, "Select a firmware file using Advanced View.");
  state.advanced = true;
  EXPECT_EQ(ComposeUsbPrompt(state).message.text, "Select a firmware file.");

  // A device whose product string could not be read cannot be updated.
  state = ReadyState();
  state.device_known = false;
  prompt = ComposeUsbPrompt(state);
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.message.text, "Unknown device on Cyusb-0. Select a different device.");
  EXPECT_EQ(prompt.message.kind, ui::PaneKind::kNeutral);
}

TEST(UsbImageNameTest, TheCommandLinesNameLosesItsExtensionInAnyCase) {
  EXPECT_EQ(UsbPreselectedImageName("Update.BIN"), "Update");
  EXPECT_EQ(UsbPreselectedImageName("update.bin"), "update");
  EXPECT_EQ(UsbPreselectedImageName("Update.bi"), "Update.bi");
  EXPECT_EQ(UsbPreselectedImageName("Update"), "Update");
  EXPECT_EQ(UsbPreselectedImageName(""), "");

  const std::vector<std::string> images = {"Gate_1235", "Pad", "Old.bin"};
  EXPECT_EQ(FindUsbImageIndex(images, "gate_1235"), 0);
  EXPECT_EQ(FindUsbImageIndex(images, "Missing"), -1);
  EXPECT_EQ(FindUsbImageIndex(images, ""), -1);
  EXPECT_EQ(FindUsbImage(images, "PAD.BIN"), "Pad");
  // An image whose own name ends in ".bin" is found by that name first.
  EXPECT_EQ(FindUsbImage(images, "old.BIN"), "Old.bin");
  EXPECT_EQ(FindUsbImage(images, "Missing.bin"), "");
}

TEST(UsbCheckReportTest, SaysWhetherAndWhyWithBothSidesIdentities) {
  UsbDeviceInfo device{0xC2, 0x04B4, 0x8613, "Orvane Folio Systems Gate 1.2.3.4"};
  UsbConfirmation confirmation;
  confirmation.ok = true;
  confirmation.image = {0xC0, 0x04B4, 0x1004, "Pad 1.9"};
  EXPECT_EQ(UsbCheckReportText(confirmation, device),
            "This device can be updated with the firmware.\r\n"
            "Device:[4B4][8613][C2]Orvane Folio Systems Gate 1.2.3.4\r\n"
            "Firmware:[4B4][1004][C0]Pad 1.9");
  confirmation.ok = false;
  confirmation.reason = "Product IDs do not match";
  const std::string refused = UsbCheckReportText(confirmation, device);
  EXPECT_EQ(refused.substr(0, refused.find('\r')),
            "This device can NOT be updated with the firmware due to: (Product IDs do not match)");
  EXPECT_EQ(UsbNotCompatibleText("Vendor IDs do not match"),
            "Device is not compatible with firmware file.\r\n(Vendor IDs do not match)");
}

}  // namespace
}  // namespace flashwright
