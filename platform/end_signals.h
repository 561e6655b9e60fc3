// The signals that ask a desktop program to end: SIGTERM (a logout, a kill),
// SIGINT (Ctrl+C in the terminal it was started from) and SIGHUP (that
// terminal closed). Each ends the program by the road a close of its main
// window takes, so that the files it was handed are handed on and nothing
// the user has open is cut off in the middle of a step.
//
// A signal handler may do next to nothing safely: it writes one byte to a
// socket pair, and the event loop, woken by it, reports the request. A step
// that is running (a load, say) finishes first, as for a close.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace quarnel {

class EndSignals final : public QObject {
  Q_OBJECT

 public:
  // Takes the three signals for as long as it lives, except one the program
  // was started with ignored (nohup), which stays ignored. One watch at a
  // time: a second one made while another lives takes nothing (Watching()
  // false).
  explicit EndSignals(QObject* parent = nullptr);
  // Gives the signals back to the handling they had before.
  ~EndSignals() override;
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

  bool Watching() const { return notifier_ != nullptr; }

 signals:
  // One of the signals came; delivered from the event loop.
  void endRequested(int signal);

 private:
  void OnWoken();
  // Gives the signals back and closes the socket pair.
  void Release();

  int wake_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quarnel
