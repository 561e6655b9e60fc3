#pragma once

#include <chrono>
#include <cstdint>

namespace quarnel {

// Elapsed time for frame timing and animated camera moves. Views take a Clock&
// so tests can drive time by hand instead of sleeping.
class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since the clock's start, with sub-millisecond resolution.
  virtual double ElapsedMs() const = 0;

  // Whole milliseconds since the clock's start (the tick unit of the views).
  std::int64_t Ticks() const { return static_cast<std::int64_t>(ElapsedMs()); }
};

// Monotonic wall time from the moment of construction; unaffected by changes
// of the system time and counting while the process sleeps.
class SteadyClock final : public Clock {
 public:
  SteadyClock();
  double ElapsedMs() const override;

 private:
  std::chrono::steady_clock::time_point start_;
};

// The steady clock that lives as long as the process, started on first use.
Clock& ProcessClock();

// A clock that moves only when told to.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(double startMs = 0.0) : now_(startMs) {}
  double ElapsedMs() const override { return now_; }
  void Set(double ms) { now_ = ms; }
  void Advance(double ms) { now_ += ms; }

 private:
  double now_;
};

}  // namespace quarnel
