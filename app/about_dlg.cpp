#include "app/about_dlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "shell/shell_texts.h"
#include "shell/string_table.h"

namespace flashwright {

namespace {
QLabel* AddStatic(QWidget* dialog, QGridLayout* grid, int id, int row) {
  auto* label = new QLabel(dialog);
  label->setObjectName(QString::number(id));
  grid->addWidget(label, row, 1);
  return label;
}
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("100");
  setWindowTitle("About");
  auto* grid = new QGridLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
  grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  AddStatic(this, grid, 1011, 0);
  AddStatic(this, grid, 1012, 1);
  AddStatic(this, grid, 1013, 2);
  auto* ok = new QPushButton(texts::kOk, this);
  ok->setObjectName("1");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  grid->addWidget(ok, 0, 2, Qt::AlignTop);
  OnInitDialog();
}

bool CAboutDlg::OnInitDialog() {
  const std::string product = LoadString(IDS_APP_TITLE);
  setWindowTitle(QString::fromStdString(FormatText(texts::kAboutTitleFormat, product.c_str())));
  findChild<QLabel*>("1011")->setText(QString::fromStdString(product));
  findChild<QLabel*>("1012")->setText(
      QString::fromStdString(FormatText(texts::kAboutVersionFormat, texts::kProductVersion)));
  findChild<QLabel*>("1013")->setText(texts::kAboutNotice);
  return true;
}

}  // namespace flashwright
