#include "reader_update/reader_update_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>

#include "reader_update/view_texts.h"

namespace flashwright {

namespace {

template <typename Control>
Control* Place(QWidget* form, int id, int x, int y, int width, int height) {
  auto* control = new Control(form);
  if (id != 0) control->setObjectName(QString::number(id));
  control->setGeometry(x, y, width, height);
  return control;
}

QLabel* Label(QWidget* form, int id, const char* text, int x, int y, int width, int height) {
  auto* label = Place<QLabel>(form, id, x, y, width, height);
  label->setText(QString::fromUtf8(text));
  return label;
}

}  // namespace

void BuildReaderUpdateForm(QWidget* form) {
  form->setObjectName("101");

  auto* settings = Place<QGroupBox>(form, 0, 10, 6, 460, 88);
  settings->setTitle(texts::kSettingsGroup);
  Label(form, 0, texts::kPortLabel, 24, 32, 70, 24);
  auto* ports = Place<QComboBox>(form, kIdcPortSelector, 100, 30, 150, 26);
  ports->setMaxVisibleItems(12);
  Label(form, 0, texts::kFirmwareLabel, 24, 62, 70, 24);
  auto* firmware = Place<QComboBox>(form, kIdcFirmwareSelector, 100, 60, 356, 26);
  firmware->setMaxVisibleItems(12);

  auto* information = Place<QGroupBox>(form, kIdcReaderInfoGroup, 10, 100, 460, 116);
  information->setTitle(texts::kReaderInformationGroup);
  Label(form, kIdcVersionLabel, texts::kVersionLabel, 24, 124, 90, 20);
  auto* version = Label(form, kIdcVersionText, "", 120, 124, 180, 56);
  version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  version->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Label(form, kIdcPowerLabel, texts::kPowerLevelLabel, 24, 186, 90, 20);
  auto* power = Label(form, kIdcPowerText, "", 120, 186, 140, 20);
  power->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Place<QCheckBox>(form, kIdcTagIt, 316, 122, 140, 22)->setText(texts::kTagIt);
  Place<QCheckBox>(form, kIdcIso, 316, 146, 140, 22)->setText(texts::kIso);
  Place<QPushButton>(form, kIdcResetConfiguration, 316, 178, 144, 28)
      ->setText(texts::kResetConfiguration);

  auto* begin = Place<QPushButton>(form, kIdcBeginUpdate, 10, 226, 140, 34);
  begin->setText(texts::kBeginUpdate);
  begin->setDefault(true);
  auto* status = Place<QLabel>(form, kIdcProgressStatus, 162, 224, 308, 16);
  status->setTextFormat(Qt::PlainText);
  auto* bar = Place<QProgressBar>(form, kIdcProgressBar, 162, 242, 308, 18);
  bar->setRange(0, 100);
  bar->setTextVisible(false);

  auto* pane = Place<QTextEdit>(form, kIdcMessagePane, 10, 270, 460, 120);
  pane->setReadOnly(true);
  pane->setAcceptRichText(false);
  pane->setAutoFillBackground(true);

  form->setFixedSize(480, 400);
}

}  // namespace flashwright
