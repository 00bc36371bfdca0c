#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>

#include "windowing/qt/native_window_qt.h"
#include "windowing/window_picture.h"

namespace flashwright::ui {

namespace {

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

// Calls its function after the first paint of the window it watches, then goes.
class FirstPaintWatch : public QObject {
 public:
  FirstPaintWatch(QWidget* window, std::function<void()> done)
      : QObject(window), done_(std::move(done)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || seen_) return QObject::eventFilter(watched, event);
    seen_ = true;
    watched->event(event);
    // The paint has been handled: the window is on the screen now.
    done_();
    deleteLater();
    return true;
  }

 private:
  std::function<void()> done_;
  bool seen_ = false;
};

}  // namespace

bool SaveWindowPicture(WindowRef window, const std::string& png_path, bool* blank) {
  QWidget* widget = ToWidget(window);
  if (widget == nullptr) return false;
  widget->repaint();
  QCoreApplication::processEvents();
  const QPixmap picture = widget->grab();
  if (blank != nullptr) *blank = IsBlank(picture.toImage());
  return picture.save(QString::fromStdString(png_path), "PNG");
}

void CallAfterFirstPaint(WindowRef window, std::function<void()> done) {
  QWidget* widget = ToWidget(window);
  if (widget == nullptr) return;
  widget->installEventFilter(new FirstPaintWatch(widget, std::move(done)));
}

}  // namespace flashwright::ui
