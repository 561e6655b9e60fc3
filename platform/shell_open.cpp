#include "platform/shell_open.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
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

bool InstanceAnswers(const QString& name) {
  QLocalSocket probe;
  probe.connectToServer(name);
  const bool live = probe.waitForConnected(kProbeMs);
  probe.abort();
  return live;
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
  QLocalSocket socket;
  socket.connectToServer(socketName);
  if (!socket.waitForConnected(timeouts.connectMs)) {
    return false;
  }
  const QDeadlineTimer deadline(timeouts.answerMs);
  socket.write(Request(absolute));
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
      return false;
    }
  }
  while (socket.bytesAvailable() < 1) {
    if (deadline.hasExpired() ||
        !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
      return false;
    }
  }
  char answer = 0;
  return socket.getChar(&answer) && answer == kAccepted;
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
