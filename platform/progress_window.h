#pragma once

#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

#include "platform/clock.h"

class QProgressBar;
class QWidget;

namespace quarnel {

// Progress of a long operation that runs on the user-interface thread (a file
// load): a caption naming the phase and a position from 0 to 100.
class ProgressReporter {
 public:
  virtual ~ProgressReporter() = default;

  virtual void Begin() = 0;
  // Moves to percent (clamped to 0..100) and, when caption is not null,
  // names the new phase.
  virtual void Report(int percent, const char* caption) = 0;
  virtual void End() = 0;
};

// A small captioned top-level window with a bar, owned by the main window,
// made at Begin and gone at End. The bar shows the caption before the
// percentage, as there may be no window manager to show the title.
// The load that feeds it keeps the event loop busy, and nothing else of the
// program may run in the middle of a load, so the window never waits for the
// event loop: it paints itself from the reports, only when the bar moves or
// the caption changes, and at most kMaxPaintsPerSecond times a second (each
// paint is a trip to the window system). A window manager may map the window
// only after its first paint and drop that picture; with no event loop to
// bring an expose, the window repaints unchanged every kRefreshMs while
// reports come. It takes no focus and no input, and has no close button, so
// nothing can be done to it while the load runs.
class ProgressWindow final : public ProgressReporter {
 public:
  static constexpr int kMaxPaintsPerSecond = 30;
  static constexpr double kRefreshMs = 250.0;

  explicit ProgressWindow(QWidget* owner = nullptr, const Clock& clock = ProcessClock());
  ~ProgressWindow() override;

  void Begin() override;
  void Report(int percent, const char* caption) override;
  void End() override;

  bool Visible() const;
  // The last position reported, which the bar shows at its next paint.
  int Position() const { return position_; }
  QString Caption() const;
  QWidget* Window() const { return window_.get(); }

 private:
  void Paint();
  static QString BarText(const QString& caption);

  QPointer<QWidget> owner_;
  const Clock& clock_;
  std::unique_ptr<QWidget> window_;
  QProgressBar* bar_ = nullptr;
  int position_ = 0;
  double lastPaintMs_ = 0.0;
};

// Records the reports, for tests of code that reports progress.
class RecordingProgress final : public ProgressReporter {
 public:
  struct Step {
    int percent;
    QString caption;  // empty when the report named no phase
  };

  void Begin() override {
    open_ = true;
    ++begins_;
  }
  void Report(int percent, const char* caption) override;
  void End() override { open_ = false; }

  bool Open() const { return open_; }
  int Begins() const { return begins_; }
  const std::vector<Step>& Steps() const { return steps_; }

 private:
  bool open_ = false;
  int begins_ = 0;
  std::vector<Step> steps_;
};

}  // namespace quarnel
