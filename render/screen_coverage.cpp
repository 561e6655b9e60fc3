#include "render/screen_coverage.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace quarnel {

bool ScreenCoverage::Begin() {
  GLint renderMode = 0, sampleBuffers = 0, polygonMode[2] = {0, 0};
  glGetIntegerv(GL_RENDER_MODE, &renderMode);
  glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  glGetIntegerv(GL_POLYGON_MODE, polygonMode);
  if (renderMode != GL_RENDER || sampleBuffers != 0 || polygonMode[0] != GL_FILL ||
      polygonMode[1] != GL_FILL || glIsEnabled(GL_POLYGON_SMOOTH))
    return false;
  GLdouble p[16], mv[16];
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += p[k * 4 + r] * mv[c * 4 + k];
      m_[c * 4 + r] = s;
    }
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  for (int i = 0; i < 4; ++i) viewport_[i] = double(vp[i]);
  for (int i = 0; i < 2; ++i) {
    lo_[i] = float(vp[i]) - kMargin;
    hi_[i] = float(vp[i] + vp[i + 2]) + kMargin;
  }
  return true;
}

void ScreenCoverage::Project(const void* firstPosition, size_t stride, size_t count) {
  xy_.resize(2 * count);
  const auto* bytes = static_cast<const unsigned char*>(firstPosition);
  const double* m = m_;
  const double hw = viewport_[2] * 0.5, hh = viewport_[3] * 0.5;
  const double cx = viewport_[0] + hw, cy = viewport_[1] + hh;
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  for (size_t i = 0; i < count; ++i) {
    float q[3];
    std::memcpy(q, bytes + i * stride, sizeof q);
    const double x = m[0] * q[0] + m[4] * q[1] + m[8] * q[2] + m[12];
    const double y = m[1] * q[0] + m[5] * q[1] + m[9] * q[2] + m[13];
    const double w = m[3] * q[0] + m[7] * q[1] + m[11] * q[2] + m[15];
    float wx = kNaN, wy = kNaN;
    if (w > 0.0) {
      const double inv = 1.0 / w;
      wx = float(cx + x * inv * hw);
      wy = float(cy + y * inv * hh);
      if (!std::isfinite(wx) || !std::isfinite(wy)) wx = wy = kNaN;
    }
    xy_[2 * i] = wx;
    xy_[2 * i + 1] = wy;
  }
}

}  // namespace quarnel
