// Files opened from the desktop: a second process of the program, started as
// the file association starts it, hands its file to the running instance or,
// when there is none to take it, opens it itself.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/command_ids.h"
#include "app_fixtures.h"
#include "app_harness.h"
#include "texture_files.h"
#include "io/ply_types.h"
#include "platform/document_manager.h"
#include "platform/framework_commands.h"
#include "platform/progress_window.h"
#include "platform/recent_files.h"
#include "platform/shell_open.h"

namespace quarnel {
namespace {

using test::AppHarness;
using test::CubeKind;
using test::Q;

// A second process of the program, in its own runtime and configuration
// folders, as the desktop starts it.
class SecondProcess {
 public:
  explicit SecondProcess(const QString& runtime) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("XDG_CONFIG_HOME", config_.path());
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
  }
  ~SecondProcess() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  void Start(const QStringList& arguments) {
    process_.start(QStringLiteral(QUARNEL_EXECUTABLE), arguments);
    ASSERT_TRUE(process_.waitForStarted(10000));
  }
  // Runs h's event loop (the instance in this process) until the process
  // ends or ms pass; true when it ended with exit code 0.
  bool EndsWithin(AppHarness* h, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (process_.state() != QProcess::NotRunning && timer.elapsed() < ms) {
      if (h) h->Pump(20);
      process_.waitForFinished(20);
    }
    return process_.state() == QProcess::NotRunning &&
           process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
  }
  bool Running() const { return process_.state() != QProcess::NotRunning; }
  // True when, within ms, the process lists path among its recent files
  // and is still running.
  bool OpensWithin(const QString& path, int ms) {
    const QString name = QFileInfo(path).fileName();
    QElapsedTimer timer;
    timer.start();
    while (!Profile().contains(name) && timer.elapsed() < ms) process_.waitForFinished(50);
    return Profile().contains(name) && process_.state() == QProcess::Running;
  }
  // The files the process opened, from its recent-file list: the last
  // opened first.
  QStringList RecentFiles() const {
    QSettings profile(config_.filePath("Kelvor/Quarnel.conf"), QSettings::IniFormat);
    QStringList files;
    for (int i = 1; i <= RecentFileList::kDefaultCapacity; ++i) {
      const QString file =
          profile.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
      if (!file.isEmpty()) files << file;
    }
    return files;
  }
  // The process's profile as text: it lists the files it opened itself.
  QString Profile() const {
    QFile file(config_.filePath("Kelvor/Quarnel.conf"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

 private:
  QTemporaryDir config_;
  QProcess process_;
};

bool MakeStaleSocket(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray bytes = QFile::encodeName(path);
  std::strncpy(address.sun_path, bytes.constData(), sizeof(address.sun_path) - 1);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return bound;
}

TEST(ShellOpen, TheSecondProcessHandsItsFileToTheRunningInstance) {
  QTemporaryDir runtime;
  const QString first = Q(test::WriteCenteredCube("shell-first.ply", CubeKind::Colored));
  const QString second = Q(test::WriteCenteredCube("shell-second.ply", CubeKind::Colored));
  AppHarness h;
  h.shellOpenName = ShellOpenSocketNameIn(runtime.path());
  ASSERT_TRUE(h.Start({first}));
  ASSERT_EQ(h.DocumentWindowCount(), 1);

  // Its own edit switch does not matter: the file opens in the instance's mode.
  SecondProcess process(runtime.path());
  process.Start({"-shellopen", "-edit", second});
  EXPECT_TRUE(process.EndsWithin(&h, 20000));
  h.Pump(100);
  ASSERT_EQ(h.DocumentWindowCount(), 2);
  ASSERT_NE(h.ActiveDoc(), nullptr);
  EXPECT_EQ(h.ActiveDoc()->PathName(), second);
  EXPECT_EQ(h.ActiveDoc()->Holder().Tag(), 3);
  EXPECT_FALSE(process.Profile().contains("shell-second.ply"));

  // A file that is open already comes forward.
  SecondProcess again(runtime.path());
  again.Start({"-shellopen", first});
  EXPECT_TRUE(again.EndsWithin(&h, 20000));
  h.Pump(100);
  EXPECT_EQ(h.DocumentWindowCount(), 2);
  EXPECT_EQ(h.ActiveDoc()->PathName(), first);
  EXPECT_TRUE(h.messages.Shown().empty());

  // A start from a terminal is an instance of its own, as always.
  SecondProcess terminal(runtime.path());
  terminal.Start({second});
  EXPECT_TRUE(terminal.OpensWithin(second, 20000));
  EXPECT_EQ(h.DocumentWindowCount(), 2);
}

// A user who has a box or dialog up in the instance still gets the files
// opened from the desktop there: they are taken at once and open, in the
// order they came, when the dialog closes. They used to be refused until the
// new process gave up and opened each in an instance of its own.
TEST(ShellOpen, FilesOpenedWhileADialogIsUpOpenWhenItCloses) {
  QTemporaryDir runtime;
  const QString first = Q(test::WriteCenteredCube("shell-dialog-first.ply", CubeKind::Colored));
  const QStringList later = {Q(test::WriteCenteredCube("shell-dialog-a.ply", CubeKind::Colored)),
                             Q(test::WriteCenteredCube("shell-dialog-b.ply", CubeKind::Colored))};
  AppHarness h;
  h.shellOpenName = ShellOpenSocketNameIn(runtime.path());
  ASSERT_TRUE(h.Start({first}));

  std::vector<std::unique_ptr<SecondProcess>> processes;
  std::vector<bool> handedOver;
  int windowsWhileUp = -1;
  QDialog dialog(&h.Window());
  QTimer::singleShot(0, &dialog, [&] {
    for (const QString& file : later) {
      processes.push_back(std::make_unique<SecondProcess>(runtime.path()));
      processes.back()->Start({"-shellopen", file});
      handedOver.push_back(processes.back()->EndsWithin(&h, 20000));
    }
    windowsWhileUp = h.DocumentWindowCount();
    dialog.accept();
  });
  dialog.exec();
  EXPECT_EQ(handedOver, std::vector<bool>(later.size(), true));
  EXPECT_EQ(windowsWhileUp, 1);
  h.Pump(500);
  ASSERT_EQ(h.DocumentWindowCount(), 3);
  ASSERT_NE(h.ActiveDoc(), nullptr);
  EXPECT_EQ(h.ActiveDoc()->PathName(), later.back());
  EXPECT_TRUE(h.messages.Shown().empty());

  // With its main window closed the program is ending: a file taken now
  // would be lost, so the new process keeps it.
  h.Window().close();
  std::future<bool> taken = std::async(std::launch::async, [&] {
    return HandToRunningInstance(h.shellOpenName, first, {1000, 300});
  });
  while (taken.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) h.Pump(5);
  EXPECT_FALSE(taken.get());
}

// Files that come while a view asks about its textures, from the desktop or
// by a drop: each view asks about all its textures before the next file
// opens. A box's loop runs on a little after the box has gone; a file that
// came meanwhile used to open there, inside the first one's texture loading,
// and put its questions between the first one's.
TEST(ShellOpen, EachFileAsksAllItsQuestionsBeforeTheNextOpens) {
  QTemporaryDir runtime;
  QStringList files;
  for (int i = 0; i < 4; ++i) {
    const std::string folder = test::FreshFolder("asks" + std::to_string(i));
    files << Q(test::WriteTexturedSquare(
        folder + "square.ply", {"TextureFile a.png", "TextureFile b.png", "TextureFile c.png"}));
  }
  struct Row {
    const char* route;
    std::function<void(AppHarness&, const QStringList&)> bring;
  };
  const Row rows[] = {
      {"desktop open",
       [](AppHarness& h, const QStringList& paths) {
         std::vector<std::future<bool>> taken;
         for (const QString& path : paths)
           taken.push_back(std::async(std::launch::async, [&h, path] {
             return HandToRunningInstance(h.shellOpenName, path);
           }));
         for (std::future<bool>& one : taken) {
           while (one.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
             h.Pump(5);
           EXPECT_TRUE(one.get());
         }
       }},
      {"drop",
       [](AppHarness& h, const QStringList& paths) { test::DropOnWindow(h.Window(), paths); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.route);
    AppHarness h;
    h.shellOpenName = ShellOpenSocketNameIn(runtime.path());
    ASSERT_TRUE(h.Start({}));
    // The first file opens; at its first question the other three come.
    // Every question is answered No (the boxes' escape), and each box's
    // loop runs longer than the wait before a file that found the program
    // busy is tried again.
    bool brought = false;
    h.messages.SetObserver([&](const Message&) {
      if (!brought) {
        brought = true;
        row.bring(h, files.mid(1));
      }
      QEventLoop loop;
      QTimer::singleShot(250, &loop, &QEventLoop::quit);
      loop.exec();
    });
    row.bring(h, files.mid(0, 1));
    QElapsedTimer timer;
    timer.start();
    while ((h.messages.Shown().size() < 12 || h.DocumentWindowCount() < 4) &&
           timer.elapsed() < 30000)
      h.Pump(20);
    h.Pump(100);
    EXPECT_EQ(h.DocumentWindowCount(), 4);

    // Which file each question is about, in the order they came.
    std::string order;
    for (const QString& text : h.MessageTexts()) {
      EXPECT_TRUE(text.endsWith("Try to guess?")) << text.toStdString();
      for (int i = 0; i < 4; ++i)
        if (text.contains(QFileInfo(files[i]).absolutePath() + "/")) order += char('0' + i);
    }
    ASSERT_EQ(order.size(), 12u) << h.MessageTexts().join("|").toStdString();
    for (size_t i = 0; i < order.size(); i += 3)
      EXPECT_TRUE(order[i + 1] == order[i] && order[i + 2] == order[i]) << order;
    std::string each = order;
    std::sort(each.begin(), each.end());
    EXPECT_EQ(each, "000111222333") << order;
    h.messages.SetObserver({});
  }
}

// Asks the window to close as a window manager does for its close button
// and its close key: a message to the window, which the program reads from
// its event loop.
void CloseAsTheWindowManagerDoes(QWidget& window) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  ASSERT_NE(x11, nullptr);
  xcb_connection_t* connection = x11->connection();
  const auto atom = [connection](const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
  };
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = xcb_window_t(window.winId());
  message.type = atom("WM_PROTOCOLS");
  message.data.data32[0] = atom("WM_DELETE_WINDOW");
  message.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(connection);
}

// The program's progress window, and something done in the middle of a load.
class LoadWithSomethingMeanwhile final : public ProgressReporter {
 public:
  explicit LoadWithSomethingMeanwhile(AppHarness& h) : h_(h) {}
  // Done in the next load, before it ends.
  void DuringNextLoad(std::function<void()> meanwhile) { meanwhile_ = std::move(meanwhile); }
  void Begin() override {
    if (!window_) window_ = std::make_unique<ProgressWindow>(&h_.Window());
    window_->Begin();
    if (meanwhile_) std::exchange(meanwhile_, {})();
  }
  void Report(int percent, const char* caption) override { window_->Report(percent, caption); }
  void End() override { window_->End(); }

 private:
  AppHarness& h_;
  std::function<void()> meanwhile_;
  std::unique_ptr<ProgressWindow> window_;
};

// Closing the main window, whatever is still arriving, ends the program and
// loses no file that it took: a file handed over or dropped that it has not
// opened goes to a new instance, in the order the files came, and the window
// is off the screen before that. The File menu held the files handed over
// while it was open, and its Exit ended the program without them. A close
// during the first load was lost with the window-system window that the
// first document window had made anew; one that got through let the next
// file's progress window call the end off, and the program went on opening
// the rest with no window to show them. A signal that asks the program to end
// (a logout, Ctrl+C, a closed terminal) takes the same road; it used to end
// the process on the spot, and every waiting file with it. The files were
// handed on one start each, with the window still up, and the starts raced
// for the lock and opened them in any order.
TEST(ShellOpen, ClosingTheMainWindowLosesNoFileAndLeavesNoProcess) {
  const auto cubes = [](const std::string& stem, int count) {
    QStringList files;
    for (int i = 0; i < count; ++i)
      files << Q(test::WriteCenteredCube(stem + std::to_string(i) + ".ply", CubeKind::Colored));
    return files;
  };
  const auto names = [](const QStringList& paths) {
    std::string text;
    for (const QString& path : paths) text += QFileInfo(path).fileName().toStdString() + " ";
    return text;
  };
  enum class End { kFileExit, kWindowManager, kSignal };
  struct Row {
    const char* route;
    End end;
    // Dropped at once; the first is the load during which the rest come.
    QStringList dropped;
    QStringList handedOver;
    // Dropped once the window has closed, as a drop the window system
    // brings just after the close.
    QStringList droppedLate;
  };
  const Row rows[] = {
      {"File > Exit with files handed over while the menu was open", End::kFileExit, {},
       cubes("close-menu-", 2), {}},
      {"the window manager's close during the first load, behind which files wait",
       End::kWindowManager, cubes("close-dropped-", 3), cubes("close-handed-", 2), {}},
      {"a drop that comes after the window manager's close", End::kWindowManager,
       cubes("close-first-", 1), {}, cubes("close-late-", 2)},
      {"SIGTERM with files handed over while a dialog is up", End::kSignal, {},
       cubes("close-signal-", 2), {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.route);
    QTemporaryDir runtime;
    std::vector<std::unique_ptr<SecondProcess>> started;
    AppHarness h;
    h.shellOpenName = ShellOpenSocketNameIn(runtime.path());
    bool shownAtAStart = false;
    h.startProgram = [&](const QStringList& parameters) {
      shownAtAStart = shownAtAStart || h.Window().isVisible();
      started.push_back(std::make_unique<SecondProcess>(runtime.path()));
      started.back()->Start(parameters);
      return true;
    };
    // The files whose senders were told they are taken, handed over one
    // after the other.
    QStringList taken;
    const auto handOver = [&] {
      for (const QString& path : row.handedOver) {
        std::future<bool> answer = std::async(std::launch::async, [&h, path] {
          return HandToRunningInstance(h.shellOpenName, path);
        });
        while (answer.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
          h.Pump(5);
        if (answer.get()) taken << path;
      }
      EXPECT_EQ(taken, row.handedOver);
    };
    LoadWithSomethingMeanwhile load(h);
    h.progress = &load;
    ASSERT_TRUE(h.Start({}));
    // What this instance opened while its window was on the screen.
    QStringList openedHere;
    QObject::connect(&h.Window(), &MainWindow::closed, &h.Window(), [&] {
      for (Document* doc : h.App().Documents()->Documents()) openedHere << doc->PathName();
      if (!row.droppedLate.isEmpty()) test::DropOnWindow(h.Window(), row.droppedLate);
    });
    if (row.end == End::kFileExit) {
      QMenu* file = h.Window().MenuTitled("File");
      ASSERT_NE(file, nullptr);
      h.Window().menuBar()->setActiveAction(file->menuAction());
      QElapsedTimer timer;
      timer.start();
      while (QApplication::activePopupWidget() != file && timer.elapsed() < 5000) h.Pump(10);
      ASSERT_EQ(QApplication::activePopupWidget(), file);
      handOver();
      QTimer::singleShot(0, file, [file] {
        QKeyEvent x(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(file, &x);
      });
    } else if (row.end == End::kWindowManager) {
      load.DuringNextLoad([&] {
        handOver();
        CloseAsTheWindowManagerDoes(h.Window());
      });
      QTimer::singleShot(0, &h.Window(), [&] { test::DropOnWindow(h.Window(), row.dropped); });
    } else {
      // Inside the dialog's own loop, once it is up.
      QTimer::singleShot(100, &h.Window(), [&] {
        EXPECT_NE(QApplication::activeModalWidget(), nullptr);
        handOver();
        ::kill(::getpid(), SIGTERM);
      });
      QTimer::singleShot(0, &h.Window(), [&] { h.Execute(cmd::kPreferences); });
    }

    // The program's loop, run as the program runs it, ends.
    QTimer stop;
    stop.setSingleShot(true);
    QObject::connect(&stop, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stop.start(20000);
    EXPECT_EQ(QApplication::exec(), 0) << "the program runs on";
    stop.stop();
    EXPECT_FALSE(h.Window().isVisible());
    EXPECT_FALSE(shownAtAStart) << "the window was on the screen while the files were handed on";

    // The files this instance did not open before its end open in the
    // instance that took over, in their order; it is the one process of
    // those started that runs on.
    const QStringList waited = row.dropped + taken + row.droppedLate;
    const QStringList handedOn = waited.mid(openedHere.size());
    EXPECT_EQ(names(openedHere), names(waited.mid(0, openedHere.size())));
    const auto runningOn = [&] {
      return std::count_if(started.begin(), started.end(),
                           [](const auto& p) { return p->Running(); });
    };
    QElapsedTimer timer;
    timer.start();
    while (runningOn() > 1 && timer.elapsed() < 20000)
      for (auto& process : started) process->EndsWithin(nullptr, 20);
    ASSERT_EQ(runningOn(), handedOn.isEmpty() ? 0 : 1);
    if (handedOn.isEmpty()) continue;
    SecondProcess& instance =
        **std::find_if(started.begin(), started.end(), [](const auto& p) { return p->Running(); });
    timer.restart();
    while (instance.RecentFiles().size() < handedOn.size() && timer.elapsed() < 20000)
      QThread::msleep(50);
    // The recent-file list holds the last opened first.
    QStringList order = instance.RecentFiles();
    std::reverse(order.begin(), order.end());
    EXPECT_EQ(names(order), names(handedOn));
  }
}

TEST(ShellOpen, WithOnlyAStaleSocketTheSecondProcessOpensTheFileItself) {
  QTemporaryDir runtime;
  const QString name = ShellOpenSocketNameIn(runtime.path());
  ASSERT_TRUE(MakeStaleSocket(name));
  const QString file = Q(test::WriteCenteredCube("shell-stale.ply", CubeKind::Colored));
  const QString later = Q(test::WriteCenteredCube("shell-later.ply", CubeKind::Colored));

  SecondProcess process(runtime.path());
  process.Start({"-shellopen", file});
  // It opens the file, keeps running, and now takes the requests.
  EXPECT_TRUE(process.OpensWithin(file, 20000));
  SecondProcess third(runtime.path());
  third.Start({"-shellopen", later});
  EXPECT_TRUE(third.EndsWithin(nullptr, 20000));
  EXPECT_TRUE(process.OpensWithin(later, 20000));
  EXPECT_FALSE(third.Profile().contains("shell-later.ply"));
}

TEST(ShellOpen, FilesOpenedTogetherGoToOneNewInstance) {
  QTemporaryDir runtime;
  QStringList files;
  std::vector<std::unique_ptr<SecondProcess>> processes;
  for (int i = 0; i < 3; ++i) {
    files << Q(test::WriteCenteredCube("shell-together-" + std::to_string(i) + ".ply",
                                       CubeKind::Colored));
    processes.push_back(std::make_unique<SecondProcess>(runtime.path()));
  }
  for (int i = 0; i < 3; ++i) processes[i]->Start({"-shellopen", files[i]});

  // One of them finds no instance and keeps running; the others hand their
  // files to it and end.
  const auto running = [&] {
    std::vector<SecondProcess*> alive;
    for (auto& process : processes)
      if (process->Running()) alive.push_back(process.get());
    return alive;
  };
  QElapsedTimer timer;
  timer.start();
  while (running().size() > 1 && timer.elapsed() < 30000)
    for (auto& process : processes) process->EndsWithin(nullptr, 20);
  ASSERT_EQ(running().size(), size_t(1));
  SecondProcess* instance = running().front();
  for (const QString& file : files) EXPECT_TRUE(instance->OpensWithin(file, 20000)) << file.toStdString();
  for (auto& process : processes) {
    if (process.get() == instance) continue;
    EXPECT_TRUE(process->EndsWithin(nullptr, 0));
    EXPECT_FALSE(process->Profile().contains("shell-together"));
  }
}

// Files that hold no header, or are no files at all, never hang or kill the
// program, whichever way they are opened: it answers with its message at
// once, and a running instance keeps the documents it has.
TEST(OpenRoutes, NoFileFreezesOrKillsTheProgram) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString pipe = folder.filePath("pipe.ply");
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  const QString zeros = folder.filePath("zeros.ply");
  {
    // A gigabyte of zeros, sparse so that it takes no room on the disk.
    QFile file(zeros);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(1) << 30));
  }
  const QString lyingFaces = folder.filePath("lying-faces.ply");
  {
    // A header that claims 2^31-1 faces over a body cut off to zeros after
    // its three vertices, as a broken download leaves it: the load must end
    // with the reader's error, not with the room asked for those faces.
    QFile file(lyingFaces);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray header =
        "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
        "property float y\nproperty float z\nelement face 2147483647\n"
        "property list uchar int vertex_indices\nend_header\n";
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_EQ(file.write(header), header.size());
    ASSERT_EQ(file.write(reinterpret_cast<const char*>(corners), sizeof corners),
              qint64(sizeof corners));
    ASSERT_TRUE(file.resize(qint64(1) << 30));
  }
  const QString subfolder = folder.filePath("folder.ply");
  ASSERT_TRUE(QDir().mkdir(subfolder));
  const QString socket = folder.filePath("socket.ply");
  ASSERT_TRUE(MakeStaleSocket(socket));
  // Chosen in the dialog, and gone before it is opened.
  const QString gone = folder.filePath("gone.ply");
  const QString good = Q(test::WriteCenteredCube("routes-good.ply", CubeKind::Colored));

  // For a file without a header the probe says so, and then the load.
  // Cut at its NUL the name would be that of the file the instance has open.
  const QString withNul = good + QChar(0) + "/etc/passwd";
  struct Row {
    QString path;
    bool headerless = false;
    // A name with a NUL is never in the recent-file list, nor handed over
    // from the desktop, nor dropped.
    bool everyRoute = true;
    // A header that reads well over a body that does not: the reader's error.
    PlyError bodyError = ply_error::NoError;
    // The messages for the file when it is opened by the name given.
    QStringList Messages(const QString& name) const {
      const QString none = QString::fromLatin1(PlyErrorText(ply_error::HeaderNotFound));
      if (bodyError != ply_error::NoError) return {QString::fromLatin1(PlyErrorText(bodyError))};
      return headerless ? QStringList{none, none}
                        : QStringList{QStringLiteral("Cannot open the file \"%1\".").arg(name)};
    }
    QStringList Messages() const { return Messages(path); }
  };
  const Row rows[] = {
      {"/dev/zero"}, {pipe},   {zeros, true}, {subfolder},
      {socket},      {gone}, {withNul, false, false},
      {lyingFaces, false, true, ply_error::FaceNotTriangle},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path.toStdString());
    {
      // The command line: the start ends after the message.
      AppHarness start;
      EXPECT_FALSE(start.Start({row.path}));
      EXPECT_EQ(start.MessageTexts(), row.Messages());
    }

    // A running instance with a document, and the file among its recent ones,
    // just after that document.
    QTemporaryDir runtime;
    AppHarness h;
    h.shellOpenName = ShellOpenSocketNameIn(runtime.path());
    h.profile.WriteString("Recent File List", "File1", row.path);
    ASSERT_TRUE(h.Start({good}));
    ASSERT_EQ(h.DocumentWindowCount(), 1);
    const auto keepsItsDocument = [&] {
      EXPECT_EQ(h.DocumentWindowCount(), 1);
      ASSERT_NE(h.ActiveDoc(), nullptr);
      EXPECT_EQ(h.ActiveDoc()->PathName(), good);
      EXPECT_EQ(h.ActiveDoc()->Holder().VertexCount(), 8);
    };

    // A path typed in File > Open.
    h.dialogs.QueueAnswer(row.path);
    EXPECT_TRUE(h.Execute(framework_command::kFileOpen));
    EXPECT_EQ(h.MessageTexts(), row.Messages()) << "File > Open";
    keepsItsDocument();
    if (!row.everyRoute) continue;

    h.messages.ClearShown();
    EXPECT_TRUE(h.Execute(framework_command::kRecentFileFirst + 1));
    EXPECT_EQ(h.MessageTexts(), row.Messages()) << "recent file";
    keepsItsDocument();

    // From the desktop, handed to the running instance.
    h.messages.ClearShown();
    SecondProcess process(runtime.path());
    process.Start({"-shellopen", row.path});
    EXPECT_TRUE(process.EndsWithin(&h, 20000));
    QElapsedTimer timer;
    timer.start();
    while (h.MessageTexts().size() < row.Messages().size() && timer.elapsed() < 20000) h.Pump(20);
    EXPECT_EQ(h.MessageTexts(), row.Messages()) << "desktop open";
    keepsItsDocument();

    h.messages.ClearShown();
    test::DropOnWindow(h.Window(), {row.path});
    EXPECT_EQ(h.MessageTexts(), row.Messages()) << "drop";
    keepsItsDocument();

    // The document's own file put in its place: Reload keeps the mesh on show.
    h.messages.ClearShown();
    ASSERT_TRUE(QFile::remove(good));
    ASSERT_TRUE(QFile::link(row.path, good));
    EXPECT_TRUE(h.Execute(cmd::kFileReload));
    EXPECT_EQ(h.MessageTexts(), row.Messages(good)) << "Reload";
    keepsItsDocument();
    ASSERT_TRUE(QFile::remove(good));
    ASSERT_EQ(Q(test::WriteCenteredCube("routes-good.ply", CubeKind::Colored)), good);
  }
}

// Started where no view can draw, the program says so and never crashes: on
// a platform without a screen it ends, on a display without OpenGL it shows
// its box (and waits for the user). The window system's composition of views
// that cannot draw used to crash it.
TEST(ProgramStart, WithoutOpenGLTheProgramSaysSoInsteadOfCrashing) {
  struct Row {
    const char* variable;
    const char* value;
    bool endsAtOnce;
  };
  for (const Row& row : {Row{"QT_QPA_PLATFORM", "offscreen", true},
                         Row{"QT_XCB_GL_INTEGRATION", "none", false}}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(row.variable, row.value);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUARNEL_EXECUTABLE),
                  {Q(test::WriteCenteredCube("no-gl.ply", CubeKind::Plain))});
    QByteArray errors;
    QElapsedTimer timer;
    timer.start();
    while (!errors.contains("ChoosePixelFormat failed") && timer.elapsed() < 20000 &&
           process.state() != QProcess::NotRunning) {
      process.waitForReadyRead(50);
      errors += process.readAllStandardError();
    }
    if (row.endsAtOnce) {
      process.waitForFinished(20000);
      ASSERT_EQ(process.state(), QProcess::NotRunning) << row.value;
    }
    errors += process.readAllStandardError();
    EXPECT_TRUE(errors.contains("ChoosePixelFormat failed")) << row.value;
    if (row.endsAtOnce) {
      EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << row.value;
      EXPECT_EQ(process.exitCode(), 1) << row.value;
    } else {
      // The box waits: the process is alive, not crashed.
      process.waitForFinished(300);
      EXPECT_EQ(process.state(), QProcess::Running) << row.value;
      process.kill();
      process.waitForFinished(5000);
    }
  }
}

}  // namespace
}  // namespace quarnel
