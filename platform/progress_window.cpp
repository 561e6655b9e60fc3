#include "platform/progress_window.h"

#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace quarnel {

namespace {

// Where the window opens, in screen coordinates, and the size of its inside.
constexpr int kLeft = 200;
constexpr int kTop = 200;
constexpr int kWidth = 300;
constexpr int kHeight = 24;

}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner, const Clock& clock) : owner_(owner), clock_(clock) {}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::Begin() {
  if (!window_) {
    // A top-level window of its own, kept above its owner.
    window_ =
        std::make_unique<QWidget>(owner_, Qt::Window | Qt::CustomizeWindowHint |
                                              Qt::WindowTitleHint | Qt::WindowDoesNotAcceptFocus);
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->setAttribute(Qt::WA_TransparentForMouseEvents);
    window_->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    bar_ = new QProgressBar(window_.get());
    bar_->setRange(0, 100);
    bar_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(bar_);
    window_->setGeometry(kLeft, kTop, kWidth, kHeight);
  }
  position_ = 0;
  bar_->setValue(0);
  window_->setWindowTitle(QString());
  window_->show();
  // Waiting for the window system to report the window shown would mean
  // running the event loop, and with it timers and queued calls of the
  // program in the middle of the load. The map request is on its way, ahead
  // of every paint on the same connection, so the window paints at once; a
  // window manager that holds the window back gets the picture at the next
  // paint.
  window_->setAttribute(Qt::WA_Mapped);
  window_->repaint();
  lastPaintMs_ = clock_.ElapsedMs();
}

void ProgressWindow::Report(int percent, const char* caption) {
  if (!window_) {
    return;
  }
  position_ = std::clamp(percent, 0, 100);
  if (caption != nullptr) {
    const QString text = QString::fromUtf8(caption);
    if (text != window_->windowTitle()) {
      window_->setWindowTitle(text);
    }
  }
  const double since = clock_.ElapsedMs() - lastPaintMs_;
  if ((position_ != bar_->value() && since >= 1000.0 / kMaxPaintsPerSecond) ||
      since >= kRefreshMs) {
    Paint();
  }
}

void ProgressWindow::Paint() {
  lastPaintMs_ = clock_.ElapsedMs();
  // The bar repaints itself at once when its picture changes.
  if (position_ != bar_->value()) {
    bar_->setValue(position_);
  } else {
    window_->repaint();
  }
}

void ProgressWindow::End() {
  if (window_) {
    window_->hide();
  }
}

bool ProgressWindow::Visible() const {
  return window_ && window_->isVisible();
}

QString ProgressWindow::Caption() const {
  return window_ ? window_->windowTitle() : QString();
}

void RecordingProgress::Report(int percent, const char* caption) {
  steps_.push_back(
      {std::clamp(percent, 0, 100), caption != nullptr ? QString::fromUtf8(caption) : QString()});
}

}  // namespace quarnel
