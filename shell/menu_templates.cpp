// Menus 128 (basic, both views), 129 (advanced, reader view) and 130 (advanced, USB view). The
// frame leaves out the Device popup when only one kind of device is enabled, and puts the
// product's name into the About item.
#include "shell/command_ids.h"
#include "shell/program_resources.h"
#include "shell/shell_texts.h"

namespace flashwright {

namespace {

using ui::MenuItemTemplate;
using ui::MenuPopupTemplate;

constexpr MenuItemTemplate kFileItems[] = {{texts::kExit, kCmdExit}};
constexpr MenuItemTemplate kViewItems[] = {
    {texts::kBasic, kCmdBasic, ui::kMenuCheckable},
    {texts::kAdvanced, kCmdAdvanced, ui::kMenuCheckable},
};
constexpr MenuItemTemplate kReaderToolsItems[] = {
    {texts::kRecover, kCmdRecover, ui::kMenuCheckable},
    {"", 0, ui::kMenuSeparator},
    {texts::kDiagnostics, kCmdDiagnostics},
    {texts::kCopyFirmware, kCmdCopyFirmware},
    {"", 0, ui::kMenuSeparator},
    {texts::kPortalAfi, kCmdPortalAfi},
    {texts::kSecurityMethod, kCmdSecurityMethod},
    {texts::kTransmitMode, kCmdTransmitMode},
    {texts::kPowerLevel, kCmdPowerLevel},
};
constexpr MenuItemTemplate kUsbToolsItems[] = {
    {texts::kAllowNonMatching, kCmdAllowNonMatching, ui::kMenuCheckable},
};
constexpr MenuItemTemplate kDeviceItems[] = {
    {texts::kUsbDevice, kCmdUsbDevice, ui::kMenuCheckable},
    {texts::kRfidReader, kCmdRfidReader, ui::kMenuCheckable},
};
constexpr MenuItemTemplate kHelpItems[] = {{texts::kAboutPlaceholder, kCmdAbout}};

constexpr MenuPopupTemplate kBasicPopups[] = {
    {texts::kFileMenu, kFileItems},
    {texts::kViewMenu, kViewItems},
    {texts::kDeviceMenu, kDeviceItems},
    {texts::kHelpMenu, kHelpItems},
};
constexpr MenuPopupTemplate kReaderAdvancedPopups[] = {
    {texts::kFileMenu, kFileItems},     {texts::kViewMenu, kViewItems},
    {texts::kToolsMenu, kReaderToolsItems}, {texts::kDeviceMenu, kDeviceItems},
    {texts::kHelpMenu, kHelpItems},
};
constexpr MenuPopupTemplate kUsbAdvancedPopups[] = {
    {texts::kFileMenu, kFileItems},     {texts::kViewMenu, kViewItems},
    {texts::kToolsMenu, kUsbToolsItems}, {texts::kDeviceMenu, kDeviceItems},
    {texts::kHelpMenu, kHelpItems},
};

constexpr ui::MenuTemplate kMenus[] = {
    {kMenuBasic, kBasicPopups},
    {kMenuReaderAdvanced, kReaderAdvancedPopups},
    {kMenuUsbAdvanced, kUsbAdvancedPopups},
};

}  // namespace

std::span<const ui::MenuTemplate> MenuTemplates() { return kMenus; }

}  // namespace flashwright
