#include "app/quarnel_app.h"

#include <QApplication>
#include <QFile>
#include <QOpenGLContext>
#include <QProcess>
#include <QTimer>
#include <QToolBar>
#include <cstdio>
#include <utility>

#include "app/command_ids.h"
#include "app/file_types.h"
#include "app/gl_error.h"
#include "app/main_frame.h"
#include "app/pref_dialog.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "app/trackball.h"
#include "app/user_prompt.h"
#include "platform/clipboard_blocks.h"
#include "platform/clock.h"
#include "platform/command_table.h"
#include "platform/document_manager.h"
#include "platform/end_signals.h"
#include "platform/file_dialogs.h"
#include "platform/idle_pass.h"
#include "platform/messages.h"
#include "platform/profile.h"
#include "platform/program_icon.h"
#include "platform/progress_window.h"
#include "platform/recent_files.h"
#include "platform/shell_open.h"

namespace quarnel {

namespace {

const char kPrefs[] = "Prefs";
constexpr int kShellOpenRetryMs = 100;

// The trackballs count time in whole milliseconds of the application's clock.
Clock* g_trackBallClock = nullptr;
int TrackBallTicks() { return g_trackBallClock ? int(g_trackBallClock->Ticks()) : 0; }

// The service the caller handed in; without one, a service of type Own made
// from args and kept alive by `own`.
template <class Own, class Service, class... Args>
void UseOrOwn(Service*& service, std::unique_ptr<Service>& own, Args&&... args) {
  if (service) return;
  own = std::make_unique<Own>(std::forward<Args>(args)...);
  service = own.get();
}

bool IsSlashEditSwitch(const QString& p) {
  return p == QLatin1String("/edit") || p == QLatin1String("/Edit");
}

// Every parameter but a switch and an empty one names a file.
bool NamesFile(const QString& p) {
  return !p.isEmpty() && !IsSlashEditSwitch(p) && !p.startsWith(QLatin1Char('-'));
}

}  // namespace

void CQuarnelCommandLineInfo::ParseParam(const QString& p) {
  if (IsSlashEditSwitch(p)) {
    editMode = true;
    return;
  }
  if (p.startsWith(QLatin1Char('-'))) {
    const QString flag = p.mid(1);
    if (flag == QLatin1String("edit") || flag == QLatin1String("Edit")) editMode = true;
    if (flag == QLatin1String(kShellOpenSwitch)) shellOpen = true;
    return;
  }
  if (!NamesFile(p)) return;
  if (fileName.isEmpty()) fileName = p;
  fileNames << p;
}

QStringList CQuarnelCommandLineInfo::FilesToOpen() const {
  if (shellOpen) return fileNames;
  return fileName.isEmpty() ? QStringList() : QStringList{fileName};
}

CQuarnelCommandLineInfo ParseCommandLine(const QStringList& parameters) {
  CQuarnelCommandLineInfo info;
  for (const QString& p : parameters) info.ParseParam(p);
  return info;
}

// The document template: CQuarnelDoc documents with one CQuarnelView each.
class CQuarnelApp::Template final : public DocumentTemplate {
 public:
  explicit Template(CQuarnelApp& app) : app_(app) {}

  std::unique_ptr<Document> CreateDocument() override {
    DocumentServices services;
    services.editMode = app_.m_editMode;
    services.messages = app_.messages_;
    services.progress = app_.progress_;
    services.dialogs = app_.dialogs_;
    services.dialogParent = app_.mainFrame_ ? &app_.mainFrame_->Window() : nullptr;
    services.idle = app_.idle_.get();
    return std::make_unique<CQuarnelDoc>(services);
  }
  QWidget* CreateView(Document& doc) override {
    return new CQuarnelView(app_, static_cast<CQuarnelDoc&>(doc));
  }
  QString FileFilter() const override { return QStringLiteral("Ply Meshes (*.ply)"); }
  QString DefaultExtension() const override { return QStringLiteral("ply"); }

 private:
  CQuarnelApp& app_;
};

CQuarnelApp::CQuarnelApp(const AppServices& services)
    : profile_(services.profile),
      messages_(services.messages),
      dialogs_(services.dialogs),
      clipboard_(services.clipboard),
      clock_(services.clock ? services.clock : &ProcessClock()),
      progress_(services.progress),
      shellOpenName_(services.shellOpenName.isEmpty() ? ShellOpenSocketName()
                                                      : services.shellOpenName),
      startProgram_(services.startProgram) {
  if (!startProgram_) {
    startProgram_ = [](const QStringList& parameters) {
      return QProcess::startDetached(QCoreApplication::applicationFilePath(), parameters);
    };
  }
  UseOrOwn<SettingsProfile>(profile_, ownProfile_);
  UseOrOwn<QtMessageSink>(messages_, ownMessages_);
  UseOrOwn<QtFileDialogs>(dialogs_, ownDialogs_);
  UseOrOwn<SystemClipboardBlocks>(clipboard_, ownClipboard_);
  g_trackBallClock = clock_;
  TrackBall::SetTickSource(&TrackBallTicks);
  // OpenGL errors found while a frame is painted are shown after the paint,
  // once per distinct message.
  SetGlErrorSink([this](const std::string& text, const std::string& title) {
    messages_->Show(QString::fromStdString(text), MessageButtons::Ok, MessageIcon::Warning,
                    QString::fromStdString(title));
  });
  InstallUserPrompt();
  BuildCommands();
}

CQuarnelApp::~CQuarnelApp() {
  // From here on a signal ends the process as it would without the program.
  endSignals_.reset();
  if (idle_) idle_->Stop();
  shellOpen_.reset();
  // The view exchange data goes with the program; anything else that the
  // clipboard holds is the user's.
  if (m_clipboardRegistered && clipboard_) clipboard_->ClearIfOurs();
  // The windows and their views go while the application they reach is whole;
  // the progress window is the main window's child and goes before it.
  progress_ = nullptr;
  ownProgress_.reset();
  mainFrame_.reset();
  SetGlErrorSink({});
  SetUserPrompt({});
  if (g_trackBallClock == clock_) g_trackBallClock = nullptr;
}

void CQuarnelApp::ReadPreferences() {
  const QString prefs = QString::fromLatin1(kPrefs);
  m_flipTextures = profile_->GetInt(prefs, QStringLiteral("PngFlag"), 0) != 0;
  m_halveTextureSize = profile_->GetInt(prefs, QStringLiteral("HalveTextureSizeFlag"), 0) != 0;
  m_showTrackBallAtStart = profile_->GetInt(prefs, QStringLiteral("TrackFlag"), 0) != 0;
  m_smallFontHeight =
      FontHeightOrDefault(profile_->GetInt(prefs, QStringLiteral("SmallFontHeight"), 12), 12);
  m_largeFontHeight =
      FontHeightOrDefault(profile_->GetInt(prefs, QStringLiteral("LargeFontHeight"), 14), 14);
}

ShellHandOver HandShellStartToRunningInstance(const QStringList& parameters,
                                              const QString& socketName) {
  const CQuarnelCommandLineInfo commandLine = ParseCommandLine(parameters);
  const QStringList files = commandLine.FilesToOpen();
  if (!commandLine.shellOpen || files.isEmpty()) return {};
  const QString name = socketName.isEmpty() ? ShellOpenSocketName() : socketName;
  // Files opened together start one process each: the first that finds no
  // instance keeps the lock until it listens itself, and the others wait for
  // it and then hand their files to it.
  TakeShellOpenLock(name);
  // One at a time, each taken before the next is sent: they open in order.
  ShellHandOver handOver;
  while (handOver.taken < files.size() && HandToRunningInstance(name, files[handOver.taken]))
    ++handOver.taken;
  handOver.all = handOver.taken == files.size();
  if (handOver.all) ReleaseShellOpenLock();
  return handOver;
}

QStringList WithoutFirstFiles(const QStringList& parameters, qsizetype count) {
  QStringList kept;
  for (const QString& p : parameters) {
    if (count > 0 && NamesFile(p)) {
      --count;
      continue;
    }
    kept << p;
  }
  return kept;
}

bool CQuarnelApp::InitInstance(const QStringList& parameters) {
  recent_ = std::make_unique<RecentFileList>(*profile_, RecentFileList::kDefaultCapacity);
  recent_->Load();
  ReadPreferences();

  router_ = std::make_unique<CommandRouter>();
  template_ = std::make_unique<Template>(*this);
  InitPlatformResources();
  // The main window, its dialogs and the About box show the program's icon.
  QApplication::setWindowIcon(ProgramIcon());
  mainFrame_ = std::make_unique<CMainFrame>(QStringLiteral("Quarnel"), *router_);
  if (!mainFrame_->OnCreate(recent_.get())) return false;
  MainWindow& window = mainFrame_->Window();
  if (auto* sink = dynamic_cast<QtMessageSink*>(messages_)) sink->SetParent(&window);
  UseOrOwn<ProgressWindow>(progress_, ownProgress_, &window, *clock_);
  // Made now, so that documents opened before it starts can hold it.
  idle_ = std::make_unique<IdlePass>([this](int count) { return OnIdle(count); });
  documents_ = new DocumentManager(window, *template_, *dialogs_, recent_.get());
  documents_->LinkRouter(*router_, mainFrame_.get(), this);
  RunInitialUpdatesOfOpenedDocuments();
  EndOnSignals();
  EnableShellOpen();
  QObject::connect(&window, &MainWindow::closed, &window, [this] { EndRun(); });

  const CQuarnelCommandLineInfo commandLine = ParseCommandLine(parameters);
  m_editMode = commandLine.editMode;
  mainFrame_->WatchFirstActivation(*documents_, m_editMode);
  if (m_editMode) window.SetBaseTitle(QStringLiteral("Tolvane"));

  if (!OpenCommandLineFiles(commandLine.FilesToOpen())) return false;

  window.show();
  if (m_editMode)
    mainFrame_->DockSelectionToolBar();
  else
    mainFrame_->SelectionToolBar()->hide();
  m_cursors.Load();
  m_clipboardRegistered = clipboard_ != nullptr;

  idle_->Start();
  mainFrame_->Commands().UpdateAll();
  started_ = true;
  if (!shellOpenQueue_.isEmpty())
    QTimer::singleShot(0, shellOpen_.get(), [this] { OpenQueuedShellFiles(); });
  return true;
}

bool CQuarnelApp::OpenCommandLineFiles(const QStringList& files) {
  // The first file is opened now, in the mode just chosen, before the main
  // window is shown; when it cannot be opened the next one is, and when none
  // can the program ends. The files after it wait in the queue, where an end
  // of the program meanwhile finds them and hands them on.
  shellOpenQueue_ = files;
  if (files.isEmpty()) return true;
  bool opened = false;
  while (!opened && !shellOpenQueue_.isEmpty() && !ending_)
    opened = documents_->OpenDocumentFile(shellOpenQueue_.takeFirst());
  return opened && !ending_;
}

void CQuarnelApp::RunInitialUpdatesOfOpenedDocuments() {
  // A document's view shown in a running instance asks about its textures
  // as soon as the open has shown its window, before the next file of a
  // drop opens: the questions come in the order of the files.
  QObject::connect(documents_, &DocumentManager::documentOpened, documents_, [this](Document* doc) {
    for (QWidget* widget : documents_->ViewsOf(*doc))
      if (auto* view = qobject_cast<CQuarnelView*>(widget)) view->RunPendingInitialUpdate();
  });
}

void CQuarnelApp::EnableShellOpen() {
  // Until start-up is through the program may still end (its first file
  // fails to open), and once its main window is closed it is ending: a file
  // taken then would be lost, so the new process is told to ask again.
  shellOpen_ = std::make_unique<ShellOpenServer>(
      [this] { return !started_ || !mainFrame_ || !mainFrame_->Window().isVisible(); });
  ShellOpenServer* server = shellOpen_.get();
  QObject::connect(server, &ShellOpenServer::openRequested, server,
                   [this](const QString& path) { QueueFilesToOpen({path}); });
  // Files dropped from another program wait in the same queue.
  documents_->SetDropRoute([this](const QStringList& paths) { QueueFilesToOpen(paths); });
  // Another instance that listens already keeps the requests.
  server->Listen(shellOpenName_);
}

bool CQuarnelApp::ShellOpenBusy() const {
  if (!documents_ || documents_->Opening() || QApplication::activeModalWidget() ||
      QApplication::activePopupWidget())
    return true;
  // A document with a file that is loading again: a Reload is running.
  for (Document* doc : documents_->Documents()) {
    const auto* quarnelDoc = dynamic_cast<const CQuarnelDoc*>(doc);
    if (quarnelDoc && quarnelDoc->Loading() && !quarnelDoc->PathName().isEmpty()) return true;
  }
  // A view in its initial update asks about its textures one after the
  // other; a box's loop runs on a little after the box has gone, and the
  // next file opened there would put its questions between them.
  for (QWidget* widget : documents_->AllViews()) {
    const auto* view = qobject_cast<const CQuarnelView*>(widget);
    if (view && view->InitialUpdateRunning()) return true;
  }
  return false;
}

void CQuarnelApp::QueueFilesToOpen(const QStringList& paths) {
  if (ending_) {
    OpenInNewInstance(paths);
    return;
  }
  shellOpenQueue_.append(paths);
  OpenQueuedShellFiles();
}

void CQuarnelApp::OpenQueuedShellFiles() {
  if (!documents_ || !mainFrame_ || shellOpenQueue_.isEmpty()) return;
  if (ShellOpenBusy()) {
    // A box or dialog has an event loop of its own and no signal when it
    // closes that reaches here: look again a little later.
    if (!shellOpenRetryArmed_) {
      shellOpenRetryArmed_ = true;
      QTimer::singleShot(kShellOpenRetryMs, shellOpen_.get(), [this] {
        shellOpenRetryArmed_ = false;
        OpenQueuedShellFiles();
      });
    }
    return;
  }
  const QString path = shellOpenQueue_.takeFirst();
  mainFrame_->Window().BringForward();
  documents_->OpenDocumentFile(path);
  // The next one from the event loop, once what this open left is handled.
  if (!shellOpenQueue_.isEmpty())
    QTimer::singleShot(0, shellOpen_.get(), [this] { OpenQueuedShellFiles(); });
}

void CQuarnelApp::EndOnSignals() {
  endSignals_ = std::make_unique<EndSignals>();
  // The same road as the window manager's close, whatever is on the screen:
  // a box or dialog that is up gives its escape answer as the program ends.
  QObject::connect(endSignals_.get(), &EndSignals::endRequested, endSignals_.get(), [this] {
    if (mainFrame_) mainFrame_->Window().close();
  });
}

void CQuarnelApp::EndRun() {
  if (ending_) return;
  ending_ = true;
  // Off the screen first: the user is done with the program, and handing
  // the files on takes a moment.
  if (mainFrame_) mainFrame_->Window().hide();
  // A load runs to its end before the event loop brings the close, so the
  // close waits for it; the files behind it are not opened here. From now
  // on a new start finds no instance and opens its file itself, and the
  // files this instance took and has not opened go to a new one: their
  // senders were told they are taken, and a drop was accepted.
  QStringList left = std::exchange(shellOpenQueue_, {});
  if (shellOpen_) left += shellOpen_->StopListening();
  OpenInNewInstance(left);
  // The program ends as its last window closes. Nothing opens after this
  // (files that come now are handed on as well), so no window shown later
  // calls that end off and keeps the program running with none on the
  // screen.
}

void CQuarnelApp::OpenInNewInstance(const QStringList& paths) {
  // One start for all of them, which opens them in their order, or hands
  // them in that order to an instance that listens by then. A start per
  // file would race for the lock and open them in any order.
  if (paths.isEmpty()) return;
  QStringList parameters;
  if (m_editMode) parameters << QStringLiteral("-edit");
  parameters << QLatin1Char('-') + QLatin1String(kShellOpenSwitch) << paths;
  if (startProgram_(parameters)) return;
  for (const QString& path : paths)
    std::fprintf(stderr, "quarnel: could not start the program again to open \"%s\"\n",
                 QFile::encodeName(path).constData());
}

bool CQuarnelApp::OnIdle(int) {
  bool more = false;
  if (mainFrame_) mainFrame_->Commands().UpdateAll();
  if (!documents_) return more;
  for (QWidget* widget : documents_->AllViews()) {
    auto* view = qobject_cast<CQuarnelView*>(widget);
    // A trackball that may not spin stands still however it was released:
    // redrawing it would only keep the program busy.
    const TrackBall* tb = view ? &view->m_trackBall : nullptr;
    if (tb && tb->m_spinning && tb->m_spinEnabled) {
      view->update();
      more = true;
    }
    // Linked cameras follow the view that has the focus; views visited
    // before it take what it published at the previous pass.
    if (view && m_linkTrackBalls) {
      if (view->hasFocus())
        view->OnCopyView();
      else
        view->OnPasteView();
    }
  }
  return more;
}

QOpenGLContext* CQuarnelApp::FindSharedGLContext(const QOpenGLContext* own) const {
  if (!documents_) return nullptr;
  for (QWidget* widget : documents_->AllViews()) {
    auto* view = qobject_cast<CQuarnelView*>(widget);
    if (!view) continue;
    QOpenGLContext* context = view->context();
    if (context && context != own) return context;
  }
  return nullptr;
}

}  // namespace quarnel
