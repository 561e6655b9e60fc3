#include "platform/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace quarnel {

WaitCursor::WaitCursor()
    : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
  if (active_) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  }
}

WaitCursor::~WaitCursor() {
  if (active_ && QCoreApplication::instance() != nullptr) {
    QGuiApplication::restoreOverrideCursor();
  }
}

}  // namespace quarnel
