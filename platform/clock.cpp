#include "platform/clock.h"

namespace quarnel {

SteadyClock::SteadyClock() : start_(std::chrono::steady_clock::now()) {}

double SteadyClock::ElapsedMs() const {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

Clock& ProcessClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace quarnel
