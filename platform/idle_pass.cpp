#include "platform/idle_pass.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>

namespace quarnel {

IdlePass::IdlePass(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  timer_.setSingleShot(true);
  timer_.setInterval(0);
  connect(&timer_, &QTimer::timeout, this, &IdlePass::RunPass);
}

IdlePass::~IdlePass() {
  Stop();
}

void IdlePass::Start() {
  if (!watching_ && QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->installEventFilter(this);
    watching_ = true;
  }
  Wake();
}

void IdlePass::Stop() {
  if (watching_ && QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->removeEventFilter(this);
  }
  watching_ = false;
  timer_.stop();
}

void IdlePass::Wake() {
  if (!timer_.isActive()) {
    count_ = 0;
    timer_.start();
  }
}

void IdlePass::Hold() {
  ++holds_;
}

void IdlePass::Release() {
  if (holds_ > 0 && --holds_ == 0 && dueWhileHeld_) {
    dueWhileHeld_ = false;
    Wake();
  }
}

bool IdlePass::ArmsIdle(int eventType) {
  switch (static_cast<QEvent::Type>(eventType)) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::WindowStateChange:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Close:
    case QEvent::Drop:
    case QEvent::Clipboard:
    case QEvent::FileOpen:
      return true;
    default:
      return false;
  }
}

bool IdlePass::eventFilter(QObject* watched, QEvent* event) {
  if (ArmsIdle(event->type())) {
    bool arm = true;
    if (event->type() == QEvent::MouseMove) {
      // A move to where the pointer already was changes nothing.
      const QPointF position = static_cast<QMouseEvent*>(event)->globalPosition();
      arm = position != lastMousePosition_;
      lastMousePosition_ = position;
    }
    if (arm) {
      Wake();
    }
  }
  return QObject::eventFilter(watched, event);
}

void IdlePass::RunPass() {
  if (holds_ > 0) {
    dueWhileHeld_ = true;
    return;
  }
  ++passes_;
  const bool more = handler_ ? handler_(count_++) : false;
  if (more) {
    timer_.start();
  } else {
    count_ = 0;
  }
}

}  // namespace quarnel
