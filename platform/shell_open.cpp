#include "platform/shell_open.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <utility>

namespace quarnel {

namespace {

const QByteArray kMagic = QByteArrayLiteral("QRNL");
constexpr int kHeaderSize = 8;
// Far above any path the system accepts; a longer request is not ours.
constexpr quint32 kMaxPathBytes = 64 * 1024;
constexpr char kAccepted = 'A';
constexpr char kBusy = 'B';
// A client that connects and then says nothing is dropped after this.
constexpr int kRequestTimeoutMs = 5000;
// Probing whether a socket left on disk still has an instance behind it.
constexpr int kProbeMs = 300;

QByteArray Request(const QString& path) {
  const QByteArray bytes = path.toUtf8();
  const auto size = static_cast<quint32>(bytes.size());
  QByteArray request = kMagic;
  for (int shift = 24; shift >= 0; shift -= 8) {
    request.append(static_cast<char>((size >> shift) & 0xFF));
  }
  return request + bytes;
}

quint32 PathSize(const QByteArray& header) {
  quint32 size = 0;
  for (int i = 4; i < kHeaderSize; ++i) {
    size = (size << 8) | static_cast<unsigned char>(header.at(i));
  }
  return size;
}

// A socket file that another user made is never talked to or removed.
bool ForeignSocketFile(const QString& name) {
  const QFileInfo info(name);
  return info.exists() && info.ownerId() != ::getuid();
}

// The new process's end, on the plain system calls: it runs before the
// program has an application object or a display connection, so that a start
// that only hands its file over stays small and quick.
class ClientSocket {
 public:
  ClientSocket() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}
  ~ClientSocket() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  bool Connect(const QByteArray& name, int timeoutMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd_ < 0 || name.isEmpty() || name.size() >= qsizetype(sizeof(address.sun_path))) {
      return false;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
      return true;
    }
    // A full queue (EAGAIN) means an instance that does not keep up: busy.
    if (errno != EINPROGRESS || !Wait(POLLOUT, QDeadlineTimer(timeoutMs))) {
      return false;
    }
    int error = 0;
    socklen_t size = sizeof(error);
    return ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }

  // Sends the request and returns the one byte of the answer, or 0 when none
  // came within timeoutMs.
  char Exchange(const QByteArray& request, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype sent = 0;
    while (sent < request.size()) {
      if (!Wait(POLLOUT, deadline)) {
        return 0;
      }
      // No SIGPIPE when the instance went away meanwhile.
      const ssize_t n = ::send(fd_, request.constData() + sent, size_t(request.size() - sent),
                               MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return 0;
      }
      sent += n > 0 ? n : 0;
    }
    char answer = 0;
    while (Wait(POLLIN, deadline)) {
      const ssize_t n = ::recv(fd_, &answer, 1, 0);
      if (n == 1) {
        return answer;
      }
      if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        return 0;
      }
    }
    return 0;
  }

 private:
  bool Wait(short events, const QDeadlineTimer& deadline) {
    for (;;) {
      pollfd entry{fd_, events, 0};
      const int ready = ::poll(&entry, 1, int(deadline.remainingTime()));
      if (ready > 0) {
        return true;
      }
      if (ready == 0 || errno != EINTR) {
        return false;
      }
    }
  }

  int fd_;
};

bool InstanceAnswers(const QString& name) {
  ClientSocket probe;
  return probe.Connect(QFile::encodeName(name), kProbeMs) || errno == EAGAIN;
}

}  // namespace

QString ShellOpenSocketNameIn(const QString& folder) {
  return QDir(folder).filePath(QStringLiteral("quarnel-%1.shell").arg(::getuid()));
}

QString ShellOpenSocketName() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  const bool usable = QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir();
  return ShellOpenSocketNameIn(usable ? runtime : QDir::tempPath());
}

bool HandToRunningInstance(const QString& socketName, const QString& path,
                           const ShellOpenTimeouts& timeouts) {
  if (path.isEmpty() || ForeignSocketFile(socketName)) {
    return false;
  }
  const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  ClientSocket socket;
  return socket.Connect(QFile::encodeName(socketName), timeouts.connectMs) &&
         socket.Exchange(Request(absolute), timeouts.answerMs) == kAccepted;
}

ShellOpenServer::ShellOpenServer(std::function<bool()> busy, QObject* parent)
    : QObject(parent), busy_(std::move(busy)), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &ShellOpenServer::OnNewConnection);
}

ShellOpenServer::~ShellOpenServer() = default;

bool ShellOpenServer::Listen(const QString& name) {
  if (server_->isListening()) {
    server_->close();
  }
  // A socket restricted to the user is made aside and renamed over the name,
  // so the listen itself would replace a live instance's socket: look first.
  if (QFileInfo::exists(name)) {
    if (ForeignSocketFile(name) || InstanceAnswers(name)) {
      return false;
    }
    // The instance that made the socket is gone.
    QLocalServer::removeServer(name);
  }
  return server_->listen(name);
}

bool ShellOpenServer::Listening() const { return server_->isListening(); }

void ShellOpenServer::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    QTimer::singleShot(kRequestTimeoutMs, socket, [socket] { socket->abort(); });
    OnReadable(socket);
  }
}

void ShellOpenServer::OnReadable(QLocalSocket* socket) {
  if (socket->property("answered").toBool() || socket->bytesAvailable() < kHeaderSize) {
    return;
  }
  const QByteArray header = socket->peek(kHeaderSize);
  const quint32 size = PathSize(header);
  if (!header.startsWith(kMagic) || size == 0 || size > kMaxPathBytes) {
    socket->abort();
    return;
  }
  if (socket->bytesAvailable() < kHeaderSize + static_cast<qint64>(size)) {
    return;
  }
  socket->skip(kHeaderSize);
  const QString path = QString::fromUtf8(socket->read(size));
  socket->setProperty("answered", true);
  const bool busy = busy_ && busy_();
  socket->putChar(busy ? kBusy : kAccepted);
  socket->flush();
  socket->disconnectFromServer();
  if (!busy) {
    // Opened from the event loop, not from inside the socket's signal: the
    // open may show message boxes.
    QMetaObject::invokeMethod(this, [this, path] { emit openRequested(path); },
                              Qt::QueuedConnection);
  }
}

}  // namespace quarnel
