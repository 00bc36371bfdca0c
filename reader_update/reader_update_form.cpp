#include "reader_update/reader_update_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>

#include "reader_update/view_texts.h"
#include "windowing/form_controls.h"
#include "windowing/message_pane.h"

namespace flashwright {

namespace {

using ui::PlaceControl;

QLabel* Label(QWidget* form, int id, const char* text, int x, int y, int width, int height) {
  auto* label = PlaceControl<QLabel>(form, id, x, y, width, height);
  label->setText(QString::fromUtf8(text));
  return label;
}

}  // namespace

void BuildReaderUpdateForm(QWidget* form) {
  form->setObjectName("101");

  auto* settings = PlaceControl<QGroupBox>(form, 0, 10, 6, 460, 88);
  settings->setTitle(texts::kSettingsGroup);
  Label(form, 0, texts::kPortLabel, 24, 32, 70, 24);
  auto* ports = PlaceControl<QComboBox>(form, kIdcPortSelector, 100, 30, 150, 26);
  ports->setMaxVisibleItems(12);
  Label(form, 0, texts::kFirmwareLabel, 24, 62, 70, 24);
  auto* firmware = PlaceControl<QComboBox>(form, kIdcFirmwareSelector, 100, 60, 356, 26);
  firmware->setMaxVisibleItems(12);

  auto* information = PlaceControl<QGroupBox>(form, kIdcReaderInfoGroup, 10, 100, 460, 116);
  information->setTitle(texts::kReaderInformationGroup);
  Label(form, kIdcVersionLabel, texts::kVersionLabel, 24, 124, 90, 20);
  auto* version = Label(form, kIdcVersionText, "", 120, 124, 180, 56);
  version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  version->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Label(form, kIdcPowerLabel, texts::kPowerLevelLabel, 24, 186, 90, 20);
  auto* power = Label(form, kIdcPowerText, "", 120, 186, 140, 20);
  power->setTextInteractionFlags(Qt::TextSelectableByMouse);
  PlaceControl<QCheckBox>(form, kIdcTagIt, 316, 122, 140, 22)->setText(texts::kTagIt);
  PlaceControl<QCheckBox>(form, kIdcIso, 316, 146, 140, 22)->setText(texts::kIso);
  PlaceControl<QPushButton>(form, kIdcResetConfiguration, 316, 178, 144, 28)
      ->setText(texts::kResetConfiguration);

  auto* begin = PlaceControl<QPushButton>(form, kIdcBeginUpdate, 10, 226, 140, 34);
  begin->setText(texts::kBeginUpdate);
  begin->setDefault(true);
  auto* status = PlaceControl<QLabel>(form, kIdcProgressStatus, 162, 224, 308, 16);
  status->setTextFormat(Qt::PlainText);
  auto* bar = PlaceControl<QProgressBar>(form, kIdcProgressBar, 162, 242, 308, 18);
  bar->setRange(0, 100);
  bar->setTextVisible(false);

  ui::SetUpMessagePane(PlaceControl<QTextEdit>(form, kIdcMessagePane, 10, 270, 460, 120));

  form->setFixedSize(480, 400);
}

}  // namespace flashwright
