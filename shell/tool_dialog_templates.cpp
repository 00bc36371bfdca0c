// Templates 103 (Diagnostics) and 129 to 132 (the settings dialogs of the reader tools). Each
// has the reader's port and version at the top, its own controls in the middle and the status
// line with "Done" at the bottom.
#include "shell/control_ids.h"
#include "shell/program_resources.h"
#include "shell/template_font.h"
#include "windowing/dialog.h"

namespace flashwright {

namespace {

using ui::ControlKind;
using ui::ControlTemplate;
using ui::DialogTemplate;

// The port and version row that every tool dialog starts with.
#define FW_TOOL_IDENTITY_ROW                                              \
  {ControlKind::kLabel, 0, "Port:", 7, 7, 20, 10},                        \
      {ControlKind::kLabel, kIdcToolPort, "", 28, 7, 40, 10},             \
      {ControlKind::kLabel, 0, "Version:", 76, 7, 32, 10},                \
      {ControlKind::kLabel, kIdcToolVersion, "", 110, 7, 90, 10}

// The status line and "Done" along the bottom of a dialog `width` x `height`.
#define FW_TOOL_BOTTOM_ROW(width, height)                                                   \
  {ControlKind::kLabel, kIdcToolStatus, "", 7, (height) - 19, (width) - 74, 10},            \
      {ControlKind::kDefaultButton, ui::kIdOk, "Done", (width) - 57, (height) - 21, 50, 14}

constexpr int kDiagnosticsWidth = 210, kDiagnosticsHeight = 152;
constexpr ControlTemplate kDiagnosticsControls[] = {
    FW_TOOL_IDENTITY_ROW,
    {ControlKind::kListBox, kIdcTagList, "", 7, 22, 196, 84,
     ui::kStyleNoSelection | ui::kStyleVScroll | ui::kStyleBorder},
    {ControlKind::kPushButton, kIdcReadOnce, "Read Once", 7, 111, 60, 14},
    {ControlKind::kPushButton, kIdcReadContinuously, "Read Continuously", 71, 111, 80, 14},
    FW_TOOL_BOTTOM_ROW(kDiagnosticsWidth, kDiagnosticsHeight),
};

constexpr int kAfiWidth = 260, kAfiHeight = 127;
constexpr ControlTemplate kPortalAfiControls[] = {
    FW_TOOL_IDENTITY_ROW,
    {ControlKind::kLabel, 0, "Current AFI Value :", 7, 26, 70, 10},
    {ControlKind::kEdit, kIdcCurrentAfi, "", 80, 24, 30, 13, ui::kStyleReadOnly},
    {ControlKind::kLabel, 0, "AFI Value (Hex) :", 7, 44, 70, 10},
    {ControlKind::kEdit, kIdcAfiEntry, "", 80, 42, 30, 13, ui::kStyleNone, {}, 2},
    {ControlKind::kPushButton, kIdcSetAfi, "Set AFI Value", 118, 41, 70, 14},
    {ControlKind::kGroupBox, 0, "", 7, 62, 246, 38},
    {ControlKind::kLabel, 0, " All AFI values are in hexadecimal. Valid AFI values are 00 to FF. ",
     13, 72, 236, 10},
    {ControlKind::kLabel, 0, "NOTE : 00 and FF are equal to DA. DA is the default setting.", 13,
     84, 236, 10},
    FW_TOOL_BOTTOM_ROW(kAfiWidth, kAfiHeight),
};

// The methods in the order of their codes.
constexpr const char* const kSecurityMethods[] = {"AFI", "EAS", "DSFID", "None"};

constexpr int kSecurityWidth = 260, kSecurityHeight = 155;
constexpr ControlTemplate kSecurityMethodControls[] = {
    FW_TOOL_IDENTITY_ROW,
    {ControlKind::kLabel, 0, "Current Security Method :", 7, 26, 90, 10},
    {ControlKind::kEdit, kIdcCurrentSetting, "", 100, 24, 50, 13, ui::kStyleReadOnly},
    {ControlKind::kLabel, 0, "Current Value :", 7, 42, 90, 10},
    {ControlKind::kEdit, kIdcCurrentSecurityValue, "", 100, 40, 30, 13, ui::kStyleReadOnly},
    {ControlKind::kLabel, 0, "Method :", 7, 58, 90, 10},
    {ControlKind::kDropDownList, kIdcSettingList, "", 100, 56, 60, 13, ui::kStyleNone,
     kSecurityMethods},
    {ControlKind::kLabel, 0, "Value (Hex) :", 7, 74, 90, 10},
    {ControlKind::kEdit, kIdcSecurityValueEntry, "", 100, 72, 30, 13, ui::kStyleNone, {}, 2},
    {ControlKind::kPushButton, kIdcSetSetting, "Set Method And Value", 140, 71, 100, 14},
    {ControlKind::kGroupBox, 0, "", 7, 90, 246, 38},
    {ControlKind::kLabel, 0, " All values are in hexadecimal. EAS should use a value of 01.", 13,
     100, 236, 10},
    {ControlKind::kLabel, 0, "NOTE : AFI with DA is the default setting.", 13, 112, 236, 10},
    FW_TOOL_BOTTOM_ROW(kSecurityWidth, kSecurityHeight),
};

// The mode list is filled when the dialog opens.
constexpr int kModeWidth = 210, kModeHeight = 115;
constexpr ControlTemplate kTransmitModeControls[] = {
    FW_TOOL_IDENTITY_ROW,
    {ControlKind::kGroupBox, 0, "", 7, 22, 196, 46},
    {ControlKind::kLabel, 0, "Current Mode :", 13, 32, 55, 10},
    {ControlKind::kEdit, kIdcCurrentSetting, "", 70, 30, 80, 13, ui::kStyleReadOnly},
    {ControlKind::kLabel, 0, "Mode :", 13, 49, 55, 10},
    {ControlKind::kDropDownList, kIdcSettingList, "", 70, 47, 80, 13},
    {ControlKind::kPushButton, kIdcSetSetting, "Set Mode", 153, 74, 50, 14},
    FW_TOOL_BOTTOM_ROW(kModeWidth, kModeHeight),
};

// The level list is filled when the dialog opens.
constexpr int kLevelWidth = 240, kLevelHeight = 123;
constexpr ControlTemplate kPowerLevelControls[] = {
    FW_TOOL_IDENTITY_ROW,
    {ControlKind::kLabel, 0, "Current Level :", 7, 26, 60, 10},
    {ControlKind::kEdit, kIdcCurrentSetting, "", 70, 24, 60, 13, ui::kStyleReadOnly},
    {ControlKind::kLabel, 0, "Level :", 7, 42, 60, 10},
    {ControlKind::kDropDownList, kIdcSettingList, "", 70, 40, 60, 13},
    {ControlKind::kPushButton, kIdcSetSetting, "Set Level", 140, 39, 50, 14},
    {ControlKind::kGroupBox, 0, "", 7, 58, 226, 38},
    {ControlKind::kLabel, 0, "Setting the wrong level may impact product performance.", 13, 68,
     214, 10},
    {ControlKind::kLabel, 0, "Not all readers support all levels.", 13, 80, 214, 10},
    FW_TOOL_BOTTOM_ROW(kLevelWidth, kLevelHeight),
};

#undef FW_TOOL_IDENTITY_ROW
#undef FW_TOOL_BOTTOM_ROW

// Only Diagnostics has a system menu; "Done" or Escape close the settings dialogs.
constexpr DialogTemplate kToolDialogTemplates[] = {
    {kIddDiagnostics, "Diagnostics", kDiagnosticsWidth, kDiagnosticsHeight, ui::kDialogSystemMenu,
     kTemplateFont, kTemplatePointSize, kDiagnosticsControls},
    {kIddPortalAfi, "Portal AFI Value", kAfiWidth, kAfiHeight, ui::kDialogStyleNone,
     kTemplateFont, kTemplatePointSize, kPortalAfiControls},
    {kIddSecurityMethod, "Q-Series Security Method", kSecurityWidth, kSecurityHeight,
     ui::kDialogStyleNone, kTemplateFont, kTemplatePointSize, kSecurityMethodControls},
    {kIddTransmitMode, "RF Transmit Mode", kModeWidth, kModeHeight, ui::kDialogStyleNone,
     kTemplateFont, kTemplatePointSize, kTransmitModeControls},
    {kIddPowerLevel, "RF Power Level", kLevelWidth, kLevelHeight, ui::kDialogStyleNone,
     kTemplateFont, kTemplatePointSize, kPowerLevelControls},
};

}  // namespace

std::span<const ui::DialogTemplate> ToolDialogTemplates() { return kToolDialogTemplates; }

}  // namespace flashwright
