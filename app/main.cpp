#include <QApplication>
#include <QStringList>

#include "app/quarnel_app.h"
#include "platform/gl_context.h"

int main(int argc, char** argv) {
  QStringList parameters;
  for (int i = 1; i < argc; ++i) parameters << QString::fromLocal8Bit(argv[i]);
  // Before any window or display connection: a start that only hands its
  // file over ends here.
  if (quarnel::HandShellStartToRunningInstance(parameters)) return 0;

  quarnel::PrepareOpenGLApplication();
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Kelvor"));
  QApplication::setApplicationName(QStringLiteral("Quarnel"));
  quarnel::CQuarnelApp app;
  if (!app.InitInstance(QApplication::arguments().mid(1))) return 0;
  return QApplication::exec();
}
