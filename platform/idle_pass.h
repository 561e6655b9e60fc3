#pragma once

#include <QObject>
#include <QPoint>
#include <QTimer>
#include <functional>

namespace quarnel {

// Runs the program's idle work once the event queue has drained after
// something happened, and again for as long as the work asks for more.
//
// Events that can change what the idle work sees (input, focus, activation,
// window changes, drops, the clipboard) arm a zero-interval timer; the timer
// fires after the queue has emptied and calls the handler with the number of
// calls since the last event (0 first). The handler returns true to be called
// again (a spinning view), false to rest. Painting, timers and other events of
// the program's own machinery do not arm it, so a resting program stays at
// rest: no busy loop.
class IdlePass final : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<bool(int count)>;

  explicit IdlePass(Handler handler, QObject* parent = nullptr);
  ~IdlePass() override;

  // Watches the application's events from now on and runs one pass soon.
  void Start();
  void Stop();
  // Asks for a pass soon, as an event would.
  void Wake();
  // While held (holds nest), passes wait: a pass that falls due runs when the
  // last hold is released.
  void Hold();
  void Release();

  bool Resting() const { return !timer_.isActive(); }
  // Calls of the handler so far.
  long long Passes() const { return passes_; }

  // Whether an event of this type arms the pass.
  static bool ArmsIdle(int eventType);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RunPass();

  Handler handler_;
  QTimer timer_;
  bool watching_ = false;
  int holds_ = 0;
  bool dueWhileHeld_ = false;
  int count_ = 0;
  long long passes_ = 0;
  QPointF lastMousePosition_;
};

}  // namespace quarnel
