#include <QApplication>

#include "app/quarnel_app.h"
#include "platform/gl_context.h"

int main(int argc, char** argv) {
  quarnel::PrepareOpenGLApplication();
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Kelvor"));
  QApplication::setApplicationName(QStringLiteral("Quarnel"));
  quarnel::CQuarnelApp app;
  if (!app.InitInstance(QApplication::arguments().mid(1))) return 0;
  return QApplication::exec();
}
