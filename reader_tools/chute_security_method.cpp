#include "reader_tools/chute_security_method.h"
#include "reader_tools/tool_texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "reader_tools/security_method.h"
#include "reader_tools/tool_entry.h"
#include "reader_tools/tool_message_box.h"
#include "reader_tools/tool_status_text.h"

namespace flashwright {
namespace {

constexpr int kNonePosition = 3;

QString ValueText(std::uint8_t method, std::uint8_t value) {
  return method == kSecurityNone ? QString() : QString::asprintf("%02X", value);
}

}  // namespace

CChuteSecurityMethod::CChuteSecurityMethod(QWidget* parent)
    : CReaderToolDialog(parent, QStringLiteral("Q-Series Security Method"), false) {
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Current Security Method :"), this), 0, 0);
  current_method_ = new QLineEdit(this);
  current_method_->setObjectName(QStringLiteral("1033"));
  current_method_->setReadOnly(true);
  grid->addWidget(current_method_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Current Value :"), this), 1, 0);
  current_value_ = new QLineEdit(this);
  current_value_->setObjectName(QStringLiteral("1037"));
  current_value_->setReadOnly(true);
  grid->addWidget(current_value_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Method :"), this), 2, 0);
  methods_ = new QComboBox(this);
  methods_->setObjectName(QStringLiteral("1034"));
  // The list comes with the template, in this order.
  for (const SecurityMethodEntry& entry : kSecurityMethods) {
    methods_->addItem(QString::fromLatin1(entry.name.data(), static_cast<int>(entry.name.size())));
  }
  grid->addWidget(methods_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Value (Hex) :"), this), 3, 0);
  value_ = new QLineEdit(this);
  value_->setObjectName(QStringLiteral("1036"));
  value_->setMaxLength(kHexEntryMaxChars);
  grid->addWidget(value_, 3, 1);
  set_ = new QPushButton(QStringLiteral("Set Method And Value"), this);
  set_->setObjectName(QStringLiteral("1035"));
  grid->addWidget(set_, 3, 2);
  Body()->addLayout(grid);

  auto* notes = new QGroupBox(this);
  auto* notes_layout = new QVBoxLayout(notes);
  notes_layout->addWidget(new QLabel(
      QStringLiteral(" All values are in hexadecimal. EAS should use a value of 01."), notes));
  notes_layout->addWidget(
      new QLabel(QStringLiteral("NOTE : AFI with DA is the default setting."), notes));
  Body()->addWidget(notes);

  connect(set_, &QPushButton::clicked, this, &CChuteSecurityMethod::SetMethodAndValue);
}

void CChuteSecurityMethod::OnInitDialog() {
  CReaderToolDialog::OnInitDialog();
  methods_->setCurrentIndex(0);
  // The initial selection is not a change: the value field starts enabled.
  connect(methods_, &QComboBox::currentIndexChanged, this,
          &CChuteSecurityMethod::OnMethodSelected, Qt::UniqueConnection);
  ReadCurrentSetting();
}

void CChuteSecurityMethod::OnMethodSelected(int position) {
  value_->setEnabled(position != kNonePosition);
}

void CChuteSecurityMethod::ShowSetting(std::uint8_t method, std::uint8_t value) {
  current_method_->setText(QString::fromLatin1(SecurityMethodName(method)));
  current_value_->setText(ValueText(method, value));
}

void CChuteSecurityMethod::ReadCurrentSetting() {
  ToolOperationScope operation(State());
  SetStatusText(QString());
  std::uint8_t method = 0;
  std::uint8_t value = 0;
  ToolResult result = ReadSecurityMethod(ReaderVersion(), &method, &value);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  // The list's selection does not follow the method that was read.
  ShowSetting(method, value);
}

void CChuteSecurityMethod::SetMethodAndValue() {
  int position = methods_->currentIndex();
  ToolOperationScope operation(State());
  SetStatusText(QString());
  // None takes no value: the value field is not read at all.
  std::optional<SecuritySetting> setting =
      ParseSecurityEntry(position, position == kNonePosition ? std::string()
                                                             : value_->text().toStdString());
  if (!setting) {
    ShowToolMessageBox(this, QStringLiteral("Set Security Method"),
                       QString::fromLatin1(tool_texts::kSecurityEntryError));
    return;
  }
  ToolResult result = WriteSecurityMethod(ReaderVersion(), setting->method, setting->value);
  if (result != 0) {
    SetStatusText(
        ToolStatusText(result, tool_texts::kSecurityRefused));
    return;
  }
  ShowSetting(setting->method, setting->value);
  ShowToolMessageBox(this, QString::fromLatin1(kApplicationTitle),
                     QString::fromLatin1(tool_texts::kSecuritySetTo) +
                         QString::fromLatin1(SecurityMethodName(setting->method)) +
                         QStringLiteral(" ") + ValueText(setting->method, setting->value));
}

}  // namespace flashwright
