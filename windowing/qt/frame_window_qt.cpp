// The frame as a QMainWindow: caption with system menu and minimise box, fixed size, a menu
// bar built from a menu template, one view's form at a time in its client area.
#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <map>

#include "windowing/backend.h"
#include "windowing/qt/device_change_qt.h"
#include "windowing/qt/native_window_qt.h"
#include "windowing/qt/qt_form.h"

namespace flashwright::ui {

namespace {

class QtFrameWindow final : public QMainWindow, public FrameWindow {
 public:
  explicit QtFrameWindow(FrameEvents& events)
      : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                 Qt::WindowCloseButtonHint),
        events_(events) {
    setObjectName("MainFrame");
    client_ = new QWidget(this);
    setCentralWidget(client_);
  }

  WindowRef Window() const override { return RefOf(const_cast<QtFrameWindow*>(this)); }
  WindowRef ClientArea() const override { return RefOf(client_); }

  bool LoadMenu(int menu_id, int omit_popup) override {
    const MenuTemplate* menu = FindMenuTemplate(menu_id);
    if (menu == nullptr) return false;
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QString::number(menu_id));
    std::map<int, QAction*> items;
    for (std::size_t i = 0; i < menu->popups.size(); ++i) {
      if (static_cast<int>(i) == omit_popup) continue;
      const MenuPopupTemplate& popup = menu->popups[i];
      QMenu* popup_menu = bar->addMenu(QString::fromUtf8(popup.text));
      connect(popup_menu, &QMenu::aboutToShow, this, [this] { RefreshMenuStates(); });
      for (const MenuItemTemplate& item : popup.items) {
        if (item.flags & kMenuSeparator) {
          popup_menu->addSeparator();
          continue;
        }
        QAction* action = popup_menu->addAction(QString::fromUtf8(item.text));
        action->setObjectName(QString::number(item.command));
        action->setCheckable((item.flags & kMenuCheckable) != 0);
        const int command = item.command;
        connect(action, &QAction::triggered, this, [this, action, command](bool) {
          // Check marks belong to the handlers, as on the platform's menus: undo the toggle
          // that the widget made on its own before the command runs.
          if (action->isCheckable()) {
            const QSignalBlocker block(action);
            action->setChecked(!action->isChecked());
          }
          events_.OnMenuCommand(command);
        });
        items.emplace(command, action);
      }
    }
    items_ = std::move(items);
    // The previous bar goes once the event that may have come from it is handled.
    setMenuBar(bar);
    return true;
  }

  bool HasMenuItem(int command_id) const override { return Item(command_id) != nullptr; }

  std::optional<std::string> MenuItemText(int command_id) const override {
    QAction* item = Item(command_id);
    if (item == nullptr) return std::nullopt;
    return item->text().remove('&').toStdString();
  }

  void SetMenuItemText(int command_id, const std::string& text) override {
    if (QAction* item = Item(command_id)) item->setText(QString::fromStdString(text));
  }

  void CheckMenuItem(int command_id, bool checked) override {
    QAction* item = Item(command_id);
    if (item == nullptr) return;
    if (checked) item->setCheckable(true);
    item->setChecked(checked);
  }

  bool MenuItemChecked(int command_id) const override {
    QAction* item = Item(command_id);
    return item != nullptr && item->isChecked();
  }

  bool MenuItemEnabled(int command_id) const override {
    QAction* item = Item(command_id);
    return item != nullptr && item->isEnabled();
  }

  void RefreshMenuStates() override {
    // A copy: an update handler may replace the menu bar.
    const std::map<int, QAction*> items = items_;
    for (const auto& [command, item] : items) Apply(item, events_.OnUpdateCommand(command));
  }

  void ChooseMenuItem(int command_id) override {
    QAction* item = Item(command_id);
    if (item == nullptr) return;
    Apply(item, events_.OnUpdateCommand(command_id));
    if (item->isEnabled()) item->trigger();
  }

  void SetTitle(const std::string& title) override {
    const QString wanted = QString::fromStdString(title);
    if (windowTitle() != wanted) setWindowTitle(wanted);
  }
  std::string Title() const override { return windowTitle().toStdString(); }
  bool IsMinimized() const override { return isMinimized(); }
  void SetMinimized(bool minimized) override {
    if (minimized) {
      showMinimized();
    } else {
      showNormal();
    }
  }

  void FitClientArea(int width, int height, bool centre) override {
    client_->setFixedSize(width * kPixelsPerDialogUnit, height * kPixelsPerDialogUnit);
    adjustSize();
    setFixedSize(sizeHint());
    if (centre && !centred_) {
      centred_ = true;
      QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
      if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
      }
    }
  }

  void Show() override { show(); }
  bool IsShown() const override { return isVisible(); }
  void RequestClose() override { close(); }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (!events_.OnCloseRequest()) {
      event->ignore();
      return;
    }
    QMainWindow::closeEvent(event);
  }

  void changeEvent(QEvent* event) override {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) events_.OnMinimizedChanged(isMinimized());
  }

  bool event(QEvent* event) override {
    if (event->type() == DeviceChangeEvent::EventType()) {
      auto* change = static_cast<DeviceChangeEvent*>(event);
      events_.OnDeviceChange(change->event_type(), change->data());
      return true;
    }
    return QMainWindow::event(event);
  }

 private:
  QAction* Item(int command_id) const {
    auto found = items_.find(command_id);
    return found != items_.end() ? found->second : nullptr;
  }

  static void Apply(QAction* item, const CommandState& state) {
    item->setEnabled(state.enabled);
    if (state.checked) {
      if (*state.checked) item->setCheckable(true);
      item->setChecked(*state.checked);
    }
  }

  FrameEvents& events_;
  QWidget* client_;
  std::map<int, QAction*> items_;
  bool centred_ = false;
};

}  // namespace

std::unique_ptr<FrameWindow> CreateFrameWindow(FrameEvents& events) {
  return std::make_unique<QtFrameWindow>(events);
}

}  // namespace flashwright::ui
