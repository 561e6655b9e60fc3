#include "platform/end_signals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>

namespace quarnel {

namespace {

constexpr std::array<int, 3> kEndSignals = {SIGTERM, SIGINT, SIGHUP};

// The end the handler writes to; -1 while no watch lives.
std::atomic<int> g_wakeFd{-1};
// The handling each signal had before the watch took it, and whether the
// watch took it.
std::array<struct sigaction, kEndSignals.size()> g_before{};
std::array<bool, kEndSignals.size()> g_taken{};

void OnEndSignal(int signal) {
  // Only what is safe in a handler: errno kept, one byte written. A full
  // socket already holds a byte that wakes the loop.
  const int saved = errno;
  const char byte = char(signal);
  const int fd = g_wakeFd.load();
  if (fd >= 0) {
    const ssize_t written = ::write(fd, &byte, 1);
    static_cast<void>(written);
  }
  errno = saved;
}

// A signal the program was started with ignored stays ignored: started
// with nohup, it outlives its terminal as asked.
bool InstallHandlers() {
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  ::sigemptyset(&action.sa_mask);
  // System calls the signal interrupts start again: the program's own reads
  // and writes go on as if nothing came.
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < kEndSignals.size(); ++i) {
    if (::sigaction(kEndSignals[i], nullptr, &g_before[i]) != 0) return false;
    if (g_before[i].sa_handler == SIG_IGN) continue;
    if (::sigaction(kEndSignals[i], &action, nullptr) != 0) return false;
    g_taken[i] = true;
  }
  return true;
}

void RestoreHandlers() {
  for (size_t i = 0; i < kEndSignals.size(); ++i) {
    if (g_taken[i]) ::sigaction(kEndSignals[i], &g_before[i], nullptr);
    g_taken[i] = false;
  }
}

}  // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
  if (g_wakeFd.load() >= 0) return;
  // Neither end goes to the programs this one starts.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wake_) != 0) {
    wake_[0] = wake_[1] = -1;
    return;
  }
  g_wakeFd.store(wake_[1]);
  if (!InstallHandlers()) {
    Release();
    return;
  }
  notifier_ = new QSocketNotifier(wake_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &EndSignals::OnWoken);
}

EndSignals::~EndSignals() {
  if (wake_[0] >= 0) Release();
}

void EndSignals::Release() {
  RestoreHandlers();
  g_wakeFd.store(-1);
  delete notifier_;
  notifier_ = nullptr;
  ::close(wake_[0]);
  ::close(wake_[1]);
  wake_[0] = wake_[1] = -1;
}

void EndSignals::OnWoken() {
  // Every byte waiting is read, so that the loop is not woken again for the
  // same request; the first signal names it.
  char bytes[16];
  int first = 0;
  ssize_t n = 0;
  while ((n = ::read(wake_[0], bytes, sizeof(bytes))) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0 && first == 0) first = static_cast<unsigned char>(bytes[0]);
  }
  if (first != 0) emit endRequested(first);
}

}  // namespace quarnel
