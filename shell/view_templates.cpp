// Templates 100 (the About box), 101 (the reader update view's form) and 104 (the USB update
// view's form). The forms' controls sit at fixed places, so that hiding the advanced controls
// of 101 leaves the rest where it is.
#include "shell/control_ids.h"
#include "shell/program_resources.h"
#include "shell/shell_texts.h"
#include "shell/template_font.h"
#include "windowing/dialog.h"

namespace flashwright {

namespace {

using ui::ControlKind;
using ui::ControlTemplate;
using ui::DialogTemplate;

// The product, version and notice lines are filled in when the box opens.
constexpr ControlTemplate kAboutControls[] = {
    {ControlKind::kIcon, 0, "", 8, 8, 20, 20},
    {ControlKind::kLabel, kIdcAboutProduct, "", 40, 8, 196, 10},
    {ControlKind::kLabel, kIdcAboutVersion, "", 40, 22, 196, 10},
    {ControlKind::kLabel, kIdcAboutNotice, "", 40, 36, 252, 10},
    {ControlKind::kDefaultButton, ui::kIdOk, texts::kOk, 244, 7, 50, 14},
};

constexpr ControlTemplate kReaderFormControls[] = {
    {ControlKind::kGroupBox, 0, "Settings", 5, 3, 230, 44},
    {ControlKind::kLabel, 0, "Port:", 12, 16, 35, 12},
    {ControlKind::kDropDownList, kIdcPortSelector, "", 50, 15, 75, 13},
    {ControlKind::kLabel, 0, "Firmware:", 12, 31, 35, 12},
    {ControlKind::kDropDownList, kIdcFirmwareSelector, "", 50, 30, 178, 13},

    {ControlKind::kGroupBox, kIdcReaderInfoGroup, "Reader Information", 5, 50, 230, 58},
    {ControlKind::kLabel, kIdcVersionLabel, "Version:", 12, 62, 45, 10},
    {ControlKind::kLabel, kIdcVersionText, "", 60, 62, 90, 28,
     ui::kStyleAlignTop | ui::kStyleSelectable},
    {ControlKind::kLabel, kIdcPowerLabel, "Power Level:", 12, 93, 45, 10},
    {ControlKind::kLabel, kIdcPowerText, "", 60, 93, 70, 10, ui::kStyleSelectable},
    {ControlKind::kCheckBox, kIdcTagIt, "TagIt", 158, 61, 70, 11},
    {ControlKind::kCheckBox, kIdcIso, "ISO", 158, 73, 70, 11},
    {ControlKind::kPushButton, kIdcResetConfiguration, "Reset Configuration", 158, 89, 72, 14},

    {ControlKind::kDefaultButton, kIdcBeginUpdate, "Begin Update", 5, 113, 70, 17},
    {ControlKind::kLabel, kIdcProgressStatus, "", 81, 112, 154, 8},
    {ControlKind::kProgressBar, kIdcProgressBar, "", 81, 121, 154, 9},

    {ControlKind::kRichEdit, kIdcMessagePane, "", 5, 135, 230, 60, ui::kStyleBorder},
};

constexpr ControlTemplate kUsbFormControls[] = {
    {ControlKind::kGroupBox, 0, "Settings", 5, 3, 230, 44},
    {ControlKind::kLabel, 0, "Device:", 12, 16, 35, 12},
    {ControlKind::kDropDownList, kIdcUsbDeviceList, "", 50, 15, 100, 13},
    {ControlKind::kPushButton, kIdcUsbRefresh, "Refresh", 155, 15, 45, 13, ui::kStyleHidden},
    {ControlKind::kLabel, 0, "Firmware:", 12, 31, 35, 12},
    {ControlKind::kDropDownList, kIdcUsbFirmwareList, "", 50, 30, 178, 13},

    {ControlKind::kGroupBox, kIdcUsbInfoGroup, "Device Information", 5, 50, 230, 46},
    {ControlKind::kLabel, kIdcUsbDeviceInfo, "", 12, 61, 216, 31,
     ui::kStyleAlignTop | ui::kStyleSelectable},

    {ControlKind::kDefaultButton, kIdcUsbBeginUpdate, "Begin Update", 5, 101, 70, 17},
    {ControlKind::kLabel, kIdcUsbProgressStatus, "", 81, 100, 154, 8},
    {ControlKind::kProgressBar, kIdcUsbProgressBar, "", 81, 109, 154, 9},

    {ControlKind::kRichEdit, kIdcUsbMessagePane, "", 5, 123, 230, 60, ui::kStyleBorder},
};

// F5 lists the devices again, as the Refresh button does (whether it is shown or not).
constexpr ui::AcceleratorTemplate kUsbFormAccelerators[] = {
    {ui::AcceleratorKey::kF5, kIdcUsbRefresh},
};

constexpr DialogTemplate kViewTemplates[] = {
    {kIddAbout, "About", 300, 56, ui::kDialogSystemMenu, kTemplateFont, kTemplatePointSize,
     kAboutControls},
    {kIddReaderUpdateForm, "", 240, 200, ui::kDialogChild, kTemplateFont, kTemplatePointSize,
     kReaderFormControls},
    {kIddUsbUpdateForm, "", 240, 188, ui::kDialogChild, kTemplateFont, kTemplatePointSize,
     kUsbFormControls, kUsbFormAccelerators},
};

}  // namespace

std::span<const ui::DialogTemplate> ViewTemplates() { return kViewTemplates; }

}  // namespace flashwright
