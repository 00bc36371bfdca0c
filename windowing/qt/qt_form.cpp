#include "windowing/qt/qt_form.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>

#include "windowing/qt/message_pane_qt.h"
#include "windowing/qt/native_window_qt.h"
#include "windowing/ui_check.h"

namespace flashwright::ui {

namespace {

constexpr int kListItemDataRole = Qt::UserRole;

QRect PlaceOf(const ControlTemplate& control) {
  return QRect(control.x * kPixelsPerDialogUnit, control.y * kPixelsPerDialogUnit,
               control.width * kPixelsPerDialogUnit, control.height * kPixelsPerDialogUnit);
}

QWidget* MakeControl(const ControlTemplate& control, QWidget* parent) {
  const QString text = QString::fromUtf8(control.text ? control.text : "");
  switch (control.kind) {
    case ControlKind::kLabel: {
      auto* label = new QLabel(text, parent);
      label->setTextFormat(Qt::PlainText);
      if (control.style & kStyleAlignTop) label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (control.style & kStyleSelectable)
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
      return label;
    }
    case ControlKind::kGroupBox:
      return new QGroupBox(text, parent);
    case ControlKind::kPushButton:
    case ControlKind::kDefaultButton: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      if (control.kind == ControlKind::kDefaultButton) button->setDefault(true);
      return button;
    }
    case ControlKind::kCheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::kDropDownList: {
      auto* list = new QComboBox(parent);
      list->setMaxVisibleItems(12);
      for (const char* item : control.items) list->addItem(QString::fromUtf8(item));
      return list;
    }
    case ControlKind::kListBox: {
      auto* list = new QListWidget(parent);
      list->setSortingEnabled(false);
      if (control.style & kStyleNoSelection)
        list->setSelectionMode(QAbstractItemView::NoSelection);
      if (control.style & kStyleVScroll)
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      for (const char* item : control.items) list->addItem(QString::fromUtf8(item));
      return list;
    }
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(text, parent);
      edit->setReadOnly((control.style & kStyleReadOnly) != 0);
      if (control.max_chars > 0) edit->setMaxLength(control.max_chars);
      return edit;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kRichEdit: {
      auto* pane = new QTextEdit(parent);
      SetUpMessagePane(pane);
      if (!(control.style & kStyleBorder)) pane->setFrameShape(QFrame::NoFrame);
      return pane;
    }
    case ControlKind::kIcon: {
      auto* icon = new QLabel(parent);
      icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      icon->setPixmap(parent->style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
      return icon;
    }
  }
  return new QWidget(parent);
}

QKeySequence KeyOf(AcceleratorKey key) {
  switch (key) {
    case AcceleratorKey::kF5: return QKeySequence(Qt::Key_F5);
  }
  return {};
}

// Receives the posted-record events of one form and hands their records to its owner.
class PostReceiver : public QObject {
 public:
  explicit PostReceiver(FormEvents& events) : events_(events) {}

 protected:
  bool event(QEvent* event) override {
    PostedRecordEvent* posted = PostedRecordEvent::From(event);
    if (posted == nullptr) return QObject::event(event);
    events_.OnPosted(posted->message(), posted->TakeRecord());
    return true;
  }

 private:
  FormEvents& events_;
};

}  // namespace

QtForm::QtForm(const DialogTemplate& dialog, QWidget* window, FormEvents& events)
    : dialog_(dialog), window_(window), events_(events) {
  Build();
}

QtForm::~QtForm() {
  closing_ = true;
  // No record reaches the form from here on; the ones still queued are freed with their
  // events when the receiver goes.
  post_target_.reset();
  receiver_.reset();
  timers_.reset();
  if (modal_loop_) modal_loop_->exit(modal_result_);
  delete window_.data();
}

void QtForm::Build() {
  window_->setFixedSize(dialog_.width * kPixelsPerDialogUnit,
                        dialog_.height * kPixelsPerDialogUnit);
  for (const ControlTemplate& control : dialog_.controls) {
    QWidget* widget = MakeControl(control, window_);
    widget->setGeometry(PlaceOf(control));
    if (control.style & kStyleHidden) widget->hide();
    if (control.style & kStyleDisabled) widget->setEnabled(false);
    if (control.id == 0) continue;
    widget->setObjectName(QString::number(control.id));
    controls_.emplace(control.id, widget);
    const int id = control.id;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      QObject::connect(button, &QAbstractButton::clicked, window_,
                       [this, id] { Notify(id, Notification::kClicked); });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      QObject::connect(combo, &QComboBox::activated, window_,
                       [this, id] { Notify(id, Notification::kSelChange); });
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
      QObject::connect(list, &QListWidget::currentRowChanged, window_, [this, id] {
        if (quiet_ == 0) Notify(id, Notification::kSelChange);
      });
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      QObject::connect(edit, &QLineEdit::textEdited, window_,
                       [this, id] { Notify(id, Notification::kEditChange); });
    }
  }
  for (const AcceleratorTemplate& accelerator : dialog_.accelerators) {
    auto* shortcut = new QShortcut(KeyOf(accelerator.key), window_);
    const int id = accelerator.id;
    QObject::connect(shortcut, &QShortcut::activated, window_,
                     [this, id] { Notify(id, Notification::kClicked); });
  }
  timers_ = std::make_unique<WindowTimers>(nullptr, [this](int timer_id) {
    events_.OnTimer(timer_id);
  });
}

void QtForm::Notify(int id, Notification notification) {
  if (!closing_) events_.OnNotify(id, notification);
}

WindowRef QtForm::Window() const { return RefOf(window_); }

void QtForm::SetCaption(const std::string& caption) {
  window_->setWindowTitle(QString::fromStdString(caption));
}

std::string QtForm::Caption() const { return window_->windowTitle().toStdString(); }

QWidget* QtForm::Control(int id) const {
  auto found = controls_.find(id);
  if (found != controls_.end()) return found->second;
  ReportMisuse(dialog_.id == 0 ? "no control" : "no such control in the form", id);
  return nullptr;
}

template <typename Widget>
Widget* QtForm::ControlAs(int id) const {
  return qobject_cast<Widget*>(Control(id));
}

void QtForm::SetText(int id, const std::string& text) {
  QWidget* control = Control(id);
  const QString widget_text = ToWidgetText(text);
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(widget_text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(widget_text);
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    group->setTitle(widget_text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(widget_text);
  } else if (auto* pane = qobject_cast<QTextEdit*>(control)) {
    pane->setPlainText(widget_text);
  }
}

std::string QtForm::Text(int id) const {
  QWidget* control = Control(id);
  if (auto* label = qobject_cast<QLabel*>(control)) return FromWidgetText(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(control))
    return FromWidgetText(button->text());
  if (auto* group = qobject_cast<QGroupBox*>(control)) return FromWidgetText(group->title());
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return FromWidgetText(edit->text());
  if (auto* pane = qobject_cast<QTextEdit*>(control))
    return FromWidgetText(pane->toPlainText());
  if (auto* combo = qobject_cast<QComboBox*>(control))
    return FromWidgetText(combo->currentText());
  return std::string();
}

void QtForm::Enable(int id, bool enabled) {
  if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

bool QtForm::IsEnabled(int id) const {
  QWidget* control = Control(id);
  return control != nullptr && control->isEnabled();
}

void QtForm::Show(int id, bool visible) {
  if (QWidget* control = Control(id)) control->setVisible(visible);
}

bool QtForm::IsVisible(int id) const {
  // As the form would show it, whether or not the form itself is on the screen yet.
  QWidget* control = Control(id);
  return control != nullptr && control->isVisibleTo(window_);
}

void QtForm::SetCheck(int id, bool checked) {
  if (auto* box = ControlAs<QCheckBox>(id)) box->setChecked(checked);
}

bool QtForm::Checked(int id) const {
  auto* box = ControlAs<QCheckBox>(id);
  return box != nullptr && box->isChecked();
}

void QtForm::ResetContent(int id) {
  QWidget* control = Control(id);
  ++quiet_;
  if (auto* combo = qobject_cast<QComboBox*>(control)) combo->clear();
  if (auto* list = qobject_cast<QListWidget*>(control)) list->clear();
  --quiet_;
}

int QtForm::AddItem(int id, const std::string& text, std::intptr_t data) {
  QWidget* control = Control(id);
  ++quiet_;
  int index = -1;
  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    combo->addItem(QString::fromStdString(text), QVariant::fromValue<qlonglong>(data));
    index = combo->count() - 1;
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    auto* item = new QListWidgetItem(QString::fromStdString(text), list);
    item->setData(kListItemDataRole, QVariant::fromValue<qlonglong>(data));
    index = list->count() - 1;
  }
  --quiet_;
  return index;
}

int QtForm::ItemCount(int id) const {
  QWidget* control = Control(id);
  if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->count();
  if (auto* list = qobject_cast<QListWidget*>(control)) return list->count();
  return 0;
}

std::string QtForm::ItemText(int id, int index) const {
  QWidget* control = Control(id);
  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    if (index >= 0 && index < combo->count()) return combo->itemText(index).toStdString();
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    if (index >= 0 && index < list->count()) return list->item(index)->text().toStdString();
  }
  return std::string();
}

std::intptr_t QtForm::ItemData(int id, int index) const {
  QWidget* control = Control(id);
  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    if (index >= 0 && index < combo->count())
      return static_cast<std::intptr_t>(combo->itemData(index).toLongLong());
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    if (index >= 0 && index < list->count())
      return static_cast<std::intptr_t>(list->item(index)->data(kListItemDataRole).toLongLong());
  }
  return 0;
}

void QtForm::SetCurSel(int id, int index) {
  QWidget* control = Control(id);
  ++quiet_;
  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    list->setCurrentRow(index >= 0 && index < list->count() ? index : -1);
  }
  --quiet_;
}

int QtForm::CurSel(int id) const {
  QWidget* control = Control(id);
  if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->currentIndex();
  if (auto* list = qobject_cast<QListWidget*>(control)) return list->currentRow();
  return -1;
}

void QtForm::SetProgressPos(int id, int position) {
  if (auto* bar = ControlAs<QProgressBar>(id)) bar->setValue(std::clamp(position, 0, 100));
}

int QtForm::ProgressPos(int id) const {
  auto* bar = ControlAs<QProgressBar>(id);
  return bar != nullptr ? bar->value() : 0;
}

void QtForm::ShowPaneMessage(int id, const std::string& text, PaneKind kind, bool redraw_now) {
  ShowMessageInPane(ControlAs<QTextEdit>(id), text, kind, redraw_now);
}

Rgb QtForm::PaneBackground(int id) const { return BackgroundOfPane(ControlAs<QTextEdit>(id)); }

bool QtForm::PaneBold(int id) const { return PaneIsBold(ControlAs<QTextEdit>(id)); }

void QtForm::SetRedraw(bool on) {
  window_->setUpdatesEnabled(on);
  if (on) window_->update();
}

void QtForm::RedrawNow() {
  // The pending paints of the window that holds the form, now rather than from the loop.
  QCoreApplication::sendPostedEvents(window_->window(), QEvent::UpdateRequest);
}

void QtForm::SetFocus(int id) {
  if (QWidget* control = Control(id)) control->setFocus(Qt::OtherFocusReason);
}

void QtForm::SetTimer(int timer_id, int period_ms) { timers_->SetTimer(timer_id, period_ms); }

bool QtForm::KillTimer(int timer_id) { return timers_->KillTimer(timer_id); }

bool QtForm::TimerRunning(int timer_id) const { return timers_->IsRunning(timer_id); }

void QtForm::AcceptPosted(std::initializer_list<const char*> message_names) {
  post_target_.reset();
  if (!receiver_) receiver_ = std::make_unique<PostReceiver>(events_);
  post_target_ = std::make_unique<QtPostTarget>(receiver_.get(), message_names);
}

TargetHandle QtForm::PostTarget() const { return post_target_ ? post_target_->handle() : 0; }

void QtForm::Click(int id) {
  QWidget* control = Control(id);
  if (control == nullptr || !control->isEnabled() || !control->isVisibleTo(window_)) return;
  if (auto* button = qobject_cast<QAbstractButton*>(control)) button->click();
}

void QtForm::Choose(int id, int index) {
  QWidget* control = Control(id);
  if (control == nullptr || !control->isEnabled() || !control->isVisibleTo(window_)) return;
  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    if (index < 0 || index >= combo->count()) return;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    if (index < 0 || index >= list->count()) return;
    if (list->selectionMode() == QAbstractItemView::NoSelection) return;
    list->setCurrentRow(index);
  }
}

void QtForm::TypeText(int id, const std::string& text) {
  QWidget* control = Control(id);
  if (control == nullptr || !control->isEnabled() || !control->isVisibleTo(window_)) return;
  auto* edit = qobject_cast<QLineEdit*>(control);
  if (edit == nullptr || edit->isReadOnly()) return;
  // As typed: the edit's limit holds, and the edit tells its form once.
  edit->setText(QString::fromStdString(text));
  emit edit->textEdited(edit->text());
}

int QtForm::RunModal() {
  if (modal_ended_) return modal_result_;
  // A window's modality only takes effect when it is shown again.
  window_->hide();
  window_->setWindowModality(Qt::ApplicationModal);
  window_->show();
  QEventLoop loop;
  modal_loop_ = &loop;
  loop.exec(QEventLoop::DialogExec);
  modal_loop_ = nullptr;
  if (window_) window_->hide();
  return modal_result_;
}

void QtForm::EndModal(int result) {
  modal_ended_ = true;
  modal_result_ = result;
  if (modal_loop_) modal_loop_->exit(result);
}

}  // namespace flashwright::ui
