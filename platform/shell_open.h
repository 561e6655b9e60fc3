// Files opened from the desktop go to the instance of the program that is
// already running, as one more document window there.
//
// The running instance listens on a local socket that belongs to the user; a
// start that the desktop's file association marks hands its file over and
// ends. Whatever goes wrong on the way (no instance, a socket left behind by
// one that is gone, an instance that is busy or hangs) the new process learns
// it in bounded time and opens the file itself: a file is never lost.
//
// The request is the bytes "QRNL", the length of the path in UTF-8 as four
// bytes, most significant first, and the path, which is absolute and holds no
// NUL (any other request is dropped unanswered); the answer is one byte, 'A'
// when the instance can take the request, 'B' when it is busy. After an 'A'
// the new process sends 'C' and counts the file as handed over only when that
// byte went out; the instance opens the file only once it has read the 'C'.
// So a new process that gave up waiting (the instance was slow to read) and
// opens the file itself never has it opened a second time by the instance.
// Both ends talk only to a process of the same user.
//
// Starts that happen together (several files opened at once) decide one at
// a time, under a lock file beside the socket, which of them listens.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QLocalSocket;
class QSocketNotifier;

namespace quarnel {

// The user's socket of the running instance: in $XDG_RUNTIME_DIR when it
// names a folder of the user's own, else in the temporary folder; the user id and the display
// ($DISPLAY, else $WAYLAND_DISPLAY) are in the name, so that a file opened on
// one display does not go to an instance on another.
QString ShellOpenSocketName();
// The same name inside the given folder.
QString ShellOpenSocketNameIn(const QString& folder);

// Takes the lock that serialises the choice of the instance listening at
// socketName (the file socketName + ".lock"), unless this process holds it
// already. Waits for it a bounded time and goes on without it then. A lock
// file that is not the user's own plain file with mode 0600 (in a shared
// temporary folder another user may have put it there, and hold it) is not
// used and not waited for. The process holds one such lock at most.
// A start that hands its file over takes it first and, when nobody took the
// file, keeps it until its own server has listened.
void TakeShellOpenLock(const QString& socketName);
void ReleaseShellOpenLock();

struct ShellOpenTimeouts {
  int connectMs = 1000;
  // From the connection to the answer: the instance answers only once it has
  // taken the request. A busy instance is asked again until then.
  int answerMs = 4000;
};

// Asks the instance listening at socketName to open the file at path (made
// absolute here). True only when the instance answered that it took it and
// the confirmation went out; never for a path that holds a NUL.
bool HandToRunningInstance(const QString& socketName, const QString& path,
                           const ShellOpenTimeouts& timeouts = {});

// The running instance's end. It listens until it stops or is destroyed,
// which removes its socket: a connection it cannot take (no descriptor left,
// say, while many clients hold theirs) is dropped, and its client opens the
// file itself; a client that does not finish its part in time is dropped too.
class ShellOpenServer final : public QObject {
  Q_OBJECT

 public:
  // busy says whether the program cannot take a file now (it is still
  // starting, and may end without opening it); a request that comes then is
  // refused. A program that can queue the file takes it.
  explicit ShellOpenServer(std::function<bool()> busy, QObject* parent = nullptr);
  ~ShellOpenServer() override;

  // Listens at name, under the lock of TakeShellOpenLock, which it releases.
  // A socket left behind by an instance that is gone is removed first; a live
  // instance keeps its name, and then this instance does not listen (false).
  bool Listen(const QString& name);
  bool Listening() const;
  // Stops taking requests, for good: the socket goes, so a start from now on
  // finds no instance, and a request not confirmed yet is refused (its new
  // process opens the file itself). Returns the files whose new processes
  // confirmed and that openRequested has not delivered yet, in the order
  // they came: their new processes count them as handed over, so the caller
  // sees to it that they are opened.
  QStringList StopListening();

 signals:
  // A file to open, delivered from the event loop after the new process
  // confirmed the answer.
  void openRequested(const QString& path);

 private:
  void Close();
  void OnAcceptable();
  bool DropWaitingConnection();
  void PauseAccepting();
  void Serve(int fd);
  void OnReadable(QLocalSocket* socket);
  void OnConfirm(QLocalSocket* socket);
  void OnTimeout(QLocalSocket* socket);
  void TakeSentConfirmation(QLocalSocket* socket);
  void DeliverConfirmed();

  std::function<bool()> busy_;
  QString name_;
  int listener_ = -1;
  // Held so that, with no descriptor left, one can be freed to take a waiting
  // connection and close it: left waiting it would wake the loop again and
  // again.
  int spare_ = -1;
  QSocketNotifier* acceptable_ = nullptr;
  // Confirmed files on their way to openRequested, oldest first.
  QStringList confirmed_;
};

}  // namespace quarnel
