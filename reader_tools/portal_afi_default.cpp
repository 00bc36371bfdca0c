#include "reader_tools/portal_afi_default.h"
#include "reader_tools/tool_texts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "reader_tools/portal_afi.h"
#include "reader_tools/tool_entry.h"
#include "reader_tools/tool_message_box.h"
#include "reader_tools/tool_status_text.h"

namespace flashwright {

CPortalAFIDefault::CPortalAFIDefault(QWidget* parent)
    : CReaderToolDialog(parent, QStringLiteral("Portal AFI Value"), false) {
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Current AFI Value :"), this), 0, 0);
  current_ = new QLineEdit(this);
  current_->setObjectName(QStringLiteral("1031"));
  current_->setReadOnly(true);
  grid->addWidget(current_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("AFI Value (Hex) :"), this), 1, 0);
  entry_ = new QLineEdit(this);
  entry_->setObjectName(QStringLiteral("1032"));
  entry_->setMaxLength(kHexEntryMaxChars);
  grid->addWidget(entry_, 1, 1);
  set_ = new QPushButton(QStringLiteral("Set AFI Value"), this);
  set_->setObjectName(QStringLiteral("1030"));
  grid->addWidget(set_, 1, 2);
  Body()->addLayout(grid);

  auto* notes = new QGroupBox(this);
  auto* notes_layout = new QVBoxLayout(notes);
  notes_layout->addWidget(new QLabel(
      QStringLiteral(" All AFI values are in hexadecimal. Valid AFI values are 00 to FF. "), notes));
  notes_layout->addWidget(
      new QLabel(QStringLiteral("NOTE : 00 and FF are equal to DA. DA is the default setting."), notes));
  Body()->addWidget(notes);

  connect(set_, &QPushButton::clicked, this, &CPortalAFIDefault::SetAfiValue);
}

void CPortalAFIDefault::OnInitDialog() {
  CReaderToolDialog::OnInitDialog();
  ReadCurrentValue();
}

void CPortalAFIDefault::ReadCurrentValue() {
  ToolOperationScope operation(State());
  SetStatusText(QString());
  std::uint8_t afi = 0;
  ToolResult result = ReadPortalAfi(ReaderVersion(), &afi);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  current_->setText(QString::asprintf("%02X", afi));
}

void CPortalAFIDefault::SetAfiValue() {
  // The port is opened first, so an entry error opens and closes it all the same.
  ToolOperationScope operation(State());
  SetStatusText(QString());
  std::optional<std::uint8_t> value = ParseHexEntry(entry_->text().toStdString());
  if (!value) {
    ShowToolMessageBox(this, QStringLiteral("Set AFI Value"),
                       QString::fromLatin1(tool_texts::kAfiEntryError));
    return;
  }
  ToolResult result = WritePortalAfi(ReaderVersion(), *value);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  QString shown = QString::asprintf("%02X", *value);
  current_->setText(shown);
  ShowToolMessageBox(this, QString::fromLatin1(kApplicationTitle),
                     QString::fromLatin1(tool_texts::kAfiSetTo) + shown);
}

}  // namespace flashwright
