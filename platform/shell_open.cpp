#include "platform/shell_open.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTimer>
#include <QThread>
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
constexpr char kConfirm = 'C';
// A client that connects and then does not finish its part is dropped after
// this.
constexpr int kRequestTimeoutMs = 5000;
// Connections that may wait to be taken, as many as a local server allows by
// default.
constexpr int kListenBacklog = 50;
// Taken in one pass of the event loop; the rest come in the next, so that many
// at once do not hold up the window.
constexpr int kAcceptsPerPass = 16;
// When a connection can be neither taken nor dropped (no descriptor to spare,
// or the system is short of memory), the instance looks again after this
// instead of being woken for it without pause.
constexpr int kAcceptPauseMs = 100;
// Probing whether a socket left on disk still has an instance behind it.
constexpr int kProbeMs = 300;
// A busy instance is asked again after this.
constexpr int kBusyRetryMs = 100;
// How long a start waits for another one to finish its choice, and how often
// it looks; longer than a start takes to listen, short enough never to hang.
constexpr int kLockWaitMs = 5000;
constexpr int kLockPollMs = 20;
// Display names longer than this are cut, to stay within a socket's path.
constexpr int kMaxDisplayChars = 40;

QByteArray Request(const QString& path) {
  const QByteArray bytes = path.toUtf8();
  const auto size = static_cast<quint32>(bytes.size());
  QByteArray request = kMagic;
  for (int shift = 24; shift >= 0; shift -= 8) {
    request.append(static_cast<char>((size >> shift) & 0xFF));
  }
  return request + bytes;
}

// The only paths a request may carry: absolute, so that they mean the same in
// both processes, and whole (a NUL would cut the name short where the file is
// opened).
bool RequestablePath(const QString& path) {
  return path.startsWith(QLatin1Char('/')) && !path.contains(QChar(u'\0'));
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

// In a shared temporary folder another user may put a socket of their own
// at the name between the look at the file and the connection: the process at
// the other end must be the user's.
bool PeerIsUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof(peer);
  return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
         size == sizeof(peer) && peer.uid == ::getuid();
}

QString CleanDisplayName() {
  QString display = qEnvironmentVariable("DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("WAYLAND_DISPLAY");
  display.truncate(kMaxDisplayChars);
  for (QChar& c : display) {
    const bool plain = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                       (c >= u'0' && c <= u'9') || c == u'.' || c == u'_' || c == u'-';
    if (!plain) c = u'_';
  }
  return display;
}

// A lock file that anybody else can open, or that has another name too, may
// be held by another user for ever: only the user's own plain file, readable
// and writable by the user alone, serves.
bool UsableLockFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() &&
         (info.st_mode & 07777) == 0600 && info.st_nlink == 1;
}

// Opens and locks the lock file at path; -1 when it cannot be had in time or
// is not usable (UsableLockFile). Then there is nothing to wait for.
int LockFile(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  // Made now: the mode the umask took away is put back; nobody else can have
  // opened it meanwhile.
  if (fd >= 0) {
    ::fchmod(fd, 0600);
  } else if (errno == EEXIST) {
    fd = ::open(name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  }
  if (fd < 0) return -1;
  bool locked = UsableLockFile(fd);
  const QDeadlineTimer deadline(kLockWaitMs);
  while (locked && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    locked = (errno == EWOULDBLOCK || errno == EINTR) && !deadline.hasExpired();
    if (locked) QThread::msleep(kLockPollMs);
  }
  if (!locked) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The lock this process holds, taken and released on the main thread.
struct HeldLock {
  QString path;
  int fd = -1;
};

HeldLock& Held() {
  static HeldLock held;
  return held;
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

  bool PeerIsUs() const { return PeerIsUser(fd_); }

  // Sends the request and returns the one byte of the answer, or 0 when none
  // came before the deadline.
  char Exchange(const QByteArray& request, const QDeadlineTimer& deadline) {
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

  // The instance opens the file once it reads this; true when it went out.
  bool Confirm() {
    ssize_t n = 0;
    do {
      n = ::send(fd_, &kConfirm, 1, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == 1;
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

// The socket is made, listening and readable by the user alone, in a folder of
// its own beside the name, and then renamed over the name: no other user can
// connect to it in between. -1 when any step fails.
int UserOnlyListeningSocket(const QString& name) {
  const QTemporaryDir aside(QFileInfo(name).absolutePath() + QLatin1Char('/'));
  if (!aside.isValid()) return -1;
  const QByteArray made = QFile::encodeName(aside.filePath(QStringLiteral("s")));
  const QByteArray target = QFile::encodeName(name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (made.size() >= qsizetype(sizeof(address.sun_path)) ||
      target.size() >= qsizetype(sizeof(address.sun_path))) {
    return -1;
  }
  std::memcpy(address.sun_path, made.constData(), size_t(made.size()));
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const bool listening =
      fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
      ::listen(fd, kListenBacklog) == 0 && ::chmod(made.constData(), S_IRWXU) == 0 &&
      ::rename(made.constData(), target.constData()) == 0;
  // A socket file still in the folder aside goes with the folder.
  if (!listening && fd >= 0) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

int OpenSpareDescriptor() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

}  // namespace

QString ShellOpenSocketNameIn(const QString& folder) {
  const QString display = CleanDisplayName();
  const QString user = QString::number(::getuid());
  return QDir(folder).filePath(display.isEmpty()
                                   ? QStringLiteral("quarnel-%1.shell").arg(user)
                                   : QStringLiteral("quarnel-%1-%2.shell").arg(user, display));
}

QString ShellOpenSocketName() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  const QFileInfo folder(runtime);
  const bool usable =
      QDir::isAbsolutePath(runtime) && folder.isDir() && folder.ownerId() == ::getuid();
  return ShellOpenSocketNameIn(usable ? runtime : QDir::tempPath());
}

void TakeShellOpenLock(const QString& socketName) {
  HeldLock& held = Held();
  const QString path = socketName + QStringLiteral(".lock");
  if (held.path == path && held.fd >= 0) return;
  ReleaseShellOpenLock();
  held.path = path;
  held.fd = LockFile(path);
}

void ReleaseShellOpenLock() {
  HeldLock& held = Held();
  if (held.fd >= 0) ::close(held.fd);
  held.fd = -1;
  held.path.clear();
}

bool HandToRunningInstance(const QString& socketName, const QString& path,
                           const ShellOpenTimeouts& timeouts) {
  if (path.isEmpty() || path.contains(QChar(u'\0')) || ForeignSocketFile(socketName)) {
    return false;
  }
  const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  // The instance would refuse it: this process says what is wrong itself.
  if (!RequestablePath(absolute)) return false;
  const QByteArray name = QFile::encodeName(socketName);
  QDeadlineTimer deadline(QDeadlineTimer::Forever);
  for (;;) {
    ClientSocket socket;
    if (!socket.Connect(name, timeouts.connectMs) || !socket.PeerIsUs()) return false;
    // The time for the answer runs from the first connection.
    if (deadline.isForever()) deadline.setRemainingTime(timeouts.answerMs);
    const char answer = socket.Exchange(Request(absolute), deadline);
    if (answer == kAccepted) return socket.Confirm();
    // A busy instance, say one still opening its own first file, is asked
    // again while there is time.
    if (answer != kBusy || deadline.remainingTime() <= kBusyRetryMs) return false;
    QThread::msleep(kBusyRetryMs);
  }
}

ShellOpenServer::ShellOpenServer(std::function<bool()> busy, QObject* parent)
    : QObject(parent), busy_(std::move(busy)) {}

ShellOpenServer::~ShellOpenServer() { Close(); }

bool ShellOpenServer::Listen(const QString& name) {
  Close();
  // Between the look and the listen no other start may listen: its socket
  // would be renamed over, and removed when the other one ends.
  TakeShellOpenLock(name);
  // The listen renames its socket over the name, so it would replace a live
  // instance's socket: look first.
  bool free = true;
  if (QFileInfo::exists(name)) {
    free = !ForeignSocketFile(name) && !InstanceAnswers(name);
    // The instance that made the socket is gone.
    if (free) QLocalServer::removeServer(name);
  }
  if (free) listener_ = UserOnlyListeningSocket(name);
  ReleaseShellOpenLock();
  if (listener_ < 0) return false;
  name_ = name;
  spare_ = OpenSpareDescriptor();
  acceptable_ = new QSocketNotifier(listener_, QSocketNotifier::Read, this);
  connect(acceptable_, &QSocketNotifier::activated, this, &ShellOpenServer::OnAcceptable);
  return true;
}

bool ShellOpenServer::Listening() const { return listener_ >= 0; }

void ShellOpenServer::Close() {
  if (listener_ < 0) return;
  delete acceptable_;
  acceptable_ = nullptr;
  ::close(listener_);
  listener_ = -1;
  if (spare_ >= 0) ::close(spare_);
  spare_ = -1;
  QFile::remove(name_);
  name_.clear();
}

// Whatever a failed accept means, the socket keeps listening: a connection
// that cannot be had is dropped, and the others are taken as before.
void ShellOpenServer::OnAcceptable() {
  for (int i = 0; i < kAcceptsPerPass; ++i) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      Serve(fd);
      continue;
    }
    // The client gave up while it waited, or a signal came.
    if (errno == ECONNABORTED || errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return;
    if (errno == EMFILE || errno == ENFILE) {
      if (DropWaitingConnection()) continue;
      return;
    }
    PauseAccepting();
    return;
  }
}

// With no descriptor left the waiting connection is taken on the spare one
// and closed at once: its client learns that it was not heard and opens the
// file itself. True when one was dropped and more may wait.
bool ShellOpenServer::DropWaitingConnection() {
  if (spare_ < 0) {
    PauseAccepting();
    return false;
  }
  ::close(spare_);
  const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  const int error = errno;
  if (fd >= 0) ::close(fd);
  spare_ = OpenSpareDescriptor();
  // The limit is met before the queue is read: nothing may be waiting.
  if (fd < 0 && error == EAGAIN) return false;
  if (spare_ < 0 || (fd < 0 && error != ECONNABORTED && error != EINTR)) {
    PauseAccepting();
    return false;
  }
  return true;
}

void ShellOpenServer::PauseAccepting() {
  acceptable_->setEnabled(false);
  QTimer::singleShot(kAcceptPauseMs, acceptable_, [this] {
    if (spare_ < 0) spare_ = OpenSpareDescriptor();
    acceptable_->setEnabled(true);
  });
}

void ShellOpenServer::Serve(int fd) {
  if (!PeerIsUser(fd)) {
    ::close(fd);
    return;
  }
  auto* socket = new QLocalSocket(this);
  if (!socket->setSocketDescriptor(fd)) {
    ::close(fd);
    delete socket;
    return;
  }
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
  QTimer::singleShot(kRequestTimeoutMs, socket, [this, socket] { OnTimeout(socket); });
  OnReadable(socket);
}

void ShellOpenServer::OnReadable(QLocalSocket* socket) {
  if (socket->property("answered").toBool()) {
    OnConfirm(socket);
    return;
  }
  if (socket->bytesAvailable() < kHeaderSize) {
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
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString path = utf8.decode(socket->read(size));
  // Not a path the program's own client sends: dropped unanswered, so the new
  // process, if it is one, opens the file itself.
  if (utf8.hasError() || !RequestablePath(path)) {
    socket->abort();
    return;
  }
  socket->setProperty("answered", true);
  const bool busy = busy_ && busy_();
  socket->putChar(busy ? kBusy : kAccepted);
  socket->flush();
  if (busy) {
    socket->disconnectFromServer();
    return;
  }
  // The file is the instance's only once the new process confirms.
  socket->setProperty("path", path);
}

void ShellOpenServer::OnConfirm(QLocalSocket* socket) {
  const QString path = socket->property("path").toString();
  char confirm = 0;
  if (path.isEmpty() || !socket->getChar(&confirm)) {
    return;
  }
  socket->setProperty("path", QString());
  socket->disconnectFromServer();
  if (confirm == kConfirm) {
    // Opened from the event loop, not from inside the socket's signal: the
    // open may show message boxes. Until then StopListening can still find
    // it.
    confirmed_.append(path);
    QMetaObject::invokeMethod(this, &ShellOpenServer::DeliverConfirmed, Qt::QueuedConnection);
  }
}

void ShellOpenServer::DeliverConfirmed() {
  // One delivery per confirmation; those that StopListening took are gone.
  if (!confirmed_.isEmpty()) emit openRequested(confirmed_.takeFirst());
}

void ShellOpenServer::TakeSentConfirmation(QLocalSocket* socket) {
  // Closed for reading first: a confirmation sent from now on fails at the
  // new process's end, which then opens the file itself; one already sent
  // still counts.
  ::shutdown(int(socket->socketDescriptor()), SHUT_RD);
  if (socket->bytesAvailable() == 0) {
    socket->waitForReadyRead(0);
  }
  OnReadable(socket);
}

void ShellOpenServer::OnTimeout(QLocalSocket* socket) {
  TakeSentConfirmation(socket);
  socket->abort();
}

QStringList ShellOpenServer::StopListening() {
  Close();
  // Only a request already answered can have a confirmation on its way; the
  // others are cut off unanswered.
  for (QLocalSocket* socket : findChildren<QLocalSocket*>(Qt::FindDirectChildrenOnly)) {
    if (socket->property("answered").toBool()) TakeSentConfirmation(socket);
    socket->abort();
  }
  return std::exchange(confirmed_, {});
}

}  // namespace quarnel
