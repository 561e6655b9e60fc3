#include "qt_test_app.h"

#include <QCoreApplication>
#include <QEvent>

#include "platform/gl_context.h"

namespace quarnel::test {

QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "quarnel_platform_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    PrepareOpenGLApplication();
    return new QApplication(argc, argv);
  }();
  return *app;
}

void DrainEvents() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace quarnel::test
