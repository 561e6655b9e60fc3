#include "platform/shell_open.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
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
#include <cstring>
#include <future>
#include <thread>

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

// A socket file with nobody behind it, as a killed instance leaves it.
bool MakeStaleSocket(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray bytes = QFile::encodeName(path);
  std::strncpy(address.sun_path, bytes.constData(), sizeof(address.sun_path) - 1);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return bound && QFileInfo::exists(path);
}

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

  // A busy instance says so at once and opens nothing.
  busy = true;
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(HandOver(name, dir.filePath("c.ply")));
  EXPECT_LT(timer.elapsed(), 2000);
  QCoreApplication::processEvents();
  EXPECT_EQ(requested.count(), 2);
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

TEST_F(ShellOpenTest, ARequestThatIsNotOursIsDropped) {
  ASSERT_TRUE(server.Listen(name));
  QSignalSpy requested(&server, &ShellOpenServer::openRequested);
  for (const QByteArray& bytes :
       {QByteArray("GET / HTTP/1.0\r\n\r\n"), QByteArray("QRNL\xff\xff\xff\xff", 8),
        QByteArray("QRNL\0\0\0\0", 8)}) {
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
  QCoreApplication::processEvents();
  EXPECT_EQ(requested.count(), 0);
  // The server still serves.
  EXPECT_TRUE(HandOver(name, dir.filePath("a.ply")));
}

}  // namespace
}  // namespace quarnel
