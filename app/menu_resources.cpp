#include "app/menu_resources.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "shell/command_ids.h"
#include "shell/shell_texts.h"

namespace flashwright {

namespace {

struct Item {
  const char* text;
  int command;  // 0: separator
  bool checkable;
};

void AddItems(QMenu* menu, std::initializer_list<Item> items) {
  for (const Item& item : items) {
    if (item.command == 0) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromUtf8(item.text));
    action->setProperty(kCommandProperty, item.command);
    action->setObjectName(QString::number(item.command));
    action->setCheckable(item.checkable);
  }
}

QMenu* AddPopup(QMenuBar* bar, const char* text) {
  QMenu* popup = bar->addMenu(QString::fromUtf8(text));
  return popup;
}

}  // namespace

int DevicePopupPosition(int menu_id) { return menu_id == kMenuBasic ? 2 : 3; }

QMenuBar* LoadMenuResource(int menu_id, QWidget* parent) {
  if (menu_id != kMenuBasic && menu_id != kMenuReaderAdvanced && menu_id != kMenuUsbAdvanced)
    return nullptr;
  auto* bar = new QMenuBar(parent);
  bar->setObjectName(QString::number(menu_id));

  AddItems(AddPopup(bar, texts::kFileMenu), {{texts::kExit, kCmdExit, false}});
  AddItems(AddPopup(bar, texts::kViewMenu),
           {{texts::kBasic, kCmdBasic, true}, {texts::kAdvanced, kCmdAdvanced, true}});
  if (menu_id == kMenuReaderAdvanced) {
    AddItems(AddPopup(bar, texts::kToolsMenu), {{texts::kRecover, kCmdRecover, true},
                                                {nullptr, 0, false},
                                                {texts::kDiagnostics, kCmdDiagnostics, false},
                                                {texts::kCopyFirmware, kCmdCopyFirmware, false},
                                                {nullptr, 0, false},
                                                {texts::kPortalAfi, kCmdPortalAfi, false},
                                                {texts::kSecurityMethod, kCmdSecurityMethod, false},
                                                {texts::kTransmitMode, kCmdTransmitMode, false},
                                                {texts::kPowerLevel, kCmdPowerLevel, false}});
  } else if (menu_id == kMenuUsbAdvanced) {
    AddItems(AddPopup(bar, texts::kToolsMenu),
             {{texts::kAllowNonMatching, kCmdAllowNonMatching, true}});
  }
  AddItems(AddPopup(bar, texts::kDeviceMenu),
           {{texts::kUsbDevice, kCmdUsbDevice, true}, {texts::kRfidReader, kCmdRfidReader, true}});
  AddItems(AddPopup(bar, texts::kHelpMenu), {{texts::kAboutPlaceholder, kCmdAbout, false}});
  return bar;
}

int CommandOf(const QAction* action) {
  const QVariant command = action->property(kCommandProperty);
  return command.isValid() ? command.toInt() : 0;
}

}  // namespace flashwright
