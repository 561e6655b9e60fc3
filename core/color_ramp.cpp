#include "core/color_ramp.h"

namespace quarnel {

namespace {

constexpr Color4b kStops[5] = {
    {255, 0, 0, 255},    // red
    {255, 255, 0, 255},  // yellow
    {0, 255, 0, 255},    // green
    {0, 255, 255, 255},  // cyan
    {0, 0, 255, 255},    // blue
};

}  // namespace

Color4b RampColor(float q, float min, float max) {
  if (q < min) return kStops[0];
  double d = double(q) - min;
  const double step = (double(max) - min) * 0.25;
  for (int k = 0; k < 4; ++k, d -= step) {
    if (!(d < step)) continue;
    // d < step and d >= 0 give step > 0: no division by zero.
    const double t = d * (1.0 / step);
    Color4b c;
    for (int i = 0; i < 4; ++i) {
      const int byte = int(kStops[k + 1][i] * t + kStops[k][i] * (1.0 - t));
      c[i] = uint8_t(byte < 0 ? 0 : (byte > 255 ? 255 : byte));
    }
    return c;
  }
  return kStops[4];
}

void ColorVerticesByQualityHistogram(MeshT5& mesh) {
  const detail::QualityRange range = detail::LiveQualityRange(mesh.vertices);
  if (range.min > range.max) return;  // no live vertex
  Histogram h;
  h.Init(range.min, range.max, 1024);
  for (const VertexT5& v : mesh.vertices)
    if (IsLive(v.flags)) h.Add(v.quality);
  const float lo = float(h.Percentile(double(0.05f)));
  const float hi = float(h.Percentile(double(0.95f)));
  ColorVerticesByQuality(mesh, lo, hi);
}

}  // namespace quarnel
