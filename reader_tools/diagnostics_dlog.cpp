#include "reader_tools/diagnostics_dlog.h"
#include "reader_tools/tool_texts.h"

#include <QAbstractItemView>
#include <QFont>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "reader_tools/tag_reads.h"

namespace flashwright {

CDiagnosticsDlog::CDiagnosticsDlog(QWidget* parent)
    : CReaderToolDialog(parent, QStringLiteral("Diagnostics"), true) {
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

  tags_ = new QListWidget(this);
  tags_->setObjectName(QStringLiteral("1016"));
  tags_->setSelectionMode(QAbstractItemView::NoSelection);
  tags_->setSortingEnabled(false);
  tags_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  tags_->setMinimumSize(360, 160);
  Body()->addWidget(tags_);

  auto* buttons = new QHBoxLayout;
  read_once_ = new QPushButton(QStringLiteral("Read Once"), this);
  read_once_->setObjectName(QStringLiteral("1014"));
  read_continuously_ = new QPushButton(QStringLiteral("Read Continuously"), this);
  read_continuously_->setObjectName(QStringLiteral("1017"));
  buttons->addWidget(read_once_);
  buttons->addWidget(read_continuously_);
  buttons->addStretch(1);
  Body()->addLayout(buttons);

  connect(read_once_, &QPushButton::clicked, this, &CDiagnosticsDlog::ReadTagsOnce);
  connect(read_continuously_, &QPushButton::clicked, this,
          &CDiagnosticsDlog::ToggleContinuousReading);
  timer_.setInterval(kReadPeriodMs);
  connect(&timer_, &QTimer::timeout, this, &CDiagnosticsDlog::OnTimer);
}

CDiagnosticsDlog::~CDiagnosticsDlog() { StopTimer(); }

void CDiagnosticsDlog::ReadTagsOnce() {
  ToolOperationScope operation(State());
  tags_->setUpdatesEnabled(false);
  tags_->clear();

  std::vector<std::string> ids;
  ToolResult result = ReadTags(ReaderVersion(), &extra_byte_, &ids);
  if (result != 0) {
    SetStatusText(QString::asprintf(tool_texts::kReaderError, static_cast<long>(result)));
  } else {
    SetStatusText(QString::asprintf(tool_texts::kTagCount, static_cast<int>(ids.size())));
    for (const std::string& id : ids) {
      std::string block;
      ToolResult block_result = ReadBlock0(ReaderVersion(), extra_byte_, id, &block);
      QString block_text =
          block_result != 0
              ? QString::asprintf(tool_texts::kBlockError, static_cast<long>(block_result))
              : QString::fromStdString(block);
      tags_->addItem(QString::fromStdString(id) + QString::fromLatin1(tool_texts::kBlock0) +
                     block_text);
    }
  }
  tags_->setUpdatesEnabled(true);
}

void CDiagnosticsDlog::ToggleContinuousReading() {
  if (timer_id_ == 0) {
    timer_.start();
    timer_id_ = kReadTimerId;
    // The port stays open until reading stops.
    State().HoldReaderPort();
    read_continuously_->setText(QStringLiteral("Stop Reading"));
    read_once_->setEnabled(false);
  } else {
    StopTimer();
    State().ReleaseReaderPort();
    read_continuously_->setText(QStringLiteral("Read Continuously"));
    read_once_->setEnabled(true);
  }
}

void CDiagnosticsDlog::OnTimer() {
  // A tick's reads block the event loop; ticks that fall due meanwhile are not queued up.
  if (timer_id_ != 0) ReadTagsOnce();
}

void CDiagnosticsDlog::StopTimer() {
  timer_.stop();
  timer_id_ = 0;
}

void CDiagnosticsDlog::DestroyWindow() {
  StopTimer();
  State().ReleaseReaderPort();
}

}  // namespace flashwright
