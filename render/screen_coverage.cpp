#include "render/screen_coverage.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "render/clip_matrix.h"

namespace quarnel {

namespace {

// The pixel centres (k + 0.5, k from first to last) that coordinate t
// reaches within margin m, clamped to [lo - 1, hi + 1] where lo and hi are
// the viewport's first and last centre. Free of branches: the outcome of each
// comparison is a coin toss from one vertex to the next.
inline void CentreRange(double t, double m, int32_t lo, int32_t hi, int32_t& first, int32_t& last) {
  // Counted from lo - 1 the clamped ends are not negative, so truncation
  // is the floor.
  const double base = double(lo) - 1.0, top = double(hi - lo) + 2.0;
  double a = t - m - 0.5 - base, b = t + m - 0.5 - base;
  a = a < 0.0 ? 0.0 : (a > top ? top : a);
  b = b < 0.0 ? 0.0 : (b > top ? top : b);
  const int32_t fa = int32_t(a), fb = int32_t(b);
  const int32_t ceilA = fa + int32_t(double(fa) < a);
  const int32_t first0 = ceilA + lo - 1, last0 = fb + lo - 1;
  first = first0 < lo ? lo : first0;     // at most hi + 1 already
  last = last0 > hi ? hi : last0;        // at least lo - 1 already
}

// Whether the context knows multisampling, so that asking for its buffers
// is no error: OpenGL 1.3 and later, or the extension before.
bool HasMultisample() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  int major = 0, minor = 0;
  if (version && std::sscanf(version, "%d.%d", &major, &minor) == 2 &&
      (major > 1 || (major == 1 && minor >= 3)))
    return true;
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  return extensions && std::strstr(extensions, "GL_ARB_multisample") != nullptr;
}

}  // namespace

bool ScreenCoverage::Begin() {
  GLint renderMode = 0, sampleBuffers = 0, polygonMode[2] = {0, 0};
  glGetIntegerv(GL_RENDER_MODE, &renderMode);
  if (HasMultisample()) glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  glGetIntegerv(GL_POLYGON_MODE, polygonMode);
  // A list being compiled is replayed under other views: every face goes in.
  GLint listIndex = 0;
  glGetIntegerv(GL_LIST_INDEX, &listIndex);
  if (listIndex != 0) return false;
  if (renderMode != GL_RENDER || sampleBuffers != 0 || polygonMode[0] != GL_FILL ||
      polygonMode[1] != GL_FILL || glIsEnabled(GL_POLYGON_SMOOTH))
    return false;
  ReadClipMatrix(m_, a_);
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  for (int i = 0; i < 4; ++i) viewport_[i] = vp[i];
  return true;
}

void ScreenCoverage::Project(const void* firstPosition, size_t stride, size_t count) {
  spans_.resize(count);
  const auto* bytes = static_cast<const unsigned char*>(firstPosition);
  const double* m = m_;
  const double hw = viewport_[2] * 0.5, hh = viewport_[3] * 0.5;
  const double cx = viewport_[0] + hw, cy = viewport_[1] + hh;
  const int32_t xLo = viewport_[0], xHi = viewport_[0] + viewport_[2] - 1;
  const int32_t yLo = viewport_[1], yHi = viewport_[1] + viewport_[3] - 1;
  const double xMargin = kMargin + kRelativeMargin * std::fabs(cx);
  const double yMargin = kMargin + kRelativeMargin * std::fabs(cy);
  for (size_t i = 0; i < count; ++i) {
    float q[3];
    std::memcpy(q, bytes + i * stride, sizeof q);
    const double x = m[0] * q[0] + m[4] * q[1] + m[8] * q[2] + m[12];
    const double y = m[1] * q[0] + m[5] * q[1] + m[9] * q[2] + m[13];
    const double w = m[3] * q[0] + m[7] * q[1] + m[11] * q[2] + m[15];
    Span& s = spans_[i];
    const double inv = 1.0 / w;
    const double dx = x * inv * hw, dy = y * inv * hh;
    if (!(w > 0.0) || !std::isfinite(dx) || !std::isfinite(dy)) {
      s = {xLo, xHi, yLo, yHi};
      continue;
    }
    // The driver transforms in float: its error grows with the terms that
    // cancel (a model far from the origin, seen close up), not with the
    // result. Widen the margin by a generous bound of that error.
    const double* a = a_;
    const double ax = a[0] * std::fabs(q[0]) + a[4] * std::fabs(q[1]) + a[8] * std::fabs(q[2]) + a[12];
    const double ay = a[1] * std::fabs(q[0]) + a[5] * std::fabs(q[1]) + a[9] * std::fabs(q[2]) + a[13];
    const double aw = a[3] * std::fabs(q[0]) + a[7] * std::fabs(q[1]) + a[11] * std::fabs(q[2]) + a[15];
    const double ex = kFloatRounding * inv * hw * (ax + std::fabs(x * inv) * aw);
    const double ey = kFloatRounding * inv * hh * (ay + std::fabs(y * inv) * aw);
    if (!std::isfinite(ex) || !std::isfinite(ey)) {
      s = {xLo, xHi, yLo, yHi};
      continue;
    }
    CentreRange(cx + dx, xMargin + ex + kRelativeMargin * std::fabs(dx), xLo, xHi, s.x0, s.x1);
    CentreRange(cy + dy, yMargin + ey + kRelativeMargin * std::fabs(dy), yLo, yHi, s.y0, s.y1);
  }
}

}  // namespace quarnel
