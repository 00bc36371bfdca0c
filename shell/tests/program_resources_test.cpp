// The program's resources as data: every template's controls inside it, apart from each other
// and with the identifiers and kinds the classes that drive them address; the menus with
// their popups in order and every command of the program on one of them.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "shell/program_resources.h"

namespace flashwright {
namespace {

using ui::ControlKind;

const ui::DialogTemplate* Dialog(int id) {
  for (const ui::DialogTemplate& dialog : ProgramResources().dialogs)
    if (dialog.id == id) return &dialog;
  return nullptr;
}

const ui::ControlTemplate* Control(const ui::DialogTemplate& dialog, int id) {
  for (const ui::ControlTemplate& control : dialog.controls)
    if (control.id == id) return &control;
  return nullptr;
}

bool Overlap(const ui::ControlTemplate& a, const ui::ControlTemplate& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
         b.y < a.y + a.height;
}

TEST(ProgramResourcesTest, ControlsLieInsideTheirTemplateApartFromEachOther) {
  std::set<int> template_ids;
  for (const ui::DialogTemplate& dialog : ProgramResources().dialogs) {
    EXPECT_TRUE(template_ids.insert(dialog.id).second) << dialog.id;
    std::set<int> ids;
    for (const ui::ControlTemplate& control : dialog.controls) {
      const std::string where = std::to_string(dialog.id) + "/" + std::to_string(control.id) +
                                " " + control.text;
      EXPECT_GE(control.x, 0) << where;
      EXPECT_GE(control.y, 0) << where;
      EXPECT_GT(control.width, 0) << where;
      EXPECT_GT(control.height, 0) << where;
      EXPECT_LE(control.x + control.width, dialog.width) << where;
      EXPECT_LE(control.y + control.height, dialog.height) << where;
      if (control.id != 0) {
        EXPECT_TRUE(ids.insert(control.id).second) << where;
      }
    }
    // Only group boxes hold other controls.
    for (const ui::ControlTemplate& a : dialog.controls) {
      for (const ui::ControlTemplate& b : dialog.controls) {
        if (&a >= &b || a.kind == ControlKind::kGroupBox || b.kind == ControlKind::kGroupBox)
          continue;
        EXPECT_FALSE(Overlap(a, b)) << dialog.id << ": \"" << a.text << "\" " << a.id
                                    << " and \"" << b.text << "\" " << b.id;
      }
    }
  }
  EXPECT_EQ(template_ids, (std::set<int>{kIddAbout, kIddReaderUpdateForm, kIddDiagnostics,
                                         kIddUsbUpdateForm, kIddPortalAfi, kIddSecurityMethod,
                                         kIddTransmitMode, kIddPowerLevel}));
}

TEST(ProgramResourcesTest, TemplatesHoldTheControlsTheirClassesAddress) {
  const std::map<int, std::vector<std::pair<int, ControlKind>>> wanted = {
      {kIddAbout,
       {{kIdcAboutProduct, ControlKind::kLabel}, {kIdcAboutVersion, ControlKind::kLabel},
        {kIdcAboutNotice, ControlKind::kLabel}, {1, ControlKind::kDefaultButton}}},
      {kIddReaderUpdateForm,
       {{kIdcMessagePane, ControlKind::kRichEdit}, {kIdcBeginUpdate, ControlKind::kDefaultButton},
        {kIdcReaderInfoGroup, ControlKind::kGroupBox}, {kIdcProgressBar, ControlKind::kProgressBar},
        {kIdcProgressStatus, ControlKind::kLabel}, {kIdcResetConfiguration, ControlKind::kPushButton},
        {kIdcVersionLabel, ControlKind::kLabel}, {kIdcVersionText, ControlKind::kLabel},
        {kIdcPowerLabel, ControlKind::kLabel}, {kIdcPowerText, ControlKind::kLabel},
        {kIdcPortSelector, ControlKind::kDropDownList},
        {kIdcFirmwareSelector, ControlKind::kDropDownList}, {kIdcTagIt, ControlKind::kCheckBox},
        {kIdcIso, ControlKind::kCheckBox}}},
      {kIddUsbUpdateForm,
       {{kIdcUsbInfoGroup, ControlKind::kGroupBox}, {kIdcUsbProgressBar, ControlKind::kProgressBar},
        {kIdcUsbProgressStatus, ControlKind::kLabel}, {kIdcUsbDeviceInfo, ControlKind::kLabel},
        {kIdcUsbBeginUpdate, ControlKind::kDefaultButton},
        {kIdcUsbMessagePane, ControlKind::kRichEdit},
        {kIdcUsbDeviceList, ControlKind::kDropDownList},
        {kIdcUsbFirmwareList, ControlKind::kDropDownList},
        {kIdcUsbRefresh, ControlKind::kPushButton}}},
      {kIddDiagnostics,
       {{kIdcReadOnce, ControlKind::kPushButton}, {kIdcTagList, ControlKind::kListBox},
        {kIdcReadContinuously, ControlKind::kPushButton}}},
      {kIddPortalAfi,
       {{kIdcSetAfi, ControlKind::kPushButton}, {kIdcCurrentAfi, ControlKind::kEdit},
        {kIdcAfiEntry, ControlKind::kEdit}}},
      {kIddSecurityMethod,
       {{kIdcCurrentSetting, ControlKind::kEdit}, {kIdcSettingList, ControlKind::kDropDownList},
        {kIdcSetSetting, ControlKind::kPushButton},
        {kIdcSecurityValueEntry, ControlKind::kEdit},
        {kIdcCurrentSecurityValue, ControlKind::kEdit}}},
      {kIddTransmitMode,
       {{kIdcCurrentSetting, ControlKind::kEdit}, {kIdcSettingList, ControlKind::kDropDownList},
        {kIdcSetSetting, ControlKind::kPushButton}}},
      {kIddPowerLevel,
       {{kIdcCurrentSetting, ControlKind::kEdit}, {kIdcSettingList, ControlKind::kDropDownList},
        {kIdcSetSetting, ControlKind::kPushButton}}},
  };
  for (const auto& [template_id, controls] : wanted) {
    const ui::DialogTemplate* dialog = Dialog(template_id);
    ASSERT_NE(dialog, nullptr) << template_id;
    for (const auto& [id, kind] : controls) {
      const ui::ControlTemplate* control = Control(*dialog, id);
      ASSERT_NE(control, nullptr) << template_id << "/" << id;
      EXPECT_EQ(control->kind, kind) << template_id << "/" << id;
    }
  }
  // What every tool dialog shares, and what only Diagnostics and the About box have.
  for (int id : {kIddDiagnostics, kIddPortalAfi, kIddSecurityMethod, kIddTransmitMode,
                 kIddPowerLevel}) {
    const ui::DialogTemplate& dialog = *Dialog(id);
    for (int common : {kIdcToolStatus, kIdcToolPort, kIdcToolVersion})
      EXPECT_EQ(Control(dialog, common)->kind, ControlKind::kLabel) << id << "/" << common;
    EXPECT_STREQ(Control(dialog, 1)->text, "Done");
    EXPECT_EQ(Control(dialog, 1)->kind, ControlKind::kDefaultButton);
    EXPECT_EQ((dialog.style & ui::kDialogSystemMenu) != 0, id == kIddDiagnostics) << id;
  }
  EXPECT_TRUE(Dialog(kIddAbout)->style & ui::kDialogSystemMenu);
  EXPECT_TRUE(Dialog(kIddReaderUpdateForm)->style & ui::kDialogChild);
  EXPECT_TRUE(Dialog(kIddUsbUpdateForm)->style & ui::kDialogChild);

  // The security methods come with the template, in the order of their codes; the two value
  // entries take two characters; the current values are shown only.
  const ui::ControlTemplate& methods = *Control(*Dialog(kIddSecurityMethod), kIdcSettingList);
  EXPECT_EQ(std::vector<std::string>(methods.items.begin(), methods.items.end()),
            (std::vector<std::string>{"AFI", "EAS", "DSFID", "None"}));
  EXPECT_TRUE(Control(*Dialog(kIddTransmitMode), kIdcSettingList)->items.empty());
  EXPECT_TRUE(Control(*Dialog(kIddPowerLevel), kIdcSettingList)->items.empty());
  EXPECT_EQ(Control(*Dialog(kIddPortalAfi), kIdcAfiEntry)->max_chars, 2);
  EXPECT_EQ(Control(*Dialog(kIddSecurityMethod), kIdcSecurityValueEntry)->max_chars, 2);
  EXPECT_TRUE(Control(*Dialog(kIddPortalAfi), kIdcCurrentAfi)->style & ui::kStyleReadOnly);
  EXPECT_TRUE(Control(*Dialog(kIddSecurityMethod), kIdcCurrentSecurityValue)->style &
              ui::kStyleReadOnly);
  EXPECT_TRUE(Control(*Dialog(kIddDiagnostics), kIdcTagList)->style & ui::kStyleNoSelection);
  // Refresh is hidden until the view finds no device notices, and F5 presses it.
  const ui::DialogTemplate& usb = *Dialog(kIddUsbUpdateForm);
  EXPECT_TRUE(Control(usb, kIdcUsbRefresh)->style & ui::kStyleHidden);
  ASSERT_EQ(usb.accelerators.size(), 1u);
  EXPECT_EQ(usb.accelerators[0].id, kIdcUsbRefresh);
}

TEST(ProgramResourcesTest, MenusHoldEveryCommandWithTheDevicePopupWhereTheFrameLooks) {
  std::map<int, std::vector<std::string>> popups;
  std::map<int, std::set<int>> commands;
  for (const ui::MenuTemplate& menu : ProgramResources().menus) {
    for (const ui::MenuPopupTemplate& popup : menu.popups) {
      popups[menu.id].push_back(popup.text);
      for (const ui::MenuItemTemplate& item : popup.items) {
        if (item.flags & ui::kMenuSeparator) {
          EXPECT_EQ(item.command, 0);
          continue;
        }
        EXPECT_TRUE(commands[menu.id].insert(item.command).second) << item.text;
      }
    }
  }
  EXPECT_EQ(popups[kMenuBasic], (std::vector<std::string>{"&File", "&View", "&Device", "&Help"}));
  const std::vector<std::string> advanced = {"&File", "&View", "&Tools", "&Device", "&Help"};
  EXPECT_EQ(popups[kMenuReaderAdvanced], advanced);
  EXPECT_EQ(popups[kMenuUsbAdvanced], advanced);
  const std::set<int> shared = {kCmdExit, kCmdBasic, kCmdAdvanced, kCmdUsbDevice,
                                kCmdRfidReader, kCmdAbout};
  EXPECT_EQ(commands[kMenuBasic], shared);
  std::set<int> reader = shared;
  reader.insert({kCmdRecover, kCmdDiagnostics, kCmdCopyFirmware, kCmdPortalAfi,
                 kCmdSecurityMethod, kCmdTransmitMode, kCmdPowerLevel});
  EXPECT_EQ(commands[kMenuReaderAdvanced], reader);
  std::set<int> usb = shared;
  usb.insert(kCmdAllowNonMatching);
  EXPECT_EQ(commands[kMenuUsbAdvanced], usb);
}

}  // namespace
}  // namespace flashwright
