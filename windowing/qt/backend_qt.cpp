// The forms of the Qt backend: a view's form as a plain child widget, a dialog's as a QDialog
// whose Escape key and close box are the "Cancel" control's notifications.
#include <QCloseEvent>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

#include "windowing/backend.h"
#include "windowing/dialog.h"
#include "windowing/qt/native_window_qt.h"
#include "windowing/qt/qt_form.h"

namespace flashwright::ui {

namespace {

class QtDialogWindow : public QDialog {
 public:
  QtDialogWindow(QWidget* owner, Qt::WindowFlags flags) : QDialog(owner, flags) {}
  void SetEvents(FormEvents* events) { events_ = events; }

  // Escape: the dialog decides through its Cancel handler.
  void reject() override {
    if (events_) events_->OnNotify(kIdCancel, Notification::kClicked);
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (events_) events_->OnNotify(kIdCancel, Notification::kClicked);
  }

 private:
  FormEvents* events_ = nullptr;
};

void Centre(QWidget* window, QWidget* owner) {
  QRect area;
  if (owner != nullptr) {
    area = owner->window()->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) window->move(area.center() - window->rect().center());
}

}  // namespace

std::unique_ptr<Form> CreateChildForm(const DialogTemplate& dialog, WindowRef parent,
                                      FormEvents& events) {
  auto* window = new QWidget(ToWidget(parent));
  window->setObjectName(QString::number(dialog.id));
  auto form = std::make_unique<QtForm>(dialog, window, events);
  window->move(0, 0);
  window->show();
  return form;
}

std::unique_ptr<Form> CreateDialogForm(const DialogTemplate& dialog, WindowRef owner,
                                       FormEvents& events) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  // Without a system menu there is no close box; the dialog's buttons or Escape end it.
  if (dialog.style & kDialogSystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  QWidget* owner_widget = ToWidget(owner);
  if (owner_widget == nullptr) owner_widget = QApplication::activeWindow();
  auto* window = new QtDialogWindow(owner_widget, flags);
  window->setObjectName(QString::number(dialog.id));
  window->setWindowTitle(QString::fromUtf8(dialog.caption));
  auto form = std::make_unique<QtForm>(dialog, window, events);
  window->SetEvents(&events);
  Centre(window, owner_widget);
  window->show();
  return form;
}

int RunModalLoop(Form& dialog) { return static_cast<QtForm&>(dialog).RunModal(); }

void EndModalLoop(Form& dialog, int result) { static_cast<QtForm&>(dialog).EndModal(result); }

}  // namespace flashwright::ui
