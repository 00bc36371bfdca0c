#include "reader_tools/reader_tool_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace flashwright {

CReaderToolDialog::CReaderToolDialog(QWidget* parent, const QString& title, bool system_menu)
    : QDialog(parent) {
  setWindowTitle(title);
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  // Without a system menu there is no close box; "Done" or Escape close the dialog.
  if (system_menu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  setWindowFlags(flags);

  auto* layout = new QVBoxLayout(this);
  auto* identity = new QHBoxLayout;
  identity->addWidget(new QLabel(QStringLiteral("Port:"), this));
  port_text_ = new QLabel(this);
  port_text_->setObjectName(QStringLiteral("1019"));
  identity->addWidget(port_text_);
  identity->addSpacing(16);
  identity->addWidget(new QLabel(QStringLiteral("Version:"), this));
  version_text_ = new QLabel(this);
  version_text_->setObjectName(QStringLiteral("1020"));
  identity->addWidget(version_text_);
  identity->addStretch(1);
  layout->addLayout(identity);

  body_ = new QVBoxLayout;
  layout->addLayout(body_);

  auto* bottom = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("1018"));
  status_->setMinimumWidth(260);
  bottom->addWidget(status_, 1);
  done_ = new QPushButton(QStringLiteral("Done"), this);
  done_->setObjectName(QStringLiteral("1"));
  done_->setDefault(true);
  connect(done_, &QPushButton::clicked, this, &QDialog::accept);
  bottom->addWidget(done_);
  layout->addLayout(bottom);
}

CReaderToolDialog::~CReaderToolDialog() = default;

void CReaderToolDialog::setVisible(bool visible) {
  if (visible && !initialised_) {
    initialised_ = true;
    OnInitDialog();
  }
  QDialog::setVisible(visible);
}

void CReaderToolDialog::done(int result) {
  DestroyWindow();
  QDialog::done(result);
}

void CReaderToolDialog::OnInitDialog() {
  port_text_->setText(QString::asprintf("%d", state_.Port()));
  version_text_->setText(QString::fromStdString(state_.VersionText()));
  SetStatusText(QString());
}

void CReaderToolDialog::SetStatusText(const QString& text) { status_->setText(text); }

}  // namespace flashwright
