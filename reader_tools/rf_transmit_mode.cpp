#include "reader_tools/rf_transmit_mode.h"
#include "reader_tools/tool_texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "reader_tools/tool_message_box.h"
#include "reader_tools/tool_status_text.h"
#include "reader_tools/transmit_mode.h"

namespace flashwright {

CRFTransmitMode::CRFTransmitMode(QWidget* parent)
    : CReaderToolDialog(parent, QStringLiteral("RF Transmit Mode"), false) {
  auto* group = new QGroupBox(this);
  auto* grid = new QGridLayout(group);
  grid->addWidget(new QLabel(QStringLiteral("Current Mode :"), group), 0, 0);
  current_ = new QLineEdit(group);
  current_->setObjectName(QStringLiteral("1033"));
  current_->setReadOnly(true);
  grid->addWidget(current_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Mode :"), group), 1, 0);
  modes_ = new QComboBox(group);
  modes_->setObjectName(QStringLiteral("1034"));
  grid->addWidget(modes_, 1, 1);
  Body()->addWidget(group);
  set_ = new QPushButton(QStringLiteral("Set Mode"), this);
  set_->setObjectName(QStringLiteral("1035"));
  Body()->addWidget(set_, 0, Qt::AlignRight);

  connect(set_, &QPushButton::clicked, this, &CRFTransmitMode::SetMode);
}

void CRFTransmitMode::OnInitDialog() {
  CReaderToolDialog::OnInitDialog();
  int mode = 0;
  for (const TransmitModeEntry& entry : kTransmitModes) {
    modes_->insertItem(mode++, QString::fromLatin1(entry.name.data(),
                                                   static_cast<int>(entry.name.size())));
  }
  modes_->setCurrentIndex(0);
  ReadCurrentMode();
}

void CRFTransmitMode::ReadCurrentMode() {
  ToolOperationScope operation(State());
  SetStatusText(QString());
  std::uint8_t mode = 0;
  ToolResult result = ReadTransmitMode(ReaderVersion(), &mode);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  current_->setText(QString::fromLatin1(TransmitModeName(mode)));
}

void CRFTransmitMode::SetMode() {
  int position = modes_->currentIndex();
  ToolOperationScope operation(State());
  SetStatusText(QString());
  if (position != 0 && position != 1) {
    ShowToolMessageBox(this, QStringLiteral("Set Transmit Mode"), QStringLiteral("Select mode."));
    return;
  }
  std::uint8_t mode = static_cast<std::uint8_t>(position);
  ToolResult result = WriteTransmitMode(ReaderVersion(), mode);
  if (result != 0) {
    SetStatusText(
        ToolStatusText(result, tool_texts::kModeRefused));
    return;
  }
  QString name = QString::fromLatin1(TransmitModeName(mode));
  current_->setText(name);
  ShowToolMessageBox(this, QString::fromLatin1(kApplicationTitle),
                     QString::fromLatin1(tool_texts::kModeSetTo) + name);
}

}  // namespace flashwright
