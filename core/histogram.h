// A fixed-range histogram of float values, for percentiles of a scalar field.
#pragma once

#include <cstdint>
#include <vector>

namespace quarnel {

// Bin k holds the values v with limits[k] < v <= limits[k + 1]; a value at or
// below limits[0] or above limits[n] is not counted.
struct Histogram {
  std::vector<int32_t> counts;
  std::vector<float> limits;
  double min = 0.0;
  double max = 1.0;
  int32_t n = 0;
  int32_t count = 0;
  double sum = 0.0;
  double sumSquares = 0.0;

  void Clear();
  // n equal bins over [min, max]; a negative n is taken as 0.
  void Init(double min, double max, int32_t n);
  void Add(float value);
  // The upper limit of the first bin at which the running count reaches
  // fraction x the total; limits[n] when none does, 0 for a cleared
  // histogram.
  double Percentile(double fraction) const;
};

}  // namespace quarnel
