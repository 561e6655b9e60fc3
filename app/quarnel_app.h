// The application: start-up in viewer or edit mode, the preferences, the
// document template, the main frame, the cursors, the clipboard format of
// the view exchange and the idle pass.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/command_target.h"
#include "platform/cursors.h"

class QOpenGLContext;

namespace quarnel {

class CMainFrame;
class CQuarnelView;
class ClipboardBlocks;
class Clock;
class DocumentManager;
class DocumentTemplate;
class EndSignals;
class FileDialogs;
class IdlePass;
class MessageSink;
class Profile;
class ProgressReporter;
class RecentFileList;
class ShellOpenServer;

// What the command line asks for. Only "-" starts a switch, and the exact
// tokens "/edit" and "/Edit" are the edit switch too, so that an absolute
// path is always a file. The edit switch is "edit" or "Edit", nothing else;
// "-shellopen" marks a start by the desktop's file association; other
// switches are ignored. The first parameter that is not a switch names the
// file to open. A start marked "-shellopen" opens every file it names, in
// their order: a program that ends hands the files still waiting in it on
// to one such start.
struct CQuarnelCommandLineInfo {
  bool editMode = false;
  bool shellOpen = false;
  QString fileName;
  // Every parameter that names a file, in order; fileName is the first.
  QStringList fileNames;
  // Takes one parameter in its turn.
  void ParseParam(const QString& parameter);
  // The files this start opens.
  QStringList FilesToOpen() const;
};
CQuarnelCommandLineInfo ParseCommandLine(const QStringList& parameters);

// A start by the desktop's file association ("-shellopen" and files) gives
// its files, one after the other in their order, to the instance already
// running, which opens them in its own mode. When that instance took every
// one (all), this process has nothing to do. Otherwise the start goes on as
// an instance of its own with the files after the ones taken, holding the
// lock of TakeShellOpenLock until its own server listens. Runs before the
// application object exists. socketName empty: the user's own.
struct ShellHandOver {
  qsizetype taken = 0;
  bool all = false;
};
ShellHandOver HandShellStartToRunningInstance(const QStringList& parameters,
                                              const QString& socketName = QString());
// The parameters without the first count of the files they name.
QStringList WithoutFirstFiles(const QStringList& parameters, qsizetype count);

// The services the application runs on; tests replace them. Null members
// get the program's own.
struct AppServices {
  Profile* profile = nullptr;
  MessageSink* messages = nullptr;
  FileDialogs* dialogs = nullptr;
  ClipboardBlocks* clipboard = nullptr;
  Clock* clock = nullptr;
  ProgressReporter* progress = nullptr;
  // The local socket of the desktop's open requests; empty for the user's own.
  QString shellOpenName;
  // Starts the program anew, on its own, with these command-line parameters;
  // false when it could not be started. Null: the program's own executable.
  std::function<bool(const QStringList&)> startProgram;
};

class CQuarnelApp final : public CommandTarget {
 public:
  explicit CQuarnelApp(const AppServices& services = {});
  ~CQuarnelApp() override;
  CQuarnelApp(const CQuarnelApp&) = delete;
  CQuarnelApp& operator=(const CQuarnelApp&) = delete;

  // The start-up sequence; false ends the program. parameters are the
  // command-line parameters after the program name.
  bool InitInstance(const QStringList& parameters);
  // The idle pass: true while a view needs more idle time (a spinning view).
  bool OnIdle(int count);
  // The context of the first view, over all documents, that has one and is
  // not own; null when there is none.
  QOpenGLContext* FindSharedGLContext(const QOpenGLContext* own) const;
  // The five values of the profile section "Prefs", or their defaults.
  void ReadPreferences();

  // Commands of the application (app/app_commands.cpp).
  void OnPreferences();
  void OnAppAbout();
  void OnFileTypes();

  bool OnCommand(int id) override { return map_.OnCommand(id); }
  bool HandlesCommand(int id) const override { return map_.HandlesCommand(id); }
  bool OnUpdate(int id, CommandState& state) override { return map_.OnUpdate(id, state); }

  CMainFrame* MainFrame() const { return mainFrame_.get(); }
  DocumentManager* Documents() const { return documents_; }
  MessageSink& Messages() const { return *messages_; }
  Clock& GetClock() const { return *clock_; }
  Profile& GetProfile() const { return *profile_; }
  IdlePass* Idle() const { return idle_.get(); }
  // Where the desktop's open requests arrive; null before start-up.
  ShellOpenServer* ShellOpen() const { return shellOpen_.get(); }
  // The clipboard of the view exchange (Copy View, Paste View).
  ClipboardBlocks* Clipboard() const { return clipboard_; }

  // Members, in the order other parts read them -----------------------------
  CursorSet m_cursors;
  bool m_clipboardRegistered = false;
  bool m_editMode = false;
  unsigned int m_cubeMapTexture = 0;
  unsigned int m_smallFontLists = 0;
  unsigned int m_largeFontLists = 0;
  // The pixel height the small font's lists were made with: the texts are
  // measured in it until the lists are made again.
  int m_smallFontPixels = 0;
  bool m_linkTrackBalls = false;
  bool m_showTrackBallAtStart = false;
  bool m_flipTextures = false;
  bool m_halveTextureSize = false;
  int m_smallFontHeight = 12;
  int m_largeFontHeight = 14;

 private:
  class Template;

  std::unique_ptr<Profile> ownProfile_;
  std::unique_ptr<MessageSink> ownMessages_;
  std::unique_ptr<FileDialogs> ownDialogs_;
  std::unique_ptr<ClipboardBlocks> ownClipboard_;
  std::unique_ptr<ProgressReporter> ownProgress_;
  Profile* profile_;
  MessageSink* messages_;
  FileDialogs* dialogs_;
  ClipboardBlocks* clipboard_;
  Clock* clock_;
  ProgressReporter* progress_;

  std::unique_ptr<RecentFileList> recent_;
  std::unique_ptr<CommandRouter> router_;
  std::unique_ptr<Template> template_;
  std::unique_ptr<CMainFrame> mainFrame_;
  DocumentManager* documents_ = nullptr;  // owned by the main window
  std::unique_ptr<IdlePass> idle_;
  QString shellOpenName_;
  std::function<bool(const QStringList&)> startProgram_;
  std::unique_ptr<ShellOpenServer> shellOpen_;
  std::unique_ptr<EndSignals> endSignals_;
  // Files the desktop handed over or a drop brought that wait for the
  // program to be free, in the order they came.
  QStringList shellOpenQueue_;
  bool shellOpenRetryArmed_ = false;
  // Start-up went through: from now on the program runs until the user ends
  // it, and a file handed over is sure to be opened.
  bool started_ = false;
  // The main window closed: the program is ending and opens nothing more.
  bool ending_ = false;
  CommandMap map_;

  // The views of each document opened run their initial update once its
  // window is shown.
  void RunInitialUpdatesOfOpenedDocuments();

  // The desktop's open requests and the files dropped from another program:
  // each file opens as one more document window of this instance, in its
  // mode. Once the program has started, a request is taken at once whatever
  // the program is doing; the file waits while a box, a dialog, a menu,
  // another open or a view's initial update (with its questions about the
  // textures) is under way, and opens after it.
  void EnableShellOpen();
  // The files of the command line: the first opens now, before the main
  // window is shown, and the others wait in the queue. False when none of
  // them opened, or the program began to end meanwhile.
  bool OpenCommandLineFiles(const QStringList& files);
  bool ShellOpenBusy() const;
  void QueueFilesToOpen(const QStringList& paths);
  void OpenQueuedShellFiles();
  // The signals that ask the program to end close its main window.
  void EndOnSignals();
  // The main window closed, by whichever route: the program ends. The window
  // leaves the screen at once; files handed over or dropped that it has not
  // opened go to a new instance, in the order they came.
  void EndRun();
  void OpenInNewInstance(const QStringList& paths);

  // The command handlers and the route of the loaders' questions to the
  // message boxes (app/app_commands.cpp).
  void BuildCommands();
  void InstallUserPrompt();
};

}  // namespace quarnel
