#include "app_harness.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "app/main_frame.h"
#include "platform/command_table.h"
#include "platform/document_manager.h"
#include "qt_test_app.h"

namespace quarnel::test {

AppHarness::AppHarness() {
  TestApplication();
  shellOpenName = shellOpenFolder.filePath(QStringLiteral("quarnel-test.shell"));
}

AppHarness::~AppHarness() { Stop(); }

void AppHarness::Stop() {
  app_.reset();
  DrainEvents();
}

bool AppHarness::Start(const QStringList& parameters, Profile* profileOverride) {
  AppServices services;
  services.profile = profileOverride ? profileOverride : &profile;
  services.messages = &messages;
  services.dialogs = &dialogs;
  services.clipboard = &clipboard;
  services.clock = clock;
  services.shellOpenName = shellOpenName;
  services.progress = progress;
  services.startProgram = startProgram ? startProgram : [this](const QStringList& parameters) {
    programStarts.push_back(parameters);
    return true;
  };
  app_ = std::make_unique<CQuarnelApp>(services);
  bool ok = app_->InitInstance(parameters);
  if (ok) {
    Window().resize(800, 600);
    Pump();
  }
  return ok;
}

CQuarnelView* AppHarness::StartView(const std::string& path, bool edit) {
  QStringList args{Q(path)};
  if (edit) args << "-edit";
  if (!Start(args)) return nullptr;
  CQuarnelView* view = ActiveView();
  if (!view) return nullptr;
  Pump(100);
  return view->InitialUpdateDone() ? view : nullptr;
}

MainWindow& AppHarness::Window() { return app_->MainFrame()->Window(); }

CQuarnelView* AppHarness::ActiveView() {
  return qobject_cast<CQuarnelView*>(app_->Documents()->ActiveView());
}

CQuarnelDoc* AppHarness::ActiveDoc() {
  return dynamic_cast<CQuarnelDoc*>(app_->Documents()->ActiveDocument());
}

int AppHarness::DocumentWindowCount() { return int(Window().MdiArea()->subWindowList().size()); }

bool AppHarness::Execute(int id) { return app_->MainFrame()->Commands().Execute(id); }

QStringList AppHarness::MessageTexts() const {
  QStringList texts;
  for (const Message& m : messages.Shown()) texts << m.text;
  return texts;
}

std::vector<QString> AppHarness::GlErrors() const {
  std::vector<QString> errors;
  for (const Message& m : messages.Shown())
    if (m.caption == "OpenGL Usage Error") errors.push_back(m.text);
  return errors;
}

void AppHarness::Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // Windows closed meanwhile are deleted as the main loop would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  } while (timer.elapsed() < ms);
}

void AppHarness::BoxesRunTheirOwnLoop(int ms) {
  messages.SetObserver([ms](const Message&) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  });
}

QImage AppHarness::Frame(CQuarnelView* view) { return view->grabFramebuffer(); }

void DropOnWindow(MainWindow& window, const QStringList& paths) {
  QMimeData files;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  files.setUrls(urls);
  QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &files, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  QDropEvent drop(QPointF(400, 300), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
}

QRgb OnScreenCentre(QWidget* widget) {
  const QPoint centre = widget->mapToGlobal(widget->rect().center());
  const QImage shot = widget->screen()->grabWindow(0, centre.x(), centre.y(), 1, 1).toImage();
  return shot.isNull() ? 0 : shot.pixel(0, 0);
}

}  // namespace quarnel::test
