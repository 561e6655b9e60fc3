// The real application, started with scripted services: message boxes are
// answered and recorded, file dialogs answered from a queue, the profile and
// the clipboard kept in memory.
#pragma once

#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "platform/clipboard_blocks.h"
#include "platform/file_dialogs.h"
#include "platform/main_window.h"
#include "platform/messages.h"
#include "platform/profile.h"

namespace quarnel::test {

class AppHarness {
 public:
  AppHarness();
  ~AppHarness();

  // Starts the application with the command-line parameters.
  bool Start(const QStringList& parameters, Profile* profile = nullptr);
  // Starts the application on `path` (with "-edit" when edit) and lets the
  // active view finish its initial update; that view, or null when any step
  // failed.
  CQuarnelView* StartView(const std::string& path, bool edit = false);
  // Ends the application as the program's exit does.
  void Stop();
  CQuarnelApp& App() { return *app_; }
  MainWindow& Window();
  CQuarnelView* ActiveView();
  CQuarnelDoc* ActiveDoc();
  int DocumentWindowCount();
  // Runs a command as a menu pick does.
  bool Execute(int id);
  // Texts of the boxes shown so far.
  QStringList MessageTexts() const;
  // Texts of the "OpenGL Usage Error" boxes shown so far.
  std::vector<QString> GlErrors() const;
  // Lets the event loop run for about ms milliseconds.
  void Pump(int ms = 50);
  // Every box from now on is up for about ms milliseconds before its
  // scripted answer, running an event loop of its own as a real box does:
  // whatever was deleted later is deleted meanwhile, and windows paint.
  void BoxesRunTheirOwnLoop(int ms = 50);
  // The view's frame as it now stands, drawn anew.
  QImage Frame(CQuarnelView* view);

  ScriptedMessageSink messages;
  ScriptedFileDialogs dialogs;
  MemoryClipboardBlocks clipboard;
  MemoryProfile profile;
  // The application's clock; null for the process clock.
  Clock* clock = nullptr;
  // Where the application takes the desktop's open requests: a socket of
  // this harness alone, in a folder of its own that goes with it (the lock
  // file beside the socket too), unless a test names another.
  QTemporaryDir shellOpenFolder;
  QString shellOpenName;
  // The progress of file loads; null for the program's progress window.
  ProgressReporter* progress = nullptr;
  // Where the program starts itself anew; null: nothing is started, and the
  // parameters of each start are kept in programStarts.
  std::function<bool(const QStringList&)> startProgram;
  std::vector<QStringList> programStarts;

 private:
  std::unique_ptr<CQuarnelApp> app_;
};

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

// Each channel of c within tolerance of (r, g, b).
inline bool Near(QRgb c, int r, int g, int b, int tolerance = 3) {
  return std::abs(qRed(c) - r) <= tolerance && std::abs(qGreen(c) - g) <= tolerance &&
         std::abs(qBlue(c) - b) <= tolerance;
}
// The view's grey background.
inline bool IsBackground(QRgb c) { return Near(c, 64, 64, 64); }

// Drags the files over the main window and drops them, as a file manager does.
void DropOnWindow(MainWindow& window, const QStringList& paths);

// The pixel at the centre of the widget as the screen shows it: what the main
// window composed, not what a view's own framebuffer holds.
QRgb OnScreenCentre(QWidget* widget);

}  // namespace quarnel::test
