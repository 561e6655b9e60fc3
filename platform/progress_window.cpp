#include "platform/progress_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace quarnel {

namespace {

// Where the window opens, in screen coordinates, and the size of its inside.
constexpr int kLeft = 200;
constexpr int kTop = 200;
constexpr int kWidth = 300;
constexpr int kHeight = 24;
constexpr int kShowWaitMs = 500;

// A new window can be painted only once the window system has shown it, and
// the load that follows keeps the event loop from hearing about that. So the
// window waits here, briefly, for the window system, taking no user input
// meanwhile; views of a document that is still loading draw nothing.
void WaitUntilShown(QWidget& window) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < kShowWaitMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const QWindow* handle = window.windowHandle();
    if (handle == nullptr || handle->isExposed()) {
      return;
    }
    QThread::msleep(2);
  }
}

}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner) : owner_(owner) {}

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
  bar_->setValue(0);
  window_->setWindowTitle(QString());
  window_->show();
  WaitUntilShown(*window_);
  window_->repaint();
}

void ProgressWindow::Report(int percent, const char* caption) {
  if (!window_) {
    return;
  }
  bar_->setValue(std::clamp(percent, 0, 100));
  if (caption != nullptr) {
    window_->setWindowTitle(QString::fromUtf8(caption));
  }
  window_->repaint();
}

void ProgressWindow::End() {
  if (window_) {
    window_->hide();
  }
}

bool ProgressWindow::Visible() const {
  return window_ && window_->isVisible();
}

int ProgressWindow::Position() const {
  return bar_ != nullptr ? bar_->value() : 0;
}

QString ProgressWindow::Caption() const {
  return window_ ? window_->windowTitle() : QString();
}

void RecordingProgress::Report(int percent, const char* caption) {
  steps_.push_back(
      {std::clamp(percent, 0, 100), caption != nullptr ? QString::fromUtf8(caption) : QString()});
}

}  // namespace quarnel
