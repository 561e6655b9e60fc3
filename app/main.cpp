#include <QApplication>
#include <QMessageBox>
#include <QStringList>

#include <cstdio>

#include "app/quarnel_app.h"
#include "io/safe_file.h"
#include "platform/gl_context.h"

int main(int argc, char** argv) {
  quarnel::IgnoreFileSizeLimitSignal();
  QStringList parameters;
  for (int i = 1; i < argc; ++i) parameters << QString::fromLocal8Bit(argv[i]);
  // Before any window or display connection: a start that only hands its
  // files over ends here.
  const quarnel::ShellHandOver handOver = quarnel::HandShellStartToRunningInstance(parameters);
  if (handOver.all) return 0;

  quarnel::PrepareOpenGLApplication();
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Kelvor"));
  QApplication::setApplicationName(QStringLiteral("Quarnel"));
  if (!quarnel::DisplayHasOpenGL()) {
    // The text of a refused pixel format. Platforms without a screen get it
    // on the error stream only: a box there would wait for nobody.
    const char* text = "ChoosePixelFormat failed";
    std::fprintf(stderr, "quarnel: %s (this display offers no OpenGL)\n", text);
    if (!quarnel::ScreenlessPlatform())
      QMessageBox::critical(nullptr, QStringLiteral("Quarnel"), QString::fromLatin1(text));
    return 1;
  }
  quarnel::CQuarnelApp app;
  // The files the running instance took are not opened again here.
  const QStringList own =
      quarnel::WithoutFirstFiles(QApplication::arguments().mid(1), handOver.taken);
  if (!app.InitInstance(own)) return 0;
  return QApplication::exec();
}
