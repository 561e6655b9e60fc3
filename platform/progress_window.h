#pragma once

#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

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

// A small captioned top-level window with a bar, owned by the main window.
// The load that feeds it keeps the event loop busy, so every report repaints
// the window at once; the window takes no focus and no input, and has no close
// button, so nothing can be done to it while the load runs.
class ProgressWindow final : public ProgressReporter {
 public:
  explicit ProgressWindow(QWidget* owner = nullptr);
  ~ProgressWindow() override;

  void Begin() override;
  void Report(int percent, const char* caption) override;
  void End() override;

  bool Visible() const;
  int Position() const;
  QString Caption() const;
  QWidget* Window() const { return window_.get(); }

 private:
  QPointer<QWidget> owner_;
  std::unique_ptr<QWidget> window_;
  QProgressBar* bar_ = nullptr;
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
