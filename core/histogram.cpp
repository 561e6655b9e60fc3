#include "core/histogram.h"

#include <algorithm>

namespace quarnel {

void Histogram::Clear() {
  counts.clear();
  counts.shrink_to_fit();
  limits.clear();
  limits.shrink_to_fit();
  min = 0.0;
  max = 1.0;
  n = 0;
  count = 0;
  sum = 0.0;
  sumSquares = 0.0;
}

void Histogram::Init(double lo, double hi, int32_t bins) {
  Clear();
  min = lo;
  max = hi;
  n = std::max(bins, 0);
  counts.assign(size_t(n), 0);
  limits.resize(size_t(n) + 1);
  const double width = n > 0 ? (max - min) / n : 0.0;
  for (int32_t i = 0; i <= n; ++i)
    limits[size_t(i)] = float(min + i * width);
}

void Histogram::Add(float value) {
  const auto p = std::lower_bound(limits.begin(), limits.end(), value) - limits.begin();
  const auto k = p - 1;
  if (k < 0 || k >= n) return;
  ++counts[size_t(k)];
  sum += value;
  sumSquares += double(value) * value;
  ++count;
}

double Histogram::Percentile(double fraction) const {
  if (limits.empty()) return 0.0;
  double total = 0.0;
  for (int32_t c : counts)
    total += c;
  const double target = total * fraction;
  double accumulated = 0.0;
  for (size_t k = 0; k < counts.size(); ++k) {
    accumulated += counts[k];
    if (target <= accumulated) return limits[k + 1];
  }
  return limits[size_t(n)];
}

}  // namespace quarnel
