#include "platform/shell_open.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <functional>
#include <memory>
#include <future>
#include <thread>
#include <vector>

#include "qstring_printer.h"
#include "qt_test_app.h"

namespace quarnel {
namespace {

using test::TestApplication;

// Runs the blocking hand-over on a thread of its own while this thread runs
// the event loop that serves it.
bool HandOver(const QString& name, const QString& path, ShellOpenTimeouts timeouts = {}) {
  std::future<bool> result = std::async(std::launch::async, [=] {
    return HandToRunningInstance(name, path, timeouts);
  });
  while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return result.get();
}

// A socket bound at path, listening when asked; -1 when that failed.
int BoundSocket(const QString& path, bool listening) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray bytes = QFile::encodeName(path);
  std::strncpy(address.sun_path, bytes.constData(), sizeof(address.sun_path) - 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      (listening && ::listen(fd, 8) != 0)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A socket file with nobody behind it, as a killed instance leaves it.
bool MakeStaleSocket(const QString& path) {
  const int fd = BoundSocket(path, false);
  if (fd >= 0) ::close(fd);
  return fd >= 0 && QFileInfo::exists(path);
}

ino_t FileId(const QString& path) {
  struct stat info {};
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// Sets an environment variable for its lifetime.
class EnvironmentVariable {
 public:
  explicit EnvironmentVariable(const char* name) : name_(name), saved_(qgetenv(name)) {}
  ~EnvironmentVariable() { Set(saved_); }
  void Set(const QByteArray& value) {
    if (value.isNull()) {
      qunsetenv(name_);
    } else {
      qputenv(name_, value);
    }
  }

 private:
  const char* name_;
  QByteArray saved_;
};

class ShellOpenTest : public ::testing::Test {
 protected:
  ShellOpenTest() { TestApplication(); }

  QTemporaryDir dir;
  QString name = ShellOpenSocketNameIn(dir.path());
  bool busy = false;
  ShellOpenServer server{[this] { return busy; }};
};

TEST_F(ShellOpenTest, TheNameIsTheUsersOwnInTheRuntimeFolder) {
  EXPECT_EQ(QFileInfo(name).path(), dir.path());
  EXPECT_TRUE(name.contains(QString::number(::getuid())));
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
  EXPECT_EQ(ShellOpenSocketName(), name);
  qputenv("XDG_RUNTIME_DIR", "relative/folder");
  EXPECT_EQ(QFileInfo(ShellOpenSocketName()).path(), QDir::tempPath());
  qputenv("XDG_RUNTIME_DIR", saved);
}

TEST_F(ShellOpenTest, TheDisplayIsInTheName) {
  struct Row {
    const char* display;
    const char* wayland;
    const char* ending;
  };
  EnvironmentVariable display("DISPLAY");
  EnvironmentVariable wayland("WAYLAND_DISPLAY");
  const QString user = QString::number(::getuid());
  for (const Row& row : {Row{":0", "wayland-0", "-_0"}, Row{":1", nullptr, "-_1"},
                         Row{"host/a:10.0", nullptr, "-host_a_10.0"},
                         Row{nullptr, "wayland-1", "-wayland-1"}, Row{nullptr, nullptr, ""}}) {
    display.Set(row.display);
    wayland.Set(row.wayland);
    EXPECT_EQ(QFileInfo(ShellOpenSocketNameIn(dir.path())).fileName(),
              "quarnel-" + user + row.ending + ".shell")
        << row.ending;
  }
}

TEST_F(ShellOpenTest, TheInstanceTakesTheFileAfterItAnswered) {
  ASSERT_TRUE(server.Listen(name));
  QSignalSpy requested(&server, &ShellOpenServer::openRequested);
  EXPECT_TRUE(HandOver(name, dir.filePath("a b/ü.ply")));
  // Delivered from the event loop, after the answer.
  requested.wait(1000);
  ASSERT_EQ(requested.count(), 1);
  EXPECT_EQ(requested[0][0].toString(), dir.filePath("a b/ü.ply"));

  // A relative path is the new process's: it arrives absolute.
  EXPECT_TRUE(HandOver(name, "rel.ply"));
  requested.wait(1000);
  ASSERT_EQ(requested.count(), 2);
  EXPECT_EQ(requested[1][0].toString(), QDir::current().absoluteFilePath("rel.ply"));

  // A busy instance says so; asked again until the client's time is up, it
  // opens nothing.
  busy = true;
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(HandOver(name, dir.filePath("c.ply"), {1000, 500}));
  EXPECT_LT(timer.elapsed(), 2000);
  QCoreApplication::processEvents();
  EXPECT_EQ(requested.count(), 2);

  // Free again within that time, it takes the file.
  QTimer::singleShot(300, [this] { busy = false; });
  EXPECT_TRUE(HandOver(name, dir.filePath("d.ply")));
  requested.wait(1000);
  ASSERT_EQ(requested.count(), 3);
  EXPECT_EQ(requested[2][0].toString(), dir.filePath("d.ply"));
}

TEST_F(ShellOpenTest, ARequestReadAfterTheClientGaveUpOpensNothing) {
  ASSERT_TRUE(server.Listen(name));
  QSignalSpy requested(&server, &ShellOpenServer::openRequested);
  // The instance's event loop does not run while the client waits: it reads
  // the request only after the client went on to open the file itself.
  EXPECT_FALSE(HandToRunningInstance(name, dir.filePath("a.ply"), {1000, 300}));
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(requested.count(), 0);
  // The server still serves.
  EXPECT_TRUE(HandOver(name, dir.filePath("b.ply")));
  requested.wait(1000);
  EXPECT_EQ(requested.count(), 1);
}

// Another start holds the lock while it decides, then listens: a Listen
// meanwhile waits, and neither replaces nor, going away, removes its socket.
TEST_F(ShellOpenTest, ListenWaitsForAStartThatIsChoosingAndLeavesItsSocketAlone) {
  std::promise<void> locked;
  int listener = -1;
  ino_t id = 0;
  std::thread other([&] {
    const int lock = ::open(QFile::encodeName(name + ".lock").constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ::flock(lock, LOCK_EX);
    locked.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    listener = BoundSocket(name, true);
    id = FileId(name);
    ::close(lock);
  });
  locked.get_future().wait();
  {
    ShellOpenServer second([] { return false; });
    EXPECT_FALSE(second.Listen(name));
    other.join();
  }
  ASSERT_GE(listener, 0);
  EXPECT_EQ(FileId(name), id);
  ::close(listener);
}

TEST_F(ShellOpenTest, NoInstanceAStaleSocketOrASilentOneSendTheFileBack) {
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(HandOver(name, dir.filePath("a.ply")));
  ASSERT_TRUE(MakeStaleSocket(name));
  EXPECT_FALSE(HandOver(name, dir.filePath("a.ply")));
  EXPECT_LT(timer.elapsed(), 2000);

  // An instance that takes the connection and never answers.
  QLocalServer silent;
  QLocalServer::removeServer(name);
  ASSERT_TRUE(silent.listen(name));
  timer.restart();
  EXPECT_FALSE(HandOver(name, dir.filePath("a.ply"), {1000, 300}));
  EXPECT_LT(timer.elapsed(), 2000);
  // It is alive: a new instance leaves its name alone.
  EXPECT_FALSE(server.Listen(name));
  EXPECT_FALSE(server.Listening());
}

TEST_F(ShellOpenTest, ASocketLeftBehindIsTakenOver) {
  ASSERT_TRUE(MakeStaleSocket(name));
  ASSERT_TRUE(server.Listen(name));
  QSignalSpy requested(&server, &ShellOpenServer::openRequested);
  EXPECT_TRUE(HandOver(name, dir.filePath("a.ply")));
  requested.wait(1000);
  EXPECT_EQ(requested.count(), 1);
}

// Lowers the process's limit of open files for its lifetime, so that only
// the given number of descriptors can still be opened.
class FewFreeDescriptors {
 public:
  explicit FewFreeDescriptors(int free) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    int end = 0;
    for (int left = free; left > 0; ++end) {
      if (::fcntl(end, F_GETFD) == -1) --left;
    }
    rlimit lowered = saved_;
    lowered.rlim_cur = rlim_t(end);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~FewFreeDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  FewFreeDescriptors(const FewFreeDescriptors&) = delete;
  FewFreeDescriptors& operator=(const FewFreeDescriptors&) = delete;

 private:
  rlimit saved_{};
};

// Client connections that say nothing, closed when it goes.
struct SilentClients {
  ~SilentClients() {
    for (const int fd : fds) ::close(fd);
  }
  // False, with errno set, when no socket could be made or connected.
  bool Connect(const QString& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(name);
    std::strncpy(address.sun_path, bytes.constData(), sizeof(address.sun_path) - 1);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      const int error = errno;
      ::close(fd);
      errno = error;
      return false;
    }
    fds.push_back(fd);
    return true;
  }
  std::vector<int> fds;
};

void PumpFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Connections held open until no descriptor is left for the next one the
// instance takes: it drops that one and listens on, and takes requests again
// once they close. It used to close its socket for good, and every later
// desktop open started an instance of its own.
TEST_F(ShellOpenTest, TheServerListensOnWhenNoDescriptorIsLeftForAConnection) {
  ASSERT_TRUE(server.Listen(name));
  QSignalSpy requested(&server, &ShellOpenServer::openRequested);
  {
    const FewFreeDescriptors limit(30);
    SilentClients clients;
    // The first ones the instance takes and holds; the rest wait for it.
    while (clients.Connect(name)) {
      if (clients.fds.size() <= 10) PumpFor(20);
    }
    ASSERT_EQ(errno, EMFILE);
    ASSERT_GT(clients.fds.size(), size_t(10));
    PumpFor(200);
    // The last one waited when no descriptor was left: it is dropped.
    char byte = 0;
    const ssize_t read = ::recv(clients.fds.back(), &byte, 1, MSG_DONTWAIT);
    const int error = read < 0 ? errno : 0;
    EXPECT_EQ(read, 0) << std::strerror(error);
  }
  PumpFor(200);
  EXPECT_TRUE(server.Listening());
  EXPECT_TRUE(HandOver(name, dir.filePath("a.ply")));
  requested.wait(1000);
  EXPECT_EQ(requested.count(), 1);
}

// A request in the program's own form for the path's bytes.
QByteArray RequestFor(const QByteArray& path) {
  QByteArray request("QRNL");
  for (int shift = 24; shift >= 0; shift -= 8) request.append(char((path.size() >> shift) & 0xFF));
  return request + path;
}

TEST_F(ShellOpenTest, ARequestThatIsNotOursIsDropped) {
  ASSERT_TRUE(server.Listen(name));
  QSignalSpy requested(&server, &ShellOpenServer::openRequested);
  const QByteArray file = QFile::encodeName(dir.filePath("terrain.ply"));
  // Besides other protocols and broken lengths: a NUL would open terrain.ply
  // under another name, a relative path means nothing to the instance, and
  // bytes that are not UTF-8 would arrive as another name.
  for (const QByteArray& bytes :
       {QByteArray("GET / HTTP/1.0\r\n\r\n"), QByteArray("QRNL\xff\xff\xff\xff", 8),
        QByteArray("QRNL\0\0\0\0", 8), RequestFor(file + QByteArray("\0/etc/passwd", 12)),
        RequestFor("terrain.ply"), RequestFor(file + "\xff\xfe.ply")}) {
    QLocalSocket socket;
    socket.connectToServer(name);
    ASSERT_TRUE(socket.waitForConnected(1000));
    socket.write(bytes);
    socket.flush();
    QElapsedTimer timer;
    timer.start();
    while (socket.state() != QLocalSocket::UnconnectedState && timer.elapsed() < 3000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(5);
    }
    EXPECT_EQ(socket.state(), QLocalSocket::UnconnectedState);
    EXPECT_EQ(socket.readAll(), QByteArray());
  }
  // The program's own end does not send such a path either.
  EXPECT_FALSE(HandOver(name, QString::fromUtf8(file) + QChar(0) + "/etc/passwd"));
  QCoreApplication::processEvents();
  EXPECT_EQ(requested.count(), 0);
  // The server still serves.
  EXPECT_TRUE(HandOver(name, dir.filePath("a.ply")));
}

// An instance that ends gives back the files it took and has not delivered,
// a confirmation that came but was not read yet among them, and takes none
// from then on: a request answered but not confirmed is refused, and a new
// one finds nobody.
TEST_F(ShellOpenTest, StoppingGivesBackEveryFileTakenAndTakesNoMore) {
  ASSERT_TRUE(server.Listen(name));
  QSignalSpy requested(&server, &ShellOpenServer::openRequested);
  const QString confirmed = dir.filePath("confirmed.ply");
  const QString unconfirmed = dir.filePath("unconfirmed.ply");
  std::vector<std::unique_ptr<QLocalSocket>> clients;
  for (const QString& path : {confirmed, unconfirmed}) {
    clients.push_back(std::make_unique<QLocalSocket>());
    QLocalSocket& client = *clients.back();
    client.connectToServer(name);
    ASSERT_TRUE(client.waitForConnected(1000));
    client.write(RequestFor(QFile::encodeName(path)));
    ASSERT_TRUE(client.waitForBytesWritten(1000));
    QElapsedTimer timer;
    timer.start();
    while (client.bytesAvailable() == 0 && timer.elapsed() < 3000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      client.waitForReadyRead(5);
    }
    ASSERT_EQ(client.read(1), QByteArray("A"));
  }
  // The first confirms; the instance's loop does not run before it stops.
  clients[0]->write("C");
  ASSERT_TRUE(clients[0]->waitForBytesWritten(1000));
  EXPECT_EQ(server.StopListening(), QStringList{confirmed});
  EXPECT_FALSE(server.Listening());
  EXPECT_FALSE(QFileInfo::exists(name));
  clients[1]->write("C");
  clients[1]->waitForBytesWritten(100);
  EXPECT_FALSE(HandOver(name, dir.filePath("later.ply")));
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(requested.count(), 0);
}

// In a shared temporary folder anybody can put a file at the lock's name and
// hold it. Only the user's own file that nobody else can open is waited for:
// with any other, starts go on at once, and the instance still listens.
TEST_F(ShellOpenTest, ALockFileThatOthersCanHoldIsNotWaitedFor) {
  const QString lock = name + ".lock";
  const QByteArray lockName = QFile::encodeName(lock);
  const QString own = dir.filePath("own");
  const QByteArray ownName = QFile::encodeName(own);
  const auto make = [](const QByteArray& path) {
    return ::close(::open(path.constData(), O_CREAT | O_RDWR, 0600)) == 0;
  };
  struct Row {
    const char* what;
    bool needsRoot;  // to give a file away
    std::function<bool()> make;
  };
  const std::vector<Row> rows = {
      {"open to all", false, [&] { return make(lockName) && ::chmod(lockName, 0666) == 0; }},
      {"another user's", true,
       [&] { return make(lockName) && ::chown(lockName, 65534, 65534) == 0; }},
      {"a link", false, [&] { return make(ownName) && ::symlink(ownName, lockName) == 0; }},
      {"a second name", false, [&] { return make(ownName) && ::link(ownName, lockName) == 0; }},
  };
  for (const Row& row : rows) {
    if (row.needsRoot && ::getuid() != 0) continue;
    QFile::remove(lock);
    QFile::remove(own);
    ASSERT_TRUE(row.make()) << row.what;
    // The other user's hold.
    const int held = ::open(lockName, O_RDONLY | O_NOFOLLOW);
    const int target = held >= 0 ? held : ::open(QFile::encodeName(own), O_RDONLY);
    ASSERT_EQ(::flock(target, LOCK_EX | LOCK_NB), 0) << row.what;
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(server.Listen(name)) << row.what;
    TakeShellOpenLock(name);
    ReleaseShellOpenLock();
    // A wait for the lock lasts seconds.
    EXPECT_LT(timer.elapsed(), 2000) << row.what;
    ::close(target);
  }
}

}  // namespace
}  // namespace quarnel
