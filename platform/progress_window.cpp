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
  // Every load gets a window of its own, as a new window comes up on top of
  // the others and paints at once. A window kept from an earlier load would
  // come back at its old place in the stack, under the main window when that
  // was shown or raised since (a load from the command line comes before the
  // main window), and, shown again without the event loop, keep what the
  // screen held there.
  window_.reset();
  // A top-level window of its own, kept above its owner.
  window_ = std::make_unique<QWidget>(owner_, Qt::Window | Qt::CustomizeWindowHint |
                                                  Qt::WindowTitleHint |
                                                  Qt::WindowDoesNotAcceptFocus);
  window_->setAttribute(Qt::WA_ShowWithoutActivating);
  window_->setAttribute(Qt::WA_TransparentForMouseEvents);
  window_->setFocusPolicy(Qt::NoFocus);
  auto* layout = new QVBoxLayout(window_.get());
  layout->setContentsMargins(0, 0, 0, 0);
  bar_ = new QProgressBar(window_.get());
  bar_->setRange(0, 100);
  bar_->setFocusPolicy(Qt::NoFocus);
  bar_->setFormat(BarText(QString()));
  layout->addWidget(bar_);
  window_->setGeometry(kLeft, kTop, kWidth, kHeight);
  position_ = 0;
  bar_->setValue(0);
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

QString ProgressWindow::BarText(const QString& caption) {
  return caption.isEmpty() ? QStringLiteral("%p%") : caption + QStringLiteral("  %p%");
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
  const bool changed =
      position_ != bar_->value() || bar_->format() != BarText(window_->windowTitle());
  if ((changed && since >= 1000.0 / kMaxPaintsPerSecond) || since >= kRefreshMs) {
    Paint();
  }
}

void ProgressWindow::Paint() {
  lastPaintMs_ = clock_.ElapsedMs();
  // The caption stands in the bar too: without a window manager the window
  // has no title bar to show it.
  const QString text = BarText(window_->windowTitle());
  if (text != bar_->format()) {
    bar_->setFormat(text);
    bar_->setValue(position_);
    bar_->repaint();
  } else if (position_ != bar_->value()) {
    // The bar repaints itself at once when its picture changes.
    bar_->setValue(position_);
  } else {
    window_->repaint();
  }
}

void ProgressWindow::End() {
  bar_ = nullptr;
  window_.reset();
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
