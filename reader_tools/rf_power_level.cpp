#include "reader_tools/rf_power_level.h"
#include "reader_tools/tool_texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "reader_tools/power_level.h"
#include "reader_tools/tool_message_box.h"
#include "reader_tools/tool_status_text.h"

namespace flashwright {

CRFPowerLevel::CRFPowerLevel(QWidget* parent)
    : CReaderToolDialog(parent, QStringLiteral("RF Power Level"), false) {
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Current Level :"), this), 0, 0);
  current_ = new QLineEdit(this);
  current_->setObjectName(QStringLiteral("1033"));
  current_->setReadOnly(true);
  grid->addWidget(current_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Level :"), this), 1, 0);
  levels_ = new QComboBox(this);
  levels_->setObjectName(QStringLiteral("1034"));
  grid->addWidget(levels_, 1, 1);
  set_ = new QPushButton(QStringLiteral("Set Level"), this);
  set_->setObjectName(QStringLiteral("1035"));
  grid->addWidget(set_, 1, 2);
  Body()->addLayout(grid);

  auto* notes = new QGroupBox(this);
  auto* notes_layout = new QVBoxLayout(notes);
  notes_layout->addWidget(
      new QLabel(QStringLiteral("Setting the wrong level may impact product performance."), notes));
  notes_layout->addWidget(new QLabel(QStringLiteral("Not all readers support all levels."), notes));
  Body()->addWidget(notes);

  connect(set_, &QPushButton::clicked, this, &CRFPowerLevel::SetLevel);
}

void CRFPowerLevel::OnInitDialog() {
  CReaderToolDialog::OnInitDialog();
  int position = 0;
  for (const PowerLevelEntry& entry : kPowerLevels) {
    levels_->insertItem(position++, QString::fromLatin1(entry.name.data(),
                                                        static_cast<int>(entry.name.size())));
  }
  // "1 Watt" whatever the reader's level; that is shown only in the current level field.
  levels_->setCurrentIndex(3);
  ReadCurrentLevel();
}

void CRFPowerLevel::ReadCurrentLevel() {
  ToolOperationScope operation(State());
  SetStatusText(QString());
  std::uint8_t code = 0;
  ToolResult result = ReadRfPowerLevel(ReaderVersion(), &code);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  current_->setText(QString::fromLatin1(PowerLevelName(code)));
}

void CRFPowerLevel::SetLevel() {
  int position = levels_->currentIndex();
  ToolOperationScope operation(State());
  SetStatusText(QString());
  std::optional<std::uint8_t> code = PowerLevelAtPosition(position);
  if (!code) {
    ShowToolMessageBox(this, QStringLiteral("Set Power Level"), QStringLiteral("Select level."));
    return;
  }
  ToolResult result = WriteRfPowerLevel(ReaderVersion(), *code);
  if (result != 0) {
    SetStatusText(ToolStatusText(result, tool_texts::kLevelRefused));
    return;
  }
  QString name = QString::fromLatin1(PowerLevelName(*code));
  current_->setText(name);
  ShowToolMessageBox(this, QString::fromLatin1(kApplicationTitle),
                     QString::fromLatin1(tool_texts::kLevelSetTo) + name);
}

}  // namespace flashwright
