#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QVBoxLayout>

#include "shell/command_ids.h"
#include "app/kindler_app.h"
#include "app/kindler_doc.h"
#include "app/menu_resources.h"
#include "shell/shell_texts.h"
#include "shell/string_table.h"
#include "app/test_hooks.h"
#include "windowing/device_change.h"
#include "windowing/key_state.h"

namespace flashwright {

CMainFrame::CMainFrame(CKindlerApp& app, CKindlerDoc& document)
    : QMainWindow(nullptr,
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowCloseButtonHint),
      app_(app),
      document_(document) {
  setObjectName("MainFrame");
  view_host_ = new QWidget(this);
  auto* layout = new QVBoxLayout(view_host_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setCentralWidget(view_host_);
  LoadMenuSet(kMenuBasic);
}

CMainFrame::~CMainFrame() {
  // The view goes first, while the frame it calls back into is still whole.
  if (active_view_) {
    document_.RemoveView(active_view_);
    delete active_view_;
    active_view_ = nullptr;
  }
}

bool CMainFrame::LoadFrame(ui::ViewKind kind) {
  ui::FormView* view = app_.CreateView(kind, view_host_);
  if (!view) return false;
  view_host_->layout()->addWidget(view);
  document_.AddView(view);
  active_view_ = view;
  view->OnInitialUpdate();
  return true;
}

void CMainFrame::LoadMenuSet(int menu_id) {
  const bool both_kinds = app_.IsUsbEnabled() && app_.IsReaderEnabled();
  QMenuBar* bar = LoadMenuResource(menu_id, this);
  if (!bar) return;
  if (!both_kinds) {
    const QList<QAction*> popups = bar->actions();
    const int position = DevicePopupPosition(menu_id);
    if (position < popups.size()) {
      QAction* device = popups[position];
      bar->removeAction(device);
      delete device->menu();
    }
  }
  menu_id_ = menu_id;
  // Replaces (and destroys) the previous menu bar.
  setMenuBar(bar);
  if (QAction* about = MenuItem(kCmdAbout)) {
    about->setText(QString::fromStdString(
        FormatText(texts::kAboutItemFormat, LoadString(IDS_APP_TITLE))));
  }
  ConnectMenu();
  if (both_kinds) SetDeviceChecks();
}

void CMainFrame::ConnectMenu() {
  for (QAction* popup : menuBar()->actions()) {
    QMenu* menu = popup->menu();
    if (!menu) continue;
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    for (QAction* item : menu->actions()) {
      const int command = CommandOf(item);
      if (command == 0) continue;
      connect(item, &QAction::triggered, this, [this, item, command](bool) {
        // Check marks belong to the handlers, as on the platform's menus: undo the toggle
        // that the widget made on its own before the command runs.
        if (item->isCheckable()) {
          const QSignalBlocker block(item);
          item->setChecked(!item->isChecked());
        }
        RouteCommand(command);
      });
    }
  }
}

QAction* CMainFrame::MenuItem(int command_id) const {
  QMenuBar* bar = menuBar();
  if (!bar) return nullptr;
  for (QAction* popup : bar->actions()) {
    if (!popup->menu()) continue;
    for (QAction* item : popup->menu()->actions()) {
      if (CommandOf(item) == command_id) return item;
    }
  }
  return nullptr;
}

void CMainFrame::CheckMenuItem(int command_id, bool checked) {
  if (QAction* item = MenuItem(command_id)) item->setChecked(checked);
}

int CMainFrame::IsAdvanced(int /*command*/) {
  if (!advanced_known_) {
    advanced_ = (ui::IsControlKeyDown() || StartAdvancedRequested()) ? 1 : 0;
    advanced_known_ = true;
  }
  return advanced_;
}

void CMainFrame::SetAdvanced(int value, int /*command*/) { advanced_ = value; }

void CMainFrame::SetTitleCommand(int command) {
  title_command_ = command;
  progress_ = -1;
  if (!centred_) {
    centred_ = true;
    ResizeToView();
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
  }
  UpdateTitle();
}

void CMainFrame::SetTitleProgress(int command, std::int16_t percentage) {
  title_command_ = command;
  progress_ = percentage;
  UpdateTitle();
}

void CMainFrame::UpdateTitle() {
  const std::string product = LoadString(IDS_APP_TITLE);
  std::string title;
  if (progress_ < 0 || progress_ > 100 || !isMinimized()) {
    QAction* item = title_command_ != 0 ? MenuItem(title_command_) : nullptr;
    if (item) {
      const std::string text = item->text().remove('&').toStdString();
      title = text.empty() ? FormatText(texts::kTitleFormat, product.c_str())
                           : FormatText(texts::kTitleDeviceFormat, product.c_str(), text.c_str());
    } else {
      title = FormatText(texts::kTitleFormat, product.c_str());
    }
  } else {
    title = FormatText(texts::kTitleProgressFormat, product.c_str(), int{progress_});
  }
  const QString wanted = QString::fromStdString(title);
  if (windowTitle() != wanted) setWindowTitle(wanted);
}

void CMainFrame::ResizeToView() {
  // The frame fits the form and cannot be resized by the user.
  if (active_view_) active_view_->adjustSize();
  view_host_->adjustSize();
  adjustSize();
  setFixedSize(sizeHint());
}

void CMainFrame::SwitchToView(ui::ViewKind kind) {
  if (!active_view_ || active_view_->Kind() != kind) {
    ui::FormView* old_view = active_view_;
    ui::FormView* new_view = app_.CreateView(kind, view_host_);
    if (!new_view) return;
    view_host_->layout()->addWidget(new_view);
    new_view->show();
    if (old_view) old_view->hide();
    document_.AddView(new_view);
    if (old_view) document_.RemoveView(old_view);
    active_view_ = new_view;
    if (old_view) {
      view_host_->layout()->removeWidget(old_view);
    }
    new_view->OnInitialUpdate();
    // Pending notices for the old view die with it; their records are freed with the events.
    delete old_view;
    ResizeToView();
  }
  SetDeviceChecks();
}

void CMainFrame::SetDeviceChecks() {
  const bool reader = active_view_ && active_view_->Kind() == ui::ViewKind::kReader;
  const bool usb = active_view_ && active_view_->Kind() == ui::ViewKind::kUsb;
  CheckMenuItem(kCmdRfidReader, reader);
  CheckMenuItem(kCmdUsbDevice, usb);
}

bool CMainFrame::OnFrameCommand(int command_id) {
  if (command_id == kCmdRfidReader) {
    SwitchToView(ui::ViewKind::kReader);
    return true;
  }
  if (command_id == kCmdUsbDevice) {
    SwitchToView(ui::ViewKind::kUsb);
    return true;
  }
  return false;
}

bool CMainFrame::OnUpdateFrameCommand(ui::CommandState& state) const {
  if (state.id == kCmdRfidReader || state.id == kCmdUsbDevice) {
    state.Enable(!app_.IsBusy());
    return true;
  }
  return false;
}

ui::CommandState CMainFrame::QueryCommandState(int command_id) const {
  ui::CommandState state(command_id);
  if (active_view_ && active_view_->OnUpdateCommand(state)) return state;
  if (OnUpdateFrameCommand(state)) return state;
  if (app_.OnUpdateCommand(state)) return state;
  // A command that nobody handles is greyed.
  const bool handled = (active_view_ && active_view_->HasCommand(command_id)) ||
                       command_id == kCmdRfidReader || command_id == kCmdUsbDevice ||
                       app_.HasCommand(command_id);
  state.Enable(handled);
  return state;
}

void CMainFrame::UpdateCommandStates() {
  QMenuBar* bar = menuBar();
  if (!bar) return;
  for (QAction* popup : bar->actions()) {
    if (!popup->menu()) continue;
    for (QAction* item : popup->menu()->actions()) {
      const int command = CommandOf(item);
      if (command == 0) continue;
      const ui::CommandState state = QueryCommandState(command);
      item->setEnabled(state.enabled);
      if (state.checked) item->setChecked(*state.checked);
    }
  }
}

void CMainFrame::RouteCommand(int command_id) {
  if (!QueryCommandState(command_id).enabled) return;
  if (active_view_ && active_view_->OnCommand(command_id)) return;
  if (OnFrameCommand(command_id)) return;
  app_.OnCommand(command_id);
}

bool CMainFrame::OnDeviceChange(unsigned event_type, std::uintptr_t event_data) {
  if (active_view_ && active_view_->Kind() == ui::ViewKind::kUsb)
    active_view_->OnDeviceChange(event_type, event_data);
  return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!document_.CanCloseFrame()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) UpdateTitle();
}

bool CMainFrame::event(QEvent* event) {
  if (event->type() == ui::DeviceChangeEvent::EventType()) {
    auto* change = static_cast<ui::DeviceChangeEvent*>(event);
    OnDeviceChange(change->event_type(), change->data());
    return true;
  }
  return QMainWindow::event(event);
}

}  // namespace flashwright
