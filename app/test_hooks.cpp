#include "app/test_hooks.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/kindler_app.h"
#include "app/main_frame.h"
#include "windowing/qt_post_target.h"
#include "reader_update/download_engine.h"

namespace flashwright {

namespace {

int hook_exit_code = -1;

bool IsBlank(const QImage& image) {
  if (image.isNull() || image.width() < 16 || image.height() < 16) return true;
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) {
      if (image.pixel(x, y) != first) return false;
    }
  }
  return true;
}

class ScreenshotHook : public QObject {
 public:
  ScreenshotHook(CMainFrame* frame, std::string folder, bool update_run, bool usb_run)
      : QObject(frame),
        frame_(frame),
        folder_(std::move(folder)),
        update_run_(update_run),
        usb_run_(usb_run) {}

  void Start() {
    // Give the window system time to map and paint the window.
    QTimer::singleShot(800, this, [this] { FirstPicture(); });
    QTimer::singleShot(90000, this, [this] {
      std::fprintf(stderr, "screenshots: timed out\n");
      Finish(3);
    });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    ui::PostedRecordEvent* posted = ui::PostedRecordEvent::From(event);
    if (!posted || posted->message() != ProgramProgressMessage() || progress_taken_)
      return QObject::eventFilter(watched, event);
    // Let the view handle the note first, then look at the bar it set.
    watched->event(event);
    auto* bar = frame_->findChild<QProgressBar*>("1003");
    if (bar && bar->value() >= 25 && bar->value() < 100) {
      progress_taken_ = true;
      Save("progress");
    }
    return true;
  }

 private:
  void FirstPicture() {
    if (usb_run_) {
      // The USB view with a device in its list ("(none)" carries no device index).
      auto* devices = frame_->findChild<QComboBox*>("1027");
      const bool listed = devices && devices->count() > 0 && devices->itemData(0).toInt() >= 0;
      if (!listed) std::fprintf(stderr, "screenshots: the USB view lists no device\n");
      Finish(Save("usb") && listed ? 0 : 2);
      return;
    }
    if (!Save(update_run_ ? "advanced" : "basic") || !update_run_) {
      Finish(failed_ ? 2 : 0);
      return;
    }
    auto* begin = frame_->findChild<QPushButton*>("1001");
    if (!begin || !begin->isEnabled()) {
      std::fprintf(stderr, "screenshots: Begin Update is not enabled\n");
      Finish(2);
      return;
    }
    if (QWidget* view = frame_->ActiveView()) view->installEventFilter(this);
    begin->click();
    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, [this] { WaitForEnd(); });
    poll_->start(50);
  }

  void WaitForEnd() {
    CKindlerApp* app = CKindlerApp::Get();
    if (!app || app->IsBusy()) return;
    poll_->stop();
    auto* pane = frame_->findChild<QTextEdit*>("1000");
    const bool success = pane && pane->palette().color(QPalette::Base) == QColor(0, 192, 0);
    QTimer::singleShot(300, this, [this, success] {
      Save(success ? "success" : "failure");
      if (!success) std::fprintf(stderr, "screenshots: the update did not succeed\n");
      if (!progress_taken_) std::fprintf(stderr, "screenshots: no progress picture\n");
      Finish(success && progress_taken_ && !failed_ ? 0 : 2);
    });
  }

  bool Save(const char* name) {
    frame_->repaint();
    QCoreApplication::processEvents();
    const QPixmap picture = frame_->grab();
    const std::string path = folder_ + "/" + name + ".png";
    const bool blank = IsBlank(picture.toImage());
    if (blank) std::fprintf(stderr, "screenshots: %s is blank\n", path.c_str());
    if (!picture.save(QString::fromStdString(path), "PNG")) {
      std::fprintf(stderr, "screenshots: cannot write %s\n", path.c_str());
      failed_ = true;
      return false;
    }
    if (blank) failed_ = true;
    SavePaneText(name);
    return !blank;
  }

  // Beside each picture, the text of the shown view's message pane (one of the two panes
  // exists at a time), so that scripts can check what the window says.
  void SavePaneText(const char* name) {
    QTextEdit* pane = frame_->findChild<QTextEdit*>("1000");
    if (!pane) pane = frame_->findChild<QTextEdit*>("1026");
    if (!pane) return;
    const std::string path = folder_ + "/" + name + ".txt";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
      std::fprintf(stderr, "screenshots: cannot write %s\n", path.c_str());
      failed_ = true;
      return;
    }
    const QByteArray text = pane->toPlainText().toUtf8();
    const bool written = std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()),
                                     file) == static_cast<std::size_t>(text.size());
    if (std::fclose(file) != 0 || !written) failed_ = true;
  }

  void Finish(int code) {
    if (hook_exit_code >= 0) return;
    hook_exit_code = code;
    // The document refuses to close while busy; the hook ends the program regardless.
    QCoreApplication::exit(code);
  }

  CMainFrame* frame_;
  std::string folder_;
  bool update_run_;
  bool usb_run_;
  bool progress_taken_ = false;
  bool failed_ = false;
  QTimer* poll_ = nullptr;
};

class FirstPaintHook : public QObject {
 public:
  explicit FirstPaintHook(CMainFrame* frame) : QObject(frame) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || seen_) return QObject::eventFilter(watched, event);
    seen_ = true;
    watched->event(event);
    std::printf("first paint\n");
    std::fflush(stdout);
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    return true;
  }

 private:
  bool seen_ = false;
};

}  // namespace

bool StartAdvancedRequested() {
  const char* hook = std::getenv("FLASHWRIGHT_START_ADVANCED");
  return hook != nullptr && std::strcmp(hook, "1") == 0;
}

bool InstallFirstPaintHook(CMainFrame* frame) {
  const char* hook = std::getenv("FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT");
  if (!hook || std::string(hook) != "1" || !frame) return false;
  frame->installEventFilter(new FirstPaintHook(frame));
  return true;
}

bool InstallScreenshotHook(CMainFrame* frame) {
  const char* folder = std::getenv("FLASHWRIGHT_SCREENSHOTS");
  if (!folder || !*folder || !frame) return false;
  const char* run = std::getenv("FLASHWRIGHT_SCREENSHOT_RUN");
  const bool update_run = run && std::string(run) == "update";
  const bool usb_run = run && std::string(run) == "usb";
  auto* hook = new ScreenshotHook(frame, folder, update_run, usb_run);
  hook->Start();
  return true;
}

int ScreenshotHookExitCode(int code) { return hook_exit_code >= 0 ? hook_exit_code : code; }

}  // namespace flashwright
