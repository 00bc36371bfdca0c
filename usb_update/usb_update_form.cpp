#include "usb_update/usb_update_form.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>

#include "usb_update/usb_view_texts.h"
#include "windowing/form_controls.h"
#include "windowing/message_pane.h"

namespace flashwright {

namespace {

using ui::PlaceControl;

void Label(QWidget* form, const char* text, int x, int y, int width, int height) {
  PlaceControl<QLabel>(form, 0, x, y, width, height)->setText(QString::fromUtf8(text));
}

}  // namespace

void BuildUsbUpdateForm(QWidget* form) {
  form->setObjectName("104");

  PlaceControl<QGroupBox>(form, 0, 10, 6, 460, 88)->setTitle(usb_texts::kSettingsGroup);
  Label(form, usb_texts::kDeviceLabel, 24, 32, 70, 24);
  PlaceControl<QComboBox>(form, kIdcUsbDeviceList, 100, 30, 200, 26)->setMaxVisibleItems(12);
  auto* refresh = PlaceControl<QPushButton>(form, kIdcUsbRefresh, 310, 30, 90, 26);
  refresh->setText(usb_texts::kRefresh);
  refresh->hide();
  Label(form, usb_texts::kFirmwareLabel, 24, 62, 70, 24);
  PlaceControl<QComboBox>(form, kIdcUsbFirmwareList, 100, 60, 356, 26)->setMaxVisibleItems(12);

  PlaceControl<QGroupBox>(form, kIdcUsbInfoGroup, 10, 100, 460, 92)
      ->setTitle(usb_texts::kDeviceInformationGroup);
  auto* information = PlaceControl<QLabel>(form, kIdcUsbDeviceInfo, 24, 122, 432, 62);
  information->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  information->setTextFormat(Qt::PlainText);
  information->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* begin = PlaceControl<QPushButton>(form, kIdcUsbBeginUpdate, 10, 202, 140, 34);
  begin->setText(usb_texts::kBeginUpdate);
  begin->setDefault(true);
  PlaceControl<QLabel>(form, kIdcUsbProgressStatus, 162, 200, 308, 16)
      ->setTextFormat(Qt::PlainText);
  auto* bar = PlaceControl<QProgressBar>(form, kIdcUsbProgressBar, 162, 218, 308, 18);
  bar->setRange(0, 100);
  bar->setTextVisible(false);

  ui::SetUpMessagePane(PlaceControl<QTextEdit>(form, kIdcUsbMessagePane, 10, 246, 460, 120));

  form->setFixedSize(480, 376);
}

}  // namespace flashwright
